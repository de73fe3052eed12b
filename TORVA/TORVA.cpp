#include "TORVA/TORVA.h"

#include <cmath>

namespace
{

// A four-character code, first character in the most significant byte.
constexpr int FourCC(char a, char b, char c, char d)
{
  return static_cast<int>((static_cast<unsigned>(static_cast<unsigned char>(a)) << 24) |
                          (static_cast<unsigned>(static_cast<unsigned char>(b)) << 16) |
                          (static_cast<unsigned>(static_cast<unsigned char>(c)) << 8) |
                          static_cast<unsigned>(static_cast<unsigned char>(d)));
}

constexpr int kVendorVersion = 0x10000; // 1.0.0
constexpr int kUniqueID = FourCC('T', 'O', 'R', '1');
constexpr int kMfrID = FourCC('B', 'r', 'c', 'i');

// Decibels to a linear gain.
double DBToGain(double db)
{
  return std::pow(10.0, db / 20.0);
}

} // namespace

TORVA::TORVA(IPlugInstanceInfo instanceInfo)
    : IPlugVST(instanceInfo, kNumParams, "1-1 2-2", 1, "TORVA", "", "BrindleCircuits",
               kVendorVersion, kUniqueID, kMfrID, 0, false, false, false, 0)
{
  // The filter memories (mPath) start at zero.

  struct Knob
  {
    EParams idx;
    const char* name;
    double def, min, max;
  };
  // The level knobs are in decibels but carry "%" like the others.
  const Knob knobs[] = {
      {kBass, "Bass", 0.7, 0.0, 1.0},          {kMaster, "Master", -4.0, -20.0, 20.0},
      {kMiddle, "Middle", 0.3, 0.0, 1.0},      {kPresence, "Presence", 0.3, 0.0, 1.0},
      {kTreble, "Treble", 0.4, 0.0, 1.0},      {kVolume1, "Volume 1", 10.0, 0.0, 50.0},
      {kVolume2, "Volume 2", 10.0, 0.0, 50.0},
  };
  for (const Knob& k : knobs)
  {
    IParam* p = GetParam(k.idx);
    p->InitDouble(k.name, k.def, k.min, k.max, 0.01, "%", "", 1.0);
    p->SetShape(1.0);
  }
  GetParam(kBypass)->InitInt("Bypass", 0, 0, 1, "", "");

  // The editor (background, seven knobs and the Bypass switch) is built and attached here with
  // AttachGraphics once the editor framework is in place.

  MakeDefaultPreset("-", 1);
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
