#pragma once

// Two-lane building blocks of the amplifier's production path (x86-64, SSE2).
//
// Both channels run side by side in the two lanes of an SSE2 register, lane 0 the left channel.
// Packed double arithmetic rounds exactly as scalar arithmetic does, so each lane gives the bits
// of the one-channel-at-a-time evaluation; every expression keeps its written order.

#include <emmintrin.h>

#include "TORVA/TORVA_AMP.h"
#include "TORVA/TORVA_CLIP.h"
#include "TORVA/TORVA_TONE.h"

// Everything here is inlined into its caller, so that one loop compiled for several instruction
// sets (target attributes) gets the encoding of each.
#define TORVA_LANE inline __attribute__((always_inline))

namespace torva::lanes
{

using V = __m128d;

TORVA_LANE V Splat(double v)
{
  return _mm_set1_pd(v);
}
TORVA_LANE V Pair(double ch0, double ch1)
{
  return _mm_set_pd(ch1, ch0);
}
TORVA_LANE double Lane0(V v)
{
  return _mm_cvtsd_f64(v);
}
TORVA_LANE double Lane1(V v)
{
  return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
}

TORVA_LANE V SignBit()
{
  return Splat(-0.0);
}
TORVA_LANE V Abs(V v)
{
  return _mm_andnot_pd(SignBit(), v);
}

// Sets the MXCSR for the duration of a call and restores the caller's word afterwards. Standard
// mode: round to nearest, every exception masked; Flush() adds flush-to-zero and
// denormals-are-zero.
class FloatModeScope
{
public:
  static constexpr unsigned kStandard = 0x1F80;
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;

  FloatModeScope() : mSaved(_mm_getcsr()) { _mm_setcsr(kStandard); }
  ~FloatModeScope() { _mm_setcsr(mSaved); }
  FloatModeScope(const FloatModeScope&) = delete;
  FloatModeScope& operator=(const FloatModeScope&) = delete;

  void Flush() { _mm_setcsr(kStandard | kFlushToZero | kDenormalsAreZero); }

private:
  unsigned mSaved;
};

struct ToneLanes
{
  V A1, A2, A3, B0, B1, B2, B3, D; // coefficients, the same in both lanes
  V s1, s2, s3;                    // memories, one lane per channel

  TORVA_LANE ToneLanes(const TORVA_TONE::Coeffs& k, const TORVA_TONE& f0, const TORVA_TONE& f1)
      : A1(Splat(k.A1)), A2(Splat(k.A2)), A3(Splat(k.A3)), B0(Splat(k.B0)), B1(Splat(k.B1)),
        B2(Splat(k.B2)), B3(Splat(k.B3)), D(Splat(k.D)),
        s1(Pair(f0.GetMemories().s1, f1.GetMemories().s1)),
        s2(Pair(f0.GetMemories().s2, f1.GetMemories().s2)),
        s3(Pair(f0.GetMemories().s3, f1.GetMemories().s3))
  {
  }

  // Writes the memories back; newest is the last w, which is s1.
  TORVA_LANE void Store(TORVA_TONE& f0, TORVA_TONE& f1) const
  {
    f0.SetMemories({Lane0(s1), Lane0(s1), Lane0(s2), Lane0(s3)});
    f1.SetMemories({Lane1(s1), Lane1(s1), Lane1(s2), Lane1(s3)});
  }

  // w = x - (A3 s3 + (A2 s2 + A1 s1)) D
  // y = (B3 s3 + (B2 s2 + (B1 s1 + B0 w))) D
  TORVA_LANE V Step(V x)
  {
    const V w = x - (A3 * s3 + (A2 * s2 + A1 * s1)) * D;
    const V y = (B3 * s3 + (B2 * s2 + (B1 * s1 + B0 * w))) * D;
    s3 = s2;
    s2 = s1;
    s1 = w;
    return y;
  }
};

struct AmpLanes
{
  V b0, b1, a0, a1; // the same in both lanes
  V x1, y1;         // one lane per channel

  TORVA_LANE AmpLanes(const TORVA_AMP& f0, const TORVA_AMP& f1)
      : b0(Splat(f0.GetCoeffs().b0)), b1(Splat(f0.GetCoeffs().b1)), a0(Splat(f0.GetCoeffs().a0)),
        a1(Splat(f0.GetCoeffs().a1)), x1(Pair(f0.GetMemories().x1, f1.GetMemories().x1)),
        y1(Pair(f0.GetMemories().y1, f1.GetMemories().y1))
  {
  }

  TORVA_LANE void Store(TORVA_AMP& f0, TORVA_AMP& f1) const
  {
    f0.SetMemories({Lane0(x1), Lane0(y1)});
    f1.SetMemories({Lane1(x1), Lane1(y1)});
  }

  // y = ((b1 x1 + b0 x) - a1 y1) / a0
  TORVA_LANE V Step(V x)
  {
    const V y = ((b1 * x1 + b0 * x) - a1 * y1) / a0;
    x1 = x;
    y1 = y;
    return y;
  }
};

// m = (1 - f) e[i] + f e[i + 1], i = trunc(t), f = t - i, per lane, lane k reading from
// e + rowK. t is first clamped into [0, top] with top the table's last index: beyond it the
// copy of the last entry at e[top + 1] gets weight 0, so m is exactly the last entry; a NaN
// becomes 0 (maxpd returns its second operand then) and gives e[0] = 0. Inside the table the
// clamp changes nothing.
TORVA_LANE V Lookup(const double* e, __m128i rows, V t, double top)
{
  const V tc = _mm_min_pd(_mm_max_pd(t, _mm_setzero_pd()), Splat(top));
  const __m128i i = _mm_cvttpd_epi32(tc);
  const __m128i k = _mm_add_epi32(i, rows);
  const V p0 = _mm_loadu_pd(e + _mm_cvtsi128_si32(k));
  const V p1 = _mm_loadu_pd(e + _mm_cvtsi128_si32(_mm_shuffle_epi32(k, 1)));
  const V f = tc - _mm_cvtepi32_pd(i);
  return (Splat(1.0) - f) * _mm_unpacklo_pd(p0, p1) + f * _mm_unpackhi_pd(p0, p1);
}

// sd1nonlin on both lanes.
TORVA_LANE V Sd1(V x)
{
  // Capping |x| changes no finite result (a / (a + 3) is 1.0 from about 1e17 on) and lets an
  // infinity saturate; with this operand order minpd passes a NaN through.
  const V a = _mm_min_pd(Splat(1e300), Abs(x));
  const V t = a / (a + Splat(3.0)) * Splat(kSd1Istep);
  const V m = Lookup(kWide.sd1, _mm_setzero_si128(), t, 99.0);
  return _mm_or_pd(Abs(m), _mm_andnot_pd(x, SignBit())); // the sign opposite to x's sign bit
}

// jtmpre2nonlin on both lanes.
TORVA_LANE V Jtmpre2(V x)
{
  const V t = Abs(x) * Splat(kJtmpre2Istep);
  // Lanes with the sign bit set read the negative table, 201 entries further on: the sign
  // sits in the high dword of each lane.
  const __m128i sign = _mm_srai_epi32(_mm_castpd_si128(x), 31);
  const __m128i rows =
      _mm_and_si128(_mm_shuffle_epi32(sign, _MM_SHUFFLE(3, 3, 3, 1)), _mm_set1_epi32(201));
  const V m = Lookup(kWide.jtmpre2, rows, t, 199.0);
  return _mm_or_pd(Abs(m), _mm_and_pd(x, SignBit())); // the sign of x
}

} // namespace torva::lanes
