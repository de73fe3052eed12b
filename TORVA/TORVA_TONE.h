#pragma once

// TORVA_TONE: the amplifier's third-order tone-stack filter.
//
// An analog passive tone stack
//
//   H(s) = (b1 s + b2 s^2 + b3 s^3) / (1 + a1 s + a2 s^2 + a3 s^3)
//
// whose coefficients are polynomials in the treble (t), bass (L) and middle (m) positions, taken
// to the z-plane with the bilinear transform s = c (1 - z^-1) / (1 + z^-1), c = 2 * rate. The
// amplifier runs three of these per channel at different rates: running the same prototype at a
// quarter or an eighth of the sample rate moves its response up by four or eight times.
//
// Use: Calc(rate) before every Process(x, t, L, m). Process recomputes every coefficient; a
// caller that keeps the settings fixed over many samples may instead call Design once and Step
// per sample, which gives the same bits.
//
// Every expression is evaluated in the order written, with the decimal constants as the exact
// doubles shown: the amplifier's output is defined down to the last bit. The memories start at
// zero and are never cleared.

class TORVA_TONE
{
public:
  // Digital coefficients with all signs negated (the transfer function is unchanged):
  //   H(z) = (B0 + B1 z^-1 + B2 z^-2 + B3 z^-3) / (A0 + A1 z^-1 + A2 z^-2 + A3 z^-3), D = 1 / A0
  struct Coeffs
  {
    double A1, A2, A3, B0, B1, B2, B3, D;
  };

  // The intermediate values of the recurrence, newest first.
  struct Memories
  {
    double newest, s1, s2, s3;
  };

  TORVA_TONE() = default;

  // rate = trunc(r); c = 2 * clamp(rate, 1, 192000); c2 = float(c) * float(c) in single
  // precision; three c = 3 * c.
  void Calc(double r);

  // Coefficients for the current Calc and the positions t (treble), L (bass), m (middle).
  Coeffs Design(double t, double L, double m) const;

  // One sample of the recurrence (direct form II, feedback and output scaled by D):
  //   w = x - (A3 s3 + (A2 s2 + A1 s1)) D
  //   y = (B3 s3 + (B2 s2 + (B1 s1 + B0 w))) D
  double Step(double x, const Coeffs& k)
  {
    const double w = x - (k.A3 * mMem.s3 + (k.A2 * mMem.s2 + k.A1 * mMem.s1)) * k.D;
    const double y = (k.B3 * mMem.s3 + (k.B2 * mMem.s2 + (k.B1 * mMem.s1 + k.B0 * w))) * k.D;
    mMem.s3 = mMem.s2;
    mMem.s2 = mMem.s1;
    mMem.s1 = w;
    mMem.newest = w;
    return y;
  }

  // Design(t, L, m) then Step(x).
  double Process(double x, double t, double L, double m) { return Step(x, Design(t, L, m)); }

  int GetRate() const { return mRate; }
  double GetC() const { return mC; }
  double GetCSquared() const { return mC2; }
  double GetThreeC() const { return mC3; }

  const Memories& GetMemories() const { return mMem; }
  void SetMemories(const Memories& mem) { mMem = mem; }

private:
  // Unset until the first Calc, which must precede the first Process.
  int mRate = 0;
  double mC = 0.0, mC2 = 0.0, mC3 = 0.0;
  Memories mMem = {0.0, 0.0, 0.0, 0.0};
};
