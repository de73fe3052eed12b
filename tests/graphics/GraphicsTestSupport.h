#pragma once
// A probe control for the editor tests: it records every call the editor makes into it and
// paints its rectangle one flat colour, so both the routing and the pixels can be checked.
//
//   gfxtest::Rig rig;                                   // ParamPlug + headless editor
//   auto* a = rig.Probe(IRECT(10, 10, 30, 30));         // attached, no parameter
//   rig.gui->OnMouseDown(15, 15, nullptr);
//   EXPECT_EQ(a->Log(), "down 15,15");

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ControlTestSupport.h"
#include "graphics/IControl.h"
#include "graphics/IGraphicsHeadless.h"

namespace gfxtest
{

using ctltest::PngBytes;

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
  void OnMouseDown(int x, int y, IMouseMod* pMod) override
  {
    Add("down " + XY(x, y) + (pMod->mR ? " R" : ""));
    if (mPromptOnPress) PromptUserInput();
  }
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

  // The calls so far, space-separated by "; ", and forgotten.
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
  bool mPromptOnPress = false;
  IColor mColour;

private:
  static std::string XY(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
  void Add(std::string e) { mEvents.push_back(std::move(e)); }
  std::vector<std::string> mEvents;
};

// ParamPlug (ControlTestSupport.h) with a headless editor that it owns once opened.
struct Rig : ctltest::Editor
{
  explicit Rig(int w = 100, int h = 100) : ctltest::Editor(w, h) {}

  ProbeControl* Probe(IRECT r, int paramIdx = -1, IColor colour = COLOR_RED)
  {
    return Attach(new ProbeControl(&plug, r, paramIdx, colour));
  }
  // What the plug-in told the host, as "begin 0; automate 0 0.5; end 0".
  std::string HostLog()
  {
    std::string s;
    for (const IPlugHeadless::HostCall& c : plug.HostCalls())
    {
      std::string e;
      switch (c.mKind)
      {
      case IPlugHeadless::EHostCall::kBeginEdit:
        e = "begin " + std::to_string(c.mIdx);
        break;
      case IPlugHeadless::EHostCall::kEndEdit:
        e = "end " + std::to_string(c.mIdx);
        break;
      case IPlugHeadless::EHostCall::kAutomate:
      {
        char buf[64];
        std::snprintf(buf, sizeof buf, "automate %d %g", c.mIdx, c.mValue);
        e = buf;
        break;
      }
      default:
        e = "other";
        break;
      }
      s += (s.empty() ? "" : "; ") + e;
    }
    plug.ClearHostCalls();
    return s;
  }
};

// ParamPlug driven the way the VST 2 adapter drives a plug-in: every host call under the
// plug-in lock, a host parameter change moving the editor's controls first. Processing scales
// each input by the Level parameter.
class HostDrivenPlug : public ctltest::ParamPlug
{
public:
  void HostSetParameter(int idx, double normalized)
  {
    WDL_MutexLock lock(&mMutex);
    IParam* param = GetParam(idx);
    if (!param || !std::isfinite(normalized)) return;
    if (IGraphics* gui = GetGUI()) gui->SetParameterFromPlug(idx, normalized, true);
    param->SetNormalized(normalized);
    OnParamChange(idx);
  }

  void HostProcess(double** inputs, double** outputs, int nFrames)
  {
    WDL_MutexLock lock(&mMutex);
    AttachInputBuffers(0, NInChannels(), inputs);
    AttachOutputBuffers(0, NOutChannels(), outputs);
    ProcessBuffers(0.0, nFrames);
  }

  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override
  {
    const double level = GetParam(ctltest::kLevel)->Value();
    for (int c = 0; c < NOutChannels(); ++c)
      for (int i = 0; i < nFrames; ++i) outputs[c][i] = inputs[c][i] * level;
  }
};

} // namespace gfxtest
