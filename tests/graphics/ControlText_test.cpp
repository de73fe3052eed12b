// Text controls, captions, the link and the file selector.

#include <set>
#include <string>

#include "GraphicsTestSupport.h"

using namespace gfxtest;

namespace
{
// A headless editor whose link opening and file dialog answer as a test says.
class ScriptedGraphics : public IGraphicsHeadless
{
public:
  using IGraphicsHeadless::IGraphicsHeadless;

  bool OpenURL(const char* url, const char* msgWindowTitle, const char*, const char*) override
  {
    mOpened.push_back(std::string(url) + "|" + (msgWindowTitle ? msgWindowTitle : "(null)"));
    return mURLWorks.count(url) > 0;
  }
  void PromptForFile(WDL_String* pFile, EFileAction action, WDL_String* pDir,
                     const char* extensions) override
  {
    mDialogs.push_back(std::string(pDir->Get()) + "|" + extensions + "|" +
                       (action == kFileSave ? "save" : "open"));
    pFile->Set(mAnswer.c_str());
  }

  std::set<std::string> mURLWorks;
  std::vector<std::string> mOpened;
  std::vector<std::string> mDialogs;
  std::string mAnswer;
};
} // namespace

// Text setters mark the control only when the text changes.
TEST(ControlText, SettersMarkOnlyChanges)
{
  Editor ed;
  IBitmap font = ed.Strip(MakeIdStrip(6, 8, 96), 96);
  auto* text = ed.Attach(new ITextControl(&ed.plug, IRECT(0, 0, 50, 10), nullptr, "a"));
  auto* bits = ed.Attach(new IBitmapTextControl(&ed.plug, IRECT(0, 20, 50, 30), &font, "a"));
  ed.Open();
  const struct
  {
    const char* text;
    bool dirty;
  } steps[] = {{"a", false}, {"b", true}, {"b", false}, {"", true}, {nullptr, false}};
  for (const auto& s : steps)
  {
    ed.Settle();
    text->SetTextFromPlug(s.text);
    bits->SetTextFromPlug(s.text);
    EXPECT_EQ(text->IsDirty(), s.dirty) << (s.text ? s.text : "(null)");
    EXPECT_EQ(bits->IsDirty(), s.dirty);
    EXPECT_STREQ(text->GetTextForPlug(), s.text ? s.text : "");
  }
}

// The caption shows the display text (and the label when asked), and prompts on left and right
// presses and double-clicks once its prompt is enabled.
TEST(ControlText, CaptionTextAndPrompts)
{
  Editor ed;
  auto* gain = ed.Attach(new ICaptionControl(&ed.plug, IRECT(0, 0, 60, 12), kGain, nullptr));
  auto* mode =
      ed.Attach(new ICaptionControl(&ed.plug, IRECT(0, 20, 60, 32), kMode, nullptr, false));
  ed.Open();
  ed.plug.GetParam(kGain)->Set(-3.5);
  ed.plug.GetParam(kMode)->Set(2);
  ed.gui->RenderAll();
  EXPECT_STREQ(gain->GetTextForPlug(), "-3.5 dB");
  EXPECT_STREQ(mode->GetTextForPlug(), "Lead");

  ed.Press(5, 25); // prompt disabled as built
  EXPECT_TRUE(ed.gui->MenusShown().empty());
  mode->DisablePrompt(false);
  ed.Press(5, 25, Mods("L"));
  ed.Press(5, 25, Mods("R"));
  IMouseMod mod(true);
  ed.gui->OnMouseDblClick(5, 25, &mod);
  EXPECT_EQ(ed.gui->MenusShown().size(), 3u);
}

// The link opens its address, and its backup only when the address is empty or fails; long
// texts are cut to the fields' size.
TEST(ControlText, URLControlFallsBackAndKeepsItsFields)
{
  struct Case
  {
    const char* url;
    const char* backup;
    std::vector<std::string> works;
    std::vector<std::string> opened;
  };
  const Case cases[] = {
      {"https://a", "https://b", {"https://a"}, {"https://a|oops"}},
      {"https://a", "https://b", {"https://b"}, {"https://a|oops", "https://b|oops"}},
      {"https://a", "https://b", {}, {"https://a|oops", "https://b|oops"}},
      {"", "https://b", {}, {"https://b|oops"}},
      {"https://a", "", {}, {"https://a|oops"}},
      {"", nullptr, {}, {}},
  };
  for (const Case& c : cases)
  {
    ParamPlug plug;
    auto* gui = new ScriptedGraphics(&plug, 100, 100);
    gui->mURLWorks.insert(c.works.begin(), c.works.end());
    auto* link = new IURLControl(&plug, IRECT(0, 0, 10, 10), c.url, c.backup, "oops");
    gui->AttachControl(link);
    plug.AttachGraphics(gui);
    IMouseMod mod(true);
    gui->OnMouseDown(5, 5, &mod);
    EXPECT_EQ(gui->mOpened, c.opened) << c.url;
  }
  std::string huge(2000, 'x');
  IURLControl link(nullptr, IRECT(), huge.c_str(), huge.c_str(), huge.c_str());
  EXPECT_EQ(std::string(link.GetURL()), huge.substr(0, IURLControl::kMaxURLLen - 1));
  EXPECT_EQ(std::string(link.GetErrorMessage()).size(), (size_t)IURLControl::kMaxURLLen - 1);
  IMouseMod mod(true);
  link.OnMouseDown(0, 0, &mod); // no plug-in, no editor: nothing
}

// The file selector: dialog with its directory, extensions and action; the value steps so the
// plug-in hears of each selection; drawn while open and once more after it closed.
TEST(ControlText, FileSelector)
{
  ParamPlug plug;
  auto* gui = new ScriptedGraphics(&plug, 100, 100);
  auto* sel = new IFileSelectorControl(&plug, IRECT(0, 0, 10, 10), kOnOff, nullptr, kFileSave,
                                       "/tmp/presets", "fxp fxb");
  gui->AttachControl(sel);
  plug.AttachGraphics(gui);
  while (gui->Tick())
  {
  }
  gui->mAnswer = "/tmp/presets/a.fxp";
  IMouseMod mod(true);
  gui->OnMouseDown(5, 5, &mod);
  gui->OnMouseUp(5, 5, &mod);
  EXPECT_EQ(gui->mDialogs, std::vector<std::string>{"/tmp/presets|fxp fxb|save"});
  WDL_String file;
  sel->GetLastSelectedFileForPlug(&file);
  EXPECT_STREQ(file.Get(), "/tmp/presets/a.fxp");
  EXPECT_DOUBLE_EQ(sel->GetValue(), 1.0);
  EXPECT_EQ(sel->GetState(), IFileSelectorControl::kFSDone);
  EXPECT_EQ(gui->Tick() + gui->Tick(), 2) << "drawn open, then once more closed";
  EXPECT_FALSE(gui->Tick());
  EXPECT_EQ(sel->GetState(), IFileSelectorControl::kFSNone);
  EXPECT_FALSE(sel->IsDirty());
  gui->OnMouseDown(5, 5, &mod);
  EXPECT_DOUBLE_EQ(sel->GetValue(), 0.0);
  EXPECT_EQ(plug.Automated(kOnOff), (std::vector<double>{1.0, 0.0}));

  // Without an editor a press does nothing.
  ParamPlug other;
  IFileSelectorControl orphan(&other, IRECT(0, 0, 10, 10), -1, nullptr, kFileOpen);
  orphan.OnMouseDown(5, 5, &mod);
  EXPECT_EQ(orphan.GetState(), IFileSelectorControl::kFSNone);
}
