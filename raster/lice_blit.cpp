// LICE_Blit, LICE_HalveBlitAA and LICE_Blur.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster/lice_simd.h"

using namespace lice_detail;

namespace
{

// True when the rows [first, first + (rows - 1) * step + w) of two pixel areas share memory
// (addresses compared as integers: the areas may belong to different buffers).
bool AreasOverlap(const LICE_pixel* a, std::ptrdiff_t aStep, const LICE_pixel* b,
                  std::ptrdiff_t bStep, int w, int rows)
{
  auto range = [w, rows](const LICE_pixel* p, std::ptrdiff_t step, uintptr_t* lo, uintptr_t* hi)
  {
    const uintptr_t first = (uintptr_t)p, last = (uintptr_t)(p + (std::ptrdiff_t)(rows - 1) * step);
    *lo = std::min(first, last);
    *hi = std::max(first, last) + (uintptr_t)w * sizeof(LICE_pixel);
  };
  uintptr_t alo, ahi, blo, bhi;
  range(a, aStep, &alo, &ahi);
  range(b, bStep, &blo, &bhi);
  return alo < bhi && blo < ahi;
}

// One row of a blit under a combine rule; the common rules go to the vector kernels.
template <class Rule> inline void BlitRow(LICE_pixel* d, const LICE_pixel* s, int n, int ia)
{
  if constexpr (std::is_same_v<Rule, _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>)
    simd::SourceOverRow(d, s, n);
  else if constexpr (std::is_same_v<Rule, _LICE_CombinePixelsCopySourceAlphaNoClamp>)
    simd::SourceAlphaCopyRow(d, s, n, ia);
  else if constexpr (std::is_same_v<Rule, _LICE_CombinePixelsCopyNoClamp>)
    simd::CopyRow(d, s, n, ia);
  else
    for (int x = 0; x < n; ++x) CombineWord<Rule>(d + x, s[x], ia);
}

} // namespace

void LICE_Blit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch, float alpha, int mode)
{
  // Right and bottom saturate instead of wrapping for rectangles near the int range.
  auto edge = [](int origin, int size)
  {
    const long long e = (long long)origin + size;
    return (int32_t)std::clamp<long long>(e, INT32_MIN, INT32_MAX);
  };
  const RECT r = {srcx, srcy, edge(srcx, srcw), edge(srcy, srch)};
  LICE_Blit(dest, src, dstx, dsty, &r, alpha, mode);
}

void LICE_Blit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect,
               float alpha, int mode)
{
  if (!dest || !src || alpha == 0.0f) return;
  if (!dest->getBits() || !src->getBits()) return;

  // Source rectangle, then destination clipping (64-bit: origins may be anywhere).
  long long left = 0, top = 0, right = src->getWidth(), bottom = src->getHeight();
  long long dx = dstx, dy = dsty;
  if (srcrect)
  {
    left = srcrect->left, top = srcrect->top;
    right = std::min<long long>(srcrect->right, right);
    bottom = std::min<long long>(srcrect->bottom, bottom);
    if (left < 0) dx -= left, left = 0;
    if (top < 0) dy -= top, top = 0;
  }
  const long long dw = dest->getWidth(), dh = dest->getHeight();
  const long long dx0 = std::max(dx, 0LL), dy0 = std::max(dy, 0LL);
  if (dx0 >= dw || dy0 >= dh) return;
  const long long sx0 = left - std::min(dx, 0LL), sy0 = top - std::min(dy, 0LL);
  if (sx0 >= right || sy0 >= bottom) return;
  const int w = (int)(std::min(dw - dx0 + sx0, right) - sx0);
  const int h = (int)(std::min(dh - dy0 + sy0, bottom) - sy0);
  if (w <= 0 || h <= 0) return;

  const PixelRows drows = RowsOf(dest), srows = RowsOf(src);
  LICE_pixel* d0 = drows.row((int)dy0) + dx0;
  const LICE_pixel* s0 = srows.row((int)sy0) + sx0;
  std::ptrdiff_t dstep = drows.step, sstep = srows.step;

  const bool overlap = AreasOverlap(d0, dstep, s0, sstep, w, h);
  const bool chanCopy = (mode & 0xF0) == 0xF0;
  const int rule = mode & LICE_COMBINE_RULE_MASK;
  if (!chanCopy && rule == LICE_COMBINE_COPY && alpha == 1.0f)
  {
    // Row moves; when a bitmap is blitted onto itself, walk the rows so that no source row is
    // overwritten before it is read: backwards when the destination lies further along the
    // walk (a flipped bitmap walks memory downwards).
    if (overlap && ((uintptr_t)d0 > (uintptr_t)s0) == (dstep > 0))
    {
      for (int y = h - 1; y >= 0; --y) memmove(d0 + y * dstep, s0 + y * sstep, (size_t)w * 4);
    }
    else
    {
      for (int y = 0; y < h; ++y) memmove(d0 + y * dstep, s0 + y * sstep, (size_t)w * 4);
    }
    return;
  }

  // The per-pixel paths read source pixels after writing earlier ones: an overlapping source
  // is copied first.
  std::vector<LICE_pixel> copy;
  if (overlap)
  {
    copy.resize((size_t)w * h);
    for (int y = 0; y < h; ++y) memcpy(copy.data() + (size_t)y * w, s0 + y * sstep, (size_t)w * 4);
    s0 = copy.data();
    sstep = w;
  }

  if (chanCopy)
  {
    const int si = mode & 3, di = (mode >> 2) & 3;
    for (int y = 0; y < h; ++y)
    {
      const unsigned char* s = (const unsigned char*)(s0 + y * sstep);
      unsigned char* d = (unsigned char*)(d0 + y * dstep);
      for (int x = 0; x < w; ++x) d[x * 4 + di] = s[x * 4 + si];
    }
    return;
  }

  if (rule == LICE_COMBINE_COPY && alpha == 0.5f)
  {
    for (int y = 0; y < h; ++y) simd::HalfMixRow(d0 + y * dstep, s0 + y * sstep, w);
    return;
  }

  const int ia = AlphaWeight(alpha);
  WithBlitRule(mode, ia,
               [&](auto r)
               {
                 using Rule = decltype(r);
                 for (int y = 0; y < h; ++y) BlitRow<Rule>(d0 + y * dstep, s0 + y * sstep, w, ia);
               });
}

void LICE_HalveBlitAA(LICE_IBitmap* dest, const LICE_IBitmap* src)
{
  if (!dest || !src || !dest->getBits() || !src->getBits()) return;
  const int w = std::min(dest->getWidth(), src->getWidth() / 2);
  const int h = std::min(dest->getHeight(), src->getHeight() / 2);
  if (w <= 0 || h <= 0) return;
  const PixelRows drows = RowsOf(dest), srows = RowsOf(src);
  // In place (dest == src) works too: output (x, y) is written after its inputs at
  // (2x.., 2y..) are read, and no later output reads it.
  for (int y = 0; y < h; ++y)
  {
    const LICE_pixel* s1 = srows.row(y * 2);
    const LICE_pixel* s2 = srows.row(y * 2 + 1);
    LICE_pixel* d = drows.row(y);
    for (int x = 0; x < w; ++x)
    {
      // P = sum of the four ((p >> 2) & 0x3F3F3F3F)
      d[x] = ((s1[x * 2] >> 2) & 0x3F3F3F3Fu) + ((s1[x * 2 + 1] >> 2) & 0x3F3F3F3Fu) +
             ((s2[x * 2] >> 2) & 0x3F3F3F3Fu) + ((s2[x * 2 + 1] >> 2) & 0x3F3F3F3Fu);
    }
  }
}

namespace
{

// One blurred row: out = P/2 + N/8 for each neighbour inside the rectangle, the opposite
// neighbour counting N/4 where one is missing (whole-word shifts, low bits lost).
void BlurRow(LICE_pixel* out, const LICE_pixel* above, const LICE_pixel* cur,
             const LICE_pixel* below, int w)
{
  auto eighth = [](LICE_pixel p) { return (p >> 3) & 0x1F1F1F1Fu; };
  auto quarter = [](LICE_pixel p) { return (p >> 2) & 0x3F3F3F3Fu; };
  for (int x = 0; x < w; ++x)
  {
    LICE_pixel v = (cur[x] >> 1) & 0x7F7F7F7Fu;
    if (x == 0)
      v += quarter(cur[1]);
    else if (x == w - 1)
      v += quarter(cur[x - 1]);
    else
      v += eighth(cur[x - 1]) + eighth(cur[x + 1]);
    if (!above)
      v += quarter(below[x]);
    else if (!below)
      v += quarter(above[x]);
    else
      v += eighth(above[x]) + eighth(below[x]);
    out[x] = v;
  }
}

} // namespace

void LICE_Blur(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch)
{
  if (!dest || !src || !dest->getBits() || !src->getBits()) return;
  // Clip the source rectangle to the source, then the destination position to the destination,
  // moving the other side along.
  long long sx = srcx, sy = srcy, w = srcw, h = srch, dx = dstx, dy = dsty;
  if (sx < 0) w += sx, dx -= sx, sx = 0;
  if (sy < 0) h += sy, dy -= sy, sy = 0;
  w = std::min(w, src->getWidth() - sx);
  h = std::min(h, src->getHeight() - sy);
  if (dx < 0) w += dx, sx -= dx, dx = 0;
  if (dy < 0) h += dy, sy -= dy, dy = 0;
  w = std::min(w, dest->getWidth() - dx);
  h = std::min(h, dest->getHeight() - dy);
  if (w < 2 || h < 2) return;

  const PixelRows drows = RowsOf(dest), srows = RowsOf(src);
  LICE_pixel* d0 = drows.row((int)dy) + dx;
  const LICE_pixel* s0 = srows.row((int)sy) + sx;
  std::ptrdiff_t sstep = srows.step;

  // Blurring a bitmap onto itself: every output must see unblurred input, so an overlapping
  // source is read from a copy.
  std::vector<LICE_pixel> copy;
  if (AreasOverlap(d0, drows.step, s0, sstep, (int)w, (int)h))
  {
    copy.resize((size_t)(w * h));
    for (long long y = 0; y < h; ++y) memcpy(copy.data() + y * w, s0 + y * sstep, (size_t)w * 4);
    s0 = copy.data();
    sstep = (std::ptrdiff_t)w;
  }
  for (int y = 0; y < (int)h; ++y)
  {
    const LICE_pixel* cur = s0 + y * sstep;
    BlurRow(d0 + y * drows.step, y > 0 ? cur - sstep : nullptr, cur,
            y + 1 < h ? cur + sstep : nullptr, (int)w);
  }
}
