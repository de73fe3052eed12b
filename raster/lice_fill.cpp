// Solid fills: rectangles, gradients, trapezoids, triangles, convex polygons, flood fill.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster/lice_simd.h"

using namespace lice_detail;

namespace
{

// Calls fn(span) with a span filler `void span(LICE_pixel* p, int n)` that combines one colour
// into n pixels at weight ia (1..256). A plain copy uses the whole-word rules at 64, 128 and 192
// and stores the colour word at 256; otherwise the rule of (mode & 0xFF) runs per pixel with
// sourceAlpha as the source's alpha. False when the operation draws nothing.
template <class Fn>
bool WithSpanFiller(int mode, LICE_pixel color, int sourceAlpha, int ia, Fn&& fn)
{
  if (ia <= 0) return false;
  if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY)
  {
    simd::EWordMix kind;
    switch (ia)
    {
    case 256:
      kind = simd::kStore;
      break;
    case 64:
      kind = simd::kQuarter;
      break;
    case 128:
      kind = simd::kHalf;
      break;
    case 192:
      kind = simd::kThreeQuarter;
      break;
    default:
      fn([color, sourceAlpha, ia](LICE_pixel* p, int n)
         { simd::CopyColorRow(p, color, sourceAlpha, n, ia); });
      return true;
    }
    fn([color, kind](LICE_pixel* p, int n) { simd::WordMixColorRow(p, color, n, kind); });
    return true;
  }
  const int r = (int)LICE_GETR(color), g = (int)LICE_GETG(color), b = (int)LICE_GETB(color);
  return WithSolidRule(mode,
                       [&](auto rule)
                       {
                         fn(
                             [r, g, b, sourceAlpha, ia](LICE_pixel* p, int n)
                             {
                               for (int i = 0; i < n; ++i)
                                 decltype(rule)::doPix((unsigned char*)(p + i), r, g, b,
                                                       sourceAlpha, ia);
                             });
                       });
}

} // namespace

void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha,
                   int mode)
{
  if (!dest) return;
  if (mode & LICE_COMBINE_USE_ALPHA) alpha *= (float)LICE_GETA(color) / 255.0f;
  if (!ClipRectToBitmap(dest, x, y, w, h)) return;
  const int ia = AlphaWeight(alpha);
  const PixelRows rows = RowsOf(dest);
  // A partial fill hands ia to the rule as the source alpha, so the destination alpha moves
  // toward the weight.
  WithSpanFiller(mode, color, ia, ia,
                 [&](auto span)
                 {
                   for (int r = 0; r < h; ++r) span(rows.row(y + r) + x, w);
                 });
}

void LICE_GradRect(LICE_IBitmap* dest, int dstx, int dsty, int dstw, int dsth, float ir, float ig,
                   float ib, float ia, float drdx, float dgdx, float dbdx, float dadx, float drdy,
                   float dgdy, float dbdy, float dady, int mode)
{
  int x = dstx, y = dsty, w = dstw, h = dsth;
  if (!ClipRectToBitmap(dest, x, y, w, h)) return;

  // Channels in 16.16 fixed point: colours in 0..255 units, the weight in 0..256 units. The
  // clipped-away columns and rows advance the start, so clipping never shifts the gradient.
  enum
  {
    kR,
    kG,
    kB,
    kA
  };
  const double unit[4] = {255.0 * 65536, 255.0 * 65536, 255.0 * 65536, 256.0 * 65536};
  const float start[4] = {ir, ig, ib, ia};
  const float perCol[4] = {drdx, dgdx, dbdx, dadx};
  const float perRow[4] = {drdy, dgdy, dbdy, dady};
  long long rowStart[4], dx[4], dy[4];
  for (int c = 0; c < 4; ++c)
  {
    dx[c] = SaturatingInt(perCol[c] * unit[c]);
    dy[c] = SaturatingInt(perRow[c] * unit[c]);
    rowStart[c] = SaturatingInt(start[c] * unit[c]) + dx[c] * ((long long)x - dstx) +
                  dy[c] * ((long long)y - dsty);
  }

  // Channel values far outside 0..255 only saturate; limiting them keeps the rules' integer
  // arithmetic in range.
  auto channel = [](long long v) { return (int)std::clamp<long long>(v / 65536, -8191, 8191); };
  auto weight = [](long long v) { return (int)std::clamp<long long>(v / 65536, 0, 256); };

  const PixelRows rows = RowsOf(dest);
  WithSolidRule<true>(mode,
                      [&](auto rule)
                      {
                        using Rule = decltype(rule);
                        for (int r = 0; r < h; ++r)
                        {
                          unsigned char* p = (unsigned char*)(rows.row(y + r) + x);
                          long long cur[4] = {rowStart[0], rowStart[1], rowStart[2], rowStart[3]};
                          for (int i = 0; i < w; ++i, p += 4)
                          {
                            const int wt = weight(cur[kA]);
                            Rule::doPix(p, channel(cur[kR]), channel(cur[kG]), channel(cur[kB]), wt,
                                        wt);
                            for (int c = 0; c < 4; ++c) cur[c] += dx[c];
                          }
                          for (int c = 0; c < 4; ++c) rowStart[c] += dy[c];
                        }
                      });
}

namespace
{

// A trapezoid edge: integer x plus a 16-bit fraction that gains `step` per row.
struct Edge
{
  long long x = 0;
  long long step = 0; // magnitude, 16.16 per row
  int sign = 1;
  long long frac = 0;

  // The slope's magnitude is rounded up: truncated, the edge would fall short of its end point
  // and the last row would miss the span it is given.
  void Setup(long long from, long long to, long long rows)
  {
    x = from;
    sign = to < from ? -1 : 1;
    const long long distance = to < from ? from - to : to - from; // below 2^33
    step = rows > 0 ? std::min((distance * 65536 + rows - 1) / rows, 1LL << 29) : 0;
  }
  void Advance(long long rows)
  {
    frac += step * rows;
    if (frac >= 65536)
    {
      x += sign * (frac >> 16);
      frac &= 0xFFFF;
    }
  }
};

} // namespace

void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2,
                        LICE_pixel color, float alpha, int mode)
{
  if (!dest || !dest->getBits()) return;
  if (y2 < y1)
  {
    std::swap(y1, y2);
    std::swap(x1a, x2a);
    std::swap(x1b, x2b);
  }
  const int width = dest->getWidth(), height = dest->getHeight();
  if (std::max(x1a, x1b) < 0 && std::max(x2a, x2b) < 0) return;
  if (std::min(x1a, x1b) >= width && std::min(x2a, x2b) >= width) return;
  if (y2 < 0 || y1 >= height) return;

  long long left0 = std::min(x1a, x1b), left1 = std::min(x2a, x2b);
  long long right0 = std::max(x1a, x1b), right1 = std::max(x2a, x2b);
  if (left0 < 1 && left1 < 1) left0 = left1 = 0;
  if (right0 >= width - 1 && right1 >= width - 1) right0 = right1 = width - 1;
  const long long rows = (long long)y2 - y1;
  Edge left, right;
  left.Setup(left0, left1, rows);
  right.Setup(right0 + 1, right1 + 1, rows);

  long long top = y1;
  if (top < 0)
  {
    left.Advance(-top);
    right.Advance(-top);
    top = 0;
  }
  const int bottom = std::min(y2, height - 1);

  const PixelRows prows = RowsOf(dest);
  WithSpanFiller(mode, color, (int)LICE_GETA(color), AlphaWeight(alpha),
                 [&](auto span)
                 {
                   for (int y = (int)top; y <= bottom; ++y)
                   {
                     const long long l = std::max(left.x, 0LL),
                                     r = std::min(right.x, (long long)width);
                     if (l < r) span(prows.row(y) + l, (int)(r - l));
                     left.Advance(1);
                     right.Advance(1);
                   }
                 });
}

void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3,
                       LICE_pixel color, float alpha, int mode)
{
  const int xs[3] = {x1, x2, x3}, ys[3] = {y1, y2, y3};
  LICE_FillConvexPolygon(dest, xs, ys, 3, color, alpha, mode);
}

namespace
{

struct Vertex
{
  int x, y;
};

// The chain's next vertex after index `from`: among later vertices on a lower row, the one whose
// edge has the smallest (left chain) or largest (right chain) slope dx / dy, the later one on a
// tie; -1 when there is none.
int NextVertex(const Vertex* v, int n, int from, bool leftChain)
{
  int best = -1;
  long long bdx = 0, bdy = 1;
  for (int i = from + 1; i < n; ++i)
  {
    const long long dy = (long long)v[i].y - v[from].y;
    if (dy <= 0) continue;
    const long long dx = (long long)v[i].x - v[from].x;
    // dx / dy against bdx / bdy, both dy positive; coordinate differences reach 2^32, so the
    // cross products need more than 64 bits.
    const __int128 lhs = (__int128)dx * bdy, rhs = (__int128)bdx * dy;
    if (best < 0 || (leftChain ? lhs <= rhs : lhs >= rhs)) best = i, bdx = dx, bdy = dy;
  }
  return best;
}

// x on the edge a -> b at row y (truncated); a vertical edge when b is missing.
long long EdgeX(const Vertex& a, const Vertex* b, long long y)
{
  if (!b || b->y == a.y) return a.x;
  return a.x + (long long)((__int128)((long long)b->x - a.x) * (y - a.y) / ((long long)b->y - a.y));
}

int ClampInt(long long v)
{
  return (int)std::clamp<long long>(v, INT32_MIN, INT32_MAX);
}

} // namespace

void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints,
                            LICE_pixel color, float alpha, int mode)
{
  if (!dest || !dest->getBits() || !x || !y || npoints < 3) return;
  if (AlphaWeight(alpha) <= 0) return;

  constexpr int kStackPoints = 512;
  Vertex stackBuf[kStackPoints];
  std::vector<Vertex> heapBuf;
  Vertex* v = stackBuf;
  if (npoints > kStackPoints)
  {
    heapBuf.resize((size_t)npoints);
    v = heapBuf.data();
  }
  for (int i = 0; i < npoints; ++i) v[i] = {x[i], y[i]};
  std::sort(v, v + npoints,
            [](const Vertex& a, const Vertex& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  const int n = npoints;
  if (v[0].y == v[n - 1].y)
  {
    LICE_FillTrapezoid(dest, v[0].x, v[n - 1].x, v[0].y, v[0].x, v[n - 1].x, v[0].y, color, alpha,
                       mode);
    return;
  }

  // Left chain from the leftmost vertex of the top row, right chain from the rightmost. Each
  // band runs from the current row to the nearer of the two chains' next vertex rows.
  int li = 0, ri = 0;
  while (ri + 1 < n && v[ri + 1].y == v[0].y) ++ri;
  int ln = NextVertex(v, n, li, true), rn = NextVertex(v, n, ri, false);
  long long row = v[0].y;
  while (ln >= 0 || rn >= 0)
  {
    long long end;
    if (ln >= 0 && rn >= 0)
      end = std::min(v[ln].y, v[rn].y);
    else
      end = ln >= 0 ? v[ln].y : v[rn].y;
    const Vertex* lb = ln >= 0 ? &v[ln] : nullptr;
    const Vertex* rb = rn >= 0 ? &v[rn] : nullptr;
    if (end >= row)
    {
      LICE_FillTrapezoid(dest, ClampInt(EdgeX(v[li], lb, row)), ClampInt(EdgeX(v[ri], rb, row)),
                         ClampInt(row), ClampInt(EdgeX(v[li], lb, end)),
                         ClampInt(EdgeX(v[ri], rb, end)), ClampInt(end), color, alpha, mode);
    }
    row = end + 1;
    if (ln >= 0 && v[ln].y == end) li = ln, ln = NextVertex(v, n, li, true);
    if (rn >= 0 && v[rn].y == end) ri = rn, rn = NextVertex(v, n, ri, false);
  }
}

void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_pixel newcolor, LICE_pixel comparemask,
                     LICE_pixel keepmask)
{
  if (!dest || !dest->getBits()) return;
  const int w = dest->getWidth(), h = dest->getHeight();
  if (x < 0 || y < 0 || x >= w || y >= h) return;
  const PixelRows rows = RowsOf(dest);
  const LICE_pixel key = rows.row(y)[x] & comparemask;

  // Fills the matching run through column x of one row; false when (x, row) does not match.
  auto fillRow = [&](int row)
  {
    LICE_pixel* p = rows.row(row);
    if ((p[x] & comparemask) != key) return false;
    int l = x;
    while (l > 0 && (p[l - 1] & comparemask) == key) --l;
    int r = x + 1;
    while (r < w && (p[r] & comparemask) == key) ++r;
    for (int i = l; i < r; ++i) p[i] = newcolor | (p[i] & keepmask);
    return true;
  };
  for (int row = y; row < h && fillRow(row); ++row)
  {
  }
  for (int row = y - 1; row >= 0 && fillRow(row); --row)
  {
  }
}
