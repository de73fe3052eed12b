#pragma once
// Diagnostics and small text helpers.
//
// Trace is the hook the plug-in base and the host adapter call at their main entry points with
// their location name, line number and a printf-style format. It writes nothing: the plug-in has
// no log file. Keeping the call sites means a debugging build can give it a body.

#include <ctime>

void Trace(char const* funcName, int line, char const* fmtStr, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Names of host-interface selectors for traces; this build carries no tables, so all are "".
char const* VSTOpcodeStr(int opCode);
char const* AUSelectStr(int select);
char const* AUPropertyStr(int propID);
char const* AUScopeStr(int scope);

// Local time as "YYYYMMDD HH:MM +hhmm" (e.g. "20261207 05:10 +0100"), in one static buffer that
// every call overwrites: not for concurrent use.
char const* CurrentTime();
// The same stamp for a given moment, in the same static buffer.
char const* CurrentTimeAt(time_t when);

// Minutes that local time is ahead of UTC, from the broken-down local and UTC forms of one
// moment: minute and hour differences, plus a day when the days of the year differ. Across a
// year end the days of the year jump by 364 or 365; that counts as a day the other way.
int UTCOffsetMinutes(tm const& local, tm const& utc);

// Interval timer on processor time (clock(), CLOCKS_PER_SEC ticks per second). One thread each.
class Timer
{
public:
  Timer();
  explicit Timer(clock_t start) : mT(start) {}

  // True, and the interval restarts, once more than sec seconds of processor time have passed
  // since construction or the last true; otherwise false and nothing changes.
  bool Every(double sec);
  // The same against a given clock reading.
  bool Every(double sec, clock_t now);

private:
  clock_t mT;
};

// Copies src into dest through tolower, with terminator; dest holds strlen(src) + 1.
void ToLower(char* dest, char const* src);

// True for tab, line feed, carriage return and space only.
bool IsWhitespace(char c);
