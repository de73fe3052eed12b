// SIGINT (Ctrl-C) and SIGTERM end an interactive session (an editor window, live playing)
// cleanly instead of killing the program, while a StopSignals object lives. The handlers are
// installed without SA_RESTART, so that a waiting poll returns at once. Objects may nest (the
// editor inside live playing): a signal seen by the outer one stays seen by the inner one.

#pragma once

#include <signal.h>

class StopSignals
{
public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Whether SIGINT or SIGTERM arrived since the outermost object was made.
  static bool Requested();

private:
  struct sigaction mOldInt = {};
  struct sigaction mOldTerm = {};
};
