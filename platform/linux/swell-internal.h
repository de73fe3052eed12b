// Records behind HDC and HGDIOBJ, shared by the shim's source files (and its tests).
#pragma once

#include "platform/linux/swell.h"

#include <cairo.h>

#include <cstddef>
#include <string>

struct HDC__
{
  cairo_t* mCtx;
  void* mBuffer;               // owned allocation of a memory context (unaligned start)
  HGDIOBJ mPen, mBrush, mFont; // selected objects, null when the slot is empty
  int mCurX, mCurY;
  int mBkColor, mBkMode, mTextColor;
  bool mFree;                    // released: sits in the pool, every operation ignores it
  HDC__* mNext;                  // pool link
  cairo_pattern_t* mTextPattern; // opaque solid colour of mTextColor
  cairo_surface_t* mSurface;     // the image surface over the pixels
  unsigned char* mBits;          // 64-byte-aligned first pixel
  int mWidth, mHeight;
  int mSaveDepth; // outstanding clip pushes (a restore without a save would
                  // put the cairo context into a permanent error state)
};

struct HGDIOBJ__
{
  int mKind;                // detail::EObjectKind
  int mRefs;                // extra references; DeleteObject drops these first
  cairo_pattern_t* mColour; // pens and brushes
  float mWidthOrAlpha;      // pen width, brush alpha
  float mAngle;             // fonts: orientation / 10, degrees
  bool mFree;
  HGDIOBJ__* mNext;
  cairo_scaled_font_t* mFont; // fonts
  unsigned char mSmoothing;   // 0 context default, 3 off, 4 on
};

namespace detail
{
enum EObjectKind
{
  kPen = 1,
  kBrush = 2,
  kFont = 3,
};

// Pool sizes: released records kept for reuse, the rest go back to the heap.
inline constexpr int kContextPoolMax = 100;
inline constexpr int kObjectPoolMax = 200;

// Zeroed records from the pools (null when the heap is exhausted) and their release.
HDC__* AllocContext();
void ReleaseContext(HDC__* ctx);
HGDIOBJ__* AllocObject();
void ReleaseObject(HGDIOBJ__* obj);
int PooledContexts(); // records now sitting in the free lists
int PooledObjects();

inline bool IsStock(const void* h)
{
  return reinterpret_cast<uintptr_t>(h) < 5;
}
inline HDC__* Context(HDC h)
{
  return h && !h->mFree ? h : nullptr;
}
inline HGDIOBJ__* Object(HGDIOBJ h)
{
  return !IsStock(h) && !h->mFree ? h : nullptr;
}

// A cairo context survives errors only by being replaced: called after drawing, it rebuilds
// a context that went into an error state, so that one bad call cannot disable it for good.
void RepairContext(HDC__* ctx);
// Context font options: grey antialiasing, slight hinting, fractional advances.
void ApplyDefaultFontOptions(cairo_t* cr);

// Font side (swell-fonts.cpp).
void ReleaseFont(HGDIOBJ__* obj);
// The composed face name's resolved name through the process-wide cache.
std::string ResolvedFontName(const char* composed);
size_t FontNameCacheSize();
// Validates UTF-8 strictly (no overlong forms, surrogates, noncharacters or values past
// U+10FFFF): cairo puts a font or context into a lasting error state for anything it rejects.
bool IsValidUtf8(const char* s, size_t n);
} // namespace detail
