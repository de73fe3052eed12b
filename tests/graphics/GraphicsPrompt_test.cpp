// Value prompts: which parameters get a menu and which a text entry, what the menu lists and
// checks, and what a typed answer does to the parameter (SetFromStringAfterPrompt), including
// answers no parameter should take.

#include <string>

#include "GraphicsTestSupport.h"
#include "framework/IParam.h"
#include "graphics/IPopupMenu.h"
#include "support/locale.h"

using namespace gfxtest;

namespace
{

struct PromptRig : Rig
{
  ProbeControl* ctl[kNParams];
  PromptRig()
  {
    for (int p = 0; p < kNParams; ++p) ctl[p] = Probe(IRECT(10 * p, 0, 10 * p + 10, 10), p);
    Open();
    HostLog();
  }
  IParam* Param(int p) { return plug.GetParam(p); }
  void Prompt(int p)
  {
    IRECT r(1, 2, 3, 4);
    gui->PromptUserInput(ctl[p], Param(p), &r);
  }
};

TEST(GraphicsPrompt, MenusForTextsTextEntryForNumbers)
{
  PromptRig r;
  r.Param(kMode)->Set(1.0);
  r.Prompt(kMode);
  r.Prompt(kOnOff);
  r.Prompt(kGain);
  r.Prompt(kSteps); // an enum without texts: nothing to list, so a text entry

  const auto& menus = r.gui->MenusShown();
  ASSERT_EQ(menus.size(), 2u);
  EXPECT_EQ(menus[0].mItems, (std::vector<std::string>{"Clean", "Crunch", "Lead"}));
  EXPECT_EQ(menus[0].mFlags, (std::vector<int>{0, IPopupMenuItem::kChecked, 0}));
  EXPECT_EQ(menus[0].mRect, IRECT(1, 2, 3, 4));
  EXPECT_EQ(menus[1].mItems, (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(menus[1].mFlags, (std::vector<int>{IPopupMenuItem::kChecked, 0}));

  const auto& entries = r.gui->TextEntriesOpened();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].mInitialText, "0.0") << "plain value, without display texts";
  EXPECT_EQ(entries[0].mParam, r.Param(kGain));
  EXPECT_EQ(entries[0].mControl, r.ctl[kGain]);
  EXPECT_EQ(entries[1].mInitialText, "0");
  EXPECT_EQ(r.HostLog(), "") << "no choice made, nothing changed";
}

TEST(GraphicsPrompt, MenuChoiceReachesThePlugIn)
{
  struct Row
  {
    int param;
    int choice;
    const char* host;
  };
  const Row rows[] = {
      {kMode, 2, "automate 1 1"},
      {kMode, 1, "automate 1 0.5"},
      {kMode, 0, ""}, // already shown
      {kMode, -1, ""},
      {kMode, 3, ""}, // an answer outside the menu is no choice
      {kOnOff, 1, "automate 3 1"},
  };
  for (const Row& row : rows)
  {
    PromptRig r;
    r.gui->QueueMenuChoice(row.choice);
    r.Prompt(row.param);
    EXPECT_EQ(r.HostLog(), row.host) << "param " << row.param << " choice " << row.choice;
  }
}

// A typed answer, as the text entry hands it back: read by the parameter's rule (pinned with
// IParam), clamped, and a gesture of its own when it changes the value.
TEST(GraphicsPrompt, TypedAnswers)
{
  const std::string huge(1 << 20, '7');
  const std::string hugeNumber = "0." + huge;
  struct Row
  {
    int param;
    std::string text;
    const char* host; // what the host hears ("" = nothing changed)
  };
  const Row rows[] = {
      // Gain: double -20..20 dB.
      {kGain, "10", "automate 0 0.75"},
      {kGain, "  -5.5 dB", "automate 0 0.3625"},
      {kGain, "+20", "automate 0 1"},
      {kGain, "1e3", "automate 0 1"}, // clamped into the range
      {kGain, huge, "automate 0 1"},  // beyond the double range: on the bound
      {kGain, "0", ""},               // the value it has
      {kGain, "", ""},                // empty: cancelled, not zero
      {kGain, "loud", ""},
      {kGain, "5 %", ""}, // another unit
      {kLevel, hugeNumber, "automate 4 0.777778"},
      {kLevel, "0,5", ""}, // the point is '.' in any locale
      // Enum with texts: by text only.
      {kMode, "Lead", "automate 1 1"},
      {kMode, "lead", ""},
      {kMode, "1", ""},
      // Enum without texts: by number.
      {kSteps, "3", "automate 2 0.75"},
      {kSteps, "Three", ""},
      {kSteps, "9", "automate 2 1"}, // clamped to the last
      // Bool with its "off"/"on".
      {kOnOff, "on", "automate 3 1"},
      {kOnOff, "off", ""},
  };
  for (const Row& row : rows)
  {
    PromptRig r;
    r.gui->SetFromStringAfterPrompt(r.ctl[row.param], r.Param(row.param), row.text.c_str());
    const std::string host = r.HostLog();
    // A change is a gesture of its own: the press that opened the entry has ended.
    const std::string p = std::to_string(row.param);
    const std::string gesture = *row.host ? "begin " + p + "; " + row.host + "; end " + p : "";
    EXPECT_EQ(host, gesture) << "param " << row.param << " text \"" << row.text.substr(0, 20)
                             << "\"";
  }
}

TEST(GraphicsPrompt, NegatedDisplayIsReadBack)
{
  PromptRig r;
  r.Param(kGain)->NegateDisplay();
  r.gui->SetFromStringAfterPrompt(r.ctl[kGain], r.Param(kGain), "10");
  EXPECT_EQ(r.HostLog(), "begin 0; automate 0 0.25; end 0");
}

TEST(GraphicsPrompt, NumbersReadWithAPointInAnyLocale)
{
  if (!torva_test::UseCommaLocale()) GTEST_SKIP() << "no comma locale";
  PromptRig r;
  r.gui->SetFromStringAfterPrompt(r.ctl[kGain], r.Param(kGain), "-5.5");
  torva_test::RestoreCLocale();
  EXPECT_EQ(r.HostLog(), "begin 0; automate 0 0.3625; end 0");
}

TEST(GraphicsPrompt, IgnoredPrompts)
{
  PromptRig r;
  IRECT rect(0, 0, 5, 5);
  IParam* gain = r.Param(kGain);
  r.gui->PromptUserInput(nullptr, gain, &rect);
  r.gui->PromptUserInput(r.ctl[0], nullptr, &rect);
  r.gui->PromptUserInput(r.ctl[0], gain, nullptr);
  EXPECT_TRUE(r.gui->MenusShown().empty());
  EXPECT_TRUE(r.gui->TextEntriesOpened().empty());

  r.gui->SetFromStringAfterPrompt(r.ctl[0], nullptr, "5");
  r.gui->SetFromStringAfterPrompt(r.ctl[0], gain, nullptr);
  r.gui->SetFromStringAfterPrompt(nullptr, gain, "5");
  ProbeControl stray(&r.plug, IRECT(0, 0, 5, 5), kGain); // not attached
  r.gui->SetFromStringAfterPrompt(&stray, gain, "5");
  EXPECT_EQ(r.HostLog(), "");
}

// The headless text entry: answered at once when a text is queued, else held open.
TEST(GraphicsPrompt, TextEntryRoundTrip)
{
  PromptRig r;
  r.gui->QueueText("-10");
  r.Prompt(kGain);
  EXPECT_FALSE(r.gui->IsTextEntryOpen());
  EXPECT_EQ(r.HostLog(), "begin 0; automate 0 0.25; end 0");

  r.Prompt(kLevel);
  EXPECT_TRUE(r.gui->IsTextEntryOpen());
  EXPECT_TRUE(r.gui->CommitTextEntry("0.5"));
  EXPECT_FALSE(r.gui->CommitTextEntry("0.6"));
  EXPECT_EQ(r.HostLog(), "begin 4; automate 4 0.5; end 4");

  // A control without a parameter gets the text itself.
  IRECT rect(0, 0, 5, 5);
  r.gui->CreateTextEntry(r.ctl[0], r.ctl[0]->GetText(), &rect, "abc", nullptr);
  r.gui->CommitTextEntry("xyz");
  EXPECT_EQ(r.ctl[0]->Log(), "text xyz");

  // Closing from outside commits nothing.
  r.Prompt(kLevel);
  r.gui->ForceEndUserEdit();
  EXPECT_FALSE(r.gui->CommitTextEntry("0.9"));
  EXPECT_EQ(r.HostLog(), "");
}

TEST(PopupMenu, ItemsFlagsAndChecks)
{
  IPopupMenu sub;
  IPopupMenu m;
  m.AddItem("b");
  m.AddItem("a", 0);
  m.AddItem("c", -7, IPopupMenuItem::kDisabled); // negative inserts at the front
  m.AddSeparator();
  m.AddItem("sub", &sub);
  m.AddItem("end", 99); // past the end appends
  ASSERT_EQ(m.GetNItems(), 6);
  std::string order;
  for (int i = 0; i < m.GetNItems(); ++i) order += std::string(m.GetItemText(i)) + "|";
  EXPECT_EQ(order, "c|a|b||sub|end|");
  EXPECT_FALSE(m.GetItem(0)->GetEnabled());
  EXPECT_TRUE(m.GetItem(3)->GetIsSeparator());
  EXPECT_EQ(m.GetItem(4)->GetSubmenu(), &sub);
  EXPECT_EQ(m.GetItem(6), nullptr);
  EXPECT_EQ(m.GetItem(-1), nullptr);
  EXPECT_STREQ(m.GetItemText(17), "");

  m.CheckItem(1, true);
  m.CheckItem(2, true);
  m.CheckItem(40, true);
  EXPECT_TRUE(m.IsItemChecked(1) && m.IsItemChecked(2));
  m.CheckItemAlone(2);
  EXPECT_FALSE(m.IsItemChecked(1));
  EXPECT_TRUE(m.IsItemChecked(2));
  EXPECT_EQ(m.GetItem(0)->GetFlags(), IPopupMenuItem::kDisabled) << "checking keeps other flags";
  m.GetItem(2)->SetChecked(false);
  EXPECT_FALSE(m.IsItemChecked(2));
  EXPECT_FALSE(m.IsItemChecked(50));
  for (int p : {2, 4, -1}) m.SetPrefix(p); // only 0 .. 3 taken
  EXPECT_EQ(m.GetPrefix(), 2);
}

} // namespace
