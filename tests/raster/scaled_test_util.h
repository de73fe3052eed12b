// Helpers shared by the scaled-blit and transform-blit tests: backgrounds, random and pattern
// bitmaps, and a picture comparison that names the first difference.
#pragma once

#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"
#include "raster_test_util.h"

namespace scaled_test
{

using raster_test::GuardedBitmap;
using raster_test::Pixels;
using torva_test::Rng;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

inline void Fill(GuardedBitmap& bm, LICE_pixel v)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) bm.at(x, y) = v;
}

// A background that differs everywhere, so that untouched pixels are recognisable.
inline void FillBackground(GuardedBitmap& bm, int ox = 0, int oy = 0)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
      bm.at(x, y) = 0x80000000u | (uint32_t)((x + ox) * 7919 + (y + oy) * 104729) % 0xFFFFFFu;
}

inline GuardedBitmap RandomBitmap(int w, int h, uint64_t seed, bool flipped = false)
{
  GuardedBitmap bm(w, h, flipped);
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

// Equal pictures, or the first differing pixel and the number of differences.
inline ::testing::AssertionResult SamePicture(const LICE_IBitmap& got, const LICE_IBitmap& want)
{
  const std::vector<LICE_pixel> a = Pixels(got), b = Pixels(want);
  if (got.getWidth() != want.getWidth() || a.size() != b.size())
    return ::testing::AssertionFailure() << "sizes differ";
  int count = 0, first = -1;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && count++ == 0) first = (int)i;
  if (!count) return ::testing::AssertionSuccess();
  const int w = got.getWidth();
  return ::testing::AssertionFailure()
         << count << " pixel(s) differ, first at (" << first % w << ", " << first / w
         << "): " << std::hex << a[first] << " instead of " << b[first];
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

} // namespace scaled_test
