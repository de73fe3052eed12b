// Fader geometry and SnapToMouse through a headless editor.

#include "GraphicsTestSupport.h"

using namespace gfxtest;

// The handle (20 x 10 bitmap) travels length - handle size pixels; its rectangle at a value,
// and the value a press at a point gives (the handle centred on the pointer, clamped).
TEST(Fader, GeometryAndSnapToMouse)
{
  struct Case
  {
    EDirection dir;
    double value;
    IRECT handle; // at value
    int px, py;   // a press here...
    double snap;  // ...gives this value
  };
  // Vertical fader at (10, 10), length 110: rect (10, 10, 30, 120), range 100, half handle 5.
  // Horizontal fader at (10, 10), length 120: rect (10, 10, 130, 20), range 100, half 10.
  const Case cases[] = {
      {kVertical, 0.0, IRECT(10, 110, 30, 120), 15, 115, 0.0},
      {kVertical, 1.0, IRECT(10, 10, 30, 20), 15, 15, 1.0},
      {kVertical, 0.5, IRECT(10, 60, 30, 70), 15, 65, 0.5},
      {kVertical, 0.25, IRECT(10, 85, 30, 95), 15, 40, 0.75},
      {kVertical, 0.333, IRECT(10, 76, 30, 86), 15, 11, 1.0}, // above the travel: clamped
      {kVertical, 0.5, IRECT(10, 60, 30, 70), 15, 119, 0.0},  // below it
      {kHorizontal, 0.0, IRECT(10, 10, 30, 20), 20, 15, 0.0},
      {kHorizontal, 1.0, IRECT(110, 10, 130, 20), 120, 15, 1.0},
      {kHorizontal, 0.5, IRECT(60, 10, 80, 20), 45, 15, 0.25},
      {kHorizontal, 0.999, IRECT(109, 10, 129, 20), 129, 15, 1.0},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "dir " << c.dir << " value " << c.value);
    Editor ed;
    IBitmap handle = ed.Strip(MakeIdStrip(20, 10, 1), 1);
    int len = c.dir == kVertical ? 110 : 120;
    auto* fader = ed.Attach(new IFaderControl(&ed.plug, 10, 10, len, kLevel, &handle, c.dir));
    ed.Open();
    fader->SetValueFromPlug(c.value);
    EXPECT_EQ(fader->GetHandleRECT(), c.handle);
    EXPECT_EQ(fader->GetHandleRECT(c.value), c.handle);
    ed.Press(c.px, c.py);
    EXPECT_NEAR(fader->GetValue(), c.snap, 1e-12);
    EXPECT_NEAR(ed.plug.Automated(kLevel).back(), c.snap, 1e-12);
  }
}

// Dragging keeps the handle under the pointer; only-handle faders take the mouse on the handle
// alone; a right press prompts; a track no longer than the handle does not move.
TEST(Fader, DragHitAndDegenerateTrack)
{
  Editor ed;
  IBitmap handle = ed.Strip(MakeIdStrip(20, 10, 1), 1);
  auto* fader = ed.Attach(new IFaderControl(&ed.plug, 10, 10, 110, kLevel, &handle));
  auto* picky =
      ed.Attach(new IFaderControl(&ed.plug, 50, 10, 110, kGain, &handle, kVertical, true));
  auto* stub = ed.Attach(new IFaderControl(&ed.plug, 90, 10, 10, -1, &handle));
  ed.Open();

  IMouseMod mod(true);
  ed.gui->OnMouseDown(15, 115, &mod);
  for (auto [y, v] : {std::pair{95, 0.2}, {65, 0.5}, {15, 1.0}, {5, 1.0}})
  {
    ed.gui->OnMouseDrag(40, y, &mod); // x does not matter to a vertical fader
    EXPECT_NEAR(fader->GetValue(), v, 1e-12) << y;
  }
  ed.gui->OnMouseUp(15, 5, &mod);

  // Gain at 0 dB: the handle sits at (50, 60, 70, 70).
  EXPECT_TRUE(picky->IsHit(55, 65));
  EXPECT_FALSE(picky->IsHit(55, 100));
  EXPECT_TRUE(fader->IsHit(15, 100));
  ed.plug.ClearHostCalls();
  ed.Press(55, 100);
  EXPECT_TRUE(ed.plug.HostCalls().empty());

  picky->DisablePrompt(false);
  ed.gui->QueueText("10");
  ed.Press(55, 65, Mods("R"));
  EXPECT_DOUBLE_EQ(ed.plug.GetParam(kGain)->Value(), 10.0);

  stub->SetValue(0.3);
  ed.Press(95, 12);
  EXPECT_DOUBLE_EQ(stub->GetValue(), 0.3);
  EXPECT_EQ(stub->GetHandleRECT(), IRECT(90, 10, 110, 20));
}
