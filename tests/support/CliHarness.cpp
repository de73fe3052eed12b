#include "support/CliHarness.h"

#include <fcntl.h>
#include <stdlib.h>
#include <spawn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "support/Random.h"

extern char** environ;

RunResult RunTorva(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   bool stderrTerminal)
{
  TorvaProcess process(args, env, stderrTerminal);
  return process.Stop(0, 1e9);
}

RunResult RunTorvaCopy(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env)
{
  TorvaProcess process(args, env, false, program);
  return process.Stop(0, 1e9);
}

TorvaProcess::TorvaProcess(const std::vector<std::string>& args,
                           const std::vector<std::string>& env, bool stderrTerminal,
                           const std::string& program)
{
  const std::string outPath = mDir / "stdout", errPath = mDir / "stderr";
  std::vector<std::string> argStore = {program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore(env);
  for (char** e = environ; *e; ++e) envStore.push_back(*e);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  int slave = -1;
  if (stderrTerminal)
  {
    mMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (mMaster >= 0 && grantpt(mMaster) == 0 && unlockpt(mMaster) == 0)
      slave = open(ptsname(mMaster), O_RDWR | O_NOCTTY);
    if (slave >= 0) posix_spawn_file_actions_adddup2(&actions, slave, 2);
  }
  else
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  pid_t pid;
  if ((!stderrTerminal || slave >= 0) &&
      posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0)
    mPid = pid;
  if (slave >= 0) close(slave);
  posix_spawn_file_actions_destroy(&actions);
  // Read without waiting, so that the program never stops on a full terminal buffer.
  if (mMaster >= 0) fcntl(mMaster, F_SETFL, fcntl(mMaster, F_GETFL) | O_NONBLOCK);
}

TorvaProcess::~TorvaProcess()
{
  if (Running())
  {
    kill(mPid, SIGKILL);
    waitpid(mPid, &mStatus, 0);
  }
  if (mMaster >= 0) close(mMaster);
}

void TorvaProcess::Drain()
{
  char buf[4096];
  for (ssize_t n; mMaster >= 0 && (n = read(mMaster, buf, sizeof buf)) > 0;)
    mTerminalText.append(buf, size_t(n));
}

bool TorvaProcess::Running()
{
  Drain();
  if (mPid <= 0 || mExited) return false;
  mExited = waitpid(mPid, &mStatus, WNOHANG) == mPid;
  return !mExited;
}

RunResult TorvaProcess::Stop(int signal, double seconds)
{
  RunResult result;
  if (mPid <= 0) return result;
  if (signal && Running()) kill(mPid, signal);
  for (int waited = 0; Running(); ++waited)
  {
    if (waited * 0.005 > seconds) kill(mPid, SIGKILL);
    usleep(5000);
  }
  result.mExit = WIFEXITED(mStatus) ? WEXITSTATUS(mStatus) : 128 + WTERMSIG(mStatus);
  result.mOut = ReadText(mDir / "stdout");
  result.mErr = ErrSoFar();
  return result;
}

std::string TorvaProcess::ErrSoFar()
{
  Drain();
  return mMaster >= 0 ? mTerminalText : ReadText(mDir / "stderr");
}

Audio TestSignal(int channels, int rate, long frames, int format)
{
  Audio a;
  a.mChannels = channels;
  a.mRate = rate;
  a.mFormat = format;
  a.mSamples.resize(size_t(frames) * channels);
  torva_test::Rng noise(12345);
  for (long i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
    {
      const double t = double(i) / rate;
      const double f = 110.0 * (c + 1);
      const double v = 0.25 * std::sin(2 * M_PI * f * t) +
                       0.15 * std::sin(2 * M_PI * 2.52 * f * t) + 0.05 * noise.Real(-1.0, 1.0);
      // Rounded to 16 bits so that every format holds the same values exactly.
      a.mSamples[size_t(i) * channels + c] = std::round(v * 32768.0) / 32768.0;
    }
  return a;
}

void WriteAudio(const std::string& path, const Audio& audio)
{
  SF_INFO info = {};
  info.channels = audio.mChannels;
  info.samplerate = audio.mRate;
  info.format = audio.mFormat;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return;
  sf_writef_double(f, audio.mSamples.data(), audio.Frames());
  sf_close(f);
}

Audio ReadAudio(const std::string& path)
{
  Audio a;
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return a;
  a.mChannels = info.channels;
  a.mRate = info.samplerate;
  a.mFormat = info.format;
  a.mSamples.resize(size_t(info.frames) * info.channels);
  sf_readf_double(f, a.mSamples.data(), info.frames);
  sf_close(f);
  return a;
}

double MaxDiff(const Audio& a, const Audio& b)
{
  if (a.mChannels != b.mChannels || a.mSamples.size() != b.mSamples.size())
    return std::numeric_limits<double>::infinity();
  double d = 0.0;
  for (size_t i = 0; i < a.mSamples.size(); ++i)
    d = std::max(d, std::fabs(a.mSamples[i] - b.mSamples[i]));
  return d;
}

double Peak(const Audio& a)
{
  double p = 0.0;
  for (double v : a.mSamples) p = std::max(p, std::fabs(v));
  return p;
}

Audio Channel(const Audio& a, int channel)
{
  Audio m = a;
  m.mChannels = 1;
  m.mSamples.clear();
  for (long i = 0; i < a.Frames(); ++i)
    m.mSamples.push_back(a.mSamples[size_t(i) * a.mChannels + channel]);
  return m;
}
