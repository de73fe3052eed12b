#include "XvfbServer.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace x11test
{

bool WaitFor(const std::function<bool()>& pred, int ms)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end)
  {
    if (pred()) return true;
    Sleep(5);
  }
  return pred();
}

void Sleep(int ms)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Xvfb::Start()
{
  const char* const kPath = "/usr/bin/Xvfb";
  if (access(kPath, X_OK) != 0) return false;
  int fds[2];
  if (pipe(fds) != 0) return false;
  mPid = fork();
  if (mPid == 0)
  {
    dup2(fds[1], 3);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execl(kPath, "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0",
          "2560x1600x24", (char*)nullptr);
    _exit(127);
  }
  close(fds[1]);
  char number[16] = {};
  size_t got = 0;
  while (mPid > 0 && got < sizeof number - 1 && !std::strchr(number, '\n'))
  {
    const ssize_t n = read(fds[0], number + got, sizeof number - 1 - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += (size_t)n;
  }
  close(fds[0]); // only now: Xvfb dies of a closed pipe before its newline
  if (got == 0)
  {
    Stop();
    return false;
  }
  mDisplay = ":" + std::string(number, std::strcspn(number, "\n"));
  // Ready when it takes a connection.
  return WaitFor(
      [&]
      {
        xcb_connection_t* c = xcb_connect(mDisplay.c_str(), nullptr);
        const bool ok = !xcb_connection_has_error(c);
        xcb_disconnect(c);
        return ok;
      });
}

void Xvfb::Stop()
{
  if (mPid <= 0) return;
  kill(mPid, SIGTERM);
  waitpid(mPid, nullptr, 0);
  mPid = -1;
}

const std::string& SharedDisplay()
{
  static Xvfb sServer;
  static const bool sTried = []
  {
    if (!sServer.Start()) sServer.mDisplay.clear();
    return true;
  }();
  (void)sTried;
  return sServer.mDisplay;
}

static int Entries(const char* dir)
{
  int n = 0;
  if (DIR* d = opendir(dir))
  {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}
int OpenFDs()
{
  return Entries("/proc/self/fd");
}
int Threads()
{
  return Entries("/proc/self/task");
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : mName(name)
{
  if (const char* old = std::getenv(name)) mSaved = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}
ScopedEnv::~ScopedEnv()
{
  if (mSaved)
    setenv(mName.c_str(), mSaved->c_str(), 1);
  else
    unsetenv(mName.c_str());
}

} // namespace x11test
