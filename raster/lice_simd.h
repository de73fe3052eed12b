// Row kernels of the hottest combine rules, vectorised where the processor allows.
//
// Each kernel gives exactly the words the scalar rule of lice_combine.h gives for every pixel of
// the row (the tests hold them against each other on every input). The choice between the
// AVX2, SSE2 and scalar forms is made once per process from the processor's features;
// SetLevel forces a level for tests and benchmarks.
#pragma once

#include "raster/lice.h"

namespace lice_detail::simd
{

enum ELevel
{
  kScalar = 0,
  kSSE2 = 1,
  kAVX2 = 2
};

// The level in use, and the best the processor offers.
ELevel Level();
ELevel BestLevel();
// Forces a level (limited to BestLevel()); returns the previous one.
ELevel SetLevel(ELevel level);

// d = _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp of s, pixel by pixel.
void SourceOverRow(LICE_pixel* d, const LICE_pixel* s, int n);
// d = _LICE_CombinePixelsCopySourceAlphaNoClamp of s at weight ia (1..256).
void SourceAlphaCopyRow(LICE_pixel* d, const LICE_pixel* s, int n, int ia);
// d = _LICE_CombinePixelsCopyNoClamp of s at weight ia (1..255).
void CopyRow(LICE_pixel* d, const LICE_pixel* s, int n, int ia);
// d = the whole-word half mix of d and s.
void HalfMixRow(LICE_pixel* d, const LICE_pixel* s, int n);
// The whole-word rules of a solid colour: kind 0 stores the colour, 1, 2 and 3 are the quarter,
// half and three-quarter mixes.
enum EWordMix
{
  kStore = 0,
  kQuarter = 1,
  kHalf = 2,
  kThreeQuarter = 3
};
void WordMixColorRow(LICE_pixel* d, LICE_pixel color, int n, EWordMix kind);
// d = _LICE_CombinePixelsCopyNoClamp of the colour (r, g, b, a) at weight ia (1..255).
void CopyColorRow(LICE_pixel* d, LICE_pixel color, int a, int n, int ia);

} // namespace lice_detail::simd
