#include "framework/Log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace
{
// Sets TZ for one test and puts the previous value back.
class ScopedTZ
{
public:
  explicit ScopedTZ(char const* tz)
  {
    if (char const* old = std::getenv("TZ"))
    {
      mHad = true;
      mOld = old;
    }
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTZ()
  {
    if (mHad)
      setenv("TZ", mOld.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  bool mHad = false;
  std::string mOld;
};

time_t UTC(int year, int month, int day, int hour, int minute)
{
  tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return timegm(&t);
}
} // namespace

TEST(Log, TimeStampAndOffset)
{
  struct Case
  {
    char const* tz; // POSIX TZ: the sign is the opposite of the UTC offset
    time_t when;
    char const* expect;
  };
  Case const cases[] = {
      {"UTC0", UTC(2026, 12, 7, 4, 10), "20261207 04:10 +0000"},
      {"CET-1", UTC(2026, 12, 7, 4, 10), "20261207 05:10 +0100"},
      {"XST-5:30", UTC(2026, 6, 1, 20, 45), "20260602 02:15 +0530"}, // local day ahead
      {"XST3:30", UTC(2026, 6, 1, 1, 0), "20260531 21:30 -0330"},    // local day behind
      // Local still in the old year while UTC has reached the new one (days of year 365 vs 0).
      {"EST5", UTC(2025, 1, 1, 2, 30), "20241231 21:30 -0500"},
      // And the mirror: local already in the new year.
      {"JST-9", UTC(2024, 12, 31, 20, 0), "20250101 05:00 +0900"},
      {"XST-14", UTC(2023, 12, 31, 12, 0), "20240101 02:00 +1400"}, // non-leap old year
      {"XST12", UTC(2024, 1, 1, 3, 0), "20231231 15:00 -1200"},
  };
  for (Case const& c : cases)
  {
    ScopedTZ tz(c.tz);
    EXPECT_STREQ(CurrentTimeAt(c.when), c.expect) << c.tz;
  }

  // The live stamp has the same shape: "YYYYMMDD HH:MM +hhmm".
  ScopedTZ tz("UTC0");
  std::string const now = CurrentTime();
  ASSERT_EQ(now.size(), 20u);
  EXPECT_EQ(now[8], ' ');
  EXPECT_EQ(now[11], ':');
  EXPECT_EQ(now.substr(14), " +0000");
}

TEST(Log, OffsetFromBrokenDownTimes)
{
  tm local{}, utc{};
  local.tm_yday = 0;
  utc.tm_yday = 364; // UTC on 31 December of a common year, local on 1 January
  local.tm_hour = 1;
  utc.tm_hour = 23;
  EXPECT_EQ(UTCOffsetMinutes(local, utc), 120);
  std::swap(local, utc);
  EXPECT_EQ(UTCOffsetMinutes(local, utc), -120);

  local = tm{};
  utc = tm{};
  local.tm_yday = utc.tm_yday = 100;
  local.tm_min = 45;
  EXPECT_EQ(UTCOffsetMinutes(local, utc), 45);
}

TEST(Log, TimerEvery)
{
  clock_t const half = CLOCKS_PER_SEC / 2;
  Timer t(1000);
  EXPECT_FALSE(t.Every(0.5, 1000));
  EXPECT_FALSE(t.Every(0.5, 1000 + half)); // exactly the interval is not "more than"
  EXPECT_TRUE(t.Every(0.5, 1000 + half + 1));
  // Restarted from that reading: false again until the next half second has passed.
  EXPECT_FALSE(t.Every(0.5, 1000 + half + 2));
  EXPECT_FALSE(t.Every(0.5, 1000 + 2 * half + 1));
  EXPECT_TRUE(t.Every(0.5, 1000 + 2 * half + 2));
  EXPECT_FALSE(t.Every(0.5, 1000 + 2 * half + 2));

  // On the real processor clock: a zero interval fires as soon as the clock has moved at all.
  Timer live;
  clock_t const start = clock();
  volatile double sink = 0.0;
  while (clock() == start) sink = sink + 1.0;
  EXPECT_TRUE(live.Every(0.0));
  EXPECT_FALSE(live.Every(3600.0));
}

TEST(Log, TextHelpers)
{
  char buf[32];
  ToLower(buf, "REAPER64");
  EXPECT_STREQ(buf, "reaper64");
  buf[0] = 'x';
  ToLower(buf, "");
  EXPECT_STREQ(buf, "");
  ToLower(buf, "MiXeD \xC4!");
  EXPECT_STREQ(buf, "mixed \xC4!");

  for (int c = -128; c < 128; ++c)
  {
    bool const ws = c == 9 || c == 10 || c == 13 || c == 32;
    EXPECT_EQ(IsWhitespace(static_cast<char>(c)), ws) << c; // 11 and 12 are not
  }
}
