#include "graphics/IGraphicsHeadless.h"

#include <atomic>
#include <map>
#include <mutex>

#include "graphics/IControl.h"
#include "graphics/IPopupMenu.h"
#include "raster/lice_png.h"

namespace
{

struct ImageRegistry
{
  std::mutex mMutex;
  std::map<int, std::vector<unsigned char>> mByID;
  std::map<std::string, std::vector<unsigned char>> mByName;
  std::string mFolder;
  std::atomic<int> mLoads{0};
};

ImageRegistry& Registry()
{
  static ImageRegistry sRegistry;
  return sRegistry;
}

} // namespace

IGraphicsHeadless::IGraphicsHeadless(IPlugBase* pPlug, int w, int h, int fps)
    : IGraphics(pPlug, w, h, fps)
{
}

IGraphicsHeadless::~IGraphicsHeadless() = default;

bool IGraphicsHeadless::DrawScreen(IRECT* pR)
{
  mPresented.push_back(pR ? *pR : IRECT());
  return true;
}

void IGraphicsHeadless::ForceEndUserEdit()
{
  mEntryOpen = false;
}

IPopupMenu* IGraphicsHeadless::CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pR)
{
  if (!pMenu) return nullptr;
  MenuShown shown{pR ? *pR : IRECT(), {}, {}, -1};
  for (int i = 0, n = pMenu->GetNItems(); i < n; ++i)
  {
    shown.mItems.push_back(pMenu->GetItemText(i));
    shown.mFlags.push_back(pMenu->GetItem(i)->GetFlags());
  }
  int choice = -1;
  if (!mMenuChoices.empty())
  {
    choice = mMenuChoices.front();
    mMenuChoices.pop_front();
  }
  shown.mChosen = choice;
  mMenusShown.push_back(shown);
  if (choice < 0) return nullptr;
  pMenu->SetChosenItemIdx(choice);
  return pMenu;
}

void IGraphicsHeadless::CreateTextEntry(IControl* pControl, IText* pText, IRECT* pR,
                                        const char* str, IParam* pParam)
{
  ForceEndUserEdit();
  mOpenEntry =
      TextEntry{pControl, pParam, pR ? *pR : IRECT(), str ? str : "", pText ? *pText : IText()};
  mEntriesOpened.push_back(mOpenEntry);
  mEntryOpen = true;
  if (!mTexts.empty())
  {
    const std::string text = mTexts.front();
    mTexts.pop_front();
    CommitTextEntry(text.c_str());
  }
}

bool IGraphicsHeadless::CommitTextEntry(const char* text)
{
  if (!mEntryOpen) return false;
  mEntryOpen = false;
  if (mOpenEntry.mParam)
    SetFromStringAfterPrompt(mOpenEntry.mControl, mOpenEntry.mParam, text);
  else if (mOpenEntry.mControl)
    mOpenEntry.mControl->TextFromTextEntry(text);
  return true;
}

void* IGraphicsHeadless::OpenWindow(void*)
{
  mWindowOpen = true;
  return this;
}

void IGraphicsHeadless::CloseWindow()
{
  ForceEndUserEdit();
  mWindowOpen = false;
}

void* IGraphicsHeadless::GetWindow()
{
  return mWindowOpen ? this : nullptr;
}

LICE_IBitmap* IGraphicsHeadless::OSLoadBitmap(int id, const char* name)
{
  ImageRegistry& reg = Registry();
  ++reg.mLoads;
  std::string path;
  {
    std::lock_guard<std::mutex> lock(reg.mMutex);
    auto byID = reg.mByID.find(id);
    if (byID != reg.mByID.end())
      return LICE_LoadPNGFromMemory(byID->second.data(), (int)byID->second.size());
    if (!name || !*name) return nullptr;
    auto byName = reg.mByName.find(name);
    if (byName != reg.mByName.end())
      return LICE_LoadPNGFromMemory(byName->second.data(), (int)byName->second.size());
    path = (reg.mFolder.empty() || name[0] == '/') ? std::string(name) : reg.mFolder + "/" + name;
  }
  return LICE_LoadPNG(path.c_str());
}

void IGraphicsHeadless::RegisterImage(int id, const char* name, const void* data, int length)
{
  if (!data || length <= 0) return;
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::vector<unsigned char> copy(bytes, bytes + length);
  ImageRegistry& reg = Registry();
  std::lock_guard<std::mutex> lock(reg.mMutex);
  if (id != -1) reg.mByID[id] = copy;
  if (name && *name) reg.mByName[name] = std::move(copy);
}

void IGraphicsHeadless::ClearRegisteredImages()
{
  ImageRegistry& reg = Registry();
  std::lock_guard<std::mutex> lock(reg.mMutex);
  reg.mByID.clear();
  reg.mByName.clear();
}

void IGraphicsHeadless::SetImageFolder(const char* folder)
{
  ImageRegistry& reg = Registry();
  std::lock_guard<std::mutex> lock(reg.mMutex);
  reg.mFolder = folder ? folder : "";
}

int IGraphicsHeadless::OSLoadCount()
{
  return Registry().mLoads.load();
}

bool IGraphicsHeadless::Tick()
{
  IRECT r;
  if (!IsDirty(&r)) return false;
  return Draw(&r);
}

bool IGraphicsHeadless::RenderAll()
{
  SetAllControlsDirty();
  IRECT all(0, 0, Width(), Height());
  return Draw(&all);
}
