// Row kernels: the scalar forms, the SSE2 forms and the choice between levels.
#include "raster/lice_simd.h"

#include <emmintrin.h>

#include "raster/lice_combine.h"

namespace lice_detail::simd
{

// Entry points of lice_simd_avx2.cpp.
void SourceOverRowAVX2(LICE_pixel* d, const LICE_pixel* s, int n);
void SourceAlphaCopyRowAVX2(LICE_pixel* d, const LICE_pixel* s, int n, int ia);
void CopyRowAVX2(LICE_pixel* d, const LICE_pixel* s, LICE_pixel color, int n, int ia);
void HalfMixRowAVX2(LICE_pixel* d, const LICE_pixel* s, int n);
void WordMixColorRowAVX2(LICE_pixel* d, LICE_pixel color, int n, int kind);

namespace
{

struct SSE2
{
  using T = __m128i;
  static constexpr int kPixels = 4;
  static constexpr unsigned kAllMask = 0xFFFFu;
  static T zero() { return _mm_setzero_si128(); }
  static T load(const LICE_pixel* p) { return _mm_loadu_si128((const __m128i*)p); }
  static void store(LICE_pixel* p, T v) { _mm_storeu_si128((__m128i*)p, v); }
  static T set1_32(int v) { return _mm_set1_epi32(v); }
  static T set1_16(int v) { return _mm_set1_epi16((short)v); }
  static T and_(T a, T b) { return _mm_and_si128(a, b); }
  static T or_(T a, T b) { return _mm_or_si128(a, b); }
  static T andnot(T a, T b) { return _mm_andnot_si128(a, b); }
  static T cmpeq8(T a, T b) { return _mm_cmpeq_epi8(a, b); }
  static T cmpeq32(T a, T b) { return _mm_cmpeq_epi32(a, b); }
  static unsigned movemask8(T a) { return (unsigned)_mm_movemask_epi8(a); }
  static T subs_u8(T a, T b) { return _mm_subs_epu8(a, b); }
  static T adds_u8(T a, T b) { return _mm_adds_epu8(a, b); }
  static T add8(T a, T b) { return _mm_add_epi8(a, b); }
  static T sub8(T a, T b) { return _mm_sub_epi8(a, b); }
  static T add16(T a, T b) { return _mm_add_epi16(a, b); }
  static T sub16(T a, T b) { return _mm_sub_epi16(a, b); }
  static T add32(T a, T b) { return _mm_add_epi32(a, b); }
  static T unpacklo8(T a, T b) { return _mm_unpacklo_epi8(a, b); }
  static T unpackhi8(T a, T b) { return _mm_unpackhi_epi8(a, b); }
  static T packus16(T a, T b) { return _mm_packus_epi16(a, b); }
  static T mullo16(T a, T b) { return _mm_mullo_epi16(a, b); }
  static T mulhi_u16(T a, T b) { return _mm_mulhi_epu16(a, b); }
  static T srli16(T a, int n) { return _mm_srli_epi16(a, n); }
  static T srli32(T a, int n) { return _mm_srli_epi32(a, n); }
  // Each pixel's alpha (lane 3 of its four 16-bit lanes) in all four lanes.
  static T alpha16(T a)
  {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, _MM_SHUFFLE(3, 3, 3, 3)),
                               _MM_SHUFFLE(3, 3, 3, 3));
  }
};

#include "raster/lice_simd_kernels.h"

ELevel DetectLevel()
{
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return kAVX2;
  return kSSE2;
}

ELevel& CurrentLevel()
{
  static ELevel level = DetectLevel();
  return level;
}

} // namespace

ELevel BestLevel()
{
  static const ELevel best = DetectLevel();
  return best;
}

ELevel Level()
{
  return CurrentLevel();
}

ELevel SetLevel(ELevel level)
{
  const ELevel previous = CurrentLevel();
  CurrentLevel() = level > BestLevel() ? BestLevel() : level;
  return previous;
}

void SourceOverRow(LICE_pixel* d, const LICE_pixel* s, int n)
{
  switch (Level())
  {
  case kAVX2:
    SourceOverRowAVX2(d, s, n);
    return;
  case kSSE2:
    SourceAlphaRowV<SSE2, false>(d, s, n, 256);
    return;
  default:
    for (int i = 0; i < n; ++i)
      CombineWord<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(d + i, s[i], 256);
  }
}

void SourceAlphaCopyRow(LICE_pixel* d, const LICE_pixel* s, int n, int ia)
{
  if (ia < 256)
  {
    switch (Level())
    {
    case kAVX2:
      SourceAlphaCopyRowAVX2(d, s, n, ia);
      return;
    case kSSE2:
      SourceAlphaRowV<SSE2, true>(d, s, n, ia);
      return;
    default:
      break;
    }
  }
  for (int i = 0; i < n; ++i)
    CombineWord<_LICE_CombinePixelsCopySourceAlphaNoClamp>(d + i, s[i], ia);
}

void CopyRow(LICE_pixel* d, const LICE_pixel* s, int n, int ia)
{
  if (ia > 0 && ia < 256)
  {
    switch (Level())
    {
    case kAVX2:
      CopyRowAVX2(d, s, 0, n, ia);
      return;
    case kSSE2:
      CopyRowV<SSE2>(d, s, 0, n, ia);
      return;
    default:
      break;
    }
  }
  for (int i = 0; i < n; ++i) CombineWord<_LICE_CombinePixelsCopyNoClamp>(d + i, s[i], ia);
}

void CopyColorRow(LICE_pixel* d, LICE_pixel color, int a, int n, int ia)
{
  if (ia > 0 && ia < 256 && a >= 0 && a <= 255)
  {
    const LICE_pixel c = (color & 0x00FFFFFFu) | ((LICE_pixel)a << 24);
    switch (Level())
    {
    case kAVX2:
      CopyRowAVX2(d, nullptr, c, n, ia);
      return;
    case kSSE2:
      CopyRowV<SSE2>(d, nullptr, c, n, ia);
      return;
    default:
      break;
    }
  }
  const int r = (int)LICE_GETR(color), g = (int)LICE_GETG(color), b = (int)LICE_GETB(color);
  for (int i = 0; i < n; ++i)
    _LICE_CombinePixelsCopyNoClamp::doPix((unsigned char*)(d + i), r, g, b, a, ia);
}

void HalfMixRow(LICE_pixel* d, const LICE_pixel* s, int n)
{
  switch (Level())
  {
  case kAVX2:
    HalfMixRowAVX2(d, s, n);
    return;
  case kSSE2:
    WordMixRowV<SSE2, 2>(d, s, 0, n);
    return;
  default:
    for (int i = 0; i < n; ++i) d[i] = HalfMixWord(d[i], s[i]);
  }
}

void WordMixColorRow(LICE_pixel* d, LICE_pixel color, int n, EWordMix kind)
{
  switch (Level())
  {
  case kAVX2:
    WordMixColorRowAVX2(d, color, n, kind);
    return;
  case kSSE2:
    switch (kind)
    {
    case kStore:
      WordMixRowV<SSE2, 0>(d, nullptr, color, n);
      return;
    case kQuarter:
      WordMixRowV<SSE2, 1>(d, nullptr, color, n);
      return;
    case kHalf:
      WordMixRowV<SSE2, 2>(d, nullptr, color, n);
      return;
    case kThreeQuarter:
      WordMixRowV<SSE2, 3>(d, nullptr, color, n);
      return;
    }
    return;
  default:
    for (int i = 0; i < n; ++i)
      d[i] = kind == kStore     ? color
             : kind == kQuarter ? QuarterMixWord(d[i], color)
             : kind == kHalf    ? HalfMixWord(d[i], color)
                                : ThreeQuarterMixWord(d[i], color);
  }
}

} // namespace lice_detail::simd
