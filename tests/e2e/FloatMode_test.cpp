// TORVA.so gives the same bits whatever floating-point mode the host's audio thread runs in
// (flush-to-zero, denormals-are-zero, any rounding), hands a float host no subnormal, and gives
// the thread its own mode back exactly, exception flags included.

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "support/Random.h"
#include "support/TestHost.h"

using namespace vsthost;

namespace
{
constexpr int kBurst = 2000;
constexpr int kFrames = 150000; // long enough for the tails to pass through the subnormal floats
constexpr int kBlock = 512;

constexpr unsigned kStandard = 0x1F80;
constexpr unsigned kFlushModes = 0x8040; // flush-to-zero | denormals-are-zero
constexpr unsigned kRoundDown = 0x2000, kRoundUp = 0x4000, kRoundToZero = 0x6000;

// A loud burst, then silence: the filters' memories decay through every magnitude.
std::vector<float> Burst(int channel)
{
  torva_test::Rng rng(5 + channel);
  std::vector<float> s(kFrames, 0.0f);
  for (int i = 0; i < kBurst; ++i)
    s[i] = static_cast<float>(0.6 * std::sin(0.05 * i * (1 + channel)) + rng.Real(-0.2, 0.2));
  return s;
}

// What each callback produced, per channel.
struct Outputs
{
  std::vector<float> f[2], acc[2];
  std::vector<double> d[2];
  bool modeKept = true; // the thread's word was the same after every call
};

// The host's own float output before an accumulating call: ordinary values, subnormals a host
// might leave there, and zeros.
float Prior(int i)
{
  return i % 4 == 0 ? 0.25f : i % 4 != 1 ? 0.0f : i % 8 == 1 ? 1e-40f : -FLT_MIN * 0.75f;
}

// Runs the three callbacks on a thread of their own whose MXCSR is `mode`. The instances are
// made and set up here, on the test's thread, as a host's main thread would.
Outputs RunIn(Host& host, unsigned mode)
{
  Instance f(host), d(host), acc(host);
  for (Instance* p : {&f, &d, &acc})
    for (auto [idx, value] : {std::pair{1, 0.9f}, {5, 0.7f}, {0, 0.3f}}) // Master loud: loud tails
      (*p)->setParameter(p->Get(), idx, value);
  std::vector<float> in[2] = {Burst(0), Burst(1)};
  std::vector<double> din[2] = {std::vector<double>(in[0].begin(), in[0].end()),
                                std::vector<double>(in[1].begin(), in[1].end())};
  Outputs out;
  for (int c = 0; c < 2; ++c)
  {
    out.f[c].assign(kFrames, 9.0f);
    out.d[c].assign(kFrames, 9.0);
    out.acc[c].resize(kFrames);
    for (int i = 0; i < kFrames; ++i) out.acc[c][i] = Prior(i + c);
  }
  std::thread audio(
      [&]
      {
        _mm_setcsr(mode);
        for (int pos = 0; pos < kFrames; pos += kBlock)
        {
          int const n = std::min(kBlock, kFrames - pos);
          auto at = [pos](auto& v) { return std::array{v[0].data() + pos, v[1].data() + pos}; };
          f->processReplacing(f.Get(), at(in).data(), at(out.f).data(), n);
          out.modeKept &= _mm_getcsr() == mode;
          d->processDoubleReplacing(d.Get(), at(din).data(), at(out.d).data(), n);
          out.modeKept &= _mm_getcsr() == mode;
          acc->process(acc.Get(), at(in).data(), at(out.acc).data(), n);
          out.modeKept &= _mm_getcsr() == mode;
        }
      });
  audio.join();
  return out;
}

template <typename T> bool SameBits(std::vector<T> const& a, std::vector<T> const& b)
{
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

template <typename T> bool IsSubnormal(T v)
{
  return std::fpclassify(v) == FP_SUBNORMAL;
}
} // namespace

TEST(FloatMode, SameBitsInEveryHostModeAndNoSubnormalFloats)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Outputs const ref = RunIn(host, kStandard);
  EXPECT_TRUE(ref.modeKept);

  // The double tails really pass through the float subnormal range, where the float outputs
  // are zeros of the same sign; everywhere else they are the double rounded to nearest.
  for (int c = 0; c < 2; ++c)
  {
    int tiny = 0;
    for (int i = 0; i < kFrames; ++i)
    {
      double const v = ref.d[c][i];
      ASSERT_FALSE(IsSubnormal(v) || IsSubnormal(ref.f[c][i]) || IsSubnormal(ref.acc[c][i]))
          << c << ":" << i;
      float const nearest = static_cast<float>(v);
      tiny += IsSubnormal(nearest);
      float const expected = IsSubnormal(nearest) ? std::copysign(0.0f, float(v)) : nearest;
      ASSERT_EQ(std::bit_cast<uint32_t>(ref.f[c][i]), std::bit_cast<uint32_t>(expected))
          << c << ":" << i;
    }
    EXPECT_GT(tiny, 100) << "the tail of channel " << c << " never reached the subnormal floats";
  }

  unsigned const modes[] = {kStandard | kFlushModes, kStandard | 0x8000, kStandard | 0x0040,
                            kStandard | kRoundDown, kStandard | kRoundUp,
                            kStandard | kRoundToZero | kFlushModes,
                            // unmasked exceptions and sticky flags a host left set
                            (kStandard & ~0x0200u) | 0x0021u};
  for (unsigned mode : modes)
  {
    Outputs const got = RunIn(host, mode);
    EXPECT_TRUE(got.modeKept) << std::hex << mode;
    for (int c = 0; c < 2; ++c)
    {
      EXPECT_TRUE(SameBits(got.f[c], ref.f[c])) << "float, mode " << std::hex << mode;
      EXPECT_TRUE(SameBits(got.d[c], ref.d[c])) << "double, mode " << std::hex << mode;
      EXPECT_TRUE(SameBits(got.acc[c], ref.acc[c])) << "accumulating, mode " << std::hex << mode;
    }
  }
}
