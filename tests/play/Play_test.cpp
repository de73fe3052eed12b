// `torva play` against a private JACK server on the dummy backend: its output equals an offline
// render bit for bit, a period change reaches the plug-in as a DAW passes it on without losing
// audio, ports follow the plug-in, and it stops cleanly. The live engine and the connection
// plan are also tested on their own.

#include "play/JackRig.h"
#include "support/CliHarness.h"
#include "support/Sanitized.h"
#include "tools/JackPlay.h"
#include "tools/LiveEngine.h"
#include "tools/VstHost.h"
#include "x11/XvfbServer.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <optional>

namespace
{
using namespace playtest;

constexpr int kRate = 48000;

std::string Fake()
{
  return BinaryPath("FakeVst.so");
}

Signal Planar(const Audio& a, float gain = 1.0f)
{
  Signal p(size_t(a.mChannels));
  for (size_t i = 0; i < a.mSamples.size(); ++i)
    p[i % size_t(a.mChannels)].push_back(float(a.mSamples[i]) * gain);
  return p;
}

// The fake plug-in's log reduced to rate, size, suspend/resume, start/stop, editor open/close
// and effClose, with each run of process calls as one "process frames=N".
std::string Lifecycle(const std::string& log)
{
  const auto kept = [](const std::string& line)
  {
    for (const char* bare : {"op 1", "op 71", "op 72"})
      if (line == bare) return true;
    for (const char* withValue : {"op 10 ", "op 11 ", "op 12 ", "op 14 ", "op 15 "})
      if (line.starts_with(withValue)) return true;
    return false;
  };
  std::string out, last;
  for (const std::string& line : Lines(log))
  {
    if (line.starts_with("process "))
    {
      const size_t at = line.find("frames=");
      const std::string entry = "process " + line.substr(at, line.find(' ', at) - at);
      if (entry != last) out += (last = entry) + "\n";
    }
    else if (kept(line))
      out += (last = line.substr(0, line.find(" window"))) + "\n";
  }
  return out;
}

// Where the two first differ in their bits, or "" (a NaN got was never recorded).
std::string Mismatch(const Signal& got, const Signal& want)
{
  if (got.size() != want.size()) return "nothing recorded";
  for (size_t c = 0; c < want.size(); ++c)
    for (size_t i = 0; i < want[c].size(); ++i)
      if (std::memcmp(&got[c][i], &want[c][i], sizeof(float)) != 0)
        return "channel " + std::to_string(c) + " sample " + std::to_string(i) + ": " +
               std::to_string(got[c][i]) + " played, " + std::to_string(want[c][i]) + " expected";
  return "";
}

// A private server, and `torva play` started on it with the fake plug-in logging to Log().
class Play : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (!HaveJackd()) GTEST_SKIP() << "no jackd installed (scripts/deps installs jackd2)";
    ASSERT_TRUE(mServer.Ready()) << "jackd did not come up";
  }

  // Returns the client's name from the start line; "" when it did not start.
  std::string Start(std::vector<std::string> args, std::vector<std::string> env = {},
                    bool terminal = false)
  {
    args.insert(args.begin(), "play");
    env.insert(env.end(), {mServer.Env(), "TORVA_FAKE_LOG=" + Log()});
    mTorva.emplace(args, env, terminal);
    const std::string marker = " as JACK client ";
    std::string name;
    WaitUntil(
        [&]
        {
          const std::string err = mTorva->ErrSoFar();
          const size_t at = err.find(marker);
          const size_t colon = at == std::string::npos ? at : err.find(':', at + marker.size());
          if (colon == std::string::npos || err.find('\n', colon) == std::string::npos)
            return !mTorva->Running();
          name = err.substr(at + marker.size(), colon - at - marker.size());
          return true;
        },
        30000);
    return name;
  }
  RunResult Stop(int signal = SIGTERM) { return mTorva->Stop(signal); }
  std::string Log() const { return mDir / "log"; }

  JackServer mServer;
  TempDir mDir;
  std::optional<TorvaProcess> mTorva;
};

TEST_F(Play, OutputEqualsTheOfflineRenderBitForBit)
{
  const Audio input = TestSignal(2, kRate, kRate * 3 / 2);
  WriteAudio(mDir / "in.wav", input);
  const RunResult render = RunTorva({"render", "--precision", "float", "--block", "64",
                                     mDir / "in.wav", mDir / "out.wav", "--set", "Volume 1=20"});
  ASSERT_EQ(render.mExit, 0) << render.mErr;
  const std::string client = Start({"--set", "Volume 1=20"});
  ASSERT_FALSE(client.empty()) << Stop(SIGKILL).mErr;
  const Signal got = PlayThrough(mServer, client, Planar(input));
  EXPECT_EQ(Stop().mExit, 0);
  EXPECT_EQ(Mismatch(got, Planar(ReadAudio(mDir / "out.wav"))), "");
}

TEST_F(Play, PeriodChangesSuspendResizeAndResumeWithoutLosingAudio)
{
  ASSERT_EQ(Start({Fake()}), "Fake") << Stop(SIGKILL).mErr;
  // A lost, repeated or shifted period shows in what the fake makes: its input halved.
  const Audio input = TestSignal(2, kRate, kRate * 8);
  const Signal got = PlayThrough(mServer, "Fake", Planar(input), {128, 32});
  const RunResult stopped = Stop();
  EXPECT_EQ(stopped.mExit, 0) << stopped.mErr;
  EXPECT_TRUE(Contains(stopped.mErr, "(0 silenced while reconfiguring)")) << stopped.mErr;
  EXPECT_EQ(Mismatch(got, Planar(input, 0.5f)), "");

  // Each change: stop, suspend, the new size, resume, start; no process call in between.
  std::string want = "op 10 48000\nop 11 64\nop 12 1\nop 71\nprocess frames=64\n";
  for (const char* size : {"128", "32"})
    want += std::string("op 72\nop 12 0\nop 10 48000\nop 11 ") + size +
            "\nop 12 1\nop 71\nprocess frames=" + size + "\n";
  EXPECT_EQ(Lifecycle(ReadText(Log())), want + "op 72\nop 12 0\nop 1\n");
}

// 2 to 2 connects pairwise, a mono output fans out to both speakers, nothing connects unasked.
TEST_F(Play, PortsAndConnectionsFollowThePlugin)
{
  jack_client_t* check = mServer.Open("torva-check");
  ASSERT_NE(check, nullptr);
  const struct
  {
    const char* mIo;
    bool mConnect;
    const char* mWiring;
  } cases[] = {
      {"2-2", true,
       "in_1 system:capture_1\nin_2 system:capture_2\n"
       "out_1 system:playback_1\nout_2 system:playback_2\n"},
      {"1-1", true, "in_1 system:capture_1\nout_1 system:playback_1 system:playback_2\n"},
      {"1-2", false, "in_1\nout_1\nout_2\n"},
  };
  for (const auto& k : cases)
  {
    SCOPED_TRACE(k.mIo);
    std::vector<std::string> args = {Fake()};
    if (k.mConnect) args.push_back("--connect");
    ASSERT_EQ(Start(args, {std::string("TORVA_FAKE_IO=") + k.mIo}), "Fake") << Stop(SIGKILL).mErr;
    EXPECT_EQ(Wiring(check, "Fake"), k.mWiring);
    EXPECT_EQ(Stop().mExit, 0);
  }
  jack_client_close(check);
}

// Both signals end it cleanly; the status line shows only on a terminal.
TEST_F(Play, CtrlCAndTermStopCleanly)
{
  for (const auto& [sig, terminal] : {std::pair{SIGINT, false}, std::pair{SIGTERM, true}})
  {
    SCOPED_TRACE(strsignal(sig));
    ASSERT_EQ(Start({Fake()}, {}, terminal), "Fake") << Stop(SIGKILL).mErr;
    const std::string status = "\rFake  48000 Hz  64 frames  DSP ";
    WaitUntil([&] { return Contains(mTorva->ErrSoFar(), status); },
              torva_test::Sanitized() ? 4000 : 1500);
    const RunResult r = Stop(sig);
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    EXPECT_TRUE(Contains(r.mErr, " xruns, ")) << r.mErr;
    EXPECT_EQ(Contains(r.mErr, status) && Contains(r.mErr, " %  xruns "), terminal) << r.mErr;
    const std::string life = Lifecycle(ReadText(Log()));
    EXPECT_TRUE(life.ends_with("process frames=64\nop 72\nop 12 0\nop 1\n")) << life;
  }
}

TEST_F(Play, ClosingTheEditorEndsPlaying)
{
  if (x11test::SharedDisplay().empty()) GTEST_SKIP() << "no Xvfb";
  // The fake editor asks its window to close at its third idle.
  Start({Fake(), "--editor"},
        {"DISPLAY=" + x11test::SharedDisplay(), "TORVA_FAKE_EDITOR=close",
         "TORVA_FAKE_FLAGS=" + std::to_string(effFlagsHasEditor | effFlagsCanReplacing)});
  EXPECT_EQ(mTorva->Stop(0, 60).mExit, 0);
  const std::string life = Lifecycle(ReadText(Log()));
  const size_t open = life.find("op 14"), close = life.find("op 15 open"),
               stop = life.find("op 72"), closed = life.rfind("op 1\n");
  EXPECT_TRUE(open < close && close < stop && stop < closed) << life;
}

// Settings are checked once the server has given the rate, so the first case has a server; the
// others are refused before asking for one.
TEST_F(Play, RefusalsAreOneLine)
{
  const std::string noServer = "JACK_DEFAULT_SERVER=torva-none-" + std::to_string(getpid());
  const struct
  {
    std::vector<std::string> mArgs;
    int mExit;
    std::string mError;
  } cases[] = {
      {{Fake(), "--set", "Nope=1"},
       1,
       "unknown parameter \"Nope\"; valid names: \"Gain\", \"Odd=Name\""},
      {{Fake()}, 1, "no JACK server is running (start jackd, or PipeWire with its JACK support)"},
      {{Fake(), "--block", "64"},
       2,
       "play runs at the server's period and in single precision (see torva help)"},
      {{Fake(), "--connect=yes"}, 2, "--connect takes no value"},
      {{Fake(), Fake()}, 2, "play takes at most one plug-in (see torva help)"},
      {{"/nonexistent/x.so"}, 1, "cannot read /nonexistent/x.so: No such file or directory"},
  };
  for (const auto& k : cases)
  {
    std::vector<std::string> args = {"play"};
    args.insert(args.end(), k.mArgs.begin(), k.mArgs.end());
    const RunResult r = RunTorva(args, {&k == cases ? mServer.Env() : noServer});
    EXPECT_EQ(r.mExit, k.mExit) << k.mError;
    EXPECT_EQ(r.mErr, "torva: " + k.mError + "\n");
  }
}

// The engine on its own, with the fake plug-in loaded directly.
class Engine : public ::testing::Test
{
protected:
  void Load(const char* extraEnv = nullptr)
  {
    setenv("TORVA_FAKE_LOG", (mDir / "log").c_str(), 1);
    if (extraEnv) setenv(extraEnv, "1", 1);
    std::string error;
    ASSERT_TRUE(mHost.Load(Fake(), error)) << error;
    if (extraEnv) unsetenv(extraEnv);
    unsetenv("TORVA_FAKE_LOG");
    mHost.Open();
  }
  std::string Log() { return ReadText(mDir / "log"); }

  TempDir mDir;
  VstHost mHost;
};

TEST_F(Engine, LongPeriodsArriveInPiecesOfTheBlockSize)
{
  Load();
  const struct
  {
    int mBlock, mFrames;
    std::vector<int> mPieces;
  } cases[] = {{64, 200, {64, 64, 64, 8}}, {128, 64, {64}}, {1, 3, {1, 1, 1}}};
  for (const auto& k : cases)
  {
    LiveEngine engine(mHost);
    mHost.Prepare(kRate, k.mBlock);
    engine.Start(kRate, k.mBlock);
    std::vector<float> in0(size_t(k.mFrames)), in1(in0), out0(in0), out1(in0);
    for (int i = 0; i < k.mFrames; ++i) in0[size_t(i)] = float(i), in1[size_t(i)] = float(-i);
    const std::vector<float> keep0 = in0;
    const float* ins[] = {in0.data(), in1.data()};
    float* outs[] = {out0.data(), out1.data()};
    const size_t before = Log().size();
    engine.Process(ins, outs, k.mFrames);
    engine.Stop();
    std::vector<int> pieces;
    for (const std::string& line : Lines(Log().substr(before)))
      if (int n; std::sscanf(line.c_str(), "process float frames=%d", &n) == 1) pieces.push_back(n);
    EXPECT_EQ(pieces, k.mPieces) << "block " << k.mBlock;
    for (int i = 0; i < k.mFrames; ++i)
      ASSERT_TRUE(out0[size_t(i)] == 0.5f * i && out1[size_t(i)] == -0.5f * i) << i;
    EXPECT_EQ(in0, keep0);
  }
}

TEST_F(Engine, ReconfiguresOnlyOnChangeAndSilencesWhenClosed)
{
  Load("TORVA_FAKE_NAN");
  LiveEngine engine(mHost);
  mHost.Prepare(kRate, 64);
  engine.Start(kRate, 64);
  const size_t started = Log().size();
  engine.Reconfigure(kRate, 64); // no change
  engine.Reconfigure(44100, 64);
  engine.Reconfigure(44100, 256);
  EXPECT_EQ(Lifecycle(Log().substr(started)),
            "op 72\nop 12 0\nop 10 44100\nop 11 64\nop 12 1\nop 71\n"
            "op 72\nop 12 0\nop 10 44100\nop 11 256\nop 12 1\nop 71\n");

  std::vector<float> in(64, 0.25f), out0(64, 9.0f), out1(64, 9.0f);
  const float* ins[] = {in.data(), in.data()};
  float* outs[] = {out0.data(), out1.data()};
  engine.Process(ins, outs, 64);
  EXPECT_EQ(out0[0], 0.0f) << "a NaN from the plug-in is silenced";
  EXPECT_EQ(out0[1], 0.125f);
  engine.Stop();
  engine.Process(ins, outs, 64);
  EXPECT_EQ(out0, std::vector<float>(64, 0.0f));
  EXPECT_EQ(engine.Periods(), 1u);
  EXPECT_EQ(engine.SilencedPeriods(), 1u);
}

// The end-to-end port test covers 2 to 2 and the mono fan-out; these are the edges.
TEST(PlayLinks, Spread)
{
  const struct
  {
    int mPorts, mPhysical;
    bool mFanOut;
    std::vector<std::pair<int, int>> mLinks;
  } cases[] = {
      {2, 1, false, {{0, 0}, {1, 0}}},
      {2, 8, false, {{0, 0}, {1, 1}}},
      {1, 2, false, {{0, 0}}},
      {1, 1, true, {{0, 0}}},
      {3, 2, true, {{0, 0}, {1, 1}, {2, 0}}},
      {0, 2, true, {}},
      {2, 0, false, {}},
  };
  for (const auto& k : cases)
    EXPECT_EQ(SpreadLinks(k.mPorts, k.mPhysical, k.mFanOut), k.mLinks)
        << k.mPorts << " ports, " << k.mPhysical << " physical";
}

} // namespace
