// LICE_RotatedBlit, LICE_DeltaBlit(Alpha) and LICE_TransformBlit*: equivalences with the plain and
// scaled blits, the affine walk against its closed form (a source whose pixels name their own
// coordinates shows where each destination pixel sampled), weight ramps, mirroring, clipping,
// absurd inputs and golden pictures. More bottom-up bitmaps: bitmap_test.cpp.

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster_test_util.h"
#include "scaled_test_util.h"
#include "support/Sanitized.h"
#include "support/golden.h"

namespace
{

using namespace scaled_test;

constexpr double kPi = 3.14159265358979323846;

// Pixel (x, y) holds x in its low 12 bits and y in the next 12.
LICE_pixel CodeOf(int x, int y)
{
  return 0xFF000000u | ((LICE_pixel)y << 12) | (LICE_pixel)x;
}
GuardedBitmap Coded(int w, int h)
{
  GuardedBitmap bm(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bm.at(x, y) = CodeOf(x, y);
  return bm;
}

// The affine walk written out: the position of column j, row i, in 16.16.
struct Walk
{
  int64_t s, t, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy;
  int64_t S(int j, int i) const { return s + i * dsdy + j * (dsdx + i * dsdxdy); }
  int64_t T(int j, int i) const { return t + i * dtdy + j * (dtdx + i * dtdxdy); }
};

// Expected picture of a nearest-pixel copy of a Coded() source along `walk` into `want` at
// (x0, y0), columns reversed when mirrored; samples outside the window are not drawn.
struct Window
{
  int left, top, right, bottom;
};
void ExpectWalk(GuardedBitmap& want, const Walk& walk, int x0, int y0, int cols, int rows,
                const Window& win, bool mirrored = false)
{
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j)
    {
      const int64_t xi = walk.S(j, i) >> 16, yi = walk.T(j, i) >> 16;
      if (xi < win.left || yi < win.top || xi >= win.right || yi >= win.bottom) continue;
      const int x = x0 + (mirrored ? cols - 1 - j : j), y = y0 + i;
      if (x >= 0 && y >= 0 && x < want.getWidth() && y < want.getHeight())
        want.at(x, y) = CodeOf((int)xi, (int)yi);
    }
}

} // namespace

TEST(RotatedBlit, AngleZeroIsAPlainOrScaledBlit)
{
  GuardedBitmap src = RandomBitmap(13, 9, 41);
  const int modes[] = {0, LICE_COMBINE_FILTER_BILINEAR, LICE_COMBINE_USE_ALPHA,
                       LICE_COMBINE_USE_ALPHA | LICE_COMBINE_FILTER_BILINEAR, LICE_COMBINE_ADD};
  for (int mode : modes)
  {
    for (bool clip : {false, true})
    {
      GuardedBitmap a = RandomBitmap(20, 16, 42), b = RandomBitmap(20, 16, 42);
      LICE_RotatedBlit(&a, &src, 2, 3, 13, 9, 0, 0, 13, 9, 0, clip, 1.0f, mode, 0, 0);
      LICE_Blit(&b, &src, 2, 3, 0, 0, 13, 9, 1.0f, mode);
      EXPECT_TRUE(SamePicture(a, b)) << "mode " << mode << " clip " << clip;
    }
    // The centre offsets move the source.
    GuardedBitmap a = RandomBitmap(20, 16, 43), b = RandomBitmap(20, 16, 43);
    LICE_RotatedBlit(&a, &src, -1, 3, 13, 9, 0, 0, 13, 9, 0, false, 0.7f, mode, 2, -1);
    LICE_Blit(&b, &src, -1, 3, 2, -1, 13, 9, 0.7f, mode);
    EXPECT_TRUE(SamePicture(a, b)) << "mode " << mode << " with centre offsets";
  }
  // Scaled and mirrored, nearest pixel: the scaled blit's picture.
  for (auto [dw, dh] : {std::pair{26, 18}, std::pair{-26, 18}, std::pair{13, -36}})
  {
    GuardedBitmap a = RandomBitmap(40, 40, 44), b = RandomBitmap(40, 40, 44);
    const int x = dw < 0 ? 30 : 1, y = dh < 0 ? 38 : 1;
    LICE_RotatedBlit(&a, &src, x, y, dw, dh, 0, 0, 13, 9, 0, false, 1.0f, 0, 0, 0);
    LICE_ScaledBlit(&b, &src, x, y, dw, dh, 0, 0, 13, 9, 1.0f, 0);
    EXPECT_TRUE(SamePicture(a, b)) << dw << "x" << dh;
  }
}

TEST(DeltaBlit, UnitStepsAreABlitAndHalfStepsAScaledBlit)
{
  GuardedBitmap src = RandomBitmap(16, 12, 51);
  for (auto [x, y] : {std::pair{3, 2}, std::pair{-4, -3}, std::pair{10, 9}})
  {
    GuardedBitmap a = RandomBitmap(20, 16, 52), b = RandomBitmap(20, 16, 52);
    LICE_DeltaBlit(&a, &src, x, y, 12, 9, 3, 2, 16, 12, 1, 0, 0, 1, 0, 0, false, 0.6f,
                   LICE_COMBINE_MUL);
    LICE_Blit(&b, &src, x, y, 3, 2, 12, 9, 0.6f, LICE_COMBINE_MUL);
    EXPECT_TRUE(SamePicture(a, b)) << x << "," << y;
  }
  for (int mode : {0, LICE_COMBINE_FILTER_BILINEAR})
  {
    GuardedBitmap a = RandomBitmap(40, 30, 53), b = RandomBitmap(40, 30, 53);
    LICE_DeltaBlit(&a, &src, -2, 1, 32, 24, 0, 0, 16, 12, 0.5, 0, 0, 0.5, 0, 0, false, 1.0f, mode);
    LICE_ScaledBlit(&b, &src, -2, 1, 32, 24, 0, 0, 16, 12, 1.0f, mode);
    EXPECT_TRUE(SamePicture(a, b)) << "mode " << mode;
  }
}

TEST(DeltaBlit, WalkFollowsItsClosedFormThroughClippingAndMirroring)
{
  const GuardedBitmap src = Coded(64, 48);
  // Steps exact in 16.16, so clipped starts computed afresh land on the stepped positions.
  const double s0 = -2.5, t0 = 3.25, dsdx = 0.75, dtdx = 0.125, dsdy = -0.0625, dtdy = 0.875,
               dsdxdy = 0.015625, dtdxdy = -0.0078125;
  const Walk walk = {(int64_t)(s0 * 65536),     (int64_t)(t0 * 65536),    (int64_t)(dsdx * 65536),
                     (int64_t)(dtdx * 65536),   (int64_t)(dsdy * 65536),  (int64_t)(dtdy * 65536),
                     (int64_t)(dsdxdy * 65536), (int64_t)(dtdxdy * 65536)};
  // Between bottom-up bitmaps too.
  struct Case
  {
    int x, y;
    bool mirrored;
  } cases[] = {{5, 4, false}, {-7, -5, false}, {5, 4, true}, {-9, 6, true}, {-7, -5, true}};
  for (const Case& c : cases)
  {
    GuardedBitmap want(50, 40);
    ExpectWalk(want, walk, c.x, c.y, 40, 30, {0, 0, 64, 48}, c.mirrored);
    auto draw = [&](LICE_IBitmap* dest, const LICE_IBitmap* source)
    {
      LICE_DeltaBlit(dest, source, c.mirrored ? c.x + 40 : c.x, c.y, c.mirrored ? -40 : 40, 30,
                     (float)s0, (float)t0, 64, 48, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy, false,
                     1.0f, 0);
    };
    EXPECT_TRUE(raster_test::SameWhenFlipped(GuardedBitmap(50, 40), &src, draw, &want))
        << c.x << "," << c.y << " mirrored " << c.mirrored;
  }
  // With cliptosourcerect only the source rectangle, truncated to whole pixels and limited to
  // the bitmap, is sampled: (-2.5, 3.25) to (17.5, 18.25) gives columns 0..16, rows 3..17.
  GuardedBitmap dest(50, 40), want(50, 40);
  LICE_DeltaBlit(&dest, &src, 5, 4, 40, 30, (float)s0, (float)t0, 20, 15, dsdx, dtdx, dsdy, dtdy,
                 dsdxdy, dtdxdy, true, 1.0f, 0);
  ExpectWalk(want, walk, 5, 4, 40, 30, {0, 3, 17, 18});
  EXPECT_TRUE(SamePicture(dest, want));
}

TEST(DeltaBlitAlpha, WeightFollowsTheRampWithinZeroTo256)
{
  GuardedBitmap src = RandomBitmap(24, 16, 61);
  GuardedBitmap dest = RandomBitmap(24, 16, 62), want = RandomBitmap(24, 16, 62);
  // 64 + 16 per column - 8 per row: from below 0 (nothing drawn) to above 256 (full weight).
  LICE_DeltaBlitAlpha(&dest, &src, 0, 0, 24, 16, 0, 0, 24, 16, 1, 0, 0, 1, 0, 0, false, 1.0f, 0,
                      0.25, 0.0625, -0.03125);
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 24; ++j)
    {
      const int w = std::min(256, 64 + 16 * j - 8 * i);
      if (w > 0)
        lice_detail::CombineWord<_LICE_CombinePixelsCopyNoClamp>(&want.at(j, i), src.at(j, i), w);
    }
  EXPECT_TRUE(SamePicture(dest, want));

  // A flat ramp at 1.0 is the plain delta blit at full weight.
  for (int mode : {LICE_COMBINE_ADD, LICE_COMBINE_OVERLAY | LICE_COMBINE_FILTER_BILINEAR})
  {
    GuardedBitmap a = RandomBitmap(30, 20, 63), b = RandomBitmap(30, 20, 63);
    LICE_DeltaBlitAlpha(&a, &src, 2, 1, 26, 17, 0.3f, 0.2f, 24, 16, 0.9, 0.05, -0.02, 0.93, 0, 0,
                        false, 1.0f, mode, 1.0, 0, 0);
    LICE_DeltaBlit(&b, &src, 2, 1, 26, 17, 0.3f, 0.2f, 24, 16, 0.9, 0.05, -0.02, 0.93, 0, 0, false,
                   1.0f, mode);
    EXPECT_TRUE(SamePicture(a, b)) << "mode " << mode;
  }
}

TEST(TransformBlit, EvenMeshOverTheSourceIsABlit)
{
  GuardedBitmap src = RandomBitmap(16, 12, 71);
  std::vector<float> pts;
  std::vector<double> pts2, pts3;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 5; ++i)
    {
      pts.push_back(i * 4.0f), pts.push_back(j * 6.0f);
      pts2.push_back(i * 4.0), pts2.push_back(j * 6.0);
      pts3.push_back(i * 4.0), pts3.push_back(j * 6.0), pts3.push_back(1.0);
    }
  for (int mode : {0, LICE_COMBINE_ADD, LICE_COMBINE_FILTER_BILINEAR})
  {
    GuardedBitmap want = RandomBitmap(24, 20, 72);
    LICE_Blit(&want, &src, 3, -2, 0, 0, 16, 12, 1.0f, mode);
    GuardedBitmap a = RandomBitmap(24, 20, 72), b = RandomBitmap(24, 20, 72),
                  c = RandomBitmap(24, 20, 72);
    LICE_TransformBlit(&a, &src, 3, -2, 16, 12, pts.data(), 5, 3, 1.0f, mode);
    LICE_TransformBlit2(&b, &src, 3, -2, 16, 12, pts2.data(), 5, 3, 1.0f, mode);
    LICE_TransformBlit2Alpha(&c, &src, 3, -2, 16, 12, pts3.data(), 5, 3, mode);
    EXPECT_TRUE(SamePicture(a, want)) << "mode " << mode;
    EXPECT_TRUE(SamePicture(b, want)) << "mode " << mode;
    EXPECT_TRUE(SamePicture(c, want)) << "mode " << mode;
  }
  // Too few mesh points, no points or an empty rectangle draw nothing.
  GuardedBitmap dest = RandomBitmap(24, 20, 73);
  const std::vector<LICE_pixel> before = Pixels(dest);
  LICE_TransformBlit(&dest, &src, 0, 0, 16, 12, pts.data(), 1, 3, 1.0f, 0);
  LICE_TransformBlit(&dest, &src, 0, 0, 16, 12, pts.data(), 5, 1, 1.0f, 0);
  LICE_TransformBlit(&dest, &src, 0, 0, 16, 12, nullptr, 5, 3, 1.0f, 0);
  LICE_TransformBlit2(&dest, &src, 0, 0, 0, 12, pts2.data(), 5, 3, 1.0f, 0);
  LICE_TransformBlit2Alpha(&dest, &src, 0, 0, 16, -12, pts3.data(), 5, 3, 0);
  EXPECT_EQ(Pixels(dest), before);
}

TEST(TransformBlit, CellsFollowBilinearPatchesAndAlphaRamps)
{
  // One cell whose bottom edge is twice as wide as its top: the per-pixel step grows from 1 to
  // 2 over the rows, as the walk's closed form says.
  const GuardedBitmap src = Coded(64, 48);
  const double pts[] = {0, 0, 16, 0, 0, 16, 32, 16};
  GuardedBitmap dest(16, 16), want(16, 16);
  LICE_TransformBlit2(&dest, &src, 0, 0, 16, 16, pts, 2, 2, 1.0f, 0);
  const Walk walk = {0, 0, 65536, 0, 0, 65536, 4096, 0}; // (32 / 16 - 1) / 16 = 1/16
  ExpectWalk(want, walk, 0, 0, 16, 16, {0, 0, 64, 48});
  EXPECT_TRUE(SamePicture(dest, want));

  // Alpha 0 on the left edge and 1 on the right: 16 more weight per column.
  GuardedBitmap colours = RandomBitmap(16, 8, 74);
  const double ramp[] = {0, 0, 0, 16, 0, 1, 0, 8, 0, 16, 8, 1};
  GuardedBitmap a = RandomBitmap(16, 8, 75), b = RandomBitmap(16, 8, 75);
  LICE_TransformBlit2Alpha(&a, &colours, 0, 0, 16, 8, ramp, 2, 2, 0);
  for (int i = 0; i < 8; ++i)
    for (int j = 1; j < 16; ++j)
      lice_detail::CombineWord<_LICE_CombinePixelsCopyNoClamp>(&b.at(j, i), colours.at(j, i),
                                                               16 * j);
  EXPECT_TRUE(SamePicture(a, b));

  // Alpha 1 only at the bottom-right point: the weight grows as column x row, so that the cell
  // reaches that point's alpha (an edge-only ramp would leave the whole cell at 0).
  const double corner[] = {0, 0, 0, 16, 0, 0, 0, 16, 0, 16, 16, 1};
  GuardedBitmap c = RandomBitmap(16, 16, 76), d = RandomBitmap(16, 16, 76);
  GuardedBitmap square = RandomBitmap(16, 16, 77);
  LICE_TransformBlit2Alpha(&c, &square, 0, 0, 16, 16, corner, 2, 2, 0);
  for (int i = 1; i < 16; ++i)
    for (int j = 1; j < 16; ++j)
      lice_detail::CombineWord<_LICE_CombinePixelsCopyNoClamp>(&d.at(j, i), square.at(j, i), i * j);
  EXPECT_TRUE(SamePicture(c, d));
}

TEST(TransformBlits, AbsurdNumbersDrawNothing)
{
  GuardedBitmap src = RandomBitmap(16, 12, 81);
  GuardedBitmap dest = RandomBitmap(20, 16, 82);
  const std::vector<LICE_pixel> before = Pixels(dest);
  const int bilinear = LICE_COMBINE_FILTER_BILINEAR;
  for (int mode : {0, bilinear})
  {
    LICE_RotatedBlit(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, kNaN, false, 1.0f, mode, 0, 0);
    LICE_RotatedBlit(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, 0.3f, false, kNaN, mode, 0, 0);
    LICE_RotatedBlit(&dest, &src, 0, 0, 20, 16, 1e30f, 0, 16, 12, 0.3f, false, 1.0f, mode, 0, 0);
    LICE_RotatedBlit(&dest, &src, 0, 0, 20, 16, 0, 0, kInf, 12, 0.3f, false, 1.0f, mode, 0, 0);
    LICE_RotatedBlit(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, 0.3f, false, 1.0f, mode, 0, -1e30f);
    LICE_RotatedBlit(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, 0.3f, false, 0.0f, mode, 0, 0);
    LICE_DeltaBlit(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, 1e300, 0, 0, 1, 0, 0, false, 1.0f,
                   mode);
    LICE_DeltaBlit(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, 1, 0, 0, 1, 0, -1e200, false, 1.0f,
                   mode);
    LICE_DeltaBlit(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, 1, kNaN, 0, 1, 0, 0, false, 1.0f, mode);
    LICE_DeltaBlitAlpha(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, 1, 0, 0, 1, 0, 0, false, 1.0f,
                        mode, std::numeric_limits<double>::infinity(), 0, 0);
    LICE_DeltaBlitAlpha(&dest, &src, 0, 0, 20, 16, 0, 0, 16, 12, 1, 0, 0, 1, 0, 0, false, 1.0f,
                        mode, 1, 1e300, 0);
    const float nanMesh[] = {kNaN, 0, 16, 0, 0, 12, 16, 12};
    LICE_TransformBlit(&dest, &src, 0, 0, 20, 16, nanMesh, 2, 2, 1.0f, mode);
  }
  EXPECT_EQ(Pixels(dest), before);
}

namespace
{

// One of the rotated, delta and mesh blits, with the fuzz's geometry.
const char* AnyTransformBlit(GuardedBitmap& dest, const GuardedBitmap& src, const FuzzCall& c,
                             Rng& rng, FuzzNumbers& any)
{
  const bool clip = rng.Chance(50);
  const int kind = rng.Int(0, 4);
  if (kind == 0)
  {
    LICE_RotatedBlit(&dest, &src, c.dstx, c.dsty, c.dstw, c.dsth, c.sx, c.sy, c.sw, c.sh,
                     (float)any.Real(-7, 7), clip, c.alpha, c.mode, (float)any.Real(-5, 5),
                     (float)any.Real(-5, 5));
    return "LICE_RotatedBlit";
  }
  if (kind <= 2)
  {
    // Steps, gentle second-order terms and a weight ramp.
    const double d[9] = {any.Real(-2, 2),     any.Real(-2, 2),       any.Real(-2, 2),
                         any.Real(-2, 2),     any.Real(-0.05, 0.05), any.Real(-0.05, 0.05),
                         any.Real(-0.5, 1.5), any.Real(-0.1, 0.1),   any.Real(-0.1, 0.1)};
    if (kind == 1)
    {
      LICE_DeltaBlit(&dest, &src, c.dstx, c.dsty, c.dstw, c.dsth, c.sx, c.sy, c.sw, c.sh, d[0],
                     d[1], d[2], d[3], d[4], d[5], clip, c.alpha, c.mode);
      return "LICE_DeltaBlit";
    }
    LICE_DeltaBlitAlpha(&dest, &src, c.dstx, c.dsty, c.dstw, c.dsth, c.sx, c.sy, c.sw, c.sh, d[0],
                        d[1], d[2], d[3], d[4], d[5], clip, c.alpha, c.mode, d[6], d[7], d[8]);
    return "LICE_DeltaBlitAlpha";
  }
  const int divw = rng.Int(-1, 6), divh = rng.Int(-1, 6), stride = kind == 3 ? 2 : 3;
  std::vector<double> pts((size_t)std::max(divw, 0) * std::max(divh, 0) * stride + 1);
  for (size_t k = 0; k < pts.size(); ++k)
    pts[k] = k % 3 == 2 && stride == 3 ? any.Real(-0.5, 1.5) : any.Position(src.getWidth());
  if (kind == 3)
  {
    const std::vector<float> fpts(pts.begin(), pts.end());
    LICE_TransformBlit(&dest, &src, c.dstx, c.dsty, c.dstw, c.dsth, fpts.data(), divw, divh,
                       c.alpha, c.mode);
    return "LICE_TransformBlit";
  }
  LICE_TransformBlit2Alpha(&dest, &src, c.dstx, c.dsty, c.dstw, c.dsth, pts.data(), divw, divh,
                           c.mode);
  return "LICE_TransformBlit2Alpha";
}

} // namespace

TEST(TransformBlits, RandomGeometryStaysInsideTheBitmaps)
{
  FuzzBlits(91, 16, AnyTransformBlit);
}

TEST(TransformBlits, GoldenPictures)
{
  const GuardedBitmap knob = Knob(32);
  {
    GuardedBitmap canvas = Filled(136, 64, 0xFF303840);
    const int soft = LICE_COMBINE_USE_ALPHA | LICE_COMBINE_FILTER_BILINEAR;
    LICE_RotatedBlit(&canvas, &knob, 0, 0, 32, 32, 0, 0, 32, 32, 0.4f, false, 1.0f, soft, 0, 0);
    LICE_RotatedBlit(&canvas, &knob, 32, 0, 32, 32, 0, 0, 32, 32, 1.3f, false, 1.0f, soft, 0, 0);
    LICE_RotatedBlit(&canvas, &knob, 64, 0, 32, 32, 0, 0, 32, 32, 2.6f, false, 0.6f, soft, 0, 0);
    LICE_RotatedBlit(&canvas, &knob, 96, 0, 32, 32, 0, 0, 32, 32, -0.8f, false, 1.0f,
                     LICE_COMBINE_USE_ALPHA, 0, 0);
    LICE_RotatedBlit(&canvas, &knob, 0, 32, 32, 32, 8, 0, 16, 32, (float)(kPi / 5), true, 1.0f, 0,
                     3, -2);
    LICE_RotatedBlit(&canvas, &knob, 32, 24, 48, 48, 0, 0, 32, 32, 0.9f, false, 1.0f, soft, 0, 0);
    LICE_RotatedBlit(&canvas, &knob, 120, 32, -32, 32, 0, 0, 32, 32, 0.5f, false, 1.0f,
                     LICE_COMBINE_ADD | LICE_COMBINE_FILTER_BILINEAR, 0, 0);
    ExpectMatchesGolden(canvas, "rotated_blits",
                        "Rotated knob faces: bilinear with source alpha at 0.4, 1.3, 2.6 (at "
                        "0.6 weight) and nearest at -0.8 rad; a clipped source rectangle with "
                        "the centre moved; 1.5x scaled, cut by the bottom edge; mirrored add.");
  }
  {
    const GuardedBitmap pattern = Pattern(32, 24);
    std::vector<double> mesh;
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 5; ++i)
      {
        mesh.push_back(i * 8 + 3 * std::sin(j * 1.3));
        mesh.push_back(j * 8 + 2.5 * std::cos(i * 1.1));
      }
    std::vector<float> meshf(mesh.begin(), mesh.end());
    std::vector<double> faded;
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i)
      {
        faded.push_back(i * 16), faded.push_back(j * 12);
        faded.push_back(i == 1 && j == 1 ? 1.0 : 0.0);
      }
    GuardedBitmap canvas = Filled(140, 60, 0xFF303840);
    LICE_TransformBlit(&canvas, &pattern, 2, 2, 44, 40, meshf.data(), 5, 4, 1.0f, 0);
    LICE_TransformBlit2(&canvas, &pattern, 48, 2, 44, 40, mesh.data(), 5, 4, 1.0f,
                        LICE_COMBINE_FILTER_BILINEAR);
    LICE_TransformBlit2Alpha(&canvas, &pattern, 94, 2, 44, 56, faded.data(), 3, 3,
                             LICE_COMBINE_FILTER_BILINEAR);
    ExpectMatchesGolden(canvas, "transform_mesh",
                        "Mesh warps of the pattern through a 5 x 4 grid, nearest and bilinear, "
                        "and a 3 x 3 grid whose alpha fades from the centre to the rim.");
  }
}
