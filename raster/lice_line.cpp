// lice_line.cpp - integer and float lines, dashed lines, line clipping and rectangle outlines.
//
// LICE_Line clips, then draws in one of three loops: straight runs, exact diagonals and the
// general case. The general loop walks from both ends towards the middle, so each error step
// serves two pixels; its anti-aliased form splits each step's coverage between the pixel on
// the line's integer position and its neighbour on the minor axis (Wu's method), with the error
// kept in 16.16 fixed point.
#include <cmath>
#include <cstdlib>

#include "raster/lice_lines_internal.h"

namespace
{

using namespace lice_detail;

// Whole-word mixes as rules, for plain copies at exactly 1/4, 1/2 and 3/4 alpha.
struct WordHalfMix
{
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int)
  {
    *(LICE_pixel*)d = HalfMixWord(*(LICE_pixel*)d, LICE_RGBA(r, g, b, a));
  }
};
struct WordQuarterMix
{
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int)
  {
    *(LICE_pixel*)d = QuarterMixWord(*(LICE_pixel*)d, LICE_RGBA(r, g, b, a));
  }
};
struct WordThreeQuarterMix
{
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int)
  {
    *(LICE_pixel*)d = ThreeQuarterMixWord(*(LICE_pixel*)d, LICE_RGBA(r, g, b, a));
  }
};

// Outcode bits: 1 left of the box, 2 at or right of xhi, 4 above, 8 at or below yhi.
template <class T> int OutCode(T x, T y, T xlo, T ylo, T xhi, T yhi, bool inclusive)
{
  int code = 0;
  if (x < xlo) code |= 1;
  if (inclusive ? x > xhi : x >= xhi) code |= 2;
  if (y < ylo) code |= 4;
  if (inclusive ? y > yhi : y >= yhi) code |= 8;
  return code;
}

// A double converted to 64 bits without overflow (crossings lie between the ends anyway).
long long ToLL(double v)
{
  if (!(v == v)) return 0;
  return v > 4.0e18 ? 4000000000000000000LL : (v < -4.0e18 ? -4000000000000000000LL : (long long)v);
}

// Moves one out-of-box end after another to the box edge, up to 32 rounds. Integer form: the
// crossing is computed at the exclusive edge and the end lands on the last row or column
// inside. 64-bit throughout, so no difference of two ints can overflow.
bool ClipInt(long long& x1, long long& y1, long long& x2, long long& y2, long long xlo,
             long long ylo, long long xhi, long long yhi)
{
  int c1 = OutCode(x1, y1, xlo, ylo, xhi, yhi, false);
  int c2 = OutCode(x2, y2, xlo, ylo, xhi, yhi, false);
  for (int round = 0; round < 32; ++round)
  {
    if (!(c1 | c2)) return true;
    if (c1 & c2) return false;
    const bool first = c1 != 0;
    const int code = first ? c1 : c2;
    const double dx = (double)(x2 - x1), dy = (double)(y2 - y1);
    long long x, y;
    if (code & 8)
    {
      x = x1 + ToLL((double)(yhi - y1) * dx / dy), y = yhi - 1;
    }
    else if (code & 4)
    {
      x = x1 + ToLL((double)(ylo - y1) * dx / dy), y = ylo;
    }
    else if (code & 2)
    {
      y = y1 + ToLL(dy * (double)(xhi - x1) / dx), x = xhi - 1;
    }
    else
    {
      y = y1 + ToLL(dy * (double)(xlo - x1) / dx), x = xlo;
    }
    if (first)
    {
      x1 = x, y1 = y;
      c1 = OutCode(x1, y1, xlo, ylo, xhi, yhi, false);
    }
    else
    {
      x2 = x, y2 = y;
      c2 = OutCode(x2, y2, xlo, ylo, xhi, yhi, false);
    }
  }
  return false;
}

// Float form against an inclusive box, with exact crossings.
bool ClipFloat(double& x1, double& y1, double& x2, double& y2, double xlo, double ylo, double xhi,
               double yhi)
{
  int c1 = OutCode(x1, y1, xlo, ylo, xhi, yhi, true);
  int c2 = OutCode(x2, y2, xlo, ylo, xhi, yhi, true);
  for (int round = 0; round < 32; ++round)
  {
    if (!(c1 | c2)) return true;
    if (c1 & c2) return false;
    const bool first = c1 != 0;
    const int code = first ? c1 : c2;
    const double dx = x2 - x1, dy = y2 - y1;
    double x, y;
    if (code & 8)
    {
      x = x1 + (yhi - y1) * dx / dy, y = yhi;
    }
    else if (code & 4)
    {
      x = x1 + (ylo - y1) * dx / dy, y = ylo;
    }
    else if (code & 2)
    {
      y = y1 + dy * (xhi - x1) / dx, x = xhi;
    }
    else
    {
      y = y1 + dy * (xlo - x1) / dx, x = xlo;
    }
    if (first)
    {
      x1 = x, y1 = y;
      c1 = OutCode(x1, y1, xlo, ylo, xhi, yhi, true);
    }
    else
    {
      x2 = x, y2 = y;
      c2 = OutCode(x2, y2, xlo, ylo, xhi, yhi, true);
    }
  }
  return false;
}

// A horizontal or vertical run, both ends inside.
template <class Rule>
void StraightRun(const Canvas& cv, int x1, int y1, int x2, int y2, const SolidColor& c, int ia)
{
  if (y1 == y2)
  {
    if (x1 > x2) std::swap(x1, x2);
    LICE_pixel* p = cv.At(x1, y1);
    for (int n = x2 - x1; n >= 0; --n, ++p) Rule::doPix((unsigned char*)p, c.r, c.g, c.b, c.a, ia);
  }
  else
  {
    if (y1 > y2) std::swap(y1, y2);
    for (int y = y1; y <= y2; ++y)
      Rule::doPix((unsigned char*)cv.At(x1, y), c.r, c.g, c.b, c.a, ia);
  }
}

// |dx| == |dy|: the centre pixels, and for anti-aliasing the two pixels filling each step.
template <class Centre, class Step>
void Diagonal(const Canvas& cv, int x1, int y1, int x2, int y2, const SolidColor& c, int wCentre,
              int wStep, bool aa)
{
  const int sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
  const int n = std::abs(x2 - x1);
  for (int i = 0; i <= n; ++i)
  {
    const int x = x1 + i * sx, y = y1 + i * sy;
    Centre::doPix((unsigned char*)cv.At(x, y), c.r, c.g, c.b, c.a, wCentre);
    if (aa && i < n)
    {
      Step::doPix((unsigned char*)cv.At(x + sx, y), c.r, c.g, c.b, c.a, wStep);
      Step::doPix((unsigned char*)cv.At(x, y + sy), c.r, c.g, c.b, c.a, wStep);
    }
  }
}

// Positions along the major axis (m) and the minor axis (n), mapped back to x and y.
struct Axes
{
  bool xMajor;
  LICE_pixel* At(const Canvas& cv, int m, int n) const
  {
    return xMajor ? cv.At(m, n) : cv.At(n, m);
  }
};

// The general case without anti-aliasing, drawn from both ends towards the middle.
// s = |minor delta| / d in 16.16; after each step both ends take a minor step (towards each
// other) when s + e >= 0x8000, and e becomes e + s - 65536, else e + s.
template <class Rule>
void GeneralLine(const Canvas& cv, int x1, int y1, int x2, int y2, const SolidColor& c, int ia)
{
  const int dx = x2 - x1, dy = y2 - y1;
  const Axes ax{std::abs(dx) > std::abs(dy)};
  int ma = ax.xMajor ? x1 : y1, na = ax.xMajor ? y1 : x1;
  int mb = ax.xMajor ? x2 : y2, nb = ax.xMajor ? y2 : x2;
  const int d = std::abs(ax.xMajor ? dx : dy), dn = std::abs(ax.xMajor ? dy : dx);
  const int sm = (ax.xMajor ? dx : dy) > 0 ? 1 : -1, sn = (ax.xMajor ? dy : dx) > 0 ? 1 : -1;
  const int s = (int)((double)dn / d * 65536.0);
  int e = 0;
  for (int steps = (d + 1) / 2; steps > 0; --steps)
  {
    Rule::doPix((unsigned char*)ax.At(cv, ma, na), c.r, c.g, c.b, c.a, ia);
    Rule::doPix((unsigned char*)ax.At(cv, mb, nb), c.r, c.g, c.b, c.a, ia);
    ma += sm, mb -= sm;
    if (s + e >= 0x8000)
    {
      na += sn, nb -= sn;
      e += s - 65536;
    }
    else
    {
      e += s;
    }
  }
  if (!(d & 1)) Rule::doPix((unsigned char*)ax.At(cv, ma, na), c.r, c.g, c.b, c.a, ia);
}

// The general case with anti-aliasing (Wu). The ends get the full weight; every other pixel
// position along the major axis splits it: with f the top 8 bits of the 16.16 fraction of the
// exact minor position, the pixel at the integer position gets (255 - f) * ia / 256 and its
// neighbour in the direction of travel f * ia / 256 (255 - f and f at ia = 256).
template <class Rule>
void WuLine(const Canvas& cv, int x1, int y1, int x2, int y2, const SolidColor& c, int ia)
{
  const int dx = x2 - x1, dy = y2 - y1;
  const Axes ax{std::abs(dx) > std::abs(dy)};
  int ma = ax.xMajor ? x1 : y1, na = ax.xMajor ? y1 : x1;
  int mb = ax.xMajor ? x2 : y2, nb = ax.xMajor ? y2 : x2;
  const int d = std::abs(ax.xMajor ? dx : dy), dn = std::abs(ax.xMajor ? dy : dx);
  const int sm = (ax.xMajor ? dx : dy) > 0 ? 1 : -1, sn = (ax.xMajor ? dy : dx) > 0 ? 1 : -1;
  const int s = (int)((double)dn / d * 65536.0);
  auto weights = [ia](int f, int& wMain, int& wSide)
  {
    if (ia == 256)
    {
      wMain = 255 - f, wSide = f;
    }
    else
    {
      wMain = (255 - f) * ia / 256, wSide = f * ia / 256;
    }
  };
  auto plot = [&](int m, int n, int w)
  {
    if (w > 0) Rule::doPix((unsigned char*)ax.At(cv, m, n), c.r, c.g, c.b, c.a, w);
  };
  plot(ma, na, ia);
  plot(mb, nb, ia);
  // Neighbours on the minor axis may lie one pixel beyond the clipped line's box.
  auto plotSide = [&](int m, int n, int w)
  {
    const bool inside = ax.xMajor ? cv.Inside(m, n) : cv.Inside(n, m);
    if (inside) plot(m, n, w);
  };
  int e = 0, wMain = 0, wSide = 0;
  const int inner = d - 1;
  for (int steps = inner / 2; steps > 0; --steps)
  {
    ma += sm, mb -= sm;
    if (s + e >= 65536)
    {
      na += sn, nb -= sn;
      e += s - 65536;
    }
    else
    {
      e += s;
    }
    weights(e >> 8, wMain, wSide);
    plot(ma, na, wMain);
    plotSide(ma, na + sn, wSide);
    plot(mb, nb, wMain);
    plotSide(mb, nb - sn, wSide);
  }
  if (inner & 1)
  {
    ma += sm;
    if (s + e >= 65536)
    {
      na += sn;
      e += s - 65536;
    }
    else
    {
      e += s;
    }
    weights(e >> 8, wMain, wSide);
    plot(ma, na, wMain);
    plotSide(ma, na + sn, wSide);
  }
}

void DrawClippedLine(const Canvas& cv, int x1, int y1, int x2, int y2, const SolidColor& c,
                     float alpha, int ia, int mode, bool aa)
{
  const bool copy = (mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY;
  const int adx = std::abs(x2 - x1), ady = std::abs(y2 - y1);
  if (adx == 0 || ady == 0)
  {
    if (copy && alpha == 1.0f)
      StraightRun<_LICE_CombinePixelsClobberNoClamp>(cv, x1, y1, x2, y2, c, ia);
    else if (copy && alpha == 0.5f)
      StraightRun<WordHalfMix>(cv, x1, y1, x2, y2, c, ia);
    else if (copy && alpha == 0.25f)
      StraightRun<WordQuarterMix>(cv, x1, y1, x2, y2, c, ia);
    else if (copy && alpha == 0.75f)
      StraightRun<WordThreeQuarterMix>(cv, x1, y1, x2, y2, c, ia);
    else
      WithLineRule(mode, ia,
                   [&](auto rule) { StraightRun<decltype(rule)>(cv, x1, y1, x2, y2, c, ia); });
  }
  else if (adx == ady)
  {
    if (!aa)
    {
      WithLineRule(mode, ia,
                   [&](auto rule) {
                     Diagonal<decltype(rule), decltype(rule)>(cv, x1, y1, x2, y2, c, ia, ia, false);
                   });
    }
    else if (copy && alpha == 1.0f)
    {
      Diagonal<WordThreeQuarterMix, WordQuarterMix>(cv, x1, y1, x2, y2, c, 192, 64, true);
    }
    else
    {
      WithWeightedRule(mode, ia,
                       [&](auto rule) {
                         Diagonal<decltype(rule), decltype(rule)>(cv, x1, y1, x2, y2, c, ia * 3 / 4,
                                                                  ia / 4, true);
                       });
    }
  }
  else if (!aa)
  {
    WithLineRule(mode, ia,
                 [&](auto rule) { GeneralLine<decltype(rule)>(cv, x1, y1, x2, y2, c, ia); });
  }
  else
  {
    WithWeightedRule(mode, ia,
                     [&](auto rule) { WuLine<decltype(rule)>(cv, x1, y1, x2, y2, c, ia); });
  }
}

// Anti-aliased float line, already clipped to the bitmap: along the major axis from the first
// whole position at or after the start to the last at or before the end, the minor position
// carried in 16.16.
template <class Rule>
void FloatWuLine(const Canvas& cv, double x1, double y1, double x2, double y2, const SolidColor& c,
                 int ia)
{
  const bool xMajor = std::fabs(x2 - x1) >= std::fabs(y2 - y1);
  double m1 = xMajor ? x1 : y1, n1 = xMajor ? y1 : x1, m2 = xMajor ? x2 : y2, n2 = xMajor ? y2 : x2;
  if (m1 > m2) std::swap(m1, m2), std::swap(n1, n2);
  const double slope = m2 > m1 ? (n2 - n1) / (m2 - m1) : 0.0;
  const int mStart = (int)std::ceil(m1), mEnd = (int)std::floor(m2);
  if (mStart > mEnd) return;
  long long pos = (long long)std::floor((n1 + (mStart - m1) * slope) * 65536.0);
  const long long step = (long long)std::floor(slope * 65536.0);
  const Axes ax{xMajor};
  for (int m = mStart; m <= mEnd; ++m, pos += step)
  {
    const int n = (int)(pos >> 16), f = (int)((pos >> 8) & 0xFF);
    const int wMain = ia == 256 ? 255 - f : (255 - f) * ia / 256;
    const int wSide = ia == 256 ? f : f * ia / 256;
    const bool mainIn = xMajor ? cv.Inside(m, n) : cv.Inside(n, m);
    const bool sideIn = xMajor ? cv.Inside(m, n + 1) : cv.Inside(n + 1, m);
    if (mainIn && wMain > 0)
      Rule::doPix((unsigned char*)ax.At(cv, m, n), c.r, c.g, c.b, c.a, wMain);
    if (sideIn && wSide > 0)
      Rule::doPix((unsigned char*)ax.At(cv, m, n + 1), c.r, c.g, c.b, c.a, wSide);
  }
}

// Saturating int addition for rectangle corners.
int AddSat(int a, int b)
{
  const long long v = (long long)a + b;
  return v > 2147483647LL ? 2147483647 : (v < -2147483647LL - 1 ? -2147483647 - 1 : (int)v);
}

} // namespace

bool LICE_ClipLine(int* pX1, int* pY1, int* pX2, int* pY2, int xLo, int yLo, int xHi, int yHi)
{
  long long x1 = *pX1, y1 = *pY1, x2 = *pX2, y2 = *pY2;
  if (!ClipInt(x1, y1, x2, y2, xLo, yLo, xHi, yHi)) return false;
  *pX1 = (int)x1, *pY1 = (int)y1, *pX2 = (int)x2, *pY2 = (int)y2;
  return true;
}

bool LICE_ClipFLine(float* px1, float* py1, float* px2, float* py2, float xlo, float ylo, float xhi,
                    float yhi)
{
  double x1 = *px1, y1 = *py1, x2 = *px2, y2 = *py2;
  if (!Finite(x1) || !Finite(y1) || !Finite(x2) || !Finite(y2)) return false;
  if (!ClipFloat(x1, y1, x2, y2, xlo, ylo, xhi, yhi)) return false;
  *px1 = (float)x1, *py1 = (float)y1, *px2 = (float)x2, *py2 = (float)y2;
  return true;
}

void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha,
               int mode, bool aa)
{
  Canvas cv;
  const int ia = AlphaWeight(alpha);
  if (ia < 1 || !cv.Open(dest)) return;
  if (!LICE_ClipLine(&x1, &y1, &x2, &y2, 0, 0, cv.width, cv.height)) return;
  DrawClippedLine(cv, x1, y1, x2, y2, SolidColor(color), alpha, ia, mode, aa);
}

void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_pixel color,
                float alpha, int mode, bool aa)
{
  if (!Finite(x1) || !Finite(y1) || !Finite(x2) || !Finite(y2)) return;
  if (!aa)
  {
    LICE_Line(dest, RoundToInt(x1), RoundToInt(y1), RoundToInt(x2), RoundToInt(y2), color, alpha,
              mode, false);
    return;
  }
  Canvas cv;
  const int ia = AlphaWeight(alpha);
  if (ia < 1 || !cv.Open(dest)) return;
  double dx1 = x1, dy1 = y1, dx2 = x2, dy2 = y2;
  if (!ClipFloat(dx1, dy1, dx2, dy2, 0.0, 0.0, cv.width - 1.0, cv.height - 1.0)) return;
  const SolidColor c(color);
  WithWeightedRule(mode, ia,
                   [&](auto rule) { FloatWuLine<decltype(rule)>(cv, dx1, dy1, dx2, dy2, c, ia); });
}

void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff,
                     LICE_pixel color, float alpha, int mode, bool aa)
{
  (void)aa;
  Canvas cv;
  const int ia = AlphaWeight(alpha);
  if (ia < 1 || pxon < 1 || !cv.Open(dest)) return;
  if (pxoff < 0) pxoff = 0;
  if (x1 != x2 && y1 != y2) return;
  if (!LICE_ClipLine(&x1, &y1, &x2, &y2, 0, 0, cv.width, cv.height)) return;
  const bool horizontal = y1 == y2;
  int from = horizontal ? x1 : y1, to = horizontal ? x2 : y2;
  if (from > to) std::swap(from, to);
  const SolidColor c(color);
  WithLineRule(mode, ia,
               [&](auto rule)
               {
                 using Rule = decltype(rule);
                 for (int p = from; p < to; p += pxoff)
                 {
                   for (int n = pxon; n > 0 && p < to; --n, ++p)
                   {
                     LICE_pixel* px = horizontal ? cv.At(p, y1) : cv.At(x1, p);
                     Rule::doPix((unsigned char*)px, c.r, c.g, c.b, c.a, ia);
                   }
                 }
               });
}

void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha,
                   int mode)
{
  const int x2 = AddSat(x, w), y2 = AddSat(y, h);
  LICE_Line(dest, x, y, x2, y, color, alpha, mode, false);
  LICE_Line(dest, x2, y, x2, y2, color, alpha, mode, false);
  LICE_Line(dest, x2, y2, x, y2, color, alpha, mode, false);
  LICE_Line(dest, x, y2, x, y, color, alpha, mode, false);
}

void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel bgcolor,
                       LICE_pixel fgcolor, float alpha, int mode)
{
  LICE_FillRect(dest, AddSat(x, 1), AddSat(y, 1), AddSat(w, -1), AddSat(h, -1), bgcolor, alpha,
                mode);
  LICE_DrawRect(dest, x, y, w, h, fgcolor, alpha, mode);
}
