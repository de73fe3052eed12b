// Audio through the three process callbacks of TORVA.so: they agree with each other bit for bit
// (float as the double result rounded once, accumulating as that float added), whatever the host's
// block sizes, and odd calls (null buffers, zero frames, more frames than announced) stay inside
// the buffers.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "reference/AmpReference.h"
#include "support/Random.h"
#include "support/TestHost.h"

using namespace vsthost;

namespace
{
constexpr int kFrames = 3000;

// A guitar-like test signal: decaying partials plus a little noise, both channels different.
std::vector<double> Signal(int channel, int n = kFrames)
{
  torva_test::Rng rng(77 + channel);
  std::vector<double> s(n);
  for (int i = 0; i < n; ++i)
  {
    double const t = i / 44100.0;
    s[i] = std::exp(-3.0 * t) * (0.4 * std::sin(2 * M_PI * 110.0 * t * (1 + channel)) +
                                 0.2 * std::sin(2 * M_PI * 330.0 * t)) +
           rng.Real(-0.01, 0.01);
    s[i] = static_cast<float>(s[i]); // exactly representable in float too
  }
  return s;
}

struct Stereo
{
  std::vector<double> ch[2];
};

// Runs `frames` in host calls of the given sizes (repeating), in double precision.
Stereo RunDouble(Instance& p, std::vector<int> const& calls, int frames = kFrames)
{
  Stereo in{{Signal(0, frames), Signal(1, frames)}}, out;
  out.ch[0].assign(frames, 0.0);
  out.ch[1].assign(frames, 0.0);
  for (int pos = 0, k = 0; pos < frames; ++k)
  {
    int const n = std::min(calls[k % calls.size()], frames - pos);
    double* ins[] = {in.ch[0].data() + pos, in.ch[1].data() + pos};
    double* outs[] = {out.ch[0].data() + pos, out.ch[1].data() + pos};
    p->processDoubleReplacing(p.Get(), ins, outs, n);
    pos += n;
  }
  return out;
}

// A block of exactly n floats on the heap, so the sanitizers see any write past it.
std::vector<float> Floats(std::vector<double> const& d)
{
  return std::vector<float>(d.begin(), d.end());
}

void SetSomeKnobs(Instance& p)
{
  p->setParameter(p.Get(), 0, 0.2f);  // Bass
  p->setParameter(p.Get(), 4, 0.9f);  // Treble
  p->setParameter(p.Get(), 5, 0.6f);  // Volume 1
  p->setParameter(p.Get(), 1, 0.55f); // Master
}
} // namespace

TEST(Process, WorkedExampleThroughTheInterface)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host, 44100.0, 512);
  std::vector<double> in0(16, 0.0), in1(16, 0.0), out0(16, 9.0), out1(16, 9.0);
  in0[0] = 0.1;
  double* ins[] = {in0.data(), in1.data()};
  double* outs[] = {out0.data(), out1.data()};
  p->processDoubleReplacing(p.Get(), ins, outs, 16);
  EXPECT_NEAR(out0[0], -0.0561109242552, 1e-11);
  EXPECT_NEAR(out0[1], 0.0535280524282, 1e-11);
  EXPECT_NEAR(out0[2], -0.0233571834669, 1e-11);
  for (double v : out1) EXPECT_EQ(v, 0.0);
}

TEST(Process, DoubleIsTheLiteralSignalPathBitForBit)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host, 48000.0, 256);
  // Set as text so the plain values are exactly these doubles.
  double plain[8] = {0.2, 2.5, 0.3, 0.65, 0.9, 30.0, 10.0, 0.0};
  char const* texts[8] = {"0.2", "2.5", "0.3", "0.65", "0.9", "30", "10", "0"};
  for (int i = 0; i < 8; ++i)
    ASSERT_EQ(p.Dispatch(effString2Parameter, i, 0, const_cast<char*>(texts[i])), 1);

  Stereo const in{{Signal(0), Signal(1)}};
  Stereo expected;
  expected.ch[0].assign(kFrames, 0.0);
  expected.ch[1].assign(kFrames, 0.0);
  torva_ref::Amplifier ref;
  double const* ins[] = {in.ch[0].data(), in.ch[1].data()};
  double* outs[] = {expected.ch[0].data(), expected.ch[1].data()};
  ref.Process(ins, outs, kFrames, 48000.0, plain);

  Stereo const got = RunDouble(p, {256, 100, 1024});
  EXPECT_EQ(got.ch[0], expected.ch[0]);
  EXPECT_EQ(got.ch[1], expected.ch[1]);
}

TEST(Process, FloatAndAccumulatingAgreeWithDouble)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance d(host), f(host), acc(host);
  for (Instance* p : {&d, &f, &acc}) SetSomeKnobs(*p);

  Stereo const ref = RunDouble(d, {512});
  Stereo const in{{Signal(0), Signal(1)}};
  std::vector<float> fin[2] = {Floats(in.ch[0]), Floats(in.ch[1])};
  std::vector<float> fout[2] = {std::vector<float>(kFrames, 5.0f),
                                std::vector<float>(kFrames, 5.0f)};
  std::vector<float> aout[2] = {std::vector<float>(kFrames, 0.25f),
                                std::vector<float>(kFrames, -0.5f)};
  for (int pos = 0; pos < kFrames; pos += 512)
  {
    int const n = std::min(512, kFrames - pos);
    float* ins[] = {fin[0].data() + pos, fin[1].data() + pos};
    float* fo[] = {fout[0].data() + pos, fout[1].data() + pos};
    float* ao[] = {aout[0].data() + pos, aout[1].data() + pos};
    f->processReplacing(f.Get(), ins, fo, n);
    acc->process(acc.Get(), ins, ao, n);
  }
  float const prior[2] = {0.25f, -0.5f};
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kFrames; ++i)
    {
      ASSERT_EQ(fout[c][i], static_cast<float>(ref.ch[c][i])) << c << ":" << i;
      ASSERT_EQ(aout[c][i], prior[c] + static_cast<float>(ref.ch[c][i])) << c << ":" << i;
    }
  double peak = 0.0;
  for (double v : ref.ch[0]) peak = std::max(peak, std::abs(v));
  EXPECT_GT(peak, 0.01); // the comparison is about sound, not silence
}

TEST(Process, HostBlockSizesDoNotChangeTheResult)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance whole(host, 44100.0, 4096), small(host, 44100.0, 64), odd(host, 44100.0, 100);
  Stereo const ref = RunDouble(whole, {kFrames});
  // More frames per call than announced, and ragged calls around the announced size.
  Stereo const big = RunDouble(small, {1000, 1, 333});
  Stereo const ragged = RunDouble(odd, {99, 100, 101, 7, 250});
  for (int c = 0; c < 2; ++c)
  {
    EXPECT_EQ(big.ch[c], ref.ch[c]) << c;
    EXPECT_EQ(ragged.ch[c], ref.ch[c]) << c;
  }

  // The float path with a host block longer than announced stays inside the host's buffers
  // (exactly sized heap blocks) and still agrees.
  std::vector<float> fin[2] = {Floats(Signal(0)), Floats(Signal(1))};
  std::vector<float> fout[2] = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
  Instance f(host, 44100.0, 64);
  float* ins[] = {fin[0].data(), fin[1].data()};
  float* outs[] = {fout[0].data(), fout[1].data()};
  f->processReplacing(f.Get(), ins, outs, kFrames);
  for (int i = 0; i < kFrames; ++i) ASSERT_EQ(fout[1][i], static_cast<float>(ref.ch[1][i])) << i;
}

TEST(Process, OddCallsStayInsideTheBuffers)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host, 48000.0, 256);
  std::vector<float> in(256, 0.3f), out0(256, 7.0f), out1(256, 7.0f);
  float* ins[] = {in.data(), in.data()};
  float* outs[] = {out0.data(), out1.data()};

  // Zero or negative frames: nothing is written.
  p->processReplacing(p.Get(), ins, outs, 0);
  p->processReplacing(p.Get(), ins, outs, -5);
  p->process(p.Get(), ins, outs, 0);
  EXPECT_EQ(out0, std::vector<float>(256, 7.0f));

  // Null arrays and null channels: the rest is processed, nothing crashes.
  p->processReplacing(p.Get(), nullptr, nullptr, 256);
  p->processDoubleReplacing(p.Get(), nullptr, nullptr, 256);
  p->process(p.Get(), nullptr, outs, 256);
  float* halfIns[] = {in.data(), nullptr};
  float* halfOuts[] = {nullptr, out1.data()};
  p->processReplacing(p.Get(), halfIns, halfOuts, 256);
  for (float v : out1) ASSERT_TRUE(std::isfinite(v));
  double* nullChannels[] = {nullptr, nullptr};
  p->processDoubleReplacing(p.Get(), nullChannels, nullChannels, 256);
}

TEST(Process, MonoArrangementReadsOnlyTheFirstInput)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance mono(host), stereo(host);
  VstSpeakerArrangement arr{};
  arr.type = kSpeakerArrMono;
  arr.numChannels = 1;
  ASSERT_EQ(mono.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&arr), &arr), 1);

  // A one-channel host passes one-entry arrays; the plug-in must not reach for a second.
  std::vector<double> in = Signal(0, 512);
  std::vector<double> monoOut(512), silence(512, 0.0), ref0(512), ref1(512);
  std::vector<double*> ins{in.data()}, outs{monoOut.data()};
  mono->processDoubleReplacing(mono.Get(), ins.data(), outs.data(), 512);

  double* sIns[] = {in.data(), silence.data()};
  double* sOuts[] = {ref0.data(), ref1.data()};
  stereo->processDoubleReplacing(stereo.Get(), sIns, sOuts, 512);
  EXPECT_EQ(monoOut, ref0);
}
