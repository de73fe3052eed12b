// lice_sampling.h - source sampling shared by the scaled, rotated, delta and transform blits.
//
// Source positions are 16.16 fixed point: pixel index in the high bits, fraction in the low 16.
// They are carried in 64 bits, which gives the same numbers as 32-bit 16.16 arithmetic wherever
// that does not overflow and keeps absurd inputs (huge scale factors, far-away origins) defined.
// Positions are relative to a source window; a sample whose pixel index lies outside it is not
// drawn. The index is compared unsigned, so negative positions are outside too.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "raster/lice_combine.h"

// The samplers sit in per-pixel loops; the compiler must not leave them out of line.
#define LICE_SAMPLE_INLINE inline __attribute__((always_inline))

namespace lice_detail
{

typedef int64_t Fixed;

constexpr double kFixedOne = 65536.0;
// Bound on the magnitude of any fixed-point value a blit accumulates (2^62): set-ups that could
// go beyond it draw nothing.
constexpr double kFixedLimit = 4611686018427387904.0;

inline bool AllFinite(std::initializer_list<double> values)
{
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

// (int)v with out-of-range values limited to [lo, hi] (v finite).
inline int64_t TruncClamped(double v, int64_t lo, int64_t hi)
{
  if (v <= (double)lo) return lo;
  if (v >= (double)hi) return hi;
  return (int64_t)v;
}

// A rectangle of source pixels: origin is its top-left pixel, picture rows `step` apart
// (negative for a flipped bitmap).
struct SourceWindow
{
  const LICE_pixel* origin = nullptr;
  std::ptrdiff_t step = 0;
  int w = 0;
  int h = 0;
  const LICE_pixel* row(int64_t y) const { return origin + (std::ptrdiff_t)y * step; }
};

// Window [left, right) x [top, bottom) of src; empty windows have w or h of 0.
inline SourceWindow WindowOf(const LICE_IBitmap* src, int left, int top, int right, int bottom)
{
  SourceWindow win;
  if (right <= left || bottom <= top) return win;
  const PixelRows rows = RowsOf(src);
  win.origin = rows.row(top) + left;
  win.step = rows.step;
  win.w = right - left;
  win.h = bottom - top;
  return win;
}

inline bool InWindow(const SourceWindow& win, int64_t xi, int64_t yi)
{
  return (uint64_t)xi < (uint64_t)win.w && (uint64_t)yi < (uint64_t)win.h;
}

// Channels of a word spread into two 64-bit lanes 32 bits apart (blue and red, green and
// alpha), so one multiply weights two channels. A lane holds at most 255 * 65536 < 2^24 and
// a bilinear sum of four weights at most 255 * 65536 as well, so lanes never carry into each
// other: the sums are exactly the per-channel ones.
LICE_SAMPLE_INLINE uint64_t LanesBR(LICE_pixel p)
{
  return (p & 0xFFu) | ((uint64_t)(p & 0xFF0000u) << 16);
}
LICE_SAMPLE_INLINE uint64_t LanesGA(LICE_pixel p)
{
  return ((p >> 8) & 0xFFu) | ((uint64_t)(p & 0xFF000000u) << 8);
}
// Per lane sum >> 16, packed back into a word.
LICE_SAMPLE_INLINE LICE_pixel PackLanes(uint64_t br, uint64_t ga)
{
  return (LICE_pixel)(((br >> 16) & 0xFFu) | ((br >> 32) & 0xFF0000u) | ((ga >> 8) & 0xFF00u) |
                      ((ga >> 24) & 0xFF000000u));
}

// Per channel (p0 * (65536 - f) + p1 * f) >> 16, f = 0..65535.
LICE_SAMPLE_INLINE LICE_pixel Lerp2(LICE_pixel p0, LICE_pixel p1, uint32_t f)
{
  const uint64_t w0 = 65536 - f;
  return PackLanes(LanesBR(p0) * w0 + LanesBR(p1) * f, LanesGA(p0) * w0 + LanesGA(p1) * f);
}

// Four neighbours: p00 the pixel, p01 its right neighbour, p10 the one below, p11 diagonal.
//   fxy = (fx * fy) >> 16;  w11 = fxy, w01 = fx - fxy, w10 = fy - fxy,
//   w00 = 65536 - fx - fy + fxy;  channel = (sum of p * w) >> 16
#if defined(__SSE2__)
// Each weight (at most 65536) is split into w >> 8 and w & 255, which fit the signed 16-bit
// multiplies of _mm_madd_epi16; the pairs of neighbours sit side by side in 16-bit lanes, so
// one madd weights a pair for all four channels, and sum = (sum of high parts << 8) + sum of
// low parts is the exact 32-bit per-channel sum.
LICE_SAMPLE_INLINE __m128i PairLanes(LICE_pixel a, LICE_pixel b)
{
  return _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)a), _mm_cvtsi32_si128((int)b)),
                           _mm_setzero_si128());
}
LICE_SAMPLE_INLINE __m128i PairWeights(uint32_t wa, uint32_t wb)
{
  return _mm_set1_epi32((int)((wb << 16) | wa));
}
LICE_SAMPLE_INLINE LICE_pixel Lerp4(LICE_pixel p00, LICE_pixel p01, LICE_pixel p10, LICE_pixel p11,
                                    uint32_t fx, uint32_t fy)
{
  const uint32_t fxy = (fx * fy) >> 16;
  const uint32_t w11 = fxy, w01 = fx - fxy, w10 = fy - fxy, w00 = 65536 - fx - fy + fxy;
  const __m128i top = PairLanes(p00, p01), bottom = PairLanes(p10, p11);
  const __m128i high = _mm_add_epi32(_mm_madd_epi16(top, PairWeights(w00 >> 8, w01 >> 8)),
                                     _mm_madd_epi16(bottom, PairWeights(w10 >> 8, w11 >> 8)));
  const __m128i low = _mm_add_epi32(_mm_madd_epi16(top, PairWeights(w00 & 255, w01 & 255)),
                                    _mm_madd_epi16(bottom, PairWeights(w10 & 255, w11 & 255)));
  const __m128i c = _mm_srli_epi32(_mm_add_epi32(_mm_slli_epi32(high, 8), low), 16);
  const __m128i words = _mm_packs_epi32(c, c);
  return (LICE_pixel)_mm_cvtsi128_si32(_mm_packus_epi16(words, words));
}
#else
LICE_SAMPLE_INLINE LICE_pixel Lerp4(LICE_pixel p00, LICE_pixel p01, LICE_pixel p10, LICE_pixel p11,
                                    uint32_t fx, uint32_t fy)
{
  const uint32_t fxy = (fx * fy) >> 16;
  const uint64_t w11 = fxy, w01 = fx - fxy, w10 = fy - fxy, w00 = 65536 - fx - fy + fxy;
  return PackLanes(
      LanesBR(p00) * w00 + LanesBR(p01) * w01 + LanesBR(p10) * w10 + LanesBR(p11) * w11,
      LanesGA(p00) * w00 + LanesGA(p01) * w01 + LanesGA(p10) * w10 + LanesGA(p11) * w11);
}
#endif

// Bilinear sample at column xi (inside the window) of a window row `p`, whose next row is
// `below` (null in the window's last row), with fractions fx, fy: in the last column only rows
// are mixed, in the last row only columns, and the last corner is taken as it is.
LICE_SAMPLE_INLINE LICE_pixel BilinearInRow(const LICE_pixel* p, const LICE_pixel* below,
                                            int64_t xi, bool lastCol, uint32_t fx, uint32_t fy)
{
  if (below)
  {
    if (!lastCol) return Lerp4(p[xi], p[xi + 1], below[xi], below[xi + 1], fx, fy);
    return Lerp2(p[xi], below[xi], fy);
  }
  if (!lastCol) return Lerp2(p[xi], p[xi + 1], fx);
  return p[xi];
}

// The same at pixel (xi, yi) of the window (inside it).
LICE_SAMPLE_INLINE LICE_pixel BilinearAt(const SourceWindow& win, int64_t xi, int64_t yi,
                                         uint32_t fx, uint32_t fy)
{
  const LICE_pixel* p = win.row(yi);
  return BilinearInRow(p, yi == win.h - 1 ? nullptr : p + win.step, xi, xi == win.w - 1, fx, fy);
}

} // namespace lice_detail
