#pragma once

// The amplifier's signal path written out literally, as the oracle for the production path:
// every coefficient and every exp() recomputed every sample, one channel after the other, no
// caching, no vector code, no care for speed. Header-only, so that both the tests and the
// benchmarks use this one copy. It shares nothing with the product but the clipping tables.
//
// Input: the eight parameters' plain values in index order (Bass, Master, Middle, Presence,
// Treble, Volume 1, Volume 2, Bypass), the sample rate and the two channels.

#include <climits>
#include <cmath>

#include "TORVA/TORVA_CLIP.h"

namespace torva_ref
{

// Truncation toward zero; NaN gives INT_MIN and values beyond the int range saturate.
inline int Trunc(double v)
{
  if (std::isnan(v)) return INT_MIN;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return static_cast<int>(v);
}

class Tone
{
public:
  void Calc(double r)
  {
    rate = Trunc(r);
    double cr = static_cast<double>(rate);
    if (cr < 1.0) cr = 1.0;
    if (cr > 192000.0) cr = 192000.0;
    c = 2.0 * cr;
    const float cf = static_cast<float>(c);
    c2 = static_cast<double>(static_cast<float>(cf * cf));
    c3 = 3.0 * c;
  }

  double Process(double x, double t, double L, double m)
  {
    const double l = std::exp((L - 1.0) * 3.4);
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

    const double h = c3;
    const double A0 = -1.0 - ((a2 + c * a3) * c2 + a1c);
    const double D = 1.0 / A0;
    const double A1 = (-3.0 - a1c) + (a2 + h * a3) * c2;
    const double A2 = ((a2 - h * a3) * c2 + a1c) + (-3.0);
    const double A3 = (-1.0 - (a2 - c * a3) * c2) + a1c;
    const double B0 = -((b2 + c * b3) * c2 + b1c);
    const double B1 = (b2 + h * b3) * c2 - b1c;
    const double B2 = (b2 - h * b3) * c2 + b1c;
    const double B3 = b1c - (b2 - c * b3) * c2;

    const double w = x - (A3 * s3 + (A2 * s2 + A1 * s1)) * D;
    const double y = (B3 * s3 + (B2 * s2 + (B1 * s1 + B0 * w))) * D;
    s3 = s2;
    s2 = s1;
    s1 = w;
    newest = w;
    return y;
  }

  int rate = 0;
  double c = 0.0, c2 = 0.0, c3 = 0.0;
  double newest = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
};

class Amp
{
public:
  void Calc(double fs, double k)
  {
    const double K1 = 0.0355244270421396, K2 = 2.08239893776058e-05, K3 = 0.00044850987492112;
    b0 = (-K1 * k) * fs + fs * K1;
    b1 = (k * K1) * fs - fs * K1;
    a0 = fs * K2 + K3;
    a1 = K3 - fs * K2;
  }

  double Process(double x)
  {
    const double y = ((b1 * x1 + b0 * x) - a1 * y1) / a0;
    x1 = x;
    y1 = y;
    return y;
  }

  double x1 = 0.0, y1 = 0.0, b0 = 0.0, b1 = 0.0, a0 = 0.0, a1 = 0.0;
};

inline double Interpolate(const float* entries, int size, double t, double clamp)
{
  const int i = Trunc(t);
  if (i < 0) return 0.0;
  if (i > size - 2) return clamp;
  const double f = t - i;
  return (1.0 - f) * static_cast<double>(entries[i]) + f * static_cast<double>(entries[i + 1]);
}

inline double Sd1(double x)
{
  const double a = std::fabs(x);
  const double q = std::isinf(a) ? 1.0 : a / (a + 3.0); // the quotient's limit at infinity
  const double t = q * static_cast<double>(sd1table.istep);
  const double m = Interpolate(sd1table.entries, sd1table.size, t,
                               static_cast<double>(sd1table.entries[sd1table.size - 1]));
  return std::signbit(x) ? std::fabs(m) : -std::fabs(m);
}

inline double Jtmpre2(double x)
{
  const double t = std::fabs(x) * static_cast<double>(jtmpre2_table.istep);
  const auto& table = std::signbit(x) ? jtmpre2_neg_table : jtmpre2_table;
  const double m =
      Interpolate(table.entries, table.size, t, static_cast<double>(table.entries[table.size - 1]));
  return std::signbit(x) ? -std::fabs(m) : std::fabs(m);
}

class Amplifier
{
public:
  // plain: the eight plain parameter values; the gains are derived as the product derives them
  // when a parameter changes.
  void Process(const double* const* in, double* const* out, int nFrames, double fs,
               const double* plain)
  {
    const double bass = plain[0], middle = plain[2], presence = plain[3], treble = plain[4];
    const double master = std::pow(10.0, plain[1] / 20.0);
    const double drive1 = std::pow(10.0, plain[5] / 20.0);
    const double drive2 = std::pow(10.0, plain[6] / 20.0);
    for (int j = 0; j < nFrames; ++j)
    {
      inputFilter[0].Calc(fs * 0.125);
      inputFilter[1].Calc(fs * 0.125);
      coupling[0].Calc(fs, 0.998);
      coupling[1].Calc(fs, 0.998);
      const double a0 = coupling[0].Process(inputFilter[0].Process(in[0][j], 0.5, 0.0, 0.5));
      const double a1 = coupling[1].Process(inputFilter[1].Process(in[1][j], 0.5, 0.0, 0.5));
      const double b0 = Sd1(a0 * drive1);
      const double b1 = Sd1(a1 * drive1);
      const double c0 = Jtmpre2(b0 * drive2);
      const double c1 = Jtmpre2(b1 * drive2);
      toneStack[0].Calc(fs);
      toneStack[1].Calc(fs);
      presenceFilter[0].Calc(fs * 0.25);
      presenceFilter[1].Calc(fs * 0.25);
      const double d0 = toneStack[0].Process(c0, treble, bass, middle);
      const double d1 = toneStack[1].Process(c1, treble, bass, middle);
      const int bypass = Trunc(plain[7]);
      if (bypass == 0)
      {
        out[0][j] = presenceFilter[0].Process(d0, presence, 0.5, 0.5) * master;
        out[1][j] = presenceFilter[1].Process(d1, presence, 0.5, 0.5) * master;
      }
      else if (bypass == 1)
      {
        out[0][j] = in[0][j];
        out[1][j] = in[1][j];
      }
    }
  }

  Tone inputFilter[2], toneStack[2], presenceFilter[2];
  Amp coupling[2];
};

} // namespace torva_ref
