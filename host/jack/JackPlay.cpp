#include "host/jack/JackPlay.h"

#include "host/ChainSettings.h"
#include "host/EditorWindow.h"
#include "host/LiveEngine.h"
#include "host/PluginChain.h"
#include "host/StopSignals.h"
#include "host/TextFormat.h"
#include "host/VstHost.h"

#include <jack/jack.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;
constexpr auto kStatusInterval = std::chrono::milliseconds(500);

// JACK reports its own failures on stderr in several lines; ours is one.
void Quiet(const char*) {}

struct ClientCloser
{
  void operator()(jack_client_t* client) const { jack_client_close(client); }
};
using ClientPtr = std::unique_ptr<jack_client_t, ClientCloser>;

// A client name JACK takes: the plug-ins' names ("TORVA+TORVA Cab"), no ':' (it separates
// client and port) and within its length limit.
std::string ClientName(const PluginChain& chain)
{
  std::string name;
  for (size_t i = 0; i < chain.Size(); ++i) name += (i ? "+" : "") + chain.Name(i);
  std::replace(name.begin(), name.end(), ':', '-');
  const size_t limit = size_t(jack_client_name_size()) - 4; // room for JACK's "-01"
  if (name.size() > limit) name.resize(limit);
  return name.empty() ? "torva" : name;
}

struct Session
{
  explicit Session(PluginChain& chain) : mEngine(chain) {}

  LiveEngine mEngine;
  jack_client_t* mClient = nullptr;
  std::vector<jack_port_t*> mInputs, mOutputs;
  std::atomic<uint64_t> mXruns = 0;
  std::atomic<bool> mServerGone = false;

  static int OnProcess(jack_nframes_t frames, void* arg)
  {
    auto* s = static_cast<Session*>(arg);
    const float* in[LiveEngine::kMaxChannels];
    float* out[LiveEngine::kMaxChannels];
    for (size_t c = 0; c < s->mInputs.size(); ++c)
      in[c] = static_cast<const float*>(jack_port_get_buffer(s->mInputs[c], frames));
    for (size_t c = 0; c < s->mOutputs.size(); ++c)
      out[c] = static_cast<float*>(jack_port_get_buffer(s->mOutputs[c], frames));
    s->mEngine.Process(in, out, int(frames));
    return 0;
  }
  static int OnBufferSize(jack_nframes_t frames, void* arg)
  {
    auto* s = static_cast<Session*>(arg);
    s->mEngine.Reconfigure(s->mEngine.SampleRate(), int(frames));
    return 0;
  }
  static int OnSampleRate(jack_nframes_t rate, void* arg)
  {
    auto* s = static_cast<Session*>(arg);
    s->mEngine.Reconfigure(double(rate), s->mEngine.BlockSize());
    return 0;
  }
  static int OnXrun(void* arg)
  {
    static_cast<Session*>(arg)->mXruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  static void OnShutdown(void* arg)
  {
    static_cast<Session*>(arg)->mServerGone.store(true);
    kill(getpid(), SIGTERM); // ends the loop that runs: the editor's or the waiting one
  }
};

// The DSP load sampled every half second, and the status line on a terminal.
class StatusLine
{
public:
  StatusLine(Session& session, const std::string& name)
      : mSession(session), mName(name), mTerminal(isatty(STDERR_FILENO) == 1),
        mThread([this] { Run(); })
  {
  }
  ~StatusLine() { Finish(); }

  void Finish()
  {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      if (mDone) return;
      mDone = true;
    }
    mWake.notify_all();
    mThread.join();
    if (mShown) std::fprintf(stderr, "\n");
  }
  double AverageLoad() const { return mSamples ? mLoadSum / mSamples : 0.0; }
  double PeakLoad() const { return mLoadPeak; }

private:
  void Run()
  {
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mWake.wait_for(lock, kStatusInterval, [this] { return mDone; }))
    {
      const double load = jack_cpu_load(mSession.mClient);
      if (mSession.mEngine.Periods() == 0) continue; // not running yet
      mLoadSum += load;
      mLoadPeak = std::max(mLoadPeak, load);
      ++mSamples;
      if (!mTerminal) continue;
      const std::string line = mName + "  " + FormatFixed(mSession.mEngine.SampleRate(), 0) +
                               " Hz  " + std::to_string(mSession.mEngine.BlockSize()) +
                               " frames  DSP " + FormatFixed(load, 1) + " %  xruns " +
                               std::to_string(mSession.mXruns.load());
      std::fprintf(stderr, "\r%-*s", int(std::max(line.size(), mWidth)), line.c_str());
      std::fflush(stderr);
      mWidth = line.size();
      mShown = true;
    }
  }

  Session& mSession;
  const std::string mName;
  const bool mTerminal;
  std::mutex mMutex;
  std::condition_variable mWake;
  bool mDone = false;
  bool mShown = false;
  size_t mWidth = 0;
  double mLoadSum = 0.0, mLoadPeak = 0.0;
  long mSamples = 0;
  std::thread mThread; // last: starts once everything above exists
};

bool RegisterPorts(Session& s, int count, bool input, std::string& error)
{
  for (int c = 0; c < count; ++c)
  {
    const std::string name = (input ? "in_" : "out_") + std::to_string(c + 1);
    jack_port_t* port = jack_port_register(s.mClient, name.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                           input ? JackPortIsInput : JackPortIsOutput, 0);
    if (!port)
    {
      error = "JACK refused the port " + name;
      return false;
    }
    (input ? s.mInputs : s.mOutputs).push_back(port);
  }
  return true;
}

void ConnectPhysical(Session& s)
{
  auto link = [&](const std::vector<jack_port_t*>& ours, unsigned long flags, bool capture)
  {
    const char** physical =
        jack_get_ports(s.mClient, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | flags);
    int count = 0;
    while (physical && physical[count]) ++count;
    if (count == 0 && !ours.empty())
      std::fprintf(stderr, "torva: warning: the server has no physical %s ports\n",
                   capture ? "capture" : "playback");
    for (const auto& [port, phys] : SpreadLinks(int(ours.size()), count, !capture))
    {
      const char* mine = jack_port_name(ours[size_t(port)]);
      const char* from = capture ? physical[phys] : mine;
      const char* to = capture ? mine : physical[phys];
      if (jack_connect(s.mClient, from, to) != 0)
        std::fprintf(stderr, "torva: warning: cannot connect %s to %s\n", from, to);
    }
    jack_free(physical);
  };
  link(s.mInputs, JackPortIsOutput, true);
  link(s.mOutputs, JackPortIsInput, false);
}

double Milliseconds(Clock::duration d)
{
  return std::chrono::duration<double, std::milli>(d).count();
}
} // namespace

std::vector<std::pair<int, int>> SpreadLinks(int ports, int physical, bool fanOut)
{
  std::vector<std::pair<int, int>> links;
  if (ports <= 0 || physical <= 0) return links;
  for (int p = 0; p < ports; ++p) links.emplace_back(p, p % physical);
  if (fanOut && ports == 1 && physical >= 2) links.emplace_back(0, 1);
  return links;
}

bool Play(const PlayOptions& options, Clock::time_point started, std::string& error, bool& usage)
{
  PluginChain chain;
  if (!chain.Load(options.mPluginPaths, kVstProcessLevelRealtime, error)) return false;
  const int inputs = chain.Inputs(), outputs = chain.Outputs();
  if (outputs < 1 || inputs < 0 || inputs > LiveEngine::kMaxChannels ||
      outputs > LiveEngine::kMaxChannels)
  {
    error = (chain.Size() == 1 ? "the plug-in has " : "the chain has ") + std::to_string(inputs) +
            " inputs and " + std::to_string(outputs) + " outputs; torva plays 0 to " +
            std::to_string(LiveEngine::kMaxChannels) + " inputs into 1 to " +
            std::to_string(LiveEngine::kMaxChannels) + " outputs";
    return false;
  }
  for (size_t i = 0; i < chain.Size(); ++i)
    if (!chain.Plugin(i).CanReplace() && !chain.Plugin(i).Effect()->process)
    {
      error = chain.Who(i) + " offers no single-precision process callback";
      return false;
    }
  if (!chain.PlanChannels(inputs, error)) return false;

  jack_set_error_function(Quiet);
  jack_set_info_function(Quiet);
  const std::string name = ClientName(chain);
  jack_status_t status = {};
  ClientPtr client(jack_client_open(name.c_str(), JackNoStartServer, &status));
  if (!client)
  {
    error = (status & JackServerFailed) || (status & JackServerError)
                ? "no JACK server is running (start jackd, or PipeWire with its JACK support)"
                : "the JACK server refused the client " + name;
    return false;
  }
  Session session(chain);
  session.mClient = client.get();
  const double rate = jack_get_sample_rate(client.get());
  const int period = int(jack_get_buffer_size(client.get()));
  chain.Prepare(rate, period);
  std::vector<std::string> applied, notes;
  if (!ConfigureChain(chain, options.mPresetPaths, options.mSettings, applied, notes, error, usage))
    return false;
  for (const std::string& n : notes) std::fprintf(stderr, "torva: warning: %s\n", n.c_str());
  if (!RegisterPorts(session, inputs, true, error) ||
      !RegisterPorts(session, outputs, false, error))
    return false;
  session.mEngine.Start(rate, period);

  jack_set_process_callback(client.get(), Session::OnProcess, &session);
  jack_set_buffer_size_callback(client.get(), Session::OnBufferSize, &session);
  jack_set_sample_rate_callback(client.get(), Session::OnSampleRate, &session);
  jack_set_xrun_callback(client.get(), Session::OnXrun, &session);
  jack_on_shutdown(client.get(), Session::OnShutdown, &session);
  const StopSignals signals;
  if (jack_activate(client.get()) != 0)
  {
    session.mEngine.Stop();
    error = "the JACK server did not start the client " + name;
    return false;
  }
  if (options.mConnect) ConnectPhysical(session);
  const std::string clientName = jack_get_client_name(client.get());
  const int latency = chain.Latency();
  std::fprintf(stderr,
               "torva: playing %s as JACK client %s: %d in, %d out, %s Hz, %d frames, latency %d "
               "samples (%s ms)%s\n",
               chain.Names().c_str(), clientName.c_str(), inputs, outputs,
               FormatFixed(rate, 0).c_str(), period, latency,
               FormatFixed(1000.0 * latency / rate, 1).c_str(),
               options.mConnect ? ", connected" : "");

  StatusLine statusLine(session, clientName);
  bool ok = true;
  if (options.mEditor)
  {
    std::vector<VstHost*> hosts;
    for (size_t i = 0; i < chain.Size(); ++i) hosts.push_back(&chain.Plugin(i));
    ok = RunEditors(hosts, EditorOptions{}, error);
  }
  else
    while (!StopSignals::Requested()) poll(nullptr, 0, 100);
  statusLine.Finish();
  const auto stopped = Clock::now();

  if (!session.mServerGone) jack_deactivate(client.get());
  session.mEngine.Stop();
  chain.Unload();
  client.reset();

  Clock::time_point first;
  std::string firstText = "no block processed";
  if (session.mEngine.FirstPeriod(first))
    firstText = "first block " + FormatFixed(Milliseconds(first - started), 1) + " ms after start";
  std::fprintf(stderr,
               "torva: played %s s: DSP load %s %% average, %s %% peak, %llu xruns, %llu periods "
               "(%llu silenced while reconfiguring); %s\n",
               FormatFixed(std::chrono::duration<double>(stopped - started).count(), 1).c_str(),
               FormatFixed(statusLine.AverageLoad(), 1).c_str(),
               FormatFixed(statusLine.PeakLoad(), 1).c_str(),
               static_cast<unsigned long long>(session.mXruns.load()),
               static_cast<unsigned long long>(session.mEngine.Periods()),
               static_cast<unsigned long long>(session.mEngine.SilencedPeriods()),
               firstText.c_str());
  if (session.mServerGone && ok)
  {
    error = "the JACK server stopped";
    return false;
  }
  return ok;
}
