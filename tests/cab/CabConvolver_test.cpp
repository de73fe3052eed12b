// The cabinet's convolution against a plain direct-form one in double precision: random
// responses of every shape around the partition size, fed in blocks of 1, 63, 64, 4096, 5000 and
// random lengths. The convolver computes in double too and rounds once to float at its output,
// so it must agree with the reference rounded to float within one unit in the last place (the
// FFT's own error, about 1e-15 of the level, can only tip a rounding).

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "TORVACab/CabConvolver.h"
#include "support/Random.h"

namespace
{
std::vector<double> Direct(const std::vector<double>& h, const std::vector<float>& x)
{
  std::vector<double> y(x.size(), 0.0);
  for (size_t n = 0; n < x.size(); ++n)
    for (size_t m = 0; m < h.size() && m <= n; ++m) y[n] += h[m] * x[n - m];
  return y;
}

TEST(CabConvolver, MatchesDirectConvolutionWhateverTheBlocks)
{
  constexpr int kB = CabConvolver::kBlock;
  torva_test::Rng rng(21);
  std::vector<float> x(12000);
  for (float& v : x) v = (float)(rng.Real(-1.0, 1.0));
  for (int taps : {1, kB - 1, kB, kB + 1, 3 * kB + 7, 4096})
  {
    std::vector<double> h(taps);
    for (double& v : h) v = (rng.Real(-1.0, 1.0)) * std::exp(-8.0 * (&v - h.data()) / taps);
    const std::vector<double> want = Direct(h, x);
    for (int block : {1, 63, 64, 4096, 5000, 0}) // 0: random lengths from 0 to 300
    {
      SCOPED_TRACE(testing::Message() << taps << " taps, blocks of " << block);
      CabConvolver c;
      ASSERT_TRUE(c.Prepare(4096));
      c.SetImpulse(h.data(), taps);
      std::vector<float> y(x.size());
      for (size_t at = 0; at < x.size();)
      {
        const int n = (int)std::min<size_t>(block ? block : rng.Int(0, 300), x.size() - at);
        c.Process(x.data() + at, y.data() + at, n);
        at += n;
      }
      int bad = 0;
      for (size_t n = 0; n < x.size() && bad < 3; ++n)
      {
        const float ref = (float)want[n];
        const float ulp = std::nextafter(std::fabs(ref), INFINITY) - std::fabs(ref);
        if (std::fabs(y[n] - ref) > ulp)
          ++bad, ADD_FAILURE() << "at " << n << ": " << y[n] << " vs " << ref;
      }
    }
  }
}

// A unit impulse passes audio through unchanged, bit for bit, in place; a response longer than
// the room prepared is cut off there; Reset forgets what was heard.
TEST(CabConvolver, UnitImpulseRoomAndReset)
{
  torva_test::Rng rng(7);
  std::vector<float> x(3000), y;
  for (float& v : x) v = (float)rng.Real(-0.5, 0.5);
  CabConvolver c;
  ASSERT_TRUE(c.Prepare(256)); // a unit impulse until told otherwise
  y = x;
  c.Process(y.data(), y.data(), (int)y.size());
  EXPECT_EQ(y, x);

  std::vector<double> longer(1000, 0.0);
  longer[200] = 1.0; // inside the room: a pure delay, through the FFT's rounding
  longer[600] = 1.0; // beyond it: gone
  c.SetImpulse(longer.data(), (int)longer.size());
  c.Process(x.data(), y.data(), (int)x.size());
  for (size_t n = 0; n < x.size(); ++n) ASSERT_NEAR(y[n], n >= 200 ? x[n - 200] : 0.0f, 1e-12) << n;
  c.Reset();
  const float silence[300] = {};
  float out[300];
  c.Process(silence, out, 300);
  for (float v : out) ASSERT_EQ(v, 0.0f);
}
} // namespace
