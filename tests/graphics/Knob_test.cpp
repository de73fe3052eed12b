// Knob arithmetic through a headless editor: drags with gearing and fine adjustment, the
// wheel, and the line, rotating and mask knobs' geometry.

#include <cmath>
#include <tuple>

#include "GraphicsTestSupport.h"

using namespace gfxtest;

// value += dY / (top - bottom) / g or dX / (right - left) / g; g ten times the gearing with shift
// or control, a hundred times with both; the result clamped and pushed.
TEST(Knob, DragArithmetic)
{
  struct Case
  {
    EDirection dir;
    double gearing;
    const char* mods;
    int dX, dY;
    double from, expect;
  };
  const Case cases[] = {
      {kVertical, 4.0, "L", 0, -10, 0.5, 0.55},    // 10 px up on 50 px
      {kVertical, 4.0, "LS", 0, -10, 0.5, 0.505},  // shift: ten times finer
      {kVertical, 4.0, "LC", 0, -10, 0.5, 0.505},  // control too
      {kVertical, 1.0, "LSC", 0, -50, 0.5, 0.51},  // both: a hundred times
      {kVertical, 4.0, "LA", 0, -10, 0.5, 0.55},   // alt is no fine adjustment
      {kVertical, 4.0, "L", 0, 10, 0.5, 0.45},     // down lowers
      {kVertical, 4.0, "L", 30, 0, 0.5, 0.5},      // sideways does nothing
      {kVertical, 1.0, "L", 0, -25, 0.25, 0.75},   // gearing 1: the height sweeps the range
      {kVertical, 4.0, "L", 0, -200, 0.0, 1.0},    // four heights: the whole range
      {kVertical, 4.0, "L", 0, -300, 0.5, 1.0},    // clamped above
      {kVertical, 4.0, "L", 0, 300, 0.5, 0.0},     // and below
      {kHorizontal, 4.0, "L", 10, 0, 0.5, 0.55},   // right raises
      {kHorizontal, 4.0, "LS", -20, 0, 0.5, 0.49}, // left lowers, finely
      {kHorizontal, 4.0, "L", 0, -40, 0.5, 0.5},   // vertical does nothing
      {kVertical, 0.0, "L", 0, -10, 0.5, 0.55},    // no gearing: the default 4
      {kVertical, -2.0, "L", 0, -10, 0.5, 0.55},   // nor a negative one
      {kVertical, NAN, "L", 0, -10, 0.5, 0.55},    // nor NaN
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "dir " << c.dir << " gearing " << c.gearing << " mods "
                                    << c.mods << " d " << c.dX << "," << c.dY);
    Editor ed(300, 300);
    auto* knob = ed.Knob(100, 100, kLevel, 50, 31, c.dir, c.gearing);
    ed.Open();
    knob->SetValueFromPlug(c.from);
    ed.plug.ClearHostCalls();
    ed.Drag(120, 120, c.dX, c.dY, Mods(c.mods));
    EXPECT_NEAR(knob->GetValue(), c.expect, 1e-12);
    if (c.dX != 0 || c.dY != 0)
    {
      EXPECT_NEAR(ed.plug.Automated(kLevel).back(), c.expect, 1e-12);
    }
  }
}

// A drag made of many small moves lands where one big move does; a knob of no height stays.
TEST(Knob, DragInStepsAndDegenerateKnobs)
{
  Editor ed(300, 300);
  auto* knob = ed.Knob(100, 100, kLevel, 50);
  auto* flat = ed.Attach(new IKnobLineControl(&ed.plug, IRECT(0, 10, 40, 10), kGain, &COLOR_WHITE));
  ed.Open();
  knob->SetValueFromPlug(0.0);
  IMouseMod mod(true);
  ed.gui->OnMouseDown(120, 120, &mod);
  for (int y = 119; y >= 80; --y) ed.gui->OnMouseDrag(120, y, &mod);
  ed.gui->OnMouseDrag(120, 80, &mod); // no movement: not delivered
  ed.gui->OnMouseUp(120, 80, &mod);
  EXPECT_NEAR(knob->GetValue(), 0.2, 1e-12);

  flat->SetValue(0.5);
  flat->OnMouseDrag(0, 0, 0, -10, &mod);
  EXPECT_DOUBLE_EQ(flat->GetValue(), 0.5);
}

// The wheel: 0.01 per step, 0.001 with control or shift, clamped and pushed; the same for
// faders.
TEST(Knob, WheelArithmetic)
{
  struct Case
  {
    const char* mods;
    int delta;
    double from, expect;
  };
  const Case cases[] = {
      {"", 3, 0.5, 0.53}, {"C", 3, 0.5, 0.503}, {"S", 3, 0.5, 0.503}, {"", -3, 0.5, 0.47},
      {"", 3, 0.99, 1.0}, {"", -120, 0.5, 0.0}, {"A", 1, 0.5, 0.51},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.mods << " " << c.delta << " from " << c.from);
    Editor ed(300, 300);
    IBitmap handle = ed.Strip(MakeIdStrip(20, 10, 1), 1);
    auto* knob = ed.Knob(100, 100, kLevel, 50);
    auto* fader = ed.Attach(new IFaderControl(&ed.plug, 10, 10, 100, kGain, &handle));
    ed.Open();
    knob->SetValueFromPlug(c.from);
    fader->SetValueFromPlug(c.from);
    IMouseMod mod = Mods(c.mods);
    ed.gui->OnMouseWheel(120, 120, &mod, c.delta);
    ed.gui->OnMouseWheel(15, 50, &mod, c.delta);
    EXPECT_NEAR(knob->GetValue(), c.expect, 1e-12);
    EXPECT_NEAR(fader->GetValue(), c.expect, 1e-12);
    EXPECT_NEAR(ed.plug.Automated(kLevel).back(), c.expect, 1e-12);
  }
}

// A right press opens a text entry with the value as the host shows it; its drag moves nothing.
// Text the parameter reads is a gesture of its own when the entry answers after the release (as
// a window's does), part of the press's when it answers at once; Escape or text the parameter
// does not read changes nothing.
TEST(Knob, RightPressTypesAValue)
{
  const struct
  {
    const char* typed; // null: Escape
    bool atOnce;
    const char* host;
  } rows[] = {{"-5 dB", false, "begin 0; end 0; begin 0; automate 0 0.375; end 0"},
              {"-5", true, "begin 0; automate 0 0.375; end 0"},
              {"5 %", false, "begin 0; end 0"},
              {nullptr, false, "begin 0; end 0"}};
  for (const auto& row : rows)
  {
    Editor ed(300, 300);
    ed.Knob(100, 100, kGain, 50);
    ed.Open();
    ed.plug.ClearHostCalls();
    if (row.atOnce) ed.gui->QueueText(row.typed);
    IMouseMod right = Mods("R");
    ed.gui->OnMouseDown(120, 120, &right);
    ed.gui->OnMouseDrag(120, 60, &right);
    ed.gui->OnMouseUp(120, 60, &right);
    ASSERT_EQ(ed.gui->TextEntriesOpened().size(), 1u);
    EXPECT_EQ(ed.gui->TextEntriesOpened()[0].mInitialText, "0.0");
    EXPECT_EQ(ed.gui->TextEntriesOpened()[0].mRect, IRECT(105, 117, 145, 133)); // the centre
    if (row.typed)
      ed.gui->CommitTextEntry(row.typed); // no entry left to answer when it answered at once
    else
      ed.gui->ForceEndUserEdit();
    EXPECT_EQ(ed.HostLog(), row.host) << (row.typed ? row.typed : "Escape") << row.atOnce;
  }
}

// Line knob with its own angles: the line runs from the inner to the outer radius at
// min + v * (max - min). (Default angles and radii are pinned by the knobs sheet.)
TEST(Knob, LineKnobAngles)
{
  const double pi = IKnobLineControl::kPi;
  Editor ed(100, 100);
  ed.gui->AttachPanelBackground(&COLOR_BLACK);
  auto* knob = ed.Attach(new IKnobLineControl(&ed.plug, IRECT(0, 0, 100, 100), -1, &COLOR_WHITE,
                                              10.0, 40.0, -0.5 * pi, 0.5 * pi));
  ed.Open();
  // A pixel the line must cover: centre (50, 50), radii 10 .. 40.
  for (auto [value, x, y] : {std::tuple{0.5, 50, 15}, {0.0, 15, 50}, {1.0, 85, 50}, {0.25, 30, 30}})
  {
    knob->SetValueFromPlug(value);
    ed.gui->RenderAll();
    EXPECT_GT(ed.gui->GetPoint(x, y).mR, 100) << value;
    EXPECT_EQ(ed.gui->GetPoint(50, 50).mR, 0) << "inside the inner radius";
  }
}
