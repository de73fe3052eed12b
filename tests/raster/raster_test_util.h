// Helpers for the raster tests: a bitmap with guard zones, random pixels and bitmaps, a picture
// comparison, and the rig that draws the same thing top-down and bottom-up.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"
#include "support/Random.h"

namespace raster_test
{

using torva_test::Rng;

// A random pixel whose alpha is often 0 or 255, as in real images.
inline LICE_pixel ImagePixel(Rng& rng)
{
  const uint32_t c = rng.U32() & 0x00FFFFFFu;
  const int pick = rng.Int(0, 3);
  const uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : (rng.U32() & 0xFF);
  return c | (a << 24);
}

// A bitmap with padding beyond each row and guard zones before the first and after the last
// buffer row, all filled with a canary word; optionally flipped. GuardsIntact() tells whether a
// drawing operation wrote outside the picture.
class GuardedBitmap : public LICE_IBitmap
{
public:
  static constexpr LICE_pixel kCanary = 0xDEADBEEFu;
  static constexpr int kGuard = 64;

  GuardedBitmap(int w, int h, bool flipped = false, int padding = 3)
      : mWidth(w), mHeight(h), mSpan(w + padding), mFlipped(flipped)
  {
    mStore.assign((size_t)mSpan * (h > 0 ? h : 0) + 2 * kGuard, kCanary);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) bufferRow(y)[x] = 0;
  }

  LICE_pixel* getBits() const override { return const_cast<LICE_pixel*>(mStore.data()) + kGuard; }
  int getWidth() const override { return mWidth; }
  int getHeight() const override { return mHeight; }
  int getRowSpan() const override { return mSpan; }
  bool isFlipped() const override { return mFlipped; }
  bool resize(int, int) override { return false; }

  // Picture pixel (x, y).
  LICE_pixel& at(int x, int y) { return bufferRow(mFlipped ? mHeight - 1 - y : y)[x]; }

  bool GuardsIntact() const
  {
    for (int i = 0; i < kGuard; ++i)
      if (mStore[i] != kCanary || mStore[mStore.size() - 1 - i] != kCanary) return false;
    for (int y = 0; y < mHeight; ++y)
      for (int x = mWidth; x < mSpan; ++x)
        if (mStore[kGuard + (size_t)y * mSpan + x] != kCanary) return false;
    return true;
  }

private:
  LICE_pixel* bufferRow(int y) { return mStore.data() + kGuard + (size_t)y * mSpan; }

  int mWidth, mHeight, mSpan;
  bool mFlipped;
  std::vector<LICE_pixel> mStore;
};

// Fills every pixel with random image pixels, row by row in picture order.
inline void FillRandom(LICE_IBitmap& bm, Rng& rng)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
    {
      LICE_pixel* bits = bm.getBits();
      const int row = bm.isFlipped() ? bm.getHeight() - 1 - y : y;
      bits[(size_t)row * bm.getRowSpan() + x] = ImagePixel(rng);
    }
}

// Picture pixels of a bitmap, row by row.
inline std::vector<LICE_pixel> Pixels(const LICE_IBitmap& bm)
{
  std::vector<LICE_pixel> out;
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) out.push_back(LICE_GetPixel(&bm, x, y));
  return out;
}

inline void Fill(GuardedBitmap& bm, LICE_pixel v)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) bm.at(x, y) = v;
}
inline GuardedBitmap Filled(int w, int h, LICE_pixel v)
{
  GuardedBitmap bm(w, h);
  Fill(bm, v);
  return bm;
}

// The same picture, stored top-down or bottom-up.
inline GuardedBitmap CopyOf(const LICE_IBitmap& bm, bool flipped)
{
  GuardedBitmap out(bm.getWidth(), bm.getHeight(), flipped);
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) out.at(x, y) = LICE_GetPixel(&bm, x, y);
  return out;
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

// Runs draw(dest, src) on a top-down and a bottom-up copy of `dest`, each with a top-down and a
// bottom-up copy of `src` when there is one: every pairing must give `want` (by default what the
// top-down pairing drew) and write nothing outside the destination.
template <class Draw>
::testing::AssertionResult SameWhenFlipped(const LICE_IBitmap& dest, const LICE_IBitmap* src,
                                           Draw&& draw, const LICE_IBitmap* want = nullptr)
{
  static const char* const how[] = {"top-down", "bottom-up destination", "bottom-up source",
                                    "bottom-up destination and source"};
  GuardedBitmap first(0, 0);
  for (int flips = 0; flips < (src ? 4 : 2); ++flips)
  {
    GuardedBitmap d = CopyOf(dest, flips & 1);
    const GuardedBitmap s = src ? CopyOf(*src, flips & 2) : GuardedBitmap(0, 0);
    draw(&d, src ? &s : nullptr);
    if (!d.GuardsIntact()) return ::testing::AssertionFailure() << "wrote outside, " << how[flips];
    if (!want) want = &(first = d);
    if (::testing::AssertionResult same = SamePicture(d, *want); !same)
      return same << ", " << how[flips];
  }
  return ::testing::AssertionSuccess();
}

} // namespace raster_test
