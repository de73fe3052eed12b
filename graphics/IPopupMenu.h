#pragma once
// A platform-neutral popup menu: the editor builds it, the platform shows it modally and sets
// the chosen index.
//
// Items are owned by their menu; submenus are not (whoever made a submenu deletes it, after the
// menu that shows it).

#include "framework/WDL_PtrList.h"
#include "framework/WDL_String.h"

class IPopupMenu;

class IPopupMenuItem
{
public:
  enum EFlags : int
  {
    kNoFlags = 0,
    kDisabled = 1 << 0, // shown, not choosable
    kTitle = 1 << 1,    // shown indented one level
    kChecked = 1 << 2,  // shown with a check mark
    kSeparator = 1 << 3 // a line, no text
  };

  IPopupMenuItem(const char* str, int flags = kNoFlags) : mText(str), mFlags(flags) {}
  // A plain item that opens pSubMenu (not owned).
  IPopupMenuItem(const char* str, IPopupMenu* pSubMenu) : mText(str), mSubmenu(pSubMenu) {}

  const char* GetText() const { return mText.Get(); }
  IPopupMenu* GetSubmenu() const { return mSubmenu; }
  int GetFlags() const { return mFlags; }
  bool GetEnabled() const { return !(mFlags & kDisabled); }
  bool GetChecked() const { return (mFlags & kChecked) != 0; }
  bool GetIsTitle() const { return (mFlags & kTitle) != 0; }
  bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }

  void SetText(const char* str) { mText.Set(str); }
  void SetEnabled(bool state) { SetFlag(kDisabled, !state); }
  void SetChecked(bool state) { SetFlag(kChecked, state); }
  void SetTitle(bool state) { SetFlag(kTitle, state); }

private:
  void SetFlag(int flag, bool on) { mFlags = on ? (mFlags | flag) : (mFlags & ~flag); }

  WDL_String mText;
  IPopupMenu* mSubmenu = nullptr;
  int mFlags = kNoFlags;
};

class IPopupMenu
{
public:
  IPopupMenu() = default;
  ~IPopupMenu() { mMenuItems.Empty(true); }
  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;

  // Prefix numbering done by the platform: 0 none, 1 "%1d: ", 2 "%02d: ", 3 "%03d: ".
  int GetPrefix() const { return mPrefix; }
  // Ignored unless 0 to 3.
  void SetPrefix(int count)
  {
    if (count >= 0 && count <= 3) mPrefix = count;
  }

  // index -1 appends; any other index inserts there (negative counts as 0, past the end
  // appends). The item becomes the menu's; returns it (null, and the item deleted, when the
  // list cannot grow).
  IPopupMenuItem* AddItem(IPopupMenuItem* pItem, int index = -1);
  IPopupMenuItem* AddItem(const char* str, int index = -1, int flags = IPopupMenuItem::kNoFlags);
  IPopupMenuItem* AddItem(const char* str, int index, IPopupMenu* pSubmenu);
  IPopupMenuItem* AddItem(const char* str, IPopupMenu* pSubmenu);
  IPopupMenuItem* AddSeparator(int index = -1);

  int GetNItems() const { return mMenuItems.GetSize(); }
  // Null outside the list.
  IPopupMenuItem* GetItem(int index) const { return mMenuItems.Get(index); }
  // "" outside the list.
  const char* GetItemText(int index) const;

  // -1 until the platform sets it.
  int GetChosenItemIdx() const { return mChosenItemIdx; }
  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }

  // Out-of-range indexes are ignored (CheckItemAlone then clears every item).
  void CheckItem(int index, bool state);
  void CheckItemAlone(int index);
  bool IsItemChecked(int index) const;

private:
  int mPrefix = 0;
  int mChosenItemIdx = -1;
  WDL_PtrList<IPopupMenuItem> mMenuItems;
};
