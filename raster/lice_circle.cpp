// lice_circle.cpp - circles (outline and filled), arcs and rounded rectangles.
//
// Outlines without anti-aliasing follow the midpoint rule over one octant, mirrored eight
// ways. Anti-aliased outlines walk i = 1, 2, ... along each axis, put the exact distance
// E = sqrt(r^2 - i^2) between two pixels and split the weight by its fraction. Small circles
// (r = 1.5 to 4 in steps of 0.5) are stamped from fixed coverage masks with LICE_DrawGlyph
// instead, which look better at that size than either rule (and, as glyphs, honour the
// use-alpha bit). Filled circles are drawn as row spans so every pixel is blended once;
// anti-aliased fills first gather coverage (the largest weight per pixel) in a map of the
// clipped bounding box. Arcs run the outline rules with a clip box per quarter.
#include <algorithm>
#include <cmath>
#include <vector>

#include "raster/lice_lines_internal.h"
#include "raster/lice_text.h"

namespace
{

using namespace lice_detail;

constexpr double kPi = 3.14159265358979323846;
// Larger radii draw nothing: the loops below run once per pixel of radius, visible or not.
constexpr double kMaxRadius = 65536.0;

// The fixed coverage masks, rows top to bottom.
// clang-format off
const unsigned char kMask15aa[] = {
     79, 255, 255,  79,
    255,  15,  15, 255,
    255,  15,  15, 255,
     79, 255, 255,  79,
};
const unsigned char kMask15[] = {
      0, 255, 255,   0,
    255,   0,   0, 255,
    255,   0,   0, 255,
      0, 255, 255,   0,
};
const unsigned char kMask2aa[] = {
     15, 191, 255, 191,  15,
    191, 209,  79, 209, 191,
    255,  79,   0,  79, 255,
    191, 209,  79, 209, 191,
     15, 191, 255, 191,  15,
};
const unsigned char kMask2[] = {
      0,   0, 255,   0,   0,
      0, 255,   0, 255,   0,
    255,   0,   0,   0, 255,
      0, 255,   0, 255,   0,
      0,   0, 255,   0,   0,
};
const unsigned char kMask25aa[] = {
     15, 191, 255, 255, 191,  15,
    191, 209,  79,  79, 209, 191,
    255,  79,   0,   0,  79, 255,
    255,  79,   0,   0,  79, 255,
    191, 209,  79,  79, 209, 191,
     15, 191, 255, 255, 191,  15,
};
const unsigned char kMask25[] = {
      0,   0, 255, 255,   0,   0,
      0, 255,   0,   0, 255,   0,
    255,   0,   0,   0,   0, 255,
    255,   0,   0,   0,   0, 255,
      0, 255,   0,   0, 255,   0,
      0,   0, 255, 255,   0,   0,
};
const unsigned char kMask3aa[] = {
      0, 143, 255, 255, 255, 143,   0,
    143, 255,  97,  64,  97, 255, 143,
    255, 112,   0,   0,   0, 112, 255,
    255,  48,   0,   0,   0,  48, 255,
    255, 112,   0,   0,   0, 112, 255,
    143, 255,  97,  64,  97, 255, 143,
      0, 143, 255, 255, 255, 143,   0,
};
const unsigned char kMask3[] = {
      0,   0, 255, 255, 255,   0,   0,
      0, 255,   0,   0,   0, 255,   0,
    255,   0,   0,   0,   0,   0, 255,
    255,   0,   0,   0,   0,   0, 255,
    255,   0,   0,   0,   0,   0, 255,
      0, 255,   0,   0,   0, 255,   0,
      0,   0, 255, 255, 255,   0,   0,
};
const unsigned char kMask35aa[] = {
      0,  79, 222, 255, 255, 222,  79,   0,
     79, 255, 176,  64,  64, 176, 255,  79,
    222, 176,   0,   0,   0,   0, 176, 222,
    255,  64,   0,   0,   0,   0,  64, 255,
    255,  64,   0,   0,   0,   0,  64, 255,
    222, 176,   0,   0,   0,   0, 176, 222,
     79, 255, 176,  64,  64, 176, 255,  79,
      0,  79, 222, 255, 255, 222,  79,   0,
};
const unsigned char kMask35[] = {
      0,   0, 255, 255, 255, 255,   0,   0,
      0, 255, 255,   0,   0, 255, 255,   0,
    255, 255,   0,   0,   0,   0, 255, 255,
    255,   0,   0,   0,   0,   0,   0, 255,
    255,   0,   0,   0,   0,   0,   0, 255,
    255, 255,   0,   0,   0,   0, 255, 255,
      0, 255, 255,   0,   0, 255, 255,   0,
      0,   0, 255, 255, 255, 255,   0,   0,
};
const unsigned char kMask4aa[] = {
      0,  31, 176, 255, 255, 255, 176,  31,   0,
     31, 240, 209,  79,  64,  79, 209, 240,  31,
    176, 209,  15,   0,   0,   0,  15, 209, 176,
    255,  79,   0,   0,   0,   0,   0,  79, 255,
    255,  48,   0,   0,   0,   0,   0,  48, 255,
    255,  79,   0,   0,   0,   0,   0,  79, 255,
    176, 209,  15,   0,   0,   0,  15, 209, 176,
     31, 240, 209,  79,  64,  79, 209, 240,  31,
      0,  31, 176, 255, 255, 255, 176,  31,   0,
};
const unsigned char kMask4[] = {
      0,   0, 255, 255, 255, 255, 255,   0,   0,
      0, 255, 255,   0,   0,   0, 255, 255,   0,
    255, 255,   0,   0,   0,   0,   0, 255, 255,
    255,   0,   0,   0,   0,   0,   0,   0, 255,
    255,   0,   0,   0,   0,   0,   0,   0, 255,
    255,   0,   0,   0,   0,   0,   0,   0, 255,
    255, 255,   0,   0,   0,   0,   0, 255, 255,
      0, 255, 255,   0,   0,   0, 255, 255,   0,
      0,   0, 255, 255, 255, 255, 255,   0,   0,
};
// clang-format on

// The mask for radius r, or null when r is not one of the six.
const unsigned char* FixedMask(float r, bool aa, int* size)
{
  struct Entry
  {
    float r;
    const unsigned char *aa, *plain;
  };
  static const Entry kMasks[] = {{1.5f, kMask15aa, kMask15}, {2.0f, kMask2aa, kMask2},
                                 {2.5f, kMask25aa, kMask25}, {3.0f, kMask3aa, kMask3},
                                 {3.5f, kMask35aa, kMask35}, {4.0f, kMask4aa, kMask4}};
  for (const Entry& e : kMasks)
    if (r == e.r)
    {
      *size = (int)(2.0f * r) + 1;
      return aa ? e.aa : e.plain;
    }
  return nullptr;
}

// Plots (cx +- dx, cy +- dy), each distinct pixel once (a zero offset is not mirrored).
template <class Rule>
void Plot4(const Canvas& cv, int cx, int cy, int dx, int dy, const SolidColor& c, int w)
{
  if (w <= 0) return;
  cv.Plot<Rule>(cx + dx, cy + dy, c, w);
  if (dx) cv.Plot<Rule>(cx - dx, cy + dy, c, w);
  if (dy)
  {
    cv.Plot<Rule>(cx + dx, cy - dy, c, w);
    if (dx) cv.Plot<Rule>(cx - dx, cy - dy, c, w);
  }
}

// Midpoint outline: the four axis points at R, then per step x -> x + 1 the eight points
// (+-(x+1), +-y') and (+-y', +-(x+1)), where y' = y - 1 when the error c >= 0; then
// c += 2x + 3 (minus 2(y - 1) when c was >= 0).
template <class Rule>
void MidpointOutline(const Canvas& cv, int cx, int cy, int R, const SolidColor& c, int ia)
{
  Plot4<Rule>(cv, cx, cy, 0, R, c, ia);
  if (R) Plot4<Rule>(cv, cx, cy, R, 0, c, ia);
  int x = 0, y = R, err = -R;
  while (x + 1 < y)
  {
    const int yn = err >= 0 ? y - 1 : y;
    Plot4<Rule>(cv, cx, cy, x + 1, yn, c, ia);
    if (x + 1 != yn) Plot4<Rule>(cv, cx, cy, yn, x + 1, c, ia);
    const bool stepped = err >= 0;
    err += 2 * x + 3;
    if (stepped) err -= 2 * (y - 1);
    ++x;
    y = yn;
  }
}

// Midpoint fill: the half-width of each row offset is the widest outline point on it (the
// column through the centre always belongs), and each row is one span.
template <class Rule>
void MidpointFill(const Canvas& cv, int cx, int cy, int R, const SolidColor& c, int ia)
{
  std::vector<int> half((size_t)R + 1, 0);
  half[0] = R;
  int x = 0, y = R, err = -R;
  while (x + 1 < y)
  {
    const int yn = err >= 0 ? y - 1 : y;
    half[yn] = std::max(half[yn], x + 1);
    if (x + 1 != yn) half[x + 1] = std::max(half[x + 1], yn);
    const bool stepped = err >= 0;
    err += 2 * x + 3;
    if (stepped) err -= 2 * (y - 1);
    ++x;
    y = yn;
  }
  cv.Span<Rule>(cx - R, cx + R, cy, c, ia);
  for (int k = 1; k <= R; ++k)
  {
    cv.Span<Rule>(cx - half[k], cx + half[k], cy - k, c, ia);
    cv.Span<Rule>(cx - half[k], cx + half[k], cy + k, c, ia);
  }
}

// The exact distances of the anti-aliased rule: for i = 1, 2, ... while i is at most the
// rounded distance of the step before, E = sqrt(r^2 - i^2), I = (int)E and f = frac(E) * ia.
template <class Fn> void ForEachAAStep(double r, int ia, Fn&& fn)
{
  int limit = (int)(r + 0.5);
  for (int i = 1; i <= limit && i <= r; ++i)
  {
    const double E = std::sqrt(r * r - (double)i * i);
    const int I = (int)E;
    const int f = (int)((E - std::floor(E)) * ia);
    fn(i, I, f);
    limit = (int)(E + 0.5);
  }
}

// Anti-aliased outline: axis points at R + 1 get w = frac(r) * ia and those at R get ia - w;
// per step the points at I + 1 get f and those at I get ia - f, mirrored about the diagonal
// except on it.
template <class Rule>
void AAOutline(const Canvas& cv, int cx, int cy, double r, const SolidColor& c, int ia)
{
  const int R = (int)r;
  const int w = (int)((r - std::floor(r)) * ia);
  Plot4<Rule>(cv, cx, cy, 0, R + 1, c, w);
  Plot4<Rule>(cv, cx, cy, R + 1, 0, c, w);
  Plot4<Rule>(cv, cx, cy, 0, R, c, ia - w);
  if (R) Plot4<Rule>(cv, cx, cy, R, 0, c, ia - w);
  ForEachAAStep(r, ia,
                [&](int i, int I, int f)
                {
                  Plot4<Rule>(cv, cx, cy, I + 1, i, c, f);
                  if (I + 1 != i) Plot4<Rule>(cv, cx, cy, i, I + 1, c, f);
                  Plot4<Rule>(cv, cx, cy, I, i, c, ia - f);
                  if (I != i) Plot4<Rule>(cv, cx, cy, i, I, c, ia - f);
                });
}

// Coverage of the clipped bounding box; each pixel keeps the largest weight it was given.
class CoverageMap
{
public:
  CoverageMap(const Canvas& cv, int x0, int y0, int x1, int y1)
      : mX0(std::max(x0, cv.xlo)), mY0(std::max(y0, cv.ylo)), mX1(std::min(x1, cv.xhi - 1)),
        mY1(std::min(y1, cv.yhi - 1))
  {
    if (mX0 <= mX1 && mY0 <= mY1) mW.assign((size_t)(mX1 - mX0 + 1) * (mY1 - mY0 + 1), 0);
  }
  bool Empty() const { return mW.empty(); }
  void Span(int xa, int xb, int y, int w)
  {
    if (y < mY0 || y > mY1) return;
    xa = std::max(xa, mX0), xb = std::min(xb, mX1);
    unsigned short* row = &mW[(size_t)(y - mY0) * (mX1 - mX0 + 1)];
    for (int x = xa; x <= xb; ++x) row[x - mX0] = (unsigned short)std::max<int>(row[x - mX0], w);
  }
  void Point4(int cx, int cy, int dx, int dy, int w)
  {
    for (int sx : {-1, 1})
      for (int sy : {-1, 1}) Span(cx + sx * dx, cx + sx * dx, cy + sy * dy, w);
  }
  template <class Rule> void Apply(const Canvas& cv, const SolidColor& c) const
  {
    const int stride = mX1 - mX0 + 1;
    for (int y = mY0; y <= mY1; ++y)
    {
      const unsigned short* row = &mW[(size_t)(y - mY0) * stride];
      LICE_pixel* p = cv.At(0, y);
      for (int x = mX0; x <= mX1; ++x)
        if (row[x - mX0]) Rule::doPix((unsigned char*)(p + x), c.r, c.g, c.b, c.a, row[x - mX0]);
    }
  }

private:
  int mX0, mY0, mX1, mY1;
  std::vector<unsigned short> mW;
};

// Anti-aliased fill: the axis spans and the spans out to I at full weight, the pixels at
// R + 1 and I + 1 at their fractional weights.
template <class Rule>
void AAFill(const Canvas& cv, int cx, int cy, double r, const SolidColor& c, int ia)
{
  const int R = (int)r;
  CoverageMap map(cv, cx - R - 1, cy - R - 1, cx + R + 1, cy + R + 1);
  if (map.Empty()) return;
  const int w = (int)((r - std::floor(r)) * ia);
  map.Span(cx - R, cx + R, cy, ia);
  for (int y = cy - R; y <= cy + R; ++y) map.Span(cx, cx, y, ia);
  map.Point4(cx, cy, 0, R + 1, w);
  map.Point4(cx, cy, R + 1, 0, w);
  ForEachAAStep(r, ia,
                [&](int i, int I, int f)
                {
                  for (int s : {-1, 1})
                  {
                    map.Span(cx - I, cx + I, cy + s * i, ia);
                    map.Span(cx - i, cx + i, cy + s * I, ia);
                  }
                  map.Point4(cx, cy, I + 1, i, f);
                  map.Point4(cx, cy, i, I + 1, f);
                });
  map.Apply<Rule>(cv, c);
}

// Whether a circle of radius r around (cx, cy) can touch the canvas's clip box (with 2 pixels
// to spare); `outline` also rules out a box lying wholly inside the ring.
bool CircleReaches(const Canvas& cv, double cx, double cy, double r, bool outline)
{
  if (cx + r + 2 < cv.xlo || cx - r - 2 > cv.xhi - 1 || cy + r + 2 < cv.ylo ||
      cy - r - 2 > cv.yhi - 1)
    return false;
  if (outline)
  {
    const double fx = std::max(std::fabs(cx - cv.xlo), std::fabs(cx - (cv.xhi - 1)));
    const double fy = std::max(std::fabs(cy - cv.ylo), std::fabs(cy - (cv.yhi - 1)));
    if (std::sqrt(fx * fx + fy * fy) < r - 2) return false;
  }
  return true;
}

bool ValidCircle(float cx, float cy, float r)
{
  return Finite(cx) && Finite(cy) && Finite(r) && r >= 0 && r <= kMaxRadius;
}

// The outline rules (not the masks), limited to the canvas's clip box.
void OutlineInBox(const Canvas& cv, float cx, float cy, float r, const SolidColor& c, int ia,
                  int mode, bool aa)
{
  if (!CircleReaches(cv, cx, cy, r, true)) return;
  const int icx = (int)(cx + 0.5f), icy = (int)(cy + 0.5f);
  if (aa)
    WithWeightedRule(mode, ia,
                     [&](auto rule) { AAOutline<decltype(rule)>(cv, icx, icy, r, c, ia); });
  else
    WithLineRule(mode, ia,
                 [&](auto rule)
                 { MidpointOutline<decltype(rule)>(cv, icx, icy, (int)(r + 0.5f), c, ia); });
}

} // namespace

void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                 int mode, bool aa)
{
  Canvas cv;
  const int ia = AlphaWeight(alpha);
  if (ia < 1 || !ValidCircle(cx, cy, r) || !cv.Open(dest)) return;
  int size = 0;
  if (const unsigned char* mask = FixedMask(r, aa, &size))
  {
    if (CircleReaches(cv, cx, cy, r, false))
      LICE_DrawGlyph(dest, (int)(cx - r), (int)(cy - r), color, mask, size, size, alpha, mode);
    return;
  }
  OutlineInBox(cv, cx, cy, r, SolidColor(color), ia, mode, aa);
}

void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                     int mode, bool aa)
{
  Canvas cv;
  const int ia = AlphaWeight(alpha);
  if (ia < 1 || !ValidCircle(cx, cy, r) || !cv.Open(dest)) return;
  if (!CircleReaches(cv, cx, cy, r, false)) return;
  const SolidColor c(color);
  const int icx = (int)(cx + 0.5f), icy = (int)(cy + 0.5f);
  if (aa)
    WithWeightedRule(mode, ia, [&](auto rule) { AAFill<decltype(rule)>(cv, icx, icy, r, c, ia); });
  else
    WithLineRule(mode, ia,
                 [&](auto rule)
                 { MidpointFill<decltype(rule)>(cv, icx, icy, (int)(r + 0.5f), c, ia); });
}

void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle,
              LICE_pixel color, float alpha, int mode, bool aa)
{
  Canvas bitmap;
  const int ia = AlphaWeight(alpha);
  if (ia < 1 || !ValidCircle(cx, cy, r) || !Finite(minAngle) || !Finite(maxAngle) ||
      !bitmap.Open(dest))
    return;
  double lo = minAngle, hi = maxAngle;
  if (lo > hi) std::swap(lo, hi);
  const double span = hi - lo;
  if (span >= 2 * kPi)
  {
    LICE_Circle(dest, cx, cy, r, color, alpha, mode, aa);
    return;
  }
  if (!(span > 0)) return;
  if (lo >= 2 * kPi || lo <= -2 * kPi)
  {
    lo = std::fmod(lo, 2 * kPi);
    hi = lo + span;
  }
  const SolidColor c(color);
  const double quarter = kPi / 2;
  const int icx = (int)(cx + 0.5f), icy = (int)(cy + 0.5f);
  // Split at the multiples of pi/2; each piece draws the circle pixels inside the box of its
  // end points, widened right and bottom by 1 (by 2 where that edge is off the centre, for the
  // anti-aliased ring) and, only when there is a ring, left and top by 1 where they are off the
  // centre: a plain arc widened there would run one pixel past its end. A piece that continues
  // the one before leaves out the centre row or column they share, so no pixel is blended twice.
  const int ring = aa ? 1 : 0;
  double a = lo;
  for (int piece = 0; piece < 6 && a < hi; ++piece)
  {
    double next = (std::floor(a / quarter) + 1) * quarter;
    if (next <= a) next += quarter;
    if (next > hi) next = hi;
    const int x1 = (int)(cx + r * std::sin(a) + 0.5), y1 = (int)(cy - r * std::cos(a) + 0.5);
    const int x2 = (int)(cx + r * std::sin(next) + 0.5), y2 = (int)(cy - r * std::cos(next) + 0.5);
    Canvas box = bitmap;
    const int left = std::min(x1, x2), top = std::min(y1, y2);
    const int right = std::max(x1, x2), bottom = std::max(y1, y2);
    box.xlo = std::max(left - (left == icx ? 0 : ring), 0);
    box.ylo = std::max(top - (top == icy ? 0 : ring), 0);
    box.xhi = std::min(right + (right == icx ? 1 : 2), bitmap.width);
    box.yhi = std::min(bottom + (bottom == icy ? 1 : 2), bitmap.height);
    if (piece > 0)
    {
      // The piece starts on an axis: 0 up, 1 right, 2 down, 3 left.
      switch ((((int)std::lround(a / quarter)) % 4 + 4) % 4)
      {
      case 0:
        box.xlo = std::max(box.xlo, icx + 1);
        break;
      case 1:
        box.ylo = std::max(box.ylo, icy + 1);
        break;
      case 2:
        box.xhi = std::min(box.xhi, icx);
        break;
      default:
        box.yhi = std::min(box.yhi, icy);
        break;
      }
    }
    if (box.xlo < box.xhi && box.ylo < box.yhi) OutlineInBox(box, cx, cy, r, c, ia, mode, aa);
    a = next;
  }
}

void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius,
                    LICE_pixel color, float alpha, int mode, bool aa)
{
  if (!Finite(x) || !Finite(y) || !Finite(w) || !Finite(h)) return;
  const float limited = std::min({(float)cornerradius, w / 2, h / 2});
  const int r = (int)std::floor(std::max(limited, -1.0f));
  if (r < 2)
  {
    const int x1 = SaturatingInt(x), y1 = SaturatingInt(y);
    const int x2 = SaturatingInt((double)x + w), y2 = SaturatingInt((double)y + h);
    LICE_Line(dest, x1, y1, x2, y1, color, alpha, mode, false);
    LICE_Line(dest, x2, y1, x2, y2, color, alpha, mode, false);
    LICE_Line(dest, x2, y2, x1, y2, color, alpha, mode, false);
    LICE_Line(dest, x1, y2, x1, y1, color, alpha, mode, false);
    return;
  }
  const double X = x, Y = y, W = w, H = h;
  LICE_Line(dest, SaturatingInt(X + r), SaturatingInt(Y), SaturatingInt(X + W - r),
            SaturatingInt(Y), color, alpha, mode, aa);
  LICE_Line(dest, SaturatingInt(X + r - 1), SaturatingInt(Y + H), SaturatingInt(X + W - r),
            SaturatingInt(Y + H), color, alpha, mode, aa);
  LICE_Line(dest, SaturatingInt(X + W), SaturatingInt(Y + r), SaturatingInt(X + W),
            SaturatingInt(Y + H - r), color, alpha, mode, aa);
  LICE_Line(dest, SaturatingInt(X), SaturatingInt(Y + r - 1), SaturatingInt(X),
            SaturatingInt(Y + H - r), color, alpha, mode, aa);
  const float fr = (float)r;
  LICE_Arc(dest, x + fr, y + fr, fr, (float)(-kPi / 2), 0.0f, color, alpha, mode, aa);
  LICE_Arc(dest, x + w - fr, y + fr, fr, 0.0f, (float)(kPi / 2), color, alpha, mode, aa);
  LICE_Arc(dest, x + w - fr, y + h - fr, fr, (float)(kPi / 2), (float)kPi, color, alpha, mode, aa);
  LICE_Arc(dest, x + fr, y + h - fr, fr, (float)kPi, (float)(3 * kPi / 2), color, alpha, mode, aa);
}
