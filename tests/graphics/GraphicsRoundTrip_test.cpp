// One editor gesture and one host change through the plug-in base, with a film-strip knob:
// the drag reaches the plug-in bracketed by begin-edit and end-edit, and the host's change
// reaches the knob, which is repainted showing the new frame.

#include "GraphicsTestSupport.h"

namespace
{

// Host parameter changes arrive as the VST 2 adapter delivers them: under the plug-in lock,
// moving the editor's controls first.
class HostDrivenPlug : public gfxtest::ParamPlug
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
};

TEST(GraphicsRoundTrip, KnobDragAndHostChange)
{
  HostDrivenPlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 100, 100);
  IColor black = COLOR_BLACK;
  gui->AttachPanelBackground(&black);
  auto pixels = gfxtest::MakeIdStrip(20, 20, 31);
  IBitmap strip(pixels.get(), 20, 20 * 31, 31);
  auto* knob = new IKnobMultiControl(&plug, 10, 10, gfxtest::kLevel, &strip);
  gui->AttachControl(knob);
  plug.AttachGraphics(gui);
  gui->OpenWindow(nullptr);
  while (gui->Tick())
  {
  }
  auto frameShown = [&] { return (int)gui->GetPoint(15, 15).mG; };
  EXPECT_EQ(frameShown(), 9) << "0.25 of 31 frames";
  plug.ClearHostCalls();

  // Drag 10 pixels up on a 20-pixel knob with gearing 4: +0.125.
  IMouseMod left(true);
  gui->OnMouseDown(15, 15, &left);
  gui->OnMouseDrag(15, 5, &left);
  gui->OnMouseUp(15, 5, &left);
  EXPECT_EQ(gfxtest::HostLog(plug), "begin 4; automate 4 0.375; end 4");
  EXPECT_DOUBLE_EQ(plug.GetParam(gfxtest::kLevel)->Value(), 0.375);
  EXPECT_TRUE(gui->Tick());
  EXPECT_EQ(frameShown(), 12);

  // The host moves the parameter: the knob follows and is repainted on the next tick.
  while (gui->Tick())
  {
  }
  plug.HostSetParameter(gfxtest::kLevel, 1.0);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);
  IRECT dirty;
  EXPECT_TRUE(gui->IsDirty(&dirty));
  EXPECT_EQ(dirty, IRECT(10, 10, 30, 30));
  EXPECT_TRUE(gui->Tick());
  EXPECT_EQ(frameShown(), 31);
  EXPECT_EQ(gfxtest::HostLog(plug), "") << "a host change is not echoed to the host";
  gui->CloseWindow();
}

} // namespace
