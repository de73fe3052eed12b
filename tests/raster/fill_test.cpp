// Rectangles, gradients, trapezoids, polygons and the flood fill.
#include <climits>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "support/Sanitized.h"
#include "support/golden.h"
#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster_test_util.h"

using raster_test::GuardedBitmap;
using torva_test::Rng;
using torva_test::Scaled;

namespace
{

// A checkerboard with some alpha, so that fills over it show every rule's effect.
void Checker(LICE_IBitmap& bm)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
      LICE_PutPixel(&bm, x, y, ((x / 8 + y / 8) & 1) ? 0xFF606060u : 0x80C0C0C0u, 1.0f, 0);
}

// The row spans a fill drew: for each row the first and last changed column (-1 when none).
std::vector<std::pair<int, int>> Spans(const GuardedBitmap& bm)
{
  std::vector<std::pair<int, int>> spans;
  for (int y = 0; y < bm.getHeight(); ++y)
  {
    int first = -1, last = -1;
    for (int x = 0; x < bm.getWidth(); ++x)
      if (LICE_GetPixel(&bm, x, y))
      {
        if (first < 0) first = x;
        last = x;
      }
    spans.push_back({first, last});
  }
  return spans;
}

} // namespace

TEST(FillRect, CommonWeightsUseWholeWordMixes)
{
  GuardedBitmap bm(3, 1);
  const LICE_pixel dest = 0x80808080u, c = 0x04080C10u;
  bm.at(0, 0) = bm.at(1, 0) = bm.at(2, 0) = dest;
  // 0.25: a quarter of the colour plus three quarters of the destination, on whole words.
  LICE_FillRect(&bm, 0, 0, 1, 1, c, 0.25f, LICE_COMBINE_COPY);
  EXPECT_EQ(bm.at(0, 0), lice_detail::QuarterMixWord(dest, c));
  EXPECT_EQ(bm.at(0, 0), 0x61626364u);
  LICE_FillRect(&bm, 1, 0, 1, 1, c, 1.0f, LICE_COMBINE_COPY);
  EXPECT_EQ(bm.at(1, 0), c);
  // Other weights: the copy rule with the weight itself as the source alpha, so the
  // destination alpha moves toward ia: 100 + (0x80 - 100) * 156 / 256 = 117.
  LICE_FillRect(&bm, 2, 0, 1, 1, c, 100 / 256.0f, LICE_COMBINE_COPY);
  EXPECT_EQ(LICE_GETA(bm.at(2, 0)), 117u);
  EXPECT_EQ(LICE_GETB(bm.at(2, 0)), (unsigned)(0x10 + (0x80 - 0x10) * 156 / 256));
  EXPECT_TRUE(bm.GuardsIntact());
}

TEST(FillRect, UseAlphaScalesByTheColourAlpha)
{
  GuardedBitmap bm(2, 1);
  bm.at(0, 0) = bm.at(1, 0) = 0x80808080u;
  // A colour of alpha 0 draws nothing at all.
  LICE_FillRect(&bm, 0, 0, 2, 1, 0x00FFFFFFu, 1.0f, LICE_COMBINE_COPY | LICE_COMBINE_USE_ALPHA);
  EXPECT_EQ(bm.at(0, 0), 0x80808080u);
  // Alpha 128 of 255 at 1.0 gives ia 128: the whole-word half mix.
  LICE_FillRect(&bm, 0, 0, 1, 1, 0x80FFFFFFu, 1.0f, LICE_COMBINE_COPY | LICE_COMBINE_USE_ALPHA);
  EXPECT_EQ(bm.at(0, 0), lice_detail::HalfMixWord(0x80808080u, 0x80FFFFFFu));
  // Opaque at 1.0 stores the colour word.
  LICE_FillRect(&bm, 1, 0, 1, 1, 0xFF123456u, 1.0f, LICE_COMBINE_ADD | LICE_COMBINE_USE_ALPHA);
  EXPECT_EQ(bm.at(1, 0), LICE_RGBA(0x80 + 0x12, 0x80 + 0x34, 0x80 + 0x56, 255));
}

TEST(FillRect, FullWeightHSVFillKeepsAnOpaqueAlpha)
{
  // A full-weight fill hands the rule 256 as its alpha; stored as a byte it would wrap to 0.
  GuardedBitmap bm(1, 1);
  bm.at(0, 0) = 0xFF808080u;
  LICE_FillRect(&bm, 0, 0, 1, 1, LICE_RGBA(192, 128, 128, 255), 1.0f, LICE_COMBINE_HSVADJUST);
  EXPECT_EQ(bm.at(0, 0), 0xFF808080u);
}

TEST(FillRect, MatchesReferenceUnderClippingFuzz)
{
  Rng rng(77);
  const float alphas[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.37f, 0.0f, 0.999f, 1.5f};
  for (int i = 0; i < Scaled(10000, 2000); ++i)
  {
    GuardedBitmap bm(rng.Int(0, 12), rng.Int(0, 12), rng.Chance(50), rng.Int(0, 3));
    raster_test::FillRandom(bm, rng);
    auto coord = [&rng]()
    { return rng.Chance(10) ? (rng.Chance(50) ? INT_MIN : INT_MAX - 3) : rng.Int(-20, 20); };
    const int x = coord(), y = coord(), w = coord(), h = coord();
    const LICE_pixel color = raster_test::ImagePixel(rng);
    const float alpha = alphas[rng.Int(0, 7)];
    const int mode = rng.Int(0, 6) | (rng.Chance(30) ? LICE_COMBINE_USE_ALPHA : 0);

    std::vector<LICE_pixel> want = raster_test::Pixels(bm);
    float a = alpha;
    if (mode & LICE_COMBINE_USE_ALPHA) a *= LICE_GETA(color) / 255.0f;
    const int ia = std::min(256, std::max(0, (int)(a * 256)));
    for (int yy = 0; yy < bm.getHeight(); ++yy)
      for (int xx = 0; xx < bm.getWidth(); ++xx)
      {
        if ((long long)xx < x || (long long)xx >= (long long)x + w || (long long)yy < y ||
            (long long)yy >= (long long)y + h || ia == 0)
          continue;
        LICE_pixel& p = want[(size_t)yy * bm.getWidth() + xx];
        if ((mode & 0xFF) == 0 && (ia == 64 || ia == 128 || ia == 192 || ia == 256))
        {
          p = ia == 64    ? lice_detail::QuarterMixWord(p, color)
              : ia == 128 ? lice_detail::HalfMixWord(p, color)
              : ia == 192 ? lice_detail::ThreeQuarterMixWord(p, color)
                          : color;
        }
        else
        {
          LICE_CombinePixels2(&p, (int)LICE_GETR(color), (int)LICE_GETG(color),
                              (int)LICE_GETB(color), ia, ia, mode & 0xFF);
          if ((mode & 0xFF) == 0 && ia == 256) p = color;
        }
      }
    LICE_FillRect(&bm, x, y, w, h, color, alpha, mode);
    ASSERT_TRUE(bm.GuardsIntact()) << i;
    ASSERT_EQ(raster_test::Pixels(bm), want)
        << "iteration " << i << " mode " << mode << " ia " << ia;
  }
}

TEST(GradRect, Golden)
{
  // Guards the gradient set-up: 16.16 channels, per-column and per-row steps, the weight
  // carried as alpha, the clamping copy and multiply forms, values beyond 0..1 saturating.
  LICE_MemBitmap bm(128, 96);
  Checker(bm);
  LICE_GradRect(&bm, 0, 0, 128, 32, 1.0f, 0.0f, 0.0f, 1.0f, -1.0f / 128, 1.0f / 128, 0.0f, 0.0f,
                0.0f, 0.0f, 1.0f / 32, 0.0f, LICE_COMBINE_COPY);
  LICE_GradRect(&bm, 0, 32, 128, 32, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f / 128, 0.02f,
                -0.02f, 0.0f, 0.0f, LICE_COMBINE_COPY);
  LICE_GradRect(&bm, -20, 64, 80, 32, -0.5f, 1.5f, 0.2f, 1.0f, 2.0f / 80, -2.0f / 80, 0.0f, 0.0f,
                0.0f, 0.0f, 0.03f, -0.02f, LICE_COMBINE_MUL);
  LICE_GradRect(&bm, 60, 64, 100, 40, 0.0f, 0.3f, 0.9f, 0.8f, 0.01f, 0.0f, -0.01f, 0.0f, 0.0f,
                0.01f, 0.0f, 0.0f, LICE_COMBINE_ADD);
  ExpectMatchesGolden(bm, "fill_gradrect",
                      "LICE_GradRect: copy with alpha ramps, clamped multiply "
                      "from a clipped origin, add");
}

TEST(GradRect, ClippingDoesNotShiftTheGradient)
{
  // Drawn from (-10, -7) into a small bitmap, the gradient must equal the matching part of the
  // same gradient drawn whole into a larger one.
  LICE_MemBitmap whole(60, 50), clipped(40, 30);
  LICE_Clear(&whole, 0x80406080u);
  LICE_Clear(&clipped, 0x80406080u);
  auto draw = [](LICE_IBitmap* bm, int x, int y)
  {
    LICE_GradRect(bm, x, y, 60, 50, 0.1f, 0.8f, 0.3f, 0.9f, 0.011f, -0.007f, 0.004f, 0.0f, 0.003f,
                  0.012f, -0.002f, -0.01f, LICE_COMBINE_COPY);
  };
  draw(&whole, 0, 0);
  draw(&clipped, -10, -7);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(LICE_GetPixel(&clipped, x, y), LICE_GetPixel(&whole, x + 10, y + 7))
          << x << "," << y;
}

TEST(FillTrapezoid, OneRowCoversOnlyTheFirstSpan)
{
  GuardedBitmap bm(10, 3);
  LICE_FillTrapezoid(&bm, 6, 2, 1, 0, 9, 1, 0xFFFFFFFFu, 1.0f, 0);
  EXPECT_EQ(Spans(bm), (std::vector<std::pair<int, int>>{{-1, -1}, {2, 6}, {-1, -1}}));
}

TEST(FillTrapezoid, EdgesRunFromTheFirstSpanToTheLast)
{
  GuardedBitmap bm(12, 6, /*flipped=*/true);
  // Left edge 2 -> 0 and right edge 5 -> 9 over rows 1..4; given bottom-up it is swapped.
  LICE_FillTrapezoid(&bm, 0, 9, 4, 2, 5, 1, 0xFFFFFFFFu, 1.0f, 0);
  // Slopes per row: left -2/3, right 4/3 (rounded up in magnitude, so the last row reaches
  // its span); edges move once their fraction reaches a whole pixel.
  EXPECT_EQ(Spans(bm),
            (std::vector<std::pair<int, int>>{{-1, -1}, {2, 5}, {2, 6}, {1, 7}, {0, 9}, {-1, -1}}));
  EXPECT_TRUE(bm.GuardsIntact());
}

TEST(FillTrapezoid, FirstAndLastRowsMatchTheirSpans)
{
  // Whatever the slopes and clipping, the rows y1 and y2 (when visible) span exactly what was
  // asked, limited to the bitmap.
  Rng rng(31);
  for (int i = 0; i < Scaled(3000, 600); ++i)
  {
    GuardedBitmap bm(40, 40);
    const int y1 = rng.Int(-30, 45), y2 = rng.Int(-30, 45);
    const int x1a = rng.Int(-30, 70), x1b = rng.Int(-30, 70), x2a = rng.Int(-30, 70),
              x2b = rng.Int(-30, 70);
    LICE_FillTrapezoid(&bm, x1a, x1b, y1, x2a, x2b, y2, 0xFF0000FFu, 1.0f, 0);
    ASSERT_TRUE(bm.GuardsIntact());
    const auto spans = Spans(bm);
    auto expect = [&](int y, int a, int b)
    {
      if (y < 0 || y >= 40) return;
      const int l = std::max(std::min(a, b), 0), r = std::min(std::max(a, b), 39);
      if (l > r)
      {
        ASSERT_EQ(spans[y].first, -1) << i;
      }
      else
      {
        ASSERT_EQ(spans[y], std::make_pair(l, r)) << i << " row " << y;
      }
    };
    if (y1 == y2)
    {
      expect(y1, x1a, x1b);
    }
    else
    {
      expect(y1, x1a, x1b);
      expect(y2, x2a, x2b);
    }
  }
}

TEST(FillTrapezoid, ColourAlphaIsTheSourceAlphaOfPartialFills)
{
  GuardedBitmap a(1, 1), b(1, 1);
  a.at(0, 0) = b.at(0, 0) = 0x10203040u;
  LICE_FillTrapezoid(&a, 0, 0, 0, 0, 0, 0, 0x80FF8000u, 0.3f,
                     LICE_COMBINE_COPY | LICE_COMBINE_USE_ALPHA);
  LICE_CombinePixels2(&b.at(0, 0), 0xFF, 0x80, 0x00, 0x80, 76, LICE_COMBINE_COPY);
  EXPECT_EQ(a.at(0, 0), b.at(0, 0));
  LICE_FillTrapezoid(&a, 0, 0, 0, 0, 0, 0, 0x80FF8000u, 0.5f, LICE_COMBINE_COPY);
  EXPECT_EQ(a.at(0, 0), lice_detail::HalfMixWord(b.at(0, 0), 0x80FF8000u));
}

TEST(FillConvexPolygon, TooFewPointsDrawNothing)
{
  GuardedBitmap bm(8, 8);
  const int x[2] = {0, 7}, y[2] = {0, 7};
  LICE_FillConvexPolygon(&bm, x, y, 2, 0xFFFFFFFFu, 1.0f, 0);
  LICE_FillConvexPolygon(&bm, x, y, 0, 0xFFFFFFFFu, 1.0f, 0);
  LICE_FillConvexPolygon(&bm, nullptr, nullptr, 3, 0xFFFFFFFFu, 1.0f, 0);
  EXPECT_EQ(Spans(bm), (std::vector<std::pair<int, int>>(8, {-1, -1})));
}

TEST(FillConvexPolygon, TriangleIsIndependentOfPointOrder)
{
  GuardedBitmap first(20, 20);
  LICE_FillTriangle(&first, 2, 3, 17, 8, 6, 18, 0xFFFFFFFFu, 1.0f, 0);
  const int px[3] = {2, 17, 6}, py[3] = {3, 8, 18};
  const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (const auto& o : orders)
  {
    GuardedBitmap other(20, 20);
    LICE_FillTriangle(&other, px[o[0]], py[o[0]], px[o[1]], py[o[1]], px[o[2]], py[o[2]],
                      0xFFFFFFFFu, 1.0f, 0);
    EXPECT_EQ(LICE_BitmapCmp(&first, &other), 0);
  }
  const auto spans = Spans(first);
  // Vertex rows contain their vertices; nothing outside rows 3..18.
  EXPECT_EQ(spans[3], std::make_pair(2, 2));
  EXPECT_EQ(spans[8].second, 17);
  EXPECT_EQ(spans[18], std::make_pair(6, 6));
  EXPECT_EQ(spans[2].first, -1);
  EXPECT_EQ(spans[19].first, -1);
  // Every row in between is one unbroken span (the fill is convex).
  for (int y = 3; y <= 18; ++y)
    for (int x = spans[y].first; x <= spans[y].second; ++x) ASSERT_NE(first.at(x, y), 0u);
}

TEST(FillConvexPolygon, PointsOnOneRowFillThatRow)
{
  GuardedBitmap bm(10, 3);
  const int x[4] = {5, 1, 8, 3}, y[4] = {1, 1, 1, 1};
  LICE_FillConvexPolygon(&bm, x, y, 4, 0xFFFFFFFFu, 1.0f, 0);
  EXPECT_EQ(Spans(bm), (std::vector<std::pair<int, int>>{{-1, -1}, {1, 8}, {-1, -1}}));
}

TEST(FillConvexPolygon, SixHundredPointCircleFills)
{
  // More points than the stack buffer holds; the fill must still follow the outline.
  constexpr int kPoints = 600;
  std::vector<int> x(kPoints), y(kPoints);
  for (int i = 0; i < kPoints; ++i)
  {
    const double t = 2 * M_PI * i / kPoints;
    x[i] = (int)std::lround(50 + 40 * std::cos(t));
    y[i] = (int)std::lround(50 + 40 * std::sin(t));
  }
  GuardedBitmap bm(100, 100);
  LICE_FillConvexPolygon(&bm, x.data(), y.data(), kPoints, 0xFFFFFFFFu, 1.0f, 0);
  const auto spans = Spans(bm);
  for (int row = 0; row < 100; ++row)
  {
    const double dy = row - 50.0;
    if (std::fabs(dy) > 40)
    {
      EXPECT_EQ(spans[row].first, -1) << row;
      continue;
    }
    // The outline's points are rounded, so a row reaches half a pixel further toward the
    // circle's edge than its centre line.
    const double edge = std::max(0.0, std::fabs(dy) - 0.5);
    const double half = std::sqrt(40.0 * 40.0 - edge * edge);
    EXPECT_NEAR(spans[row].first, 50 - half, 2.5) << row;
    EXPECT_NEAR(spans[row].second, 50 + half, 2.5) << row;
    for (int col = spans[row].first; col <= spans[row].second; ++col)
      ASSERT_NE(bm.at(col, row), 0u);
  }
}

TEST(FillConvexPolygon, ArbitraryPointsStayInsideTheBitmap)
{
  // Non-convex, repeated and far-away points: the walk must end and write nothing outside.
  Rng rng(55);
  for (int i = 0; i < Scaled(3000, 500); ++i)
  {
    GuardedBitmap bm(rng.Int(1, 30), rng.Int(1, 30), rng.Chance(50));
    const int n = rng.Int(3, 12);
    std::vector<int> x(n), y(n);
    for (int k = 0; k < n; ++k)
    {
      x[k] = rng.Chance(5) ? (rng.Chance(50) ? INT_MIN : INT_MAX) : rng.Int(-40, 70);
      y[k] = rng.Chance(5) ? (rng.Chance(50) ? INT_MIN : INT_MAX) : rng.Int(-40, 70);
    }
    LICE_FillConvexPolygon(&bm, x.data(), y.data(), n, 0xFFFFFFFFu, rng.Chance(50) ? 1.0f : 0.3f,
                           rng.Int(0, 5));
    ASSERT_TRUE(bm.GuardsIntact()) << i;
  }
}

TEST(FillConvexPolygon, Golden)
{
  // Guards the polygon walk (chain choice, bands between vertex rows, trapezoid edges), the
  // whole-word and per-pixel fill rules, and clipping at every border.
  LICE_MemBitmap bm(128, 96);
  Checker(bm);
  LICE_FillTriangle(&bm, 4, 4, 60, 12, 20, 44, 0xFFE04020u, 1.0f, LICE_COMBINE_COPY);
  LICE_FillTriangle(&bm, 70, 2, 124, 40, 66, 40, 0xFF20A0E0u, 0.5f, LICE_COMBINE_COPY);
  const int hx[6] = {30, 50, 60, 50, 30, 20}, hy[6] = {50, 50, 70, 90, 90, 70};
  LICE_FillConvexPolygon(&bm, hx, hy, 6, 0xFF30C040u, 0.37f, LICE_COMBINE_COPY);
  std::vector<int> cx, cy;
  for (int i = 0; i < 600; ++i)
  {
    cx.push_back((int)std::lround(100 + 40 * std::cos(2 * M_PI * i / 600)));
    cy.push_back((int)std::lround(75 + 30 * std::sin(2 * M_PI * i / 600)));
  }
  LICE_FillConvexPolygon(&bm, cx.data(), cy.data(), 600, 0xFF8040FFu, 0.25f, LICE_COMBINE_COPY);
  LICE_FillTriangle(&bm, -30, 60, 25, 95, -10, 140, 0xFFFFFF00u, 0.8f, LICE_COMBINE_ADD);
  LICE_FillTrapezoid(&bm, 64, 90, 44, 70, 84, 60, 0xFF000000u, 0.75f, LICE_COMBINE_COPY);
  ExpectMatchesGolden(bm, "fill_polygons",
                      "LICE_FillTriangle, LICE_FillConvexPolygon (6 and 600 "
                      "points) and LICE_FillTrapezoid at several weights and rules, clipped");
}

TEST(SimpleFill, SpreadsAlongRowsWhileTheSeedColumnMatches)
{
  // . . # . .      the seed at (1, 1) fills its run on each row down and up while column 1
  // . S # . .      still matches; the wall at column 2 stops the runs, and row 3 (wall under
  // . . # . .      the seed column) ends the walk downwards.
  // # # # . .
  // . . . . .
  GuardedBitmap bm = raster_test::Filled(5, 5, 0x00000011u);
  for (int y = 0; y < 4; ++y) bm.at(2, y) = 0xFF000000u;
  bm.at(0, 3) = bm.at(1, 3) = 0xFF000000u;
  LICE_SimpleFill(&bm, 1, 1, 0x00AB0000u, 0x00FFFFFFu, 0x000000FFu);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x)
    {
      const bool filled = y <= 2 && x <= 1;
      const LICE_pixel original =
          (x == 2 && y < 4) || (y == 3 && x < 2) ? 0xFF000000u : 0x00000011u;
      EXPECT_EQ(bm.at(x, y), filled ? 0x00AB0011u : original) << x << "," << y;
    }
  LICE_SimpleFill(&bm, -1, 0, 0, 0, 0);
  LICE_SimpleFill(&bm, 5, 0, 0, 0, 0);
  EXPECT_TRUE(bm.GuardsIntact());
}
