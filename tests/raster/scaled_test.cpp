// LICE_ScaledBlit: the bilinear word mix against its per-channel formula, hand-computed samples,
// the box reduction against the plain mean, mirroring, clipping, absurd inputs and golden
// pictures. Bottom-up bitmaps: bitmap_test.cpp.

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster/lice_sampling.h"
#include "raster_test_util.h"
#include "scaled_test_util.h"
#include "support/Sanitized.h"
#include "support/golden.h"

using namespace scaled_test;

// The word-wide bilinear mix (two channels per multiply, or SIMD) against the formula per
// channel, over random pixels and fractions including the extremes 0 and 65535.
TEST(BilinearSampling, WordMixesMatchThePerChannelFormula)
{
  Rng rng(3);
  const uint32_t edges[] = {0, 1, 255, 256, 32768, 65279, 65535};
  const int n = torva_test::Scaled(2000000, 300000);
  for (int i = 0; i < n; ++i)
  {
    const LICE_pixel p[4] = {rng.U32(), rng.U32(), rng.U32(), rng.U32()};
    const uint32_t fx = i % 3 ? rng.U32() & 0xFFFF : edges[rng.Int(0, 6)];
    const uint32_t fy = i % 5 ? rng.U32() & 0xFFFF : edges[rng.Int(0, 6)];
    const int64_t x = fx, y = fy, xy = (x * y) >> 16;
    const int64_t w[4] = {65536 - x - y + xy, x - xy, y - xy, xy};
    LICE_pixel four = 0, across = 0, down = 0;
    for (int shift = 0; shift < 32; shift += 8)
    {
      int64_t sum = 0;
      for (int k = 0; k < 4; ++k) sum += Chan(p[k], shift) * w[k];
      four |= (LICE_pixel)(sum >> 16) << shift;
      across |= (LICE_pixel)((Chan(p[0], shift) * (65536 - x) + Chan(p[1], shift) * x) >> 16)
                << shift;
      down |= (LICE_pixel)((Chan(p[0], shift) * (65536 - y) + Chan(p[2], shift) * y) >> 16)
              << shift;
    }
    ASSERT_EQ(lice_detail::Lerp4(p[0], p[1], p[2], p[3], fx, fy), four) << fx << "," << fy;
    ASSERT_EQ(lice_detail::Lerp2(p[0], p[1], fx), across) << fx;
    ASSERT_EQ(lice_detail::Lerp2(p[0], p[2], fy), down) << fy;
  }
}

TEST(ScaledBlit, EqualSizesAtWholePixelsAreBlit)
{
  GuardedBitmap src = RandomBitmap(20, 15, 1);
  struct Case
  {
    float sx, sy;
    int dstw, dsth, mode;
    float alpha;
    int blitx, blity;
  } cases[] = {
      {4, 2, 12, 9, LICE_COMBINE_COPY, 1.0f, 4, 2},
      {4, 2, 12, 9, LICE_COMBINE_USE_ALPHA, 1.0f, 4, 2},
      {4, 2, 12, 9, LICE_COMBINE_ADD, 0.3f, 4, 2},
      {4, 2, 12, 9, LICE_COMBINE_COPY, 0.5f, 4, 2},
      // With the filter only origins within 0.03 above a whole pixel count as whole.
      {4.02f, 2.01f, 12, 9, LICE_COMBINE_FILTER_BILINEAR, 0.7f, 4, 2},
      // Without it the origin is rounded, also left of and above the source.
      {3.6f, 1.5f, 12, 9, LICE_COMBINE_COPY, 1.0f, 4, 2},
      {-3.0f, -2.2f, 12, 9, LICE_COMBINE_COPY, 1.0f, -3, -2},
  };
  for (const Case& c : cases)
  {
    GuardedBitmap a = RandomBitmap(16, 12, 2), b = RandomBitmap(16, 12, 2);
    LICE_ScaledBlit(&a, &src, 3, -2, c.dstw, c.dsth, c.sx, c.sy, (float)c.dstw, (float)c.dsth,
                    c.alpha, c.mode);
    LICE_Blit(&b, &src, 3, -2, c.blitx, c.blity, c.dstw, c.dsth, c.alpha, c.mode);
    EXPECT_TRUE(SamePicture(a, b)) << "srcx " << c.sx << " mode " << c.mode;
  }
  // Negative destination and source sizes together are an unmirrored copy of the area to the
  // left of and above the given corners.
  GuardedBitmap a = RandomBitmap(16, 12, 3), b = RandomBitmap(16, 12, 3);
  LICE_ScaledBlit(&a, &src, 15, 10, -12, -9, 16, 11, -12, -9, 1.0f, 0);
  LICE_Blit(&b, &src, 3, 1, 4, 2, 12, 9, 1.0f, 0);
  EXPECT_TRUE(SamePicture(a, b));
}

TEST(ScaledBlit, BilinearSamplesAtHalfPixels)
{
  GuardedBitmap src(3, 2);
  src.at(0, 0) = 0xFF0A141E, src.at(1, 0) = 0x806EDD1F, src.at(2, 0) = 0x00C800FF;
  src.at(0, 1) = 0x40FF0000, src.at(1, 1) = 0x20010203, src.at(2, 1) = 0xFF64C832;

  // Half a pixel to the right in a one-row window: pairs are averaged per channel (rounded
  // down), the last column is taken as it is.
  GuardedBitmap row(3, 1);
  LICE_ScaledBlit(&row, &src, 0, 0, 3, 1, 0.5f, 0, 3, 1, 1.0f, LICE_COMBINE_FILTER_BILINEAR);
  EXPECT_EQ(row.at(0, 0), 0xBF3C781Eu);
  EXPECT_EQ(row.at(1, 0), 0x409B6E8Fu);
  EXPECT_EQ(row.at(2, 0), 0x00C800FFu);

  // The middle of a 2 x 2 block: a quarter of each.
  GuardedBitmap mid(1, 1);
  LICE_ScaledBlit(&mid, &src, 0, 0, 1, 1, 0.5f, 0.5f, 1, 1, 1.0f, LICE_COMBINE_FILTER_BILINEAR);
  EXPECT_EQ(mid.at(0, 0), 0x775E3C10u);

  // Half a pixel down in the window's last column: only rows are mixed.
  GuardedBitmap col(1, 1);
  LICE_ScaledBlit(&col, &src, 0, 0, 1, 1, 2, 0.5f, 1, 1, 1.0f, LICE_COMBINE_FILTER_BILINEAR);
  EXPECT_EQ(col.at(0, 0), 0x7F966498u);
}

TEST(ScaledBlit, NegativeSizesDrawTheExactMirrorImage)
{
  GuardedBitmap src3(3, 1);
  src3.at(0, 0) = 0xFF000001, src3.at(1, 0) = 0xFF000002, src3.at(2, 0) = 0xFF000003;
  GuardedBitmap small(5, 1);
  LICE_ScaledBlit(&small, &src3, 4, 0, -3, 1, 0, 0, 3, 1, 1.0f, 0);
  EXPECT_EQ(small.at(0, 0), 0u);
  EXPECT_EQ(small.at(1, 0), 0xFF000003u);
  EXPECT_EQ(small.at(2, 0), 0xFF000002u);
  EXPECT_EQ(small.at(3, 0), 0xFF000001u);
  EXPECT_EQ(small.at(4, 0), 0u);

  // Mirrored draws against the unmirrored ones, flipped: nearest and bilinear, scaled up,
  // equal and down (without the box filter, which only forward walks use). The scale factors
  // are exact in 16.16; others round the backward advance away from zero.
  GuardedBitmap src = RandomBitmap(14, 9, 5);
  struct Case
  {
    int mode, dw, dh;
  } cases[] = {{0, 12, 6},
               {0, 32, 16},
               {0, 6, 3},
               {LICE_COMBINE_FILTER_BILINEAR, 24, 12},
               {LICE_COMBINE_FILTER_BILINEAR, 32, 16},
               {LICE_COMBINE_FILTER_BILINEAR, 12, 6},
               {LICE_COMBINE_USE_ALPHA | LICE_COMBINE_FILTER_BILINEAR, 48, 24}};
  for (const Case& c : cases)
  {
    for (int flip = 1; flip < 4; ++flip)
    {
      const bool fx = flip & 1, fy = flip & 2;
      // A plain background, so that the blend does not depend on the position.
      GuardedBitmap plain = Filled(52, 30, 0x80336699), mirrored = plain, want = plain;
      const int x0 = 2, y0 = 3;
      LICE_ScaledBlit(&plain, &src, x0, y0, c.dw, c.dh, 1, 0, 12, 6, 0.8f, c.mode);
      LICE_ScaledBlit(&mirrored, &src, fx ? x0 + c.dw : x0, fy ? y0 + c.dh : y0, fx ? -c.dw : c.dw,
                      fy ? -c.dh : c.dh, 1, 0, 12, 6, 0.8f, c.mode);
      for (int y = 0; y < c.dh; ++y)
        for (int x = 0; x < c.dw; ++x)
          want.at(x0 + x, y0 + y) =
              plain.at(x0 + (fx ? c.dw - 1 - x : x), y0 + (fy ? c.dh - 1 - y : y));
      EXPECT_TRUE(SamePicture(mirrored, want))
          << "mode " << c.mode << " size " << c.dw << "x" << c.dh << " flip " << flip;
    }
  }
}

TEST(ScaledBlit, BilinearReductionsAverageTheNeighbourhood)
{
  GuardedBitmap src = RandomBitmap(24, 24, 7);
  // 2x and 3x average 3 x 3 pixels around each sample, 4x (an advance beyond 3) 5 x 5; taps
  // outside the source are left out of the mean.
  for (int factor : {2, 3, 4})
  {
    const int n = 24 / factor, r = factor > 3 ? 2 : 1;
    GuardedBitmap dest(n, n);
    LICE_ScaledBlit(&dest, &src, 0, 0, n, n, 0, 0, 24, 24, 1.0f, LICE_COMBINE_FILTER_BILINEAR);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
      {
        int sum[4] = {0, 0, 0, 0}, count = 0;
        for (int y = i * factor - r; y <= i * factor + r; ++y)
          for (int x = j * factor - r; x <= j * factor + r; ++x)
          {
            if (x < 0 || y < 0 || x >= 24 || y >= 24) continue;
            for (int k = 0; k < 4; ++k) sum[k] += Chan(src.at(x, y), k * 8);
            ++count;
          }
        LICE_pixel want = 0;
        for (int k = 0; k < 4; ++k) want |= (LICE_pixel)(sum[k] / count) << (k * 8);
        ASSERT_EQ(dest.at(j, i), want) << factor << "x at " << j << "," << i;
      }
  }
  // Without the filter a reduction picks every other pixel.
  GuardedBitmap nearest(12, 12);
  LICE_ScaledBlit(&nearest, &src, 0, 0, 12, 12, 0, 0, 24, 24, 1.0f, 0);
  for (int i = 0; i < 12; ++i)
    for (int j = 0; j < 12; ++j) ASSERT_EQ(nearest.at(j, i), src.at(2 * j, 2 * i));
}

TEST(ScaledBlit, PlainCopiesAtHalfAndFullWeightWorkOnWholeWords)
{
  GuardedBitmap src = Filled(4, 4, 0x01010101);
  src.at(0, 0) = 0x00123456;
  src.at(1, 0) = 0xFF010203;
  // Nearest at 0.5: the whole-word half mix, which loses the low bits (1 and 1 give 0).
  GuardedBitmap half = Filled(8, 8, 0x01010101);
  LICE_ScaledBlit(&half, &src, 0, 0, 8, 8, 0, 0, 4, 4, 0.5f, 0);
  EXPECT_EQ(half.at(7, 7), 0u);
  EXPECT_EQ(half.at(1, 1), 0x00091A2Bu);
  // With the filter the same weight goes through the copy rule: 1 and 1 stay 1.
  GuardedBitmap filtered = Filled(8, 8, 0x01010101);
  LICE_ScaledBlit(&filtered, &src, 0, 0, 8, 8, 0, 0, 4, 4, 0.5f, LICE_COMBINE_FILTER_BILINEAR);
  EXPECT_EQ(filtered.at(7, 7), 0x01010101u);
  // At 1.0 the word is stored, alpha 0 included; with the use-alpha bit that pixel is skipped.
  GuardedBitmap full = Filled(8, 8, 0xFF808080), sourceAlpha = full;
  LICE_ScaledBlit(&full, &src, 0, 0, 8, 8, 0, 0, 4, 4, 1.0f, 0);
  LICE_ScaledBlit(&sourceAlpha, &src, 0, 0, 8, 8, 0, 0, 4, 4, 1.0f, LICE_COMBINE_USE_ALPHA);
  EXPECT_EQ(full.at(1, 0), 0x00123456u);
  EXPECT_EQ(sourceAlpha.at(1, 0), 0xFF808080u);
  EXPECT_EQ(sourceAlpha.at(2, 0), 0xFF010203u);
}

TEST(ScaledBlit, ClippedDrawsMatchTheUnclippedOnes)
{
  GuardedBitmap src = RandomBitmap(16, 12, 9);
  const int bilinear = LICE_COMBINE_FILTER_BILINEAR;
  struct Case
  {
    int mode, dw, dh;
    float sx, sy, sw, sh;
  } cases[] = {
      {0, 32, 24, 0, 0, 16, 12},       {bilinear, 32, 24, 0, 0, 16, 12},
      {0, 64, 48, 0, 0, 16, 12},       {bilinear, 8, 6, 0, 0, 16, 12},
      {bilinear, 32, 24, 2, 1, 8, 6}, // the window ends inside the bitmap
      {0, -32, 24, 0, 0, 16, 12},      {LICE_COMBINE_ADD | bilinear, -32, -48, 0, 0, 16, 12},
      {bilinear, -32, -24, 2, 1, 8, 6}};
  // The small bitmap shows the big one's pixels from (ox, oy) on. (Scale factors exact in 16.16:
  // otherwise the clipped start, computed afresh, may round differently from the stepped one.)
  for (const Case& c : cases)
  {
    for (auto [ox, oy] : {std::pair{25, 27}, std::pair{3, 40}, std::pair{41, 6}})
    {
      GuardedBitmap big(90, 90), small(30, 30);
      FillBackground(big);
      FillBackground(small, ox, oy);
      const int x = 20 + (c.dw < 0 ? -c.dw : 0), y = 20 + (c.dh < 0 ? -c.dh : 0);
      LICE_ScaledBlit(&big, &src, x, y, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, 0.9f, c.mode);
      LICE_ScaledBlit(&small, &src, x - ox, y - oy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, 0.9f,
                      c.mode);
      for (int yy = 0; yy < 30; ++yy)
        for (int xx = 0; xx < 30; ++xx)
          ASSERT_EQ(small.at(xx, yy), big.at(xx + ox, yy + oy))
              << "mode " << c.mode << " " << c.dw << "x" << c.dh << " offset " << ox << "," << oy
              << " at " << xx << "," << yy;
    }
  }
}

TEST(ScaledBlit, SourceAreaBeyondTheBitmapDrawsOnlyItsPixels)
{
  GuardedBitmap src = RandomBitmap(10, 6, 13);
  GuardedBitmap dest(40, 12), before(40, 12);
  FillBackground(dest);
  FillBackground(before);
  // Columns sample -3, -2.5, ... 12.5: the first six and the last six lie outside the source;
  // all of the source's columns, its last one included, are drawn in between.
  LICE_ScaledBlit(&dest, &src, 0, 0, 32, 6, -3, 0, 16, 6, 1.0f, 0);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 40; ++x)
    {
      const bool drawn = y < 6 && x >= 6 && x < 26;
      EXPECT_EQ(dest.at(x, y), drawn ? src.at((x - 6) / 2, y) : before.at(x, y)) << x << "," << y;
    }
}

TEST(ScaledBlit, AbsurdNumbersDrawNothingOrOnlyWhatIsDefined)
{
  GuardedBitmap src = RandomBitmap(10, 8, 21);
  const std::vector<LICE_pixel> untouched = Pixels(RandomBitmap(16, 16, 22));
  struct Case
  {
    float sx, sy, sw, sh, alpha;
  } nothing[] = {{kNaN, 0, 10, 8, 1},   {0, kInf, 10, 8, 1}, {0, 0, -kInf, 8, 1},
                 {0, 0, 10, kNaN, 1},   {0, 0, 10, 8, kNaN}, {1e30f, 0, 10, 8, 1},
                 {0, -1e30f, 10, 8, 1}, {0, 0, 10, 8, 0},    {3e9f, 2, 10, 8, 1},
                 {-3e9f, 2, 10, 8, 1}};
  for (const Case& c : nothing)
  {
    for (int mode : {0, LICE_COMBINE_FILTER_BILINEAR})
    {
      GuardedBitmap dest = RandomBitmap(16, 16, 22);
      LICE_ScaledBlit(&dest, &src, 0, 0, 16, 16, c.sx, c.sy, c.sw, c.sh, c.alpha, mode);
      LICE_ScaledBlit(&dest, &src, 0, 0, 10, 8, c.sx, c.sy, c.sw, c.sh, c.alpha, mode);
      EXPECT_EQ(Pixels(dest), untouched) << c.sx << " " << c.sy << " " << c.sw << " " << c.sh;
    }
  }
  // A huge scale factor: the first column samples the source, every later one lies beyond it.
  // (At 1e30 the positions would leave the fixed-point range, and nothing is drawn.)
  GuardedBitmap dest = RandomBitmap(16, 16, 22);
  LICE_ScaledBlit(&dest, &src, 0, 0, 16, 8, 2, 0, 1e30f, 8, 1.0f, 0);
  EXPECT_EQ(Pixels(dest), untouched);
  LICE_ScaledBlit(&dest, &src, 0, 0, 16, 8, 2, 0, 1e9f, 8, 1.0f, 0);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      EXPECT_EQ(dest.at(x, y), x == 0 && y < 8 ? src.at(2, y) : untouched[y * 16 + x]);
  // A vanishing one: every column samples the same source column.
  LICE_ScaledBlit(&dest, &src, 0, 0, 16, 8, 2.5f, 0, 1e-30f, 8, 1.0f, 0);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(dest.at(x, 3), src.at(2, 3));
}

TEST(ScaledBlit, RandomGeometryStaysInsideTheBitmaps)
{
  FuzzBlits(31, 8,
            [](GuardedBitmap& dest, const GuardedBitmap& src, const FuzzCall& c, Rng&, FuzzNumbers&)
            {
              LICE_ScaledBlit(&dest, &src, c.dstx, c.dsty, c.dstw, c.dsth, c.sx, c.sy, c.sw, c.sh,
                              c.alpha, c.mode);
              return "LICE_ScaledBlit";
            });
}

TEST(ScaledBlit, GoldenPictures)
{
  const GuardedBitmap pattern = Pattern(16, 12);
  {
    GuardedBitmap canvas = Filled(96, 64, 0xFF404040);
    LICE_ScaledBlit(&canvas, &pattern, 2, 2, 40, 30, 0, 0, 16, 12, 1.0f, 0);
    LICE_ScaledBlit(&canvas, &pattern, 44, 2, 10, 7, 0, 0, 16, 12, 1.0f, 0);
    LICE_ScaledBlit(&canvas, &pattern, 94, 2, -37, 23, 0, 0, 16, 12, 1.0f, LICE_COMBINE_USE_ALPHA);
    LICE_ScaledBlit(&canvas, &pattern, 2, 34, 56, 28, 2.5f, 1.5f, 11, 9, 0.5f, 0);
    LICE_ScaledBlit(&canvas, &pattern, 60, 62, 34, -28, 0, 0, 16, 12, 1.0f, LICE_COMBINE_ADD);
    ExpectMatchesGolden(canvas, "scaled_nearest",
                        "Nearest-pixel scaling: 2.5x up, 0.6x down, horizontally mirrored with "
                        "source alpha, an offset source area at half weight (whole-word mix), "
                        "and a vertically mirrored add.");
  }
  {
    GuardedBitmap canvas = Filled(112, 64, 0xFF404040);
    const int bilinear = LICE_COMBINE_FILTER_BILINEAR;
    LICE_ScaledBlit(&canvas, &pattern, 2, 2, 48, 36, 0, 0, 16, 12, 1.0f, bilinear);
    LICE_ScaledBlit(&canvas, &pattern, 52, 2, 21, 15, 0, 0, 16, 12, 1.0f, bilinear);
    LICE_ScaledBlit(&canvas, &pattern, 52, 20, 58, 42, 0.5f, 0.25f, 15, 11.5f, 1.0f,
                    bilinear | LICE_COMBINE_USE_ALPHA);
    LICE_ScaledBlit(&canvas, &pattern, 2, 40, 48, 22, 4, 3, 6, 4, 0.75f, bilinear);
    ExpectMatchesGolden(canvas, "scaled_bilinear",
                        "Bilinear scaling: 3x and 1.3x up, a sub-pixel source area with source "
                        "alpha, and a zoomed-in area at 0.75 (edge rules of the last row and "
                        "column).");
  }
  {
    GuardedBitmap big(96, 72);
    for (int y = 0; y < 72; ++y)
      for (int x = 0; x < 96; ++x)
      {
        const int stripe = ((x + y) % 6) < 3 ? 255 : 0;
        const int ring = ((x - 48) * (x - 48) + (y - 36) * (y - 36)) / 40 % 2;
        big.at(x, y) = LICE_RGBA(stripe, ring * 255, x * 255 / 95, 255 - y);
      }
    GuardedBitmap canvas = Filled(88, 40, 0xFF202020);
    const int bilinear = LICE_COMBINE_FILTER_BILINEAR;
    LICE_ScaledBlit(&canvas, &big, 0, 0, 48, 36, 0, 0, 96, 72, 1.0f, bilinear);
    LICE_ScaledBlit(&canvas, &big, 50, 0, 24, 18, 0, 0, 96, 72, 1.0f, bilinear);
    LICE_ScaledBlit(&canvas, &big, 50, 20, 32, 18, 0, 0, 96, 72, 1.0f, bilinear);
    LICE_ScaledBlit(&canvas, &big, 76, 0, 12, 18, 0, 0, 96, 72, 1.0f, 0);
    ExpectMatchesGolden(canvas, "scaled_reduction",
                        "Box-filtered reductions of fine stripes and rings: 2x (3 x 3 taps), 4x "
                        "(5 x 5), 3x across and 4x down, beside a nearest-pixel 8x reduction.");
  }
}
