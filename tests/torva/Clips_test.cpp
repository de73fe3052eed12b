#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "AmpTestUtil.h"
#include "TORVA/TORVA_CLIP.h"
#if defined(__SSE2__)
#include "TORVA/TORVA_LANES.h"
#endif

namespace
{

using torva_test::SameBits;

const double kInf = std::numeric_limits<double>::infinity();

TEST(ClipTables, HeadersAndShape)
{
  EXPECT_EQ(sd1table.size, 100);
  EXPECT_EQ(jtmpre2_table.size, 200);
  EXPECT_EQ(jtmpre2_neg_table.size, 200);
  EXPECT_EQ(static_cast<double>(sd1table.istep), 101.97000122070312);
  EXPECT_EQ(static_cast<double>(jtmpre2_table.istep), 142.14300537109375);
  EXPECT_EQ(static_cast<double>(jtmpre2_neg_table.istep), 142.14300537109375);
  EXPECT_EQ(static_cast<double>(sd1table.entries[99]), -0.46163561940193176);
  EXPECT_EQ(static_cast<double>(jtmpre2_table.entries[199]), 0.3321254253387451);
  EXPECT_EQ(static_cast<double>(jtmpre2_neg_table.entries[199]), -0.45525988936424255);
  EXPECT_EQ(jtmpre2_table.entries[55], jtmpre2_table.entries[199]);

  // A mistyped entry shows up as a kink in the otherwise monotonic curves.
  for (int i = 1; i < 100; ++i) EXPECT_LT(sd1table.entries[i], sd1table.entries[i - 1]) << i;
  for (int i = 1; i < 200; ++i)
  {
    EXPECT_GE(jtmpre2_table.entries[i], jtmpre2_table.entries[i - 1]) << i;
    EXPECT_LT(jtmpre2_neg_table.entries[i], jtmpre2_neg_table.entries[i - 1]) << i;
  }

  // The widened copies the fast path reads hold the same numbers, and the last one once more.
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(torva::kWide.sd1[i], sd1table.entries[std::min(i, 99)]);
  for (int i = 0; i <= 200; ++i)
  {
    EXPECT_EQ(torva::kWide.jtmpre2[i], jtmpre2_table.entries[std::min(i, 199)]);
    EXPECT_EQ(torva::kWide.jtmpre2[201 + i], jtmpre2_neg_table.entries[std::min(i, 199)]);
  }
}

TEST(FirstClip, SaturatesInvertsAndKeepsOddSymmetry)
{
  const double kSat = 0.46163561940193176;
  EXPECT_TRUE(SameBits(sd1nonlin(100.0), -kSat));
  EXPECT_TRUE(SameBits(sd1nonlin(-100.0), kSat));
  EXPECT_TRUE(SameBits(sd1nonlin(99.99995889890154), -kSat));
  EXPECT_GT(sd1nonlin(99.9999), -kSat);
  EXPECT_TRUE(SameBits(sd1nonlin(1e300), -kSat));
  EXPECT_TRUE(SameBits(sd1nonlin(kInf), -kSat));
  EXPECT_TRUE(SameBits(sd1nonlin(-kInf), kSat));

  EXPECT_TRUE(SameBits(sd1nonlin(0.0), -0.0));
  EXPECT_TRUE(SameBits(sd1nonlin(-0.0), 0.0));
  EXPECT_TRUE(SameBits(sd1nonlin(std::nan("")), -0.0));
  EXPECT_TRUE(SameBits(sd1nonlin(-std::nan("")), 0.0));

  // At a table knot the curve is the entry: |x| = 3 / (istep - 1) gives t = 1.
  const double x1 = 3.0 / (101.97000122070312 - 1.0);
  EXPECT_NEAR(sd1nonlin(x1), -std::fabs(sd1table.entries[1]), 1e-15);

  for (double x = 1e-6; x < 200.0; x *= 1.37)
  {
    EXPECT_EQ(sd1nonlin(-x), -sd1nonlin(x)) << x;
    EXPECT_LT(sd1nonlin(x), 0.0) << x;
  }
}

TEST(SecondClip, SaturatesAsymmetricallyAndKeepsTheSign)
{
  const double kPos = 0.3321254253387451, kNeg = -0.45525988936424255;
  EXPECT_TRUE(SameBits(jtmpre2nonlin(2.0), kPos));
  EXPECT_TRUE(SameBits(jtmpre2nonlin(-2.0), kNeg));
  const double edge = 199.0 / 142.14300537109375;
  EXPECT_TRUE(SameBits(jtmpre2nonlin(edge), kPos));
  EXPECT_TRUE(SameBits(jtmpre2nonlin(-edge), kNeg));
  EXPECT_GT(jtmpre2nonlin(-edge * 0.999), kNeg);
  // Far beyond the int range of the index, and at infinity, the curve stays saturated.
  EXPECT_TRUE(SameBits(jtmpre2nonlin(1e10), kPos));
  EXPECT_TRUE(SameBits(jtmpre2nonlin(-1e300), kNeg));
  EXPECT_TRUE(SameBits(jtmpre2nonlin(kInf), kPos));
  EXPECT_TRUE(SameBits(jtmpre2nonlin(-kInf), kNeg));

  EXPECT_TRUE(SameBits(jtmpre2nonlin(0.0), 0.0));
  EXPECT_TRUE(SameBits(jtmpre2nonlin(-0.0), -0.0));
  EXPECT_TRUE(SameBits(jtmpre2nonlin(std::nan("")), 0.0));
  EXPECT_TRUE(SameBits(jtmpre2nonlin(-std::nan("")), -0.0));

  // Small inputs: both halves start with slope about 4.5, then part ways.
  EXPECT_NEAR(jtmpre2nonlin(0.001), 0.001 * 142.14300537109375 * 0.03170848, 1e-9);
  EXPECT_NEAR(jtmpre2nonlin(-0.001), -0.001 * 142.14300537109375 * 0.032219682, 1e-9);
  EXPECT_GT(jtmpre2nonlin(0.5), 0.0);
  EXPECT_LT(jtmpre2nonlin(-0.5), 0.0);
}

#if defined(__SSE2__)
// The two-lane curves of the fast path against the one-value curves, with each lane fed a
// different edge value so that a lane mix-up shows.
TEST(Clips, TwoLaneCurvesMatchBitForBit)
{
  using namespace torva::lanes;
  std::vector<double> xs = {0.0,
                            -0.0,
                            std::nan(""),
                            -std::nan(""),
                            kInf,
                            -kInf,
                            1e300,
                            -1e300,
                            1e10,
                            -1e10,
                            100.0,
                            -100.0,
                            99.99995889890154,
                            2.0,
                            -2.0,
                            199.0 / 142.14300537109375,
                            -199.0 / 142.14300537109375,
                            5e-324,
                            -5e-324,
                            1e-300,
                            0.5,
                            -0.5,
                            0.0070351};
  torva_test::Rng rng(11);
  for (int k = 0; k < 50000; ++k)
    xs.push_back(rng.Real(-1.0, 1.0) * std::pow(10.0, rng.Real(-6.0, 2.5)));
  for (size_t i = 0; i < xs.size(); ++i)
  {
    const double x0 = xs[i], x1 = xs[(i * 7 + 3) % xs.size()];
    const V s = Sd1(Pair(x0, x1));
    const V j = Jtmpre2(Pair(x0, x1));
    ASSERT_TRUE(SameBits(Lane0(s), sd1nonlin(x0))) << x0;
    ASSERT_TRUE(SameBits(Lane1(s), sd1nonlin(x1))) << x1;
    ASSERT_TRUE(SameBits(Lane0(j), jtmpre2nonlin(x0))) << x0;
    ASSERT_TRUE(SameBits(Lane1(j), jtmpre2nonlin(x1))) << x1;
  }
}
#endif

} // namespace
