#pragma once
// A private X server for tests that need a display, and the helpers all such tests share. Light
// on purpose: programs that only run X clients include this without the editor's headers.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace x11test
{

// Polls pred every 5 ms for up to ms milliseconds (generous: sanitizer builds on a busy machine).
bool WaitFor(const std::function<bool()>& pred, int ms = 8000);
void Sleep(int ms);

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

// One server for the whole program, started on first use, so that fake input never reaches a
// desktop; empty when there is none.
const std::string& SharedDisplay();

// Open descriptors and threads of this process (leak checks).
int OpenFDs();
int Threads();

// Sets (or with nullptr unsets) an environment variable for the object's lifetime.
class ScopedEnv
{
public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  std::string mName;
  std::optional<std::string> mSaved;
};

} // namespace x11test
