// One editor gesture and one host change through the plug-in base, with a film-strip knob:
// the drag reaches the plug-in bracketed by begin-edit and end-edit, and the host's change
// reaches the knob, which is repainted showing the new frame.

#include "GraphicsTestSupport.h"

namespace
{

TEST(GraphicsRoundTrip, KnobDragAndHostChange)
{
  gfxtest::HostDrivenPlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 100, 100);
  IColor black = COLOR_BLACK;
  gui->AttachPanelBackground(&black);

  // A 31-frame identification strip (frame k has green = k), frames 20 x 20.
  auto pixels = ctltest::MakeIdStrip(20, 20, 31);
  IBitmap strip(pixels.get(), 20, 20 * 31, 31);
  auto* knob = new IKnobMultiControl(&plug, 10, 10, ctltest::kLevel, &strip);
  gui->AttachControl(knob);
  plug.AttachGraphics(gui);
  gui->OpenWindow(nullptr);
  while (gui->Tick())
  {
  }
  auto frameShown = [&] { return (int)gui->GetPoint(15, 15).mG; };
  EXPECT_EQ(frameShown(), 9) << "0.25 of 31 frames: (int)(30 * 0.25 + 0.5) + 1";
  plug.ClearHostCalls();

  // Drag 10 pixels up on a 20-pixel knob with gearing 4: +0.125.
  IMouseMod left(true);
  gui->OnMouseDown(15, 15, &left);
  gui->OnMouseDrag(15, 5, &left);
  gui->OnMouseUp(15, 5, &left);
  const auto& calls = plug.HostCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].mKind, IPlugHeadless::EHostCall::kBeginEdit);
  EXPECT_EQ(calls[1].mKind, IPlugHeadless::EHostCall::kAutomate);
  EXPECT_DOUBLE_EQ(calls[1].mValue, 0.375);
  EXPECT_EQ(calls[2].mKind, IPlugHeadless::EHostCall::kEndEdit);
  for (const auto& c : calls) EXPECT_EQ(c.mIdx, ctltest::kLevel);
  EXPECT_DOUBLE_EQ(plug.GetParam(ctltest::kLevel)->Value(), 0.375);
  EXPECT_TRUE(gui->Tick());
  EXPECT_EQ(frameShown(), 12);

  // The host moves the parameter: the knob follows and is repainted on the next ticks.
  while (gui->Tick())
  {
  }
  plug.ClearHostCalls();
  plug.HostSetParameter(ctltest::kLevel, 1.0);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);
  EXPECT_TRUE(knob->IsDirty());
  IRECT dirty;
  EXPECT_TRUE(gui->IsDirty(&dirty));
  EXPECT_EQ(dirty, IRECT(10, 10, 30, 30));
  EXPECT_TRUE(gui->Tick());
  EXPECT_EQ(frameShown(), 31);
  EXPECT_TRUE(plug.HostCalls().empty()) << "a host change is not echoed to the host";
  gui->CloseWindow();
}

} // namespace
