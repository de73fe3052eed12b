// `torva play` as a guitarist runs it, against a private JACK server on the dummy backend: what
// comes out equals an offline render bit for bit, a period change reaches the plug-in as a DAW
// passes it on without losing audio, ports and connections follow the plug-in, and it stops
// cleanly. The live engine and the connection plan are also tested on their own.

#include "play/JackRig.h"
#include "support/CliHarness.h"
#include "support/Sanitized.h"
#include "tools/JackPlay.h"
#include "tools/LiveEngine.h"
#include "tools/VstHost.h"
#include "x11/XvfbServer.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

std::vector<std::string> Lines(const std::string& text)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The fake plug-in's log reduced to the lifecycle: the rate, size, suspend/resume and
// start/stop requests and effClose, with each run of process calls as one "process frames=N".
std::vector<std::string> Lifecycle(const std::string& log)
{
  std::vector<std::string> out;
  for (const std::string& line : Lines(log))
  {
    if (line.rfind("process ", 0) == 0)
    {
      const size_t at = line.find("frames=");
      std::string entry = "process " + line.substr(at, line.find(' ', at) - at);
      if (line.find("OVERFLOW") != std::string::npos) entry += " OVERFLOW";
      if (out.empty() || out.back() != entry) out.push_back(entry);
      continue;
    }
    // Prefixes end in a space; the others are whole lines.
    for (const std::string op :
         {"op 1", "op 10 ", "op 11 ", "op 12 ", "op 71", "op 72", "op 14 ", "op 15 "})
      if (line == op || (op.back() == ' ' && line.rfind(op, 0) == 0))
      {
        out.push_back(line.substr(0, line.find(" window")));
        break;
      }
  }
  return out;
}

std::string Join(const std::vector<std::string>& lines)
{
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

void SleepMs(int ms)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits for the program's start line and returns its client's name ("" on failure).
std::string WaitUntilPlaying(TorvaProcess& torva, int ms = 30000)
{
  for (int waited = 0; waited < ms && torva.Running(); waited += 10)
  {
    const std::string err = torva.ErrSoFar();
    const size_t at = err.find(" as JACK client ");
    if (at != std::string::npos && err.find('\n', at) != std::string::npos)
    {
      const size_t from = at + std::strlen(" as JACK client ");
      return err.substr(from, err.find(':', from) - from);
    }
    SleepMs(10);
  }
  return "";
}

#define REQUIRE_SERVER(server)                                                                     \
  if (!HaveJackd()) GTEST_SKIP() << "no jackd installed (scripts/deps installs jackd2)";           \
  ASSERT_TRUE((server).Ready()) << "jackd did not come up"

// Plays `signal` through the running program and returns what came out, lined up with it.
std::vector<std::vector<float>> PlayThrough(const JackServer& server, const std::string& client,
                                            const std::vector<std::vector<float>>& signal,
                                            const std::function<void(Probe&)>& whilePlaying = {})
{
  const long frames = long(signal[0].size());
  const int channels = int(signal.size());
  Probe probe(server, channels, channels, frames + 10 * kRate);
  EXPECT_TRUE(probe.Ready());
  if (!probe.Ready()) return {};
  for (int c = 0; c < channels; ++c)
  {
    const std::string n = std::to_string(c + 1);
    EXPECT_EQ(
        jack_connect(probe.Client(), probe.PlayPort(c).c_str(), (client + ":in_" + n).c_str()), 0);
    EXPECT_EQ(
        jack_connect(probe.Client(), (client + ":out_" + n).c_str(), probe.RecordPort(c).c_str()),
        0);
  }
  EXPECT_TRUE(probe.Freewheel(true));
  probe.Play(signal);
  if (whilePlaying) whilePlaying(probe);
  for (int waited = 0; !probe.Finished() && waited < 60000; waited += 10) SleepMs(10);
  EXPECT_TRUE(probe.Finished());
  probe.Freewheel(false);
  probe.Close();

  std::vector<std::vector<float>> out(size_t(channels), std::vector<float>(size_t(frames), NAN));
  for (const Probe::Period& p : probe.Periods())
  {
    const long from = p.mSignal;
    if (from < 0) continue;
    for (int c = 0; c < channels; ++c)
      for (long i = 0; i < p.mFrames && from + i < frames; ++i)
        out[size_t(c)][size_t(from + i)] = probe.Recorded(c)[size_t(p.mFirst + i)];
  }
  return out;
}

// Where the two first differ in their bits, or "" when they do not (NaN marks a sample that
// was never recorded).
std::string Mismatch(const std::vector<float>& got, const std::vector<float>& want)
{
  for (size_t i = 0; i < want.size(); ++i)
    if (i >= got.size() || std::memcmp(&got[i], &want[i], sizeof(float)) != 0)
    {
      const auto missing =
          std::count_if(got.begin(), got.end(), [](float v) { return std::isnan(v); });
      return "sample " + std::to_string(i) + ": " +
             (i < got.size() ? std::to_string(got[i]) : "-") + " played, " +
             std::to_string(want[i]) + " expected; " + std::to_string(missing) +
             " samples never recorded";
    }
  return "";
}

std::vector<std::vector<float>> Planar(const Audio& a)
{
  std::vector<std::vector<float>> p(size_t(a.mChannels));
  for (long i = 0; i < a.Frames(); ++i)
    for (int c = 0; c < a.mChannels; ++c)
      p[size_t(c)].push_back(float(a.mSamples[size_t(i * a.mChannels + c)]));
  return p;
}

TEST(Play, OutputEqualsTheOfflineRenderBitForBit)
{
  JackServer server(64, kRate);
  REQUIRE_SERVER(server);
  TempDir dir;
  const Audio input = TestSignal(2, kRate, kRate * 3 / 2);
  WriteAudio(dir / "in.wav", input);
  const RunResult render = RunTorva({"render", "--precision", "float", "--block", "64",
                                     dir / "in.wav", dir / "out.wav", "--set", "Volume 1=20"});
  ASSERT_EQ(render.mExit, 0) << render.mErr;
  const std::vector<std::vector<float>> want = Planar(ReadAudio(dir / "out.wav"));

  TorvaProcess torva({"play", "--set", "Volume 1=20"}, {server.Env()});
  const std::string client = WaitUntilPlaying(torva);
  ASSERT_FALSE(client.empty()) << torva.Stop(SIGKILL).mErr;
  const auto got = PlayThrough(server, client, Planar(input));
  const RunResult stopped = torva.Stop(SIGTERM);
  EXPECT_EQ(stopped.mExit, 0) << stopped.mErr;
  ASSERT_EQ(got.size(), want.size());
  for (size_t c = 0; c < want.size(); ++c) EXPECT_EQ(Mismatch(got[c], want[c]), "") << c;
}

TEST(Play, PeriodChangesSuspendResizeAndResumeWithoutLosingAudio)
{
  JackServer server(64, kRate);
  REQUIRE_SERVER(server);
  TempDir dir;
  const std::string log = dir / "log";
  TorvaProcess torva({"play", Fake()}, {server.Env(), "TORVA_FAKE_LOG=" + log});
  const std::string client = WaitUntilPlaying(torva);
  ASSERT_EQ(client, "Fake") << torva.Stop(SIGKILL).mErr;

  // A ramp, so that a lost, repeated or shifted period shows.
  std::vector<std::vector<float>> ramp(2, std::vector<float>(size_t(kRate) * 8));
  for (size_t i = 0; i < ramp[0].size(); ++i)
    for (size_t c = 0; c < 2; ++c) ramp[c][i] = float(int((i + c * 1000) % 4096) - 2048) / 2048.0f;
  const int sizes[] = {128, 32};
  const auto got = PlayThrough(server, client, ramp,
                               [&](Probe& probe)
                               {
                                 long at = kRate / 2;
                                 for (int size : sizes)
                                 {
                                   while (probe.Played() < at) SleepMs(1);
                                   EXPECT_FALSE(probe.Finished());
                                   // The server changes the period in real time only.
                                   probe.Pause(true);
                                   EXPECT_TRUE(probe.Freewheel(false));
                                   EXPECT_EQ(jack_set_buffer_size(probe.Client(), size), 0);
                                   EXPECT_TRUE(probe.Freewheel(true));
                                   probe.Pause(false);
                                   at = probe.Played() + kRate / 2;
                                 }
                               });
  const RunResult stopped = torva.Stop(SIGTERM);
  EXPECT_EQ(stopped.mExit, 0) << stopped.mErr;
  EXPECT_TRUE(Contains(stopped.mErr, "(0 silenced while reconfiguring)")) << stopped.mErr;
  for (size_t c = 0; c < 2; ++c)
  {
    std::vector<float> half(ramp[c]);
    for (float& v : half) v *= 0.5f; // the fake plug-in's gain
    EXPECT_EQ(Mismatch(got[c], half), "") << c;
  }

  // Each change: stop, suspend, the new size, resume, start; no process call in between.
  const std::vector<std::string> change = {"op 72", "op 12 0", "op 10 48000", "op 11 "};
  const std::vector<std::string> resume = {"op 12 1", "op 71"};
  std::vector<std::string> want = {"op 10 48000", "op 11 64", "op 12 1", "op 71",
                                   "process frames=64"};
  for (int size : sizes)
  {
    want.insert(want.end(), change.begin(), change.end());
    want.back() += std::to_string(size);
    want.insert(want.end(), resume.begin(), resume.end());
    want.push_back("process frames=" + std::to_string(size));
  }
  want.insert(want.end(), {"op 72", "op 12 0", "op 1"});
  EXPECT_EQ(Join(Lifecycle(ReadText(log))), Join(want));
}

TEST(Play, PortsAndConnectionsFollowThePlugin)
{
  JackServer server(64, kRate);
  REQUIRE_SERVER(server);
  jack_client_t* probe = server.Open("torva-check");
  ASSERT_NE(probe, nullptr);
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
    SCOPED_TRACE(std::string(k.mIo) + (k.mConnect ? " --connect" : ""));
    std::vector<std::string> args = {"play", Fake()};
    if (k.mConnect) args.push_back("--connect");
    TorvaProcess torva(args, {server.Env(), std::string("TORVA_FAKE_IO=") + k.mIo});
    ASSERT_EQ(WaitUntilPlaying(torva), "Fake") << torva.Stop(SIGKILL).mErr;
    EXPECT_EQ(Ports(probe, "^Fake:in_").size(), k.mIn.size());
    EXPECT_EQ(Ports(probe, "^Fake:out_").size(), k.mOut.size());
    for (size_t i = 0; i < k.mIn.size(); ++i)
      EXPECT_EQ(Connections(probe, "Fake:in_" + std::to_string(i + 1)), k.mIn[i]);
    for (size_t i = 0; i < k.mOut.size(); ++i)
      EXPECT_EQ(Connections(probe, "Fake:out_" + std::to_string(i + 1)), k.mOut[i]);
    EXPECT_EQ(torva.Stop(SIGTERM).mExit, 0);
  }
  jack_client_close(probe);
}

TEST(Play, CtrlCAndTermStopCleanly)
{
  JackServer server(64, kRate);
  REQUIRE_SERVER(server);
  for (int sig : {SIGINT, SIGTERM})
  {
    SCOPED_TRACE(strsignal(sig));
    TempDir dir;
    TorvaProcess torva({"play", Fake()}, {server.Env(), "TORVA_FAKE_LOG=" + (dir / "log")});
    ASSERT_EQ(WaitUntilPlaying(torva), "Fake");
    SleepMs(200);
    const RunResult r = torva.Stop(sig);
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    EXPECT_TRUE(Contains(r.mErr, " xruns, ")) << r.mErr;
    EXPECT_FALSE(Contains(r.mErr, "\r")) << "the status line is for terminals only";
    const std::vector<std::string> life = Lifecycle(ReadText(dir / "log"));
    ASSERT_GE(life.size(), 4u);
    EXPECT_EQ(Join({life.end() - 4, life.end()}),
              Join({"process frames=64", "op 72", "op 12 0", "op 1"}));
  }
}

TEST(Play, StatusLineOnATerminal)
{
  JackServer server(64, kRate);
  REQUIRE_SERVER(server);
  TorvaProcess torva({"play", Fake()}, {server.Env()}, true);
  SleepMs(torva_test::Sanitized() ? 4000 : 1500);
  const RunResult r = torva.Stop(SIGTERM);
  EXPECT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mErr, "\rFake  48000 Hz  64 frames  DSP ")) << r.mErr;
  EXPECT_TRUE(Contains(r.mErr, " %  xruns ")) << r.mErr;
}

TEST(Play, RefusalsAreOneLine)
{
  const std::string noServer = "JACK_DEFAULT_SERVER=torva-none-" + std::to_string(getpid());
  struct Case
  {
    std::vector<std::string> mArgs;
    int mExit;
    std::string mError;
  };
  const Case cases[] = {
      {{"play", Fake()},
       1,
       "no JACK server is running (start jackd, or PipeWire with its JACK support)"},
      {{"play", Fake(), "--block", "64"},
       2,
       "play runs at the server's period and in single precision (see torva help)"},
      {{"play", Fake(), "--connect=yes"}, 2, "--connect takes no value"},
      {{"play", Fake(), Fake()}, 2, "play takes at most one plug-in (see torva help)"},
      {{"play", "/nonexistent/x.so"},
       1,
       "cannot read /nonexistent/x.so: No such file or directory"},
  };
  for (const Case& k : cases)
  {
    const RunResult r = RunTorva(k.mArgs, {noServer});
    EXPECT_EQ(r.mExit, k.mExit) << k.mError;
    EXPECT_EQ(r.mErr, "torva: " + k.mError + "\n");
  }
}

TEST(Play, BadSettingsStopBeforePlaying)
{
  JackServer server(64, kRate);
  REQUIRE_SERVER(server);
  const RunResult r = RunTorva({"play", Fake(), "--set", "Nope=1"}, {server.Env()});
  EXPECT_EQ(r.mExit, 1);
  EXPECT_TRUE(Contains(r.mErr, "unknown parameter \"Nope\"")) << r.mErr;
}

TEST(Play, ClosingTheEditorEndsPlaying)
{
  if (x11test::SharedDisplay().empty()) GTEST_SKIP() << "no Xvfb";
  JackServer server(64, kRate);
  REQUIRE_SERVER(server);
  TempDir dir;
  const std::string flags = std::to_string(effFlagsHasEditor | effFlagsCanReplacing);
  // The fake editor asks its window to close at its third idle.
  TorvaProcess torva({"play", Fake(), "--editor"},
                     {server.Env(), "DISPLAY=" + x11test::SharedDisplay(),
                      "TORVA_FAKE_FLAGS=" + flags, "TORVA_FAKE_EDITOR=close",
                      "TORVA_FAKE_LOG=" + (dir / "log")});
  const RunResult r = torva.Stop(0, 60);
  EXPECT_EQ(r.mExit, 0) << r.mErr;
  const std::string life = Join(Lifecycle(ReadText(dir / "log")));
  const size_t open = life.find("op 14"), close = life.find("op 15 open"),
               stop = life.find("op 72"), closed = life.rfind("op 1\n");
  EXPECT_TRUE(open < close && close < stop && stop < closed) << life;
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
  std::vector<std::string> Log() { return Lifecycle(ReadText(mDir / "log")); }

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
    std::vector<float> in0(size_t(k.mFrames)), in1(size_t(k.mFrames)), out0(in0), out1(in0);
    for (int i = 0; i < k.mFrames; ++i) in0[size_t(i)] = float(i), in1[size_t(i)] = float(-i);
    const std::vector<float> keep0 = in0;
    const float* ins[] = {in0.data(), in1.data()};
    float* outs[] = {out0.data(), out1.data()};
    const size_t before = Lines(ReadText(mDir / "log")).size();
    engine.Process(ins, outs, k.mFrames);
    engine.Stop();
    std::vector<int> pieces;
    const std::vector<std::string> lines = Lines(ReadText(mDir / "log"));
    for (size_t i = before; i < lines.size(); ++i)
      if (lines[i].rfind("process float frames=", 0) == 0)
        pieces.push_back(std::stoi(lines[i].substr(std::strlen("process float frames="))));
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
  engine.Reconfigure(kRate, 64);
  EXPECT_EQ(Log().size(), started) << "nothing changed";
  engine.Reconfigure(44100, 64);
  engine.Reconfigure(44100, 256);
  const std::vector<std::string> log = Log();
  EXPECT_EQ(Join({log.begin() + long(started), log.end()}),
            Join({"op 72", "op 12 0", "op 10 44100", "op 11 64", "op 12 1", "op 71", "op 72",
                  "op 12 0", "op 10 44100", "op 11 256", "op 12 1", "op 71"}));
  EXPECT_EQ(engine.Reconfigurations(), 2);

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

TEST(Play, SpreadLinks)
{
  using Links = std::vector<std::pair<int, int>>;
  struct Case
  {
    int mPorts, mPhysical;
    bool mFanOut;
    Links mLinks;
  };
  const Case cases[] = {
      {2, 2, false, {{0, 0}, {1, 1}}},
      {2, 1, false, {{0, 0}, {1, 0}}},
      {2, 8, false, {{0, 0}, {1, 1}}},
      {1, 2, false, {{0, 0}}},
      {1, 2, true, {{0, 0}, {0, 1}}},
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
