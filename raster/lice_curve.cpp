// lice_curve.cpp - quadratic and cubic Bezier curves, drawn as polylines and filled.
//
// A curve is first limited to the parameter range whose x lies on the bitmap: x(t) is split
// where its derivative changes sign, each monotonic piece is searched by bisection for the
// parameters where it crosses x = 0 and x = W - 1, and the outermost visible parameters are
// kept. The range is cut into equal parameter steps, as many as the control polygon's length
// times the range divided by the tolerance (at least one). Fills draw one-pixel strips between
// each segment and the fill line, each pixel once.
#include <algorithm>
#include <cmath>

#include "raster/lice_lines_internal.h"

namespace
{

using namespace lice_detail;

// A curve is drawn with at most this many segments, or four per pixel of the bitmap's width
// and height if that is more (absurd coordinates would ask for billions).
constexpr double kMaxSegments = 4096.0;

struct Bezier
{
  int degree; // 2 or 3
  double x[4], y[4];

  void Eval(double t, double* px, double* py) const
  {
    const double u = 1.0 - t;
    if (degree == 2)
    {
      *px = u * u * x[0] + 2 * u * t * x[1] + t * t * x[2];
      *py = u * u * y[0] + 2 * u * t * y[1] + t * t * y[2];
    }
    else
    {
      const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
      *px = a * x[0] + b * x[1] + c * x[2] + d * x[3];
      *py = a * y[0] + b * y[1] + c * y[2] + d * y[3];
    }
  }
  double X(double t) const
  {
    double px, py;
    Eval(t, &px, &py);
    return px;
  }
  bool Finite() const
  {
    for (int i = 0; i <= degree; ++i)
      if (!std::isfinite(x[i]) || !std::isfinite(y[i])) return false;
    return true;
  }
  double PolygonLength() const
  {
    double len = 0;
    for (int i = 0; i < degree; ++i) len += std::hypot(x[i + 1] - x[i], y[i + 1] - y[i]);
    return len;
  }
  // Parameters in (0, 1) where dx/dt is zero, ascending; returns how many.
  int XTurns(double* out) const
  {
    // dx/dt as a quadratic a t^2 + b t + c (a = 0 for the quadratic curve).
    double a, b, c;
    if (degree == 2)
    {
      a = 0, b = 2 * (x[0] - 2 * x[1] + x[2]), c = 2 * (x[1] - x[0]);
    }
    else
    {
      a = 3 * (-x[0] + 3 * x[1] - 3 * x[2] + x[3]);
      b = 6 * (x[0] - 2 * x[1] + x[2]);
      c = 3 * (x[1] - x[0]);
    }
    double roots[2];
    int n = 0;
    if (std::fabs(a) < 1e-12)
    {
      if (std::fabs(b) > 1e-12) roots[n++] = -c / b;
    }
    else
    {
      const double disc = b * b - 4 * a * c;
      if (disc >= 0)
      {
        const double s = std::sqrt(disc);
        roots[n++] = (-b - s) / (2 * a);
        roots[n++] = (-b + s) / (2 * a);
      }
    }
    int m = 0;
    for (int i = 0; i < n; ++i)
      if (roots[i] > 0 && roots[i] < 1) out[m++] = roots[i];
    if (m == 2 && out[1] < out[0]) std::swap(out[0], out[1]);
    return m;
  }
};

// On a piece [t0, t1] where x is monotonic, the parameter where x crosses `edge`.
double Crossing(const Bezier& b, double t0, double t1, double edge)
{
  const bool rising = b.X(t1) > b.X(t0);
  for (int i = 0; i < 60; ++i)
  {
    const double mid = 0.5 * (t0 + t1);
    if ((b.X(mid) < edge) == rising)
      t0 = mid;
    else
      t1 = mid;
  }
  return 0.5 * (t0 + t1);
}

// The parameter range whose points lie within xlo <= x <= xhi; false when none does.
bool VisibleRange(const Bezier& b, double xlo, double xhi, double* tlo, double* thi)
{
  double cuts[4] = {0, 0, 0, 0};
  int n = 1;
  n += b.XTurns(cuts + 1);
  cuts[n++] = 1.0;
  bool any = false;
  for (int i = 0; i + 1 < n; ++i)
  {
    double t0 = cuts[i], t1 = cuts[i + 1];
    double x0 = b.X(t0), x1 = b.X(t1);
    const bool flip = x0 > x1;
    if (flip) std::swap(x0, x1);
    if (x1 < xlo || x0 > xhi) continue;
    // The piece's part inside [xlo, xhi], in parameter terms.
    double a = t0, c = t1;
    const double enter = flip ? xhi : xlo, leave = flip ? xlo : xhi;
    if (x0 < xlo || x1 > xhi)
    {
      if ((flip ? b.X(t0) > xhi : b.X(t0) < xlo)) a = Crossing(b, t0, t1, enter);
      if ((flip ? b.X(t1) < xlo : b.X(t1) > xhi)) c = Crossing(b, t0, t1, leave);
    }
    if (!any) *tlo = a, *thi = c;
    *tlo = std::min(*tlo, a);
    *thi = std::max(*thi, c);
    any = true;
  }
  return any;
}

int SegmentCount(const LICE_IBitmap* dest, const Bezier& b, double range, double tol)
{
  if (!(tol > 0)) tol = 1.0;
  const double n = b.PolygonLength() * range / tol;
  if (!(n >= 1)) return 1;
  const double most = std::max(kMaxSegments, 4.0 * ((double)dest->getWidth() + dest->getHeight()));
  return (int)std::min(n, most);
}

void DrawCurve(LICE_IBitmap* dest, const Bezier& b, LICE_pixel color, float alpha, int mode,
               bool aa, double tol)
{
  if (!dest || dest->getWidth() < 1 || dest->getHeight() < 1 || !b.Finite()) return;
  if (AlphaWeight(alpha) < 1) return;
  double tlo = 0, thi = 1;
  if (!VisibleRange(b, 0.0, dest->getWidth() - 1.0, &tlo, &thi)) return;
  const int n = SegmentCount(dest, b, thi - tlo, tol);
  double px, py;
  b.Eval(tlo, &px, &py);
  for (int i = 1; i <= n; ++i)
  {
    double qx, qy;
    b.Eval(tlo + (thi - tlo) * i / n, &qx, &qy);
    LICE_FLine(dest, (float)px, (float)py, (float)qx, (float)qy, color, alpha, mode, aa);
    px = qx, py = qy;
  }
}

// Fills between the curve and the fill line: towards the row y = fill (byColumns) with one
// column strip per whole x the segment starts at or passes (its end excluded), or towards the
// column x = fill with one row strip per whole y. The strip covers the rows (columns) from the
// nearer to the farther of the curve and the fill line, the farther one excluded.
void FillCurve(LICE_IBitmap* dest, const Bezier& b, int fill, bool byColumns, LICE_pixel color,
               float alpha, int mode, double tol)
{
  if (!dest || dest->getWidth() < 1 || dest->getHeight() < 1 || !b.Finite()) return;
  if (AlphaWeight(alpha) < 1) return;
  const int across = byColumns ? dest->getWidth() : dest->getHeight();
  double tlo = 0, thi = 1;
  if (byColumns && !VisibleRange(b, 0.0, across - 1.0, &tlo, &thi)) return;
  const int n = SegmentCount(dest, b, thi - tlo, tol);
  double pa, pc; // position across (x for columns) and along the strip
  {
    double px, py;
    b.Eval(tlo, &px, &py);
    pa = byColumns ? px : py, pc = byColumns ? py : px;
  }
  for (int i = 1; i <= n; ++i)
  {
    double qx, qy;
    b.Eval(tlo + (thi - tlo) * i / n, &qx, &qy);
    const double qa = byColumns ? qx : qy, qc = byColumns ? qy : qx;
    double a0 = pa, c0 = pc, a1 = qa, c1 = qc;
    if (a0 > a1) std::swap(a0, a1), std::swap(c0, c1);
    const double first = std::max(std::ceil(a0), 0.0),
                 last = std::min(std::ceil(a1) - 1, across - 1.0);
    for (double k = first; k <= last; ++k)
    {
      const double c = a1 > a0 ? c0 + (k - a0) * (c1 - c0) / (a1 - a0) : c0;
      const int edge = RoundToInt(c);
      const int from = std::min(edge, fill), to = std::max(edge, fill);
      const long long len = (long long)to - from;
      if (len <= 0) continue;
      const int clen = (int)std::min<long long>(len, 2147483647LL);
      if (byColumns)
        LICE_FillRect(dest, (int)k, from, 1, clen, color, alpha, mode);
      else
        LICE_FillRect(dest, from, (int)k, clen, 1, color, alpha, mode);
    }
    pa = qa, pc = qc;
  }
}

Bezier Quadratic(double x0, double y0, double x1, double y1, double x2, double y2)
{
  return Bezier{2, {x0, x1, x2, 0}, {y0, y1, y2, 0}};
}
Bezier Cubic(double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3)
{
  return Bezier{3, {x0, x1, x2, x3}, {y0, y1, y2, y3}};
}

} // namespace

void LICE_DrawQBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl, float yctl,
                      float xend, float yend, LICE_pixel color, float alpha, int mode, bool aa,
                      float tol)
{
  DrawCurve(dest, Quadratic(xstart, ystart, xctl, yctl, xend, yend), color, alpha, mode, aa, tol);
}

void LICE_DrawCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                      float xctl2, float yctl2, float xend, float yend, LICE_pixel color,
                      float alpha, int mode, bool aa, float tol)
{
  DrawCurve(dest, Cubic(xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend), color, alpha, mode,
            aa, tol);
}

void LICE_FillCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                      float xctl2, float yctl2, float xend, float yend, int yfill, LICE_pixel color,
                      float alpha, int mode, float tol)
{
  FillCurve(dest, Cubic(xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend), yfill, true, color,
            alpha, mode, tol);
}

void LICE_FillCBezierX(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                       float xctl2, float yctl2, float xend, float yend, int xfill,
                       LICE_pixel color, float alpha, int mode, float tol)
{
  FillCurve(dest, Cubic(xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend), xfill, false,
            color, alpha, mode, tol);
}
