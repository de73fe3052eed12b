// The switch family, radio buttons and film-strip frame choice, through a headless editor.

#include "GraphicsTestSupport.h"

using namespace gfxtest;

// Each press steps one frame and wraps past the last (thirty steps of 1/30 land on 1.0 exactly);
// right presses and double-clicks are presses too.
TEST(Switch, StepsAndWrapsAround)
{
  for (int frames : {1, 2, 3, 5, 31})
    for (const char* mods : {"L", "R", "LS", "dbl"})
    {
      SCOPED_TRACE(testing::Message() << frames << " frames, " << mods);
      Editor ed;
      IBitmap strip = ed.Strip(MakeIdStrip(10, 10, frames), frames);
      auto* sw = ed.Attach(new ISwitchControl(&ed.plug, 5, 5, kLevel, &strip));
      ed.Open();
      sw->SetValueFromPlug(0.0);
      for (int i = 1; i <= frames + 1; ++i)
      {
        IMouseMod mod = Mods(mods);
        if (std::string(mods) == "dbl")
          ed.gui->OnMouseDblClick(8, 8, &mod);
        else
          ed.Press(8, 8, mod);
        const double expect = frames == 1 ? i % 2 : double(i % frames) / (frames - 1);
        EXPECT_NEAR(sw->GetValue(), expect, 1e-12) << "press " << i;
        EXPECT_NEAR(ed.plug.Automated(kLevel).back(), expect, 1e-12);
        EXPECT_EQ(ed.FrameShown(sw), i % frames + 1);
      }
      if (frames == 31)
      {
        EXPECT_DOUBLE_EQ(ed.plug.Automated(kLevel)[29], 1.0);
      }
    }
}

// Frame choice of every film-strip control: c = (int)((N - 1) * v + 0.5), frame c + 1.
TEST(Switch, FrameChoiceOfFilmStrips)
{
  struct Case
  {
    double value;
    int frame; // of 31
  };
  const Case cases[] = {{0.0, 1},    {0.0161, 1}, {1.0 / 60.0 - 1e-9, 1},
                        {0.0167, 2}, {0.5, 16},   {0.48, 15},
                        {0.99, 31},  {1.0, 31}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.value);
    Editor ed;
    IBitmap strip = ed.Strip(MakeIdStrip(6, 6, 31), 31);
    IBitmap wide = ed.Strip(MakeIdStrip(6, 6, 31, true), 31, true);
    IControl* controls[] = {
        ed.Attach(new IKnobMultiControl(&ed.plug, 0, 0, -1, &strip)),
        ed.Attach(new IBitmapControl(&ed.plug, 10, 0, -1, &strip)),
        ed.Attach(new ISwitchControl(&ed.plug, 20, 0, -1, &strip)),
        ed.Attach(new IContactControl(&ed.plug, 30, 0, -1, &strip)),
        ed.Attach(new IBitmapOverlayControl(&ed.plug, 40, 0, &strip, IRECT(40, 10, 46, 16))),
        ed.Attach(new ISwitchFramesControl(&ed.plug, 50, 0, -1, &strip)),
        ed.Attach(new IKnobMultiControl(&ed.plug, 60, 0, -1, &wide)),
    };
    ed.Open();
    for (IControl* ctl : controls)
    {
      ctl->SetValueFromPlug(c.value);
      // The overlay shows nothing below 0.5.
      int expect = (dynamic_cast<IBitmapOverlayControl*>(ctl) && c.value < 0.5) ? 0 : c.frame;
      EXPECT_EQ(ed.FrameShown(ctl), expect) << "control at x " << ctl->GetRECT()->mL;
    }
  }
}

// Strips whose frame count does not fit their pixels: no frame is 0 pixels and every value
// draws a frame of the strip.
TEST(Switch, FilmStripsWithImpossibleFrameCounts)
{
  struct Case
  {
    int declared;   // frames the strip is loaded with
    int actual;     // frames drawn into it, 6 x 6 pixels... or 1 row each
    int rows;       // height of the whole strip
    int frameRows;  // expected control height
    int frameAtOne; // expected frame shown at 1.0
  };
  const Case cases[] = {
      {0, 1, 6, 6, 1},    // no frames: one
      {-3, 1, 6, 6, 1},   // negative: one
      {31, 4, 4, 1, 4},   // 31 frames in 4 rows: 4 frames of one row
      {1000, 8, 8, 1, 8}, // far more frames than rows
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.declared);
    Editor ed;
    IBitmap strip = ed.Strip(MakeIdStrip(6, c.rows / c.actual, c.actual), c.declared);
    auto* knob = ed.Attach(new IKnobMultiControl(&ed.plug, 0, 0, kLevel, &strip));
    ed.Open();
    EXPECT_EQ(knob->GetRECT()->H(), c.frameRows);
    knob->SetValueFromPlug(1.0);
    EXPECT_EQ(ed.FrameShown(knob), c.frameAtOne);
    // A handle whose frame count was spoiled after loading is put right by the control.
    IBitmap spoiled = strip;
    spoiled.mN = 0;
    auto* late = new IKnobMultiControl(&ed.plug, 20, 0, -1, &spoiled);
    EXPECT_EQ(late->GetBitmap()->mN, 1);
    EXPECT_EQ(late->GetRECT()->H(), c.rows);
    delete late;
  }
}

TEST(Switch, ContactInvisibleAndFramesControls)
{
  Editor ed;
  IBitmap two = ed.Strip(MakeIdStrip(10, 10, 2), 2);
  IBitmap four = ed.Strip(MakeIdStrip(40, 10, 4), 4);
  auto* contact = ed.Attach(new IContactControl(&ed.plug, 0, 0, kOnOff, &two));
  auto* invisible = ed.Attach(new IInvisibleSwitchControl(&ed.plug, IRECT(20, 0, 30, 10), kLevel));
  auto* frames = ed.Attach(new ISwitchFramesControl(&ed.plug, 0, 20, kGain, &four, true));
  ed.Open();

  // Contact: on while held, off on release.
  IMouseMod mod(true);
  ed.gui->OnMouseDown(5, 5, &mod);
  EXPECT_DOUBLE_EQ(contact->GetValue(), 1.0);
  ed.gui->OnMouseUp(5, 5, &mod);
  EXPECT_DOUBLE_EQ(contact->GetValue(), 0.0);
  EXPECT_EQ(ed.plug.Automated(kOnOff), (std::vector<double>{1.0, 0.0}));

  // Invisible switch: toggles about 0.5 and draws nothing.
  const double toggles[][2] = {{0.25, 1.0}, {0.5, 0.0}, {0.49, 1.0}, {1.0, 0.0}};
  for (const auto& t : toggles)
  {
    invisible->SetValue(t[0]);
    ed.Press(25, 5);
    EXPECT_DOUBLE_EQ(invisible->GetValue(), t[1]);
  }

  // Frames control: a 40 px frame cut into four 10 px columns, area i giving i / 3; a miss keeps
  // the value and still pushes it.
  ASSERT_EQ(frames->NAreas(), 4);
  for (auto [x, expect] : {std::pair{35, 1.0}, {5, 0.0}, {15, 1.0 / 3.0}, {25, 2.0 / 3.0}})
  {
    ed.Press(x, 25);
    EXPECT_DOUBLE_EQ(frames->GetValue(), expect) << x;
  }
  ed.plug.ClearHostCalls();
  frames->OnMouseDown(100, 100, &mod);
  EXPECT_DOUBLE_EQ(frames->GetValue(), 2.0 / 3.0);
  EXPECT_EQ(ed.plug.Automated(kGain).size(), 1u);

  // A single area gives 0, not 0 / 0.
  IBitmap one = ed.Strip(MakeIdStrip(10, 10, 1), 1);
  ISwitchFramesControl single(&ed.plug, 0, 0, -1, &one);
  single.SetValue(0.7);
  single.OnMouseDown(5, 5, &mod);
  EXPECT_DOUBLE_EQ(single.GetValue(), 0.0);
}

// The overlay takes the mouse in its separate area while off and in its own rectangle while on.
TEST(Switch, OverlayMovesItsTarget)
{
  Editor ed;
  IBitmap two = ed.Strip(MakeIdStrip(10, 10, 2), 2);
  ed.gui->AttachPanelBackground(&COLOR_BLACK);
  auto* overlay =
      ed.Attach(new IBitmapOverlayControl(&ed.plug, 50, 50, kOnOff, &two, IRECT(0, 0, 10, 10)));
  ed.Open();
  ed.gui->RenderAll(); // the target follows the drawn state
  ed.Press(5, 5);
  EXPECT_DOUBLE_EQ(overlay->GetValue(), 1.0);
  EXPECT_EQ(ed.FrameShown(overlay), 2);
  EXPECT_EQ(*overlay->GetTargetRECT(), IRECT(50, 50, 60, 60));
  ed.Press(55, 55);
  EXPECT_DOUBLE_EQ(overlay->GetValue(), 0.0);
  EXPECT_EQ(ed.FrameShown(overlay), 0);
}

// A pop-up switch opens the parameter's menu instead of stepping.
TEST(Switch, PopUpSwitchOpensTheMenu)
{
  Editor ed;
  IBitmap three = ed.Strip(MakeIdStrip(10, 10, 3), 3);
  auto* sw = ed.Attach(new ISwitchPopUpControl(&ed.plug, 0, 0, kMode, &three));
  ed.Open();
  ed.gui->QueueMenuChoice(2);
  ed.Press(5, 5);
  ASSERT_EQ(ed.gui->MenusShown().size(), 1u);
  EXPECT_EQ(ed.gui->MenusShown()[0].mItems, (std::vector<std::string>{"Clean", "Crunch", "Lead"}));
  EXPECT_EQ(ed.plug.GetParam(kMode)->Int(), 2);
  EXPECT_EQ(ed.FrameShown(sw), 3);
  ed.Press(5, 5); // closed without a choice: unchanged
  EXPECT_EQ(ed.plug.GetParam(kMode)->Int(), 2);
}

// Radio buttons: layout, the value of each button, misses, reverse order (the active frame is
// pinned by the switches sheet).
TEST(Switch, RadioButtons)
{
  struct Case
  {
    EDirection dir;
    bool reverse;
    IRECT area;
    std::pair<int, int> topLeft[3]; // of each 10 x 8 button (a two-frame 10 x 16 strip)
  };
  const Case cases[] = {
      {kVertical, false, IRECT(0, 0, 10, 40), {{0, 0}, {0, 16}, {0, 32}}},
      {kVertical, true, IRECT(0, 0, 10, 40), {{0, 32}, {0, 16}, {0, 0}}},
      {kHorizontal, false, IRECT(0, 0, 50, 8), {{0, 0}, {20, 0}, {40, 0}}},
      {kHorizontal, true, IRECT(0, 0, 50, 8), {{40, 0}, {20, 0}, {0, 0}}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "dir " << c.dir << " reverse " << c.reverse);
    Editor ed;
    IBitmap two = ed.Strip(MakeIdStrip(10, 8, 2), 2);
    auto* radio =
        ed.Attach(new IRadioButtonsControl(&ed.plug, c.area, kMode, 3, &two, c.dir, c.reverse));
    ed.Open();
    ASSERT_EQ(radio->NButtons(), 3);
    for (int i = 0; i < 3; ++i)
    {
      auto [x, y] = c.topLeft[i];
      EXPECT_EQ(radio->GetButton(i), IRECT(x, y, x + 10, y + 8)) << "button " << i;
      ed.Press(x + 2, y + 2);
      EXPECT_DOUBLE_EQ(radio->GetValue(), i / 2.0);
      EXPECT_EQ(ed.plug.GetParam(kMode)->Int(), i);
    }
    // A press between buttons keeps the value but still pushes it.
    int pushes = (int)ed.plug.Automated(kMode).size();
    IMouseMod mod(true);
    radio->OnMouseDown(-5, -5, &mod);
    EXPECT_DOUBLE_EQ(radio->GetValue(), 1.0);
    EXPECT_EQ((int)ed.plug.Automated(kMode).size(), pushes + 1);
  }
  // A right press prompts instead; one button never divides by zero.
  Editor ed;
  IBitmap two = ed.Strip(MakeIdStrip(10, 8, 2), 2);
  auto* radio = ed.Attach(new IRadioButtonsControl(&ed.plug, IRECT(0, 0, 10, 40), kMode, 3, &two));
  auto* lone = ed.Attach(new IRadioButtonsControl(&ed.plug, IRECT(20, 0, 30, 40), -1, 1, &two));
  ed.Open();
  radio->DisablePrompt(false);
  ed.gui->QueueMenuChoice(1);
  ed.Press(5, 2, Mods("R"));
  EXPECT_EQ(ed.gui->MenusShown().size(), 1u);
  EXPECT_DOUBLE_EQ(radio->GetValue(), 0.5);
  lone->SetValue(0.8);
  ed.Press(25, 2);
  EXPECT_DOUBLE_EQ(lone->GetValue(), 0.0);
}
