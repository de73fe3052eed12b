#include "host/StopSignals.h"

namespace
{
volatile sig_atomic_t gStop = 0;
int gDepth = 0; // objects alive; made and destroyed on the main thread

void OnStop(int)
{
  gStop = 1;
}
} // namespace

StopSignals::StopSignals()
{
  if (gDepth++ == 0) gStop = 0;
  struct sigaction action = {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &mOldInt);
  sigaction(SIGTERM, &action, &mOldTerm);
}

StopSignals::~StopSignals()
{
  sigaction(SIGINT, &mOldInt, nullptr);
  sigaction(SIGTERM, &mOldTerm, nullptr);
  --gDepth;
}

bool StopSignals::Requested()
{
  return gStop != 0;
}
