#pragma once

// The amplifier's two clipping curves: interpolated lookup tables.
//
// sd1nonlin, the first curve, is odd-symmetric and inverting: it maps |x| through
// t = |x| / (|x| + 3) * istep onto sd1table and gives the result the sign opposite to x. Its
// magnitude approaches the last entry, 0.46163561940193176, and reaches it for |x| >= 99.99995...
//
// jtmpre2nonlin, the second curve, is sign-preserving and asymmetric: t = |x| * istep indexes
// jtmpre2_table for inputs with a clear sign bit and jtmpre2_neg_table for the others (-0.0
// included). Both saturate, at 0.3321254253387451 and -0.45525988936424255, once
// |x| >= 199 / istep.
//
// Inside a table, with i = trunc(t) and f = t - i, the curve is
//   m = (1 - f) * entry[i] + f * entry[i + 1]
// with the single-precision entries widened to double; the result has magnitude |m|. A NaN input
// gives a zero of the sign the rules above give it; an infinite input saturates.

#include <cstdint>

// A curve table as stored: four header fields, then the entries. The lookups use only istep
// and size; low and high document the curve's range.
template <int N> struct TORVA_CLIPTABLE
{
  float low;
  float high;
  float istep;
  int32_t size;
  float entries[N];
};

extern const TORVA_CLIPTABLE<100> sd1table;
extern const TORVA_CLIPTABLE<200> jtmpre2_table;
extern const TORVA_CLIPTABLE<200> jtmpre2_neg_table;

double sd1nonlin(double x);
double jtmpre2nonlin(double x);

namespace torva
{

// The tables' index scales and last entries, widened to double.
inline constexpr double kSd1Istep = 101.97000122070312;
inline constexpr double kSd1Last = -0.46163561940193176;
inline constexpr double kJtmpre2Istep = 142.14300537109375;
inline constexpr double kJtmpre2PosLast = 0.3321254253387451;
inline constexpr double kJtmpre2NegLast = -0.45525988936424255;

// The entries widened to double, each table followed by a copy of its last entry so that a
// lookup clamped to the last index reads a valid neighbour (with weight 0): the first curve's
// table, and the second curve's positive table followed by its negative table.
struct WideTables
{
  double sd1[101];
  double jtmpre2[402]; // positive at 0, negative at 201
};
extern const WideTables kWide;

} // namespace torva
