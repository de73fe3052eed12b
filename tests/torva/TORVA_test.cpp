#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "AmpTestUtil.h"
#include "TORVA/TORVA.h"
#include "support/Sanitized.h"
#include "tests/reference/AmpReference.h"

namespace
{

using torva_test::FirstMismatch;
using torva_test::Rng;

// Opens the plug-in the way a host does: every parameter announced to OnParamChange.
std::unique_ptr<TORVA> OpenPlug(double fs = 44100.0)
{
  auto plug = std::make_unique<TORVA>(IPlugInstanceInfo());
  plug->SetSampleRate(fs);
  plug->OnParamReset();
  return plug;
}

std::array<double, 8> PlainValues(const TORVA& plug)
{
  std::array<double, 8> v;
  for (int i = 0; i < 8; ++i) v[i] = plug.GetParam(i)->Value();
  return v;
}

TEST(Torva, Identity)
{
  TORVA plug{IPlugInstanceInfo()};
  EXPECT_STREQ(plug.GetEffectName(), "TORVA");
  EXPECT_STREQ(plug.GetProductName(), "");
  EXPECT_STREQ(plug.GetMfrName(), "BrindleCircuits");
  EXPECT_EQ(plug.GetEffectVersion(false), 0x10000);
  EXPECT_EQ(plug.GetUniqueID(), 0x544F5231); // 'TOR1'
  EXPECT_EQ(plug.GetMfrID(), 0x42726369);    // 'Brci'
  EXPECT_EQ(plug.GetLatency(), 0);
  EXPECT_FALSE(plug.DoesMIDI());
  EXPECT_FALSE(plug.DoesStateChunks());
  EXPECT_FALSE(plug.IsInst());
  EXPECT_EQ(plug.GetSideChainChannels(), 0);
  EXPECT_EQ(plug.NInChannels(), 2);
  EXPECT_EQ(plug.NOutChannels(), 2);
  EXPECT_TRUE(plug.LegalIO(1, 1));
  EXPECT_TRUE(plug.LegalIO(2, 2));
  EXPECT_FALSE(plug.LegalIO(2, 1));
  ASSERT_EQ(plug.NPresets(), 1);
  EXPECT_STREQ(plug.GetPresetName(0), "-");
  EXPECT_TRUE(plug.GetPreset(0)->mInitialized);
}

TEST(Torva, ParameterTable)
{
  TORVA plug{IPlugInstanceInfo()};
  ASSERT_EQ(plug.NParams(), 8);
  struct Row
  {
    const char* name;
    double def, min, max;
    const char* label;
  };
  // The levels in decibels, the tone knobs plain positions.
  const Row rows[] = {{"Bass", 0.7, 0, 1, ""},      {"Master", -4, -20, 20, "dB"},
                      {"Middle", 0.3, 0, 1, ""},    {"Presence", 0.3, 0, 1, ""},
                      {"Treble", 0.4, 0, 1, ""},    {"Volume 1", 10, 0, 50, "dB"},
                      {"Volume 2", 10, 0, 50, "dB"}};
  for (int i = 0; i < 7; ++i)
  {
    const IParam* p = plug.GetParam(i);
    double lo, hi;
    p->GetBounds(&lo, &hi);
    EXPECT_STREQ(p->GetNameForHost(), rows[i].name);
    EXPECT_EQ(p->Type(), IParam::kTypeDouble) << i;
    EXPECT_EQ(p->Value(), rows[i].def) << i;
    EXPECT_EQ(p->GetDefault(), rows[i].def) << i;
    EXPECT_EQ(lo, rows[i].min) << i;
    EXPECT_EQ(hi, rows[i].max) << i;
    EXPECT_EQ(p->GetStep(), 0.01) << i;
    EXPECT_EQ(p->GetShape(), 1.0) << i;
    EXPECT_EQ(p->GetPrecision(), 2) << i;
    EXPECT_STREQ(p->GetLabelForHost(), rows[i].label) << i;
    EXPECT_STREQ(p->GetParamGroupForHost(), "") << i;
  }
  const IParam* bypass = plug.GetParam(TORVA::kBypass);
  double lo, hi;
  bypass->GetBounds(&lo, &hi);
  EXPECT_STREQ(bypass->GetNameForHost(), "Bypass");
  EXPECT_EQ(bypass->Type(), IParam::kTypeInt);
  EXPECT_EQ(bypass->Value(), 0.0);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 1.0);
  EXPECT_STREQ(bypass->GetLabelForHost(), "");
}

TEST(Torva, ParameterChangesSetPositionsAndGains)
{
  auto plug = OpenPlug();
  const TORVA_PATH::Settings& s = plug->GetSettings();
  EXPECT_EQ(s.bass, 0.7);
  EXPECT_EQ(s.middle, 0.3);
  EXPECT_EQ(s.presence, 0.3);
  EXPECT_EQ(s.treble, 0.4);
  EXPECT_EQ(s.masterGain, 0.6309573444801932);
  EXPECT_EQ(s.drive1, 3.1622776601683795);
  EXPECT_EQ(s.drive2, 3.1622776601683795);

  // Before the first announcement the members already hold what the defaults give.
  TORVA fresh{IPlugInstanceInfo()};
  EXPECT_EQ(std::memcmp(&fresh.GetSettings(), &s, sizeof(s)), 0);

  auto set = [&](int idx, double plain)
  {
    plug->GetParam(idx)->Set(plain);
    plug->OnParamChange(idx);
  };
  set(TORVA::kMaster, -20.0);
  EXPECT_EQ(s.masterGain, 0.1);
  set(TORVA::kMaster, 20.0);
  EXPECT_EQ(s.masterGain, 10.0);
  set(TORVA::kVolume1, 50.0);
  EXPECT_EQ(s.drive1, 316.22776601683796);
  set(TORVA::kVolume2, 0.0);
  EXPECT_EQ(s.drive2, 1.0);
  set(TORVA::kTreble, 0.25);
  EXPECT_EQ(s.treble, 0.25);

  // The editor's way: normalised, informed to the host, then OnParamChange.
  plug->SetParameterFromGUI(TORVA::kBass, 0.125);
  EXPECT_EQ(s.bass, 0.125);
  plug->SetParameterFromGUI(TORVA::kVolume1, 0.2);
  EXPECT_EQ(s.drive1, std::pow(10.0, 10.0 / 20.0));

  // Bypass and indexes out of range change nothing.
  const TORVA_PATH::Settings before = s;
  set(TORVA::kBypass, 1.0);
  plug->OnParamChange(8);
  plug->OnParamChange(-1);
  EXPECT_EQ(std::memcmp(&before, &s, sizeof(s)), 0);
}

TEST(Torva, WorkedExample)
{
  auto plug = OpenPlug(44100.0);
  std::vector<double> l = {0.1, 0.0, 0.0, 0.0}, r(4, 0.0), yl(4, 9.0), yr(4, 9.0);
  double* in[2] = {l.data(), r.data()};
  double* out[2] = {yl.data(), yr.data()};
  plug->ProcessDoubleReplacing(in, out, 4);
  EXPECT_NEAR(yl[0], -0.0561109242552, 1e-12);
  EXPECT_NEAR(yl[1], 0.0535280524282, 1e-12);
  EXPECT_NEAR(yl[2], -0.0233571834669, 1e-12);
  for (double y : yr) EXPECT_EQ(y, 0.0);

  // The rates each filter runs at.
  EXPECT_EQ(plug->GetPath().GetInputFilter(0).GetRate(), 5512);
  EXPECT_EQ(plug->GetPath().GetPresence(1).GetRate(), 11025);
  EXPECT_EQ(plug->GetPath().GetToneStack(0).GetRate(), 44100);
}

TEST(Torva, EmptyBlocksAndResetLeaveEverythingAsItWas)
{
  auto a = OpenPlug(48000.0), b = OpenPlug(48000.0);
  const int n = 3000;
  std::vector<double> l = torva_test::MakeSignal(n, 48000.0, 1);
  std::vector<double> r = torva_test::MakeSignal(n, 48000.0, 2);
  std::vector<double> al(n), ar(n), bl(n), br(n);
  auto run = [](TORVA& p, std::vector<double>& x0, std::vector<double>& x1, std::vector<double>& y0,
                std::vector<double>& y1, int at, int len)
  {
    double* in[2] = {x0.data() + at, x1.data() + at};
    double* out[2] = {y0.data() + at, y1.data() + at};
    p.ProcessDoubleReplacing(in, out, len);
  };
  run(*a, l, r, al, ar, 0, n);

  run(*b, l, r, bl, br, 0, 1000);
  std::vector<double> untouched(bl);
  run(*b, l, r, bl, br, 1000, 0);
  run(*b, l, r, bl, br, 1000, -7);
  EXPECT_EQ(bl, untouched);
  // Neither a reset nor a passing change of sample rate clears the memories.
  b->Reset();
  b->SetSampleRate(96000.0);
  b->Reset();
  b->SetSampleRate(48000.0);
  run(*b, l, r, bl, br, 1000, 2000);
  EXPECT_EQ(FirstMismatch(al, bl), -1);
  EXPECT_EQ(FirstMismatch(ar, br), -1);
}

// Exposes the plug-in lock.
struct LockablePlug : TORVA
{
  LockablePlug() : TORVA(IPlugInstanceInfo()) {}
  WDL_Mutex& Lock() { return mMutex; }
};

TEST(Torva, ResetAndParameterChangesTakeThePlugInLock)
{
  LockablePlug plug;
  for (int which = 0; which < 2; ++which)
  {
    std::atomic<bool> done{false};
    plug.Lock().Enter();
    std::thread t(
        [&]
        {
          if (which == 0)
            plug.Reset();
          else
            plug.OnParamChange(TORVA::kMaster);
          done = true;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(done) << "call " << which << " did not wait for the lock";
    plug.Lock().Leave();
    t.join();
    EXPECT_TRUE(done);
    // And it let go again.
    EXPECT_TRUE(plug.Lock().TryEnter());
    plug.Lock().Leave();
  }
}

// The plug-in against the literal reference: ten seconds of varied material at each rate, in
// blocks of random size that are cut at random points where parameters change, through the
// editor's path (SetParameterFromGUI) and the host's (SetNormalized, OnParamChange), Bypass
// switching on and off, and the sample rate changing on the way.
TEST(Torva, MatchesTheLiteralReferenceThroughItsParameterPath)
{
  const double seconds = torva_test::Sanitized() ? 2.5 : 10.0;
  auto plug = OpenPlug();
  torva_ref::Amplifier ref;
  Rng rng(99);
  for (double fs : {44100.0, 48000.0, 96000.0})
  {
    const int n = static_cast<int>(fs * seconds);
    std::vector<double> l = torva_test::MakeSignal(n, fs, static_cast<uint64_t>(fs) * 3);
    std::vector<double> r = torva_test::MakeSignal(n, fs, static_cast<uint64_t>(fs) * 3 + 1);
    std::vector<double> pl(n, 5.0), pr(n, 5.0), rl(n, 5.0), rr(n, 5.0);
    plug->SetSampleRate(fs);
    for (int at = 0; at < n;)
    {
      const int block = std::min(n - at, rng.Int(1, 1024));
      // A host block, cut where parameters change inside it.
      for (int done = 0; done < block;)
      {
        const int len = rng.Int(0, 3) == 0 ? std::min(block - done, rng.Int(1, 64)) : block - done;
        double* in[2] = {l.data() + at + done, r.data() + at + done};
        double* out[2] = {pl.data() + at + done, pr.data() + at + done};
        plug->ProcessDoubleReplacing(in, out, len);
        const std::array<double, 8> plain = PlainValues(*plug);
        double* refOut[2] = {rl.data() + at + done, rr.data() + at + done};
        {
          torva_test::Mxcsr flush(torva_test::kMxcsrFlush);
          ref.Process(in, refOut, len, fs, plain.data());
        }
        done += len;

        const int idx = rng.Int(0, 12);
        if (idx < 7)
          plug->SetParameterFromGUI(idx, rng.Uniform());
        else if (idx == 7)
          plug->SetParameterFromGUI(TORVA::kBypass, rng.Int(0, 4) == 0 ? 1.0 : 0.0);
        else if (idx == 8)
        {
          const int k = rng.Int(0, 6);
          plug->GetParam(k)->SetNormalized(rng.Int(0, 1) ? 0.0 : 1.0);
          plug->OnParamChange(k);
        }
      }
      at += block;
    }
    EXPECT_EQ(FirstMismatch(pl, rl), -1) << "fs " << fs;
    EXPECT_EQ(FirstMismatch(pr, rr), -1) << "fs " << fs;
  }
}

} // namespace
