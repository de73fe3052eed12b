#pragma once
// A private JACK server on the dummy backend for the `torva play` tests, and two clients of
// the test's own around the program under test: one plays a signal into it, one records what
// comes out. The graph runs them in order within each period (source, program, sink), so the
// graph adds no latency: the sink notes which part of the signal the source played in the
// same period, and the recording lines up with the signal by that.

#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <string>
#include <vector>

namespace playtest
{

// `jackd --no-realtime -n NAME -d dummy` with a name no other test or program uses. Ready()
// is false when there is no jackd or it did not come up within seconds.
class JackServer
{
public:
  explicit JackServer(int period = 64, int rate = 48000);
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool Ready() const { return mReady; }
  const std::string& Name() const { return mName; }
  // For the environment of a program that should find this server.
  std::string Env() const { return "JACK_DEFAULT_SERVER=" + mName; }
  // A client of this server; null when it refuses.
  jack_client_t* Open(const std::string& client) const;

private:
  std::string mName;
  pid_t mPid = -1;
  bool mReady = false;
};

// Whether a jackd program is installed.
bool HaveJackd();

// Names of the ports of `client` (".*" for any) whose short name matches `pattern`.
std::vector<std::string> Ports(jack_client_t* any, const std::string& pattern);
// Full names of the ports connected to `port`.
std::vector<std::string> Connections(jack_client_t* any, const std::string& port);

// A source client with `channels` output ports ("play_N") and a sink client with `channels`
// input ports ("rec_N"). The source plays `signal` (planar, one vector per channel) from the
// first period after Play(), silence otherwise; the sink records every period from the start.
class Probe
{
public:
  Probe(const JackServer& server, int playChannels, int recordChannels, long maxFrames);
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  bool Ready() const { return mSource && mSink; }
  jack_client_t* Client() const { return mSource; }
  std::string PlayPort(int c) const;
  std::string RecordPort(int c) const;
  void Play(const std::vector<std::vector<float>>& signal);
  // Holds the signal where it is (silence meanwhile), or goes on with it; returns once the
  // source has run two periods that way.
  void Pause(bool paused);
  // Freewheeling, the server runs every client in every period as fast as they go, so a busy
  // machine cannot make a period late and skip a client as it can in real time (the dummy
  // backend calls even a few microseconds late an xrun). Returns once the mode has changed
  // and a few periods have passed in it; false when the server refused.
  bool Freewheel(bool on);
  void WaitPeriods(int periods);
  // Frames of the signal played so far, and whether all of it was.
  long Played() const { return mPlayed.load(std::memory_order_acquire); }
  bool Finished() const;
  // Stops both clients; the recording is complete afterwards.
  void Close();

  struct Period
  {
    int mFrames;
    long mFirst;  // index of its first recorded frame
    long mSignal; // the signal index the source played from in this period; -1 for silence
  };
  // The sink's periods and, for each channel, everything recorded.
  std::vector<Period> Periods() const;
  const std::vector<float>& Recorded(int c) const { return mRecorded[size_t(c)]; }

private:
  static int OnSource(jack_nframes_t frames, void* arg);
  static int OnSink(jack_nframes_t frames, void* arg);

  jack_client_t* mSource = nullptr;
  jack_client_t* mSink = nullptr;
  std::vector<jack_port_t*> mOuts, mIns;
  std::vector<std::vector<float>> mSignal;
  std::atomic<bool> mPlaying = false;
  std::atomic<bool> mPaused = false;
  std::atomic<bool> mFreewheeling = false;
  std::atomic<long> mSourcePeriods = 0;
  std::atomic<long> mPlayed = 0;
  std::atomic<long> mSourceAt = -1; // what the source played from in the current period
  std::vector<std::vector<float>> mRecorded;
  std::vector<Period> mSinkPeriods;
  std::atomic<long> mSinkCount = 0;
  std::atomic<long> mRecordedFrames = 0;
};

} // namespace playtest
