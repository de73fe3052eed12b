// paint.h - small drawing helpers for the artwork generator.
//
// Everything is drawn on a canvas kSuper times the size of the image it becomes and reduced at
// the end (Reduce: the exact mean of each kSuper x kSuper block, weighted by alpha), which is
// what anti-aliases every edge. A Painter takes coordinates and lengths in pixels of the 100 %
// picture and scales them itself, kSuper * percent / 100 canvas pixels to one, so that drawing
// code reads in the units of the editor's layout and draws the same picture at every scale.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "raster/lice.h"

namespace artgen
{

constexpr int kSuper = 4;

// Seeded generator (splitmix64): the only source of randomness, so that output is repeatable.
class Rng
{
public:
  explicit Rng(uint64_t seed) : mState(seed) {}
  uint64_t Next();
  double Unit() { return (double)(Next() >> 11) * (1.0 / 9007199254740992.0); } // [0, 1)
  double Signed() { return Unit() * 2.0 - 1.0; }                                // [-1, 1)

private:
  uint64_t mState;
};

// Value noise in -1..1 over a w x h area: random values on a grid of cellW x cellH cells,
// blended with a smoothstep.
class Noise
{
public:
  Noise(uint64_t seed, int w, int h, double cellW, double cellH);
  double At(double x, double y) const;

private:
  int mCols, mRows;
  double mCellW, mCellH;
  std::vector<float> mValues;
};

// Colour helpers on pixel words (alpha kept from a).
LICE_pixel Rgb(int r, int g, int b, int a = 255);
LICE_pixel Brighten(LICE_pixel p, double delta); // adds delta * 255 to each colour channel

// A canvas of kSuper times the image size, fully transparent.
std::unique_ptr<LICE_MemBitmap> NewCanvas(int w, int h);

// The image from a canvas: each pixel the alpha-weighted mean of a kSuper x kSuper block.
std::unique_ptr<LICE_MemBitmap> Reduce(const LICE_IBitmap& canvas);

// Calls fn(x, y, pixel) for each canvas pixel of the rectangle (canvas units), clipped.
template <class Fn> void ForEachPixel(LICE_IBitmap* bm, int x0, int y0, int w, int h, Fn&& fn)
{
  const int x1 = std::min(x0 + w, bm->getWidth()), y1 = std::min(y0 + h, bm->getHeight());
  for (int y = std::max(y0, 0); y < y1; ++y)
  {
    LICE_pixel* row = bm->getBits() + (size_t)y * bm->getRowSpan();
    for (int x = std::max(x0, 0); x < x1; ++x) fn(x, y, row[x]);
  }
}

struct Pt
{
  double x, y;
};

// Draws in 100 % units on a supersampled canvas of a picture at `percent`, which must give a
// whole number of canvas pixels per unit.
class Painter
{
public:
  Painter(LICE_IBitmap* canvas, int percent)
      : mBm(canvas), mPercent(percent), mUnit(kSuper * percent / 100)
  {
  }
  LICE_IBitmap* bitmap() const { return mBm; }
  int percent() const { return mPercent; }
  int unit() const { return mUnit; } // canvas pixels per 100 % unit: 4 at 100 %, 8 at 200 %
  int S(double v) const { return (int)std::lround(v * mUnit); }

  void Rect(double x, double y, double w, double h, LICE_pixel c, float alpha = 1.0f);
  void Disc(double cx, double cy, double r, LICE_pixel c, float alpha = 1.0f);
  void Polygon(const std::vector<Pt>& pts, LICE_pixel c, float alpha = 1.0f);
  // A band between radii r0 and r1 from angle a0 to a1 (radians, 0 up, clockwise).
  void Ring(double cx, double cy, double r0, double r1, double a0, double a1, LICE_pixel c,
            float alpha = 1.0f);
  // A line of the given width with square ends.
  void Line(double x1, double y1, double x2, double y2, double width, LICE_pixel c,
            float alpha = 1.0f);
  // A soft round shadow: discs from r + spread down to r, each adding a little darkness.
  void SoftShadow(double cx, double cy, double r, double spread, float strength);
  // A disc shaded from colour `top` at its top edge to `bottom` at its bottom edge.
  void GradientDisc(double cx, double cy, double r, LICE_pixel top, LICE_pixel bottom);
  // A disc whose colour depends on the direction from its centre: shade(angle) per slice.
  template <class Fn> void ConeDisc(double cx, double cy, double r, int slices, Fn&& shade)
  {
    for (int i = 0; i < slices; ++i)
    {
      const double a0 = 2 * M_PI * i / slices, a1 = 2 * M_PI * (i + 1) / slices;
      Polygon({{cx, cy},
               {cx + r * std::sin(a0), cy - r * std::cos(a0)},
               {cx + r * std::sin(a1), cy - r * std::cos(a1)}},
              shade((a0 + a1) / 2));
    }
  }
  // Single-line text centred on (cx, cy), with the given font (pixel size in 100 % units).
  void Text(const char* text, double cx, double cy, double size, bool bold, LICE_pixel c,
            float alpha = 1.0f, double tracking = 0);

private:
  LICE_IBitmap* mBm;
  int mPercent;
  int mUnit;
};

// Copies `fill` onto canvas at (x, y), each pixel weighted by the red channel of `mask`.
void BlitThroughMask(LICE_IBitmap* canvas, int x, int y, LICE_IBitmap* fill,
                     const LICE_IBitmap& mask);

// Writes an 8-bit PNG (RGBA, or RGB when withAlpha is false) with fixed settings, so that the
// same pixels always give the same bytes. False with *error set on failure.
bool WritePng(const std::string& path, const LICE_IBitmap& bm, bool withAlpha, std::string* error);

} // namespace artgen
