// Scaled and rotated blits into the editor's 1024 x 285 back buffer, side by side with pixman's
// bilinear transforms of the same sizes: LICE_ScaledBlit with the bilinear filter 2x up and
// 0.5x down (which is the 3 x 3 box reduction; pixman's bilinear filter reads only 2 x 2, so
// that pair compares unequal work), and LICE_RotatedBlit bilinear at 0.3 rad, plain and with
// source alpha as the editor rotates knobs. Every figure is in Mpixel/s of destination; the
// ratios of each pair are printed after the table.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#if TORVA_HAVE_PIXMAN
#include <pixman.h>
#endif

#include "raster/lice.h"
#include "bench/RatioReporter.h"

namespace
{

constexpr int kW = 1024, kH = 285;
constexpr float kAngle = 0.3f;
// The rotation's source: large enough that every destination pixel samples inside it.
constexpr int kRotSrc = 1200;

uint32_t Hash(uint32_t x)
{
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

void FillImage(LICE_IBitmap& bm)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
    {
      const uint32_t h = Hash((uint32_t)(y * 8192 + x));
      bm.getBits()[y * bm.getRowSpan() + x] = ((1 + h % 254) << 24) | (h & 0x00FFFFFFu);
    }
}

void SetPixelRate(benchmark::State& state)
{
  state.SetItemsProcessed((int64_t)state.iterations() * kW * kH);
}

// Scale factors as arguments: 0 is 2x up (from 512 x 142.5), 1 is 0.5x down (from 2048 x 570).
void SourceSize(int which, int* w, float* h)
{
  *w = which == 0 ? kW / 2 : kW * 2;
  *h = which == 0 ? kH / 2.0f : kH * 2.0f;
}

void BM_ScaledBlit(benchmark::State& state)
{
  int sw;
  float sh;
  SourceSize((int)state.range(0), &sw, &sh);
  const int mode = state.range(1) ? LICE_COMBINE_FILTER_BILINEAR : 0;
  LICE_MemBitmap src(sw, (int)std::ceil(sh)), dst(kW, kH);
  FillImage(src);
  LICE_Clear(&dst, 0xFF336699u);
  for (auto _ : state)
  {
    LICE_ScaledBlit(&dst, &src, 0, 0, kW, kH, 0, 0, (float)sw, sh, 1.0f, mode);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state);
}
BENCHMARK(BM_ScaledBlit)->ArgsProduct({{0, 1}, {0, 1}});

void BM_RotatedBlit(benchmark::State& state)
{
  const int mode = LICE_COMBINE_FILTER_BILINEAR | (state.range(0) ? LICE_COMBINE_USE_ALPHA : 0);
  LICE_MemBitmap src(kRotSrc, kRotSrc), dst(kW, kH);
  FillImage(src);
  LICE_Clear(&dst, 0xFF336699u);
  const float sx = (kRotSrc - kW) / 2.0f, sy = (kRotSrc - kH) / 2.0f;
  for (auto _ : state)
  {
    LICE_RotatedBlit(&dst, &src, 0, 0, kW, kH, sx, sy, kW, kH, kAngle, false, 1.0f, mode, 0, 0);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state);
}
BENCHMARK(BM_RotatedBlit)->Arg(0)->Arg(1);

#if TORVA_HAVE_PIXMAN
// pixman's bilinear filter through a transform that maps destination to source.
void RunPixman(benchmark::State& state, LICE_MemBitmap& src, const pixman_f_transform& ft)
{
  LICE_MemBitmap dst(kW, kH);
  LICE_Clear(&dst, 0xFF336699u);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, src.getWidth(), src.getHeight(),
                                               src.getBits(), src.getRowSpan() * 4);
  pixman_image_t* d =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, dst.getBits(), dst.getRowSpan() * 4);
  pixman_transform t;
  pixman_transform_from_pixman_f_transform(&t, &ft);
  pixman_image_set_transform(s, &t);
  pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  for (auto _ : state)
  {
    pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  SetPixelRate(state);
}

void BM_PixmanScaled(benchmark::State& state)
{
  int sw;
  float sh;
  SourceSize((int)state.range(0), &sw, &sh);
  LICE_MemBitmap src(sw, (int)std::ceil(sh));
  FillImage(src);
  pixman_f_transform ft;
  pixman_f_transform_init_scale(&ft, (double)sw / kW, sh / kH);
  RunPixman(state, src, ft);
}
BENCHMARK(BM_PixmanScaled)->Arg(0)->Arg(1);

void BM_PixmanRotated(benchmark::State& state)
{
  LICE_MemBitmap src(kRotSrc, kRotSrc);
  FillImage(src);
  pixman_f_transform ft;
  pixman_f_transform_init_translate(&ft, -kW / 2.0, -kH / 2.0);
  pixman_f_transform_rotate(&ft, nullptr, std::cos(kAngle), std::sin(kAngle));
  pixman_f_transform_translate(&ft, nullptr, kRotSrc / 2.0, kRotSrc / 2.0);
  RunPixman(state, src, ft);
}
BENCHMARK(BM_PixmanRotated);
#endif

} // namespace

int main(int argc, char** argv)
{
  const std::string heading = std::string("Mpixel/s on a ") + std::to_string(kW) + " x " +
                              std::to_string(kH) + " destination, and ratios:";
  RatioReporter reporter(heading,
                         [](RatioReporter& r)
                         {
                           r.Ratio("ScaledBlit bilinear 2x up", "BM_ScaledBlit/0/1",
                                   "pixman bilinear 2x", "BM_PixmanScaled/0");
                           r.Ratio("ScaledBlit bilinear 0.5x (box)", "BM_ScaledBlit/1/1",
                                   "pixman bilinear 0.5x", "BM_PixmanScaled/1");
                           r.Ratio("ScaledBlit bilinear 2x up", "BM_ScaledBlit/0/1",
                                   "ScaledBlit nearest 2x", "BM_ScaledBlit/0/0");
                           r.Ratio("ScaledBlit bilinear 0.5x (box)", "BM_ScaledBlit/1/1",
                                   "ScaledBlit nearest 0.5x", "BM_ScaledBlit/1/0");
                           r.Ratio("RotatedBlit bilinear", "BM_RotatedBlit/0",
                                   "pixman bilinear rotate", "BM_PixmanRotated");
                           r.Ratio("RotatedBlit bilinear 0x10100", "BM_RotatedBlit/1",
                                   "pixman bilinear rotate", "BM_PixmanRotated");
                         });
  return RunBenchmarksWithRatios(argc, argv, reporter);
}
