// The control base class through a headless editor: the redraw bookkeeping, values arriving
// from the plug-in and the user, the default, clamping, prompts, auxiliary parameters, display
// controls, and a host thread moving controls while the editor draws.

#include <cmath>
#include <limits>
#include <thread>

#include "tests/graphics/ControlTestSupport.h"

using namespace ctltest;

namespace
{
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// How many consecutive timer ticks draw after a change (at most 5).
int PassesDrawn(Editor& ed, IControl* pControl)
{
  int n = 0;
  for (int i = 0; i < 5; ++i)
  {
    bool dirty = pControl->IsDirty();
    ed.gui->Tick();
    if (!dirty) break;
    ++n;
  }
  return n;
}
} // namespace

// A setter's change is drawn on two consecutive passes, the control's own change once, and a
// change to the value already shown not at all.
TEST(Control, RedrawPassesAfterEachKindOfChange)
{
  struct Case
  {
    const char* what;
    void (*change)(Editor&, IControl*);
    int passes;
  };
  const Case cases[] = {
      {"SetValueFromPlug", [](Editor&, IControl* c) { c->SetValueFromPlug(0.75); }, 2},
      {"SetValueFromPlug, same value", [](Editor&, IControl* c) { c->SetValueFromPlug(0.5); }, 0},
      {"SetValueFromUserInput", [](Editor&, IControl* c) { c->SetValueFromUserInput(0.1); }, 2},
      {"SetValueFromUserInput, same value",
       [](Editor&, IControl* c) { c->SetValueFromUserInput(0.5); }, 0},
      {"SetAuxParamValueFromPlug",
       [](Editor&, IControl* c) { c->SetAuxParamValueFromPlug(0, 0.9); }, 2},
      {"host parameter change",
       [](Editor& e, IControl*) { e.gui->SetParameterFromPlug(kLevel, 0.2, true); }, 2},
      {"aux parameter from host",
       [](Editor& e, IControl*) { e.gui->SetParameterFromPlug(kGain, 0.3, true); }, 2},
      {"Hide", [](Editor&, IControl* c) { c->Hide(true); }, 2},
      {"GrayOut", [](Editor&, IControl* c) { c->GrayOut(true); }, 1},
      {"knob drag", [](Editor& e, IControl*) { e.Drag(20, 20, 0, -5); }, 1},
      {"SetDirty(false)", [](Editor&, IControl* c) { c->SetDirty(false); }, 1},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    Editor ed;
    IBitmap strip = ed.Strip(MakeIdStrip(20, 20, 31), 31);
    auto* knob = ed.Attach(new IKnobMultiControl(&ed.plug, 10, 10, kLevel, &strip));
    knob->AddAuxParam(kGain);
    ed.Open();
    knob->SetValueFromPlug(0.5);
    knob->SetAuxParamValueFromPlug(0, 0.5);
    ed.Settle();
    ASSERT_FALSE(knob->IsDirty());
    c.change(ed, knob);
    EXPECT_EQ(PassesDrawn(ed, knob), c.passes);
  }
}

// The first value from the plug-in becomes the default and marks nothing; a double-click goes
// back to it and tells the host; before any value a double-click does nothing.
TEST(Control, DefaultFixedByFirstValueAndRestoredByDoubleClick)
{
  Editor ed;
  IBitmap strip = ed.Strip(MakeIdStrip(20, 20, 31), 31);
  auto* knob = ed.Attach(new IKnobMultiControl(&ed.plug, 10, 10, kLevel, &strip));
  auto* loose = ed.Attach(new IKnobMultiControl(&ed.plug, 100, 10, -1, &strip));
  ed.Open();
  EXPECT_DOUBLE_EQ(knob->GetDefaultValue(), 0.25);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  EXPECT_DOUBLE_EQ(loose->GetDefaultValue(), -1.0);

  ed.Drag(20, 20, 0, -20); // 20 px of a 20 px knob at gearing 4: +0.25
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5);
  ed.plug.ClearHostCalls();
  IMouseMod mod(true);
  ed.gui->OnMouseDblClick(20, 20, &mod);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  EXPECT_EQ(ed.plug.Automated(kLevel), std::vector<double>{0.25});
  EXPECT_DOUBLE_EQ(ed.plug.GetParam(kLevel)->Value(), 0.25);

  loose->SetValue(0.6);
  ed.gui->OnMouseDblClick(110, 20, &mod);
  EXPECT_DOUBLE_EQ(loose->GetValue(), 0.6);
}

// Whatever arrives, the value stays a number in [0, 1] and the control shows a frame.
TEST(Control, NonFiniteAndOutOfRangeValuesNeverReachTheControl)
{
  struct Case
  {
    double in;
    double expect; // from 0.5
    int frame;     // of 31
  };
  const Case cases[] = {{kNaN, 0.5, 16}, {kInf, 0.5, 16}, {-kInf, 0.5, 16},
                        {1.5, 1.0, 31},  {-0.5, 0.0, 1},  {1e300, 1.0, 31}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.in);
    for (int via = 0; via < 4; ++via)
    {
      Editor ed;
      IBitmap strip = ed.Strip(MakeIdStrip(20, 20, 31), 31);
      auto* knob = ed.Attach(new IKnobMultiControl(&ed.plug, 10, 10, kLevel, &strip));
      knob->AddAuxParam(kGain);
      ed.Open();
      knob->SetValueFromPlug(0.5);
      knob->SetAuxParamValueFromPlug(0, 0.5);
      switch (via)
      {
      case 0:
        knob->SetValueFromPlug(c.in);
        break;
      case 1:
        knob->SetValueFromUserInput(c.in);
        break;
      case 2:
        ed.gui->SetControlFromPlug(0, c.in);
        break;
      case 3:
        knob->SetAuxParamValueFromPlug(0, c.in);
        break;
      }
      double v = via == 3 ? knob->GetAuxParam(0)->mValue.load() : knob->GetValue();
      EXPECT_DOUBLE_EQ(v, c.expect) << "route " << via;
      if (via != 3)
      {
        EXPECT_EQ(ed.FrameShown(knob), c.frame) << "route " << via;
      }
    }
  }
}

// The clamp range bounds what a control pushes; a reversed or oversized range is put right.
TEST(Control, ClampRange)
{
  struct Case
  {
    double lo, hi;
    bool normalized;
    double dragFrom, dragBy; // pixels up on a 20 px knob, gearing 4
    double expect;
  };
  const Case cases[] = {
      {0.2, 0.6, true, 0.5, 40, 0.6},  {0.2, 0.6, true, 0.5, -40, 0.2},
      {0.6, 0.2, true, 0.5, 40, 0.6},  {-1.0, 2.0, true, 0.5, 80, 1.0},
      {-10, 10, false, 0.5, 80, 0.75}, {kNaN, 0.3, true, 0.5, 80, 1.0},
  };
  for (const Case& c : cases)
  {
    Editor ed;
    IBitmap strip = ed.Strip(MakeIdStrip(20, 20, 31), 31);
    auto* knob = ed.Attach(new IKnobMultiControl(&ed.plug, 10, 10, kGain, &strip));
    ed.Open();
    ed.gui->ClampControl(kGain, c.lo, c.hi, c.normalized);
    knob->SetValueFromPlug(c.dragFrom);
    ed.Drag(20, 20, 0, (int)-c.dragBy);
    EXPECT_DOUBLE_EQ(knob->GetValue(), c.expect) << c.lo << ".." << c.hi;
    EXPECT_DOUBLE_EQ(ed.plug.Automated(kGain).back(), c.expect);
  }
  // A value of 1.3 set directly is pushed as 1.0 with the default range.
  Editor ed;
  IControl* bound = ed.Attach(new IInvisibleSwitchControl(&ed.plug, IRECT(0, 0, 5, 5), kLevel));
  ed.Open();
  bound->SetValue(1.3);
  bound->SetDirty(true);
  EXPECT_DOUBLE_EQ(ed.plug.Automated(kLevel).back(), 1.0);
}

// Prompts: where they open and what they set, for each kind of parameter.
TEST(Control, PromptsByParameterKind)
{
  struct Case
  {
    int param;
    bool enabled;
    const char* answer; // menu index as text, or typed text
    IRECT where;        // empty: no prompt
    bool menu;
    double expect; // plain value afterwards
  };
  const IRECT box(10, 23, 50, 39); // 40 x 16 around the centre of (10, 10, 51, 52)
  const IRECT whole(10, 10, 51, 52);
  const Case cases[] = {
      {kGain, true, "6.5", box, false, 6.5},
      {kGain, true, "loud", box, false, 0.0}, // not a number: nothing changes
      {kGain, false, "6.5", IRECT(), false, 0.0},
      {kMode, true, "2", whole, true, 2.0},
      {kMode, true, "-1", whole, true, 0.0}, // menu closed without a choice
      {kOnOff, true, "1", whole, true, 1.0},
      {kSteps, true, "3", box, false, 3.0}, // an enum without texts: typed number
      {kSteps, true, "9", box, false, 4.0},
      {-1, true, "1", IRECT(), false, 0.0},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "param " << c.param << " answer " << c.answer);
    Editor ed;
    auto* ctl = ed.Attach(new ICaptionControl(&ed.plug, whole, c.param, nullptr));
    ed.Open();
    ed.Settle();
    ctl->DisablePrompt(!c.enabled);
    if (c.menu)
      ed.gui->QueueMenuChoice(std::atoi(c.answer));
    else
      ed.gui->QueueText(c.answer);
    IMouseMod right(false, true);
    ed.gui->OnMouseDown(20, 20, &right);
    ed.gui->OnMouseUp(20, 20, &right);
    if (c.where.Empty())
    {
      EXPECT_TRUE(ed.gui->MenusShown().empty());
      EXPECT_TRUE(ed.gui->TextEntriesOpened().empty());
      continue;
    }
    if (c.menu)
    {
      ASSERT_EQ(ed.gui->MenusShown().size(), 1u);
      EXPECT_EQ(ed.gui->MenusShown()[0].mRect, c.where);
    }
    else
    {
      ASSERT_EQ(ed.gui->TextEntriesOpened().size(), 1u);
      EXPECT_EQ(ed.gui->TextEntriesOpened()[0].mRect, c.where);
      EXPECT_EQ(ed.gui->TextEntriesOpened()[0].mControl, ctl);
    }
    EXPECT_DOUBLE_EQ(ed.plug.GetParam(c.param)->Value(), c.expect);
    EXPECT_TRUE(ctl->IsDirty()); // the prompt's area is repainted
  }
}

// The text entry's length travels with the control the platform is handed; it is at least 1.
TEST(Control, TextEntryLength)
{
  Editor ed;
  auto* a = ed.Attach(new ICaptionControl(&ed.plug, IRECT(0, 0, 40, 20), kGain, nullptr));
  auto* b = ed.Attach(new ICaptionControl(&ed.plug, IRECT(50, 0, 90, 20), kLevel, nullptr));
  ed.Open();
  EXPECT_EQ(a->GetTextEntryLength(), 7);
  b->SetTextEntryLength(3);
  const int lengths[][2] = {{12, 12}, {1, 1}, {0, 1}, {-5, 1}};
  for (const auto& l : lengths)
  {
    a->SetTextEntryLength(l[0]);
    EXPECT_EQ(a->GetTextEntryLength(), l[1]);
  }
  a->DisablePrompt(false);
  b->DisablePrompt(false);
  IMouseMod right(false, true);
  ed.gui->OnMouseDown(60, 10, &right);
  ASSERT_EQ(ed.gui->TextEntriesOpened().size(), 1u);
  EXPECT_EQ(ed.gui->TextEntriesOpened()[0].mControl->GetTextEntryLength(), 3);
  EXPECT_STREQ(ed.gui->TextEntriesOpened()[0].mInitialText.c_str(), "0.25");
}

// A push updates the value and name display controls; an unchanged text leaves them clean.
TEST(Control, DisplayControlsFollowPushes)
{
  Editor ed;
  IBitmap strip = ed.Strip(MakeIdStrip(20, 20, 31), 31);
  auto* knob = ed.Attach(new IKnobMultiControl(&ed.plug, 10, 10, kGain, &strip));
  auto* value = ed.Attach(new ITextControl(&ed.plug, IRECT(40, 10, 120, 30), nullptr));
  auto* name = ed.Attach(new ITextControl(&ed.plug, IRECT(40, 40, 120, 60), nullptr));
  knob->SetValDisplayControl(value);
  knob->SetNameDisplayControl(name);
  ed.Open();
  ed.Drag(20, 20, 0, -8); // +0.1 of 40 dB
  EXPECT_STREQ(value->GetTextForPlug(), "4.0 dB");
  EXPECT_STREQ(name->GetTextForPlug(), "Gain");
  ed.Settle();
  knob->SetDirty(true); // same value again: texts unchanged, displays stay clean
  EXPECT_FALSE(value->IsDirty());
  EXPECT_FALSE(name->IsDirty());
  knob->SetValueFromPlug(0.9); // from the host: no push, displays untouched
  EXPECT_STREQ(value->GetTextForPlug(), "4.0 dB");
}

TEST(Control, AuxiliaryParameters)
{
  Editor ed;
  auto* ctl = ed.Attach(new IInvisibleSwitchControl(&ed.plug, IRECT(0, 0, 10, 10), kOnOff));
  ctl->AddAuxParam(kGain);
  ctl->AddAuxParam(kLevel);
  EXPECT_EQ(ctl->AuxParamIdx(kGain), 0);
  EXPECT_EQ(ctl->AuxParamIdx(kLevel), 1);
  EXPECT_EQ(ctl->AuxParamIdx(kMode), -1);
  EXPECT_EQ(ctl->GetAuxParam(2), nullptr);
  EXPECT_EQ(ctl->GetAuxParam(-1), nullptr);
  ctl->SetAuxParamValueFromPlug(7, 0.5); // no such entry: ignored
  ed.Open();
  EXPECT_DOUBLE_EQ(ctl->GetAuxParam(0)->mValue.load(), 0.5); // gain's 0 dB
  EXPECT_DOUBLE_EQ(ctl->GetAuxParam(1)->mValue.load(), 0.25);
  ctl->GetAuxParam(0)->mValue.store(0.75);
  ed.plug.ClearHostCalls();
  ctl->SetAllAuxParamsFromGUI();
  EXPECT_EQ(ed.plug.Automated(kGain), std::vector<double>{0.75});
  EXPECT_EQ(ed.plug.Automated(kLevel), std::vector<double>{0.25});
}

// Hidden and greyed controls: not hit, greyed ones drawn at a quarter weight and back at full.
TEST(Control, HideAndGrayOut)
{
  Editor ed;
  IBitmap strip = ed.Strip(MakeIdStrip(20, 20, 2), 2);
  auto* sw = ed.Attach(new ISwitchControl(&ed.plug, 10, 10, kOnOff, &strip));
  ed.Open();
  sw->GetBlend()->mWeight = 0.6f;
  sw->GrayOut(true);
  EXPECT_FLOAT_EQ(sw->GetBlend()->mWeight, 0.25f);
  ed.Press(15, 15);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 0.0);
  sw->GrayOut(false);
  EXPECT_FLOAT_EQ(sw->GetBlend()->mWeight, 1.0f);
  ed.Press(15, 15);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 1.0);
  ed.gui->HideControl(kOnOff, true);
  EXPECT_TRUE(sw->IsHidden());
  ed.Press(15, 15);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 1.0);
}

// A host thread moving a knob while the editor thread ticks: when the host stops, the screen
// settles on the last value it sent, whatever the interleaving.
TEST(Control, HostThreadChangesAreAlwaysDrawn)
{
  Editor ed;
  IBitmap strip = ed.Strip(MakeIdStrip(4, 4, 31), 31);
  auto* knob = ed.Attach(new IKnobMultiControl(&ed.plug, 10, 10, kLevel, &strip));
  ed.Open();
  for (int round = 0; round < 20; ++round)
  {
    std::atomic<bool> stop{false};
    const int last = 1 + (round * 7) % 30;
    std::thread host(
        [&]
        {
          for (int i = 0; i < 2000; ++i)
            ed.gui->SetParameterFromPlug(kLevel, (i % 31) / 30.0, true);
          ed.gui->SetParameterFromPlug(kLevel, last / 30.0, true);
          stop = true;
        });
    while (!stop) ed.gui->Tick();
    host.join();
    ed.Settle();
    IColor c = ed.gui->GetPoint(10, 10);
    EXPECT_EQ(c.mG, last + 1) << "round " << round;
    EXPECT_FALSE(knob->IsDirty());
  }
}
