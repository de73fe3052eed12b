#pragma once
// An editor with no window: the platform half of IGraphics answered in memory.
//
// Use it to test the editor without a display, and in tools that draw an editor into a
// bitmap:
//
//   IGraphicsHeadless gui(plug, 1024, 285);
//   IGraphicsHeadless::RegisterImage(kBgID, "bg.png", bytes, nBytes);  // or SetImageFolder
//   gui.AttachBackground(kBgID, "bg.png");  ...  plug->AttachGraphics(&gui);
//   gui.RenderAll();                       // every control drawn into GetDrawBitmap()
//   gui.Tick();                            // one timer tick: IsDirty, then Draw of the region
//
// What stands in for the platform:
//   window      OpenWindow returns a token (this) until CloseWindow; no timer runs by itself.
//   screen      DrawScreen records each presented region (Presented()).
//   images      OSLoadBitmap decodes PNG bytes registered under the id or the name, else the
//               PNG file `name` (inside the image folder when one is set).
//   menus       answered by the next queued choice (an index, or -1 for "closed without a
//               choice"); with nothing queued the menu is closed without a choice. Each menu
//               shown is recorded.
//   text entry  answered at once by the next queued text, committed as a user's Enter would:
//               SetFromStringAfterPrompt for a parameter, else the control's TextFromTextEntry.
//               With nothing queued the entry stays open until CommitTextEntry or
//               ForceEndUserEdit (which closes it without committing).
//
// Like every IGraphics, used from one thread; only the image registry is process-wide (with
// its own lock).

#include <deque>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"

class IGraphicsHeadless : public IGraphics
{
public:
  struct MenuShown
  {
    IRECT mRect;
    std::vector<std::string> mItems;
    std::vector<int> mFlags;
    int mChosen; // the index answered, -1 for none
  };

  struct TextEntry
  {
    IControl* mControl;
    IParam* mParam;
    IRECT mRect;
    std::string mInitialText;
    IText mText;
  };

  IGraphicsHeadless(IPlugBase* pPlug, int w, int h, int fps = 0);
  ~IGraphicsHeadless() override;

  bool DrawScreen(IRECT* pR) override;
  void ForceEndUserEdit() override;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pR) override;
  void CreateTextEntry(IControl* pControl, IText* pText, IRECT* pR, const char* str,
                       IParam* pParam) override;
  using IGraphics::OpenWindow;
  void* OpenWindow(void* pParentWnd) override;
  void CloseWindow() override;
  void* GetWindow() override;
  LICE_IBitmap* OSLoadBitmap(int id, const char* name) override;

  // ---- Images (process-wide) --------------------------------------------------------------

  // PNG bytes (copied) to answer loads of this id, or of this name when the id is not
  // registered (id -1: by name only). A later registration of the same id or name replaces
  // the earlier one.
  static void RegisterImage(int id, const char* name, const void* data, int length);
  static void ClearRegisteredImages();
  // Folder searched for image files by name ("" for names as given).
  static void SetImageFolder(const char* folder);
  // How many times OSLoadBitmap ran, process-wide (the cache should keep this low).
  static int OSLoadCount();

  // ---- Drawing ----------------------------------------------------------------------------

  // One timer tick: when a control is dirty, Draw of the united region. True when it drew.
  bool Tick();
  // Marks every control dirty and draws the whole editor.
  bool RenderAll();
  const std::vector<IRECT>& Presented() const { return mPresented; }
  void ClearPresented() { mPresented.clear(); }

  // ---- Scripted answers -------------------------------------------------------------------

  void QueueMenuChoice(int index) { mMenuChoices.push_back(index); }
  void QueueText(const char* text) { mTexts.push_back(text ? text : ""); }
  const std::vector<MenuShown>& MenusShown() const { return mMenusShown; }
  const std::vector<TextEntry>& TextEntriesOpened() const { return mEntriesOpened; }
  bool IsTextEntryOpen() const { return mEntryOpen; }
  // Commits the open entry with this text; false when none is open.
  bool CommitTextEntry(const char* text);

private:
  bool mWindowOpen = false;
  std::vector<IRECT> mPresented;
  std::deque<int> mMenuChoices;
  std::deque<std::string> mTexts;
  std::vector<MenuShown> mMenusShown;
  std::vector<TextEntry> mEntriesOpened;
  bool mEntryOpen = false;
  TextEntry mOpenEntry{};
};
