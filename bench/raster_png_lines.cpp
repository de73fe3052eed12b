// PNG decoding and line drawing. Decoding: a 1024 x 285 RGBA background and a 31-frame knob
// strip, both made here and encoded with libpng, decoded by LICE_LoadPNGFromMemory side by side
// with libpng's own simplified reader producing the same pixel order (Mpixel/s). Lines: 10,000
// random lines on the editor's back buffer, plain against anti-aliased, and the integer
// anti-aliased line against the float one (lines/s). Ratios are printed after the table.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "raster/lice.h"
#include "raster/lice_lines.h"
#include "raster/lice_png.h"
#include "bench/RatioReporter.h"

namespace
{

constexpr int kW = 1024, kH = 285;
constexpr int kKnob = 48, kFrames = 31;
constexpr int kLines = 10000;

uint32_t Hash(uint32_t x)
{
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// Encodes a bitmap as an 8-bit RGBA PNG in memory.
std::vector<unsigned char> Encode(const LICE_IBitmap& bm)
{
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = (png_uint_32)bm.getWidth();
  img.height = (png_uint_32)bm.getHeight();
  img.format = PNG_FORMAT_BGRA;
  png_alloc_size_t size = 0;
  const png_int_32 stride = bm.getRowSpan() * 4;
  png_image_write_to_memory(&img, nullptr, &size, 0, bm.getBits(), stride, nullptr);
  std::vector<unsigned char> out(size);
  if (!png_image_write_to_memory(&img, out.data(), &size, 0, bm.getBits(), stride, nullptr))
    out.clear();
  out.resize(size);
  return out;
}

// Editor-like artwork: a shaded panel with grain, and a strip of knobs at 31 angles.
const std::vector<unsigned char>& Image(int which)
{
  static std::vector<unsigned char> images[2];
  if (images[which].empty())
  {
    if (which == 0)
    {
      LICE_MemBitmap bm(kW, kH);
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
        {
          const int grain = (int)(Hash((uint32_t)(y * kW + x)) & 15);
          const int v = 40 + y / 4 + grain;
          bm.getBits()[y * bm.getRowSpan() + x] = LICE_RGBA(v + 20, v + 10, v, 255);
        }
      for (int i = 0; i < 7; ++i)
        LICE_FillCircle(&bm, 80.0f + i * 140, 140, 50, 0xFF202020u, 1.0f, LICE_COMBINE_COPY, true);
      images[0] = Encode(bm);
    }
    else
    {
      LICE_MemBitmap bm(kKnob, kKnob * kFrames);
      LICE_Clear(&bm, 0);
      for (int f = 0; f < kFrames; ++f)
      {
        const float cx = kKnob / 2.0f, cy = kKnob / 2.0f + f * kKnob;
        LICE_FillCircle(&bm, cx, cy, 20, 0xFF505860u, 1.0f, LICE_COMBINE_COPY, true);
        LICE_Circle(&bm, cx, cy, 20, 0xFF90A0B0u, 1.0f, LICE_COMBINE_COPY, true);
        const float a = -2.4f + 4.8f * f / (kFrames - 1);
        LICE_FLine(&bm, cx, cy, cx + 17 * std::sin(a), cy - 17 * std::cos(a), 0xFFFFFFFFu, 1.0f,
                   LICE_COMBINE_COPY, true);
      }
      images[1] = Encode(bm);
    }
  }
  return images[which];
}

int Pixels(int which)
{
  return which == 0 ? kW * kH : kKnob * kKnob * kFrames;
}

void BM_DecodeOurs(benchmark::State& state)
{
  const std::vector<unsigned char>& png = Image((int)state.range(0));
  LICE_MemBitmap bm;
  for (auto _ : state)
  {
    if (!LICE_LoadPNGFromMemory(png.data(), (int)png.size(), &bm))
      state.SkipWithError("decode failed");
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * Pixels((int)state.range(0)));
}
BENCHMARK(BM_DecodeOurs)->Arg(0)->Arg(1);

void BM_DecodeSimplified(benchmark::State& state)
{
  const std::vector<unsigned char>& png = Image((int)state.range(0));
  std::vector<uint32_t> out((size_t)Pixels((int)state.range(0)));
  for (auto _ : state)
  {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, png.data(), png.size()))
    {
      state.SkipWithError("begin failed");
      break;
    }
    img.format = PNG_FORMAT_BGRA;
    if (!png_image_finish_read(&img, nullptr, out.data(), 0, nullptr))
      state.SkipWithError("read failed");
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * Pixels((int)state.range(0)));
}
BENCHMARK(BM_DecodeSimplified)->Arg(0)->Arg(1);

struct Segment
{
  float x1, y1, x2, y2;
};
const std::vector<Segment>& RandomLines()
{
  static std::vector<Segment> lines;
  if (lines.empty())
    for (uint32_t i = 0; i < kLines; ++i)
    {
      auto coord = [&](uint32_t salt, int range)
      { return (float)(Hash(i * 4 + salt) % (uint32_t)(range * 16)) / 16.0f; };
      lines.push_back({coord(0, kW), coord(1, kH), coord(2, kW), coord(3, kH)});
    }
  return lines;
}

// range(0): 0 plain LICE_Line, 1 anti-aliased LICE_Line, 2 anti-aliased LICE_FLine.
void BM_Lines(benchmark::State& state)
{
  const std::vector<Segment>& lines = RandomLines();
  LICE_MemBitmap bm(kW, kH);
  LICE_Clear(&bm, 0xFF000000u);
  const int kind = (int)state.range(0);
  for (auto _ : state)
  {
    for (const Segment& s : lines)
    {
      if (kind == 2)
        LICE_FLine(&bm, s.x1, s.y1, s.x2, s.y2, 0xFFC0E0FFu, 0.8f, LICE_COMBINE_COPY, true);
      else
        LICE_Line(&bm, (int)s.x1, (int)s.y1, (int)s.x2, (int)s.y2, 0xFFC0E0FFu, 0.8f,
                  LICE_COMBINE_COPY, kind == 1);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * kLines);
}
BENCHMARK(BM_Lines)->Arg(0)->Arg(1)->Arg(2);

} // namespace

int main(int argc, char** argv)
{
  const std::string heading = "Decoding in Mpixel/s, lines in Mlines/s, and ratios:";
  RatioReporter reporter(heading,
                         [](RatioReporter& r)
                         {
                           r.Ratio("LICE_LoadPNGFromMemory 1024x285", "BM_DecodeOurs/0",
                                   "libpng simplified", "BM_DecodeSimplified/0");
                           r.Ratio("LICE_LoadPNGFromMemory knob strip", "BM_DecodeOurs/1",
                                   "libpng simplified", "BM_DecodeSimplified/1");
                           r.Ratio("LICE_Line aa", "BM_Lines/1", "LICE_Line plain", "BM_Lines/0");
                           r.Ratio("LICE_FLine aa", "BM_Lines/2", "LICE_Line aa", "BM_Lines/1");
                         });
  return RunBenchmarksWithRatios(argc, argv, reporter);
}
