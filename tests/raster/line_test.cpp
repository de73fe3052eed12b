// Lines, dashed lines, clipping and rectangle outlines: hand-counted pixels, the weights of the
// anti-aliased forms and the whole-word shortcuts. Random lines far outside the bitmap, and on
// bottom-up bitmaps: bitmap_test.cpp.
#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice_lines.h"
#include "raster_test_util.h"

namespace
{

using raster_test::Filled;
using raster_test::GuardedBitmap;
using torva_test::Rng;
using Points = std::set<std::pair<int, int>>;

constexpr LICE_pixel kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu;

// Pixels that differ from the background.
Points Changed(GuardedBitmap& bm, LICE_pixel bg)
{
  Points out;
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x)
      if (bm.at(x, y) != bg) out.insert({x, y});
  return out;
}

TEST(Line, HandCountedRunsAndClipping)
{
  GuardedBitmap bm(12, 8);
  LICE_Line(&bm, 0, 0, 9, 0, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(Changed(bm, 0).size(), 10u);
  LICE_Line(&bm, 5, 5, 5, 5, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  EXPECT_EQ(Changed(bm, 0).size(), 11u);
  EXPECT_EQ(bm.at(5, 5), kWhite);

  GuardedBitmap narrow(10, 8);
  LICE_Line(&narrow, -10, 5, 20, 5, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  Points row;
  for (int x = 0; x < 10; ++x) row.insert({x, 5});
  EXPECT_EQ(Changed(narrow, 0), row);
  EXPECT_TRUE(narrow.GuardsIntact());

  // A diagonal through the corner is clipped to exactly the ten pixels of the main diagonal.
  GuardedBitmap sq(10, 10);
  LICE_Line(&sq, -10, -10, 20, 20, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  Points diag;
  for (int i = 0; i < 10; ++i) diag.insert({i, i});
  EXPECT_EQ(Changed(sq, 0), diag);

  GuardedBitmap none(10, 10);
  LICE_Line(&none, -5, -5, -1, 20, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  LICE_Line(&none, 10, 0, 30, 9, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  LICE_Line(&none, 0, 0, 9, 9, kWhite, 0.0f, LICE_COMBINE_COPY, false);
  LICE_Line(&none, 0, 0, 9, 9, kWhite, std::nanf(""), LICE_COMBINE_COPY, false);
  LICE_Line(&none, 0, 0, 9, 9, kWhite, 1.0f, 6, false); // no such rule
  LICE_Line(nullptr, 0, 0, 9, 9, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_TRUE(Changed(none, 0).empty());
}

TEST(Line, GeneralLineIsSymmetricAndOnePixelPerStep)
{
  // Worked by hand: d = 7, s = 28086; the minor steps fall after the second step from each end.
  const Points expected = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {7, 3}};
  for (bool reversed : {false, true})
  {
    GuardedBitmap bm(8, 4);
    if (reversed)
      LICE_Line(&bm, 7, 3, 0, 0, kWhite, 1.0f, LICE_COMBINE_COPY, false);
    else
      LICE_Line(&bm, 0, 0, 7, 3, kWhite, 1.0f, LICE_COMBINE_COPY, false);
    EXPECT_EQ(Changed(bm, 0), expected);
  }

  // Any line inside the bitmap: both ends, one pixel per major step, connected.
  Rng rng(5);
  for (int n = 0; n < 300; ++n)
  {
    GuardedBitmap bm(40, 30);
    const int x1 = rng.Int(0, 39), y1 = rng.Int(0, 29), x2 = rng.Int(0, 39), y2 = rng.Int(0, 29);
    LICE_Line(&bm, x1, y1, x2, y2, kWhite, 1.0f, LICE_COMBINE_COPY, false);
    const Points got = Changed(bm, 0);
    const bool xMajor = std::abs(x2 - x1) >= std::abs(y2 - y1);
    const int d = xMajor ? std::abs(x2 - x1) : std::abs(y2 - y1);
    ASSERT_EQ(got.size(), (size_t)d + 1) << x1 << "," << y1 << " " << x2 << "," << y2;
    EXPECT_TRUE(got.count({x1, y1}) && got.count({x2, y2}));
    std::set<int> majors;
    for (auto [x, y] : got) majors.insert(xMajor ? x : y);
    EXPECT_EQ(majors.size(), (size_t)d + 1);
  }
}

TEST(Line, AntiAliasedDiagonalAndWuWeights)
{
  // Diagonal at alpha 1: centres get the whole-word 3/4 mix, the step pixels the 1/4 mix.
  GuardedBitmap bm = Filled(5, 5, kBlack);
  LICE_Line(&bm, 0, 0, 3, 3, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  int centres = 0, steps = 0;
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x)
    {
      if (bm.at(x, y) == 0xFDBEBEBEu)
      {
        ++centres;
        EXPECT_EQ(x, y);
      }
      if (bm.at(x, y) == 0xFD3F3F3Fu)
      {
        ++steps;
        EXPECT_EQ(std::abs(x - y), 1);
      }
    }
  EXPECT_EQ(centres, 4);
  EXPECT_EQ(steps, 6);
  EXPECT_EQ(Changed(bm, kBlack).size(), 10u);

  // Below full alpha the copy rule runs at ia * 3 / 4 and ia / 4: white on black at ia 128
  // shows exactly those weights.
  GuardedBitmap half = Filled(5, 5, kBlack);
  LICE_Line(&half, 0, 0, 2, 2, kWhite, 0.5f, LICE_COMBINE_COPY, true);
  EXPECT_EQ(LICE_GETR(half.at(1, 1)), 96u);
  EXPECT_EQ(LICE_GETR(half.at(1, 0)), 32u);

  // Slope 1/2: full ends, and every column between them has weights adding up to 255 (white
  // over black shows the weight itself in each channel).
  GuardedBitmap wu = Filled(11, 8, kBlack);
  LICE_Line(&wu, 0, 1, 10, 6, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  EXPECT_EQ(wu.at(0, 1), kWhite);
  EXPECT_EQ(wu.at(10, 6), kWhite);
  for (int x = 1; x < 10; ++x)
  {
    unsigned sum = 0;
    int lit = 0;
    for (int y = 0; y < 8; ++y)
    {
      sum += LICE_GETR(wu.at(x, y));
      lit += wu.at(x, y) != kBlack;
    }
    EXPECT_EQ(sum, 255u) << "column " << x;
    EXPECT_LE(lit, 2);
  }
  // Both ends are drawn alike, so a line with an even number of inner pixels (no middle one)
  // gives the same picture either way round.
  GuardedBitmap fwd = Filled(11, 8, kBlack), back = Filled(11, 8, kBlack);
  LICE_Line(&fwd, 1, 0, 10, 7, kWhite, 0.8f, LICE_COMBINE_COPY, true);
  LICE_Line(&back, 10, 7, 1, 0, kWhite, 0.8f, LICE_COMBINE_COPY, true);
  EXPECT_EQ(raster_test::Pixels(back), raster_test::Pixels(fwd));
}

TEST(Line, StraightRunsUseWholeWordMixesOnlyAtExactAlphas)
{
  // Bytes 1 and 1: the whole-word half mix gives 0, the per-channel half mix 1, the copy rule 1.
  const LICE_pixel ones = 0x01010101u;
  struct Case
  {
    float alpha;
    LICE_pixel expect;
  } cases[] = {
      {0.5f, 0x00000000u}, {0.5009f, 0x01010101u}, {0.25f, 0x00000000u}, {0.75f, 0x00000000u}};
  for (const Case& c : cases)
  {
    GuardedBitmap bm = Filled(4, 4, ones);
    LICE_Line(&bm, 0, 2, 3, 2, ones, c.alpha, LICE_COMBINE_COPY, false);
    LICE_Line(&bm, 1, 0, 1, 3, ones, c.alpha, LICE_COMBINE_COPY, false);
    EXPECT_EQ(bm.at(3, 2), c.expect) << c.alpha;
    EXPECT_EQ(bm.at(1, 0), c.expect) << c.alpha;
  }
  // Per-channel half mix at ia 128 (dest 10, source 201): (10 + 201) >> 1 = 105, where the copy
  // rule would give 106.
  GuardedBitmap bm = Filled(8, 3, LICE_RGBA(10, 10, 10, 10));
  LICE_Line(&bm, 0, 0, 7, 2, LICE_RGBA(201, 201, 201, 201), 0.5009f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(bm.at(0, 0), LICE_RGBA(105, 105, 105, 105));
  // Other operations: add never passes 255.
  GuardedBitmap add = Filled(4, 1, LICE_RGBA(200, 10, 0, 255));
  LICE_Line(&add, 0, 0, 3, 0, LICE_RGBA(100, 100, 100, 0), 1.0f, LICE_COMBINE_ADD, false);
  EXPECT_EQ(add.at(2, 0), LICE_RGBA(255, 110, 100, 255));
}

TEST(Line, FloatLines)
{
  GuardedBitmap a(10, 4), b(10, 4);
  LICE_FLine(&a, 0.4f, 0.6f, 5.6f, 0.6f, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  LICE_Line(&b, 0, 1, 6, 1, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(raster_test::Pixels(a), raster_test::Pixels(b));

  // y = 2.25 from x = 0.5 to 6.5: columns 1..6, weight 191 on row 2 and 64 on row 3.
  GuardedBitmap aa = Filled(10, 6, kBlack);
  LICE_FLine(&aa, 0.5f, 2.25f, 6.5f, 2.25f, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  Points lit;
  for (int x = 1; x <= 6; ++x)
  {
    EXPECT_EQ(LICE_GETR(aa.at(x, 2)), 191u);
    EXPECT_EQ(LICE_GETR(aa.at(x, 3)), 64u);
    lit.insert({x, 2}), lit.insert({x, 3});
  }
  EXPECT_EQ(Changed(aa, kBlack), lit);

  // Steep lines split across columns; each row's weights add up to 255.
  GuardedBitmap steep = Filled(8, 12, kBlack);
  LICE_FLine(&steep, 2.0f, 1.0f, 5.0f, 10.0f, kWhite, 1.0f, LICE_COMBINE_COPY, true);
  for (int y = 1; y <= 10; ++y)
  {
    unsigned sum = 0;
    for (int x = 0; x < 8; ++x) sum += LICE_GETR(steep.at(x, y));
    EXPECT_EQ(sum, 255u) << y;
  }

  float x1 = -5, y1 = 5, x2 = 15, y2 = 5;
  EXPECT_TRUE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 0, 0, 9, 9));
  EXPECT_EQ(x1, 0.0f);
  EXPECT_EQ(x2, 9.0f);
  x1 = 0, y1 = 0, x2 = std::nanf(""), y2 = 0;
  EXPECT_FALSE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 0, 0, 9, 9));
}

TEST(Line, ClipLineBox)
{
  int x1 = -10, y1 = 3, x2 = 30, y2 = 3;
  ASSERT_TRUE(LICE_ClipLine(&x1, &y1, &x2, &y2, 2, 0, 12, 10));
  EXPECT_EQ(x1, 2);
  EXPECT_EQ(x2, 11); // the high edge is exclusive
  x1 = 0, y1 = 20, x2 = 9, y2 = 30;
  EXPECT_FALSE(LICE_ClipLine(&x1, &y1, &x2, &y2, 0, 0, 10, 10));
  // Ends at the extremes of int do not overflow (checked under the sanitizer).
  const int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  x1 = lo, y1 = lo, x2 = hi, y2 = hi;
  EXPECT_TRUE(LICE_ClipLine(&x1, &y1, &x2, &y2, 0, 0, 10, 10));
  EXPECT_TRUE(x1 >= 0 && x1 < 10 && y1 >= 0 && y1 < 10 && x2 >= 0 && x2 < 10 && y2 >= 0 && y2 < 10);
}

TEST(Line, DashedLines)
{
  GuardedBitmap v(4, 12);
  LICE_DashedLine(&v, 2, 9, 2, 0, 1, 1, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(Changed(v, 0), (Points{{2, 0}, {2, 2}, {2, 4}, {2, 6}, {2, 8}}));

  GuardedBitmap h(14, 3);
  LICE_DashedLine(&h, 0, 1, 10, 1, 3, 2, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(Changed(h, 0), (Points{{0, 1}, {1, 1}, {2, 1}, {5, 1}, {6, 1}, {7, 1}}));

  // Clipped: the pattern starts at the clipped start.
  GuardedBitmap c(6, 2);
  LICE_DashedLine(&c, -3, 0, 100, 0, 2, 1, kWhite, 1.0f, LICE_COMBINE_COPY, false);
  EXPECT_EQ(Changed(c, 0), (Points{{0, 0}, {1, 0}, {3, 0}, {4, 0}}));

  GuardedBitmap d(8, 8);
  LICE_DashedLine(&d, 0, 0, 7, 7, 1, 1, kWhite, 1.0f, LICE_COMBINE_COPY, false); // not straight
  LICE_DashedLine(&d, 0, 0, 7, 0, 0, 1, kWhite, 1.0f, LICE_COMBINE_COPY, false); // no "on"
  LICE_DashedLine(&d, 0, 0, 7, 0, 1, -5, kWhite, 0.0f, LICE_COMBINE_COPY, false);
  EXPECT_TRUE(Changed(d, 0).empty());
  EXPECT_TRUE(d.GuardsIntact() && v.GuardsIntact() && h.GuardsIntact() && c.GuardsIntact());
}

TEST(Line, RectangleOutlines)
{
  GuardedBitmap bm(8, 8);
  LICE_DrawRect(&bm, 1, 1, 4, 3, kWhite, 1.0f, LICE_COMBINE_COPY);
  const Points got = Changed(bm, 0);
  EXPECT_EQ(got.size(), 14u); // 5 x 4 outline
  EXPECT_TRUE(got.count({1, 1}) && got.count({5, 4}) && !got.count({2, 2}));

  GuardedBitmap br(8, 8);
  LICE_BorderedRect(&br, 1, 1, 4, 3, 0xFF112233u, kWhite, 1.0f, LICE_COMBINE_COPY);
  for (int y = 2; y <= 3; ++y)
    for (int x = 2; x <= 4; ++x) EXPECT_EQ(br.at(x, y), 0xFF112233u);
  EXPECT_EQ(br.at(5, 4), kWhite);
  EXPECT_EQ(br.at(6, 5), 0u);

  GuardedBitmap big(8, 8);
  LICE_DrawRect(&big, std::numeric_limits<int>::max() - 2, 0, 100, 100, kWhite, 1.0f, 0);
  LICE_DrawRect(&big, -1, -1, std::numeric_limits<int>::max(), 9, kWhite, 1.0f, 0);
  EXPECT_TRUE(big.GuardsIntact());
}

} // namespace
