// The editor's value types: rectangle arithmetic (where a shared edge counts as overlap and the
// all-zero rectangle is "nothing"), the blend-word mapping, colour words and film-strip frames.

#include <gtest/gtest.h>

#include <tuple>

#include "graphics/IGraphicsStructs.h"

namespace
{

TEST(GraphicsStructs, RectangleArithmetic)
{
  const IRECT a(10, 10, 20, 20);
  struct Row
  {
    const char* what;
    IRECT b;
    bool overlaps;
    IRECT intersection, unionRect;
  };
  const Row rows[] = {
      {"inside", IRECT(12, 12, 15, 15), true, IRECT(12, 12, 15, 15), a},
      {"crossing", IRECT(15, 5, 30, 12), true, IRECT(15, 10, 20, 12), IRECT(10, 5, 30, 20)},
      {"shared right edge", IRECT(20, 10, 30, 20), true, IRECT(20, 10, 20, 20),
       IRECT(10, 10, 30, 20)},
      {"shared left edge", IRECT(0, 10, 10, 20), false, IRECT(), IRECT(0, 10, 20, 20)},
      {"apart", IRECT(30, 30, 40, 40), false, IRECT(), IRECT(10, 10, 40, 40)},
      {"empty", IRECT(), false, IRECT(), a},
  };
  for (const Row& row : rows)
  {
    EXPECT_EQ(a.Intersects(row.b), row.overlaps) << row.what;
    EXPECT_EQ(a.Intersect(row.b), row.intersection) << row.what;
    EXPECT_EQ(a.Union(row.b), row.unionRect) << row.what;
    EXPECT_EQ(row.b.Union(a), row.unionRect) << row.what;
  }
  EXPECT_EQ(IRECT().Union(IRECT()), IRECT());
  EXPECT_FALSE(IRECT().Intersects(IRECT()));

  for (auto [x, y, inside] :
       {std::tuple{10, 10, true}, {19, 19, true}, {20, 15, false}, {15, 20, false}, {9, 15, false}})
    EXPECT_EQ(a.Contains(x, y), inside) << x << "," << y;
  EXPECT_FALSE(IRECT().Contains(0, 0)) << "the empty rectangle contains nothing";
}

// Unknown blend methods draw as source alpha; no blend is source alpha at full weight.
TEST(GraphicsStructs, BlendWordsAndColourWords)
{
  for (auto [method, word] : {std::pair{0, 0x10000},
                              {1, 0},
                              {2, 0x10001},
                              {3, 0x10002},
                              {4, 0x10000},
                              {7, 0x10000},
                              {-1, 0x10000}})
  {
    IChannelBlend blend(method, 0.5f);
    EXPECT_EQ(LiceBlendMode(&blend), word) << method;
    EXPECT_FLOAT_EQ(LiceWeight(&blend), 0.5f);
  }
  EXPECT_EQ(LiceBlendMode(nullptr), 0x10000);
  EXPECT_FLOAT_EQ(LiceWeight(nullptr), 1.0f);

  EXPECT_EQ(IColor(0x12, 0x34, 0x56, 0x78).Pixel(), 0x12345678u);
  EXPECT_EQ(IColor(0x112, -1, 256, 0x178).Pixel(), 0x12FF0078u) << "low 8 bits of each";
  EXPECT_EQ(IColor::FromPixel(0xFE102030u), IColor(0xFE, 0x10, 0x20, 0x30));
}

// A frame is never 0 pixels: counts below 1 are 1, counts above the strip's extent are cut to it.
TEST(GraphicsStructs, FilmStripFrames)
{
  struct Row
  {
    int w, h, n;
    bool horizontal;
    int frames, frameW, frameH;
  };
  const Row rows[] = {
      {20, 620, 31, false, 31, 20, 20}, {620, 20, 31, true, 31, 20, 20},
      {20, 100, 0, false, 1, 20, 100},  {20, 100, -4, true, 1, 20, 100},
      {20, 10, 31, false, 10, 20, 1},   {5, 40, 8, true, 5, 1, 40},
      {20, 100, 3, false, 3, 20, 33},   {0, 0, 4, false, 4, 0, 0},
  };
  for (const Row& row : rows)
  {
    SCOPED_TRACE(testing::Message() << row.w << "x" << row.h << "/" << row.n);
    IBitmap bm(nullptr, row.w, row.h, row.n, row.horizontal);
    EXPECT_EQ(bm.mN, row.frames);
    EXPECT_EQ(bm.FrameWidth(), row.frameW);
    EXPECT_EQ(bm.FrameHeight(), row.frameH);
  }
}

} // namespace
