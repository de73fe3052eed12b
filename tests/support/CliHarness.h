// Running the built `torva` program from tests, and making and reading the audio it works on.

#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/types.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TempFiles.h"

using torva_test::BinaryPath;
using torva_test::Exists;
using torva_test::ReadText;
using torva_test::TempDir;
using torva_test::WriteText;

inline bool Contains(const std::string& text, const std::string& part)
{
  return text.find(part) != std::string::npos;
}

inline std::vector<std::string> Lines(const std::string& text)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct RunResult
{
  int mExit = -1; // exit status; 128 + signal when killed
  std::string mOut;
  std::string mErr;
};

// One line on stderr, starting "torva: ", saying `part`; nothing on stdout.
inline void ExpectOneErrorLine(const RunResult& r, const std::string& part, int exitCode = 1)
{
  EXPECT_EQ(r.mExit, exitCode) << r.mErr;
  EXPECT_EQ(Lines(r.mErr).size(), 1u) << r.mErr;
  EXPECT_EQ(r.mErr.rfind("torva: ", 0), 0u) << r.mErr;
  EXPECT_TRUE(Contains(r.mErr, part)) << "expected \"" << part << "\" in: " << r.mErr;
  EXPECT_TRUE(r.mOut.empty()) << r.mOut;
}

// Runs `torva` with `args`; `env` entries ("NAME=value") are added to the environment.
// stderrTerminal: stderr is a pseudo-terminal (what it shows lands in mErr), as for a user.
RunResult RunTorva(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                   bool stderrTerminal = false);
// The same with another copy of the program, which finds other modules beside it.
RunResult RunTorvaCopy(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {});

// `torva` left running in the background, for commands that run until stopped. The destructor
// kills a program still running.
class TorvaProcess
{
public:
  TorvaProcess(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
               bool stderrTerminal = false, const std::string& program = BinaryPath("torva"));
  ~TorvaProcess();
  TorvaProcess(const TorvaProcess&) = delete;
  TorvaProcess& operator=(const TorvaProcess&) = delete;

  // Whether it has not exited yet.
  bool Running();
  // Sends `signal` (none for 0) and waits up to `seconds` for the exit, killing it after that
  // (mExit is then 128 + SIGKILL).
  RunResult Stop(int signal, double seconds = 20.0);
  // What it wrote on stderr so far.
  std::string ErrSoFar();

private:
  void Drain();

  TempDir mDir;
  pid_t mPid = -1;
  int mMaster = -1;
  bool mExited = false;
  int mStatus = 0;
  std::string mTerminalText;
};

struct Audio
{
  int mChannels = 0;
  int mRate = 0;
  int mFormat = 0;
  std::vector<double> mSamples; // interleaved
  long Frames() const { return mChannels ? long(mSamples.size()) / mChannels : 0; }
};

// Deterministic test material: a different chord of sines plus a little noise per channel,
// peaking near -6 dBFS.
Audio TestSignal(int channels, int rate, long frames, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT);
void WriteAudio(const std::string& path, const Audio& audio);
Audio ReadAudio(const std::string& path); // mChannels 0 when unreadable

// Largest absolute difference, or infinity when the shapes differ.
double MaxDiff(const Audio& a, const Audio& b);
double Peak(const Audio& a);
// One channel as a mono signal.
Audio Channel(const Audio& a, int channel);
