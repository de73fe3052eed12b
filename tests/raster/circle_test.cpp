// Circles, arcs, rounded rectangles and Bezier curves: a midpoint circle drawn by hand, the
// fixed small-circle masks, fills that blend every pixel once, arcs limited to their quarter,
// and golden pictures of the whole family. Random shapes far outside the bitmap, and on bottom-up
// bitmaps: bitmap_test.cpp.
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/golden.h"
#include "raster/lice_lines.h"
#include "raster_test_util.h"

namespace
{

using raster_test::Filled;
using raster_test::GuardedBitmap;
using torva_test::Rng;

constexpr LICE_pixel kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu;
constexpr float kPi = 3.14159265f;

// '#' where the pixel differs from bg, '.' elsewhere, one string per row.
std::vector<std::string> Picture(GuardedBitmap& bm, LICE_pixel bg)
{
  std::vector<std::string> rows;
  for (int y = 0; y < bm.getHeight(); ++y)
  {
    std::string r;
    for (int x = 0; x < bm.getWidth(); ++x) r += bm.at(x, y) == bg ? '.' : '#';
    rows.push_back(r);
  }
  return rows;
}

TEST(Circle, MidpointOutlineAndFill)
{
  const std::vector<std::string> ring = {
      "...#####...", "..#.....#..", ".#.......#.", "#.........#", "#.........#", "#.........#",
      "#.........#", "#.........#", ".#.......#.", "..#.....#..", "...#####...",
  };
  GuardedBitmap bm = Filled(11, 11, kBlack);
  LICE_Circle(&bm, 5.0f, 5.0f, 5.0f, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(Picture(bm, kBlack), ring);

  // The fill covers the ring and everything inside it, each row one run.
  GuardedBitmap fill = Filled(11, 11, kBlack);
  LICE_FillCircle(&fill, 5.0f, 5.0f, 5.0f, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  const std::vector<std::string> solid = Picture(fill, kBlack);
  for (int y = 0; y < 11; ++y)
  {
    const size_t a = ring[y].find('#'), b = ring[y].rfind('#');
    EXPECT_EQ(solid[y],
              std::string(a, '.') + std::string(b - a + 1, '#') + std::string(10 - b, '.'));
  }

  // Centre pixel: (int)(c + 0.5).
  GuardedBitmap moved = Filled(11, 11, kBlack);
  LICE_Circle(&moved, 4.5f, 4.6f, 5.0f, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(Picture(moved, kBlack), ring);

  GuardedBitmap dot = Filled(3, 3, kBlack);
  LICE_Circle(&dot, 1, 1, 0.2f, kWhite, 0.5f, LICE_COMBINE_ADD, false);
  EXPECT_EQ(Picture(dot, kBlack), (std::vector<std::string>{"...", ".#.", "..."}));
  EXPECT_EQ(dot.at(1, 1), LICE_RGBA(127, 127, 127, 255)); // added once, not four times
}

TEST(Circle, NothingForNegativeOrInvalidInput)
{
  GuardedBitmap bm = Filled(20, 20, kBlack);
  const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
  for (bool aa : {false, true})
  {
    LICE_Circle(&bm, 10, 10, -1.0f, kWhite, 1.0f, 0, aa);
    LICE_FillCircle(&bm, 10, 10, -0.5f, kWhite, 1.0f, 0, aa);
    LICE_Circle(&bm, nan, 10, 5, kWhite, 1.0f, 0, aa);
    LICE_FillCircle(&bm, 10, 10, nan, kWhite, 1.0f, 0, aa);
    LICE_FillCircle(&bm, inf, 10, 5, kWhite, 1.0f, 0, aa);
    LICE_Circle(&bm, 10, 10, 5, kWhite, 0.0f, 0, aa);
    LICE_Arc(&bm, 10, 10, 5, 1.0f, 1.0f, kWhite, 1.0f, 0, aa); // empty span
    LICE_Arc(&bm, 10, 10, 5, 0, nan, kWhite, 1.0f, 0, aa);
    LICE_Circle(&bm, -10, 10, 7.9f, kWhite, 1.0f, 0, aa); // more than 2 pixels outside
    LICE_Circle(nullptr, 10, 10, 5, kWhite, 1.0f, 0, aa);
  }
  GuardedBitmap untouched = Filled(20, 20, kBlack);
  EXPECT_EQ(raster_test::Pixels(bm), raster_test::Pixels(untouched));
  EXPECT_TRUE(bm.GuardsIntact());
}

TEST(Circle, FixedMasksForSmallRadii)
{
  // r = 3 with aa: the 7 x 7 mask at ((int)(cx - r), (int)(cy - r)); white over black shows
  // each mask byte as the pixel's channels (weight 256 * v / 256 = v).
  const unsigned char mask3[7][7] = {
      {0, 143, 255, 255, 255, 143, 0}, {143, 255, 97, 64, 97, 255, 143},
      {255, 112, 0, 0, 0, 112, 255},   {255, 48, 0, 0, 0, 48, 255},
      {255, 112, 0, 0, 0, 112, 255},   {143, 255, 97, 64, 97, 255, 143},
      {0, 143, 255, 255, 255, 143, 0}};
  GuardedBitmap bm = Filled(12, 12, kBlack);
  LICE_Circle(&bm, 6.2f, 5.9f, 3.0f, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x)
    {
      const bool in = x >= 3 && x < 10 && y >= 2 && y < 9;
      const unsigned v = in ? mask3[y - 2][x - 3] : 0;
      EXPECT_EQ(LICE_GETR(bm.at(x, y)), v) << x << "," << y;
    }
  // r = 1.5 without aa: a 4 x 4 ring with empty corners.
  GuardedBitmap small = Filled(6, 6, kBlack);
  LICE_Circle(&small, 2.0f, 2.0f, 1.5f, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(Picture(small, kBlack),
            (std::vector<std::string>{".##...", "#..#..", "#..#..", ".##...", "......", "......"}));
  // Clipped at the corner.
  GuardedBitmap corner = Filled(3, 3, kBlack);
  LICE_Circle(&corner, 0.0f, 0.0f, 4.0f, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  EXPECT_TRUE(corner.GuardsIntact());
  // The mask's top-left corner is (-4, -4): (0, 0) shows mask byte (4, 4), (2, 2) byte (6, 6).
  EXPECT_EQ(LICE_GETR(corner.at(0, 0)), 0u);
  EXPECT_EQ(LICE_GETR(corner.at(2, 2)), 15u);
  EXPECT_EQ(LICE_GETR(corner.at(1, 2)), 0u);
}

// A fill at half weight shows any pixel blended twice; the outline lies within the fill.
TEST(Circle, FillsBlendEachPixelOnce)
{
  for (bool aa : {false, true})
    for (float r = 0.0f; r <= 30.0f; r += 0.75f)
    {
      SCOPED_TRACE(std::string(aa ? "aa" : "plain") + " r=" + std::to_string(r));
      GuardedBitmap fill = Filled(70, 70, kBlack);
      LICE_FillCircle(&fill, 34.6f, 35.2f, r, kWhite, 0.5f, LICE_COMBINE_ADD, aa);
      std::set<LICE_pixel> values;
      int full = 0;
      for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 70; ++x)
        {
          const LICE_pixel p = fill.at(x, y);
          if (p != kBlack) values.insert(p);
          full += p == LICE_RGBA(127, 127, 127, 255);
        }
      EXPECT_GT(full, 0);
      if (!aa)
      {
        EXPECT_EQ(values.size(), 1u);
      }
      for (LICE_pixel p : values) EXPECT_LE(LICE_GETR(p), 127u); // never added twice
      const bool masked = r == 1.5f || r == 3.0f; // the outline is a fixed mask there
      if (!aa && !masked)
      {
        GuardedBitmap ring = Filled(70, 70, kBlack);
        LICE_Circle(&ring, 34.6f, 35.2f, r, kWhite, 1.0f, LICE_COMBINE_COPY, false);
        for (int y = 0; y < 70; ++y)
          for (int x = 0; x < 70; ++x)
            if (ring.at(x, y) != kBlack)
            {
              EXPECT_NE(fill.at(x, y), kBlack) << x << "," << y;
            }
      }
    }
}

TEST(Circle, ArcQuartersAndRoundRects)
{
  // 0 to pi/2 is the upper-right quarter: exactly the circle's pixels right of and above the
  // centre (the centre row and column included).
  for (bool aa : {false, true})
  {
    GuardedBitmap full = Filled(40, 40, kBlack), arc = Filled(40, 40, kBlack);
    LICE_Circle(&full, 20, 20, 10.4f, kWhite, 1.0f, LICE_COMBINE_COPY, aa);
    LICE_Arc(&arc, 20, 20, 10.4f, 0.0f, kPi / 2, kWhite, 1.0f, LICE_COMBINE_COPY, aa);
    int drawn = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
      {
        const bool quarter = x >= 20 && y <= 20;
        EXPECT_EQ(arc.at(x, y), quarter ? full.at(x, y) : kBlack) << aa << " " << x << "," << y;
        drawn += arc.at(x, y) != kBlack;
      }
    EXPECT_GT(drawn, 10);
    // Angles beyond 2 pi are brought back; a span of 2 pi or more is the whole circle.
    GuardedBitmap wrapped = Filled(40, 40, kBlack), whole = Filled(40, 40, kBlack);
    LICE_Arc(&wrapped, 20, 20, 10.4f, 4 * kPi, 4 * kPi + kPi / 2, kWhite, 1.0f, 0, aa);
    EXPECT_EQ(raster_test::Pixels(wrapped), raster_test::Pixels(arc));
    LICE_Arc(&whole, 20, 20, 10.4f, 1.0f, 1.0f + 2 * kPi + 0.01f, kWhite, 1.0f, 0, aa);
    EXPECT_EQ(raster_test::Pixels(whole), raster_test::Pixels(full));
  }

  // A plain arc stops at its ends: only the anti-aliased ring may reach one pixel left of or
  // above a piece's box. Each row: centre, radius, angles, a pixel past an end that stays black.
  struct PastEnd
  {
    float cx, cy, r, a0, a1;
    int x, y;
  };
  for (const PastEnd& c :
       {PastEnd{32, 32, 15, 7.0f, 9.5f, 41, 20}, PastEnd{32, 32, 15, 7.0f, 9.5f, 30, 47}})
  {
    GuardedBitmap plain = Filled(64, 64, kBlack), full = Filled(64, 64, kBlack);
    LICE_Arc(&plain, c.cx, c.cy, c.r, c.a0, c.a1, kWhite, 1.0f, LICE_COMBINE_COPY, false);
    LICE_Circle(&full, c.cx, c.cy, c.r, kWhite, 1.0f, LICE_COMBINE_COPY, false);
    EXPECT_EQ(full.at(c.x, c.y), kWhite) << "the case must name a circle pixel";
    EXPECT_EQ(plain.at(c.x, c.y), kBlack) << c.x << "," << c.y;
  }

  GuardedBitmap rr = Filled(20, 20, kBlack), rect = Filled(20, 20, kBlack);
  LICE_RoundRect(&rr, 2.7f, 3.2f, 10.0f, 8.0f, 1, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  LICE_DrawRect(&rect, 2, 3, 10, 8, kWhite, 1.0f, LICE_COMBINE_COPY);
  EXPECT_EQ(Picture(rr, kBlack), Picture(rect, kBlack));

  // A rounded rectangle keeps within its box and leaves its corners empty.
  GuardedBitmap round = Filled(30, 30, kBlack);
  LICE_RoundRect(&round, 5, 5, 20, 16, 5, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  const std::vector<std::string> pic = Picture(round, kBlack);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x)
      if (pic[y][x] == '#')
      {
        EXPECT_TRUE(x >= 5 && x <= 26 && y >= 5 && y <= 22) << x << "," << y;
      }
  EXPECT_EQ(pic[5][5], '.');
  EXPECT_EQ(pic[5][15], '#');
  EXPECT_EQ(pic[13][5], '#');
}

TEST(Circle, BezierCurves)
{
  // A quadratic with its control on the straight line is that line; its ends are on it.
  GuardedBitmap q = Filled(30, 10, kBlack);
  LICE_DrawQBezier(&q, 2, 5, 12, 5, 22, 5, kWhite, 1.0f, LICE_COMBINE_COPY, false, 1.0f);
  for (int x = 0; x < 30; ++x) EXPECT_EQ(q.at(x, 5) == kWhite, x >= 2 && x <= 22) << x;

  // Curves reaching far beyond the bitmap on both sides are cut to it, and still drawn.
  // The quadratic crosses the bitmap near t = 0.5, where y is about 32.5.
  GuardedBitmap wide = Filled(40, 40, kBlack);
  LICE_DrawQBezier(&wide, -1e7f, 5, 20, 60, 1e7f, 5, kWhite, 1.0f, 0, false, 0.0f);
  for (int x = 0; x < 40; ++x)
  {
    int lit = 0;
    for (int y = 0; y < 40; ++y)
      if (wide.at(x, y) != kBlack) lit += (y >= 31 && y <= 34) ? 1 : 100;
    EXPECT_GE(lit, 1) << x;
    EXPECT_LT(lit, 100) << x;
  }
  LICE_DrawCBezier(&wide, -1e6f, 0, 100, 80, -50, -40, 1e6f, 39, kWhite, 1.0f, 0, true, 0.5f);
  EXPECT_TRUE(wide.GuardsIntact());

  // Fill down to a row: each column from the curve to the fill row, every pixel once.
  GuardedBitmap f = Filled(30, 30, kBlack);
  LICE_FillCBezier(&f, 0, 5, 10, 0, 20, 10, 29, 5, 25, kWhite, 0.5f, LICE_COMBINE_ADD, 1.0f);
  for (int x = 0; x < 29; ++x)
  {
    int lit = 0;
    for (int y = 0; y < 30; ++y)
    {
      if (f.at(x, y) != kBlack)
      {
        EXPECT_EQ(f.at(x, y), LICE_RGBA(127, 127, 127, 255));
        EXPECT_LT(y, 25);
        ++lit;
      }
    }
    EXPECT_GE(lit, 14) << x;
  }
  GuardedBitmap fx = Filled(30, 30, kBlack);
  LICE_FillCBezierX(&fx, 5, 0, 0, 10, 10, 20, 5, 29, 25, kWhite, 0.5f, LICE_COMBINE_ADD, 1.0f);
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 30; ++x)
      if (fx.at(x, y) != kBlack)
      {
        EXPECT_EQ(fx.at(x, y), LICE_RGBA(127, 127, 127, 255));
      }
  EXPECT_NE(fx.at(20, 15), kBlack);
}

TEST(CircleGolden, CirclesFromOneAndAHalfToForty)
{
  LICE_MemBitmap bm(420, 190);
  LICE_Clear(&bm, 0xFF202830u);
  // Top row: radii 1.5 .. 12 by halves (the fixed masks among them); bottom: larger radii.
  int x = 4;
  for (float r = 1.5f; r <= 12.0f; r += 0.5f)
  {
    const float cx = x + r + 1;
    LICE_Circle(&bm, cx, 16, r, 0xFFFFFFFFu, 1.0f, LICE_COMBINE_COPY, false);
    LICE_Circle(&bm, cx, 46, r, 0xFFFFFFFFu, 1.0f, LICE_COMBINE_COPY, true);
    LICE_FillCircle(&bm, cx, 76, r, 0xFFFFC040u, 0.8f, LICE_COMBINE_COPY, r > 6);
    x += (int)(2 * r) + 4;
    if (x > 380) break;
  }
  const float big[] = {15.25f, 22.7f, 30.0f, 40.0f};
  float cx = 20;
  for (int i = 0; i < 4; ++i)
  {
    cx += big[i] + 4;
    LICE_Circle(&bm, cx, 140, big[i], 0xFF80FF80u, 1.0f, LICE_COMBINE_COPY, i & 1);
    LICE_FillCircle(&bm, cx, 140, big[i] * 0.6f, 0xFF4080FFu, 0.5f, LICE_COMBINE_ADD, !(i & 1));
    LICE_Circle(&bm, cx, 140, big[i] * 0.8f, 0xFFFFFFFFu, 0.5f, LICE_COMBINE_COPY, !(i & 1));
    cx += big[i];
  }
  ExpectMatchesGolden(bm, "circle_radii",
                      "LICE_Circle and LICE_FillCircle from r = 1.5 to 40, midpoint and "
                      "anti-aliased rules, the fixed small masks, copy and add at part weight");
}

TEST(CircleGolden, ArcsAndRoundRects)
{
  LICE_MemBitmap bm(260, 130);
  LICE_Clear(&bm, 0xFF101010u);
  for (int i = 0; i < 6; ++i)
  {
    const float a0 = -2.4f + i * 0.7f, a1 = a0 + 0.6f + i * 0.55f;
    LICE_Arc(&bm, 25.0f + i * 40, 30, 16.5f, a0, a1, 0xFFFFFFFFu, 1.0f, LICE_COMBINE_COPY, i & 1);
    LICE_Arc(&bm, 25.0f + i * 40, 30, 10.0f, a1, a0 + 2 * kPi, 0xFF60C0FFu, 0.7f, LICE_COMBINE_COPY,
             !(i & 1));
  }
  LICE_RoundRect(&bm, 6, 62, 70, 50, 8, 0xFFFFD060u, 1.0f, LICE_COMBINE_COPY, false);
  LICE_RoundRect(&bm, 90, 62, 70, 50, 12, 0xFFFFD060u, 1.0f, LICE_COMBINE_COPY, true);
  LICE_RoundRect(&bm, 175.5f, 70.3f, 60, 30, 40, 0xFF80FF80u, 0.75f, LICE_COMBINE_ADD, true);
  LICE_RoundRect(&bm, 240, 60, 40, 40, 6, 0xFFFFFFFFu, 1.0f, LICE_COMBINE_COPY, true); // clipped
  ExpectMatchesGolden(bm, "arc_roundrect",
                      "LICE_Arc over pieces of every quarter, with and without aa, and "
                      "LICE_RoundRect with small, large (limited) and clipped corner radii");
}

TEST(CircleGolden, BezierCurvesAndFills)
{
  LICE_MemBitmap bm(200, 120);
  LICE_Clear(&bm, 0xFF000000u);
  LICE_FillCBezier(&bm, 0, 80, 50, 10, 120, 140, 199, 40, 119, 0xFF305080u, 1.0f, LICE_COMBINE_COPY,
                   1.0f);
  LICE_FillCBezierX(&bm, 20, 0, 90, 40, -20, 80, 40, 119, 0, 0xFF803030u, 0.5f, LICE_COMBINE_ADD,
                    1.0f);
  LICE_DrawCBezier(&bm, 0, 80, 50, 10, 120, 140, 199, 40, 0xFFFFFFFFu, 1.0f, LICE_COMBINE_COPY,
                   true, 1.0f);
  LICE_DrawCBezier(&bm, -40, 110, 100, -90, 100, 200, 240, 10, 0xFFFFFF00u, 1.0f, LICE_COMBINE_COPY,
                   false, 2.0f);
  LICE_DrawQBezier(&bm, 10, 10, 100, 110, 190, 10, 0xFF00FFFFu, 1.0f, LICE_COMBINE_COPY, true,
                   1.0f);
  LICE_DrawQBezier(&bm, 10, 20, 100, -40, 190, 100, 0xFFFF00FFu, 0.6f, LICE_COMBINE_COPY, false,
                   4.0f);
  ExpectMatchesGolden(
      bm, "bezier_curves",
      "LICE_DrawQBezier and LICE_DrawCBezier with and without aa (one running "
      "off both sides), LICE_FillCBezier to a row and LICE_FillCBezierX to a column");
}

TEST(LineGolden, Fan)
{
  LICE_MemBitmap bm(160, 120);
  LICE_Clear(&bm, 0xFF000000u);
  for (int i = 0; i < 24; ++i)
  {
    const double a = i * 2 * 3.14159265358979 / 24;
    const int x2 = 80 + (int)(70 * std::cos(a)), y2 = 60 + (int)(70 * std::sin(a));
    LICE_Line(&bm, 80, 60, x2, y2, 0xFFFFFFFFu, i % 3 == 2 ? 0.6f : 1.0f, LICE_COMBINE_COPY,
              i % 3 != 0);
  }
  for (int i = 0; i < 8; ++i)
    LICE_FLine(&bm, 5.3f + i * 0.7f, 5.0f, 40.0f + i * 3.1f, 110.4f, 0xFFFFA000u, 1.0f,
               LICE_COMBINE_ADD, true);
  LICE_DashedLine(&bm, 150, 0, 150, 119, 4, 3, 0xFF00FF00u, 1.0f, LICE_COMBINE_COPY, false);
  ExpectMatchesGolden(bm, "line_fan",
                      "LICE_Line in every direction (plain, aa at full and part weight, clipped "
                      "at the edges), LICE_FLine with aa and LICE_DashedLine");
}

} // namespace
