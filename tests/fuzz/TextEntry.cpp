// Text typed into the editor's text entry: a headless editor of the stand-in plug-in (a parameter
// of every kind; Mode gets display texts here), one control bound to the chosen parameter, and
// the text committed as the user's Enter commits it.
//
// Input: byte 0 picks the parameter (low three bits), whether the text goes through the prompt
// and the headless editor's text entry rather than straight to SetFromStringAfterPrompt (bit 3;
// a parameter the prompt offers as a menu takes the text straight) and whether the parameter's
// display is negated (bit 4). The rest is the text, cut at its first zero byte as typed text is.

#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/IControl.h"
#include "graphics/IGraphicsHeadless.h"
#include "support/EightParamPlug.h"
#include "tests/fuzz/FuzzCheck.h"

using torva_fuzz::PlugImage;

namespace
{
class Knob : public IControl
{
public:
  using IControl::IControl;
  bool Draw(IGraphics*) override { return true; }
};

// What any accepted text that is no display text must start with: a number as C reads it (one
// beyond the double range included: it lands on a bound).
bool StartsWithNumber(char const* s)
{
  char* end = nullptr;
  std::strtod(s, &end);
  return end != s;
}

// Display texts are matched without the blanks around them.
std::string Trimmed(std::string const& s)
{
  size_t const first = s.find_first_not_of(" \t\n\r\f\v");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\n\r\f\v") - first + 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
  if (size < 1 || size > 4096) return 0;
  torva_test::EightParamPlug plug;
  char const* const modes[] = {"Clean", "Crunch", "Lead", "Solo"};
  for (int i = 0; i < 4; ++i) plug.GetParam(5)->SetDisplayText(i, modes[i]);
  int const idx = data[0] & 7;
  IParam* param = plug.GetParam(idx);
  if (data[0] & 16) param->NegateDisplay();

  auto* gui = new IGraphicsHeadless(&plug, 64, 64); // the plug-in owns it once attached
  auto* knob = new Knob(&plug, IRECT(0, 0, 64, 64), idx);
  gui->AttachControl(knob);
  plug.AttachGraphics(gui);
  plug.ClearHostCalls();

  std::string const text(reinterpret_cast<char const*>(data + 1), size - 1);
  char const* typed = text.c_str();
  PlugImage const before(plug);
  if (data[0] & 8)
  {
    IRECT r(0, 0, 64, 16);
    gui->QueueText(typed);
    gui->PromptUserInput(knob, param, &r);
    if (gui->TextEntriesOpened().empty()) gui->SetFromStringAfterPrompt(knob, param, typed);
    FUZZ_CHECK(!gui->IsTextEntryOpen());
  }
  else
    gui->SetFromStringAfterPrompt(knob, param, typed);

  FUZZ_CHECK(torva_fuzz::ParamsInRange(plug));
  double shownAs = 0.0;
  bool const isDisplayText = param->MapDisplayText(Trimmed(typed).c_str(), &shownAs);
  if (!isDisplayText && !StartsWithNumber(typed))
  {
    FUZZ_CHECK(PlugImage(plug) == before);
    FUZZ_CHECK(plug.HostCalls().empty());
  }
  // A display text of a menu selects its value.
  if (isDisplayText && param->GetNDisplayTexts() > 1) FUZZ_CHECK(param->Value() == shownAs);
  // The knob holds the position typed; the parameter is that position rounded to its step.
  IParam rounded = *param;
  rounded.SetNormalized(knob->GetValue());
  FUZZ_CHECK(rounded.Value() == param->Value());
  return 0;
}
