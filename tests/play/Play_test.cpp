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

#include <cmath>
#include <cstring>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

namespace
{
using namespace playtest;

constexpr int kRate = 48000;

std::string Fake()
{
  return BinaryPath("FakeVst.so");
}

std::string Join(const std::vector<std::string>& lines)
{
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

// The fake plug-in's log reduced to rate, size, suspend/resume, start/stop, editor open/close
// and effClose, with each run of process calls as one "process frames=N".
std::string Lifecycle(const std::string& log)
{
  std::vector<std::string> out;
  for (const std::string& line : Lines(log))
  {
    if (line.rfind("process ", 0) == 0)
    {
      const size_t at = line.find("frames=");
      const std::string entry = "process " + line.substr(at, line.find(' ', at) - at);
      if (out.empty() || out.back() != entry) out.push_back(entry);
      continue;
    }
    static const std::regex kKept("op (1|71|72|1[0-2] .*|1[45] .*)");
    if (std::regex_match(line, kKept)) out.push_back(line.substr(0, line.find(" window")));
  }
  return Join(out);
}

void SleepMs(int ms)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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
    for (int waited = 0; waited < 30000 && mTorva->Running(); waited += 10)
    {
      const std::string err = mTorva->ErrSoFar();
      const size_t at = err.find(marker);
      if (at != std::string::npos && err.find('\n', at) != std::string::npos)
        return err.substr(at + marker.size(), err.find(':', at) - at - marker.size());
      SleepMs(10);
    }
    return "";
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
  const auto planar = [](const Audio& a)
  {
    Signal p(size_t(a.mChannels));
    for (size_t i = 0; i < a.mSamples.size(); ++i)
      p[i % size_t(a.mChannels)].push_back(float(a.mSamples[i]));
    return p;
  };

  const std::string client = Start({"--set", "Volume 1=20"});
  ASSERT_FALSE(client.empty()) << Stop(SIGKILL).mErr;
  const Signal got = PlayThrough(mServer, client, planar(input));
  EXPECT_EQ(Stop().mExit, 0);
  EXPECT_EQ(Mismatch(got, planar(ReadAudio(mDir / "out.wav"))), "");
}

TEST_F(Play, PeriodChangesSuspendResizeAndResumeWithoutLosingAudio)
{
  const std::string client = Start({Fake()});
  ASSERT_EQ(client, "Fake") << Stop(SIGKILL).mErr;
  // A ramp, so that a lost, repeated or shifted period shows; `half` is what the fake makes.
  Signal ramp(2, std::vector<float>(size_t(kRate) * 8)), half = ramp;
  for (size_t c = 0; c < 2; ++c)
    for (size_t i = 0; i < ramp[c].size(); ++i)
    {
      ramp[c][i] = float(int((i + c * 1000) % 4096) - 2048) / 2048.0f;
      half[c][i] = ramp[c][i] * 0.5f;
    }
  const int sizes[] = {128, 32};
  const Signal got = PlayThrough(mServer, client, ramp,
                                 [&](Probe& probe)
                                 {
                                   for (int size : sizes)
                                   {
                                     const long at = probe.Played() + kRate / 2;
                                     while (probe.Played() < at) SleepMs(1);
                                     // The server changes the period in real time only.
                                     probe.Pause(true);
                                     EXPECT_TRUE(probe.Freewheel(false));
                                     EXPECT_EQ(jack_set_buffer_size(probe.Client(), size), 0);
                                     EXPECT_TRUE(probe.Freewheel(true));
                                     probe.Pause(false);
                                   }
                                 });
  const RunResult stopped = Stop();
  EXPECT_EQ(stopped.mExit, 0) << stopped.mErr;
  EXPECT_TRUE(Contains(stopped.mErr, "(0 silenced while reconfiguring)")) << stopped.mErr;
  EXPECT_EQ(Mismatch(got, half), "");

  // Each change: stop, suspend, the new size, resume, start; no process call in between.
  std::string want = "op 10 48000\nop 11 64\nop 12 1\nop 71\nprocess frames=64\n";
  for (int size : sizes)
    want += "op 72\nop 12 0\nop 10 48000\nop 11 " + std::to_string(size) +
            "\nop 12 1\nop 71\nprocess frames=" + std::to_string(size) + "\n";
  EXPECT_EQ(Lifecycle(ReadText(Log())), want + "op 72\nop 12 0\nop 1\n");
}

TEST_F(Play, PortsAndConnectionsFollowThePlugin)
{
  jack_client_t* check = mServer.Open("torva-check");
  ASSERT_NE(check, nullptr);
  struct Case
  {
    const char* mIo;
    bool mConnect;
    std::vector<std::vector<std::string>> mIn, mOut; // what each port is connected to
  };
  const std::vector<std::string> none;
  const Case cases[] = {
      {"2-2",
       true,
       {{"system:capture_1"}, {"system:capture_2"}},
       {{"system:playback_1"}, {"system:playback_2"}}},
      {"1-1", true, {{"system:capture_1"}}, {{"system:playback_1", "system:playback_2"}}},
      {"1-2", false, {none}, {none, none}},
  };
  for (const Case& k : cases)
  {
    SCOPED_TRACE(k.mIo);
    std::vector<std::string> args = {Fake()};
    if (k.mConnect) args.push_back("--connect");
    ASSERT_EQ(Start(args, {std::string("TORVA_FAKE_IO=") + k.mIo}), "Fake") << Stop(SIGKILL).mErr;
    for (const auto& [kind, want] : {std::pair{std::string("in_"), k.mIn}, {"out_", k.mOut}})
    {
      EXPECT_EQ(Ports(check, "^Fake:" + kind).size(), want.size());
      for (size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(Connections(check, "Fake:" + kind + std::to_string(i + 1)), want[i]);
    }
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
    for (int waited = 0;
         waited < (torva_test::Sanitized() ? 4000 : 1500) && !Contains(mTorva->ErrSoFar(), status);
         waited += 10)
      SleepMs(10);
    const RunResult r = Stop(sig);
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    EXPECT_TRUE(Contains(r.mErr, " xruns, ")) << r.mErr;
    EXPECT_EQ(Contains(r.mErr, status) && Contains(r.mErr, " %  xruns "), terminal) << r.mErr;
    const std::string life = Lifecycle(ReadText(Log()));
    EXPECT_TRUE(life.ends_with("process frames=64\nop 72\nop 12 0\nop 1\n")) << life;
  }
}

TEST_F(Play, BadSettingsStopBeforePlaying)
{
  const RunResult r = RunTorva({"play", Fake(), "--set", "Nope=1"}, {mServer.Env()});
  EXPECT_EQ(r.mExit, 1);
  EXPECT_TRUE(Contains(r.mErr, "unknown parameter \"Nope\"")) << r.mErr;
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

TEST(PlayRefusal, IsOneLine)
{
  const std::string noServer = "JACK_DEFAULT_SERVER=torva-none-" + std::to_string(getpid());
  struct Case
  {
    std::vector<std::string> mArgs;
    int mExit;
    std::string mError;
  };
  const Case cases[] = {
      {{Fake()}, 1, "no JACK server is running (start jackd, or PipeWire with its JACK support)"},
      {{Fake(), "--block", "64"},
       2,
       "play runs at the server's period and in single precision (see torva help)"},
      {{Fake(), "--connect=yes"}, 2, "--connect takes no value"},
      {{Fake(), Fake()}, 2, "play takes at most one plug-in (see torva help)"},
      {{"/nonexistent/x.so"}, 1, "cannot read /nonexistent/x.so: No such file or directory"},
  };
  for (Case k : cases)
  {
    k.mArgs.insert(k.mArgs.begin(), "play");
    const RunResult r = RunTorva(k.mArgs, {noServer});
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
  std::vector<std::string> Log() { return Lines(ReadText(mDir / "log")); }

  TempDir mDir;
  VstHost mHost;
};

TEST_F(Engine, LongPeriodsArriveInPiecesOfTheBlockSize)
{
  Load();
  struct Case
  {
    int mBlock, mFrames;
    std::vector<int> mPieces;
  };
  const Case cases[] = {{64, 200, {64, 64, 64, 8}}, {128, 64, {64}}, {1, 3, {1, 1, 1}}};
  for (const Case& k : cases)
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
    const std::vector<std::string> log = Log();
    std::vector<int> pieces;
    const std::string prefix = "process float frames=";
    for (const std::string& line : std::vector(log.begin() + long(before), log.end()))
      if (line.starts_with(prefix)) pieces.push_back(std::stoi(line.substr(prefix.size())));
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
  const size_t started = ReadText(mDir / "log").size();
  engine.Reconfigure(kRate, 64); // no change
  engine.Reconfigure(44100, 64);
  engine.Reconfigure(44100, 256);
  EXPECT_EQ(Lifecycle(ReadText(mDir / "log").substr(started)),
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
  using Links = std::vector<std::pair<int, int>>;
  struct Case
  {
    int mPorts, mPhysical;
    bool mFanOut;
    Links mLinks;
  };
  const Case cases[] = {
      {2, 1, false, {{0, 0}, {1, 0}}},
      {2, 8, false, {{0, 0}, {1, 1}}},
      {1, 2, false, {{0, 0}}},
      {1, 1, true, {{0, 0}}},
      {3, 2, true, {{0, 0}, {1, 1}, {2, 0}}},
      {0, 2, true, {}},
      {2, 0, false, {}},
  };
  for (const Case& k : cases)
    EXPECT_EQ(SpreadLinks(k.mPorts, k.mPhysical, k.mFanOut), k.mLinks)
        << k.mPorts << " ports, " << k.mPhysical << " physical";
}

} // namespace
