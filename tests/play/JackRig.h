#pragma once
// A private JACK server on the dummy backend for the `torva play` tests, and a probe around the
// program under test: a source client plays a signal into it and a sink client records what
// comes out. Within a period the graph runs source, program and sink in that order, so the sink
// files what it hears under the signal index the source played from in the same period.

#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace playtest
{

using Signal = std::vector<std::vector<float>>; // planar

bool HaveJackd();

// `jackd --no-realtime -d dummy` at 48 kHz, 64 frames, under a name of its own.
class JackServer
{
public:
  JackServer();
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool Ready() const { return mReady; }
  // For the environment of a program that should find this server.
  std::string Env() const { return "JACK_DEFAULT_SERVER=" + mName; }
  jack_client_t* Open(const std::string& client) const; // null when refused

private:
  std::string mName;
  pid_t mPid = -1;
  bool mReady = false;
};

// Ports of the server whose full names match `pattern`, and the ports connected to `port`.
std::vector<std::string> Ports(jack_client_t* any, const std::string& pattern);
std::vector<std::string> Connections(jack_client_t* any, const std::string& port);

// Source ports feed `client`:in_N, its out_N feed the sink. The source plays silence until
// Play(), then `signal`.
class Probe
{
public:
  Probe(const JackServer& server, const std::string& client, const Signal& signal);
  ~Probe() { Close(); }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  bool Ready() const { return mReady; }
  jack_client_t* Client() const { return mSource; }
  void Play() { mPlaying.store(true); }
  // Holds the signal where it is (silence meanwhile) or goes on; returns two periods later.
  void Pause(bool paused);
  // Freewheeling, the server runs every client in every period however long they take, so a
  // busy machine cannot make a period late and skip a client as in real time. Returns once
  // the mode has changed and a few periods have passed; false when refused.
  bool Freewheel(bool on);
  long Played() const { return mPlayed.load(); }
  bool Finished() const { return Played() >= long(mSignal[0].size()); }
  void Close();
  // What came out for each sample of the signal; NaN where nothing was recorded.
  const Signal& Recorded() const { return mRecorded; }

private:
  static int OnSource(jack_nframes_t frames, void* arg);
  static int OnSink(jack_nframes_t frames, void* arg);
  void WaitPeriods(int periods);

  jack_client_t* mSource = nullptr;
  jack_client_t* mSink = nullptr;
  bool mReady = false;
  std::vector<jack_port_t*> mOuts, mIns;
  Signal mSignal, mRecorded;
  std::atomic<bool> mPlaying = false, mPaused = false, mFreewheeling = false;
  std::atomic<long> mSourcePeriods = 0, mPlayed = 0;
  std::atomic<long> mSourceAt = -1; // signal index played from in this period; -1 for silence
};

// Plays `signal` through `client` freewheeling, calling `whilePlaying` once it has started;
// returns what came out, lined up with the signal.
Signal PlayThrough(const JackServer& server, const std::string& client, const Signal& signal,
                   const std::function<void(Probe&)>& whilePlaying = {});

} // namespace playtest
