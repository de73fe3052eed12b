// lice_transform.cpp - the rotated, delta and mesh-warp blits and the affine loop they share.
//
// All three walk the destination rectangle row by row and sample the source at an affine
// position: for destination column j of row i (counted from the rectangle's corner)
//   s = s0 + i * dsdy + j * (dsdx + i * dsdxdy),   t = t0 + i * dtdy + j * (dtdx + i * dtdxdy)
// so the second-order terms bend the per-pixel step from row to row (the mesh warp draws
// bilinear patches with them). Positions are 16.16 fixed point relative to a source window
// (lice_sampling.h), set up once in floating point and truncated toward zero; samples outside
// the window are not drawn. The combine rule is chosen once per call and passed to the one
// shared loop as a function pointer. LICE_DeltaBlitAlpha also ramps the weight linearly; the
// mesh warp with alpha ramps it with a second-order term too, so that the weight follows the same
// bilinear patch as the positions and every mesh point's alpha is met.
//
// A negative destination width or height draws the mirror image of what the positive size
// would draw, into the rectangle on the other side of (dstx, dsty).

#include <algorithm>
#include <cmath>

#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster/lice_sampling.h"

namespace
{

using namespace lice_detail;

// The affine walk in source pixels (positions absolute until the window is known) and the
// weight ramp in alpha units (1.0 = full), which walks the same way.
struct AffineMap
{
  double s = 0, t = 0;
  double dsdx = 0, dtdx = 0, dsdy = 0, dtdy = 0, dsdxdy = 0, dtdxdy = 0;
  double a = 0, dadx = 0, dady = 0, dadxdy = 0;
};

// Moves the map's origin by kx columns and ky rows.
void Advance(AffineMap& m, double kx, double ky)
{
  m.s += ky * m.dsdy + kx * (m.dsdx + ky * m.dsdxdy);
  m.t += ky * m.dtdy + kx * (m.dtdx + ky * m.dtdxdy);
  m.dsdy += kx * m.dsdxdy;
  m.dtdy += kx * m.dtdxdy;
  m.dsdx += ky * m.dsdxdy;
  m.dtdx += ky * m.dtdxdy;
  m.a += ky * m.dady + kx * (m.dadx + ky * m.dadxdy);
  m.dady += kx * m.dadxdy;
  m.dadx += ky * m.dadxdy;
}

// Reverses the walk along the rows (columns) of a rectangle w wide (h high).
void MirrorColumns(AffineMap& m, double w)
{
  Advance(m, w - 1, 0);
  m.dsdx = -m.dsdx, m.dtdx = -m.dtdx, m.dsdxdy = -m.dsdxdy, m.dtdxdy = -m.dtdxdy;
  m.dadx = -m.dadx, m.dadxdy = -m.dadxdy;
}
void MirrorRows(AffineMap& m, double h)
{
  Advance(m, 0, h - 1);
  m.dsdy = -m.dsdy, m.dtdy = -m.dtdy, m.dsdxdy = -m.dsdxdy, m.dtdxdy = -m.dtdxdy;
  m.dady = -m.dady, m.dadxdy = -m.dadxdy;
}

// Everything the shared loop needs, in fixed point, after clipping.
struct AffineJob
{
  SourceWindow win;
  PixelRows dest;
  int dstx = 0, dsty = 0, dstw = 0, dsth = 0;
  Fixed s = 0, t = 0, dsdx = 0, dtdx = 0, dsdy = 0, dtdy = 0, dsdxdy = 0, dtdxdy = 0;
  Fixed a = 0, dadx = 0, dady = 0, dadxdy = 0; // weight ramp, 0..256 in 16.16
  PixelRuleFn rule = nullptr;
  int ia = 0;
};

// The shared loop. kRamp: the weight is the ramp's, limited to 256 (0 or less draws nothing).
template <bool kBilinear, bool kRamp> void AffineRows(const AffineJob& job)
{
  const SourceWindow& win = job.win;
  Fixed rs = job.s, rt = job.t, ra = job.a, dsdx = job.dsdx, dtdx = job.dtdx, dadx = job.dadx;
  for (int i = 0; i < job.dsth; ++i)
  {
    LICE_pixel* out = job.dest.row(job.dsty + i) + job.dstx;
    Fixed s = rs, t = rt, a = ra;
    for (int j = 0; j < job.dstw; ++j, s += dsdx, t += dtdx, a += dadx)
    {
      const Fixed xi = s >> 16, yi = t >> 16;
      if (!InWindow(win, xi, yi)) continue;
      int w = job.ia;
      if constexpr (kRamp)
      {
        const Fixed v = a >> 16;
        if (v <= 0) continue;
        w = v > 256 ? 256 : (int)v;
      }
      LICE_pixel p;
      if constexpr (kBilinear)
        p = BilinearAt(win, xi, yi, (uint32_t)(s & 0xFFFF), (uint32_t)(t & 0xFFFF));
      else
        p = win.row(yi)[xi];
      job.rule((unsigned char*)(out + j), (int)LICE_GETR(p), (int)LICE_GETG(p), (int)LICE_GETB(p),
               (int)LICE_GETA(p), w);
    }
    rs += job.dsdy, rt += job.dtdy, ra += job.dady;
    dsdx += job.dsdxdy, dtdx += job.dtdxdy, dadx += job.dadxdy;
  }
}

// Source window [left, right) x [top, bottom): the clipped source rectangle, or all of it.
struct WindowRect
{
  int left, top, right, bottom;
};
WindowRect SourceRect(const LICE_IBitmap* src, bool clip, double srcx, double srcy, double srcw,
                      double srch)
{
  const int w = src->getWidth(), h = src->getHeight();
  if (!clip) return {0, 0, w, h};
  return {(int)TruncClamped(std::max(srcx, 0.0), 0, w),
          (int)TruncClamped(std::max(srcy, 0.0), 0, h),
          (int)TruncClamped(std::min(srcx + srcw, (double)w), 0, w),
          (int)TruncClamped(std::min(srcy + srch, (double)h), 0, h)};
}

// (int)(v * 65536) for the fixed-point set-up; the caller has bounded v.
Fixed ToFixed(double v)
{
  return (Fixed)(v * kFixedOne);
}

// Clips the rectangle to the destination (advancing the map over skipped columns and rows),
// converts to fixed point and runs the shared loop. rule null: nothing is drawn.
void DrawAffine(LICE_IBitmap* dest, const LICE_IBitmap* src, int64_t dstx, int64_t dsty,
                int64_t dstw, int64_t dsth, AffineMap m, const WindowRect& wr, bool bilinear,
                PixelRuleFn rule, int ia, bool ramp)
{
  if (!rule || wr.right <= wr.left || wr.bottom <= wr.top) return;
  const int destW = dest->getWidth(), destH = dest->getHeight();
  if (dstx < 0)
  {
    Advance(m, (double)-dstx, 0);
    dstw += dstx;
    dstx = 0;
  }
  if (dsty < 0)
  {
    Advance(m, 0, (double)-dsty);
    dsth += dsty;
    dsty = 0;
  }
  if (dstw <= 0 || dsth <= 0 || dstx >= destW || dsty >= destH) return;
  dstw = std::min<int64_t>(dstw, destW - dstx);
  dsth = std::min<int64_t>(dsth, destH - dsty);

  m.s -= wr.left;
  m.t -= wr.top;
  // Every value the loop reaches must stay far inside the fixed-point range (this also turns
  // away infinities and NaN from absurd inputs).
  const double w = (double)dstw, h = (double)dsth;
  const double sReach =
      std::fabs(m.s) + h * std::fabs(m.dsdy) + w * (std::fabs(m.dsdx) + h * std::fabs(m.dsdxdy));
  const double tReach =
      std::fabs(m.t) + h * std::fabs(m.dtdy) + w * (std::fabs(m.dtdx) + h * std::fabs(m.dtdxdy));
  const double aReach =
      std::fabs(m.a) + h * std::fabs(m.dady) + w * (std::fabs(m.dadx) + h * std::fabs(m.dadxdy));
  if (!(sReach * kFixedOne < kFixedLimit && tReach * kFixedOne < kFixedLimit &&
        aReach * 256.0 * kFixedOne < kFixedLimit))
    return;

  AffineJob job;
  job.win = WindowOf(src, wr.left, wr.top, wr.right, wr.bottom);
  job.dest = RowsOf(dest);
  job.dstx = (int)dstx;
  job.dsty = (int)dsty;
  job.dstw = (int)dstw;
  job.dsth = (int)dsth;
  job.s = ToFixed(m.s);
  job.t = ToFixed(m.t);
  job.dsdx = ToFixed(m.dsdx);
  job.dtdx = ToFixed(m.dtdx);
  job.dsdy = ToFixed(m.dsdy);
  job.dtdy = ToFixed(m.dtdy);
  job.dsdxdy = ToFixed(m.dsdxdy);
  job.dtdxdy = ToFixed(m.dtdxdy);
  job.a = ToFixed(m.a * 256.0);
  job.dadx = ToFixed(m.dadx * 256.0);
  job.dady = ToFixed(m.dady * 256.0);
  job.dadxdy = ToFixed(m.dadxdy * 256.0);
  job.rule = rule;
  job.ia = ia;
  if (bilinear)
    ramp ? AffineRows<true, true>(job) : AffineRows<true, false>(job);
  else
    ramp ? AffineRows<false, true>(job) : AffineRows<false, false>(job);
}

bool Drawable(const LICE_IBitmap* dest, const LICE_IBitmap* src)
{
  return dest && src && dest->getBits() && src->getBits() && dest->getWidth() > 0 &&
         dest->getHeight() > 0 && src->getWidth() > 0 && src->getHeight() > 0;
}

bool IsBilinear(int mode)
{
  return (mode & LICE_COMBINE_FILTER_MASK) == LICE_COMBINE_FILTER_BILINEAR;
}

// LICE_DeltaBlit and LICE_DeltaBlitAlpha (ramp = {da, dadx, dady, dadxdy} or null), with double
// start so that the mesh warp keeps its precision. With a ramp each pixel's weight is the ramp's
// instead of alpha's, which then only decides whether anything is drawn (not at 0).
void DeltaBlitImpl(LICE_IBitmap* dest, const LICE_IBitmap* src, int64_t dstx, int64_t dsty,
                   int64_t dstw, int64_t dsth, double srcx, double srcy, double srcw, double srch,
                   double dsdx, double dtdx, double dsdy, double dtdy, double dsdxdy, double dtdxdy,
                   bool cliptosourcerect, float alpha, int mode, const double* ramp)
{
  if (!Drawable(dest, src) || !dstw || !dsth) return;
  if (!AllFinite({srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy})) return;
  if (ramp && !AllFinite({ramp[0], ramp[1], ramp[2], ramp[3]})) return;
  const int ia = AlphaWeight(alpha);
  if (ia < 1) return;
  // A ramped weight varies per pixel, so the rule must be one that uses it.
  const PixelRuleFn rule = BlitRuleFunction(mode, ramp ? 255 : ia);

  const WindowRect wr = SourceRect(src, cliptosourcerect, srcx, srcy, srcw, srch);
  AffineMap m;
  m.s = srcx, m.t = srcy;
  m.dsdx = dsdx, m.dtdx = dtdx, m.dsdy = dsdy, m.dtdy = dtdy, m.dsdxdy = dsdxdy, m.dtdxdy = dtdxdy;
  if (ramp) m.a = ramp[0], m.dadx = ramp[1], m.dady = ramp[2], m.dadxdy = ramp[3];
  if (dstw < 0)
  {
    dstx += dstw;
    dstw = -dstw;
    MirrorColumns(m, (double)dstw);
  }
  if (dsth < 0)
  {
    dsty += dsth;
    dsth = -dsth;
    MirrorRows(m, (double)dsth);
  }
  DrawAffine(dest, src, dstx, dsty, dstw, dsth, m, wr, IsBilinear(mode), rule, ia, ramp != nullptr);
}

// The mesh warp: cell (i, j) of the (div_w - 1) x (div_h - 1) grid over the destination is a
// delta blit from mesh point (i, j), its steps running along the cell's top and left edges and
// turning into the bottom edge's step by the last row. stride: 2 (x, y) or 3 (x, y, alpha).
template <class T>
void TransformImpl(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                   int dsth, const T* points, int stride, int div_w, int div_h, float alpha,
                   int mode)
{
  if (!Drawable(dest, src) || !points || dstw <= 0 || dsth <= 0 || div_w <= 1 || div_h <= 1) return;
  const double cellW = (double)dstw / (div_w - 1), cellH = (double)dsth / (div_h - 1);
  // Cell edges are rounded to the nearest pixel (+ 0.5 and down, also left of or above 0).
  auto edgeX = [&](int i) { return (int64_t)std::floor(dstx + i * cellW + 0.5); };
  auto edgeY = [&](int j) { return (int64_t)std::floor(dsty + j * cellH + 0.5); };
  const double srcW = src->getWidth(), srcH = src->getHeight();
  for (int j = 0; j + 1 < div_h; ++j)
  {
    const int64_t y0 = edgeY(j), ch = edgeY(j + 1) - y0;
    if (ch <= 0) continue;
    for (int i = 0; i + 1 < div_w; ++i)
    {
      const int64_t x0 = edgeX(i), cw = edgeX(i + 1) - x0;
      if (cw <= 0) continue;
      const T* p00 = points + ((size_t)j * div_w + i) * stride;
      const T* p01 = p00 + stride;
      const T* p10 = p00 + (size_t)div_w * stride;
      const T* p11 = p10 + stride;
      const double dsdx = ((double)p01[0] - p00[0]) / cw, dtdx = ((double)p01[1] - p00[1]) / cw;
      const double dsdy = ((double)p10[0] - p00[0]) / ch, dtdy = ((double)p10[1] - p00[1]) / ch;
      const double dsdxdy = (((double)p11[0] - p10[0]) / cw - dsdx) / ch;
      const double dtdxdy = (((double)p11[1] - p10[1]) / cw - dtdx) / ch;
      double ramp[4] = {0, 0, 0, 0};
      if (stride == 3)
      {
        ramp[0] = p00[2];
        ramp[1] = ((double)p01[2] - p00[2]) / cw;
        ramp[2] = ((double)p10[2] - p00[2]) / ch;
        ramp[3] = (((double)p11[2] - p10[2]) / cw - ramp[1]) / ch;
      }
      DeltaBlitImpl(dest, src, x0, y0, cw, ch, p00[0], p00[1], srcW, srcH, dsdx, dtdx, dsdy, dtdy,
                    dsdxdy, dtdxdy, false, alpha, mode, stride == 3 ? ramp : nullptr);
    }
  }
}

} // namespace

void LICE_RotatedBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                      int dsth, float srcx, float srcy, float srcw, float srch, float angle,
                      bool cliptosourcerect, float alpha, int mode, float rotxcent, float rotycent)
{
  if (!Drawable(dest, src) || !dstw || !dsth) return;
  if (!AllFinite({srcx, srcy, srcw, srch, angle, alpha, rotxcent, rotycent})) return;
  const WindowRect wr = SourceRect(src, cliptosourcerect, srcx, srcy, srcw, srch);

  double sx = srcx, sy = srcy, sw = srcw, sh = srch;
  int64_t dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  if (dw < 0)
  {
    dx += dw;
    sx += sw;
    dw = -dw;
    sw = -sw;
  }
  if (dh < 0)
  {
    dy += dh;
    sy += sh;
    dh = -dh;
    sh = -sh;
  }
  const double c = std::cos((double)angle), s = std::sin((double)angle);
  const double xscale = sw / (double)dw, yscale = sh / (double)dh;
  const double A = xscale * c, B = yscale * s, C = xscale * s, D = yscale * c;
  // A source axis walked backwards starts one source step in, so that a mirrored image covers
  // the same pixels as the unmirrored one.
  if (xscale < 0) sx += xscale;
  if (yscale < 0) sy += yscale;
  // Rotation about the centre of the source area, moved by (rotxcent, rotycent).
  sx -= ((dh * C + dw * A) - sw) * 0.5 - rotxcent;
  sy -= ((dh * D - dw * B) - sh) * 0.5 - rotycent;

  const int ia = AlphaWeight(alpha);
  AffineMap m;
  m.s = sx, m.t = sy;
  m.dsdx = A, m.dtdx = -B, m.dsdy = C, m.dtdy = D;
  DrawAffine(dest, src, dx, dy, dw, dh, m, wr, IsBilinear(mode), BlitRuleFunction(mode, ia), ia,
             false);
}

void LICE_DeltaBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                    int dsth, float srcx, float srcy, float srcw, float srch, double dsdx,
                    double dtdx, double dsdy, double dtdy, double dsdxdy, double dtdxdy,
                    bool cliptosourcerect, float alpha, int mode)
{
  DeltaBlitImpl(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy,
                dsdxdy, dtdxdy, cliptosourcerect, alpha, mode, nullptr);
}

void LICE_DeltaBlitAlpha(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, float srcx, float srcy, float srcw, float srch, double dsdx,
                         double dtdx, double dsdy, double dtdy, double dsdxdy, double dtdxdy,
                         bool cliptosourcerect, float alpha, int mode, double da, double dadx,
                         double dady)
{
  const double ramp[4] = {da, dadx, dady, 0};
  DeltaBlitImpl(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy,
                dsdxdy, dtdxdy, cliptosourcerect, alpha, mode, ramp);
}

void LICE_TransformBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                        int dsth, const float* srcpoints, int div_w, int div_h, float alpha,
                        int mode)
{
  TransformImpl(dest, src, dstx, dsty, dstw, dsth, srcpoints, 2, div_w, div_h, alpha, mode);
}

void LICE_TransformBlit2(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, const double* srcpoints, int div_w, int div_h, float alpha,
                         int mode)
{
  TransformImpl(dest, src, dstx, dsty, dstw, dsth, srcpoints, 2, div_w, div_h, alpha, mode);
}

void LICE_TransformBlit2Alpha(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty,
                              int dstw, int dsth, const double* srcpoints, int div_w, int div_h,
                              int mode)
{
  TransformImpl(dest, src, dstx, dsty, dstw, dsth, srcpoints, 3, div_w, div_h, 1.0f, mode);
}
