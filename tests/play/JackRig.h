#pragma once
// A private JACK server on the dummy backend for the `torva play` tests, and a way to play a
// signal through the program under test and record what comes out.

#include <jack/jack.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace playtest
{

using Signal = std::vector<std::vector<float>>; // planar

// Asks `done` every millisecond until it says yes or `ms` have passed; returns its last answer.
inline bool WaitUntil(const std::function<bool()>& done, int ms)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

bool HaveJackd();

// `jackd --no-realtime -d dummy` at 48 kHz, 64 frames, 2 in and 2 out, under a name of its own.
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

// Every audio port of `client`, one a line: its short name and what it is connected to.
std::string Wiring(jack_client_t* any, const std::string& client);

// Plays `signal` into `client`:in_N freewheeling and records its out_N, lined up with the
// signal (NaN where nothing came). After each further half second played, the period changes
// to the next of `periods`. Empty when the rig failed.
Signal PlayThrough(const JackServer& server, const std::string& client, const Signal& signal,
                   const std::vector<int>& periods = {});

} // namespace playtest
