#pragma once
// A private X server for tests that need a display, and the polling wait they share. Light on
// purpose: programs that only run X clients include this without the editor's headers.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace x11test
{

// Polls pred every 5 ms for up to ms milliseconds (generous: sanitizer builds on a busy machine).
inline bool WaitFor(const std::function<bool()>& pred, int ms = 8000)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end)
  {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

// A private X server on a free display (Xvfb -displayfd), 1024x768 at 24 bits. Start is false
// when there is no Xvfb or it does not come up.
struct Xvfb
{
  ~Xvfb() { Stop(); }
  bool Start();
  void Stop();
  pid_t mPid = -1;
  std::string mDisplay;
};

} // namespace x11test
