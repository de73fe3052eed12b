// Drawing services of IGraphics: images, points, lines, fills and text into the back bitmap.
//
// Each operation is one raster call (or a few) with the blend of the caller mapped to a raster
// blend word (LiceBlendMode, LiceWeight: null blend = weight 1.0, source alpha 0x10000).
//
//   images   DrawBitmap (both forms) and the last step of DrawRotatedMask clip to the draw
//            region of the current Draw pass, so a repaint touches only the dirty area;
//            everything else relies on the raster library's clipping to the bitmap.
//   frames   a film strip of N frames: frame f (from 1) starts at (f - 1) * extent / N,
//            rounded half up, along the strip.
//   caches   images by id and fonts by (size, orientation, style, face) are process-wide, each
//            with its own mutex (IGraphicsCaches.h); handles and styles only point into them.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"
#include "graphics/IGraphicsCaches.h"
#include "raster/lice.h"
#include "raster/lice_lines.h"
#include "raster/lice_text.h"

// ---- Caches ---------------------------------------------------------------------------------

BitmapStorage::~BitmapStorage()
{
  // Shared copies are listed once per image that uses them.
  std::vector<LICE_IBitmap*> owned;
  for (const Entry& e : mEntries) owned.push_back(e.mBitmap);
  std::sort(owned.begin(), owned.end());
  owned.erase(std::unique(owned.begin(), owned.end()), owned.end());
  for (LICE_IBitmap* b : owned) delete b;
}

LICE_IBitmap* BitmapStorage::Find(int id)
{
  if (id == -1) return nullptr;
  std::lock_guard<std::mutex> lock(mMutex);
  for (const Entry& e : mEntries)
    if (e.mID == id && !e.mBase) return e.mBitmap;
  return nullptr;
}

LICE_IBitmap* BitmapStorage::FindScaled(const LICE_IBitmap* pBase, int scale)
{
  std::lock_guard<std::mutex> lock(mMutex);
  for (const Entry& e : mEntries)
    if (e.mBase == pBase && e.mScale == scale) return e.mBitmap;
  return nullptr;
}

LICE_IBitmap* BitmapStorage::AddScaled(const LICE_IBitmap* pBase, int scale, LICE_IBitmap* pScaled,
                                       const void* source)
{
  if (!pBase || !pScaled) return nullptr;
  std::lock_guard<std::mutex> lock(mMutex);
  for (const Entry& e : mEntries)
    if (e.mBase == pBase && e.mScale == scale) return e.mBitmap;
  mEntries.push_back({-1, pScaled, pBase, scale, "", source});
  return pScaled;
}

LICE_IBitmap* BitmapStorage::FindShared(const void* source, int scale)
{
  if (!source) return nullptr;
  std::lock_guard<std::mutex> lock(mMutex);
  for (const Entry& e : mEntries)
    if (e.mBase && e.mSource == source && e.mScale == scale) return e.mBitmap;
  return nullptr;
}

LICE_IBitmap* BitmapStorage::Add(LICE_IBitmap* pBitmap, int id, const char* name)
{
  if (!pBitmap) return nullptr;
  std::lock_guard<std::mutex> lock(mMutex);
  if (id != -1)
    for (const Entry& e : mEntries)
      if (e.mID == id && !e.mBase) return e.mBitmap;
  mEntries.push_back({id, pBitmap, nullptr, 100, name ? name : ""});
  return pBitmap;
}

int BitmapStorage::IdentityOf(const LICE_IBitmap* pBitmap, std::string* pName)
{
  std::lock_guard<std::mutex> lock(mMutex);
  for (const Entry& e : mEntries)
    if (e.mBitmap == pBitmap && !e.mBase)
    {
      if (pName) *pName = e.mName;
      return e.mID;
    }
  return -1;
}

bool BitmapStorage::Remove(LICE_IBitmap* pBitmap)
{
  LICE_IBitmap* found = nullptr;
  std::vector<LICE_IBitmap*> copies;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    for (auto it = mEntries.begin(); it != mEntries.end(); ++it)
    {
      if (it->mBitmap == pBitmap)
      {
        found = it->mBitmap;
        mEntries.erase(it);
        break;
      }
    }
    // Its copies for other sizes go with it, unless another image shares them.
    if (found)
      for (auto it = mEntries.begin(); it != mEntries.end();)
      {
        if (it->mBase == found)
        {
          copies.push_back(it->mBitmap);
          it = mEntries.erase(it);
        }
        else
          ++it;
      }
    std::erase_if(copies,
                  [&](const LICE_IBitmap* c)
                  {
                    return std::any_of(mEntries.begin(), mEntries.end(),
                                       [&](const Entry& e) { return e.mBitmap == c; });
                  });
  }
  delete found;
  for (LICE_IBitmap* c : copies) delete c;
  return found != nullptr;
}

bool BitmapStorage::Contains(const LICE_IBitmap* pBitmap)
{
  std::lock_guard<std::mutex> lock(mMutex);
  for (const Entry& e : mEntries)
    if (e.mBitmap == pBitmap) return true;
  return false;
}

int BitmapStorage::Size()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return (int)mEntries.size();
}

FontStorage::~FontStorage()
{
  for (const Entry& e : mEntries) delete e.mFont;
}

int FontStorage::Size()
{
  std::lock_guard<std::mutex> lock(mMutex);
  return (int)mEntries.size();
}

BitmapStorage& GetBitmapCache()
{
  static BitmapStorage sBitmapCache;
  return sBitmapCache;
}

FontStorage& GetFontCache()
{
  static FontStorage sFontCache;
  return sFontCache;
}

// ---- Images ---------------------------------------------------------------------------------

namespace
{

constexpr int kPlaceholderFrame = 16;               // pixels, each side of one frame
constexpr LICE_pixel kPlaceholderInk = 0xFFFF00FFu; // opaque magenta: plainly not artwork
constexpr LICE_pixel kPlaceholderFill = 0x40FF00FFu;

// Stands in for an image the platform could not deliver: one 16 x 16 magenta-outlined frame per
// requested frame, so that controls keep a size and frame arithmetic stays sane.
LICE_IBitmap* MakePlaceholder(int nFrames, bool framesAreHorizontal)
{
  nFrames = std::max(nFrames, 1);
  const int w = kPlaceholderFrame * (framesAreHorizontal ? nFrames : 1);
  const int h = kPlaceholderFrame * (framesAreHorizontal ? 1 : nFrames);
  auto* bm = new LICE_MemBitmap(w, h, 4);
  LICE_Clear(bm, kPlaceholderFill);
  for (int f = 0; f < nFrames; ++f)
  {
    const int x = framesAreHorizontal ? f * kPlaceholderFrame : 0;
    const int y = framesAreHorizontal ? 0 : f * kPlaceholderFrame;
    LICE_DrawRect(bm, x, y, kPlaceholderFrame - 1, kPlaceholderFrame - 1, kPlaceholderInk, 1.0f,
                  LICE_COMBINE_COPY);
  }
  return bm;
}

bool HasPixels(const LICE_IBitmap* bm)
{
  return bm && bm->getWidth() > 0 && bm->getHeight() > 0 && bm->getBits();
}

} // namespace

IBitmap IGraphics::LoadIBitmap(int id, const char* name, int nStates, bool framesAreHorizontal)
{
  BitmapStorage& cache = GetBitmapCache();
  LICE_IBitmap* bm = cache.Find(id);
  if (!bm)
  {
    // Loaded outside the lock (the platform may be slow, or load through us); a racing editor
    // that stored the id first wins and our copy is dropped.
    LICE_IBitmap* loaded = OSLoadBitmap(id, name);
    if (HasPixels(loaded))
    {
      bm = cache.Add(loaded, id, name);
      if (bm != loaded) delete loaded;
    }
    else
    {
      delete loaded;
      std::fprintf(stderr,
                   "editor: image %d \"%s\" could not be loaded; drawing a placeholder instead\n",
                   id, name ? name : "");
      // Not stored under the id, so that a later load may still find the real image.
      bm = cache.Add(MakePlaceholder(nStates, framesAreHorizontal), -1);
    }
  }
  return IBitmap(bm, bm->getWidth(), bm->getHeight(), nStates, framesAreHorizontal);
}

IBitmap IGraphics::ScaleBitmap(IBitmap* pBitmap, int destW, int destH)
{
  if (!pBitmap || !pBitmap->mData) return IBitmap();
  destW = std::max(destW, 0);
  destH = std::max(destH, 0);
  auto* dest = new LICE_MemBitmap(destW, destH, 4);
  LICE_ScaledBlit(dest, pBitmap->mData, 0, 0, destW, destH, 0.0f, 0.0f, (float)pBitmap->mW,
                  (float)pBitmap->mH, 1.0f, LICE_COMBINE_COPY | LICE_COMBINE_FILTER_BILINEAR);
  GetBitmapCache().Add(dest, -1);
  return IBitmap(dest, destW, destH, pBitmap->mN, false);
}

IBitmap IGraphics::CropBitmap(IBitmap* pBitmap, IRECT* pR)
{
  if (!pBitmap || !pBitmap->mData || !pR) return IBitmap();
  const int w = std::max(pR->W(), 0), h = std::max(pR->H(), 0);
  auto* dest = new LICE_MemBitmap(w, h, 4);
  LICE_Blit(dest, pBitmap->mData, 0, 0, pR->mL, pR->mT, w, h, 1.0f, LICE_COMBINE_COPY);
  GetBitmapCache().Add(dest, -1);
  return IBitmap(dest, w, h, pBitmap->mN, false);
}

void IGraphics::RetainBitmap(IBitmap* pBitmap)
{
  if (pBitmap && pBitmap->mData) GetBitmapCache().Add(pBitmap->mData, -1);
}

void IGraphics::ReleaseBitmap(IBitmap* pBitmap)
{
  if (pBitmap && pBitmap->mData) GetBitmapCache().Remove(pBitmap->mData);
}

namespace
{

// The 100 % image enlarged for another size, frame by frame so that no frame bleeds into the
// next: a stand-in for artwork that was not drawn for the size.
LICE_IBitmap* Enlarge(const IBitmap& b, int scale)
{
  const int n = std::max(b.mN, 1);
  const int fw = b.FrameWidth(), fh = b.FrameHeight();
  const int sfw = IGraphics::ScaleEdge(fw, scale), sfh = IGraphics::ScaleEdge(fh, scale);
  auto* out = new LICE_MemBitmap(b.mFramesAreHorizontal ? sfw * n : sfw,
                                 b.mFramesAreHorizontal ? sfh : sfh * n, 4);
  for (int f = 0; f < n; ++f)
  {
    const int sx = b.mFramesAreHorizontal ? f * fw : 0, sy = b.mFramesAreHorizontal ? 0 : f * fh;
    const int dx = b.mFramesAreHorizontal ? f * sfw : 0, dy = b.mFramesAreHorizontal ? 0 : f * sfh;
    LICE_ScaledBlit(out, b.mData, dx, dy, sfw, sfh, (float)sx, (float)sy, (float)fw, (float)fh,
                    1.0f, LICE_COMBINE_COPY | LICE_COMBINE_FILTER_BILINEAR);
  }
  return out;
}

// Artwork for a size must be the scaled image, or its frames each scaled.
bool FitsScale(const LICE_IBitmap* bm, const IBitmap& b, int scale)
{
  if (!HasPixels(bm)) return false;
  const int n = std::max(b.mN, 1);
  const int w = bm->getWidth(), h = bm->getHeight();
  if (w == IGraphics::ScaleEdge(b.mW, scale) && h == IGraphics::ScaleEdge(b.mH, scale)) return true;
  const int sfw = IGraphics::ScaleEdge(b.FrameWidth(), scale);
  const int sfh = IGraphics::ScaleEdge(b.FrameHeight(), scale);
  return b.mFramesAreHorizontal ? (w == sfw * n && h == sfh) : (w == sfw && h == sfh * n);
}

} // namespace

LICE_IBitmap* IGraphics::ScaledData(const IBitmap& b)
{
  if (mScale == 100 || !b.mData) return b.mData;
  BitmapStorage& cache = GetBitmapCache();
  if (LICE_IBitmap* found = cache.FindScaled(b.mData, mScale)) return found;
  LICE_IBitmap* made = nullptr;
  std::string name;
  const int id = cache.IdentityOf(b.mData, &name);
  // Images of equal bytes (a row of knobs on one strip) share one decoded copy.
  const void* source = id != -1 ? OSImageSource(name.c_str(), mScale) : nullptr;
  if (LICE_IBitmap* shared = cache.FindShared(source, mScale))
    return cache.AddScaled(b.mData, mScale, shared, source);
  if (id != -1) made = OSLoadBitmapAtScale(id, name.c_str(), mScale);
  if (made && !FitsScale(made, b, mScale))
  {
    std::fprintf(stderr,
                 "editor: image %d \"%s\" at %d %% has the wrong size; enlarging the 100 %% one\n",
                 id, name.c_str(), mScale);
    delete made;
    made = nullptr;
  }
  if (!made) made = Enlarge(b, mScale);
  LICE_IBitmap* stored = cache.AddScaled(b.mData, mScale, made, source);
  if (stored != made) delete made;
  return stored;
}

// At 100 % a plain blit. At other sizes the destination, the clip and the source offset are
// mapped to pixels, and the blit stays inside one frame of the scaled image.
bool IGraphics::DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int srcX, int srcY,
                           const IChannelBlend* pBlend)
{
  if (!pBitmap || !pDest) return false;
  if (mScale != 100)
  {
    LICE_IBitmap* src = ScaledData(*pBitmap);
    return BlitScaled(src, ToPhysical(*pDest), ToPhysical(srcX), ToPhysical(srcY),
                      src ? src->getWidth() : 0, src ? src->getHeight() : 0, pBlend);
  }
  const IRECT clip = pDest->Intersect(mDrawRECT);
  LICE_Blit(mDrawBitmap, pBitmap->mData, clip.mL, clip.mT, srcX + clip.mL - pDest->mL,
            srcY + clip.mT - pDest->mT, clip.W(), clip.H(), LiceWeight(pBlend),
            LiceBlendMode(pBlend));
  return true;
}

bool IGraphics::BlitScaled(LICE_IBitmap* src, const IRECT& dest, int srcX, int srcY, int srcR,
                           int srcB, const IChannelBlend* pBlend)
{
  if (!src) return false;
  IRECT clip = dest.Intersect(ToPhysical(mDrawRECT));
  clip.mR = std::min(clip.mR, dest.mL + srcR - srcX);
  clip.mB = std::min(clip.mB, dest.mT + srcB - srcY);
  if (clip.mR <= clip.mL || clip.mB <= clip.mT) return true;
  LICE_Blit(mDrawBitmap, src, clip.mL, clip.mT, srcX + clip.mL - dest.mL, srcY + clip.mT - dest.mT,
            clip.W(), clip.H(), LiceWeight(pBlend), LiceBlendMode(pBlend));
  return true;
}

bool IGraphics::DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int frame, const IChannelBlend* pBlend)
{
  if (!pBitmap || !pDest) return false;
  LICE_IBitmap* src = mScale == 100 ? pBitmap->mData : ScaledData(*pBitmap);
  const int w = mScale == 100 ? pBitmap->mW : src ? src->getWidth() : 0;
  const int h = mScale == 100 ? pBitmap->mH : src ? src->getHeight() : 0;
  int srcX = 0, srcY = 0;
  const int n = pBitmap->mN;
  if (frame >= 2 && n >= 2)
  {
    // A frame past the end shows the last one rather than whatever lies below the strip.
    const double f = std::min(frame, n) - 1;
    if (pBitmap->mFramesAreHorizontal)
      srcX = (int)(f * w / n + 0.5);
    else
      srcY = (int)(f * h / n + 0.5);
  }
  if (mScale == 100) return DrawBitmap(pBitmap, pDest, srcX, srcY, pBlend);
  const int frameR = pBitmap->mFramesAreHorizontal ? srcX + w / std::max(n, 1) : w;
  const int frameB = pBitmap->mFramesAreHorizontal ? h : srcY + h / std::max(n, 1);
  return BlitScaled(src, ToPhysical(*pDest), srcX, srcY, frameR, frameB, pBlend);
}

bool IGraphics::DrawRotatedBitmap(IBitmap* pBitmap, int destCtrX, int destCtrY, double angle,
                                  int yOffsetZeroDeg, const IChannelBlend* pBlend)
{
  if (!pBitmap) return false;
  LICE_IBitmap* src = ScaledData(*pBitmap);
  const int w = mScale == 100 ? pBitmap->mW : src ? src->getWidth() : 0;
  const int h = mScale == 100 ? pBitmap->mH : src ? src->getHeight() : 0;
  const int mode = pBlend ? (LiceBlendMode(pBlend) | LICE_COMBINE_FILTER_BILINEAR) : 0x10100;
  LICE_RotatedBlit(mDrawBitmap, src, ToPhysical(destCtrX) - w / 2, ToPhysical(destCtrY) - h / 2, w,
                   h, 0.0f, 0.0f, (float)w, (float)h, (float)angle, false, LiceWeight(pBlend), mode,
                   0.0f, (float)yOffsetZeroDeg * Sf());
  return true;
}

bool IGraphics::DrawRotatedMask(IBitmap* pBase, IBitmap* pMask, IBitmap* pTop, int x, int y,
                                double angle, const IChannelBlend* pBlend)
{
  if (!pBase || !pMask || !pTop) return false;
  if (!mTmpBitmap) mTmpBitmap = new LICE_MemBitmap(0, 0, 4);
  LICE_IBitmap* base = ScaledData(*pBase);
  LICE_IBitmap* mask = ScaledData(*pMask);
  LICE_IBitmap* top = ScaledData(*pTop);
  if (!base || !mask || !top) return false;
  const int w = base->getWidth(), h = base->getHeight();
  const float rad = (float)(angle * std::numbers::pi / 180.0);
  const float xCentre = (w & 1) ? -0.5f : 0.0f;

  LICE_Copy(mTmpBitmap, base);
  LICE_ClearRect(mTmpBitmap, 0, 0, w, h, 0xFFFFFF, 0); // keep colour, zero alpha
  // add, source alpha, bilinear
  LICE_RotatedBlit(mTmpBitmap, mask, 0, 0, w, h, 0.0f, 0.0f, (float)mask->getWidth(),
                   (float)mask->getHeight(), rad, true, 1.0f, 0x10101, xCentre, 0.0f);
  // copy, source alpha, bilinear
  LICE_RotatedBlit(mTmpBitmap, top, 0, 0, w, h, 0.0f, 0.0f, (float)top->getWidth(),
                   (float)top->getHeight(), rad, true, 1.0f, 0x10100, xCentre, 0.0f);

  if (mScale != 100)
  {
    const int px = ToPhysical(x), py = ToPhysical(y);
    return BlitScaled(mTmpBitmap, IRECT(px, py, px + w, py + h), 0, 0, w, h, pBlend);
  }
  IBitmap scratch(mTmpBitmap, mTmpBitmap->getWidth(), mTmpBitmap->getHeight());
  IRECT dest(x, y, x + w, y + h);
  return DrawBitmap(&scratch, &dest, 0, 0, pBlend);
}

// ---- Points and pixels ----------------------------------------------------------------------

bool IGraphics::DrawPoint(const IColor* pColor, float x, float y, const IChannelBlend* pBlend, bool)
{
  if (!pColor) return false;
  x *= Sf();
  y *= Sf();
  LICE_PutPixel(mDrawBitmap, (int)(x + 0.5f), (int)(y + 0.5f), pColor->Pixel(), LiceWeight(pBlend),
                LiceBlendMode(pBlend));
  return true;
}

bool IGraphics::ForcePixel(const IColor* pColor, int x, int y)
{
  if (!pColor || !mDrawBitmap) return false;
  const int w = mDrawBitmap->getWidth(), h = mDrawBitmap->getHeight();
  LICE_pixel* bits = mDrawBitmap->getBits();
  if (!bits || x < 0 || y < 0 || x >= w || y >= h) return false;
  const int row = mDrawBitmap->isFlipped() ? h - 1 - y : y;
  bits[(size_t)row * mDrawBitmap->getRowSpan() + x] = pColor->Pixel();
  return true;
}

IColor IGraphics::GetPoint(int x, int y)
{
  return IColor::FromPixel(LICE_GetPixel(mDrawBitmap, x, y));
}

void* IGraphics::GetBits()
{
  return mDrawBitmap ? mDrawBitmap->getBits() : nullptr;
}

// ---- Lines and curves -----------------------------------------------------------------------

bool IGraphics::DrawLine(const IColor* pColor, float x1, float y1, float x2, float y2,
                         const IChannelBlend* pBlend, bool antiAlias)
{
  if (!pColor) return false;
  const float k = Sf();
  LICE_Line(mDrawBitmap, (int)(x1 * k), (int)(y1 * k), (int)(x2 * k), (int)(y2 * k),
            pColor->Pixel(), LiceWeight(pBlend), LiceBlendMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::DrawArc(const IColor* pColor, float cx, float cy, float r, float minAngle,
                        float maxAngle, const IChannelBlend* pBlend, bool antiAlias)
{
  if (!pColor) return false;
  const float k = Sf();
  LICE_Arc(mDrawBitmap, cx * k, cy * k, r * k, minAngle, maxAngle, pColor->Pixel(),
           LiceWeight(pBlend), LiceBlendMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::DrawCircle(const IColor* pColor, float cx, float cy, float r,
                           const IChannelBlend* pBlend, bool antiAlias)
{
  if (!pColor) return false;
  const float k = Sf();
  LICE_Circle(mDrawBitmap, cx * k, cy * k, r * k, pColor->Pixel(), LiceWeight(pBlend),
              LiceBlendMode(pBlend), antiAlias);
  return true;
}

// angle 0 points up and grows clockwise.
bool IGraphics::DrawRadialLine(const IColor* pColor, float cx, float cy, float angle, float rMin,
                               float rMax, const IChannelBlend* pBlend, bool antiAlias)
{
  const float s = std::sin(angle), c = std::cos(angle);
  return DrawLine(pColor, cx + s * rMin, cy - c * rMin, cx + s * rMax, cy - c * rMax, pBlend,
                  antiAlias);
}

bool IGraphics::DrawVerticalLine(const IColor* pColor, int xi, int yLo, int yHi)
{
  if (!pColor) return false;
  LICE_Line(mDrawBitmap, ToPhysical(xi), ToPhysical(yLo), ToPhysical(xi), ToPhysical(yHi),
            pColor->Pixel(), 1.0f, LICE_COMBINE_COPY, false);
  return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* pColor, int yi, int xLo, int xHi)
{
  if (!pColor) return false;
  LICE_Line(mDrawBitmap, ToPhysical(xLo), ToPhysical(yi), ToPhysical(xHi), ToPhysical(yi),
            pColor->Pixel(), 1.0f, LICE_COMBINE_COPY, false);
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* pColor, IRECT* pR, float x)
{
  if (!pR) return false;
  x = std::clamp(x, 0.0f, 1.0f);
  const int xi = pR->mL + (int)((float)pR->W() * x);
  return DrawVerticalLine(pColor, xi, pR->mT, pR->mB);
}

bool IGraphics::DrawHorizontalLine(const IColor* pColor, IRECT* pR, float y)
{
  if (!pR) return false;
  y = std::clamp(y, 0.0f, 1.0f);
  const int yi = pR->mB - (int)((float)pR->H() * y);
  return DrawHorizontalLine(pColor, yi, pR->mL, pR->mR);
}

// The outline covers the right and bottom coordinates.
bool IGraphics::DrawRect(const IColor* pColor, IRECT* pR)
{
  if (!pColor || !pR) return false;
  const LICE_pixel c = pColor->Pixel();
  IRECT r = ToPhysical(*pR);
  pR = &r;
  LICE_Line(mDrawBitmap, pR->mL, pR->mT, pR->mR, pR->mT, c, 1.0f, LICE_COMBINE_COPY, false);
  LICE_Line(mDrawBitmap, pR->mL, pR->mB, pR->mR, pR->mB, c, 1.0f, LICE_COMBINE_COPY, false);
  LICE_Line(mDrawBitmap, pR->mL, pR->mT, pR->mL, pR->mB, c, 1.0f, LICE_COMBINE_COPY, false);
  LICE_Line(mDrawBitmap, pR->mR, pR->mT, pR->mR, pR->mB, c, 1.0f, LICE_COMBINE_COPY, false);
  return true;
}

bool IGraphics::RoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend,
                          int cornerradius, bool aa)
{
  if (!pColor || !pR) return false;
  IRECT r = ToPhysical(*pR);
  pR = &r;
  LICE_RoundRect(mDrawBitmap, (float)pR->mL, (float)pR->mT, (float)pR->W(), (float)pR->H(),
                 ToPhysical(cornerradius), pColor->Pixel(), LiceWeight(pBlend),
                 LiceBlendMode(pBlend), aa);
  return true;
}

// ---- Fills ----------------------------------------------------------------------------------

bool IGraphics::FillIRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend)
{
  if (!pColor || !pR) return false;
  IRECT r = ToPhysical(*pR);
  pR = &r;
  LICE_FillRect(mDrawBitmap, pR->mL, pR->mT, pR->W(), pR->H(), pColor->Pixel(), LiceWeight(pBlend),
                LiceBlendMode(pBlend));
  return true;
}

bool IGraphics::FillCircle(const IColor* pColor, int cx, int cy, float r,
                           const IChannelBlend* pBlend, bool antiAlias)
{
  if (!pColor) return false;
  const float k = Sf();
  LICE_FillCircle(mDrawBitmap, (float)cx * k, (float)cy * k, r * k, pColor->Pixel(),
                  LiceWeight(pBlend), LiceBlendMode(pBlend), antiAlias);
  return true;
}

// Three rectangles (the middle column, then the left and right strips between the corners) and
// four corner discs.
bool IGraphics::FillRoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int r,
                              bool aa)
{
  if (!pColor || !pR) return false;
  IRECT scaled = ToPhysical(*pR);
  pR = &scaled;
  r = ToPhysical(r);
  const LICE_pixel c = pColor->Pixel();
  const float a = LiceWeight(pBlend);
  const int mode = LiceBlendMode(pBlend);
  const int w = pR->W(), h = pR->H();
  LICE_FillRect(mDrawBitmap, pR->mL + r, pR->mT, w - 2 * r, h, c, a, mode);
  LICE_FillRect(mDrawBitmap, pR->mL, pR->mT + r, r, h - 2 * r, c, a, mode);
  LICE_FillRect(mDrawBitmap, pR->mR - r, pR->mT + r, r, h - 2 * r, c, a, mode);
  LICE_FillCircle(mDrawBitmap, (float)(pR->mL + r), (float)(pR->mT + r), (float)r, c, a, mode, aa);
  LICE_FillCircle(mDrawBitmap, (float)(pR->mR - r - 1), (float)(pR->mB - r - 1), (float)r, c, a,
                  mode, aa);
  LICE_FillCircle(mDrawBitmap, (float)(pR->mR - r - 1), (float)(pR->mT + r), (float)r, c, a, mode,
                  aa);
  LICE_FillCircle(mDrawBitmap, (float)(pR->mL + r), (float)(pR->mB - r - 1), (float)r, c, a, mode,
                  aa);
  return true;
}

bool IGraphics::FillTriangle(const IColor* pColor, int x1, int y1, int x2, int y2, int x3, int y3,
                             const IChannelBlend* pBlend)
{
  if (!pColor) return false;
  LICE_FillTriangle(mDrawBitmap, ToPhysical(x1), ToPhysical(y1), ToPhysical(x2), ToPhysical(y2),
                    ToPhysical(x3), ToPhysical(y3), pColor->Pixel(), LiceWeight(pBlend),
                    LiceBlendMode(pBlend));
  return true;
}

bool IGraphics::FillIConvexPolygon(const IColor* pColor, int* x, int* y, int npoints,
                                   const IChannelBlend* pBlend)
{
  if (!pColor || !x || !y) return false;
  std::vector<int> px, py;
  if (mScale != 100 && npoints > 0)
  {
    for (int i = 0; i < npoints; ++i)
      px.push_back(ToPhysical(x[i])), py.push_back(ToPhysical(y[i]));
    x = px.data();
    y = py.data();
  }
  LICE_FillConvexPolygon(mDrawBitmap, x, y, npoints, pColor->Pixel(), LiceWeight(pBlend),
                         LiceBlendMode(pBlend));
  return true;
}

// ---- Text -----------------------------------------------------------------------------------

namespace
{

// Font quality codes of the system font for IText's quality: 0, 3, 4, 4; anything else 3.
int FontQuality(int quality)
{
  switch (quality)
  {
  case IText::kQualityDefault:
    return DEFAULT_QUALITY;
  case IText::kQualityAntiAliased:
  case IText::kQualityClearType:
    return ANTIALIASED_QUALITY;
  default:
    return NONANTIALIASED_QUALITY;
  }
}

HFONT MakeSystemFont(const IText* pTxt, int height)
{
  return CreateFont(std::max(height, 2), 0, pTxt->mOrientation * 10, pTxt->mOrientation * 10,
                    pTxt->mStyle == IText::kStyleBold ? FW_BOLD : FW_NORMAL,
                    (char)(pTxt->mStyle == IText::kStyleItalic), 0, 0, 0, 0, 0,
                    (char)FontQuality(pTxt->mQuality), 0, pTxt->mFont);
}

// The font owns its handle and prefers the shim's own text drawing.
constexpr int kFontFlags = LICE_FONT_OWNS_HFONT | LICE_FONT_NATIVE;

} // namespace

// The system font's line height need not be the size asked for; one correction,
// size' = size^2 / line height (4 for sizes below 2), brings it close, and no third attempt
// is made. The cache keeps the font under the size asked for.
LICE_CachedFont* IGraphics::CacheFont(IText* pTxt)
{
  if (!pTxt) return nullptr;
  pTxt->mFont[IText::kMaxFontNameLen - 1] = '\0';
  const FontStorage::Key key{pTxt->mSize, pTxt->mOrientation, (int)pTxt->mStyle, pTxt->mFont};
  LICE_CachedFont* font = GetFontCache().FindOrMake(
      key,
      [pTxt]() -> LICE_CachedFont*
      {
        const int height = std::max(pTxt->mSize, 2);
        HFONT hFont = MakeSystemFont(pTxt, height);
        if (!hFont) return nullptr;
        auto* made = new LICE_CachedFont;
        made->SetFromHFont(hFont, kFontFlags);
        const int lineHeight = made->GetLineHeight();
        if (lineHeight > 0 && lineHeight != height)
        {
          const double sq = pTxt->mSize < 2 ? 4.0 : (double)pTxt->mSize * pTxt->mSize;
          if (HFONT corrected = MakeSystemFont(pTxt, (int)(sq / lineHeight + 0.5)))
            made->SetFromHFont(corrected, kFontFlags);
        }
        return made;
      });
  if (font) pTxt->mCached = font;
  return font;
}

// Format word: no clipping, the alignment (left 0, centre 1, right 2), and the text colour's
// alpha as the combine weight when it is not opaque. Measuring (calculate only) sizes the text
// from (0, 0) and then fits the caller's rectangle around it by the alignment.
bool IGraphics::DrawIText(IText* pTxt, const char* str, IRECT* pR, bool measure)
{
  if (!str || !*str) return true;
  if (!pTxt || !pR) return false;
  LICE_CachedFont* font = pTxt->mCached ? pTxt->mCached : CacheFont(pTxt);
  if (!font) return false;

  font->SetTextColor(pTxt->mColor.Pixel());
  unsigned int fmt = LICE_TEXT_NOCLIP;
  if (pTxt->mAlign == IText::kAlignCenter)
    fmt |= LICE_TEXT_HCENTER;
  else if (pTxt->mAlign != IText::kAlignNear)
    fmt |= LICE_TEXT_RIGHT;
  if (pTxt->mColor.mA < 255) fmt |= LICE_TEXT_USE_FG_ALPHA;

  if (measure)
  {
    RECT r = {0, 0, 0, 0};
    font->DrawText(mDrawBitmap, str, -1, &r, fmt | LICE_TEXT_CALCRECT);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (pTxt->mAlign == IText::kAlignCenter)
    {
      pR->mL = (int)((float)(pR->mL + pR->mR) * 0.5f) - w / 2;
      pR->mR = pR->mL + w;
    }
    else if (pTxt->mAlign == IText::kAlignNear)
      pR->mR = pR->mL + w;
    else
      pR->mL = pR->mR - w;
    pR->mB = pR->mT + h;
    return true;
  }

  if (!mDrawBitmap) return true;
  if (mScale != 100)
  {
    // The same style at the size's pixel height, from the font cache like any other.
    IText scaled = *pTxt;
    scaled.mSize = ToPhysical(pTxt->mSize);
    scaled.mCached = nullptr;
    font = CacheFont(&scaled);
    if (!font) return false;
    font->SetTextColor(pTxt->mColor.Pixel());
  }
  const IRECT p = ToPhysical(*pR);
  RECT r = {p.mL, p.mT, p.mR, p.mB};
  font->DrawText(mDrawBitmap, str, -1, &r, fmt);
  return true;
}

// Film-strip text: character c is frame c - 31 (space = frame 1) of the font bitmap, drawn into
// cells charWidth x charHeight placed charWidth + charOffset apart. Multi-line text that does
// not fit wraps into rows of (available width / charWidth) characters; single-line text is cut.
bool DrawBitmapedText(IGraphics* pGraphics, IBitmap* pBitmap, IRECT* pR, IText* pText,
                      IChannelBlend* pBlend, const char* str, bool vCenter, bool multiline,
                      int charWidth, int charHeight, int charOffset)
{
  if (!str || !*str) return true;
  if (!pGraphics || !pBitmap || !pR || !pText) return false;
  // A zero-sized cell holds no character (and would divide by zero below).
  if (charWidth <= 0 || charHeight <= 0) return false;

  const int n = (int)std::strlen(str);
  const long long w = (long long)charWidth * n;
  const int avail = pR->mR - pR->mL;
  if (avail <= 0) return false;
  const int perRow = avail / charWidth;
  if (perRow <= 0) return false;

  int top = pR->mT;
  if (vCenter) top = pR->mT + (pR->mB - charHeight - pR->mT) / 2;
  long long startX = pR->mL;
  if (pText->mAlign == IText::kAlignFar)
    startX = pR->mR - w;
  else if (pText->mAlign == IText::kAlignCenter)
    startX = pR->mL + (avail - w) / 2;

  int rowLen = perRow, nRows = 1;
  if (multiline)
  {
    if (w <= avail)
      rowLen = n;
    else
      nRows = (int)(w / avail) + 1;
  }

  int i = 0;
  for (int row = 0; row < nRows && i < n; ++row)
  {
    long long x = startX;
    const int rowTop = top + row * charHeight;
    for (int k = 0; k < rowLen && i < n; ++k, ++i)
    {
      const int frame = (int)(unsigned char)str[i] - 31;
      // Cells of a very long right-aligned text start far off the editor: skip them.
      if (x < INT_MIN / 4 || x > INT_MAX / 4)
      {
        x += charWidth + charOffset;
        continue;
      }
      IRECT cell((int)x, rowTop, (int)x + charWidth, rowTop + charHeight);
      pGraphics->DrawBitmap(pBitmap, &cell, frame, pBlend);
      x += charWidth + charOffset;
    }
  }
  return true;
}
