#pragma once
// What the editor tests share: a plug-in with one parameter of each kind, a headless editor
// around it, film strips drawn with raster fills and loaded through the editor's image path, and
// a probe control that logs every call the editor makes into it and paints one flat colour.
//
//   gfxtest::Editor ed;                                     // plug-in + headless editor
//   IBitmap strip = ed.Strip(gfxtest::MakeIdStrip(8, 8, 31), 31);
//   auto* knob = ed.Attach(new IKnobMultiControl(&ed.plug, 10, 10, gfxtest::kGain, &strip));
//   auto* probe = ed.Probe(IRECT(40, 10, 60, 30));
//   ed.Open();                                              // AttachGraphics: values pushed
//   ed.FrameShown(knob);                                    // which frame is on screen
//   ed.gui->OnMouseDown(45, 15, &mod); probe->Log();        // "down 45,15"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/IPlugHeadless.h"
#include "graphics/IControl.h"
#include "graphics/IGraphicsHeadless.h"
#include "raster/lice.h"
#include "raster/lice_lines.h"
#include "support/golden.h"

namespace gfxtest
{

// The bitmap encoded as a PNG file's bytes (through a temporary file).
inline std::vector<char> PngBytes(const LICE_IBitmap& bitmap, const std::string& tag)
{
  const std::string path =
      std::string(TORVA_BINARY_DIR) + "/gfx-" + tag + "-" + std::to_string((long)getpid()) + ".png";
  torva_test::WritePng(path, torva_test::ImageOf(bitmap));
  std::vector<char> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb"))
  {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
  }
  std::remove(path.c_str());
  return bytes;
}

enum EParam
{
  kGain = 0, // double -20 .. 20 dB, default 0
  kMode,     // enum of three with display texts
  kSteps,    // enum of five without display texts
  kOnOff,    // bool ("off" / "on")
  kLevel,    // double 0 .. 1, default 0.25
  kNParams
};

inline void InitParams(IPlugBase* plug)
{
  plug->GetParam(kGain)->InitDouble("Gain", 0.0, -20.0, 20.0, 0.1, "dB");
  plug->GetParam(kMode)->InitEnum("Mode", 0, 3);
  plug->GetParam(kMode)->SetDisplayText(0, "Clean");
  plug->GetParam(kMode)->SetDisplayText(1, "Crunch");
  plug->GetParam(kMode)->SetDisplayText(2, "Lead");
  plug->GetParam(kSteps)->InitEnum("Steps", 0, 5);
  plug->GetParam(kOnOff)->InitBool("On", false);
  plug->GetParam(kLevel)->InitDouble("Level", 0.25, 0.0, 1.0, 0.01, "%");
}

class ParamPlug : public IPlugHeadless
{
public:
  ParamPlug()
      : IPlugHeadless(IPlugHeadlessInfo(), kNParams, "1-1 2-2", 1, "Controls", "", "Test", 0x10000,
                      0x43746C31, 0x54657374, 0, false, false, false, 0)
  {
    InitParams(this);
  }

  // The values the host was told of for idx, in order.
  std::vector<double> Automated(int idx) const
  {
    std::vector<double> out;
    for (const HostCall& c : HostCalls())
      if (c.mKind == EHostCall::kAutomate && c.mIdx == idx) out.push_back(c.mValue);
    return out;
  }
};

// Frame k (1-based) of an identification strip is one flat colour whose green channel is k.
inline LICE_pixel IdColor(int k)
{
  return LICE_RGBA(40, k, 200, 255);
}

// An identification strip of n frames of w x h (stacked, or side by side).
inline std::unique_ptr<LICE_MemBitmap> MakeIdStrip(int w, int h, int n, bool horizontal = false)
{
  auto b = std::make_unique<LICE_MemBitmap>(horizontal ? w * n : w, horizontal ? h : h * n);
  for (int k = 1; k <= n; ++k)
  {
    int x = horizontal ? (k - 1) * w : 0, y = horizontal ? 0 : (k - 1) * h;
    LICE_FillRect(b.get(), x, y, w, h, IdColor(k), 1.0f, 0);
  }
  return b;
}

// A knob strip to look at: per frame a dark square, a lighter disc and a pointer turning from
// -135 to +135 degrees, on a transparent corner so that source-alpha blending shows.
inline std::unique_ptr<LICE_MemBitmap> MakeKnobStrip(int size, int n)
{
  auto b = std::make_unique<LICE_MemBitmap>(size, size * n);
  LICE_Clear(b.get(), 0);
  for (int k = 0; k < n; ++k)
  {
    float cx = size * 0.5f, cy = k * size + size * 0.5f, r = size * 0.45f;
    LICE_FillCircle(b.get(), cx, cy, r, LICE_RGBA(60, 60, 70, 255), 1.0f, 0, true);
    LICE_FillCircle(b.get(), cx, cy, r * 0.7f, LICE_RGBA(150, 150, 160, 255), 1.0f, 0, true);
    double a = (-135.0 + 270.0 * k / (n > 1 ? n - 1 : 1)) * 3.14159265358979 / 180.0;
    LICE_FLine(b.get(), cx, cy, cx + (float)std::sin(a) * r, cy - (float)std::cos(a) * r,
               LICE_RGBA(255, 200, 40, 255), 1.0f, 0, true);
  }
  return b;
}

// A two-state strip to look at: frame 1 dark with a small mark, frame 2 lit.
inline std::unique_ptr<LICE_MemBitmap> MakeLampStrip(int w, int h, int n)
{
  auto b = std::make_unique<LICE_MemBitmap>(w, h * n);
  for (int k = 0; k < n; ++k)
  {
    int shade = n > 1 ? 40 + 200 * k / (n - 1) : 40;
    LICE_FillRect(b.get(), 0, k * h, w, h, LICE_RGBA(30, 30, 30, 255), 1.0f, 0);
    LICE_FillRect(b.get(), 2, k * h + 2, w - 4, h - 4, LICE_RGBA(shade, shade / 2, 20, 255), 1.0f,
                  0);
    LICE_FillRect(b.get(), 2 + k * 3 % (w - 4), k * h + h / 2, 3, 2, LICE_RGBA(255, 255, 255, 255),
                  1.0f, 0);
  }
  return b;
}

inline IMouseMod Mods(const char* keys)
{
  std::string k(keys);
  auto has = [&](char c) { return k.find(c) != std::string::npos; };
  return IMouseMod(has('L'), has('R'), has('S'), has('C'), has('A'));
}

// What the plug-in told the host, as "begin 0; automate 0 0.5; end 0", and forgotten.
inline std::string HostLog(IPlugHeadless& plug)
{
  using K = IPlugHeadless::EHostCall;
  std::string s;
  for (const IPlugHeadless::HostCall& c : plug.HostCalls())
  {
    char buf[64];
    if (c.mKind == K::kAutomate)
      std::snprintf(buf, sizeof buf, "automate %d %g", c.mIdx, c.mValue);
    else if (c.mKind == K::kBeginEdit || c.mKind == K::kEndEdit)
      std::snprintf(buf, sizeof buf, "%s %d", c.mKind == K::kBeginEdit ? "begin" : "end", c.mIdx);
    else
      std::snprintf(buf, sizeof buf, "other");
    s += (s.empty() ? "" : "; ") + std::string(buf);
  }
  plug.ClearHostCalls();
  return s;
}

// Records the editor's calls into it and paints its rectangle one flat colour.
class ProbeControl : public IControl
{
public:
  ProbeControl(IPlugBase* pPlug, IRECT r, int paramIdx = -1, IColor colour = COLOR_RED)
      : IControl(pPlug, r, paramIdx), mColour(colour)
  {
  }

  bool Draw(IGraphics* pGraphics) override
  {
    ++mDraws;
    pGraphics->FillIRect(&mColour, &mRECT, &mBlend);
    return true;
  }
  void OnMouseDown(int x, int y, IMouseMod*) override { Add("down " + XY(x, y)); }
  void OnMouseUp(int x, int y, IMouseMod*) override { Add("up " + XY(x, y)); }
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod*) override
  {
    Add("drag " + XY(x, y) + " d" + XY(dX, dY));
  }
  void OnMouseDblClick(int x, int y, IMouseMod*) override { Add("dbl " + XY(x, y)); }
  void OnMouseWheel(int, int, IMouseMod*, int d) override { Add("wheel " + std::to_string(d)); }
  bool OnKeyDown(int, int, int key) override
  {
    Add("key " + std::to_string(key));
    return mTakesKeys;
  }
  void OnMouseOver(int x, int y, IMouseMod*) override { Add("over " + XY(x, y)); }
  void OnMouseOut() override { Add("out"); }
  void TextFromTextEntry(const char* text) override { Add(std::string("text ") + text); }

  // The calls so far, separated by "; ", and forgotten.
  std::string Log()
  {
    std::string s;
    for (const std::string& e : mEvents) s += (s.empty() ? "" : "; ") + e;
    mEvents.clear();
    return s;
  }
  // Dirty and redraw both cleared.
  void Clean()
  {
    SetClean();
    SetClean();
  }

  int mDraws = 0;
  bool mTakesKeys = true;
  IColor mColour;

private:
  static std::string XY(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
  void Add(std::string e) { mEvents.push_back(std::move(e)); }
  std::vector<std::string> mEvents;
};

// The plug-in, its headless editor (owned by the plug-in once opened) and the strips loaded.
struct Editor
{
  ParamPlug plug;
  IGraphicsHeadless* gui;

  explicit Editor(int w = 200, int h = 120) : gui(new IGraphicsHeadless(&plug, w, h)) {}
  ~Editor()
  {
    if (!mOpened) delete gui;
  }

  template <class C> C* Attach(C* pControl)
  {
    gui->AttachControl(pControl);
    return pControl;
  }
  ProbeControl* Probe(IRECT r, int paramIdx = -1, IColor colour = COLOR_RED)
  {
    return Attach(new ProbeControl(&plug, r, paramIdx, colour));
  }

  // A knob on an identification strip of size x size frames.
  IKnobMultiControl* Knob(int x, int y, int param, int size = 20, int frames = 31,
                          EDirection dir = kVertical, double gearing = 4.0)
  {
    IBitmap strip = Strip(MakeIdStrip(size, size, frames), frames);
    return Attach(new IKnobMultiControl(&plug, x, y, param, &strip, dir, gearing));
  }

  // The plug-in takes the editor: every parameter's value is pushed (fixing the controls'
  // defaults) and the back bitmap is made.
  void Open()
  {
    plug.AttachGraphics(gui);
    mOpened = true;
  }

  // The pixels go through the editor's image path: written as a PNG, registered under a fresh
  // id and loaded with LoadIBitmap (the image cache is process-wide, so ids are never reused).
  IBitmap Strip(std::unique_ptr<LICE_MemBitmap> pixels, int nFrames, bool horizontal = false)
  {
    static int sNextID = 7000;
    int id = sNextID++;
    std::string name = "ctl-strip-" + std::to_string(id) + ".png";
    std::vector<char> bytes = PngBytes(*pixels, name);
    IGraphicsHeadless::RegisterImage(id, name.c_str(), bytes.data(), (int)bytes.size());
    return gui->LoadIBitmap(id, name.c_str(), nFrames, horizontal);
  }

  // Timer ticks until nothing is dirty (at most ten); how many drew.
  int Settle()
  {
    int n = 0;
    while (n < 10 && gui->Tick()) ++n;
    return n;
  }

  // The identification frame shown at the control's top-left pixel (0 when none matches).
  int FrameShown(IControl* pControl)
  {
    gui->RenderAll();
    IColor c = gui->GetPoint(pControl->GetRECT()->mL, pControl->GetRECT()->mT);
    return (c.mR == 40 && c.mB == 200) ? c.mG : 0;
  }

  void Press(int x, int y, IMouseMod mod = IMouseMod(true))
  {
    gui->OnMouseDown(x, y, &mod);
    gui->OnMouseUp(x, y, &mod);
  }
  void Drag(int x, int y, int dX, int dY, IMouseMod mod = IMouseMod(true))
  {
    gui->OnMouseDown(x, y, &mod);
    gui->OnMouseDrag(x + dX, y + dY, &mod);
    gui->OnMouseUp(x + dX, y + dY, &mod);
  }

  std::string HostLog() { return gfxtest::HostLog(plug); }

private:
  bool mOpened = false;
};

// The probe tests' editor: 100 x 100.
struct Rig : Editor
{
  explicit Rig(int w = 100, int h = 100) : Editor(w, h) {}
};

} // namespace gfxtest
