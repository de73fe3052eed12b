// The editor's control list and redraw cycle, through the headless editor and probe controls:
// which region a tick finds dirty, which controls a Draw paints and cleans, and how a host
// change reaches the controls.

#include "GraphicsTestSupport.h"

using namespace gfxtest;
using R = IRECT;

namespace
{

TEST(GraphicsList, BackgroundsGoToTheBottomAndFrameRateDefaults)
{
  Rig rig;
  auto* a = rig.Probe(R(1, 1, 5, 5));
  IColor grey = COLOR_GRAY;
  rig.gui->AttachPanelBackground(&grey);
  ASSERT_EQ(rig.gui->NControls(), 2);
  EXPECT_EQ(rig.gui->GetControl(1), a);
  EXPECT_EQ(*rig.gui->GetControl(0)->GetRECT(), R(0, 0, 100, 100));
  // A missing background image still gives a control with a size at the bottom.
  rig.gui->AttachBackground(990001, "no-such-background.png");
  EXPECT_EQ(rig.gui->NControls(), 3);
  EXPECT_GT(rig.gui->GetControl(0)->GetRECT()->W(), 0);
  EXPECT_EQ(rig.gui->GetControl(2), a);

  for (int fps : {-5, 0}) EXPECT_EQ(IGraphicsHeadless(nullptr, 10, 10, fps).FPS(), 25);
}

// Dirty region: the union of the dirty controls' rectangles, grown from what the caller passes.
TEST(GraphicsRedraw, DirtyRegionIsTheUnionOfDirtyControls)
{
  struct Row
  {
    std::vector<IRECT> rects;
    int dirty; // bit i: control i dirty
    IRECT start;
    bool result;
    IRECT region;
  };
  const Row rows[] = {
      {{}, 0, R(), false, R()},
      {{R(10, 10, 20, 20)}, 0, R(), false, R()},
      {{R(10, 10, 20, 20)}, 1, R(), true, R(10, 10, 20, 20)},
      {{R(10, 10, 20, 20), R(30, 5, 40, 15), R(0, 0, 90, 90)}, 3, R(), true, R(10, 5, 40, 20)},
      {{R(), R(10, 10, 20, 20)}, 3, R(), true, R(10, 10, 20, 20)}, // empty adds nothing
      {{R(10, 10, 20, 20)}, 1, R(0, 0, 5, 5), true, R(0, 0, 20, 20)},
      {{R(10, 10, 20, 20)}, 0, R(1, 2, 3, 4), false, R(1, 2, 3, 4)},
  };
  for (const Row& row : rows)
  {
    SCOPED_TRACE(&row - rows);
    Rig rig;
    for (size_t i = 0; i < row.rects.size(); ++i)
    {
      ProbeControl* c = rig.Probe(row.rects[i]);
      if (!(row.dirty >> i & 1)) c->Clean();
    }
    // Twice: the scan cleans nothing.
    for (int pass = 0; pass < 2; ++pass)
    {
      IRECT r = row.start;
      EXPECT_EQ(rig.gui->IsDirty(&r), row.result);
      EXPECT_EQ(r, row.region);
    }
  }
  // Nothing to draw: nothing presented.
  Rig rig;
  IRECT r(0, 0, 10, 10);
  EXPECT_TRUE(rig.gui->Draw(&r));
  EXPECT_TRUE(rig.gui->Presented().empty());
}

// Repaint strategies over four controls: background 0 (0,0,100,100), A (10,10,30,30),
// B (20,20,40,40) overlapping A, C (60,60,80,80). Flags and draw counts by control, as digits.
TEST(GraphicsRedraw, StrictAndNonStrictRepaint)
{
  struct Row
  {
    bool strict;
    const char *dirty, *hidden;
    IRECT region;
    const char *drawn, *dirtyAfter;
  };
  const Row rows[] = {
      {true, "0100", "0000", R(10, 10, 30, 30), "1110", "0000"}, // what overlaps the region
      {true, "0000", "0000", R(0, 0, 10, 10), "1100", "0000"},   // a shared edge overlaps
      {true, "1111", "0000", R(), "0000", "0000"},               // empty: nothing, cleans all
      {true, "1111", "0010", R(0, 0, 100, 100), "1101", "0000"}, // hidden: cleaned, not drawn
      // Non-strict, background dirty: everything visible; a hidden one stays dirty.
      {false, "1010", "0010", R(5, 5, 6, 6), "1101", "0010"},
      {false, "1000", "1000", R(0, 0, 100, 100), "0111", "0000"}, // hidden background
      {false, "0100", "0000", R(), "1110", "0000"},               // dirty one and its overlaps
      {false, "0101", "0000", R(), "2111", "0000"},               // each dirty one its own pass
      {false, "0010", "0010", R(), "1100", "0000"}, // hidden dirty: cleaned, neighbours drawn
  };
  for (const Row& row : rows)
  {
    SCOPED_TRACE(&row - rows);
    Rig rig;
    ProbeControl* c[4] = {rig.Probe(R(0, 0, 100, 100)), rig.Probe(R(10, 10, 30, 30)),
                          rig.Probe(R(20, 20, 40, 40)), rig.Probe(R(60, 60, 80, 80))};
    rig.gui->PrepDraw();
    rig.gui->SetStrictDrawing(row.strict);
    for (int i = 0; i < 4; ++i)
    {
      if (row.hidden[i] == '1') c[i]->Hide(true);
      c[i]->Clean();
      if (row.dirty[i] == '1') c[i]->SetDirty(false);
    }
    IRECT region = row.region;
    EXPECT_TRUE(rig.gui->Draw(&region));
    std::string drawn, dirtyAfter;
    for (ProbeControl* p : c)
    {
      drawn += char('0' + p->mDraws);
      dirtyAfter += p->IsDirty() ? '1' : '0';
    }
    EXPECT_EQ(drawn, row.drawn);
    EXPECT_EQ(dirtyAfter, row.dirtyAfter);
    ASSERT_EQ(rig.gui->Presented().size(), 1u);
    EXPECT_EQ(rig.gui->Presented()[0], row.region);
  }
}

// Bitmap drawing clips to the control being repainted in the non-strict pass: a wide control
// under a small dirty one is repainted only inside the small one's rectangle.
TEST(GraphicsRedraw, NonStrictPassPaintsOnlyTheDirtyRectangle)
{
  Rig rig;
  IColor grey = COLOR_GRAY;
  rig.gui->AttachPanelBackground(&grey);
  IBitmap strip = rig.Strip(MakeIdStrip(40, 40, 1), 1);
  auto* wide = rig.Attach(new IBitmapControl(&rig.plug, 0, 0, -1, &strip));
  auto* small = rig.Probe(R(10, 10, 20, 20), -1, COLOR_BLUE);
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

// Host changes reach every control of the parameter and its auxiliary uses, are not echoed to
// the host, and only the controls concerned are drawn.
TEST(GraphicsParams, PlugAndEditorKeepControlsInStep)
{
  Rig rig;
  ProbeControl* a = rig.Probe(R(0, 0, 10, 10), kLevel);
  ProbeControl* b = rig.Probe(R(10, 0, 20, 10), kLevel);
  ProbeControl* aux = rig.Probe(R(20, 0, 30, 10), kGain);
  aux->AddAuxParam(kLevel);
  rig.Open();
  rig.Settle();
  EXPECT_DOUBLE_EQ(aux->GetAuxParam(0)->mValue.load(), 0.25);

  rig.gui->SetParameterFromPlug(kLevel, 0.5, true);
  EXPECT_DOUBLE_EQ(a->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(b->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(aux->GetAuxParam(0)->mValue.load(), 0.5);
  EXPECT_DOUBLE_EQ(aux->GetValue(), 0.5) << "the gain's own value is untouched";
  EXPECT_EQ(rig.HostLog(), "");
  rig.Settle();
  a->mDraws = aux->mDraws = 0;
  rig.gui->SetParameterFromPlug(kGain, 10.0, false); // plain: 10 dB of -20..20
  EXPECT_DOUBLE_EQ(aux->GetValue(), 0.75);
  rig.Settle();
  EXPECT_EQ(aux->mDraws, 2);
  EXPECT_EQ(a->mDraws, 0);

  rig.gui->SetControlFromPlug(1, 0.75);
  rig.gui->SetControlFromPlug(99, 0.1); // ignored
  rig.gui->SetControlFromPlug(-1, 0.1);
  EXPECT_DOUBLE_EQ(b->GetValue(), 0.75);

  rig.gui->SetParameterFromGUI(kLevel, 0.125);
  EXPECT_EQ(rig.HostLog(), "automate 4 0.125; automate 4 0.125");

  rig.gui->ClampControl(kGain, -10.0, 10.0, false);
  EXPECT_DOUBLE_EQ(aux->GetClampLow(), 0.25);
  EXPECT_DOUBLE_EQ(aux->GetClampHigh(), 0.75);

  rig.gui->HideControl(kLevel, true);
  rig.gui->GrayOutControl(kGain, true);
  EXPECT_TRUE(a->IsHidden() && b->IsHidden() && !aux->IsHidden());
  EXPECT_FLOAT_EQ(aux->GetBlend()->mWeight, 0.25f);
  rig.gui->GrayOutControl(kGain, false);
  EXPECT_FLOAT_EQ(aux->GetBlend()->mWeight, 1.0f) << "back at full weight";

  rig.gui->AssignParamNameToolTips();
  EXPECT_STREQ(a->GetTooltip(), "Level");
  EXPECT_STREQ(aux->GetTooltip(), "Gain");
}

} // namespace
