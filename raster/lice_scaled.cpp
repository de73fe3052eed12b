// lice_scaled.cpp - LICE_ScaledBlit: nearest, bilinear and box-filtered scaling.
//
// The destination rectangle (dstx, dsty, dstw, dsth) is drawn from the source area
// (srcx, srcy, srcw, srch): destination column j samples the source at srcx + j * srcw / dstw,
// the position of the column's left edge (rows likewise). A destination size whose sign differs
// from the source size's mirrors that axis. The set-up is floating point; the stepping is 16.16
// fixed point (lice_sampling.h), and the roundings of the set-up are part of the result:
//   advance ixadv = floor(srcw / dstw * 65536), start icurx = floor(srcx * 65536);
//   source window: from the near end of the sample span to the far end of the source area,
//   within the bitmap and taken before destination clipping; samples outside it are not drawn
//   and bilinear sampling stops at its last row and column;
//   bilinear filtering at advances of 1.7 or more in both directions becomes a box filter over
//   the 3 x 3 (5 x 5 beyond an advance of 3) source pixels centred on each sample.
// Equal sizes at a whole-pixel origin are handed to LICE_Blit.

#include <algorithm>
#include <cmath>

#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster/lice_sampling.h"

namespace
{

using namespace lice_detail;

// Everything the per-pixel loops need, after clipping.
struct ScaleJob
{
  SourceWindow win;
  PixelRows dest;
  int dstx = 0, dsty = 0, dstw = 0, dsth = 0;
  Fixed curx = 0, cury = 0; // first sample, relative to the window
  Fixed xadv = 0, yadv = 0;
  int ia = 0;
};

// How a sampled source word is put into a destination pixel.
template <class Rule> struct PutRule
{
  static inline void put(LICE_pixel* d, LICE_pixel s, int ia) { CombineWord<Rule>(d, s, ia); }
};
// Plain copy at full weight: the word itself (the plain store rule, a word at a time).
struct PutStore
{
  static inline void put(LICE_pixel* d, LICE_pixel s, int) { *d = s; }
};
// Plain copy at 128: the whole-word half mix.
struct PutHalfMix
{
  static inline void put(LICE_pixel* d, LICE_pixel s, int) { *d = HalfMixWord(*d, s); }
};

template <> struct PutRule<_LICE_CombinePixelsClobberNoClamp> : PutStore
{
};

template <class Put> void NearestRows(const ScaleJob& job)
{
  Fixed cury = job.cury;
  for (int i = 0; i < job.dsth; ++i, cury += job.yadv)
  {
    const Fixed yi = cury >> 16;
    if ((uint64_t)yi >= (uint64_t)job.win.h) continue;
    const LICE_pixel* in = job.win.row(yi);
    LICE_pixel* out = job.dest.row(job.dsty + i) + job.dstx;
    Fixed curx = job.curx;
    for (int j = 0; j < job.dstw; ++j, curx += job.xadv)
    {
      const Fixed xi = curx >> 16;
      if ((uint64_t)xi < (uint64_t)job.win.w) Put::put(out + j, in[xi], job.ia);
    }
  }
}

template <class Put> void BilinearRows(const ScaleJob& job)
{
  const SourceWindow win = job.win;
  const int ia = job.ia, dstw = job.dstw;
  const Fixed xadv = job.xadv, lastCol = win.w - 1;
  Fixed cury = job.cury;
  for (int i = 0; i < job.dsth; ++i, cury += job.yadv)
  {
    const Fixed yi = cury >> 16;
    if ((uint64_t)yi >= (uint64_t)win.h) continue;
    const uint32_t fy = (uint32_t)(cury & 0xFFFF);
    const LICE_pixel* in = win.row(yi);
    const LICE_pixel* below = yi < win.h - 1 ? in + win.step : nullptr;
    LICE_pixel* out = job.dest.row(job.dsty + i) + job.dstx;
    Fixed curx = job.curx;
    for (int j = 0; j < dstw; ++j, curx += xadv)
    {
      const Fixed xi = curx >> 16;
      if ((uint64_t)xi <= (uint64_t)lastCol)
        Put::put(out + j,
                 BilinearInRow(in, below, xi, xi == lastCol, (uint32_t)(curx & 0xFFFF), fy), ia);
    }
  }
}

// The box filter's taps: n x n source pixels centred on the sample, n = 5 when an advance
// exceeds 3 source pixels (0x30000), else 3. Its weight table has 65536 at the centre and
// (A - 1) / distance, limited to 0..1 and scaled by 65536, elsewhere, A being the larger advance
// as its 16.16 integer; at the advances that reach this filter (1.7 and up) every entry is
// 65536. The weighted mean sum(w * c) / sum(w) is therefore exactly the plain mean of the taps.
int BoxTaps(Fixed xadv, Fixed yadv)
{
  return std::max(xadv, yadv) > 0x30000 ? 5 : 3;
}

// ceil(2^18 / d): (n * that) >> 18 is n / d, truncated, for n * d < 2^18 (the error n / 2^18
// stays below 1 / d). Tap sums stay at or below 25 * 255 and counts at or below 25, so the
// products fit 32 bits.
uint32_t Reciprocal(uint32_t d)
{
  return ((1u << 18) + d - 1) / d;
}

// Per-channel sums of tap pixels (each at most 25 * 255, so 16 bits suffice).
struct TapSum
{
#if defined(__SSE2__)
  __m128i acc = _mm_setzero_si128();
  void add(LICE_pixel p)
  {
    acc = _mm_add_epi16(acc, _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)p), _mm_setzero_si128()));
  }
  uint64_t sums() const
  {
    return (uint64_t)_mm_cvtsi128_si64(acc);
  }
#else
  uint64_t acc = 0;
  void add(LICE_pixel p)
  {
    acc += (p & 0xFFu) | ((uint64_t)(p & 0xFF00u) << 8) | ((uint64_t)(p & 0xFF0000u) << 16) |
           ((uint64_t)(p & 0xFF000000u) << 24);
  }
  uint64_t sums() const
  {
    return acc;
  }
#endif
  // Each channel's sum times the reciprocal of the tap count.
  LICE_pixel mean(uint32_t reciprocal) const
  {
    const uint64_t v = sums();
    LICE_pixel out = 0;
    for (int k = 0; k < 4; ++k)
      out |= (LICE_pixel)((((uint32_t)(v >> (16 * k)) & 0xFFFFu) * reciprocal) >> 18) << (8 * k);
    return out;
  }
};

// Each destination pixel whose sample lies inside the window gets the mean of the taps around
// it that lie inside the window, per channel and truncated. R: taps reach R pixels each way.
template <class Put, int R> void BoxRowsOf(const ScaleJob& job)
{
  uint32_t reciprocals[26];
  for (uint32_t d = 1; d < 26; ++d) reciprocals[d] = Reciprocal(d);
  const SourceWindow win = job.win;
  Fixed cury = job.cury;
  for (int i = 0; i < job.dsth; ++i, cury += job.yadv)
  {
    const Fixed cy = cury >> 16;
    if ((uint64_t)cy >= (uint64_t)win.h) continue;
    const int dy0 = (int)std::max<Fixed>(-R, -cy), dy1 = (int)std::min<Fixed>(R, win.h - 1 - cy);
    const LICE_pixel* first = win.row(cy + dy0);
    const int rows = dy1 - dy0 + 1;
    LICE_pixel* out = job.dest.row(job.dsty + i) + job.dstx;
    Fixed curx = job.curx;
    for (int j = 0; j < job.dstw; ++j, curx += job.xadv)
    {
      const Fixed cx = curx >> 16;
      if ((uint64_t)cx >= (uint64_t)win.w) continue;
      TapSum sum;
      int count;
      if (cx >= R && cx < win.w - R)
      {
        // All columns inside: a fixed run per row.
        const LICE_pixel* p = first + cx - R;
        for (int y = 0; y < rows; ++y, p += win.step)
          for (int dx = 0; dx <= 2 * R; ++dx) sum.add(p[dx]);
        count = rows * (2 * R + 1);
      }
      else
      {
        const int dx0 = (int)std::max<Fixed>(-R, -cx);
        const int dx1 = (int)std::min<Fixed>(R, win.w - 1 - cx);
        const LICE_pixel* p = first + cx;
        for (int y = 0; y < rows; ++y, p += win.step)
          for (int dx = dx0; dx <= dx1; ++dx) sum.add(p[dx]);
        count = rows * (dx1 - dx0 + 1);
      }
      Put::put(out + j, sum.mean(reciprocals[count]), job.ia);
    }
  }
}

template <class Put> void BoxRows(const ScaleJob& job)
{
  if (BoxTaps(job.xadv, job.yadv) == 5)
    BoxRowsOf<Put, 2>(job);
  else
    BoxRowsOf<Put, 1>(job);
}

// First column (row) of the source window along one axis: the near end of the span of sample
// positions start + k * advance (k = 0..count), in 16.16 and truncated toward zero:
// (int)((min(0, count * floor(advance * 65536)) + floor(start * 65536)) / 65536), at least 0.
double WindowStart(double start, double adv, int64_t count, int srcSize)
{
  const double near =
      std::min(0.0, (double)count * std::floor(adv * kFixedOne)) + std::floor(start * kFixedOne);
  return (double)TruncClamped(near / kFixedOne, 0, srcSize);
}

// Source-edge trimming of a forward walk along one axis (advance > 0): the leading samples
// before the source are skipped, skip = ceil(-start / advance), and the count is limited to the
// samples before the source's far edge. False when nothing is left.
bool TrimForward(Fixed adv, int srcSize, Fixed& start, int64_t& pos, int64_t& count)
{
  if (adv <= 0) return true;
  if (start < 0)
  {
    const Fixed skip = (adv - 1 - start) / adv;
    if (skip >= count) return false;
    pos += skip;
    count -= skip;
    start += skip * adv;
  }
  const Fixed limit = (Fixed)srcSize << 16;
  if (start >= limit) return false;
  if ((count - 1) * adv + start >= limit) count = (limit - 1 - start) / adv + 1;
  return true;
}

enum ESampling
{
  kNearest,
  kBilinear,
  kBox
};

template <class Put> void RunScale(const ScaleJob& job, ESampling sampling)
{
  switch (sampling)
  {
  case kNearest:
    NearestRows<Put>(job);
    break;
  case kBilinear:
    BilinearRows<Put>(job);
    break;
  case kBox:
    BoxRows<Put>(job);
    break;
  }
}

// Equal sizes at a whole-pixel origin: a plain blit from the origin rounded to the nearest
// pixel (+ 0.5 and down, also left of or above the source).
void SameSizeBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                  int dsth, double srcx, double srcy, float alpha, int mode)
{
  // Origins far outside the source reach nothing; keep the rectangle's integers in range.
  const int64_t sx = TruncClamped(std::floor(srcx + 0.5), INT32_MIN / 2, INT32_MAX / 2);
  const int64_t sy = TruncClamped(std::floor(srcy + 0.5), INT32_MIN / 2, INT32_MAX / 2);
  if (sx >= src->getWidth() || sy >= src->getHeight()) return;
  if ((sx < 0 && (int64_t)dstx - sx >= dest->getWidth()) ||
      (sy < 0 && (int64_t)dsty - sy >= dest->getHeight()))
    return;
  RECT r;
  r.left = (int)sx;
  r.top = (int)sy;
  r.right = (int)std::min<int64_t>(sx + dstw, INT32_MAX);
  r.bottom = (int)std::min<int64_t>(sy + dsth, INT32_MAX);
  LICE_Blit(dest, src, dstx, dsty, &r, alpha, mode);
}

} // namespace

void LICE_ScaledBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                     int dsth, float srcx, float srcy, float srcw, float srch, float alpha,
                     int mode)
{
  if (!dest || !src || !dstw || !dsth || alpha == 0.0f) return;
  if (!AllFinite({srcx, srcy, srcw, srch, alpha})) return;
  if (!dest->getBits() || !src->getBits()) return;
  const int srcW = src->getWidth(), srcH = src->getHeight();
  const int destW = dest->getWidth(), destH = dest->getHeight();
  if (srcW <= 0 || srcH <= 0 || destW <= 0 || destH <= 0) return;

  const bool bilinear = (mode & LICE_COMBINE_FILTER_MASK) == LICE_COMBINE_FILTER_BILINEAR;
  double sx = srcx, sy = srcy, sw = srcw, sh = srch;
  if (dstw > 0 && dsth > 0 && std::fabs(sw - dstw) < 0.001 && std::fabs(sh - dsth) < 0.001 &&
      (!bilinear || (sx - std::floor(sx) < 0.03 && sy - std::floor(sy) < 0.03)))
  {
    SameSizeBlit(dest, src, dstx, dsty, dstw, dsth, sx, sy, alpha, mode);
    return;
  }

  // Mirroring: the rectangle moves to its left (top) edge and the source area is walked from
  // its other end.
  int64_t dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  if (dw < 0)
  {
    dx += dw;
    sx += sw;
    dw = -dw;
    sw = -sw;
  }
  if (dh < 0)
  {
    dy += dh;
    sy += sh;
    dh = -dh;
    sh = -sh;
  }
  const double xadv = sw / (double)dw, yadv = sh / (double)dh;

  // Source window: from the near end of the sample span (truncated) to the far end of the
  // source area (rounded up), within the bitmap. It is taken before destination clipping moves
  // the start, so that a clipped draw shows exactly the pixels of the unclipped one.
  const double left = WindowStart(sx, xadv, dw, srcW), top = WindowStart(sy, yadv, dh, srcH);
  const double right = (double)TruncClamped(std::max(0.0, sw) + sx + 0.999999, 0, srcW);
  const double bottom = (double)TruncClamped(std::max(0.0, sh) + sy + 0.999999, 0, srcH);
  if (left >= right || top >= bottom) return;

  // Destination clipping; the source start follows a clipped left or top edge.
  if (dx < 0)
  {
    sx -= (double)dx * xadv;
    dw += dx;
    dx = 0;
  }
  if (dy < 0)
  {
    sy -= (double)dy * yadv;
    dh += dy;
    dy = 0;
  }
  if (dw <= 0 || dh <= 0 || dx >= destW || dy >= destH) return;
  dw = std::min<int64_t>(dw, destW - dx);
  dh = std::min<int64_t>(dh, destH - dy);

  // Every position the loops reach must stay far inside the fixed-point range.
  if (std::fabs(sx) * kFixedOne + (double)dw * std::fabs(xadv) * kFixedOne >= kFixedLimit ||
      std::fabs(sy) * kFixedOne + (double)dh * std::fabs(yadv) * kFixedOne >= kFixedLimit)
    return;
  const Fixed ixadv = (Fixed)std::floor(xadv * kFixedOne);
  const Fixed iyadv = (Fixed)std::floor(yadv * kFixedOne);
  Fixed icurx = (Fixed)std::floor(sx * kFixedOne);
  Fixed icury = (Fixed)std::floor(sy * kFixedOne);

  if (!TrimForward(ixadv, srcW, icurx, dx, dw) || !TrimForward(iyadv, srcH, icury, dy, dh)) return;

  ScaleJob job;
  job.win = WindowOf(src, (int)left, (int)top, (int)right, (int)bottom);
  job.dest = RowsOf(dest);
  job.dstx = (int)dx;
  job.dsty = (int)dy;
  job.dstw = (int)dw;
  job.dsth = (int)dh;
  job.curx = icurx - ((Fixed)left << 16);
  job.cury = icury - ((Fixed)top << 16);
  job.xadv = ixadv;
  job.yadv = iyadv;
  // A backward walk starts one step in, so that it visits the same pixels as the forward walk
  // over the same area, in reverse: a mirrored draw is the exact mirror image.
  if (ixadv < 0) job.curx += ixadv;
  if (iyadv < 0) job.cury += iyadv;
  job.ia = AlphaWeight(alpha);

  const ESampling sampling = !bilinear ? kNearest : (xadv >= 1.7 && yadv >= 1.7 ? kBox : kBilinear);
  // Plain copies without filter at the full and half weights work on whole words.
  if ((mode & 0x1FFFF) == 0 && job.ia == 256)
  {
    NearestRows<PutStore>(job);
  }
  else if ((mode & 0x1FFFF) == 0 && job.ia == 128)
  {
    NearestRows<PutHalfMix>(job);
  }
  else
  {
    WithBlitRule(mode, job.ia,
                 [&](auto rule) { RunScale<PutRule<decltype(rule)>>(job, sampling); });
  }
}
