#include "play/JackRig.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace playtest
{
namespace
{
void Quiet(const char*) {}

void SleepMs(int ms)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

bool HaveJackd()
{
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t at = 0; at <= dirs.size();)
  {
    const size_t end = std::min(dirs.find(':', at), dirs.size());
    if (access((dirs.substr(at, end - at) + "/jackd").c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

JackServer::JackServer(int period, int rate)
{
  static std::atomic<int> counter = 0;
  mName = "torva-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  jack_set_error_function(Quiet);
  jack_set_info_function(Quiet);
  if (!HaveJackd()) return;
  const std::string periodText = std::to_string(period), rateText = std::to_string(rate);
  std::vector<std::string> args = {
      "jackd", "--no-realtime", "-n",        mName, "-d",         "dummy", "-r", rateText,
      "-p",    periodText,      "--capture", "2",   "--playback", "2"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  if (posix_spawnp(&pid, "jackd", &actions, nullptr, argv.data(), environ) == 0) mPid = pid;
  posix_spawn_file_actions_destroy(&actions);
  // Generous: the sanitizer builds share a busy machine.
  for (int waited = 0; mPid > 0 && waited < 15000 && !mReady; waited += 20)
  {
    int status = 0;
    if (waitpid(mPid, &status, WNOHANG) == mPid)
    {
      mPid = -1;
      break;
    }
    if (jack_client_t* c = Open("probe"))
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

std::vector<std::string> Ports(jack_client_t* any, const std::string& pattern)
{
  std::vector<std::string> names;
  const char** ports = jack_get_ports(any, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, 0);
  for (int i = 0; ports && ports[i]; ++i) names.push_back(ports[i]);
  jack_free(ports);
  return names;
}

std::vector<std::string> Connections(jack_client_t* any, const std::string& port)
{
  std::vector<std::string> names;
  jack_port_t* p = jack_port_by_name(any, port.c_str());
  const char** connected = p ? jack_port_get_all_connections(any, p) : nullptr;
  for (int i = 0; connected && connected[i]; ++i) names.push_back(connected[i]);
  jack_free(connected);
  std::sort(names.begin(), names.end());
  return names;
}

Probe::Probe(const JackServer& server, int playChannels, int recordChannels, long maxFrames)
{
  const long maxPeriods = maxFrames / 16 + 1024;
  mSinkPeriods.resize(size_t(maxPeriods));
  mRecorded.assign(size_t(recordChannels), std::vector<float>(size_t(maxFrames), 0.0f));
  mSource = server.Open("torva-source");
  mSink = server.Open("torva-sink");
  if (!Ready()) return;
  for (int c = 0; c < playChannels; ++c)
    mOuts.push_back(jack_port_register(mSource, ("play_" + std::to_string(c + 1)).c_str(),
                                       JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
  for (int c = 0; c < recordChannels; ++c)
    mIns.push_back(jack_port_register(mSink, ("rec_" + std::to_string(c + 1)).c_str(),
                                      JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
  jack_set_process_callback(mSource, OnSource, this);
  jack_set_freewheel_callback(
      mSource, [](int on, void* arg) { static_cast<Probe*>(arg)->mFreewheeling.store(on != 0); },
      this);
  jack_set_process_callback(mSink, OnSink, this);
  jack_activate(mSource);
  jack_activate(mSink);
}

Probe::~Probe()
{
  Close();
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

std::string Probe::PlayPort(int c) const
{
  return "torva-source:play_" + std::to_string(c + 1);
}

std::string Probe::RecordPort(int c) const
{
  return "torva-sink:rec_" + std::to_string(c + 1);
}

void Probe::Play(const std::vector<std::vector<float>>& signal)
{
  mSignal = signal;
  mPlaying.store(true, std::memory_order_release);
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
  mPaused.store(paused, std::memory_order_release);
  WaitPeriods(2);
}

bool Probe::Finished() const
{
  return !mSignal.empty() && Played() >= long(mSignal[0].size());
}

int Probe::OnSource(jack_nframes_t frames, void* arg)
{
  auto* p = static_cast<Probe*>(arg);
  const bool playing =
      p->mPlaying.load(std::memory_order_acquire) && !p->mPaused.load(std::memory_order_acquire);
  const long from = p->mPlayed.load(std::memory_order_relaxed);
  for (size_t c = 0; c < p->mOuts.size(); ++c)
  {
    auto* out = static_cast<float*>(jack_port_get_buffer(p->mOuts[c], frames));
    const std::vector<float>* signal = playing && c < p->mSignal.size() ? &p->mSignal[c] : nullptr;
    for (jack_nframes_t i = 0; i < frames; ++i)
      out[i] = signal && from + long(i) < long(signal->size()) ? (*signal)[size_t(from + i)] : 0.0f;
  }
  p->mSourceAt.store(playing ? from : -1, std::memory_order_release);
  if (playing) p->mPlayed.store(from + long(frames), std::memory_order_release);
  p->mSourcePeriods.fetch_add(1, std::memory_order_release);
  return 0;
}

int Probe::OnSink(jack_nframes_t frames, void* arg)
{
  auto* p = static_cast<Probe*>(arg);
  const long k = p->mSinkCount.load(std::memory_order_relaxed);
  const long at = p->mRecordedFrames.load(std::memory_order_relaxed);
  if (k >= long(p->mSinkPeriods.size()) || p->mRecorded.empty() ||
      at + long(frames) > long(p->mRecorded[0].size()))
    return 0;
  for (size_t c = 0; c < p->mIns.size(); ++c)
  {
    const auto* in = static_cast<const float*>(jack_port_get_buffer(p->mIns[c], frames));
    std::copy(in, in + frames, p->mRecorded[c].begin() + at);
  }
  p->mSinkPeriods[size_t(k)] = {int(frames), at, p->mSourceAt.load(std::memory_order_acquire)};
  p->mRecordedFrames.store(at + long(frames), std::memory_order_release);
  p->mSinkCount.store(k + 1, std::memory_order_release);
  return 0;
}

std::vector<Probe::Period> Probe::Periods() const
{
  const long n = mSinkCount.load(std::memory_order_acquire);
  return std::vector<Period>(mSinkPeriods.begin(), mSinkPeriods.begin() + n);
}

} // namespace playtest
