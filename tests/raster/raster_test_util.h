// Helpers for the raster tests: a bitmap with guard zones, deterministic random numbers, and
// iteration counts that shrink under the sanitizers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"

namespace raster_test
{

// Smaller loop counts when the suite runs under AddressSanitizer (TORVA_SANITIZED=1).
inline bool Sanitized()
{
  const char* v = getenv("TORVA_SANITIZED");
  return v && v[0] == '1';
}
inline int Scaled(int normal, int sanitized)
{
  return Sanitized() ? sanitized : normal;
}

// xorshift64*: fast, seeded, the same sequence on every machine.
class Rng
{
public:
  explicit Rng(uint64_t seed) : mState(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next()
  {
    mState ^= mState >> 12;
    mState ^= mState << 25;
    mState ^= mState >> 27;
    return mState * 0x2545F4914F6CDD1Dull;
  }
  uint32_t U32() { return (uint32_t)(Next() >> 32); }
  // Uniform in [lo, hi] (inclusive).
  int Range(int lo, int hi) { return lo + (int)(Next() % (uint64_t)((int64_t)hi - lo + 1)); }
  bool Chance(int percent) { return Range(0, 99) < percent; }
  // A pixel whose alpha is often 0 or 255, as in real images.
  LICE_pixel ImagePixel()
  {
    const uint32_t c = U32() & 0x00FFFFFFu;
    const int pick = Range(0, 3);
    const uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : (U32() & 0xFF);
    return c | (a << 24);
  }

private:
  uint64_t mState;
};

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
    for (int x = 0; x < bm.getWidth(); ++x) bm.at(x, y) = rng.ImagePixel();
}
inline void FillRandom(LICE_IBitmap& bm, Rng& rng)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
    {
      LICE_pixel* bits = bm.getBits();
      const int row = bm.isFlipped() ? bm.getHeight() - 1 - y : y;
      bits[(size_t)row * bm.getRowSpan() + x] = rng.ImagePixel();
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
