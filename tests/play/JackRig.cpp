#include "play/JackRig.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

extern char** environ;

namespace playtest
{

bool HaveJackd()
{
  return std::system("command -v jackd >/dev/null 2>&1") == 0;
}

JackServer::JackServer()
{
  static std::atomic<int> counter = 0;
  mName = "torva-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  jack_set_error_function([](const char*) {});
  jack_set_info_function([](const char*) {});
  std::vector<std::string> args = {
      "jackd", "--no-realtime", "-n", mName,        "-d", "dummy", "-r", "48000", "-p",
      "64",    "--capture",     "2",  "--playback", "2"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
  if (posix_spawnp(&mPid, "jackd", &actions, nullptr, argv.data(), environ) != 0) mPid = -1;
  posix_spawn_file_actions_destroy(&actions);
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

JackServer::~JackServer()
{
  if (mPid <= 0) return;
  kill(mPid, SIGTERM);
  if (!WaitUntil([&] { return waitpid(mPid, nullptr, WNOHANG) == mPid; }, 10000))
  {
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
  }
}

jack_client_t* JackServer::Open(const std::string& client) const
{
  jack_status_t status;
  return jack_client_open(client.c_str(),
                          jack_options_t(JackNoStartServer | JackServerName | JackUseExactName),
                          &status, mName.c_str());
}

namespace
{
std::vector<std::string> Sorted(const char** names)
{
  std::vector<std::string> v;
  for (int i = 0; names && names[i]; ++i) v.push_back(names[i]);
  jack_free(names);
  std::sort(v.begin(), v.end());
  return v;
}

// A source client plays the signal into the program and a sink client records what comes out.
// Within a period the graph runs source, program and sink in that order, so the sink files what
// it hears under the signal index the source played from in the same period.
struct Probe
{
  explicit Probe(const Signal& signal)
      : mSignal(signal), mRecorded(signal.size(), std::vector<float>(signal[0].size(), NAN))
  {
  }
  ~Probe() { Close(); }

  bool Connect(const JackServer& server, const std::string& client)
  {
    mSource = server.Open("torva-source");
    mSink = server.Open("torva-sink");
    if (!mSource || !mSink) return false;
    for (size_t c = 1; c <= mSignal.size(); ++c)
    {
      mOuts.push_back(jack_port_register(mSource, ("play_" + std::to_string(c)).c_str(),
                                         JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
      mIns.push_back(jack_port_register(mSink, ("rec_" + std::to_string(c)).c_str(),
                                        JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
    }
    jack_set_process_callback(mSource, OnSource, this);
    jack_set_process_callback(mSink, OnSink, this);
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
    return ok;
  }

  void Close()
  {
    for (jack_client_t** c : {&mSource, &mSink})
      if (*c) jack_deactivate(*c), jack_client_close(*c), *c = nullptr;
  }

  void WaitPeriods(int periods)
  {
    const long until = mPeriods + periods;
    WaitUntil([&] { return mPeriods >= until; }, 20000);
  }

  // Freewheeling, the server runs every client in every period however long they take, so a
  // busy machine cannot make a period late and skip a client as in real time.
  bool Freewheel(bool on)
  {
    if (jack_set_freewheel(mSource, on ? 1 : 0) != 0) return false;
    const bool changed = WaitUntil([&] { return mFreewheeling == on; }, 20000);
    WaitPeriods(8); // whatever was under way when the mode changed has passed
    return changed;
  }

  static int OnSource(jack_nframes_t frames, void* arg)
  {
    auto* p = static_cast<Probe*>(arg);
    const long from = p->mPlaying ? p->mPlayed.load() : -1;
    for (size_t c = 0; c < p->mOuts.size(); ++c)
    {
      auto* out = static_cast<float*>(jack_port_get_buffer(p->mOuts[c], frames));
      const std::vector<float>& signal = p->mSignal[c];
      for (long i = 0; i < long(frames); ++i)
        out[i] = from >= 0 && from + i < long(signal.size()) ? signal[size_t(from + i)] : 0.0f;
    }
    p->mSourceAt = from;
    if (from >= 0) p->mPlayed = from + long(frames);
    ++p->mPeriods;
    return 0;
  }

  static int OnSink(jack_nframes_t frames, void* arg)
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
  }

  jack_client_t* mSource = nullptr;
  jack_client_t* mSink = nullptr;
  std::vector<jack_port_t*> mOuts, mIns;
  Signal mSignal, mRecorded;
  std::atomic<bool> mPlaying = false, mFreewheeling = false; // silence while not playing
  std::atomic<long> mPeriods = 0, mPlayed = 0;
  std::atomic<long> mSourceAt = -1; // signal index played from in this period; -1 for silence
};
} // namespace

std::string Wiring(jack_client_t* any, const std::string& client)
{
  std::string text;
  for (const std::string& port :
       Sorted(jack_get_ports(any, ("^" + client + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE, 0)))
  {
    text += port.substr(client.size() + 1);
    for (const std::string& peer :
         Sorted(jack_port_get_all_connections(any, jack_port_by_name(any, port.c_str()))))
      text += " " + peer;
    text += "\n";
  }
  return text;
}

Signal PlayThrough(const JackServer& server, const std::string& client, const Signal& signal,
                   const std::vector<int>& periods)
{
  Probe probe(signal);
  if (!probe.Connect(server, client) || !probe.Freewheel(true)) return {};
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
  probe.Freewheel(false);
  probe.Close();
  return probe.mRecorded;
}

} // namespace playtest
