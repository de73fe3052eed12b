#include "play/JackRig.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace playtest
{
namespace
{
void SleepMs(int ms)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

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
  pid_t pid;
  if (posix_spawnp(&pid, "jackd", &actions, nullptr, argv.data(), environ) == 0) mPid = pid;
  posix_spawn_file_actions_destroy(&actions);
  // Generous: the sanitizer builds share a busy machine.
  for (int waited = 0; mPid > 0 && waited < 15000 && !mReady; waited += 20)
  {
    int status = 0;
    if (waitpid(mPid, &status, WNOHANG) == mPid)
      mPid = -1;
    else if (jack_client_t* c = Open("probe"))
    {
      jack_client_close(c);
      mReady = true;
    }
    else
      SleepMs(20);
  }
}

JackServer::~JackServer()
{
  if (mPid <= 0) return;
  kill(mPid, SIGTERM);
  int status = 0;
  for (int waited = 0; waitpid(mPid, &status, WNOHANG) != mPid; waited += 10)
  {
    if (waited == 10000) kill(mPid, SIGKILL);
    SleepMs(10);
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
std::vector<std::string> Names(const char** names)
{
  std::vector<std::string> v;
  for (int i = 0; names && names[i]; ++i) v.push_back(names[i]);
  jack_free(names);
  std::sort(v.begin(), v.end());
  return v;
}
} // namespace

std::vector<std::string> Ports(jack_client_t* any, const std::string& pattern)
{
  return Names(jack_get_ports(any, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, 0));
}

std::vector<std::string> Connections(jack_client_t* any, const std::string& port)
{
  jack_port_t* p = jack_port_by_name(any, port.c_str());
  return Names(p ? jack_port_get_all_connections(any, p) : nullptr);
}

Probe::Probe(const JackServer& server, const std::string& client, const Signal& signal)
    : mSignal(signal), mRecorded(signal.size(), std::vector<float>(signal[0].size(), NAN))
{
  mSource = server.Open("torva-source");
  mSink = server.Open("torva-sink");
  if (!mSource || !mSink) return;
  for (size_t c = 0; c < signal.size(); ++c)
  {
    const std::string n = std::to_string(c + 1);
    mOuts.push_back(jack_port_register(mSource, ("play_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                       JackPortIsOutput, 0));
    mIns.push_back(jack_port_register(mSink, ("rec_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                      JackPortIsInput, 0));
  }
  jack_set_process_callback(mSource, OnSource, this);
  jack_set_freewheel_callback(
      mSource, [](int on, void* arg) { static_cast<Probe*>(arg)->mFreewheeling.store(on != 0); },
      this);
  jack_set_process_callback(mSink, OnSink, this);
  mReady = jack_activate(mSource) == 0 && jack_activate(mSink) == 0;
  for (size_t c = 0; c < signal.size(); ++c)
  {
    const std::string n = std::to_string(c + 1);
    mReady =
        mReady &&
        jack_connect(mSource, ("torva-source:play_" + n).c_str(), (client + ":in_" + n).c_str()) ==
            0 &&
        jack_connect(mSource, (client + ":out_" + n).c_str(), ("torva-sink:rec_" + n).c_str()) == 0;
  }
}

void Probe::Close()
{
  for (jack_client_t** c : {&mSource, &mSink})
    if (*c)
    {
      jack_deactivate(*c);
      jack_client_close(*c);
      *c = nullptr;
    }
}

void Probe::WaitPeriods(int periods)
{
  const long until = mSourcePeriods.load() + periods;
  for (int waited = 0; mSourcePeriods.load() < until && waited < 20000; ++waited) SleepMs(1);
}

bool Probe::Freewheel(bool on)
{
  if (jack_set_freewheel(mSource, on ? 1 : 0) != 0) return false;
  for (int waited = 0; mFreewheeling.load() != on && waited < 20000; ++waited) SleepMs(1);
  WaitPeriods(8); // whatever was under way when the mode changed has passed
  return mFreewheeling.load() == on;
}

void Probe::Pause(bool paused)
{
  mPaused.store(paused);
  WaitPeriods(2);
}

int Probe::OnSource(jack_nframes_t frames, void* arg)
{
  auto* p = static_cast<Probe*>(arg);
  const bool playing = p->mPlaying.load() && !p->mPaused.load();
  const long from = p->mPlayed.load();
  for (size_t c = 0; c < p->mOuts.size(); ++c)
  {
    auto* out = static_cast<float*>(jack_port_get_buffer(p->mOuts[c], frames));
    const std::vector<float>& signal = p->mSignal[c];
    for (long i = 0; i < long(frames); ++i)
      out[i] = playing && from + i < long(signal.size()) ? signal[size_t(from + i)] : 0.0f;
  }
  p->mSourceAt.store(playing ? from : -1);
  if (playing) p->mPlayed.store(from + long(frames));
  p->mSourcePeriods.fetch_add(1);
  return 0;
}

int Probe::OnSink(jack_nframes_t frames, void* arg)
{
  auto* p = static_cast<Probe*>(arg);
  const long from = p->mSourceAt.load();
  for (size_t c = 0; c < p->mIns.size() && from >= 0; ++c)
  {
    const auto* in = static_cast<const float*>(jack_port_get_buffer(p->mIns[c], frames));
    std::vector<float>& rec = p->mRecorded[c];
    for (long i = 0; i < long(frames) && from + i < long(rec.size()); ++i)
      rec[size_t(from + i)] = in[i];
  }
  return 0;
}

Signal PlayThrough(const JackServer& server, const std::string& client, const Signal& signal,
                   const std::function<void(Probe&)>& whilePlaying)
{
  Probe probe(server, client, signal);
  if (!probe.Ready() || !probe.Freewheel(true)) return {};
  probe.Play();
  if (whilePlaying) whilePlaying(probe);
  for (int waited = 0; !probe.Finished() && waited < 60000; waited += 10) SleepMs(10);
  probe.Freewheel(false);
  probe.Close();
  return probe.Recorded();
}

} // namespace playtest
