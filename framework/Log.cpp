#include "framework/Log.h"

#include <cctype>
#include <cstdio>

void Trace(char const*, int, char const*, ...) {}

char const* VSTOpcodeStr(int)
{
  return "";
}

char const* AUSelectStr(int)
{
  return "";
}

char const* AUPropertyStr(int)
{
  return "";
}

char const* AUScopeStr(int)
{
  return "";
}

int UTCOffsetMinutes(tm const& local, tm const& utc)
{
  int offset = (local.tm_min - utc.tm_min) + 60 * (local.tm_hour - utc.tm_hour);
  int const dayDiff = local.tm_yday - utc.tm_yday;
  // A local 31 December against a UTC 1 January is a difference of 364 or 365 days, and is
  // one day behind; the mirror case is one day ahead.
  if (dayDiff == 1 || dayDiff <= -2)
    offset += 1440;
  else if (dayDiff == -1 || dayDiff >= 2)
    offset -= 1440;
  return offset;
}

char const* CurrentTimeAt(time_t when)
{
  // "YYYYMMDD HH:MM +hhmm" is 20 characters; room for years beyond four digits all the same.
  static char sTimeStr[64];

  tm local{}, utc{};
  if (!localtime_r(&when, &local) || !gmtime_r(&when, &utc))
  {
    sTimeStr[0] = '\0';
    return sTimeStr;
  }
  int const offset = UTCOffsetMinutes(local, utc);
  int const mag = offset < 0 ? -offset : offset;
  // Digits only: the result does not depend on the locale.
  std::snprintf(sTimeStr, sizeof(sTimeStr), "%04d%02d%02d %02d:%02d %c%02d%02d",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                offset < 0 ? '-' : '+', mag / 60, mag % 60);
  return sTimeStr;
}

char const* CurrentTime()
{
  return CurrentTimeAt(time(nullptr));
}

Timer::Timer() : mT(clock()) {}

bool Timer::Every(double sec)
{
  return Every(sec, clock());
}

bool Timer::Every(double sec, clock_t now)
{
  if (static_cast<double>(now - mT) > sec * CLOCKS_PER_SEC)
  {
    mT = now;
    return true;
  }
  return false;
}

void ToLower(char* dest, char const* src)
{
  while (*src)
  {
    *dest++ = static_cast<char>(std::tolower(static_cast<unsigned char>(*src++)));
  }
  *dest = '\0';
}

bool IsWhitespace(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
