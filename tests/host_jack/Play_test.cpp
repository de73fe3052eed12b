// `torva play` against a private JACK server on the dummy backend: its output equals an offline
// render bit for bit, a period change reaches the plug-in as a DAW passes it on without losing
// audio, ports follow the plug-in, and it stops cleanly. The live engine is also tested alone.

#include "support/CliHarness.h"
#include "support/Sanitized.h"
#include "host/jack/JackPlay.h"
#include "host/LiveEngine.h"
#include "host/PluginChain.h"
#include "host/VstHost.h"
#include "x11/XvfbServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

namespace
{
constexpr int kRate = 48000;
using Signal = std::vector<std::vector<float>>; // planar

bool WaitUntil(const std::function<bool()>& done, int ms)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

// `jackd --no-realtime -d dummy` at 48 kHz, 64 frames, 2 in and 2 out, under a name of its own.
struct JackServer
{
  JackServer()
  {
    static int counter = 0;
    mName += std::to_string(counter++);
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    if ((mPid = fork()) == 0)
    {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0), dup2(null, 1), dup2(null, 2);
      execlp("jackd", "jackd", "--no-realtime", "-n", mName.c_str(), "-d", "dummy", "-r", "48000",
             "-p", "64", "--capture", "2", "--playback", "2", nullptr);
      _exit(127);
    }
    // Generous: the sanitizer builds share a busy machine.
    WaitUntil(
        [&]
        {
          if (mPid > 0 && waitpid(mPid, nullptr, WNOHANG) == mPid) mPid = -1;
          jack_client_t* c = mPid > 0 ? Open("probe") : nullptr;
          if (c) jack_client_close(c);
          return mPid < 0 || (mReady = c != nullptr);
        },
        15000);
  }
  ~JackServer()
  {
    if (mPid <= 0) return;
    kill(mPid, SIGTERM);
    if (!WaitUntil([&] { return waitpid(mPid, nullptr, WNOHANG) == mPid; }, 10000))
      kill(mPid, SIGKILL), waitpid(mPid, nullptr, 0);
  }
  std::string Env() const { return "JACK_DEFAULT_SERVER=" + mName; }
  jack_client_t* Open(const std::string& client) const
  {
    const auto options = jack_options_t(JackNoStartServer | JackServerName | JackUseExactName);
    return jack_client_open(client.c_str(), options, nullptr, mName.c_str());
  }

  std::string mName = "torva-test-" + std::to_string(getpid()) + "-";
  pid_t mPid = -1;
  bool mReady = false;
};

// Plays a signal into `client`:in_N and records its out_N. Within a period the graph runs the
// source, the program and the sink in that order, so the sink files what it hears under the
// signal index the source played from in the same period.
struct Probe
{
  Signal mSignal, mRecorded;
  jack_client_t *mSource = nullptr, *mSink = nullptr;
  std::vector<jack_port_t*> mOuts = {}, mIns = {};
  std::atomic<bool> mPlaying = false, mFreewheeling = false;   // silence while not playing
  std::atomic<long> mPeriods = 0, mPlayed = 0, mSourceAt = -1; // -1: silence in this period

  ~Probe() { Close(); }
  // Deactivating joins the clients' threads: what they recorded may be read afterwards.
  void Close()
  {
    for (jack_client_t** c : {&mSource, &mSink})
      if (*c)
      {
        jack_deactivate(*c);
        jack_client_close(*c);
        *c = nullptr;
      }
  }
  void WaitPeriods(long n)
  {
    const long until = mPeriods + n;
    WaitUntil([&] { return mPeriods >= until; }, 20000);
  }
  // Freewheeling, the server runs every client in every period however long they take, so a
  // busy machine cannot make a period late and skip a client as in real time.
  bool Freewheel(bool on)
  {
    if (jack_set_freewheel(mSource, on) != 0) return false;
    const bool changed = WaitUntil([&] { return mFreewheeling == on; }, 20000);
    WaitPeriods(8); // whatever was under way when the mode changed has passed
    return changed;
  }
  bool Connect(const JackServer& server, const std::string& client)
  {
    mSource = server.Open("torva-source");
    mSink = server.Open("torva-sink");
    if (!mSource || !mSink) return false;
    for (size_t c = 1; c <= mSignal.size(); ++c)
    {
      const std::string n = std::to_string(c);
      mOuts.push_back(jack_port_register(mSource, ("play_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsOutput, 0));
      mIns.push_back(jack_port_register(mSink, ("rec_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsInput, 0));
    }
    jack_set_process_callback(
        mSource,
        [](jack_nframes_t frames, void* arg)
        {
          auto* p = static_cast<Probe*>(arg);
          const long from = p->mPlaying ? p->mPlayed.load() : -1;
          for (size_t c = 0; c < p->mOuts.size(); ++c)
          {
            auto* out = static_cast<float*>(jack_port_get_buffer(p->mOuts[c], frames));
            const std::vector<float>& s = p->mSignal[c];
            for (long i = 0; i < long(frames); ++i)
              out[i] = from >= 0 && from + i < long(s.size()) ? s[size_t(from + i)] : 0.0f;
          }
          p->mSourceAt = from;
          if (from >= 0) p->mPlayed = from + long(frames);
          ++p->mPeriods;
          return 0;
        },
        this);
    jack_set_process_callback(
        mSink,
        [](jack_nframes_t frames, void* arg)
        {
          auto* p = static_cast<Probe*>(arg);
          const long from = p->mSourceAt;
          for (size_t c = 0; c < p->mIns.size() && from >= 0; ++c)
          {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(p->mIns[c], frames));
            std::vector<float>& rec = p->mRecorded[c];
            for (long i = 0; i < long(frames) && from + i < long(rec.size()); ++i)
              rec[size_t(from + i)] = in[i];
          }
          return 0;
        },
        this);
    jack_set_freewheel_callback(
        mSource, [](int on, void* arg) { static_cast<Probe*>(arg)->mFreewheeling = on != 0; },
        this);
    bool ok = jack_activate(mSource) == 0 && jack_activate(mSink) == 0;
    for (size_t c = 0; c < mSignal.size() && ok; ++c)
    {
      const std::string n = std::to_string(c + 1);
      ok = jack_connect(mSource, jack_port_name(mOuts[c]), (client + ":in_" + n).c_str()) == 0 &&
           jack_connect(mSource, (client + ":out_" + n).c_str(), jack_port_name(mIns[c])) == 0;
    }
    return ok && Freewheel(true);
  }
};

// What `client` played from `signal`, lined up with it (NaN where nothing came); after each
// further half second the period changes to the next of `periods`. Empty when the rig failed.
Signal PlayThrough(const JackServer& server, const std::string& client, const Signal& signal,
                   const std::vector<int>& periods = {})
{
  Probe probe{.mSignal = signal,
              .mRecorded = Signal(signal.size(), std::vector<float>(signal[0].size(), NAN))};
  if (!probe.Connect(server, client)) return {};
  probe.mPlaying = true;
  for (int size : periods)
  {
    const long at = probe.mPlayed + 24000;
    WaitUntil([&] { return probe.mPlayed >= at; }, 60000);
    // The server changes the period in real time only; the signal holds meanwhile.
    probe.mPlaying = false;
    probe.WaitPeriods(2);
    if (!probe.Freewheel(false) || jack_set_buffer_size(probe.mSource, jack_nframes_t(size)) ||
        !probe.Freewheel(true))
      return {};
    probe.mPlaying = true;
  }
  WaitUntil([&] { return probe.mPlayed >= long(signal[0].size()); }, 60000);
  probe.mPlaying = false;
  probe.Freewheel(false);
  probe.Close();
  return probe.mRecorded;
}

// Every audio port of `client`, one a line: its short name and what it is connected to.
std::string Wiring(jack_client_t* any, const std::string& client)
{
  const auto sorted = [](const char** names)
  {
    std::vector<std::string> v;
    for (int i = 0; names && names[i]; ++i) v.push_back(names[i]);
    jack_free(names);
    std::sort(v.begin(), v.end()); // the server's order follows reused port slots
    return v;
  };
  std::string text;
  for (const std::string& port :
       sorted(jack_get_ports(any, ("^" + client + ":").c_str(), nullptr, 0)))
  {
    text += port.substr(client.size() + 1);
    for (const std::string& peer :
         sorted(jack_port_get_all_connections(any, jack_port_by_name(any, port.c_str()))))
      text += " " + peer;
    text += "\n";
  }
  return text;
}

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
  std::string out, last;
  for (const std::string& line : Lines(log))
  {
    int op = 0;
    if (line.starts_with("process "))
    {
      const size_t at = line.find("frames=");
      const std::string entry = "process " + line.substr(at, line.find(' ', at) - at);
      if (entry != last) out += (last = entry) + "\n";
    }
    else if (std::sscanf(line.c_str(), "op %d", &op) == 1 &&
             (op == 1 || op == 71 || op == 72 || (op >= 10 && op <= 15 && op != 13)))
      out += (last = line.substr(0, line.find(" window"))) + "\n";
  }
  return out;
}

// "channel:sample" where the two first differ in their bits, or "" (NaN: never recorded).
std::string Mismatch(const Signal& got, const Signal& want)
{
  for (size_t c = 0; c < want.size(); ++c)
    for (size_t i = 0; i < want[c].size(); ++i)
      if (got.size() != want.size() || std::memcmp(&got[c][i], &want[c][i], sizeof(float)))
        return std::to_string(c) + ":" + std::to_string(i);
  return "";
}

// A private server, and `torva play` started on it with the fake plug-in logging to Log().
class Play : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (std::system("command -v jackd >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "no jackd installed (scripts/deps installs jackd2)";
    ASSERT_TRUE(mServer.mReady) << "jackd did not come up";
  }

  // Returns the client's name from the start line; "" when it did not start.
  std::string Start(std::vector<std::string> args, std::vector<std::string> env = {},
                    bool terminal = false)
  {
    args.insert(args.begin(), "play");
    env.insert(env.end(), {mServer.Env(), "TORVA_FAKE_LOG=" + Log()});
    mTorva.emplace(args, env, terminal);
    const std::string marker = " as JACK client ";
    std::string err;
    size_t at = std::string::npos;
    WaitUntil(
        [&]
        {
          at = (err = mTorva->ErrSoFar()).find(marker);
          return (at != err.npos && err.find('\n', at) != err.npos) || !mTorva->Running();
        },
        30000);
    if (at == err.npos) return "";
    at += marker.size();
    return err.substr(at, err.find(':', at) - at);
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

// Two plug-ins in a row, each delaying by 16 frames: what comes out is the input quartered, as
// late as the start line says.
TEST_F(Play, ChainRunsThePluginsInTurn)
{
  ASSERT_EQ(Start({Fake(), Fake()}, {"TORVA_FAKE_LATENCY=16"}), "Fake+Fake") << Stop(SIGKILL).mErr;
  EXPECT_TRUE(Contains(mTorva->ErrSoFar(), "64 frames, latency 32 samples (0.7 ms)"))
      << mTorva->ErrSoFar();
  const Audio input = TestSignal(2, kRate, kRate);
  const Signal got = PlayThrough(mServer, "Fake+Fake", Planar(input));
  EXPECT_EQ(Stop().mExit, 0);
  Signal want = Planar(input, 0.25f);
  for (std::vector<float>& channel : want)
  {
    channel.insert(channel.begin(), 32, 0.0f);
    channel.resize(channel.size() - 32);
  }
  EXPECT_EQ(Mismatch(got, want), "");
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

// Ports pair up with the server's two, wrapping beyond them; a mono output fans out to both
// speakers; nothing connects unasked. Either signal stops cleanly, showing the status line only
// on a terminal.
TEST_F(Play, PortsFollowThePluginAndSignalsStopCleanly)
{
  jack_client_t* check = mServer.Open("torva-check");
  ASSERT_NE(check, nullptr);
  const struct
  {
    const char* mIo;
    bool mConnect;
    const char* mWiring;
    int mSignal;
    bool mTerminal;
  } cases[] = {
      {"1-1", true, "in_1 system:capture_1\nout_1 system:playback_1 system:playback_2\n", SIGTERM,
       true},
      {"3-3", true,
       "in_1 system:capture_1\nin_2 system:capture_2\nin_3 system:capture_1\n"
       "out_1 system:playback_1\nout_2 system:playback_2\nout_3 system:playback_1\n",
       SIGINT, false},
      {"1-2", false, "in_1\nout_1\nout_2\n", SIGTERM, false},
  };
  for (const auto& k : cases)
  {
    SCOPED_TRACE(k.mIo);
    std::vector<std::string> args = {Fake()};
    if (k.mConnect) args.push_back("--connect");
    ASSERT_EQ(Start(args, {std::string("TORVA_FAKE_IO=") + k.mIo}, k.mTerminal), "Fake")
        << Stop(SIGKILL).mErr;
    EXPECT_EQ(Wiring(check, "Fake"), k.mWiring);
    const std::string status = "\rFake  48000 Hz  64 frames  DSP ";
    WaitUntil([&] { return Contains(mTorva->ErrSoFar(), status); },
              torva_test::Sanitized() ? 4000 : 1500);
    const RunResult r = Stop(k.mSignal);
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    EXPECT_EQ(Contains(r.mErr, status) && Contains(r.mErr, " %  xruns "), k.mTerminal) << r.mErr;
    const std::string life = Lifecycle(ReadText(Log()));
    EXPECT_TRUE(life.ends_with("process frames=64\nop 72\nop 12 0\nop 1\n")) << life;
  }
  jack_client_close(check);
}

// Each plug-in of the chain has its editor open; playing ends once both windows are closed.
TEST_F(Play, ClosingTheEditorsEndsPlaying)
{
  if (x11test::SharedDisplay().empty()) GTEST_SKIP() << "no Xvfb";
  // The fake editor asks its window to close at its third idle.
  Start({Fake(), Fake(), "--editor"},
        {"DISPLAY=" + x11test::SharedDisplay(), "TORVA_FAKE_EDITOR=close",
         "TORVA_FAKE_FLAGS=" + std::to_string(effFlagsHasEditor | effFlagsCanReplacing)});
  EXPECT_EQ(mTorva->Stop(0, 60).mExit, 0);
  const std::string life = Lifecycle(ReadText(Log()));
  const size_t open = life.rfind("op 14"), close = life.find("op 15 open"),
               closeLast = life.rfind("op 15 open"), stop = life.find("op 72"),
               closed = life.rfind("op 1\n");
  EXPECT_TRUE(open < close && close < closeLast && closeLast < stop && stop < closed) << life;
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
      {{"play", Fake(), "--set", "Nope=1"},
       1,
       "unknown parameter \"Nope\"; valid names: \"Gain\", \"Odd=Name\""},
      {{"play", Fake()},
       1,
       "no JACK server is running (start jackd, or PipeWire with its JACK support)"},
      {{"play", Fake(), "--block", "64"},
       2,
       "play runs at the server's period and in single precision (see torva help)"},
      {{"play", Fake(), "--connect=yes"}, 2, "--connect takes no value"},
  };
  for (const auto& k : cases)
  {
    const RunResult r = RunTorva(k.mArgs, {&k == cases ? mServer.Env() : noServer});
    EXPECT_EQ(r.mExit, k.mExit) << k.mError;
    EXPECT_EQ(r.mErr, "torva: " + k.mError + "\n");
  }
}

// The engine alone, on the fake plug-in making a NaN at the start of every block: long periods
// go over in pieces of the block size, NaNs leave as silence, a reconfiguration happens only on
// a change, and a stopped engine plays silence.
TEST(LiveEngine, SplitsPeriodsSilencesNaNsAndReconfiguresOnChange)
{
  TempDir dir;
  PluginChain chain;
  setenv("TORVA_FAKE_LOG", (dir / "log").c_str(), 1);
  setenv("TORVA_FAKE_NAN", "1", 1);
  std::string error;
  ASSERT_TRUE(chain.Load({Fake()}, kVstProcessLevelRealtime, error)) << error;
  unsetenv("TORVA_FAKE_NAN");
  unsetenv("TORVA_FAKE_LOG");
  ASSERT_TRUE(chain.PlanChannels(2, error)) << error;
  LiveEngine engine(chain);
  chain.Prepare(kRate, 64);
  engine.Start(kRate, 64);
  const struct
  {
    int mRate, mBlock, mFrames;
    const char* mLife;
  } cases[] = {
      {kRate, 64, 200, "process frames=64\nprocess frames=8\n"},
      {44100, 128, 64,
       "op 72\nop 12 0\nop 10 44100\nop 11 128\nop 12 1\nop 71\nprocess frames=64\n"},
      {44100, 1, 3, "op 72\nop 12 0\nop 10 44100\nop 11 1\nop 12 1\nop 71\nprocess frames=1\n"},
  };
  std::vector<float> in0(200), in1(200), out0(200), out1(200);
  const float* ins[] = {in0.data(), in1.data()};
  float* outs[] = {out0.data(), out1.data()};
  for (const auto& k : cases)
  {
    SCOPED_TRACE(k.mFrames);
    for (int i = 0; i < k.mFrames; ++i)
      in0[size_t(i)] = float(i), in1[size_t(i)] = float(-i), out0[size_t(i)] = out1[size_t(i)] = 9;
    const size_t before = ReadText(dir / "log").size();
    engine.Reconfigure(k.mRate, k.mBlock);
    engine.Process(ins, outs, k.mFrames);
    EXPECT_EQ(Lifecycle(ReadText(dir / "log").substr(before)), k.mLife);
    for (int i = 0; i < k.mFrames; ++i)
      ASSERT_TRUE(out0[size_t(i)] == (i % k.mBlock ? 0.5f * i : 0.0f) &&
                  out1[size_t(i)] == -0.5f * i)
          << i;
  }
  engine.Stop();
  engine.Process(ins, outs, 64);
  EXPECT_EQ(std::vector<float>(out0.begin(), out0.begin() + 64), std::vector<float>(64, 0.0f));
  EXPECT_EQ(engine.Periods(), 3u);
  EXPECT_EQ(engine.SilencedPeriods(), 1u);
}

// The connection plan on its own, where the end-to-end rows cannot reach: no ports, no physical
// ports (a division by zero once), more ports than physical ones.
TEST(PlayLinks, Spread)
{
  const struct
  {
    int mPorts, mPhysical;
    bool mFanOut;
    std::vector<std::pair<int, int>> mLinks;
  } cases[] = {
      {2, 8, false, {{0, 0}, {1, 1}}},        {1, 2, false, {{0, 0}}}, {1, 1, true, {{0, 0}}},
      {3, 2, true, {{0, 0}, {1, 1}, {2, 0}}}, {0, 2, true, {}},        {2, 0, false, {}},
  };
  for (const auto& k : cases)
    EXPECT_EQ(SpreadLinks(k.mPorts, k.mPhysical, k.mFanOut), k.mLinks)
        << k.mPorts << " ports, " << k.mPhysical << " physical";
}

} // namespace
