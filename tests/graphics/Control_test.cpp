// The control base class through a headless editor: the redraw bookkeeping, values arriving
// from the plug-in and the user, the default, clamping, prompts, auxiliary parameters, display
// controls, and a host thread moving controls while the editor draws.

#include <atomic>
#include <limits>
#include <thread>

#include "GraphicsTestSupport.h"

using namespace gfxtest;

namespace
{
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A knob on kLevel with kGain as auxiliary parameter, both at 0.5, nothing dirty.
struct KnobRig : Editor
{
  IKnobMultiControl* knob = Knob(10, 10, kLevel);
  KnobRig()
  {
    knob->AddAuxParam(kGain);
    Open();
    knob->SetValueFromPlug(0.5);
    knob->SetAuxParamValueFromPlug(0, 0.5);
    Settle();
  }
};
} // namespace

// A setter's change is drawn on two consecutive passes, the control's own change once, and a
// change to the value already shown not at all.
TEST(Control, RedrawPassesAfterEachKindOfChange)
{
  struct Case
  {
    const char* what;
    void (*change)(KnobRig&);
    int passes;
  };
  const Case cases[] = {
      {"SetValueFromPlug", [](KnobRig& e) { e.knob->SetValueFromPlug(0.75); }, 2},
      {"same value from plug", [](KnobRig& e) { e.knob->SetValueFromPlug(0.5); }, 0},
      {"SetValueFromUserInput", [](KnobRig& e) { e.knob->SetValueFromUserInput(0.1); }, 2},
      {"same value from user", [](KnobRig& e) { e.knob->SetValueFromUserInput(0.5); }, 0},
      {"aux from plug", [](KnobRig& e) { e.knob->SetAuxParamValueFromPlug(0, 0.9); }, 2},
      {"host change", [](KnobRig& e) { e.gui->SetParameterFromPlug(kLevel, 0.2, true); }, 2},
      {"aux from host", [](KnobRig& e) { e.gui->SetParameterFromPlug(kGain, 0.3, true); }, 2},
      {"Hide", [](KnobRig& e) { e.knob->Hide(true); }, 2},
      {"GrayOut", [](KnobRig& e) { e.knob->GrayOut(true); }, 1},
      {"knob drag", [](KnobRig& e) { e.Drag(20, 20, 0, -5); }, 1},
      {"SetDirty(false)", [](KnobRig& e) { e.knob->SetDirty(false); }, 1},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    KnobRig ed;
    ASSERT_FALSE(ed.knob->IsDirty());
    c.change(ed);
    int passes = 0; // consecutive ticks that found the knob dirty
    for (; passes < 5 && ed.knob->IsDirty(); ++passes) ed.gui->Tick();
    EXPECT_EQ(passes, c.passes);
  }
}

// The first value from the plug-in becomes the default; a double-click goes back to it in one
// gesture; before any value a double-click does nothing.
TEST(Control, DefaultFixedByFirstValueAndRestoredByDoubleClick)
{
  Editor ed;
  auto* knob = ed.Knob(10, 10, kLevel);
  auto* loose = ed.Knob(100, 10, -1);
  ed.Open();
  EXPECT_DOUBLE_EQ(knob->GetDefaultValue(), 0.25);
  ed.Drag(20, 20, 0, -20); // 20 px of a 20 px knob at gearing 4: +0.25
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5);
  ed.plug.ClearHostCalls();
  IMouseMod mod(true);
  ed.gui->OnMouseDblClick(20, 20, &mod);
  ed.gui->OnMouseUp(20, 20, &mod);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  EXPECT_EQ(ed.HostLog(), "begin 4; automate 4 0.25; end 4") << "one gesture, and only one";

  loose->SetValue(0.6);
  ed.gui->OnMouseDblClick(110, 20, &mod);
  EXPECT_DOUBLE_EQ(loose->GetValue(), 0.6);
}

// Whatever arrives, by whichever route, the value stays a number in [0, 1] and a frame shows.
TEST(Control, NonFiniteAndOutOfRangeValuesNeverReachTheControl)
{
  struct Case
  {
    double in, expect; // from 0.5
    int frame;         // of 31
  };
  const Case cases[] = {{kNaN, 0.5, 16}, {kInf, 0.5, 16}, {-kInf, 0.5, 16},
                        {1.5, 1.0, 31},  {-0.5, 0.0, 1},  {1e300, 1.0, 31}};
  for (const Case& c : cases)
    for (int via = 0; via < 4; ++via)
    {
      SCOPED_TRACE(testing::Message() << c.in << " route " << via);
      KnobRig ed;
      IKnobMultiControl* knob = ed.knob;
      if (via == 0) knob->SetValueFromPlug(c.in);
      if (via == 1) knob->SetValueFromUserInput(c.in);
      if (via == 2) ed.gui->SetControlFromPlug(0, c.in);
      if (via == 3) knob->SetAuxParamValueFromPlug(0, c.in);
      if (via == 3)
        EXPECT_DOUBLE_EQ(knob->GetAuxParam(0)->mValue.load(), c.expect);
      else
      {
        EXPECT_DOUBLE_EQ(knob->GetValue(), c.expect);
        EXPECT_EQ(ed.FrameShown(knob), c.frame);
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
    int up; // pixels dragged up from 0.5 on a 20 px knob, gearing 4
    double expect;
  };
  const Case cases[] = {
      {0.2, 0.6, true, 40, 0.6},  {0.2, 0.6, true, -40, 0.2}, {0.6, 0.2, true, 40, 0.6},
      {-1.0, 2.0, true, 80, 1.0}, {-10, 10, false, 80, 0.75}, {kNaN, 0.3, true, 80, 1.0},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi);
    Editor ed;
    auto* knob = ed.Knob(10, 10, kGain);
    ed.Open();
    ed.gui->ClampControl(kGain, c.lo, c.hi, c.normalized);
    knob->SetValueFromPlug(0.5);
    ed.Drag(20, 20, 0, -c.up);
    EXPECT_DOUBLE_EQ(knob->GetValue(), c.expect);
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

// Right presses on a caption: where the prompt opens and what it sets, by parameter kind.
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
      {kGain, true, "6.5", box, false, 6.5}, {kGain, false, "6.5", IRECT(), false, 0.0},
      {kMode, true, "2", whole, true, 2.0},  {kMode, true, "-1", whole, true, 0.0},
      {kSteps, true, "3", box, false, 3.0}, // an enum without texts: typed number
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
    ed.Press(20, 20, Mods("R"));
    const auto& menus = ed.gui->MenusShown();
    const auto& entries = ed.gui->TextEntriesOpened();
    ASSERT_EQ(menus.size() + entries.size(), c.where.Empty() ? 0u : 1u);
    if (c.where.Empty()) continue;
    ASSERT_EQ(menus.size(), c.menu ? 1u : 0u);
    EXPECT_EQ(c.menu ? menus[0].mRect : entries[0].mRect, c.where);
    EXPECT_TRUE(c.menu || entries[0].mControl == ctl);
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
  for (auto [in, out] : {std::pair{12, 12}, {1, 1}, {0, 1}, {-5, 1}})
  {
    a->SetTextEntryLength(in);
    EXPECT_EQ(a->GetTextEntryLength(), out) << in;
  }
  b->SetTextEntryLength(3);
  b->DisablePrompt(false);
  IMouseMod right(false, true);
  ed.gui->OnMouseDown(60, 10, &right);
  ASSERT_EQ(ed.gui->TextEntriesOpened().size(), 1u);
  EXPECT_EQ(ed.gui->TextEntriesOpened()[0].mControl->GetTextEntryLength(), 3);
  EXPECT_EQ(ed.gui->TextEntriesOpened()[0].mInitialText, "0.25");
}

// A push updates the value and name display controls; an unchanged text leaves them clean.
TEST(Control, DisplayControlsFollowPushes)
{
  Editor ed;
  auto* knob = ed.Knob(10, 10, kGain);
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

// Auxiliary parameters: lookups out of range find nothing, and all are pushed together.
TEST(Control, AuxiliaryParameters)
{
  Editor ed;
  auto* ctl = ed.Attach(new IInvisibleSwitchControl(&ed.plug, IRECT(0, 0, 10, 10), kOnOff));
  ctl->AddAuxParam(kGain);
  ctl->AddAuxParam(kLevel);
  EXPECT_EQ(ctl->AuxParamIdx(kLevel), 1);
  EXPECT_EQ(ctl->AuxParamIdx(kMode), -1);
  EXPECT_EQ(ctl->GetAuxParam(2), nullptr);
  EXPECT_EQ(ctl->GetAuxParam(-1), nullptr);
  ctl->SetAuxParamValueFromPlug(7, 0.5); // no such entry: ignored
  ed.Open();
  ctl->GetAuxParam(0)->mValue.store(0.75);
  ed.plug.ClearHostCalls();
  ctl->SetAllAuxParamsFromGUI();
  EXPECT_EQ(ed.HostLog(), "automate 0 0.75; automate 4 0.25");
}

// A host thread moving a knob while the editor thread ticks: when the host stops, the screen
// settles on the last value it sent, whatever the interleaving.
TEST(Control, HostThreadChangesAreAlwaysDrawn)
{
  Editor ed;
  auto* knob = ed.Knob(10, 10, kLevel, 4);
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
    EXPECT_EQ(ed.gui->GetPoint(10, 10).mG, last + 1) << "round " << round;
    EXPECT_FALSE(knob->IsDirty());
  }
}
