// The value label over a headless editor on the test's clock: which gestures show it, what it
// says, how long it stays, and that it is drawn only when it changes and leaves nothing behind.

#include <string>

#include "GraphicsTestSupport.h"

using namespace gfxtest;
using namespace std::chrono_literals;

namespace
{
// 200 x 120 over a flat picture: 40 px knobs on Gain (dB) at x 20 and on Steps (no unit) at
// x 120, a switch between them at (80, 30); labels shown, hovering tracked.
struct LabelRig : Editor
{
  IValueLabel::Clock::time_point now{std::chrono::hours(1)};
  IMouseMod left{true};

  explicit LabelRig(bool strict = true) : Editor(200, 120)
  {
    IBitmap bg = Strip(MakeIdStrip(200, 120, 1), 1);
    Attach(new IBitmapControl(&plug, 0, 0, &bg));
    Knob(20, 20, kGain, 40);
    Knob(120, 20, kSteps, 40);
    IBitmap lamp = Strip(MakeLampStrip(20, 20, 2), 2);
    Attach(new ISwitchControl(&plug, 80, 30, kOnOff, &lamp));
    gui->SetStrictDrawing(strict);
    gui->HandleMouseOver(true);
    gui->ShowValueLabels(true);
    Label().SetClock([this] { return now; });
    Open();
    gui->RenderAll();
  }
  IValueLabel& Label() { return gui->GetValueLabel(); }
  // A tick (or a repaint of part of the editor) leaves what a full repaint does.
  void ExpectDrawnAsAFullRepaint(const char* what, IRECT* pPart = nullptr)
  {
    if (pPart)
      gui->Draw(pPart);
    else
      gui->Tick();
    const std::vector<uint32_t> drawn = torva_test::ImageOf(*gui->GetDrawBitmap()).pixels;
    gui->RenderAll();
    EXPECT_TRUE(drawn == torva_test::ImageOf(*gui->GetDrawBitmap()).pixels) << what;
  }
};

bool Covers(const IRECT& outer, const IRECT& inner)
{
  return outer.Union(inner) == outer;
}
} // namespace

// Knobs dragged, pressed, wheeled, double-clicked or hovered show "display label" in a dark box
// centred below them; the switch, the background, untracked hovering and an editor without
// labels show nothing.
TEST(ValueLabel, ShownForKnobsInUse)
{
  const struct
  {
    std::string act; // a drag is 8 px up a 40 px knob at gearing 4, released over it
    int x;
    bool tracked;
    const char* text; // null: no label
  } rows[] = {{"drag", 40, true, "2.0 dB"},   {"press", 40, false, "0.0 dB"},
              {"wheel", 40, false, "2.0 dB"}, {"double", 140, false, "0"},
              {"hover", 40, true, "0.0 dB"},  {"hover", 140, true, "0"},
              {"hover", 90, true, nullptr},   {"press", 90, false, nullptr},
              {"hover", 70, true, nullptr},   {"hover", 40, false, nullptr}};
  for (const auto& row : rows)
    for (bool labels : {true, false})
    {
      SCOPED_TRACE(row.act + " at " + std::to_string(row.x) + (labels ? "" : ", labels off"));
      LabelRig r;
      r.gui->HandleMouseOver(row.tracked);
      r.gui->ShowValueLabels(labels);
      if (row.act == "drag") r.Drag(row.x, 40, 0, -8);
      if (row.act == "press") r.gui->OnMouseDown(row.x, 40, &r.left);
      if (row.act == "wheel") r.gui->OnMouseWheel(row.x, 40, &r.left, 5);
      if (row.act == "double") r.gui->OnMouseDblClick(row.x, 40, &r.left);
      if (row.act == "hover") r.gui->OnMouseOver(row.x, 40, &r.left);
      r.gui->Tick();
      const IValueLabel& label = r.Label();
      ASSERT_EQ(label.IsShown(), labels && row.text);
      if (!label.IsShown()) continue;
      EXPECT_EQ(label.ShownText(), row.text);
      const IRECT box = label.ShownRECT();
      EXPECT_NEAR((box.mL + box.mR) / 2, row.x, 1);
      EXPECT_EQ(box.mT, 63);
      EXPECT_LT(r.gui->GetPoint(box.mL + 2, (box.mT + box.mB) / 2).mB, 100);
    }
}

// Hovered it holds and follows the value; let go it stays kHold, fades in kFadeSteps steps and
// is gone. Each change is one tick whose region covers the old box as well as the new one,
// nothing is drawn while nothing changes, and every pass leaves what a full repaint would.
TEST(ValueLabel, HoldFadeAndVanishRedrawOnlyOnChange)
{
  for (bool strict : {true, false})
  {
    SCOPED_TRACE(strict ? "strict" : "not strict");
    LabelRig r(strict);
    IValueLabel& label = r.Label();
    r.gui->OnMouseOver(40, 40, &r.left);
    r.ExpectDrawnAsAFullRepaint("shown");
    const IRECT first = label.ShownRECT();
    r.now += 10s;
    EXPECT_FALSE(r.gui->Tick()) << "held as it is";
    IRECT strip(first.mL, first.mT, first.mL + 4, first.mB); // uncovered on screen
    r.ExpectDrawnAsAFullRepaint("part repainted", &strip);
    r.plug.SetParameterFromHost(kGain, 10.0);
    r.ExpectDrawnAsAFullRepaint("new value");
    EXPECT_EQ(label.ShownText(), "10.0 dB");
    r.Settle();

    IRECT dirty;
    r.gui->OnMouseOver(140, 40, &r.left);
    ASSERT_TRUE(r.gui->IsDirty(&dirty));
    r.ExpectDrawnAsAFullRepaint("moved");
    const IRECT second = label.ShownRECT();
    EXPECT_TRUE(Covers(dirty, first) && Covers(dirty, second) && second.mL > first.mR);

    r.gui->OnMouseOut();
    const IValueLabel::Clock::time_point out = r.now;
    r.now += IValueLabel::kHold - 1ms;
    EXPECT_FALSE(r.gui->Tick());
    for (int step = 1; step <= IValueLabel::kFadeSteps + 1; ++step)
    {
      r.now = out + IValueLabel::kHold + (step - 1) * IValueLabel::kFadeStep;
      dirty = IRECT();
      ASSERT_TRUE(r.gui->IsDirty(&dirty)) << step;
      EXPECT_TRUE(Covers(dirty, second)) << step;
      r.ExpectDrawnAsAFullRepaint("fading");
      EXPECT_EQ(label.IsShown() ? label.ShownFadeStep() : 0,
                step <= IValueLabel::kFadeSteps ? step : 0);
      EXPECT_FALSE(r.gui->Tick()) << "one tick a step";
    }
    r.gui->ClearPresented();
    for (int i = 0; i < 20; ++i, r.now += 500ms) EXPECT_FALSE(r.gui->Tick());
    EXPECT_TRUE(r.gui->Presented().empty()) << "an idle editor draws nothing";
  }
}
