// The AVX2 forms of the row kernels. Only this file is compiled for AVX2 and only through the
// functions below, which lice_simd.cpp calls after checking the processor.
#include <immintrin.h>

#include "raster/lice_combine.h"
#include "raster/lice_simd.h"

#pragma GCC push_options
#pragma GCC target("avx2")

namespace lice_detail::simd
{
namespace
{

struct AVX2
{
  using T = __m256i;
  static constexpr int kPixels = 8;
  static constexpr unsigned kAllMask = 0xFFFFFFFFu;
  static T zero() { return _mm256_setzero_si256(); }
  static T load(const LICE_pixel* p) { return _mm256_loadu_si256((const __m256i*)p); }
  static void store(LICE_pixel* p, T v) { _mm256_storeu_si256((__m256i*)p, v); }
  static T set1_32(int v) { return _mm256_set1_epi32(v); }
  static T set1_16(int v) { return _mm256_set1_epi16((short)v); }
  static T and_(T a, T b) { return _mm256_and_si256(a, b); }
  static T or_(T a, T b) { return _mm256_or_si256(a, b); }
  static T andnot(T a, T b) { return _mm256_andnot_si256(a, b); }
  static T cmpeq8(T a, T b) { return _mm256_cmpeq_epi8(a, b); }
  static T cmpeq32(T a, T b) { return _mm256_cmpeq_epi32(a, b); }
  static unsigned movemask8(T a) { return (unsigned)_mm256_movemask_epi8(a); }
  static T subs_u8(T a, T b) { return _mm256_subs_epu8(a, b); }
  static T adds_u8(T a, T b) { return _mm256_adds_epu8(a, b); }
  static T add8(T a, T b) { return _mm256_add_epi8(a, b); }
  static T sub8(T a, T b) { return _mm256_sub_epi8(a, b); }
  static T add16(T a, T b) { return _mm256_add_epi16(a, b); }
  static T sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
  static T add32(T a, T b) { return _mm256_add_epi32(a, b); }
  // Unpacking and packing work within each 128-bit half, so a pack undoes an unpack.
  static T unpacklo8(T a, T b) { return _mm256_unpacklo_epi8(a, b); }
  static T unpackhi8(T a, T b) { return _mm256_unpackhi_epi8(a, b); }
  static T packus16(T a, T b) { return _mm256_packus_epi16(a, b); }
  static T mullo16(T a, T b) { return _mm256_mullo_epi16(a, b); }
  static T mulhi_u16(T a, T b) { return _mm256_mulhi_epu16(a, b); }
  static T srli16(T a, int n) { return _mm256_srli_epi16(a, n); }
  static T srli32(T a, int n) { return _mm256_srli_epi32(a, n); }
  static T alpha16(T a)
  {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, _MM_SHUFFLE(3, 3, 3, 3)),
                                  _MM_SHUFFLE(3, 3, 3, 3));
  }
};

#include "raster/lice_simd_kernels.h"

} // namespace

void SourceOverRowAVX2(LICE_pixel* d, const LICE_pixel* s, int n)
{
  SourceAlphaRowV<AVX2, false>(d, s, n, 256);
}
void SourceAlphaCopyRowAVX2(LICE_pixel* d, const LICE_pixel* s, int n, int ia)
{
  SourceAlphaRowV<AVX2, true>(d, s, n, ia);
}
void CopyRowAVX2(LICE_pixel* d, const LICE_pixel* s, LICE_pixel color, int n, int ia)
{
  CopyRowV<AVX2>(d, s, color, n, ia);
}
void HalfMixRowAVX2(LICE_pixel* d, const LICE_pixel* s, int n)
{
  WordMixRowV<AVX2, 2>(d, s, 0, n);
}
void WordMixColorRowAVX2(LICE_pixel* d, LICE_pixel color, int n, int kind)
{
  switch (kind)
  {
  case 0:
    WordMixRowV<AVX2, 0>(d, nullptr, color, n);
    break;
  case 1:
    WordMixRowV<AVX2, 1>(d, nullptr, color, n);
    break;
  case 2:
    WordMixRowV<AVX2, 2>(d, nullptr, color, n);
    break;
  default:
    WordMixRowV<AVX2, 3>(d, nullptr, color, n);
    break;
  }
}

} // namespace lice_detail::simd

#pragma GCC pop_options
