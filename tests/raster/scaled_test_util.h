// Helpers shared by the scaled-blit and transform-blit tests: backgrounds, random, pattern and
// knob bitmaps, and the clipping fuzz.
#pragma once

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"
#include "raster_test_util.h"
#include "support/Sanitized.h"

namespace scaled_test
{

using raster_test::Filled;
using raster_test::GuardedBitmap;
using raster_test::Pixels;
using raster_test::SamePicture;
using torva_test::Rng;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A background that differs everywhere, so that untouched pixels are recognisable.
inline void FillBackground(GuardedBitmap& bm, int ox = 0, int oy = 0)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
      bm.at(x, y) = 0x80000000u | (uint32_t)((x + ox) * 7919 + (y + oy) * 104729) % 0xFFFFFFu;
}

inline GuardedBitmap RandomBitmap(int w, int h, uint64_t seed)
{
  GuardedBitmap bm(w, h);
  Rng rng(seed);
  raster_test::FillRandom(bm, rng);
  return bm;
}

// Colour ramps, a checker and a transparent corner: easy to read in a golden picture.
inline GuardedBitmap Pattern(int w, int h)
{
  GuardedBitmap bm(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      const int r = x * 255 / (w - 1), g = y * 255 / (h - 1);
      const int b = ((x / 4 + y / 4) & 1) ? 230 : 30;
      const int a = (x + y < 6) ? 0 : (x > w - 5 ? 128 : 255);
      bm.at(x, y) = LICE_RGBA(r, g, b, a);
    }
  return bm;
}

// A knob face: a shaded disc with a pointer, transparent outside and soft at the rim.
inline GuardedBitmap Knob(int size)
{
  GuardedBitmap bm(size, size);
  const double c = (size - 1) / 2.0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
    {
      const double dx = x - c, dy = y - c, r = std::sqrt(dx * dx + dy * dy);
      if (r > c) continue;
      const int shade = (int)(150 + 80 * (dx - dy) / (2 * c));
      LICE_pixel p = LICE_RGBA(shade, shade, shade + 20, r > c - 1 ? 128 : 255);
      if (std::fabs(dx) < 1.6 && dy < -2) p = LICE_RGBA(230, 40, 20, 255);
      bm.at(x, y) = p;
    }
  return bm;
}

inline int Chan(LICE_pixel p, int shift)
{
  return (int)((p >> shift) & 0xFF);
}

// Geometry for the clipping fuzz: mostly near a bitmap of the given size (so that many calls
// draw), one value in twenty far outside, huge or not a number.
class FuzzNumbers
{
public:
  explicit FuzzNumbers(Rng& rng) : mRng(rng) {}
  int Origin(int size) { return Wild() ? WildInt() : mRng.Int(-size / 2, size - 1); }
  // Mostly positive; a negative size mirrors.
  int Size(int size)
  {
    return Wild() ? WildInt() : (mRng.Chance(75) ? 1 : -1) * mRng.Int(1, 2 * size);
  }
  double Position(int size) { return Wild() ? WildReal() : Real(-size / 4.0, size * 0.9); }
  double Extent(int size)
  {
    return Wild() ? WildReal() : (mRng.Chance(75) ? 1 : -1) * Real(size / 4.0, size * 1.5);
  }
  double Real(double lo, double hi)
  {
    return Wild() ? WildReal() : lo + (hi - lo) * mRng.Int(0, 1 << 20) / (double)(1 << 20);
  }

private:
  bool Wild() { return mRng.Chance(5); }
  int WildInt()
  {
    const int pick = mRng.Int(0, 2);
    return pick == 0   ? std::numeric_limits<int>::min()
           : pick == 1 ? std::numeric_limits<int>::max()
                       : (int)mRng.U32();
  }
  double WildReal()
  {
    switch (mRng.Int(0, 6))
    {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return mRng.Chance(50) ? 1e300 : -std::numeric_limits<double>::infinity();
    case 2:
      return mRng.Chance(50) ? 1e30 : -1e30;
    case 3:
      return mRng.Chance(50) ? 3e9 : -3e9;
    case 4:
      return 1e-30;
    default:
      return mRng.Int(-40000, 40000);
    }
  }
  Rng& mRng;
};

// One call of the clipping fuzz.
struct FuzzCall
{
  int dstx, dsty, dstw, dsth, mode;
  float sx, sy, sw, sh, alpha;
};

// Random bitmaps (top-down or bottom-up, padded), geometry around them and every rule:
// draw(dest, src, call, rng, any) makes one call, picking any further numbers itself, and names
// what it called. No call may write outside either bitmap, and more than one call in
// `drawnShare` must change the picture, so that the geometry is not all out of reach.
template <class Draw> void FuzzBlits(uint64_t seed, int drawnShare, Draw draw)
{
  Rng rng(seed);
  FuzzNumbers any(rng);
  const int modes[] = {0,       1,     2,       3,     4,     5,    0x10000, 0x10001, 0x10003,
                       0x10005, 0x100, 0x10100, 0x101, 0x105, 0xF3, 7,       0x200};
  const int iterations = torva_test::Scaled(30000, 8000);
  int drew = 0;
  for (int iter = 0; iter < iterations; ++iter)
  {
    GuardedBitmap src(rng.Int(1, 24), rng.Int(1, 24), rng.Chance(50), rng.Int(0, 5));
    raster_test::FillRandom(src, rng);
    GuardedBitmap dest(rng.Int(1, 32), rng.Int(1, 32), rng.Chance(50), rng.Int(0, 5));
    FuzzCall c;
    c.dstx = any.Origin(dest.getWidth()), c.dsty = any.Origin(dest.getHeight());
    c.dstw = any.Size(dest.getWidth()), c.dsth = any.Size(dest.getHeight());
    c.sx = (float)any.Position(src.getWidth()), c.sy = (float)any.Position(src.getHeight());
    c.sw = (float)any.Extent(src.getWidth()), c.sh = (float)any.Extent(src.getHeight());
    c.alpha = (float)any.Real(-0.1, 1.3);
    c.mode = modes[rng.Int(0, (int)(sizeof modes / sizeof *modes) - 1)];
    const std::vector<LICE_pixel> before = Pixels(dest);
    const char* what = draw(dest, src, c, rng, any);
    drew += Pixels(dest) != before;
    ASSERT_TRUE(dest.GuardsIntact() && src.GuardsIntact())
        << "case " << iter << ", " << what << ": " << c.dstx << "," << c.dsty << " " << c.dstw
        << "x" << c.dsth << " from " << c.sx << "," << c.sy << " " << c.sw << "x" << c.sh
        << " mode " << c.mode;
  }
  EXPECT_GT(drew, iterations / drawnShare);
}

} // namespace scaled_test
