// Blits and fills on the editor's 1024 x 285 back buffer, side by side with what they compete
// against: LICE_Blit's plain copy with memcpy of the same rows, its source-alpha blit with
// pixman's OVER composite, and the solid fills at a common and an odd weight. Every figure is
// in Mpixel/s; the ratios of each pair are printed after the table.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if TORVA_HAVE_PIXMAN
#include <pixman.h>
#endif

#include "raster/lice.h"
#include "raster/lice_simd.h"
#include "bench/RatioReporter.h"

namespace
{

constexpr int kW = 1024, kH = 285;

uint32_t Hash(uint32_t x)
{
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// An image whose alpha varies everywhere (no opaque or clear runs to skip).
void FillVariedAlpha(LICE_IBitmap& bm)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
    {
      const uint32_t h = Hash((uint32_t)(y * 4096 + x));
      const uint32_t a = 1 + h % 254;
      bm.getBits()[y * bm.getRowSpan() + x] = (a << 24) | (h & 0x00FFFFFFu);
    }
}

// A knob-like image: a disc that is opaque inside, clear outside, with a soft rim.
void FillKnobLike(LICE_IBitmap& bm)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
    {
      const int cx = x % 64 - 32, cy = y % 64 - 32, r2 = cx * cx + cy * cy;
      const uint32_t a = r2 < 26 * 26 ? 255 : r2 > 30 * 30 ? 0 : 255 - (r2 - 676) * 255 / 224;
      bm.getBits()[y * bm.getRowSpan() + x] =
          (a << 24) | (Hash((uint32_t)(y * 4096 + x)) & 0x00FFFFFFu);
    }
}

void SetPixelRate(benchmark::State& state)
{
  state.SetItemsProcessed((int64_t)state.iterations() * kW * kH);
}

void BM_Memcpy(benchmark::State& state)
{
  LICE_MemBitmap src(kW, kH), dst(kW, kH);
  FillVariedAlpha(src);
  for (auto _ : state)
  {
    for (int y = 0; y < kH; ++y)
      memcpy(dst.getBits() + y * dst.getRowSpan(), src.getBits() + y * src.getRowSpan(), kW * 4);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state);
}
BENCHMARK(BM_Memcpy);

void BM_BlitCopy(benchmark::State& state)
{
  LICE_MemBitmap src(kW, kH), dst(kW, kH);
  FillVariedAlpha(src);
  for (auto _ : state)
  {
    LICE_Blit(&dst, &src, 0, 0, nullptr, 1.0f, LICE_COMBINE_COPY);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state);
}
BENCHMARK(BM_BlitCopy);

// Source-alpha blit at 1.0; the argument is the vector level (0 scalar, 1 SSE2, 2 AVX2) and
// the second whether the image is knob-like rather than varied everywhere.
void BM_BlitSourceAlpha(benchmark::State& state)
{
  namespace simd = lice_detail::simd;
  const simd::ELevel level = (simd::ELevel)state.range(0);
  if (level > simd::BestLevel())
  {
    state.SkipWithError("level not available");
    return;
  }
  LICE_MemBitmap src(kW, kH), dst(kW, kH);
  if (state.range(1))
    FillKnobLike(src);
  else
    FillVariedAlpha(src);
  LICE_Clear(&dst, 0xFF336699u);
  const simd::ELevel previous = simd::SetLevel(level);
  for (auto _ : state)
  {
    LICE_Blit(&dst, &src, 0, 0, nullptr, 1.0f, LICE_COMBINE_USE_ALPHA);
    benchmark::ClobberMemory();
  }
  simd::SetLevel(previous);
  SetPixelRate(state);
}
BENCHMARK(BM_BlitSourceAlpha)->ArgsProduct({{0, 1, 2}, {0, 1}});

#if TORVA_HAVE_PIXMAN
void BM_PixmanOver(benchmark::State& state)
{
  LICE_MemBitmap src(kW, kH), dst(kW, kH);
  if (state.range(0))
    FillKnobLike(src);
  else
    FillVariedAlpha(src);
  // pixman composites premultiplied pixels: give it the premultiplied form of the same image.
  for (int i = 0; i < kW * kH; ++i)
  {
    const uint32_t p = src.getBits()[i], a = p >> 24;
    auto m = [a](uint32_t c) { return (c * a + 127) / 255; };
    src.getBits()[i] =
        (a << 24) | (m((p >> 16) & 255) << 16) | (m((p >> 8) & 255) << 8) | m(p & 255);
  }
  LICE_Clear(&dst, 0xFF336699u);
  pixman_image_t* s =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, src.getBits(), src.getRowSpan() * 4);
  pixman_image_t* d =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, dst.getBits(), dst.getRowSpan() * 4);
  for (auto _ : state)
  {
    pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  SetPixelRate(state);
}
BENCHMARK(BM_PixmanOver)->Arg(0)->Arg(1);
#endif

void BM_FillRect(benchmark::State& state)
{
  const float alpha = (float)state.range(0) / 100.0f;
  LICE_MemBitmap dst(kW, kH);
  LICE_Clear(&dst, 0xFF336699u);
  for (auto _ : state)
  {
    LICE_FillRect(&dst, 0, 0, kW, kH, 0xFFC08040u, alpha, LICE_COMBINE_COPY);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state);
}
BENCHMARK(BM_FillRect)->Arg(50)->Arg(37)->Arg(100);

} // namespace

int main(int argc, char** argv)
{
  const std::string heading = std::string("Mpixel/s on ") + std::to_string(kW) + " x " +
                              std::to_string(kH) + ", and ratios (higher is better for the first):";
  RatioReporter reporter(
      heading,
      [](RatioReporter& r)
      {
        r.Ratio("LICE_Blit copy", "BM_BlitCopy", "memcpy rows", "BM_Memcpy");
        const char* levels[3] = {"scalar", "SSE2", "AVX2"};
        for (int knob = 0; knob < 2; ++knob)
          for (int level = 0; level < 3; ++level)
            r.Ratio(std::string("LICE_Blit 0x10000 ") + levels[level] +
                        (knob ? " knob-like" : " varied"),
                    "BM_BlitSourceAlpha/" + std::to_string(level) + "/" + std::to_string(knob),
                    "pixman OVER", knob ? "BM_PixmanOver/1" : "BM_PixmanOver/0");
        r.Ratio("LICE_FillRect 0.37", "BM_FillRect/37", "LICE_FillRect 0.5", "BM_FillRect/50");
        r.Ratio("LICE_FillRect 0.5", "BM_FillRect/50", "LICE_FillRect 1.0", "BM_FillRect/100");
      });
  return RunBenchmarksWithRatios(argc, argv, reporter);
}
