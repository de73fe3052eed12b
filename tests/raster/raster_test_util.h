// Helpers for the raster tests: a bitmap with guard zones, random pixels and bitmaps.
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

// Fills every pixel with random image pixels.
inline void FillRandom(GuardedBitmap& bm, Rng& rng)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) bm.at(x, y) = ImagePixel(rng);
}
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

} // namespace raster_test
