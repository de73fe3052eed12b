// lice_lines_internal.h - what the line, circle and curve drawers share: the destination as
// picture rows with a clip box, the solid colour split into channels, and the choice of rule.
#pragma once

#include <cmath>

#include "raster/lice_combine.h"
#include "raster/lice_lines.h"

namespace lice_detail
{

// The colour of a primitive, split once.
struct SolidColor
{
  LICE_pixel word;
  int r, g, b, a;
  explicit SolidColor(LICE_pixel c)
      : word(c), r((int)LICE_GETR(c)), g((int)LICE_GETG(c)), b((int)LICE_GETB(c)),
        a((int)LICE_GETA(c))
  {
  }
};

// Destination rows plus the box drawing is limited to (xlo <= x < xhi, ylo <= y < yhi).
struct Canvas
{
  PixelRows rows;
  int width = 0, height = 0;
  int xlo = 0, ylo = 0, xhi = 0, yhi = 0;

  // False for a missing or empty bitmap.
  bool Open(LICE_IBitmap* bm)
  {
    if (!bm || !bm->getBits() || bm->getWidth() < 1 || bm->getHeight() < 1) return false;
    rows = RowsOf(bm);
    width = xhi = bm->getWidth();
    height = yhi = bm->getHeight();
    xlo = ylo = 0;
    return true;
  }
  bool Inside(int x, int y) const { return x >= xlo && x < xhi && y >= ylo && y < yhi; }
  LICE_pixel* At(int x, int y) const { return rows.row(y) + x; }

  template <class Rule> void Plot(int x, int y, const SolidColor& c, int w) const
  {
    if (Inside(x, y)) Rule::doPix((unsigned char*)At(x, y), c.r, c.g, c.b, c.a, w);
  }
  // Pixels x1..x2 (inclusive) of row y, clipped.
  template <class Rule> void Span(int x1, int x2, int y, const SolidColor& c, int w) const
  {
    if (y < ylo || y >= yhi) return;
    if (x1 < xlo) x1 = xlo;
    if (x2 >= xhi) x2 = xhi - 1;
    LICE_pixel* p = At(0, y);
    for (int x = x1; x <= x2; ++x) Rule::doPix((unsigned char*)(p + x), c.r, c.g, c.b, c.a, w);
  }
};

// The rule for pixels drawn at the call's own weight ia: for copy, 256 stores the colour and
// 128 is the per-channel half mix (D + S) >> 1; otherwise the operation's rule. Returns false,
// without calling fn, when nothing is to be drawn.
template <class Fn> inline bool WithLineRule(int mode, int ia, Fn&& fn)
{
  if (ia < 1) return false;
  if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY)
  {
    if (ia == 256)
      fn(_LICE_CombinePixelsClobberNoClamp{});
    else if (ia == 128)
      fn(_LICE_CombinePixelsHalfMixNoClamp{});
    else
      fn(_LICE_CombinePixelsCopyNoClamp{});
    return true;
  }
  return WithSolidRule(mode, fn);
}

// The rule for pixels drawn at varying coverage weights (anti-aliasing, glyph masks): the
// operation's rule with the weight as ia. Weights of 0 are skipped by the callers.
template <class Fn> inline bool WithWeightedRule(int mode, int ia, Fn&& fn)
{
  if (ia < 1) return false;
  return WithSolidRule(mode, fn);
}

inline bool Finite(double v)
{
  return std::isfinite(v);
}

// Rounding for coordinates that may be huge (truncation is SaturatingInt).
inline int RoundToInt(double v)
{
  return SaturatingInt(std::floor(v + 0.5));
}

} // namespace lice_detail
