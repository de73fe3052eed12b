#include "graphics/IPopupMenu.h"

IPopupMenuItem* IPopupMenu::AddItem(IPopupMenuItem* pItem, int index)
{
  if (!pItem) return nullptr;
  IPopupMenuItem* added = index == -1 ? mMenuItems.Add(pItem) : mMenuItems.Insert(index, pItem);
  if (!added) delete pItem;
  return added;
}

IPopupMenuItem* IPopupMenu::AddItem(const char* str, int index, int flags)
{
  return AddItem(new IPopupMenuItem(str, flags), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* str, int index, IPopupMenu* pSubmenu)
{
  return AddItem(new IPopupMenuItem(str, pSubmenu), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* str, IPopupMenu* pSubmenu)
{
  return AddItem(str, -1, pSubmenu);
}

IPopupMenuItem* IPopupMenu::AddSeparator(int index)
{
  return AddItem(new IPopupMenuItem("", IPopupMenuItem::kSeparator), index);
}

const char* IPopupMenu::GetItemText(int index) const
{
  IPopupMenuItem* item = GetItem(index);
  return item ? item->GetText() : "";
}

void IPopupMenu::CheckItem(int index, bool state)
{
  if (IPopupMenuItem* item = GetItem(index)) item->SetChecked(state);
}

void IPopupMenu::CheckItemAlone(int index)
{
  for (int i = 0, n = GetNItems(); i < n; ++i) GetItem(i)->SetChecked(i == index);
}

bool IPopupMenu::IsItemChecked(int index) const
{
  IPopupMenuItem* item = GetItem(index);
  return item && item->GetChecked();
}
