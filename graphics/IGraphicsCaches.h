#pragma once
// The two process-wide caches behind IGraphics: loaded images by id, fonts by style.
//
// Shared by every editor in the process (several plug-in instances in one host) and kept until
// the module unloads, when each deletes what it holds. Each has its own mutex for lookup,
// insertion and removal. Id -1 marks images that were made rather than loaded (scaled, cropped,
// retained, placeholders); they are never found by id. An image drawn at another editor size
// has a copy for that size, stored beside it under (its 100 % image, the size) and deleted with
// it.
//
// The caches are function-local statics, so they are built on first use and torn down before
// the drawing-context shim their fonts came from.

#include <mutex>
#include <string>
#include <vector>

class LICE_IBitmap;
class LICE_CachedFont;

class BitmapStorage
{
public:
  BitmapStorage() = default;
  ~BitmapStorage();
  BitmapStorage(const BitmapStorage&) = delete;
  BitmapStorage& operator=(const BitmapStorage&) = delete;

  // The first image stored under id, or null (id -1 is never found).
  LICE_IBitmap* Find(int id);
  // Stores pBitmap under id unless an image with that id (not -1) is already there; returns
  // the image now stored under id, so a racing loader can drop its own copy.
  LICE_IBitmap* Add(LICE_IBitmap* pBitmap, int id = -1, const char* name = nullptr);
  // Removes the first entry holding pBitmap and deletes it; false when it is not stored.
  bool Remove(LICE_IBitmap* pBitmap);
  bool Contains(const LICE_IBitmap* pBitmap);
  int Size();

  // The id and name a loaded image was stored under (-1 for a made one).
  int IdentityOf(const LICE_IBitmap* pBitmap, std::string* pName);
  // The copy of pBase for an editor size of scale percent, or null.
  LICE_IBitmap* FindScaled(const LICE_IBitmap* pBase, int scale);
  // Stores pScaled as that copy unless one is there already; returns the one now stored. A
  // source (the platform's bytes it came from; null for none) lets images loaded from the same
  // bytes share one copy: FindShared finds it, and it is deleted with the last image using it.
  LICE_IBitmap* AddScaled(const LICE_IBitmap* pBase, int scale, LICE_IBitmap* pScaled,
                          const void* source = nullptr);
  LICE_IBitmap* FindShared(const void* source, int scale);

private:
  struct Entry
  {
    int mID;
    LICE_IBitmap* mBitmap;
    const LICE_IBitmap* mBase = nullptr; // set for a copy made for another size
    int mScale = 100;
    std::string mName; // what a loaded image was loaded as
    const void* mSource = nullptr;
  };
  std::mutex mMutex;
  std::vector<Entry> mEntries;
};

class FontStorage
{
public:
  struct Key
  {
    int mSize;
    int mOrientation;
    int mStyle;
    std::string mFace;
    bool operator==(const Key&) const = default;
  };

  FontStorage() = default;
  ~FontStorage();
  FontStorage(const FontStorage&) = delete;
  FontStorage& operator=(const FontStorage&) = delete;

  // The font stored under key, or, when there is none, the result of make() (called with the
  // lock held, so fonts are created one at a time) stored under key. Null when make() fails.
  template <class MakeFn> LICE_CachedFont* FindOrMake(const Key& key, MakeFn make)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    for (const Entry& e : mEntries)
      if (e.mKey == key) return e.mFont;
    LICE_CachedFont* font = make();
    if (font) mEntries.push_back({key, font});
    return font;
  }
  int Size();

private:
  struct Entry
  {
    Key mKey;
    LICE_CachedFont* mFont;
  };
  std::mutex mMutex;
  std::vector<Entry> mEntries;
};

BitmapStorage& GetBitmapCache();
FontStorage& GetFontCache();
