// The editor's control list and redraw cycle, through the headless editor and probe controls:
// which region a tick finds dirty, which controls a Draw paints and cleans, and how a host
// change is painted on two passes.

#include "GraphicsTestSupport.h"

using gfxtest::ProbeControl;
using gfxtest::Rig;

namespace
{

std::string Str(const IRECT& r)
{
  return std::to_string(r.mL) + "," + std::to_string(r.mT) + "," + std::to_string(r.mR) + "," +
         std::to_string(r.mB);
}

TEST(GraphicsList, BackgroundsGoToTheBottomWhateverTheOrder)
{
  Rig rig;
  auto* a = rig.Probe(IRECT(1, 1, 5, 5));
  auto* b = rig.Probe(IRECT(2, 2, 6, 6));
  IColor grey = COLOR_GRAY;
  rig.gui->AttachPanelBackground(&grey);
  ASSERT_EQ(rig.gui->NControls(), 3);
  EXPECT_EQ(rig.gui->GetControl(1), a);
  EXPECT_EQ(rig.gui->GetControl(2), b);
  EXPECT_EQ(Str(*rig.gui->GetControl(0)->GetRECT()), "0,0,100,100");
  EXPECT_EQ(rig.gui->AttachControl(new ProbeControl(&rig.plug, IRECT(0, 0, 1, 1))), 3);

  // A missing background image still gives a control with a size at the bottom.
  rig.gui->AttachBackground(990001, "no-such-background.png");
  EXPECT_EQ(rig.gui->NControls(), 5);
  EXPECT_GT(rig.gui->GetControl(0)->GetRECT()->W(), 0);
  EXPECT_EQ(rig.gui->GetControl(2), a);
}

TEST(GraphicsList, FrameRateDefaultsTo25)
{
  for (int fps : {-5, 0}) EXPECT_EQ(IGraphicsHeadless(nullptr, 10, 10, fps).FPS(), 25);
  EXPECT_EQ(IGraphicsHeadless(nullptr, 10, 10, 60).FPS(), 60);
}

// Dirty region: the union of the dirty controls' rectangles, grown from what the caller passes.
TEST(GraphicsRedraw, DirtyRegionIsTheUnionOfDirtyControls)
{
  struct Row
  {
    const char* what;
    std::vector<IRECT> rects;
    std::vector<bool> dirty;
    IRECT start;
    bool result;
    IRECT region;
  };
  const Row rows[] = {
      {"no controls", {}, {}, IRECT(), false, IRECT()},
      {"all clean", {IRECT(10, 10, 20, 20)}, {false}, IRECT(), false, IRECT()},
      {"one dirty", {IRECT(10, 10, 20, 20)}, {true}, IRECT(), true, IRECT(10, 10, 20, 20)},
      {"two dirty",
       {IRECT(10, 10, 20, 20), IRECT(30, 5, 40, 15), IRECT(0, 0, 90, 90)},
       {true, true, false},
       IRECT(),
       true,
       IRECT(10, 5, 40, 20)},
      {"empty rectangle adds nothing",
       {IRECT(), IRECT(10, 10, 20, 20)},
       {true, true},
       IRECT(),
       true,
       IRECT(10, 10, 20, 20)},
      {"grows the caller's region",
       {IRECT(10, 10, 20, 20)},
       {true},
       IRECT(0, 0, 5, 5),
       true,
       IRECT(0, 0, 20, 20)},
      {"clean controls leave the caller's region",
       {IRECT(10, 10, 20, 20)},
       {false},
       IRECT(1, 2, 3, 4),
       false,
       IRECT(1, 2, 3, 4)},
  };
  for (const Row& row : rows)
  {
    Rig rig;
    for (size_t i = 0; i < row.rects.size(); ++i)
    {
      ProbeControl* c = rig.Probe(row.rects[i]);
      if (!row.dirty[i]) c->Clean();
    }
    IRECT r = row.start;
    EXPECT_EQ(rig.gui->IsDirty(&r), row.result) << row.what;
    EXPECT_EQ(Str(r), Str(row.region)) << row.what;
    // The scan cleans nothing.
    IRECT again = row.start;
    EXPECT_EQ(rig.gui->IsDirty(&again), row.result) << row.what;
  }
}

// Repaint strategies over four controls: background 0 (0,0,100,100), A (10,10,30,30),
// B (20,20,40,40) overlapping A, C (60,60,80,80).
TEST(GraphicsRedraw, StrictAndNonStrictRepaint)
{
  struct Row
  {
    const char* what;
    bool strict;
    std::vector<bool> dirty, hidden;
    IRECT region;
    std::vector<int> drawn;
    std::vector<bool> dirtyAfter;
  };
  const Row rows[] = {
      {"strict: what overlaps the region",
       true,
       {0, 1, 0, 0},
       {0, 0, 0, 0},
       IRECT(10, 10, 30, 30),
       {1, 1, 1, 0},
       {0, 0, 0, 0}},
      {"strict: a shared edge counts as overlap",
       true,
       {0, 0, 0, 0},
       {0, 0, 0, 0},
       IRECT(0, 0, 10, 10),
       {1, 1, 0, 0},
       {0, 0, 0, 0}},
      {"strict: empty region draws nothing, cleans all",
       true,
       {1, 1, 1, 1},
       {0, 0, 0, 0},
       IRECT(),
       {0, 0, 0, 0},
       {0, 0, 0, 0}},
      {"strict: hidden is not drawn but cleaned",
       true,
       {1, 1, 1, 1},
       {0, 0, 1, 0},
       IRECT(0, 0, 100, 100),
       {1, 1, 0, 1},
       {0, 0, 0, 0}},
      {"non-strict, background dirty: everything visible; hidden stays dirty",
       false,
       {1, 0, 1, 0},
       {0, 0, 1, 0},
       IRECT(5, 5, 6, 6),
       {1, 1, 0, 1},
       {0, 0, 1, 0}},
      {"non-strict, background hidden: not drawn, cleaned",
       false,
       {1, 0, 0, 0},
       {1, 0, 0, 0},
       IRECT(0, 0, 100, 100),
       {0, 1, 1, 1},
       {0, 0, 0, 0}},
      {"non-strict: a dirty control and what overlaps it",
       false,
       {0, 1, 0, 0},
       {0, 0, 0, 0},
       IRECT(),
       {1, 1, 1, 0},
       {0, 0, 0, 0}},
      {"non-strict: each dirty control its own pass",
       false,
       {0, 1, 0, 1},
       {0, 0, 0, 0},
       IRECT(),
       {2, 1, 1, 1},
       {0, 0, 0, 0}},
      {"non-strict: a hidden dirty control is cleaned, its neighbours drawn",
       false,
       {0, 0, 1, 0},
       {0, 0, 1, 0},
       IRECT(),
       {1, 1, 0, 0},
       {0, 0, 0, 0}},
  };
  for (const Row& row : rows)
  {
    Rig rig;
    ProbeControl* c[4] = {rig.Probe(IRECT(0, 0, 100, 100)), rig.Probe(IRECT(10, 10, 30, 30)),
                          rig.Probe(IRECT(20, 20, 40, 40)), rig.Probe(IRECT(60, 60, 80, 80))};
    rig.gui->PrepDraw();
    rig.gui->SetStrictDrawing(row.strict);
    for (int i = 0; i < 4; ++i)
    {
      if (row.hidden[i]) c[i]->Hide(true);
      c[i]->Clean();
      if (row.dirty[i]) c[i]->SetDirty(false);
    }
    IRECT region = row.region;
    EXPECT_TRUE(rig.gui->Draw(&region)) << row.what;
    for (int i = 0; i < 4; ++i)
    {
      EXPECT_EQ(c[i]->mDraws, row.drawn[i]) << row.what << ", control " << i;
      EXPECT_EQ(c[i]->IsDirty(), row.dirtyAfter[i]) << row.what << ", control " << i;
    }
    ASSERT_EQ(rig.gui->Presented().size(), 1u) << row.what;
    EXPECT_EQ(Str(rig.gui->Presented()[0]), Str(row.region)) << row.what;
  }
}

TEST(GraphicsRedraw, EmptyEditorPresentsNothing)
{
  Rig rig;
  IRECT r(0, 0, 10, 10);
  EXPECT_FALSE(rig.gui->IsDirty(&r));
  EXPECT_TRUE(rig.gui->Draw(&r));
  EXPECT_TRUE(rig.gui->Presented().empty());
}

// Bitmap drawing clips to the control being repainted in the non-strict pass: a wide control
// under a small dirty one is repainted only inside the small one's rectangle.
TEST(GraphicsRedraw, NonStrictPassPaintsOnlyTheDirtyRectangle)
{
  Rig rig;
  IColor grey = COLOR_GRAY;
  rig.gui->AttachPanelBackground(&grey);
  IBitmap strip = rig.Strip(ctltest::MakeIdStrip(40, 40, 1), 1);
  auto* wide = rig.Attach(new IBitmapControl(&rig.plug, 0, 0, -1, &strip));
  auto* small = rig.Probe(IRECT(10, 10, 20, 20), -1, COLOR_BLUE);
  rig.Open();
  rig.gui->SetStrictDrawing(false);
  rig.gui->GetControl(0)->SetClean();
  wide->SetClean();
  small->Clean();
  small->SetDirty(false);
  EXPECT_TRUE(rig.gui->Tick());
  EXPECT_EQ(rig.gui->GetPoint(15, 15), COLOR_BLUE);
  // The panel fills without clipping; the strip above it is blitted only inside (10,10,20,20).
  EXPECT_EQ(rig.gui->GetPoint(5, 5), COLOR_GRAY);
  EXPECT_EQ(rig.gui->GetPoint(25, 25), COLOR_GRAY);
}

// A host change marks the control through a setter: painted on two consecutive ticks, then
// left alone. A change the control makes itself is painted once.
TEST(GraphicsRedraw, HostChangeIsPaintedOnTwoPasses)
{
  Rig rig;
  ProbeControl* gain = rig.Probe(IRECT(10, 10, 30, 30), ctltest::kGain);
  ProbeControl* other = rig.Probe(IRECT(50, 50, 60, 60), ctltest::kLevel);
  rig.Open();
  while (rig.gui->Tick())
  {
  }
  gain->mDraws = other->mDraws = 0;

  rig.gui->SetParameterFromPlug(ctltest::kGain, 10.0, false); // plain: 10 dB of -20..20
  EXPECT_DOUBLE_EQ(gain->GetValue(), 0.75);
  std::vector<bool> ticks;
  for (int i = 0; i < 4; ++i) ticks.push_back(rig.gui->Tick());
  EXPECT_EQ(ticks, (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(gain->mDraws, 2);
  EXPECT_EQ(other->mDraws, 0);

  gain->SetDirty(false);
  EXPECT_TRUE(rig.gui->Tick());
  EXPECT_FALSE(rig.gui->Tick());
  EXPECT_EQ(gain->mDraws, 3);
}

TEST(GraphicsParams, PlugAndEditorKeepControlsInStep)
{
  Rig rig;
  ProbeControl* a = rig.Probe(IRECT(0, 0, 10, 10), ctltest::kLevel);
  ProbeControl* b = rig.Probe(IRECT(10, 0, 20, 10), ctltest::kLevel);
  ProbeControl* aux = rig.Probe(IRECT(20, 0, 30, 10), ctltest::kGain);
  aux->AddAuxParam(ctltest::kLevel);
  rig.Open();
  // Attaching pushed every parameter: defaults fixed, nothing dirtied by it.
  EXPECT_DOUBLE_EQ(a->GetDefaultValue(), 0.25);
  EXPECT_DOUBLE_EQ(aux->GetAuxParam(0)->mValue.load(), 0.25);

  rig.gui->SetParameterFromPlug(ctltest::kLevel, 0.5, true);
  EXPECT_DOUBLE_EQ(a->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(b->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(aux->GetAuxParam(0)->mValue.load(), 0.5);
  EXPECT_DOUBLE_EQ(aux->GetValue(), 0.5) << "the gain's own value is untouched";
  EXPECT_EQ(rig.HostLog(), "") << "host changes do not go back to the host";

  rig.gui->SetControlFromPlug(1, 0.75);
  rig.gui->SetControlFromPlug(99, 0.1); // ignored
  rig.gui->SetControlFromPlug(-1, 0.1);
  EXPECT_DOUBLE_EQ(b->GetValue(), 0.75);

  rig.gui->SetParameterFromGUI(ctltest::kLevel, 0.125);
  EXPECT_EQ(rig.HostLog(), "automate 4 0.125; automate 4 0.125");

  rig.gui->ClampControl(ctltest::kGain, -10.0, 10.0, false);
  EXPECT_DOUBLE_EQ(aux->GetClampLow(), 0.25);
  EXPECT_DOUBLE_EQ(aux->GetClampHigh(), 0.75);

  rig.gui->HideControl(ctltest::kLevel, true);
  rig.gui->GrayOutControl(ctltest::kGain, true);
  EXPECT_TRUE(a->IsHidden() && b->IsHidden() && !aux->IsHidden());
  EXPECT_TRUE(aux->IsGrayed());
  EXPECT_FLOAT_EQ(aux->GetBlend()->mWeight, 0.25f);

  rig.gui->AssignParamNameToolTips();
  EXPECT_STREQ(a->GetTooltip(), "Level");
  EXPECT_STREQ(aux->GetTooltip(), "Gain");
}

} // namespace
