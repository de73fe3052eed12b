#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "AmpTestUtil.h"
#include "TORVA/TORVA_PATH.h"
#include "support/Sanitized.h"
#include "tests/reference/AmpReference.h"

namespace
{

using torva_test::FirstMismatch;
using torva_test::Rng;
using torva_test::SameBits;

// Plain parameter values in index order: Bass, Master, Middle, Presence, Treble, Volume 1,
// Volume 2, Bypass.
using Plain = std::array<double, 8>;
const Plain kDefaults = {0.7, -4.0, 0.3, 0.3, 0.4, 10.0, 10.0, 0.0};

TORVA_PATH::Settings ToSettings(const Plain& p)
{
  return {p[0],
          std::pow(10.0, p[1] / 20.0),
          p[2],
          p[3],
          p[4],
          std::pow(10.0, p[5] / 20.0),
          std::pow(10.0, p[6] / 20.0)};
}

int BypassOf(const Plain& p)
{
  return std::isnan(p[7]) ? INT_MIN : static_cast<int>(p[7]);
}

Plain RandomPlain(Rng& rng)
{
  Plain p = {rng.Uniform(), rng.Real(-20, 20), rng.Uniform(),   rng.Uniform(),
             rng.Uniform(), rng.Real(0, 50),   rng.Real(0, 50), 0.0};
  // Now and then a knob at an end, a setting repeated, or Bypass on.
  if (rng.Int(0, 7) == 0) p[rng.Int(0, 6)] = rng.Int(0, 1) ? 0.0 : 1.0;
  const int b = rng.Int(0, 15);
  p[7] = b == 0 ? 1.0 : (b == 1 ? 2.0 : 0.0);
  return p;
}

struct Stereo
{
  std::vector<double> l, r;
  explicit Stereo(size_t n, double fill = 0.0) : l(n, fill), r(n, fill) {}
};

// Production and reference side by side on the same blocks. The reference runs with
// flush-to-zero and denormals-are-zero on, as the production path does, so that the outputs
// can be compared bit for bit even where memories decay below the normal range.
struct Pair
{
  TORVA_PATH prod;
  torva_ref::Amplifier ref;

  void Run(const Stereo& in, Stereo& outProd, Stereo& outRef, size_t at, int n, double fs,
           const Plain& p)
  {
    prod.Process(in.l.data() + at, in.r.data() + at, outProd.l.data() + at, outProd.r.data() + at,
                 n, fs, ToSettings(p), BypassOf(p));
    RunRef(in, outRef, at, n, fs, p);
  }

  void RunRef(const Stereo& in, Stereo& outRef, size_t at, int n, double fs, const Plain& p)
  {
    const double* i[2] = {in.l.data() + at, in.r.data() + at};
    double* o[2] = {outRef.l.data() + at, outRef.r.data() + at};
#if defined(__SSE2__)
    torva_test::Mxcsr flush(torva_test::kMxcsrFlush);
#endif
    ref.Process(i, o, n, fs, p.data());
  }
};

// Every instruction-set variant of the loop the processor has, against the reference.
class SignalPathKernel : public testing::TestWithParam<TORVA_PATH::EKernel>
{
};

TEST_P(SignalPathKernel, MatchesTheLiteralReferenceBitForBit)
{
  if (!TORVA_PATH::KernelSupported(GetParam())) GTEST_SKIP() << "not on this processor";
  // Random blocks from 1 to 700 frames (short ones fill and drain the loop's pipeline), a new
  // random setting before most of them, the sample rate changed between stretches (odd and
  // clamped rates included).
  const double rates[] = {44100.0, 48000.0, 96000.0, 22050.0, 8000.0, 1600000.0, 44100.0};
  const double seconds = torva_test::Sanitized() ? 0.25 : 1.0;
  Rng rng(2024);
  Pair pair;
  ASSERT_TRUE(pair.prod.SetKernel(GetParam()));
  for (double fs : rates)
  {
    const int n = static_cast<int>(fs * seconds > 200000 ? 200000 : fs * seconds);
    Stereo in(n);
    in.l = torva_test::MakeSignal(n, fs, static_cast<uint64_t>(fs));
    in.r = torva_test::MakeSignal(n, fs, static_cast<uint64_t>(fs) + 1);
    Stereo outProd(n, 7.0), outRef(n, 7.0); // 7.0 shows what was left unwritten
    Plain p = RandomPlain(rng);
    for (int at = 0; at < n;)
    {
      const int len = std::min(n - at, rng.Int(0, 3) ? rng.Int(1, 700) : rng.Int(1, 7));
      if (rng.Int(0, 3) != 0) p = RandomPlain(rng);
      pair.Run(in, outProd, outRef, at, len, fs, p);
      at += len;
    }
    EXPECT_EQ(FirstMismatch(outProd.l, outRef.l), -1) << "fs " << fs;
    EXPECT_EQ(FirstMismatch(outProd.r, outRef.r), -1) << "fs " << fs;
  }
}

std::string KernelName(const testing::TestParamInfo<TORVA_PATH::EKernel>& info)
{
  const char* names[] = {"Best", "Sse2", "Avx", "Avx512"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Kernels, SignalPathKernel,
                         testing::Values(TORVA_PATH::kKernelSse2, TORVA_PATH::kKernelAvx,
                                         TORVA_PATH::kKernelAvx512),
                         KernelName);

TEST(SignalPath, SilenceInSilenceOut)
{
  TORVA_PATH path;
  Stereo in(4096), out(4096, 1.0);
  Plain p = kDefaults;
  p[5] = p[6] = 50.0;
  path.Process(in.l.data(), in.r.data(), out.l.data(), out.r.data(), 4096, 48000.0, ToSettings(p),
               0);
  for (int j = 0; j < 4096; ++j) ASSERT_TRUE(out.l[j] == 0.0 && out.r[j] == 0.0) << j;
}

TEST(SignalPath, BypassCopiesTheInputAndFreezesOnlyThePresenceFilters)
{
  const int n = 2000;
  Stereo in(n);
  in.l = torva_test::MakeSignal(n, 44100.0, 5);
  in.r = torva_test::MakeSignal(n, 44100.0, 6);
  in.l[510] = -0.0;
  in.r[513] = 5e-324;
  Pair pair;
  Stereo outProd(n), outRef(n);
  Plain p = kDefaults;
  pair.Run(in, outProd, outRef, 0, 500, 44100.0, p);
  const auto presence = pair.prod.GetPresence(1).GetMemories();
  const auto tone = pair.prod.GetToneStack(1).GetMemories();

  // In place, as hosts often run it: outputs and inputs the same buffers.
  p[7] = 1.0;
  Stereo io = in;
  pair.prod.Process(io.l.data() + 500, io.r.data() + 500, io.l.data() + 500, io.r.data() + 500,
                    1000, 44100.0, ToSettings(p), BypassOf(p));
  for (int j = 500; j < 1500; ++j)
    ASSERT_TRUE(SameBits(io.l[j], in.l[j]) && SameBits(io.r[j], in.r[j])) << j;
  std::copy(io.l.begin() + 500, io.l.begin() + 1500, outProd.l.begin() + 500);
  std::copy(io.r.begin() + 500, io.r.begin() + 1500, outProd.r.begin() + 500);
  EXPECT_EQ(std::memcmp(&presence, &pair.prod.GetPresence(1).GetMemories(), sizeof(presence)), 0);
  EXPECT_NE(std::memcmp(&tone, &pair.prod.GetToneStack(1).GetMemories(), sizeof(tone)), 0);

  // Resumed, the presence filters continue from where Bypass stopped them and everything else
  // from where it has got to: exactly what the literal evaluation gives.
  pair.RunRef(in, outRef, 500, 1000, 44100.0, p);
  p[7] = 0.0;
  pair.Run(in, outProd, outRef, 1500, 500, 44100.0, p);
  EXPECT_EQ(FirstMismatch(outProd.l, outRef.l), -1);
  EXPECT_EQ(FirstMismatch(outProd.r, outRef.r), -1);
}

TEST(SignalPath, NonFiniteInputActsAsZeroOnTheProcessedPath)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const int n = 6000;
  Stereo clean(n);
  clean.l = torva_test::MakeSignal(n, 48000.0, 21);
  clean.r = torva_test::MakeSignal(n, 48000.0, 22);
  Stereo bad = clean, zeroed = clean;
  auto spoil = [&](std::vector<double>& b, std::vector<double>& z, int from, int len, double v)
  {
    for (int j = from; j < from + len; ++j)
    {
      b[j] = v;
      z[j] = 0.0;
    }
  };
  spoil(bad.l, zeroed.l, 100, 1, nan);
  spoil(bad.l, zeroed.l, 1000, 300, -nan);
  spoil(bad.r, zeroed.r, 1200, 50, inf);
  spoil(bad.r, zeroed.r, 3000, 1, -inf);
  spoil(bad.l, zeroed.l, 4000, 20, std::numeric_limits<double>::signaling_NaN());

  Pair pair;
  TORVA_PATH spoilt;
  Stereo outBad(n), outProd(n), outRef(n);
  for (int at = 0; at < n; at += 512)
  {
    const int len = std::min(512, n - at);
    spoilt.Process(bad.l.data() + at, bad.r.data() + at, outBad.l.data() + at, outBad.r.data() + at,
                   len, 48000.0, ToSettings(kDefaults), 0);
    pair.Run(zeroed, outProd, outRef, at, len, 48000.0, kDefaults);
  }
  EXPECT_EQ(FirstMismatch(outBad.l, outRef.l), -1);
  EXPECT_EQ(FirstMismatch(outBad.r, outRef.r), -1);

  // Bypass passes them through untouched, payload and sign included.
  Stereo out(n);
  Plain p = kDefaults;
  p[7] = 1.0;
  spoilt.Process(bad.l.data(), bad.r.data(), out.l.data(), out.r.data(), n, 48000.0, ToSettings(p),
                 1);
  EXPECT_EQ(FirstMismatch(out.l, bad.l), -1);
  EXPECT_EQ(FirstMismatch(out.r, bad.r), -1);
  EXPECT_TRUE(std::isfinite(spoilt.GetCoupling(0).GetMemories().y1));
}

#if defined(__SSE2__)
TEST(SignalPath, FlushesDenormalsAndRestoresTheCallersControlWord)
{
  // At a low rate the memories decay below the normal range within 80000 samples.
  const double fs = 4000.0;
  const int n = 80000;
  Stereo in(n);
  const std::vector<double> burst = torva_test::MakeSignal(4000, fs, 3);
  std::copy(burst.begin(), burst.end(), in.l.begin());
  std::copy(burst.begin(), burst.end(), in.r.begin() + 1000);

  TORVA_PATH path;
  torva_ref::Amplifier ref; // in the caller's default mode: subnormals kept
  Stereo outProd(n), outRef(n);
  Rng rng(1);
  const unsigned callerWords[] = {
      torva_test::kMxcsrDefault,          torva_test::kMxcsrFlush,
      torva_test::kMxcsrDefault | 0x6000, // round toward zero
      torva_test::kMxcsrDefault | 0x2000, // round down
      torva_test::kMxcsrDefault | 0x003F, // every sticky exception flag raised
  };
  const TORVA_PATH::Settings settings = ToSettings(kDefaults);
  for (int at = 0, call = 0; at < n; ++call)
  {
    const int len = std::min(n - at, rng.Int(1, 1024));
    const unsigned word = callerWords[call % 5];
    {
      torva_test::Mxcsr caller(word);
      path.Process(in.l.data() + at, in.r.data() + at, outProd.l.data() + at, outProd.r.data() + at,
                   len, fs, settings, 0);
      ASSERT_EQ(_mm_getcsr(), word);
    }
    const double* i[2] = {in.l.data() + at, in.r.data() + at};
    double* o[2] = {outRef.l.data() + at, outRef.r.data() + at};
    ref.Process(i, o, len, fs, kDefaults.data());
    at += len;
  }

  // Where the outputs differ, both are within a few hundred times the smallest normal number
  // (flushing inside the recursions moves the memories by amounts of that order, and the filter
  // gains lift them a little); and they do differ, or this test would prove nothing.
  int differing = 0;
  for (int ch = 0; ch < 2; ++ch)
  {
    const auto& a = ch ? outProd.r : outProd.l;
    const auto& b = ch ? outRef.r : outRef.l;
    for (int j = 0; j < n; ++j)
    {
      if (SameBits(a[j], b[j])) continue;
      ++differing;
      ASSERT_LT(std::fabs(a[j]), 1e-300) << "channel " << ch << " sample " << j;
      ASSERT_LT(std::fabs(b[j]), 1e-300) << "channel " << ch << " sample " << j;
    }
  }
  EXPECT_GT(differing, 0);

  // The literal memories linger among the subnormals, where every operation is slow; the
  // production memories never get there.
  auto subnormal = [](double v) { return std::fpclassify(v) == FP_SUBNORMAL; };
  EXPECT_TRUE(subnormal(ref.coupling[0].y1) || subnormal(ref.toneStack[0].s1));
  for (int ch = 0; ch < 2; ++ch)
  {
    for (const TORVA_TONE* f :
         {&path.GetInputFilter(ch), &path.GetToneStack(ch), &path.GetPresence(ch)})
    {
      EXPECT_FALSE(subnormal(f->GetMemories().s1));
      EXPECT_FALSE(subnormal(f->GetMemories().s2));
      EXPECT_FALSE(subnormal(f->GetMemories().s3));
    }
    EXPECT_FALSE(subnormal(path.GetCoupling(ch).GetMemories().x1));
    EXPECT_FALSE(subnormal(path.GetCoupling(ch).GetMemories().y1));
  }
}
#endif

} // namespace
