#include "TORVA/TORVA_TONE.h"

#include "framework/TruncToInt.h"

#include <climits>
#include <cmath>

void TORVA_TONE::Calc(double r)
{
  mRate = TruncToInt(r);
  double rate = mRate;
  if (rate < 1.0) rate = 1.0;
  if (rate > 192000.0) rate = 192000.0;
  mC = 2.0 * rate;
  // The square is taken in single precision on purpose: it is part of the defined result.
  const float cf = static_cast<float>(mC);
  const float cc = cf * cf;
  mC2 = static_cast<double>(cc);
  mC3 = 3.0 * mC;
}

TORVA_TONE::Coeffs TORVA_TONE::Design(double t, double L, double m) const
{
  const double c = mC, c2 = mC2, h = mC3;

  // Bass taper.
  const double l = std::exp((L - 1.0) * 3.4);

  // Analog prototype; a1 and b1 come pre-multiplied by c.
  const double P = 0.020470000000000002 * l + 0.0005 * m;
  const double a1c = (0.0025092499999999998 + P) * c;
  const double r = 2.5587500000000006e-07 * m;
  const double a2 = (2.2033600000000005e-05 * l +
                     ((l * 1.0235000000000001e-05 + (-1.5537499999999997e-07)) - r) * m) +
                    7.717400000000001e-07;
  const double U = 1.3959000000000001e-09 * l - m * 3.48975e-11;
  const double W = 2.2090000000000005e-09 * l;
  const double a3 = ((-2.0327500000000007e-11 + U) * m + W) + 5.522500000000001e-11;
  const double b1c = ((0.00011750000000000001 * t + P) + 0.00051175) * c;
  const double b2 = (((1.0235000000000001e-05 * m + 3.2336000000000007e-06) * l +
                      (3.146250000000001e-07 - r) * m) +
                     2.2090000000000003e-07 * t) +
                    8.084000000000001e-08;
  const double b3 = (W - (m - 1.0) * 5.522500000000001e-11) * t + (U + 3.48975e-11) * m;

  // Bilinear transform, signs negated.
  Coeffs k;
  const double A0 = -1.0 - ((a2 + c * a3) * c2 + a1c);
  k.D = 1.0 / A0;
  k.A1 = (-3.0 - a1c) + (a2 + h * a3) * c2;
  k.A2 = ((a2 - h * a3) * c2 + a1c) + (-3.0);
  k.A3 = (-1.0 - (a2 - c * a3) * c2) + a1c;
  k.B0 = -((b2 + c * b3) * c2 + b1c);
  k.B1 = (b2 + h * b3) * c2 - b1c;
  k.B2 = (b2 - h * b3) * c2 + b1c;
  k.B3 = b1c - (b2 - c * b3) * c2;
  return k;
}
