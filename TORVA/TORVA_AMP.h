#pragma once

// TORVA_AMP: the coupling stage, a first-order high-pass with gain.
//
// The bilinear transform (constant 2 fs) of a one-pole high-pass whose numerator is proportional
// to (1 - k). With the amplifier's k = 0.998 the corner lies near 6.86 Hz and the gain above it
// is K1 (1 - k) / K2, about 3.41. Calc before every Process; the memories start at zero and are
// never cleared.

class TORVA_AMP
{
public:
  struct Coeffs
  {
    double b0, b1, a0, a1;
  };

  struct Memories
  {
    double x1, y1; // previous input, previous output
  };

  static constexpr double kK1 = 0.0355244270421396;
  static constexpr double kK2 = 2.08239893776058e-05;
  static constexpr double kK3 = 0.00044850987492112;

  TORVA_AMP() = default;

  // b0 = (-K1 k) fs + fs K1      b1 = (k K1) fs - fs K1
  // a0 = fs K2 + K3              a1 = K3 - fs K2
  // fs enters as given: no truncation, no clamp.
  void Calc(double fs, double k) { mK = Design(fs, k); }

  static Coeffs Design(double fs, double k)
  {
    Coeffs c;
    c.b0 = (-kK1 * k) * fs + fs * kK1;
    c.b1 = (k * kK1) * fs - fs * kK1;
    c.a0 = fs * kK2 + kK3;
    c.a1 = kK3 - fs * kK2;
    return c;
  }

  // y = ((b1 x1 + b0 x) - a1 y1) / a0
  double Step(double x, const Coeffs& k)
  {
    const double y = ((k.b1 * mMem.x1 + k.b0 * x) - k.a1 * mMem.y1) / k.a0;
    mMem.x1 = x;
    mMem.y1 = y;
    return y;
  }

  double Process(double x) { return Step(x, mK); }

  const Coeffs& GetCoeffs() const { return mK; }
  const Memories& GetMemories() const { return mMem; }
  void SetMemories(const Memories& mem) { mMem = mem; }

private:
  Coeffs mK = {0.0, 0.0, 0.0, 0.0};
  Memories mMem = {0.0, 0.0};
};
