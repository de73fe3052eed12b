#include "TORVA/TORVA.h"
#include "TORVA/TORVAPresets.h"

#include <cmath>

#include "graphics/IControl.h"
#include "platform/linux/IGraphicsLinux.h"

namespace
{

constexpr int kVendorVersion = 0x10000; // 1.0.0
constexpr int kUniqueID = FourCC('T', 'O', 'R', '1');
constexpr int kMfrID = FourCC('B', 'r', 'c', 'i');

constexpr int kEditorWidth = 1024, kEditorHeight = 285;
constexpr int kBackgroundID = 102;
constexpr int kKnobFrames = 31;
constexpr int kControlsY = 100;

// Decibels to a linear gain.
double DBToGain(double db)
{
  return std::pow(10.0, db / 20.0);
}

} // namespace

IGraphicsLinux* MakeGraphics(IPlugAdapter* pPlug, int w, int h, int fps)
{
  // The artwork is compiled into the module; a TORVA.resources/img folder beside the module
  // file overrides it. The module file takes the place of a bundle identifier.
  return new IGraphicsLinux(pPlug, w, h, fps);
}

TORVA::TORVA(IPlugInstanceInfo instanceInfo)
    : IPlugAdapter(instanceInfo, kNumParams, "1-1 2-2", 1, "TORVA", "", "BrindleCircuits",
                   kVendorVersion, kUniqueID, kMfrID, 0, false, false, false, 0)
{
  // The filter memories (mPath) start at zero.

  struct Knob
  {
    EParams idx;
    const char* name;
    double def, min, max;
    const char* label;
  };
  // The levels are gains in decibels; the tone knobs are plain positions from 0 to 1.
  const Knob knobs[] = {
      {kBass, "Bass", 0.7, 0.0, 1.0, ""},
      {kMaster, "Master", -4.0, -20.0, 20.0, "dB"},
      {kMiddle, "Middle", 0.3, 0.0, 1.0, ""},
      {kPresence, "Presence", 0.3, 0.0, 1.0, ""},
      {kTreble, "Treble", 0.4, 0.0, 1.0, ""},
      {kVolume1, "Volume 1", 10.0, 0.0, 50.0, "dB"},
      {kVolume2, "Volume 2", 10.0, 0.0, 50.0, "dB"},
  };
  for (const Knob& k : knobs)
  {
    IParam* p = GetParam(k.idx);
    p->InitDouble(k.name, k.def, k.min, k.max, 0.01, k.label, "", 1.0);
    p->SetShape(1.0);
  }
  GetParam(kBypass)->InitInt("Bypass", 0, 0, 1, "", "");

  // The editor: one row of film-strip knobs and the Bypass switch over the background. Building
  // it loads the artwork but opens no window and touches no display.
  IGraphicsLinux* pGraphics = MakeGraphics(this, kEditorWidth, kEditorHeight, 0);
  pGraphics->AttachBackground(kBackgroundID, "resources/img/BG.png");
  struct KnobImage
  {
    EParams idx;
    int x, id;
    const char* path;
  };
  // In the order the controls are attached, which is not left to right.
  const KnobImage knobImages[] = {
      {kBass, 514, 101, "resources/img/BASS.png"},
      {kMaster, 749, 104, "resources/img/MASTER.png"},
      {kMiddle, 436, 105, "resources/img/MID.png"},
      {kPresence, 275, 106, "resources/img/PRES.png"},
      {kTreble, 357, 107, "resources/img/TREB.png"},
      {kVolume1, 589, 108, "resources/img/VOL1.png"},
      {kVolume2, 670, 109, "resources/img/VOL2.png"},
  };
  for (const KnobImage& k : knobImages)
  {
    IBitmap strip = pGraphics->LoadIBitmap(k.id, k.path, kKnobFrames, false);
    pGraphics->AttachControl(new IKnobMultiControl(this, k.x, kControlsY, k.idx, &strip));
  }
  IBitmap bypass = pGraphics->LoadIBitmap(103, "resources/img/BY.png", 2, false);
  pGraphics->AttachControl(new ISwitchControl(this, 127, kControlsY, kBypass, &bypass));
  // A knob tells its value while dragged, wheeled or hovered.
  pGraphics->HandleMouseOver(true);
  pGraphics->ShowValueLabels(true);
  AttachGraphics(pGraphics);

  MakeDefaultPreset("-", 1);
  SetFactoryPresets(kTORVAPresets, kNumTORVAPresets);
}

TORVA::~TORVA() = default;

void TORVA::Reset()
{
  WDL_MutexLock lock(&mMutex);
}

void TORVA::OnParamChange(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  const IParam* p = GetParam(paramIdx);
  if (!p) return;
  const double v = p->Value();
  switch (paramIdx)
  {
  case kBass:
    mSettings.bass = v;
    break;
  case kMaster:
    mSettings.masterGain = DBToGain(v);
    break;
  case kMiddle:
    mSettings.middle = v;
    break;
  case kPresence:
    mSettings.presence = v;
    break;
  case kTreble:
    mSettings.treble = v;
    break;
  case kVolume1:
    mSettings.drive1 = DBToGain(v);
    break;
  case kVolume2:
    mSettings.drive2 = DBToGain(v);
    break;
  default:
    break; // Bypass is read while processing
  }
}

void TORVA::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  if (nFrames < 1) return;
  mPath.Process(inputs[0], inputs[1], outputs[0], outputs[1], nFrames, GetSampleRate(), mSettings,
                GetParam(kBypass)->Int());
}
