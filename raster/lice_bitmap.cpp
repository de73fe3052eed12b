// Bitmaps, the single-pixel combine entry points and the whole-bitmap utilities.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "raster/lice.h"
#include "raster/lice_combine.h"

using namespace lice_detail;

extern const unsigned short __LICE_RGB2HSV_invtab[256] = {
    0,    65535, 32767, 21844, 16383, 13106, 10921, 9361, 8191, 7280, 6552, 5956, 5460, 5040, 4680,
    4368, 4095,  3854,  3639,  3448,  3275,  3119,  2977, 2848, 2729, 2620, 2519, 2426, 2339, 2258,
    2183, 2113,  2047,  1984,  1926,  1871,  1819,  1770, 1723, 1679, 1637, 1597, 1559, 1523, 1488,
    1455, 1423,  1393,  1364,  1336,  1309,  1284,  1259, 1235, 1212, 1190, 1169, 1148, 1128, 1109,
    1091, 1073,  1056,  1039,  1023,  1007,  991,   977,  962,  948,  935,  922,  909,  896,  884,
    872,  861,   850,   839,   828,   818,   808,   798,  788,  779,  770,  761,  752,  743,  735,
    727,  719,   711,   703,   696,   688,   681,   674,  667,  660,  654,  647,  641,  635,  629,
    623,  617,   611,   605,   600,   594,   589,   584,  578,  573,  568,  563,  559,  554,  549,
    545,  540,   536,   531,   527,   523,   519,   515,  511,  507,  503,  499,  495,  491,  488,
    484,  480,   477,   473,   470,   467,   463,   460,  457,  454,  450,  447,  444,  441,  438,
    435,  433,   430,   427,   424,   421,   419,   416,  413,  411,  408,  406,  403,  401,  398,
    396,  393,   391,   389,   386,   384,   382,   380,  377,  375,  373,  371,  369,  367,  365,
    363,  361,   359,   357,   355,   353,   351,   349,  347,  345,  343,  342,  340,  338,  336,
    335,  333,   331,   329,   328,   326,   325,   323,  321,  320,  318,  317,  315,  314,  312,
    311,  309,   308,   306,   305,   303,   302,   301,  299,  298,  296,  295,  294,  292,  291,
    290,  288,   287,   286,   285,   283,   282,   281,  280,  279,  277,  276,  275,  274,  273,
    272,  270,   269,   268,   267,   266,   265,   264,  263,  262,  261,  260,  259,  258,  257,
    256};

namespace
{

// Line alignments beyond this many pixels are limited to it; 16 pixels already put every row
// of a 64-byte-aligned buffer on a 64-byte boundary.
constexpr unsigned int kMaxLineAlign = 64;
constexpr int kBitsAlign = 64;

// Largest pixel byte count a bitmap allocates: sizes are int, and the slack must fit too.
constexpr long long kMaxBytes = 0x7FFFFFFFLL - kBitsAlign;

} // namespace

// ---------------------------------------------------------------------------------------------
// LICE_MemBitmap

LICE_MemBitmap::LICE_MemBitmap(int w, int h, unsigned int linealign)
{
  if (linealign >= 2)
  {
    unsigned int lowest = linealign & (0u - linealign);
    mLineAlignMask = (int)std::min(lowest, kMaxLineAlign) - 1;
  }
  if (w > 0 && h > 0) resize(w, h);
}

LICE_MemBitmap::~LICE_MemBitmap()
{
  free(mBuffer);
}

LICE_pixel* LICE_MemBitmap::getBits() const
{
  if (!mBuffer) return nullptr;
  const uintptr_t p = ((uintptr_t)mBuffer + (kBitsAlign - 1)) & ~(uintptr_t)(kBitsAlign - 1);
  return (LICE_pixel*)p;
}

bool LICE_MemBitmap::resize(int w, int h)
{
  if (w == mWidth && h == mHeight) return false;
  mWidth = w;
  mHeight = h;

  long long need = 0;
  if (w > 0 && h > 0)
  {
    const long long span = ((long long)w + mLineAlignMask) & ~(long long)mLineAlignMask;
    need = span * h * 4;
  }
  if (need <= 0 || need > kMaxBytes)
  {
    // Empty, or a size whose byte count cannot be represented: no pixels.
    free(mBuffer);
    mBuffer = nullptr;
    mAllocSize = 0;
    mWidth = mHeight = 0;
    return true;
  }
  if (mBuffer && mAllocSize >= need) return true;

  if (mBuffer)
  {
    // Contents need not survive, so a fresh allocation beats realloc's copy.
    free(mBuffer);
    long long capacity = need + need / 4;
    if (capacity > kMaxBytes) capacity = need;
    mBuffer = malloc((size_t)capacity + kBitsAlign - 1);
    mAllocSize = (int)capacity;
    if (!mBuffer && capacity != need)
    {
      mBuffer = malloc((size_t)need + kBitsAlign - 1);
      mAllocSize = (int)need;
    }
  }
  else
  {
    mBuffer = malloc((size_t)need + kBitsAlign - 1);
    mAllocSize = (int)need;
  }
  if (!mBuffer)
  {
    mAllocSize = 0;
    mWidth = mHeight = 0;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// LICE_SysBitmap

LICE_SysBitmap::LICE_SysBitmap(int w, int h)
{
  resize(w, h);
}

LICE_SysBitmap::~LICE_SysBitmap()
{
  if (mDC) SWELL_DeleteGfxContext(mDC);
}

bool LICE_SysBitmap::resize(int w, int h)
{
  if (w == mWidth && h == mHeight) return false;
  mWidth = w;
  mHeight = h;
  // A smaller bitmap keeps the context (rows stay mAllocW apart).
  if (w > 0 && h > 0 && mBits && mAllocW >= w && mAllocH >= h) return true;

  if (mDC) SWELL_DeleteGfxContext(mDC);
  mDC = nullptr;
  mBits = nullptr;
  const long long span = ((long long)w + 3) & ~3LL;
  if (h <= 0 || span <= 0 || span * h * 4 > kMaxBytes)
  {
    mWidth = mHeight = 0;
    mAllocW = mAllocH = 0;
    return false;
  }
  mAllocW = (int)span;
  mAllocH = h;
  mDC = SWELL_CreateMemContext(nullptr, mAllocW, mAllocH);
  if (mDC) mBits = (LICE_pixel*)SWELL_GetCtxFrameBuffer(mDC);
  if (!mBits)
  {
    if (mDC) SWELL_DeleteGfxContext(mDC);
    mDC = nullptr;
    mWidth = mHeight = 0;
    mAllocW = mAllocH = 0;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Single pixels

void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (!dest) return;
  if (ia > 256) ia = 256;
  WithBlitRule(mode, ia, [&](auto rule) { rule.doPix((unsigned char*)dest, r, g, b, a, ia); });
}

void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  // With the inputs in 0..255 the copy and multiply rules cannot leave that range either.
  LICE_CombinePixels2(dest, Clamp255(r), Clamp255(g), Clamp255(b), Clamp255(a), ia, mode);
}

LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode)
{
  LICE_CombinePixels2(&dest, (int)LICE_GETR(src), (int)LICE_GETG(src), (int)LICE_GETB(src),
                      (int)LICE_GETA(src), AlphaWeight(alpha), mode);
  return dest;
}

LICE_pixel LICE_GetPixel(const LICE_IBitmap* bm, int x, int y)
{
  if (!bm || !bm->getBits()) return 0;
  if (x < 0 || y < 0 || x >= bm->getWidth() || y >= bm->getHeight()) return 0;
  return RowsOf(bm).row(y)[x];
}

void LICE_PutPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color, float alpha, int mode)
{
  if (!bm || !bm->getBits()) return;
  if (x < 0 || y < 0 || x >= bm->getWidth() || y >= bm->getHeight()) return;
  LICE_pixel* p = RowsOf(bm).row(y) + x;
  const int ia = AlphaWeight(alpha);
  if (ia <= 0) return;
  if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY)
  {
    switch (ia)
    {
    case 64:
      *p = QuarterMixWord(*p, color);
      return;
    case 128:
      *p = HalfMixWord(*p, color);
      return;
    case 192:
      *p = ThreeQuarterMixWord(*p, color);
      return;
    case 256:
      *p = color;
      return;
    default:
      break;
    }
  }
  WithSolidRule(mode, [&](auto rule) { CombineWord<decltype(rule)>(p, color, ia); });
}

// ---------------------------------------------------------------------------------------------
// Whole-bitmap utilities

void LICE_Copy(LICE_IBitmap* dest, const LICE_IBitmap* src)
{
  if (!dest || !src) return;
  dest->resize(src->getWidth(), src->getHeight());
  LICE_Blit(dest, src, 0, 0, nullptr, 1.0f, LICE_COMBINE_COPY);
}

void LICE_Clear(LICE_IBitmap* dest, LICE_pixel color)
{
  if (!dest || !dest->getBits()) return;
  const int w = dest->getWidth(), h = dest->getHeight();
  if (w <= 0) return;
  const PixelRows rows = RowsOf(dest);
  for (int y = 0; y < h; ++y) std::fill_n(rows.row(y), w, color);
}

void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel mask,
                    LICE_pixel orbits)
{
  if (!ClipRectToBitmap(dest, x, y, w, h)) return;
  const PixelRows rows = RowsOf(dest);
  for (int r = 0; r < h; ++r)
  {
    LICE_pixel* p = rows.row(y + r) + x;
    for (int i = 0; i < w; ++i) p[i] = (p[i] & mask) | orbits;
  }
}

void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h,
                      void (*procFunc)(LICE_pixel* p, void* parm), void* parm)
{
  if (!procFunc || !ClipRectToBitmap(dest, x, y, w, h)) return;
  const PixelRows rows = RowsOf(dest);
  for (int r = 0; r < h; ++r)
  {
    LICE_pixel* p = rows.row(y + r) + x;
    for (int i = 0; i < w; ++i) procFunc(p + i, parm);
  }
}

void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc,
                          float bsc, float asc, float radd, float gadd, float badd, float aadd)
{
  if (!ClipRectToBitmap(dest, x, y, w, h)) return;
  // Per channel (blue, green, red, alpha): c = clamp((scale * c + add) >> 8), with scale and add
  // in 1/256 units. 64-bit products keep absurd factors from overflowing.
  const long long sc[4] = {SaturatingInt(bsc * 256.0), SaturatingInt(gsc * 256.0),
                           SaturatingInt(rsc * 256.0), SaturatingInt(asc * 256.0)};
  const long long ad[4] = {SaturatingInt(badd * 256.0), SaturatingInt(gadd * 256.0),
                           SaturatingInt(radd * 256.0), SaturatingInt(aadd * 256.0)};
  const PixelRows rows = RowsOf(dest);
  for (int r = 0; r < h; ++r)
  {
    unsigned char* p = (unsigned char*)(rows.row(y + r) + x);
    for (int i = 0; i < w; ++i, p += 4)
    {
      for (int c = 0; c < 4; ++c)
      {
        const long long v = (sc[c] * p[c] + ad[c]) >> 8;
        p[c] = (unsigned char)(v < 0 ? 0 : (v > 255 ? 255 : v));
      }
    }
  }
}

void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_pixel color)
{
  if (!dest || !dest->getBits()) return;
  const int w = dest->getWidth(), h = dest->getHeight();
  const PixelRows rows = RowsOf(dest);
  const LICE_pixel key = color & 0x00FFFFFFu;
  for (int y = 0; y < h; ++y)
  {
    LICE_pixel* p = rows.row(y);
    for (int i = 0; i < w; ++i)
    {
      const LICE_pixel c = p[i] & 0x00FFFFFFu;
      p[i] = c == key ? c : (c | 0xFF000000u);
    }
  }
}

int LICE_BitmapCmp(const LICE_IBitmap* a, const LICE_IBitmap* b, int* coordsOut)
{
  return LICE_BitmapCmpEx(a, b, 0xFFFFFFFFu, coordsOut);
}

int LICE_BitmapCmpEx(const LICE_IBitmap* a, const LICE_IBitmap* b, LICE_pixel mask, int* coordsOut)
{
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  if (a->getWidth() != b->getWidth()) return b->getWidth() - a->getWidth();
  if (a->getHeight() != b->getHeight()) return b->getHeight() - a->getHeight();
  const int w = a->getWidth(), h = a->getHeight();
  if (coordsOut) coordsOut[0] = coordsOut[1] = coordsOut[2] = coordsOut[3] = 0;
  if (w <= 0 || h <= 0) return 0;
  // Bitmaps without pixels sort like missing ones.
  if (!a->getBits() || !b->getBits()) return a->getBits() ? 1 : (b->getBits() ? -1 : 0);

  const PixelRows ra = RowsOf(a), rb = RowsOf(b);
  if (!coordsOut)
  {
    for (int y = 0; y < h; ++y)
    {
      const LICE_pixel* pa = ra.row(y);
      const LICE_pixel* pb = rb.row(y);
      if (mask == 0xFFFFFFFFu)
      {
        const int c = memcmp(pa, pb, (size_t)w * sizeof(LICE_pixel));
        if (c) return c;
      }
      else
      {
        for (int x = 0; x < w; ++x)
          if ((pa[x] ^ pb[x]) & mask) return 1;
      }
    }
    return 0;
  }

  int top = -1, bottom = -1, left = w, right = -1;
  for (int y = 0; y < h; ++y)
  {
    const LICE_pixel* pa = ra.row(y);
    const LICE_pixel* pb = rb.row(y);
    int x = 0;
    while (x < w && !((pa[x] ^ pb[x]) & mask)) ++x;
    if (x == w) continue;
    if (top < 0) top = y;
    bottom = y;
    left = std::min(left, x);
    int xr = w - 1;
    while (!((pa[xr] ^ pb[xr]) & mask)) --xr;
    right = std::max(right, xr);
  }
  if (top < 0) return 0;
  coordsOut[0] = left;
  coordsOut[1] = top;
  coordsOut[2] = right - left + 1;
  coordsOut[3] = bottom - top + 1;
  return 1;
}
