// LICE_Blit against a pixel-by-pixel reference, with clipping fuzz over guarded and flipped
// bitmaps; LICE_HalveBlitAA and LICE_Blur.
#include <climits>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster_test_util.h"
#include "support/Sanitized.h"

using raster_test::GuardedBitmap;
using torva_test::Rng;
using torva_test::Scaled;

namespace
{

// Picture pixels of a bitmap as a plain grid.
struct Grid
{
  int w = 0, h = 0;
  std::vector<LICE_pixel> px;
  LICE_pixel& at(int x, int y) { return px[(size_t)y * w + x]; }
  LICE_pixel at(int x, int y) const { return px[(size_t)y * w + x]; }
};
Grid GridOf(const LICE_IBitmap& bm)
{
  return {bm.getWidth(), bm.getHeight(), raster_test::Pixels(bm)};
}

// What LICE_Blit must do, one destination pixel at a time: find the source pixel it maps to and
// combine it, with no clipping arithmetic shared with the library.
Grid RefBlit(Grid dest, const Grid& src, int dstx, int dsty, const RECT* rect, float alpha,
             int mode)
{
  if (alpha == 0.0f) return dest;
  long long l = 0, t = 0, r = src.w, b = src.h, dx = dstx, dy = dsty;
  if (rect)
  {
    l = rect->left, t = rect->top, r = std::min<long long>(rect->right, src.w),
    b = std::min<long long>(rect->bottom, src.h);
    if (l < 0) dx -= l, l = 0;
    if (t < 0) dy -= t, t = 0;
  }
  for (int y = 0; y < dest.h; ++y)
  {
    for (int x = 0; x < dest.w; ++x)
    {
      const long long sx = x - dx + l, sy = y - dy + t;
      if (sx < l || sx >= r || sy < t || sy >= b) continue;
      const LICE_pixel s = src.at((int)sx, (int)sy);
      LICE_pixel& d = dest.at(x, y);
      if ((mode & 0xF0) == 0xF0)
      {
        const int si = mode & 3, di = (mode >> 2) & 3;
        d = (d & ~(0xFFu << (8 * di))) | (((s >> (8 * si)) & 0xFF) << (8 * di));
      }
      else if ((mode & LICE_COMBINE_RULE_MASK) == 0 && alpha == 0.5f)
      {
        d = lice_detail::HalfMixWord(d, s);
      }
      else
      {
        d = LICE_CombinePixels(d, s, alpha, mode);
      }
    }
  }
  return dest;
}

void ExpectGridsEqual(const Grid& got, const Grid& want, const std::string& what)
{
  ASSERT_EQ(got.w, want.w);
  for (int y = 0; y < got.h; ++y)
    for (int x = 0; x < got.w; ++x)
      ASSERT_EQ(got.at(x, y), want.at(x, y)) << what << " at (" << x << ", " << y << ")";
}

} // namespace

TEST(Blit, ClipsNegativeOriginsIntoTheSource)
{
  GuardedBitmap src(10, 3), dest(8, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x) src.at(x, y) = (LICE_pixel)(0xFF000000u | (y << 8) | x);
  // dstx = -5: destination column 0 receives source column 5.
  LICE_Blit(&dest, &src, -5, 1, nullptr, 1.0f, LICE_COMBINE_COPY);
  EXPECT_EQ(dest.at(0, 1), 0xFF000005u);
  EXPECT_EQ(dest.at(4, 3), 0xFF000209u);
  EXPECT_EQ(dest.at(5, 1), 0u);
  EXPECT_EQ(dest.at(0, 0), 0u);
  // A source rectangle starting left of 0 moves the destination point right instead.
  GuardedBitmap d2(8, 4);
  const RECT r = {-2, 0, 3, 1};
  LICE_Blit(&d2, &src, 0, 0, &r, 1.0f, LICE_COMBINE_COPY);
  EXPECT_EQ(d2.at(1, 0), 0u);
  EXPECT_EQ(d2.at(2, 0), 0xFF000000u);
  EXPECT_EQ(d2.at(4, 0), 0xFF000002u);
  EXPECT_EQ(d2.at(5, 0), 0u);
  EXPECT_TRUE(dest.GuardsIntact());
  EXPECT_TRUE(d2.GuardsIntact());
}

TEST(Blit, HalfAlphaCopyMixesWholeWords)
{
  GuardedBitmap src(1, 1), dest(1, 1);
  src.at(0, 0) = 0x01FF0301u;
  dest.at(0, 0) = 0x03010101u;
  // At exactly 0.5 both words are halved and added: the low bits are lost.
  LICE_Blit(&dest, &src, 0, 0, nullptr, 0.5f, LICE_COMBINE_COPY);
  EXPECT_EQ(dest.at(0, 0), 0x017F0100u);
  // At 0.51 the copy rule runs with ia = 130: 1 + (3 - 1) * 126 / 256 = 1 ...
  dest.at(0, 0) = 0x03010101u;
  LICE_Blit(&dest, &src, 0, 0, nullptr, 0.51f, LICE_COMBINE_COPY);
  EXPECT_EQ(dest.at(0, 0), LICE_RGBA(0xFF + (0x01 - 0xFF) * 126 / 256,
                                     0x03 + (0x01 - 0x03) * 126 / 256, 1, 1 + (3 - 1) * 126 / 256));
}

TEST(Blit, ChannelCopyMovesOneByte)
{
  GuardedBitmap src(2, 1), dest(2, 1);
  src.at(0, 0) = 0xA1B2C3D4u;
  src.at(1, 0) = 0x00000000u;
  dest.at(0, 0) = dest.at(1, 0) = 0x11223344u;
  // 0xF3: source byte 3 (alpha) into destination byte 0 (blue); alpha plays no part.
  LICE_Blit(&dest, &src, 0, 0, nullptr, 0.25f, 0xF3);
  EXPECT_EQ(dest.at(0, 0), 0x112233A1u);
  EXPECT_EQ(dest.at(1, 0), 0x11223300u);
  LICE_Blit(&dest, &src, 0, 0, nullptr, 1.0f,
            LICE_COMBINE_CHANCOPY_MODE(LICE_PIXEL_G, LICE_PIXEL_R));
  EXPECT_EQ(dest.at(0, 0), 0x11C333A1u);
  EXPECT_EQ(dest.at(1, 0), 0x11003300u);
  // Alpha 0 draws nothing at all.
  LICE_Blit(&dest, &src, 0, 0, nullptr, 0.0f, 0xF3);
  EXPECT_EQ(dest.at(0, 0), 0x11C333A1u);
}

TEST(Blit, SourceAlphaAtFullWeightSkipsTransparentPixels)
{
  GuardedBitmap src(3, 1), dest(3, 1);
  src.at(0, 0) = 0x00FFFFFFu; // transparent: untouched
  src.at(1, 0) = 0xFF102030u; // opaque: stored, alpha 255
  src.at(2, 0) = 0x80FF0000u;
  for (int x = 0; x < 3; ++x) dest.at(x, 0) = 0x40000000u;
  LICE_Blit(&dest, &src, 0, 0, nullptr, 1.0f, LICE_COMBINE_USE_ALPHA);
  EXPECT_EQ(dest.at(0, 0), 0x40000000u);
  EXPECT_EQ(dest.at(1, 0), 0xFF102030u);
  // red 255 + (0 - 255) * 127 / 256 = 129; alpha 0x40 + 0x80.
  EXPECT_EQ(dest.at(2, 0), 0xC0810000u);
}

TEST(Blit, MatchesReferenceUnderClippingFuzz)
{
  // Random sizes, flips, origins and source rectangles (now and then far outside the int range
  // of sensible values), every rule: the result must equal the reference and no write may
  // land outside the destination.
  Rng rng(42);
  const int iterations = Scaled(20000, 4000);
  const float alphas[] = {1.0f, 0.5f, 0.51f, 0.25f, 0.75f, 0.0f, 0.37f, 2.0f};
  const int modes[] = {0,       1,       2,       3,    4,    5,    0x10000, 0x10001, 0x10002,
                       0x10003, 0x10004, 0x10005, 0xF3, 0xF6, 0xFF, 6,       0x100,   0x10100};
  auto coord = [&rng]()
  {
    switch (rng.Int(0, 9))
    {
    case 0:
      return INT_MIN + rng.Int(0, 5);
    case 1:
      return INT_MAX - rng.Int(0, 5);
    case 2:
      return rng.Int(-100000, 100000);
    default:
      return rng.Int(-25, 25);
    }
  };
  for (int i = 0; i < iterations; ++i)
  {
    GuardedBitmap src(rng.Int(0, 12), rng.Int(0, 12), rng.Chance(50), rng.Int(0, 3));
    GuardedBitmap dest(rng.Int(0, 12), rng.Int(0, 12), rng.Chance(50), rng.Int(0, 3));
    raster_test::FillRandom(src, rng);
    raster_test::FillRandom(dest, rng);
    RECT rect = {coord(), coord(), coord(), coord()};
    const bool useRect = rng.Chance(60);
    const int dstx = coord(), dsty = coord();
    const float alpha = i % 4 ? alphas[rng.Int(0, 7)] : rng.Int(0, 256) / 256.0f;
    const int mode = modes[rng.Int(0, 17)];

    const Grid want =
        RefBlit(GridOf(dest), GridOf(src), dstx, dsty, useRect ? &rect : nullptr, alpha, mode);
    LICE_Blit(&dest, &src, dstx, dsty, useRect ? &rect : nullptr, alpha, mode);
    ASSERT_TRUE(dest.GuardsIntact()) << "iteration " << i;
    ExpectGridsEqual(GridOf(dest), want,
                     "iteration " + std::to_string(i) + " mode " + std::to_string(mode));
    if (HasFatalFailure()) return;
  }
}

TEST(Blit, SecondFormBuildsTheSourceRectangle)
{
  Rng rng(9);
  GuardedBitmap src(9, 7), a(6, 6), b(6, 6);
  raster_test::FillRandom(src, rng);
  const RECT r = {2, 1, 2 + 4, 1 + 5};
  LICE_Blit(&a, &src, 1, -1, 2, 1, 4, 5, 0.6f, LICE_COMBINE_ADD);
  LICE_Blit(&b, &src, 1, -1, &r, 0.6f, LICE_COMBINE_ADD);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
  // Sizes that would overflow the right edge saturate instead of wrapping to an empty rectangle.
  LICE_Blit(&a, &src, 0, 0, 0, 0, INT_MAX, INT_MAX, 1.0f, 0);
  EXPECT_EQ(LICE_GetPixel(&a, 5, 5), LICE_GetPixel(&src, 5, 5));
}

TEST(Blit, OntoItselfReadsTheOriginalPixels)
{
  // Overlapping self-blits in every direction, for row moves and per-pixel rules alike.
  Rng rng(17);
  for (int i = 0; i < Scaled(3000, 600); ++i)
  {
    GuardedBitmap bm(rng.Int(1, 16), rng.Int(1, 16), rng.Chance(50));
    raster_test::FillRandom(bm, rng);
    const Grid before = GridOf(bm);
    const RECT r = {rng.Int(-3, 10), rng.Int(-3, 10), rng.Int(0, 18), rng.Int(0, 18)};
    const int dx = rng.Int(-6, 12), dy = rng.Int(-6, 12);
    const float alpha = rng.Chance(50) ? 1.0f : 0.4f;
    const int modes[4] = {LICE_COMBINE_COPY, LICE_COMBINE_USE_ALPHA, 0xF3, 0xF5};
    const int mode = modes[rng.Int(0, 3)];
    const Grid want = RefBlit(before, before, dx, dy, &r, alpha, mode);
    LICE_Blit(&bm, &bm, dx, dy, &r, alpha, mode);
    ASSERT_TRUE(bm.GuardsIntact());
    ExpectGridsEqual(GridOf(bm), want, "self blit " + std::to_string(i));
    if (HasFatalFailure()) return;
  }
}

TEST(Blit, NullAndEmptyBitmapsDrawNothing)
{
  GuardedBitmap bm(4, 4);
  LICE_MemBitmap empty;
  LICE_Blit(nullptr, &bm, 0, 0, nullptr, 1.0f, 0);
  LICE_Blit(&bm, nullptr, 0, 0, nullptr, 1.0f, 0);
  LICE_Blit(&bm, &empty, 0, 0, nullptr, 1.0f, 0);
  LICE_Blit(&empty, &bm, 0, 0, nullptr, 1.0f, 0);
  EXPECT_TRUE(bm.GuardsIntact());
}

TEST(HalveBlitAA, AveragesTwoByTwoBlocksOnWholeWords)
{
  GuardedBitmap src(5, 4, /*flipped=*/true), dest(3, 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) src.at(x, y) = LICE_RGBA(x * 40, y * 60, 4 * (x + y), 255);
  raster_test::Fill(dest, 0x12345678u);
  LICE_HalveBlitAA(&dest, &src);
  auto q = [](LICE_pixel p) { return (p >> 2) & 0x3F3F3F3Fu; };
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(dest.at(x, y), q(src.at(2 * x, 2 * y)) + q(src.at(2 * x + 1, 2 * y)) +
                                   q(src.at(2 * x, 2 * y + 1)) + q(src.at(2 * x + 1, 2 * y + 1)));
  // Only min(dest, source / 2) is written: column 2 and row 2 keep their value.
  EXPECT_EQ(dest.at(2, 0), 0x12345678u);
  EXPECT_EQ(dest.at(0, 2), 0x12345678u);
  // White stays nearly white: 4 * 0x3F = 0xFC per channel.
  GuardedBitmap white(2, 2), one(1, 1);
  LICE_Clear(&white, 0xFFFFFFFFu);
  LICE_HalveBlitAA(&one, &white);
  EXPECT_EQ(one.at(0, 0), 0xFCFCFCFCu);
  EXPECT_TRUE(dest.GuardsIntact());
}

namespace
{

// The blur of one pixel from an unmodified picture: half the pixel plus an eighth of each
// neighbour inside the rectangle, a quarter of the opposite one where a neighbour is missing.
LICE_pixel RefBlurPixel(const Grid& g, int x0, int y0, int w, int h, int x, int y)
{
  auto at = [&](int xx, int yy) { return g.at(x0 + xx, y0 + yy); };
  auto e = [](LICE_pixel p) { return (p >> 3) & 0x1F1F1F1Fu; };
  auto q = [](LICE_pixel p) { return (p >> 2) & 0x3F3F3F3Fu; };
  LICE_pixel v = (at(x, y) >> 1) & 0x7F7F7F7Fu;
  v += x == 0 ? q(at(1, y)) : x == w - 1 ? q(at(x - 1, y)) : e(at(x - 1, y)) + e(at(x + 1, y));
  v += y == 0 ? q(at(x, 1)) : y == h - 1 ? q(at(x, y - 1)) : e(at(x, y - 1)) + e(at(x, y + 1));
  return v;
}

} // namespace

TEST(Blur, FivePointKernelWithMirroredEdges)
{
  Rng rng(23);
  GuardedBitmap src(9, 6, /*flipped=*/true), dest(9, 6);
  raster_test::FillRandom(src, rng);
  const Grid g = GridOf(src);
  LICE_Blur(&dest, &src, 1, 0, 2, 1, 5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      ASSERT_EQ(dest.at(1 + x, y), RefBlurPixel(g, 2, 1, 5, 4, x, y)) << x << "," << y;
  EXPECT_EQ(dest.at(0, 0), 0u);
  EXPECT_EQ(dest.at(6, 0), 0u);
  // A flat grey whose bytes are multiples of 8 comes through unchanged.
  GuardedBitmap flat(4, 3);
  LICE_Clear(&flat, 0x80808080u);
  LICE_Blur(&flat, &flat, 0, 0, 0, 0, 4, 3);
  EXPECT_EQ(flat.at(0, 0), 0x80808080u);
  EXPECT_EQ(flat.at(1, 1), 0x80808080u);
  // One pixel wide or high: left alone.
  GuardedBitmap thin(3, 3);
  raster_test::FillRandom(thin, rng);
  const Grid before = GridOf(thin);
  LICE_Blur(&thin, &thin, 0, 0, 1, 0, 1, 3);
  LICE_Blur(&thin, &thin, 0, 0, 0, 1, 3, 1);
  ExpectGridsEqual(GridOf(thin), before, "thin blur");
}

TEST(Blur, InPlaceAndShiftedUseUnblurredInput)
{
  Rng rng(29);
  for (int i = 0; i < Scaled(500, 100); ++i)
  {
    GuardedBitmap bm(rng.Int(2, 14), rng.Int(2, 14), rng.Chance(50));
    raster_test::FillRandom(bm, rng);
    const Grid g = GridOf(bm);
    int sx = rng.Int(-3, 6), sy = rng.Int(-3, 6), w = rng.Int(0, 16), h = rng.Int(0, 16);
    int dx = i % 2 ? sx : rng.Int(-3, 6), dy = i % 2 ? sy : rng.Int(-3, 6);
    LICE_Blur(&bm, &bm, dx, dy, sx, sy, w, h);
    ASSERT_TRUE(bm.GuardsIntact());
    // Expected: clip like the library documents, then blur from the original picture.
    if (sx < 0) w += sx, dx -= sx, sx = 0;
    if (sy < 0) h += sy, dy -= sy, sy = 0;
    w = std::min(w, g.w - sx), h = std::min(h, g.h - sy);
    if (dx < 0) w += dx, sx -= dx, dx = 0;
    if (dy < 0) h += dy, sy -= dy, dy = 0;
    w = std::min(w, g.w - dx), h = std::min(h, g.h - dy);
    Grid want = g;
    if (w >= 2 && h >= 2)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) want.at(dx + x, dy + y) = RefBlurPixel(g, sx, sy, w, h, x, y);
    ExpectGridsEqual(GridOf(bm), want, "blur " + std::to_string(i));
    if (HasFatalFailure()) return;
  }
}
