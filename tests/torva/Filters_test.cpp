#include <gtest/gtest.h>

#include <cmath>

#include "TORVA/TORVA_AMP.h"
#include "TORVA/TORVA_TONE.h"

namespace
{

TEST(ToneStack, CalcTruncatesClampsAndSquaresInSinglePrecision)
{
  TORVA_TONE f;
  f.Calc(5512.5); // 44100 / 8
  EXPECT_EQ(f.GetRate(), 5512);
  EXPECT_EQ(f.GetC(), 11024.0);

  f.Calc(0.4);
  EXPECT_EQ(f.GetRate(), 0);
  EXPECT_EQ(f.GetC(), 2.0); // rate clamped to 1

  f.Calc(500000.0);
  EXPECT_EQ(f.GetRate(), 500000);
  EXPECT_EQ(f.GetC(), 384000.0); // rate clamped to 192000

  f.Calc(44100.0);
  EXPECT_EQ(f.GetC(), 88200.0);
  EXPECT_EQ(f.GetThreeC(), 264600.0);
  EXPECT_EQ(f.GetCSquared(), 7779239936.0); // float(88200)^2 in float, not 7779240000

  // Rates no int can hold, and NaN, still give a usable filter.
  f.Calc(1e12);
  EXPECT_EQ(f.GetC(), 384000.0);
  f.Calc(-1e12);
  EXPECT_EQ(f.GetC(), 2.0);
  f.Calc(std::nan(""));
  EXPECT_EQ(f.GetC(), 2.0);
}

TEST(ToneStack, ImpulseResponseStartsAtB0TimesD)
{
  TORVA_TONE f;
  f.Calc(44100.0);
  const TORVA_TONE::Coeffs k = f.Design(0.4, 0.7, 0.3);
  const double y = f.Process(1.0, 0.4, 0.7, 0.3);
  EXPECT_NEAR(y, 0.472176915155, 1e-11);
  EXPECT_EQ(y, k.B0 * k.D);
  EXPECT_EQ(f.GetMemories().s1, 1.0);
  EXPECT_EQ(f.GetMemories().newest, 1.0);
  EXPECT_EQ(f.GetMemories().s2, 0.0);
  EXPECT_EQ(f.GetMemories().s3, 0.0);

  // The memories shift: the next zero input sees the impulse in s1, then s2, then s3.
  f.Process(0.0, 0.4, 0.7, 0.3);
  EXPECT_EQ(f.GetMemories().s2, 1.0);
  f.Process(0.0, 0.4, 0.7, 0.3);
  EXPECT_EQ(f.GetMemories().s3, 1.0);
}

TEST(ToneStack, SilenceStaysSilentAndDcDecays)
{
  for (double rate : {44100.0, 5512.5})
  {
    TORVA_TONE f;
    f.Calc(rate);
    for (double t : {0.0, 0.4, 1.0}) EXPECT_EQ(f.Process(0.0, t, 1.0 - t, 0.5), 0.0);

    // The numerator has no constant term in s: the filter blocks DC.
    double y = 0.0;
    for (int j = 0; j < 200000; ++j) y = f.Process(1.0, 0.4, 0.7, 0.3);
    EXPECT_NEAR(y, 0.0, 1e-6) << "rate " << rate;
  }
}

TEST(Coupling, CoefficientsAndResponses)
{
  TORVA_AMP f;
  f.Calc(44100.0, 0.998);
  const TORVA_AMP::Coeffs& k = f.GetCoeffs();
  EXPECT_NEAR(k.b0, 3.133254465116579, 1e-14);
  EXPECT_EQ(k.b1, -k.b0);
  EXPECT_NEAR(k.a0, 0.9187864414273368, 1e-15);
  EXPECT_NEAR(k.a1, -0.9178894216774947, 1e-15);

  const double first = f.Process(1.0);
  EXPECT_EQ(first, k.b0 / k.a0);
  EXPECT_NEAR(first, 3.410209733013758, 1e-13);
  EXPECT_EQ(f.GetMemories().x1, 1.0);
  EXPECT_EQ(f.GetMemories().y1, first);

  // DC decays toward zero...
  double y = 0.0;
  for (int j = 0; j < 100000; ++j) y = f.Process(1.0);
  EXPECT_NEAR(y, 0.0, 1e-9);

  // ...and the gain at Nyquist is K1 (1 - k) / K2.
  const double hf = TORVA_AMP::kK1 * (1.0 - 0.998) / TORVA_AMP::kK2;
  EXPECT_NEAR(hf, 3.41, 0.01);
  for (int j = 0; j < 100000; ++j) y = f.Process((j & 1) ? -1.0 : 1.0);
  EXPECT_NEAR(std::fabs(y), hf, 1e-9);
}

} // namespace
