// The amplifier's editor as a host sees it before any window exists, and without a display:
// the record announces it with its rectangle, and nothing the host does short of a working
// effEditOpen reaches for an X server.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "support/TestHost.h"

using namespace vsthost;

namespace
{
int Entries(char const* dir)
{
  std::filesystem::directory_iterator it(dir);
  return int(std::distance(begin(it), end(it)));
}

void SetDisplay(char const* value)
{
  value ? setenv("DISPLAY", value, 1) : unsetenv("DISPLAY");
}
} // namespace

TEST(EditorLayout, AnnouncedWithoutADisplay)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath())) << host.mError;
  char const* saved = std::getenv("DISPLAY");
  std::string const had = saved ? saved : "";
  for (char const* display : {(char const*)nullptr, ":4711", "/nonexistent/socket:0"})
  {
    SCOPED_TRACE(display ? display : "no DISPLAY");
    SetDisplay(display);
    int const fds = Entries("/proc/self/fd"), threads = Entries("/proc/self/task");
    {
      Instance p(host);
      ASSERT_TRUE(p);
      EXPECT_EQ(p->flags, effFlagsHasEditor | effFlagsCanMono | effFlagsCanReplacing |
                              effFlagsCanDoubleReplacing);
      ERect* rect = nullptr;
      ASSERT_EQ(p.Dispatch(effEditGetRect, 0, 0, &rect), 1);
      ASSERT_TRUE(rect);
      EXPECT_EQ((std::vector<int>{rect->top, rect->left, rect->bottom, rect->right}),
                (std::vector<int>{0, 0, 285, 1024}));

      // No server to open on: refused, nothing left behind, and the host may close as usual.
      EXPECT_EQ(p.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x200001)), 0);
      EXPECT_EQ(p.Dispatch(effEditOpen, 0, 0, nullptr), 0);
      EXPECT_EQ(p.Dispatch(effEditClose), 1);
      EXPECT_EQ(Entries("/proc/self/fd"), fds);
      EXPECT_EQ(Entries("/proc/self/task"), threads);
    }
    EXPECT_EQ(Entries("/proc/self/fd"), fds);
  }
  SetDisplay(saved ? had.c_str() : nullptr);
}
