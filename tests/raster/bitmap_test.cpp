// Heap and context-backed bitmaps, the whole-bitmap utilities, and every drawing operation on
// bottom-up bitmaps.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"
#include "raster/lice_lines.h"
#include "raster/lice_text.h"
#include "raster_test_util.h"
#include "scaled_test_util.h"
#include "support/Sanitized.h"

using raster_test::GuardedBitmap;
using raster_test::SameWhenFlipped;
using torva_test::Rng;
using torva_test::Scaled;

namespace
{

bool Aligned64(const void* p)
{
  return ((uintptr_t)p & 63) == 0;
}

// Writes every pixel of the picture, so that the sanitizers see any undersized buffer.
void Touch(LICE_IBitmap& bm)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    memset(bm.getBits() + (size_t)y * bm.getRowSpan(), 0x5A, (size_t)bm.getWidth() * 4);
}

} // namespace

TEST(MemBitmap, RowSpanFollowsTheLineAlignment)
{
  EXPECT_EQ(LICE_MemBitmap(5, 2, 4).getRowSpan(), 8);
  EXPECT_EQ(LICE_MemBitmap(8, 2, 4).getRowSpan(), 8);
  EXPECT_EQ(LICE_MemBitmap(5, 2, 0).getRowSpan(), 5);
  EXPECT_EQ(LICE_MemBitmap(5, 2, 1).getRowSpan(), 5);
  // Only the lowest set bit of the request counts: 6 aligns to 2.
  EXPECT_EQ(LICE_MemBitmap(5, 2, 6).getRowSpan(), 6);
  EXPECT_EQ(LICE_MemBitmap(5, 2, 16).getRowSpan(), 16);
  // Requests beyond 64 pixels are held at 64.
  EXPECT_EQ(LICE_MemBitmap(5, 2, 1u << 31).getRowSpan(), 64);
  for (int w : {1, 3, 17, 1023})
  {
    LICE_MemBitmap bm(w, 7);
    EXPECT_TRUE(Aligned64(bm.getBits())) << w;
    Touch(bm);
  }
}

TEST(MemBitmap, ResizeGrowsByAQuarterAndNeverShrinks)
{
  LICE_MemBitmap bm;
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_TRUE(bm.resize(10, 10));
  EXPECT_EQ(bm.getAllocSize(), 12 * 10 * 4); // first allocation: exactly the need
  EXPECT_FALSE(bm.resize(10, 10));

  EXPECT_TRUE(bm.resize(20, 20));
  EXPECT_EQ(bm.getAllocSize(), 1600 + 400);
  EXPECT_TRUE(Aligned64(bm.getBits()));
  LICE_pixel* bits = bm.getBits();
  Touch(bm);

  EXPECT_TRUE(bm.resize(5, 5)); // smaller: same buffer
  EXPECT_EQ(bm.getBits(), bits);
  EXPECT_EQ(bm.getAllocSize(), 2000);
  EXPECT_TRUE(bm.resize(20, 24)); // 1920 bytes still fit
  EXPECT_EQ(bm.getBits(), bits);
  Touch(bm);

  EXPECT_TRUE(bm.resize(22, 22)); // 24 * 22 * 4 = 2112 does not
  EXPECT_EQ(bm.getAllocSize(), 2112 + 528);
  EXPECT_EQ(bm.getWidth(), 22);
  Touch(bm);

  EXPECT_TRUE(bm.resize(0, 7)); // empty frees everything
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_EQ(bm.getAllocSize(), 0);
  EXPECT_TRUE(bm.resize(-3, 4));
  EXPECT_EQ(bm.getWidth(), 0);
}

TEST(MemBitmap, SizesBeyondTheByteCountRangeGiveAnEmptyBitmap)
{
  // 100000 x 100000 x 4 bytes does not fit the int byte count: no wrapped, undersized buffer.
  LICE_MemBitmap bm(16, 16);
  EXPECT_TRUE(bm.resize(100000, 100000));
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_TRUE(bm.resize(0x7FFFFFFF, 1));
  EXPECT_EQ(bm.getBits(), nullptr);
}

TEST(SysBitmap, KeepsItsContextWhenShrinking)
{
  LICE_SysBitmap bm(100, 100);
  ASSERT_NE(bm.getBits(), nullptr);
  ASSERT_NE(bm.getDC(), nullptr);
  EXPECT_TRUE(Aligned64(bm.getBits()));
  EXPECT_EQ(bm.getRowSpan(), 100);
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(bm.getDC()), (void*)bm.getBits());
  Touch(bm);

  HDC dc = bm.getDC();
  LICE_pixel* bits = bm.getBits();
  EXPECT_FALSE(bm.resize(100, 100));
  EXPECT_TRUE(bm.resize(50, 50));
  EXPECT_EQ(bm.getDC(), dc);
  EXPECT_EQ(bm.getBits(), bits);
  EXPECT_EQ(bm.getRowSpan(), 100);
  EXPECT_EQ(bm.getWidth(), 50);

  // Growing beyond the allocation makes a new context, its span rounded up to 4.
  EXPECT_TRUE(bm.resize(101, 10));
  EXPECT_EQ(bm.getRowSpan(), 104);
  EXPECT_EQ(bm.getWidth(), 101);
  ASSERT_NE(bm.getBits(), nullptr);
  Touch(bm);

  LICE_SysBitmap small(3, 2);
  EXPECT_EQ(small.getRowSpan(), 4);
  // The new context starts cleared.
  EXPECT_EQ(LICE_GetPixel(&small, 2, 1), 0u);
}

TEST(SysBitmap, EmptySizesReleaseTheContext)
{
  LICE_SysBitmap bm(8, 8);
  EXPECT_FALSE(bm.resize(0, 0));
  EXPECT_EQ(bm.getDC(), nullptr);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  // A negative width reports no size rather than a bitmap of negative width.
  EXPECT_FALSE(bm.resize(-5, 3));
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_TRUE(bm.resize(6, 2));
  EXPECT_NE(bm.getBits(), nullptr);
  LICE_SysBitmap none;
  EXPECT_EQ(none.getBits(), nullptr);
}

TEST(Utilities, ClearTouchesOnlyThePicture)
{
  GuardedBitmap bm(5, 4, /*flipped=*/false, /*padding=*/3);
  LICE_Clear(&bm, 0x12345678u);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(bm.at(x, y), 0x12345678u);
  EXPECT_TRUE(bm.GuardsIntact());
  LICE_Clear(nullptr, 0);
}

TEST(Utilities, ClearRectMasksWithinTheClippedRectangle)
{
  GuardedBitmap bm(6, 5, /*flipped=*/true);
  LICE_Clear(&bm, 0xFF112233u);
  // x = -2 shortens the width by 2; the rectangle runs past the bottom.
  LICE_ClearRect(&bm, -2, 3, 4, 10, 0x00FFFFFFu, 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(bm.at(x, y), (x < 2 && y >= 3) ? 0x00112233u : 0xFF112233u) << x << "," << y;
  LICE_ClearRect(&bm, 0, 0, 1, 1, 0, 0xABCDEF01u);
  EXPECT_EQ(bm.at(0, 0), 0xABCDEF01u);
  // Origins at or beyond the size, and rectangles clipped to nothing, do nothing.
  LICE_ClearRect(&bm, 6, 0, 5, 5, 0, 0);
  LICE_ClearRect(&bm, -5, 0, 5, 5, 0, 0);
  LICE_ClearRect(&bm, INT32_MIN, INT32_MIN, INT32_MIN, 3, 0, 0);
  EXPECT_EQ(bm.at(0, 1), 0xFF112233u);
  EXPECT_TRUE(bm.GuardsIntact());
}

TEST(Utilities, ProcessRectVisitsRowsInPictureOrder)
{
  GuardedBitmap bm(4, 4, /*flipped=*/true);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) bm.at(x, y) = (LICE_pixel)(y * 10 + x);
  std::vector<LICE_pixel> seen;
  LICE_ProcessRect(
      &bm, 1, -1, 2, 3,
      [](LICE_pixel* p, void* ctx)
      {
        static_cast<std::vector<LICE_pixel>*>(ctx)->push_back(*p);
        *p = 0;
      },
      &seen);
  EXPECT_EQ(seen, (std::vector<LICE_pixel>{1, 2, 11, 12}));
  EXPECT_EQ(bm.at(1, 1), 0u);
  LICE_ProcessRect(&bm, 0, 0, 4, 4, nullptr, nullptr);
}

TEST(Utilities, MultiplyAddRectScalesEachChannel)
{
  GuardedBitmap bm(2, 1);
  bm.at(0, 0) = LICE_RGBA(200, 10, 100, 40);
  bm.at(1, 0) = LICE_RGBA(255, 255, 255, 255);
  // red: (128 * 200 + 25) >> 8 = 100; green: (512 * 10 - 256) >> 8 = 19;
  // blue: (0 * 100 + 12800) >> 8 = 50; alpha: (-256 * 40) >> 8 = -40 -> 0.
  LICE_MultiplyAddRect(&bm, 0, 0, 1, 1, 0.5f, 2.0f, 0.0f, -1.0f, 0.1f, -1.0f, 50.0f, 0.0f);
  EXPECT_EQ(bm.at(0, 0), LICE_RGBA(100, 19, 50, 0));
  // 65536 or more saturates, even with absurd factors.
  LICE_MultiplyAddRect(&bm, 1, 0, 1, 1, 1e30f, 2.0f, 1.0f, 1.0f, 0, 0, 0, 1e30f);
  EXPECT_EQ(bm.at(1, 0), 0xFFFFFFFFu);
}

TEST(Utilities, ColorMaskMakesTheKeyTransparent)
{
  GuardedBitmap bm(3, 1);
  bm.at(0, 0) = 0x80FF00FFu;
  bm.at(1, 0) = 0x00FF00FEu;
  bm.at(2, 0) = 0x00FF00FFu;
  LICE_SetAlphaFromColorMask(&bm, 0xFF00FF);
  EXPECT_EQ(bm.at(0, 0), 0x00FF00FFu);
  EXPECT_EQ(bm.at(1, 0), 0xFFFF00FEu);
  EXPECT_EQ(bm.at(2, 0), 0x00FF00FFu);
}

TEST(Utilities, GetAndPutPixelHonourFlipAndBounds)
{
  GuardedBitmap bm(3, 2, /*flipped=*/true);
  bm.at(2, 0) = 0x11223344u;
  EXPECT_EQ(LICE_GetPixel(&bm, 2, 0), 0x11223344u);
  EXPECT_EQ(bm.getBits()[1 * bm.getRowSpan() + 2], 0x11223344u); // stored in the last row
  EXPECT_EQ(LICE_GetPixel(&bm, -1, 0), 0u);
  EXPECT_EQ(LICE_GetPixel(&bm, 3, 0), 0u);
  EXPECT_EQ(LICE_GetPixel(&bm, 0, 2), 0u);
  EXPECT_EQ(LICE_GetPixel(nullptr, 0, 0), 0u);

  const LICE_pixel p = 0x80808080u, c = 0x04080C10u;
  auto put = [&](float alpha, int mode)
  {
    bm.at(1, 1) = p;
    LICE_PutPixel(&bm, 1, 1, c, alpha, mode);
    return bm.at(1, 1);
  };
  EXPECT_EQ(put(1.0f, LICE_COMBINE_COPY), c);
  EXPECT_EQ(put(0.5f, LICE_COMBINE_COPY), 0x42444648u); // whole-word half mix
  EXPECT_EQ(put(0.25f, LICE_COMBINE_COPY), 0x61626364u);
  EXPECT_EQ(put(0.75f, LICE_COMBINE_COPY), 0x2326292Cu);
  EXPECT_EQ(put(0.0f, LICE_COMBINE_COPY), p);
  EXPECT_EQ(put(0.5f, LICE_COMBINE_ADD), 0x82848688u);
  // 0.3 -> ia 76: per channel 4 + (128 - 4) * 180 / 256 = 91 ...
  EXPECT_EQ(put(0.3f, LICE_COMBINE_COPY), LICE_CombinePixels(p, c, 0.3f, LICE_COMBINE_COPY));
  // The use-alpha bit plays no part.
  EXPECT_EQ(put(1.0f, LICE_COMBINE_COPY | LICE_COMBINE_USE_ALPHA), c);
  LICE_PutPixel(&bm, 3, 0, c, 1.0f, 0);
  LICE_PutPixel(&bm, -1, 0, c, 1.0f, 0);
  EXPECT_TRUE(bm.GuardsIntact());
}

TEST(Utilities, BitmapCmpOrdersAndLocatesDifferences)
{
  LICE_MemBitmap a(4, 3), b(4, 3), wide(5, 3), tall(4, 5);
  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  EXPECT_EQ(LICE_BitmapCmp(nullptr, nullptr), 0);
  EXPECT_EQ(LICE_BitmapCmp(nullptr, &a), -1);
  EXPECT_EQ(LICE_BitmapCmp(&a, nullptr), 1);
  EXPECT_EQ(LICE_BitmapCmp(&a, &wide), 1);
  EXPECT_EQ(LICE_BitmapCmp(&wide, &a), -1);
  EXPECT_EQ(LICE_BitmapCmp(&a, &tall), 2);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);

  LICE_PutPixel(&b, 2, 1, 0x00000100u, 1.0f, 0);
  EXPECT_LT(LICE_BitmapCmp(&a, &b), 0); // bytes compared as memory
  EXPECT_GT(LICE_BitmapCmp(&b, &a), 0);
  EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0x0000FF00u), 1);
  EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0xFFFF00FFu), 0);

  // Bounding box in picture coordinates, also for a flipped bitmap.
  GuardedBitmap f(4, 3, /*flipped=*/true), g(4, 3);
  f.at(1, 0) = 1;
  f.at(3, 2) = 1;
  int box[4] = {-1, -1, -1, -1};
  EXPECT_EQ(LICE_BitmapCmp(&f, &g, box), 1);
  EXPECT_EQ(box[0], 1);
  EXPECT_EQ(box[1], 0);
  EXPECT_EQ(box[2], 3);
  EXPECT_EQ(box[3], 3);
  f.at(1, 0) = 0;
  f.at(3, 2) = 0;
  EXPECT_EQ(LICE_BitmapCmp(&f, &g, box), 0);
  EXPECT_EQ(box[0] | box[1] | box[2] | box[3], 0);
}

TEST(Utilities, CopyResizesAndCopiesEveryPixel)
{
  Rng rng(5);
  GuardedBitmap src(7, 5, /*flipped=*/true);
  raster_test::FillRandom(src, rng);
  LICE_MemBitmap dest(2, 2);
  LICE_Copy(&dest, &src);
  EXPECT_EQ(dest.getWidth(), 7);
  EXPECT_EQ(dest.getHeight(), 5);
  EXPECT_EQ(LICE_BitmapCmp(&dest, &src), 0);
  LICE_Copy(nullptr, &src);
  LICE_Copy(&dest, nullptr);
}

// One row per drawing operation, each round drawn on a random picture top-down and bottom-up
// (and from a top-down and a bottom-up source, for the blits) by SameWhenFlipped. Every pairing
// picks the same numbers: the shapes and lines get huge, infinite and NaN geometry too, and must
// draw nothing outside the bitmap.
TEST(BottomUpBitmaps, EveryDrawingOperationGivesTheSamePicture)
{
  const GuardedBitmap noise = scaled_test::RandomBitmap(11, 8, 17), knob = scaled_test::Knob(24);
  struct Row
  {
    const char* what;
    uint64_t seed; // of the pictures and the numbers the draws pick
    int width, height, rounds;
    const LICE_IBitmap* src;
    std::function<void(LICE_IBitmap*, const LICE_IBitmap*, Rng&, int round)> draw;
  } rows[] = {
      {"scaled blit", 18, 30, 20, 4, &noise,
       [](LICE_IBitmap* bm, const LICE_IBitmap* src, Rng&, int n)
       {
         const int bilinear = LICE_COMBINE_FILTER_BILINEAR, w[] = {25, 13, 5, -22},
                   h[] = {17, 9, 4, -15},
                   modes[] = {0, bilinear, bilinear, bilinear | LICE_COMBINE_USE_ALPHA};
         LICE_ScaledBlit(bm, src, w[n] < 0 ? 27 : 2, h[n] < 0 ? 18 : 1, w[n], h[n], 0.5f, 0.25f, 10,
                         7.5f, 0.9f, modes[n]);
       }},
      {"rotated blit", 45, 40, 30, 1, &knob,
       [](LICE_IBitmap* bm, const LICE_IBitmap* src, Rng&, int)
       {
         LICE_RotatedBlit(bm, src, -3, 2, 30, 30, 0, 0, 24, 24, 0.6f, false, 0.9f,
                          LICE_COMBINE_USE_ALPHA | LICE_COMBINE_FILTER_BILINEAR, 1.5f, 0);
       }},
      {"circles, arcs, rounded rectangles and Bezier curves", 47, 31, 19, Scaled(1500, 400),
       nullptr,
       [](LICE_IBitmap* bm, const LICE_IBitmap*, Rng& rng, int)
       {
         const float odd[] = {std::nanf(""), HUGE_VALF, -1e30f, 1e30f, 3e9f, 1e7f};
         const float span = rng.Chance(20) ? 1e6f : 50.0f;
         const float cx = (float)rng.Int(-1000, 1000) / 1000.0f * span;
         const float cy = (float)rng.Int(-1000, 1000) / 1000.0f * span;
         const float r = rng.Chance(10) ? odd[rng.Int(0, 5)] : (float)rng.Int(-20, 800) / 16.0f;
         const float a0 = (float)rng.Int(-800, 800) / 100.0f;
         const float a1 = (float)rng.Int(-800, 800) / 100.0f;
         const bool aa = rng.Chance(50);
         const int mode = rng.Int(0, 5);
         const float alpha = rng.Chance(50) ? 1.0f : 0.6f;
         const LICE_pixel c = raster_test::ImagePixel(rng);
         LICE_Circle(bm, cx, cy, r, c, alpha, mode, aa);
         LICE_FillCircle(bm, cy, cx, r * 0.5f, c, alpha, mode, aa);
         LICE_Arc(bm, cx, cy, r, a0, a1, c, alpha, mode, aa);
         LICE_RoundRect(bm, cx, cy, r * 2, cy - cx, (int)a0 * 3, c, alpha, mode, aa);
         LICE_DrawCBezier(bm, cx, cy, cy, r, a0 * 10, a1 * 10, r, cx, c, alpha, mode, aa, 0.7f);
         LICE_FillCBezier(bm, cx, cy, cy, r, a0 * 10, a1 * 10, r, cx, (int)a1, c, alpha, mode, 2);
         LICE_FillCBezierX(bm, cx, cy, cy, r, a0 * 10, a1 * 10, r, cx, (int)a0, c, alpha, mode, 2);
       }},
      {"lines, dashed lines and lines from far away", 31, 23, 17, Scaled(3000, 800), nullptr,
       [](LICE_IBitmap* bm, const LICE_IBitmap*, Rng& rng, int n)
       {
         const int modes[] = {LICE_COMBINE_COPY,      LICE_COMBINE_ADD,
                              LICE_COMBINE_MUL,       LICE_COMBINE_OVERLAY,
                              LICE_COMBINE_HSVADJUST, LICE_COMBINE_DODGE | LICE_COMBINE_USE_ALPHA};
         const float alphas[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.3f};
         const float weird[] = {std::nanf(""), HUGE_VALF, -1e30f, 1e30f, 3e9f, -3e9f};
         const int span = rng.Chance(30) ? 1000000000 : 60;
         int e[4];
         for (int& v : e)
         {
           v = rng.Int(-span, span);
           if (rng.Chance(5)) v = rng.Chance(50) ? INT_MIN : INT_MAX;
         }
         const int mode = modes[rng.Int(0, 5)];
         const float alpha = alphas[rng.Int(0, 4)];
         const bool aa = rng.Chance(50);
         const LICE_pixel c = raster_test::ImagePixel(rng);
         LICE_Line(bm, e[0], e[1], e[2], e[3], c, alpha, mode, aa);
         LICE_FLine(bm, e[0] * 0.37f, e[1] * 0.41f, e[2] * 0.5f + 0.3f, e[3] * 0.29f, c, alpha,
                    mode, aa);
         LICE_DashedLine(bm, e[0], e[1], e[0], e[3], 2, 3, c, alpha, mode, aa);
         LICE_FLine(bm, weird[n % 6], 3.0f, 5.0f, weird[(n / 6) % 6], c, alpha, mode, aa);
       }},
      {"convex polygon", 1, 30, 26, 1, nullptr,
       [](LICE_IBitmap* bm, const LICE_IBitmap*, Rng&, int)
       {
         const int x[5] = {3, 20, 28, 15, 1}, y[5] = {2, 0, 14, 25, 18};
         LICE_FillConvexPolygon(bm, x, y, 5, 0xFF00FF00u, 0.6f, 0);
       }},
      {"text through the glyph cache, with a background", 1, 50, 20, 1, nullptr,
       [](LICE_IBitmap* bm, const LICE_IBitmap*, Rng&, int)
       {
         LICE_CachedFont f;
         f.SetFromHFont(CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"),
                        LICE_FONT_OWNS_HFONT);
         f.SetTextColor(0xFF80FF40);
         f.SetBkMode(1);
         f.SetBkColor(0xFF202020);
         RECT r = {-3, -2, 47, 18};
         f.DrawText(bm, "xyz", -1, &r, LICE_TEXT_HCENTER);
       }},
  };
  for (const Row& row : rows)
  {
    Rng rng(row.seed);
    for (int n = 0; n < row.rounds; ++n)
    {
      GuardedBitmap picture(row.width, row.height);
      raster_test::FillRandom(picture, rng);
      Rng next = rng; // every pairing picks the same numbers
      auto draw = [&](LICE_IBitmap* bm, const LICE_IBitmap* src)
      {
        next = rng;
        row.draw(bm, src, next, n);
      };
      ASSERT_TRUE(SameWhenFlipped(picture, row.src, draw)) << row.what << ", round " << n;
      rng = next;
    }
  }
}
