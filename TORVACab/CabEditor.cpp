// TORVA Cab's editor: the panel tools/artgen/cabpanel.cpp draws, with the controls where
// TORVACab/CabLayout.h puts them, and the impulse response's window, which shows the file in
// force and chooses another.
//
// Choosing a file. A click on the window opens a menu: the responses in the user's folder
// ($XDG_DATA_HOME/torva/ir, ~/.local/share/torva/ir without it), those of the folder a file was
// last chosen from (ir_folder= in the editor's settings file), "Type a path…" and, where zenity or
// kdialog is installed, "Choose with a dialog…". However it comes, a file is read here first: one
// the plug-in would refuse changes nothing and its reason shows in the window; one it takes goes
// to the plug-in (SetFileFromGUI: the instance itself with VST 2, the host with LV2) and the
// Cabinet switch turns to File as one gesture the host hears.
//
// Threads. Everything here runs on the editor thread without the plug-in's lock. At every tick,
// before drawing (OnGUIIdle), the window asks the plug-in what it says of its file and is drawn
// again when that changed, and picks up a dialog's answer.

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "TORVACab/CabLayout.h"
#include "TORVACab/ImpulseFile.h"
#include "TORVACab/TORVACab.h"
#include "framework/IParam.h"
#include "graphics/IControl.h"
#include "graphics/IPopupMenu.h"
#include "platform/linux/EditorScale.h"
#include "platform/linux/IGraphicsLinux.h"

namespace
{
namespace L = cab_layout;

constexpr int kBackgroundID = 201, kKnobID = 202, kBypassID = 203, kSelectorID = 204;
constexpr size_t kMaxFilesListed = 40; // per folder; the rest are typed or found in the dialog
constexpr const char* kFolderSetting = "ir_folder";
constexpr const char* kPatterns = "*.wav *.flac *.aif *.aiff";

constexpr IColor kNameInk(255, 244, 236, 214);
constexpr IColor kHintInk(255, 150, 140, 118);
constexpr IColor kNoteInk(255, 230, 176, 96);
constexpr IColor kGlass(255, 20, 19, 18);

IRECT Rect(const L::Box& b)
{
  return IRECT(b.x, b.y, b.x + b.w, b.y + b.h);
}

// The cabinet selector: turned like a knob, or straight to a position by a click on its label.
class CabinetSwitch : public IKnobMultiControl
{
public:
  CabinetSwitch(IPlugBase* pPlug, IBitmap* pStrip)
      : IKnobMultiControl(pPlug, L::kSelectorX, L::kRowY, TORVACab::kCabinet, pStrip, kVertical,
                          2.0)
  {
  }
  bool IsHit(int x, int y) override { return LabelAt(x, y) >= 0 || IKnobMultiControl::IsHit(x, y); }
  void OnMouseDown(int x, int y, IMouseMod* pMod) override
  {
    const int label = LabelAt(x, y);
    if (label < 0 || !pMod->mL) return IKnobMultiControl::OnMouseDown(x, y, pMod);
    SetValue((double)label / (L::kSelectorPositions - 1));
    SetDirty(true);
  }

private:
  static int LabelAt(int x, int y)
  {
    for (int i = 0; i < L::kSelectorPositions; ++i)
      if (Rect(L::kSelectorLabels[i]).Contains(x, y)) return i;
    return -1;
  }
};

bool IsResponseFile(const std::filesystem::path& file)
{
  std::string ext = file.extension().string();
  for (char& c : ext) c = (char)std::tolower((unsigned char)c);
  return ext == ".wav" || ext == ".flac" || ext == ".aif" || ext == ".aiff";
}

// The responses in a folder by name, at most kMaxFilesListed of them; *pMore counts the rest.
std::vector<std::string> ResponsesIn(const std::string& folder, size_t* pMore)
{
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
  {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (name[0] != '.' && IsResponseFile(it->path()) && it->is_regular_file(typeError))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  *pMore = names.size() > kMaxFilesListed ? names.size() - kMaxFilesListed : 0;
  names.resize(names.size() - *pMore);
  return names;
}

std::string Home()
{
  const char* home = std::getenv("HOME");
  return home && *home == '/' ? home : "";
}

// A folder as people write it: the home folder as "~".
std::string Shown(const std::string& folder)
{
  const std::string home = Home();
  if (!home.empty() && folder.compare(0, home.size(), home) == 0 &&
      (folder.size() == home.size() || folder[home.size()] == '/'))
    return "~" + folder.substr(home.size());
  return folder;
}

// A typed path as it stands, but for a leading "~/", which is the home folder.
std::string Expanded(std::string typed)
{
  const size_t end = typed.find_last_not_of(" \t");
  typed.resize(end == std::string::npos ? 0 : end + 1);
  if ((typed == "~" || typed.compare(0, 2, "~/") == 0) && !Home().empty())
    typed = Home() + typed.substr(1);
  return typed;
}

// The last UTF-8 character of text dropped.
void DropLastChar(std::string* text)
{
  size_t n = text->size();
  while (n > 0 && ((unsigned char)(*text)[n - 1] & 0xC0) == 0x80) --n;
  text->resize(n > 0 ? n - 1 : 0);
}

// The text in r, cut short with an ellipsis where it would not fit.
void DrawFitted(IGraphics* pGraphics, IText* pStyle, std::string text, IRECT r)
{
  for (bool cut = false;; cut = true)
  {
    const std::string shown = cut ? text + "\u2026" : text;
    IRECT measured = r;
    pGraphics->MeasureIText(pStyle, shown.c_str(), &measured);
    if (measured.W() <= r.W() || text.empty())
    {
      pGraphics->DrawIText(pStyle, shown.c_str(), &r);
      return;
    }
    DropLastChar(&text);
  }
}

// The impulse response's window: the file's name (or what is wrong with it) and, smaller, the
// last word about a file; a click opens the menu that chooses one.
class FileWindow : public IControl
{
public:
  FileWindow(TORVACab* pPlug, IGraphicsLinux* pGraphics)
      : IControl(pPlug, Rect(L::kFileArea)), mCab(pPlug), mGraphics(pGraphics),
        mName(14, &kNameInk, "DejaVu Sans", IText::kStyleBold, IText::kAlignNear),
        mHint(14, &kHintInk, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear),
        mNote(11, &kNoteInk, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear),
        mEntry(14, &kNameInk, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear, 0,
               IText::kQualityDefault, &kGlass, &kNameInk)
  {
    SetMouseDblAsSingleClick(true);
  }

  bool Draw(IGraphics* pGraphics) override
  {
    const std::string& note = mRefusal.empty() ? mStatus.message : mRefusal;
    // The name alone sits in the middle; with a note, above it.
    const int left = mRECT.mL + 12, right = mRECT.mR - 32, top = mRECT.mT + (note.empty() ? 15 : 7);
    const IRECT name(left, top, right, top + 18);
    if (mStatus.path.empty())
      DrawFitted(pGraphics, &mHint, "No file: click here to choose one", name);
    else
      DrawFitted(pGraphics, &mName, (mStatus.missing ? "missing: " : "") + mStatus.name, name);
    DrawFitted(pGraphics, &mNote, note, IRECT(left, top + 21, right, top + 35));
    return true;
  }

  void OnMouseDown(int, int, IMouseMod*) override { RunMenu(); }

  void TextFromTextEntry(const char* text) override
  {
    const std::string path = Expanded(text);
    if (!path.empty()) Choose(path);
  }

  void OnGUIIdle() override
  {
    std::string chosen;
    const IGraphicsLinux::EFileDialog dialog = mGraphics->PollFileDialog(&chosen);
    mDialogOpen = dialog == IGraphicsLinux::EFileDialog::kOpen;
    if (dialog == IGraphicsLinux::EFileDialog::kChosen) Choose(chosen);
    TORVACab::FileStatus now = mCab->GetFileStatus();
    if (now.path == mStatus.path && now.message == mStatus.message &&
        now.missing == mStatus.missing)
      return;
    // News of the plug-in's file is newer than a refusal of ours.
    mStatus = std::move(now);
    mRefusal.clear();
    SetDirty(false);
  }

private:
  void RunMenu()
  {
    IPopupMenu menu;
    std::vector<std::string> paths; // each item's file, "" for none
    auto add = [&](const std::string& text, int flags, const std::string& path = "")
    {
      menu.AddItem(text.c_str(), -1, flags);
      paths.push_back(path);
    };
    auto addFolder = [&](const std::string& folder, const char* whenEmpty)
    {
      size_t more = 0;
      const std::vector<std::string> names = ResponsesIn(folder, &more);
      if (names.empty() && !whenEmpty) return;
      add(Shown(folder) + (names.empty() ? whenEmpty : ""), IPopupMenuItem::kDisabled);
      for (const std::string& name : names)
      {
        const std::string path = folder + "/" + name;
        add(name, path == mStatus.path ? IPopupMenuItem::kChecked : IPopupMenuItem::kNoFlags, path);
      }
      if (more) add("and " + std::to_string(more) + " more", IPopupMenuItem::kDisabled);
      add("", IPopupMenuItem::kSeparator);
    };
    const std::string users = UserFolder(), last = LastFolder();
    if (!users.empty()) addFolder(users, ": none yet (.wav, .flac, .aiff)");
    if (!last.empty() && last != users) addFolder(last, nullptr);
    const int typeItem = (int)paths.size();
    add("Type a path\u2026", IPopupMenuItem::kNoFlags);
    const int dialogItem = IGraphicsLinux::HasFileDialog() ? (int)paths.size() : -1;
    if (dialogItem >= 0)
      add("Choose with a dialog\u2026",
          mDialogOpen ? IPopupMenuItem::kDisabled : IPopupMenuItem::kNoFlags);

    IRECT at = mRECT;
    IPopupMenu* chosen = mGraphics->CreateIPopupMenu(&menu, &at);
    const int item = chosen ? chosen->GetChosenItemIdx() : -1;
    if (item < 0 || item >= (int)paths.size()) return;
    if (item == typeItem)
    {
      // Over the name, holding the file in force (or the folder to look in), all of it selected.
      const std::string start = !mStatus.path.empty() ? mStatus.path
                                : !last.empty()       ? last + "/"
                                                      : users + "/";
      IRECT field(mRECT.mL + 8, mRECT.mT + 5, mRECT.mR - 28, mRECT.mT + 27);
      mGraphics->CreateTextEntry(this, &mEntry, &field, start.c_str(), nullptr);
    }
    else if (item == dialogItem)
    {
      const std::string folder = !last.empty() ? last : users;
      mDialogOpen =
          mGraphics->StartFileDialog("TORVA Cab: impulse response", folder.c_str(), kPatterns);
      if (!mDialogOpen) Refuse("the file dialog could not be started");
    }
    else if (!paths[(size_t)item].empty())
      Choose(paths[(size_t)item]);
  }

  // Read here first: what the plug-in would refuse changes nothing.
  void Choose(const std::string& path)
  {
    ImpulseResponse response;
    std::string why, note;
    if (!ReadImpulseFile(path, &response, &why, &note)) return Refuse(why);
    mRefusal.clear();
    mCab->SetFileFromGUI(path.c_str());
    const IParam* cabinet = mCab->GetParam(TORVACab::kCabinet);
    if (cabinet->Int() != TORVACab::kFileCabinet)
    {
      mCab->BeginInformHostOfParamChange(TORVACab::kCabinet);
      mGraphics->SetParameterFromGUI(TORVACab::kCabinet,
                                     cabinet->GetNormalized(TORVACab::kFileCabinet));
      mCab->EndInformHostOfParamChange(TORVACab::kCabinet);
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!folder.empty())
      editor_scale::WriteSetting(editor_scale::SettingsPath(), kFolderSetting, folder);
    SetDirty(false);
  }

  void Refuse(const std::string& why)
  {
    mRefusal = why;
    SetDirty(false);
  }

  std::string UserFolder() const
  {
    WDL_String data;
    mGraphics->AppSupportPath(&data);
    return data.GetLength() ? std::string(data.Get()) + "/torva/ir" : "";
  }
  static std::string LastFolder()
  {
    return editor_scale::ReadSetting(editor_scale::SettingsPath(), kFolderSetting);
  }

  TORVACab* mCab;
  IGraphicsLinux* mGraphics;
  TORVACab::FileStatus mStatus; // as last asked
  std::string mRefusal;         // why the file the user chose last was refused, until news
  bool mDialogOpen = false;
  IText mName, mHint, mNote, mEntry;
};

} // namespace

IGraphicsLinux* MakeCabEditor(TORVACab* pPlug)
{
  auto* pGraphics = new IGraphicsLinux(pPlug, L::kPanelW, L::kPanelH, 0);
  pGraphics->AttachBackground(kBackgroundID, "resources/img/CAB_BG.png");
  IBitmap knob =
      pGraphics->LoadIBitmap(kKnobID, "resources/img/CAB_KNOB.png", L::kKnobFrames, false);
  const std::pair<int, int> knobs[] = {{TORVACab::kLowCut, L::kLowCutX},
                                       {TORVACab::kHighCut, L::kHighCutX},
                                       {TORVACab::kMix, L::kMixX},
                                       {TORVACab::kLevel, L::kLevelX}};
  for (auto [param, x] : knobs)
    pGraphics->AttachControl(new IKnobMultiControl(pPlug, x, L::kRowY, param, &knob));
  IBitmap selector = pGraphics->LoadIBitmap(kSelectorID, "resources/img/CAB_SEL.png",
                                            L::kSelectorPositions, false);
  pGraphics->AttachControl(new CabinetSwitch(pPlug, &selector));
  IBitmap bypass = pGraphics->LoadIBitmap(kBypassID, "resources/img/CAB_BY.png", 2, false);
  pGraphics->AttachControl(
      new ISwitchControl(pPlug, L::kBypassX, L::kRowY, TORVACab::kBypass, &bypass));
  pGraphics->AttachControl(new FileWindow(pPlug, pGraphics));
  // A knob, and the selector, tell their value while dragged, wheeled or hovered.
  pGraphics->HandleMouseOver(true);
  pGraphics->ShowValueLabels(true);
  return pGraphics;
}
