// The X11 editor host driven as a host and a user would: parent windows on a connection of
// the test's own, pictures read back from the server, pointer and keys through XTest.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "X11TestSupport.h"
#include "support/golden.h"

using namespace x11test;

namespace
{
// Every test runs against a private server, so that fake input never reaches a desktop.
class XvfbEnvironment : public ::testing::Environment
{
public:
  void SetUp() override
  {
    if (mServer.Start())
      setenv("DISPLAY", mServer.mDisplay.c_str(), 1);
    else
      unsetenv("DISPLAY"); // the display tests skip
  }
  void TearDown() override { mServer.Stop(); }

private:
  Xvfb mServer;
};
::testing::Environment* const kXvfb = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);
} // namespace

int x11test::OpenFDs()
{
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd"))
  {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

namespace
{

class X11Editor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (!mDisplay.Ok()) GTEST_SKIP() << "no X display (run under xvfb-run)";
  }

  // Opens the editor into a new parent at (x, y); waits for its first picture.
  void* Open(Editor& ed, int x = 0, int y = 0)
  {
    const xcb_window_t parent = mDisplay.MakeParent(x, y);
    mParents.push_back(parent);
    const int before = ed.gui->PresentCount();
    void* win = ed.plug.HostOpen((void*)(uintptr_t)parent);
    if (win)
    {
      EXPECT_TRUE(WaitFor([&] { return ed.gui->PresentCount() > before; }));
    }
    return win;
  }

  // The picture on screen equals the back bitmap (retried while presents are on the way).
  void ExpectPictureMatches(Editor& ed)
  {
    std::vector<uint32_t> screen, back;
    const bool same = WaitFor(
        [&]
        {
          const int count = ed.gui->PresentCount();
          screen = mDisplay.Picture((xcb_window_t)(uintptr_t)ed.gui->GetWindow(), Editor::kW,
                                    Editor::kH);
          back = BackBitmap(ed.gui);
          return count == ed.gui->PresentCount() && screen == back;
        });
    ASSERT_EQ(screen.size(), back.size());
    EXPECT_TRUE(same) << "window picture differs from the back bitmap";
    if (!same)
      for (size_t i = 0, shown = 0; i < screen.size() && shown < 5; ++i)
        if (screen[i] != back[i])
        {
          ++shown;
          ADD_FAILURE() << "at " << i % Editor::kW << "," << i / Editor::kW << std::hex
                        << " screen " << screen[i] << " back " << back[i];
        }
  }

  void ShowsTheBackBitmapAndFollowsTheHost();

  // Root position of a point of the editor opened at parent position (px, py).
  static int RX(int x, int px = 0) { return px + x; }
  static int RY(int y, int py = 0) { return py + y; }

  Display mDisplay;
  std::vector<xcb_window_t> mParents;
};

TEST_F(X11Editor, OpenFailuresLeaveNothingBehind)
{
  Editor ed;
  const int fds = OpenFDs();
  const xcb_window_t parent = mDisplay.MakeParent();
  const std::string display = std::getenv("DISPLAY");

  EXPECT_EQ(ed.plug.HostOpen(nullptr), nullptr) << "null parent";
  EXPECT_EQ(ed.plug.HostOpen((void*)(uintptr_t)0x3fffff0), nullptr) << "unknown parent id";
  setenv("DISPLAY", ":4711", 1);
  EXPECT_EQ(ed.plug.HostOpen((void*)(uintptr_t)parent), nullptr) << "unreachable display";
  unsetenv("DISPLAY");
  EXPECT_EQ(ed.plug.HostOpen((void*)(uintptr_t)parent), nullptr) << "no DISPLAY at all";
  setenv("DISPLAY", display.c_str(), 1);

  EXPECT_EQ(ed.gui->GetWindow(), nullptr);
  EXPECT_EQ(mDisplay.Children(parent), 0);
  EXPECT_EQ(OpenFDs(), fds);
  ed.plug.HostClose(); // harmless when closed
  EXPECT_NE(ed.plug.HostOpen((void*)(uintptr_t)parent), nullptr) << "and a good open works";
  ed.plug.HostClose();
}

TEST_F(X11Editor, WindowShowsTheBackBitmapAndFollowsTheHost)
{
  for (const char* noShm : {"0", "1"}) // shared-memory and plain put-image presentation
  {
    SCOPED_TRACE(std::string("TORVA_X11_NO_SHM=") + noShm);
    setenv("TORVA_X11_NO_SHM", noShm, 1);
    ShowsTheBackBitmapAndFollowsTheHost();
  }
  unsetenv("TORVA_X11_NO_SHM");
}

void X11Editor::ShowsTheBackBitmapAndFollowsTheHost()
{
  Editor ed;
  void* win = Open(ed);
  ASSERT_NE(win, nullptr);
  EXPECT_EQ(ed.gui->GetWindow(), win);
  EXPECT_EQ(mDisplay.Children(mParents.back()), 1);
  ExpectPictureMatches(ed);

  // A host automation moves the control on screen within a few ticks.
  const xcb_window_t w = (xcb_window_t)(uintptr_t)win;
  const int centre = 40 * Editor::kW + 60;
  const uint32_t before = mDisplay.Picture(w, Editor::kW, Editor::kH)[centre];
  ed.plug.HostSetParam(0, 1.0);
  EXPECT_TRUE(WaitFor(
      [&]
      {
        auto pic = mDisplay.Picture(w, Editor::kW, Editor::kH);
        return !pic.empty() && pic[centre] != before && pic[centre] == 0xFFFF00u;
      }));
  ExpectPictureMatches(ed);

  // A window covering the editor and going away again: the exposed part is put back.
  const xcb_window_t cover = mDisplay.MakeParent(10, 10, 100, 60);
  mDisplay.Destroy(cover);
  ExpectPictureMatches(ed);
  ed.plug.HostClose();
  EXPECT_EQ(ed.gui->GetWindow(), nullptr);
  EXPECT_EQ(mDisplay.Children(mParents.back()), 0);
}

TEST_F(X11Editor, PointerAndWheelReachTheControls)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  const int x = 60, y = 40;

  // Press, drag up 10 pixels, release: a gesture the host sees bracketed.
  mDisplay.Move(RX(x), RY(y));
  mDisplay.Button(1, true);
  for (int i = 1; i <= 10; ++i) mDisplay.Move(RX(x), RY(y - i));
  mDisplay.Button(1, false);
  ASSERT_TRUE(WaitFor([&] { return ed.gain->Count("up") == 1; }));
  EXPECT_EQ(ed.gain->Count("down L"), 1);
  EXPECT_GE(ed.gain->Count("drag"), 1);
  EXPECT_EQ(ed.plug.Count("begin 0"), 1);
  EXPECT_GE(ed.plug.Count("automate 0"), 1);
  EXPECT_EQ(ed.plug.Count("end 0"), 1);
  EXPECT_NEAR(ed.plug.ParamValue(0), 0.6, 1e-9);

  // Right button, wheel both ways (Shift held on one), a double-click, leaving the window.
  ed.gain->Clear();
  mDisplay.Click(3);
  mDisplay.Click(4);
  mDisplay.Click(5);
  Sleep(500); // past the double-click time
  mDisplay.Click(1);
  mDisplay.Click(1);
  mDisplay.Move(RX(150), RY(100)); // over the background: mouse-out for the probe
  mDisplay.Move(500, 500);         // out of the editor
  ASSERT_TRUE(WaitFor([&] { return ed.gain->Count("out") >= 1 && ed.gain->Count("dbl") == 1; }));
  const std::vector<std::string> log = ed.gain->Log();
  const std::vector<std::string> expected = {"down R", "up", "wheel 1", "wheel -1",
                                             "down L", "up", "dbl",     "up"};
  std::vector<std::string> clicks;
  for (const std::string& s : log)
    if (s != "over" && s != "out") clicks.push_back(s);
  EXPECT_EQ(clicks, expected);
  ed.plug.HostClose();
}

TEST_F(X11Editor, HiddenCursorComesBackWhereItWasHidden)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.gain->mHideCursor = true;
  mDisplay.Move(RX(60), RY(40));
  mDisplay.Button(1, true);
  for (int i = 1; i <= 30; ++i) mDisplay.Move(RX(60 + i), RY(40 + i / 2));
  mDisplay.Button(1, false);
  ASSERT_TRUE(WaitFor([&] { return ed.gain->Count("up") == 1; }));
  EXPECT_TRUE(WaitFor([&] { return mDisplay.Pointer() == std::make_pair(RX(60), RY(40)); }));
  ed.plug.HostClose();
}

TEST_F(X11Editor, KeysMapToEditorCodes)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  mDisplay.Move(RX(60), RY(40)); // keys go to the control under the last pointer position
  mDisplay.Focus((xcb_window_t)(uintptr_t)ed.gui->GetWindow());
  struct
  {
    xcb_keysym_t sym;
    xcb_keysym_t modifier;
    const char* expected; // null: not delivered
  } const cases[] = {
      {' ', 0, "key 0"},
      {0xff52, 0, "key 1"},
      {0xff54, 0, "key 2"},
      {0xff51, 0, "key 3"},
      {0xff53, 0, "key 4"},
      {'0', 0, "key 5"},
      {'9', 0, "key 14"},
      {'a', 0, "key 15"},
      {'q', 0, "key 31"},
      {'q', Display::kShift, "key 31"},
      {'z', 0, "key 40"},
      {0xffbe /* F1 */, 0, nullptr},
      {0xff1b /* Escape */, 0, nullptr},
  };
  for (const auto& c : cases)
  {
    ed.gain->Clear();
    mDisplay.Key(c.sym, c.modifier);
    mDisplay.Key('m'); // a marker: once it arrived, so did (or not) the key before it
    ASSERT_TRUE(WaitFor([&] { return ed.gain->Count("key 27") == 1; })) << c.sym;
    std::vector<std::string> log;
    for (const std::string& s : ed.gain->Log())
      if (s.rfind("key ", 0) == 0) log.push_back(s);
    log.pop_back();
    if (c.expected)
      EXPECT_EQ(log, std::vector<std::string>{c.expected}) << "keysym " << c.sym;
    else
      EXPECT_TRUE(log.empty()) << "keysym " << c.sym;
  }
  ed.plug.HostClose();
}

TEST_F(X11Editor, CloseAndReopenTenTimesLeaksNothing)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.plug.HostClose();
  const int fds = OpenFDs();
  const xcb_window_t parent = mParents.back();
  for (int i = 0; i < 10; ++i)
  {
    const int presented = ed.gui->PresentCount();
    void* win = ed.plug.HostOpen((void*)(uintptr_t)parent);
    ASSERT_NE(win, nullptr) << "open " << i;
    EXPECT_EQ(mDisplay.Children(parent), 1);
    EXPECT_TRUE(WaitFor([&] { return ed.gui->PresentCount() > presented; }));
    if (i % 2) // an open without a close in between replaces the window
    {
      void* again = ed.plug.HostOpen((void*)(uintptr_t)parent);
      ASSERT_NE(again, nullptr);
      EXPECT_EQ(mDisplay.Children(parent), 1);
    }
    ed.plug.HostClose();
    EXPECT_EQ(mDisplay.Children(parent), 0);
  }
  EXPECT_EQ(OpenFDs(), fds);
}

TEST_F(X11Editor, TwoEditorsAtOnceEachWithItsOwnWindow)
{
  Editor a, b;
  ASSERT_NE(Open(a, 0, 0), nullptr);
  ASSERT_NE(Open(b, 300, 0), nullptr);
  EXPECT_NE(a.gui->GetWindow(), b.gui->GetWindow());
  b.plug.HostSetParam(0, 0.0);
  ExpectPictureMatches(a);
  ExpectPictureMatches(b);

  // Input goes to the editor under the pointer; closing one leaves the other working.
  mDisplay.Move(RX(60, 300), RY(40));
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return b.gain->Count("up") == 1; }));
  EXPECT_EQ(a.gain->Count("down L"), 0);
  a.plug.HostClose();
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return b.gain->Count("up") == 2; }));
  b.plug.HostSetParam(0, 1.0);
  ExpectPictureMatches(b);
  b.plug.HostClose();
}

TEST_F(X11Editor, ParentDestroyedBeforeCloseEndsTheEditorQuietly)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  mDisplay.Destroy(mParents.back());
  EXPECT_TRUE(WaitFor([&] { return ed.gui->GetWindow() == nullptr; }));
  ed.plug.HostSetParam(0, 0.9); // a host still automating: nothing to draw on, no harm
  Sleep(50);
  ed.plug.HostClose();
  ed.plug.HostClose();
  ASSERT_NE(Open(ed), nullptr) << "reopens into a new parent";
  ExpectPictureMatches(ed);
  ed.plug.HostClose();
}

TEST_F(X11Editor, HostClosingFromInsideACallbackOnTheEditorThread)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  std::atomic<bool> closedOnEditorThread{false};
  ed.plug.OnNextBegin(
      [&]
      {
        closedOnEditorThread = ed.gui->OnEditorThread();
        ed.gui->CloseWindow(); // effEditClose from inside audioMasterBeginEdit
      });
  const xcb_window_t parent = mParents.back();
  mDisplay.Move(RX(60), RY(40));
  mDisplay.Button(1, true);
  EXPECT_TRUE(WaitFor([&] { return mDisplay.Children(parent) == 0; }));
  mDisplay.Button(1, false);
  EXPECT_TRUE(closedOnEditorThread);
  EXPECT_EQ(ed.gui->GetWindow(), nullptr);
  EXPECT_EQ(ed.gain->Count("down L"), 1) << "the press that began it still finished";

  ASSERT_NE(ed.plug.HostOpen((void*)(uintptr_t)parent), nullptr) << "and the host reopens";
  ed.plug.HostClose();
  // And the plug-in going away right after a self-close: the destructor joins the thread.
  ASSERT_NE(Open(ed), nullptr);
  ed.plug.OnNextBegin([&] { ed.gui->CloseWindow(); });
  mDisplay.Move(RX(60), RY(40));
  mDisplay.Click(1);
  EXPECT_TRUE(WaitFor([&] { return mDisplay.Children(mParents.back()) == 0; }));
}

TEST_F(X11Editor, HostClosesWithTheLockHeldWhileTheUserDrags)
{
  // The dispatcher holds the plug-in lock through effEditClose while the editor thread keeps
  // pushing dragged values through the same lock: the close must neither deadlock nor crash.
  Editor ed;
  const xcb_window_t parent = mDisplay.MakeParent();
  std::atomic<bool> stop{false};
  Display hand; // connected here: libXau's lookup is not safe on two threads at once
  std::thread user(
      [&]
      {
        while (!stop)
        {
          hand.Move(60, 40);
          hand.Button(1, true);
          for (int k = 1; k <= 5; ++k) hand.Move(60, 40 - k);
          hand.Button(1, false);
        }
      });
  for (int i = 0; i < 12; ++i)
  {
    ASSERT_NE(ed.plug.HostOpen((void*)(uintptr_t)parent), nullptr);
    Sleep(40);
    ed.plug.HostClose();
  }
  stop = true;
  user.join();
  EXPECT_EQ(mDisplay.Children(parent), 0);
  EXPECT_GT(ed.plug.Count("begin 0"), 0) << "the user did reach the editor";
}

TEST_F(X11Editor, PopupMenuChoosesWithKeysAndCancelsOutside)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.mode->mPrompt = true;
  const int x = RX(150), y = RY(40);

  // Down, Down, Return: the second display text.
  mDisplay.Move(x, y);
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return ed.gui->IsMenuOpen(); }));
  const xcb_window_t menu = mDisplay.TopOfRoot();
  EXPECT_NE(menu, (xcb_window_t)(uintptr_t)ed.gui->GetWindow());
  mDisplay.Key(0xff54);
  mDisplay.Key(0xff54);
  mDisplay.Key(0xff0d);
  ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsMenuOpen(); }));
  EXPECT_TRUE(WaitFor([&] { return ed.plug.ParamValue(1) == 1.0; }));
  EXPECT_EQ(ed.plug.Count("automate 1"), 1);

  // Escape, and a click outside: closed without a choice, value unchanged.
  for (int way = 0; way < 2; ++way)
  {
    mDisplay.Move(x, y);
    mDisplay.Click(1);
    ASSERT_TRUE(WaitFor([&] { return ed.gui->IsMenuOpen(); }));
    if (way == 0)
      mDisplay.Key(0xff1b);
    else
    {
      mDisplay.Move(600, 400);
      mDisplay.Click(1);
    }
    ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsMenuOpen(); })) << way;
  }
  EXPECT_EQ(ed.plug.ParamValue(1), 1.0);

  // A click on an item: the menu's top-left lies under the control; items follow its padding.
  mDisplay.Move(x, y);
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return ed.gui->IsMenuOpen(); }));
  xcb_get_geometry_reply_t* geo = xcb_get_geometry_reply(
      mDisplay.Conn(), xcb_get_geometry(mDisplay.Conn(), mDisplay.TopOfRoot()), nullptr);
  ASSERT_NE(geo, nullptr);
  const int itemH = (geo->height - 6) / 3;
  mDisplay.Move(geo->x + 30, geo->y + 3 + itemH * 2 + itemH / 2); // "Lead"
  free(geo);
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsMenuOpen(); }));
  EXPECT_TRUE(WaitFor([&] { return ed.plug.ParamValue(1) == 2.0; }));
  ed.plug.HostClose();
}

TEST_F(X11Editor, MenuSkipsSeparatorsAndDisabledItemsAndAnswersFromSubmenus)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.gain->mCustomMenu = true;
  struct
  {
    std::vector<xcb_keysym_t> keys;
    const char* answer;
  } const cases[] = {
      {{0xff54, 0xff0d}, "menu main 0"},                        // Down: One
      {{0xff54, 0xff54, 0xff54, 0xff0d}, "menu main 4"},        // past the separator, Off and More
      {{0xff52, 0xff0d}, "menu main 4"},                        // Up from nothing: the last
      {{0xff52, 0xff52, 0xff53, 0xff54, 0xff0d}, "menu sub 1"}, // More, Right, Beta
      {{0xff52, 0xff52, 0xff53, 0xff51, 0xff1b}, "menu none"},  // Left closes the submenu
      {{0xff52, 0xff52, 0xff0d, 0xff0d}, "menu sub 0"},         // Return opens it too
  };
  for (const auto& c : cases)
  {
    ed.gain->Clear();
    mDisplay.Move(RX(60), RY(40));
    mDisplay.Click(1);
    ASSERT_TRUE(WaitFor([&] { return ed.gui->IsMenuOpen(); }));
    for (xcb_keysym_t k : c.keys) mDisplay.Key(k);
    ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsMenuOpen(); })) << c.answer;
    EXPECT_TRUE(WaitFor([&] { return ed.gain->Count(c.answer) == 1; })) << c.answer;
  }

  // The pointer: hovering More opens the submenu beside it; a click on Alpha answers.
  ed.gain->Clear();
  mDisplay.Move(RX(60), RY(40));
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return ed.gui->IsMenuOpen(); }));
  const xcb_window_t main = mDisplay.TopOfRoot();
  xcb_get_geometry_reply_t* geo =
      xcb_get_geometry_reply(mDisplay.Conn(), xcb_get_geometry(mDisplay.Conn(), main), nullptr);
  ASSERT_NE(geo, nullptr);
  const int rowH = (geo->height - 6 - 7) / 4; // four rows and a separator between the pads
  mDisplay.Move(geo->x + 30, geo->y + 3 + 2 * rowH + 7 + rowH / 2); // "More"
  free(geo);
  ASSERT_TRUE(WaitFor([&] { return mDisplay.TopOfRoot() != main; }));
  geo = xcb_get_geometry_reply(mDisplay.Conn(),
                               xcb_get_geometry(mDisplay.Conn(), mDisplay.TopOfRoot()), nullptr);
  ASSERT_NE(geo, nullptr);
  mDisplay.Move(geo->x + 30, geo->y + 3 + rowH / 2); // "Alpha"
  free(geo);
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsMenuOpen(); }));
  EXPECT_TRUE(WaitFor([&] { return ed.gain->Count("menu sub 0") == 1; }));
  ed.plug.HostClose();
}

TEST_F(X11Editor, HostClosesWhileAMenuIsOpen)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.mode->mPrompt = true;
  mDisplay.Move(RX(150), RY(40));
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return ed.gui->IsMenuOpen(); }));
  ed.plug.HostClose(); // lock held: must not wait for a thread that needs the lock
  EXPECT_EQ(ed.gui->GetWindow(), nullptr);
  EXPECT_TRUE(WaitFor([&] { return !ed.gui->IsMenuOpen(); }));
  EXPECT_EQ(ed.plug.ParamValue(1), 0.0);
  ASSERT_NE(Open(ed), nullptr) << "reopens (and reaps the parked thread)";
  ed.plug.HostClose();
}

TEST_F(X11Editor, TextEntryFiltersLimitsCommitsAndCancels)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.gain->mPrompt = true;
  auto openEntry = [&]
  {
    mDisplay.Move(RX(60), RY(40));
    mDisplay.Click(1);
    return WaitFor([&] { return ed.gui->IsTextEntryOpen(); });
  };

  // Typing replaces the initial text; letters are refused for a number.
  ASSERT_TRUE(openEntry());
  mDisplay.Type("0.2x5");
  mDisplay.Key(0xff0d);
  ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsTextEntryOpen(); }));
  EXPECT_TRUE(WaitFor([&] { return std::abs(ed.plug.ParamValue(0) - 0.25) < 1e-9; }));

  // Seven characters at most (the control's entry length); backspace edits.
  ASSERT_TRUE(openEntry());
  mDisplay.Type("0.12345678");
  mDisplay.Key(0xff08);
  mDisplay.Type("9");
  mDisplay.Key(0xff8d); // keypad Enter
  ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsTextEntryOpen(); }));
  EXPECT_TRUE(WaitFor([&] { return std::abs(ed.plug.ParamValue(0) - 0.12349) < 1e-9; }));

  // Escape cancels; a click elsewhere commits (focus loss).
  ASSERT_TRUE(openEntry());
  mDisplay.Type("0.9");
  mDisplay.Key(0xff1b);
  ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsTextEntryOpen(); }));
  EXPECT_NEAR(ed.plug.ParamValue(0), 0.12349, 1e-9);
  ASSERT_TRUE(openEntry());
  mDisplay.Type("0.75");
  ed.gain->mPrompt = false;
  mDisplay.Move(RX(150), RY(100));
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return !ed.gui->IsTextEntryOpen(); }));
  EXPECT_TRUE(WaitFor([&] { return std::abs(ed.plug.ParamValue(0) - 0.75) < 1e-9; }));

  // The host closing with an entry open just closes it.
  ed.gain->mPrompt = true;
  ASSERT_TRUE(openEntry());
  ed.plug.HostClose();
  EXPECT_FALSE(ed.gui->IsTextEntryOpen());
  EXPECT_NEAR(ed.plug.ParamValue(0), 0.75, 1e-9);
}

TEST_F(X11Editor, ControlVPastesTheClipboardIntoTheTextEntry)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.gain->mPrompt = true;

  // Another client owns CLIPBOARD and answers conversions on a thread of its own.
  Display owner;
  const xcb_atom_t clipboard = owner.Atom("CLIPBOARD"), utf8 = owner.Atom("UTF8_STRING");
  const xcb_window_t holder = owner.MakeParent(700, 700, 4, 4);
  xcb_set_selection_owner(owner.Conn(), holder, clipboard, XCB_CURRENT_TIME);
  owner.Sync();
  std::atomic<bool> stop{false};
  std::atomic<int> served{0};
  std::thread server(
      [&]
      {
        xcb_connection_t* c = owner.Conn();
        while (!stop)
        {
          xcb_generic_event_t* ev = xcb_poll_for_event(c);
          if (!ev)
          {
            Sleep(2);
            continue;
          }
          if ((ev->response_type & 0x7f) == XCB_SELECTION_REQUEST)
          {
            const auto* req = reinterpret_cast<xcb_selection_request_event_t*>(ev);
            xcb_selection_notify_event_t note{};
            note.response_type = XCB_SELECTION_NOTIFY;
            note.time = req->time;
            note.requestor = req->requestor;
            note.selection = req->selection;
            note.target = req->target;
            note.property = XCB_NONE;
            if (req->target == utf8)
            {
              xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, utf8, 8,
                                  4, "0.5\n");
              note.property = req->property;
            }
            xcb_send_event(c, 0, req->requestor, 0, reinterpret_cast<const char*>(&note));
            xcb_flush(c);
            ++served;
          }
          free(ev);
        }
      });

  mDisplay.Move(RX(60), RY(40));
  mDisplay.Click(1);
  ASSERT_TRUE(WaitFor([&] { return ed.gui->IsTextEntryOpen(); }));
  mDisplay.Key('v', Display::kControl);
  mDisplay.Key(0xff0d);
  EXPECT_TRUE(WaitFor([&] { return !ed.gui->IsTextEntryOpen(); }));
  EXPECT_TRUE(WaitFor([&] { return std::abs(ed.plug.ParamValue(0) - 0.5) < 1e-9; }));
  EXPECT_EQ(served.load(), 1);
  stop = true;
  server.join();
  ed.plug.HostClose();
}

TEST_F(X11Editor, ServerGoingAwayClosesTheEditor)
{
  Xvfb server; // a second private server, killed under the open editor
  if (!server.Start()) GTEST_SKIP() << "no Xvfb";
  const std::string saved = std::getenv("DISPLAY");
  setenv("DISPLAY", server.mDisplay.c_str(), 1);
  {
    Display other;
    ASSERT_TRUE(other.Ok());
    Editor ed;
    const xcb_window_t parent = other.MakeParent();
    ASSERT_NE(ed.plug.HostOpen((void*)(uintptr_t)parent), nullptr);
    EXPECT_TRUE(WaitFor([&] { return ed.gui->PresentCount() > 0; }));
    // The host keeps automating, so the editor is writing to the socket when the server dies
    // (a broken pipe must not end the process).
    std::atomic<bool> stop{false};
    std::thread automation(
        [&]
        {
          for (int i = 0; !stop; ++i)
          {
            ed.plug.HostSetParam(0, (i % 100) / 100.0);
            Sleep(1);
          }
        });
    Sleep(100);
    server.Stop();
    EXPECT_TRUE(WaitFor([&] { return ed.gui->GetWindow() == nullptr; }));
    stop = true;
    automation.join();
    ed.plug.HostClose();
    EXPECT_EQ(ed.plug.HostOpen((void*)(uintptr_t)parent), nullptr) << "no server: null";
  }
  setenv("DISPLAY", saved.c_str(), 1);
}

TEST(X11EditorNoDisplay, ConstructingTouchesNoServer)
{
  const char* d = std::getenv("DISPLAY");
  const std::string saved = d ? d : "";
  setenv("DISPLAY", ":4712", 1); // any attempt to connect would fail visibly below
  {
    Editor ed;
    EXPECT_EQ(ed.gui->GetWindow(), nullptr);
    EXPECT_STREQ(ed.gui->GetGUIAPI(), "X11 GUI");
    EXPECT_FALSE(ed.gui->OnEditorThread());
    // Entry points that need the editor thread do nothing elsewhere.
    IRECT r(0, 0, 10, 10);
    EXPECT_FALSE(ed.gui->DrawScreen(&r));
    ed.gui->ForceEndUserEdit();
    WDL_String clip("x");
    EXPECT_FALSE(ed.gui->GetTextFromClipboard(&clip));
    EXPECT_STREQ(clip.Get(), "");
  }
  if (d)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

TEST(X11EditorImages, FolderBesideThePluginOverridesByBaseName)
{
  char dir[] = "/tmp/torva_x11_imgXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  torva_test::Image img;
  img.width = 3;
  img.height = 5;
  img.pixels.assign(15, 0xFF336699u);
  ASSERT_TRUE(torva_test::WritePng(std::string(dir) + "/knob.png", img));
  IGraphicsLinux::SetImageFolder(dir);
  HostPlug plug;
  IGraphicsLinux gui(&plug, 10, 10);
  struct
  {
    const char* name;
    bool found;
  } const cases[] = {
      {"resources/img/knob.png", true}, {"knob.PNG", true}, {"knob.jpg", false}, {"knob", false},
      {"no-such-image.png", false},     {nullptr, false}};
  for (const auto& c : cases)
  {
    std::unique_ptr<LICE_IBitmap> bmp(gui.OSLoadBitmap(0, c.name));
    EXPECT_EQ(bmp != nullptr, c.found) << (c.name ? c.name : "(null)");
    if (bmp)
    {
      EXPECT_EQ(bmp->getWidth(), 3);
      EXPECT_EQ(bmp->getHeight(), 5);
      EXPECT_EQ(bmp->getBits()[0], 0xFF336699u);
    }
  }
  IGraphicsLinux::SetImageFolder("");
  std::remove((std::string(dir) + "/knob.png").c_str());
  rmdir(dir);
}

TEST(X11EditorImages, EmbeddingStepTablesEveryPngByBaseName)
{
  char dir[] = "/tmp/torva_x11_embedXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string folder = dir, out = folder + "/table.cpp";
  auto run = [&]
  {
    const std::string cmd = std::string("\"") + TORVA_CMAKE_COMMAND + "\" -DIMG_DIR=" + folder +
                            " -DOUT=" + out + " -P \"" + TORVA_EMBED_SCRIPT + "\"";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream in(out);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };

  // An empty folder: an empty table that still compiles (one placeholder entry).
  std::string table = run();
  EXPECT_NE(table.find("const int kCount = 0;"), std::string::npos) << table;

  torva_test::Image img;
  img.width = 2;
  img.height = 2;
  img.pixels.assign(4, 0xFF102030u);
  ASSERT_TRUE(torva_test::WritePng(folder + "/Knob \"1\".png", img));
  ASSERT_TRUE(torva_test::WritePng(folder + "/bg.v2.png", img)); // only the last extension goes
  {
    std::ofstream(folder + "/notes.txt") << "not an image";
  }
  struct stat st;
  ASSERT_EQ(stat((folder + "/bg.v2.png").c_str(), &st), 0);
  table = run();
  EXPECT_NE(table.find("const int kCount = 2;"), std::string::npos) << table;
  EXPECT_NE(table.find("{\"bg.v2\", kData1, " + std::to_string(st.st_size) + "}"),
            std::string::npos);
  EXPECT_NE(table.find("{\"Knob \\\"1\\\"\", kData0, "), std::string::npos) << "quotes escaped";
  EXPECT_NE(table.find("0x89,0x50,0x4e,0x47,0x0d,0x0a,0x1a,0x0a,"), std::string::npos);
  EXPECT_EQ(table.find("notes"), std::string::npos);
  for (const char* f : {"/Knob \"1\".png", "/bg.v2.png", "/notes.txt", "/table.cpp"})
    std::remove((folder + f).c_str());
  rmdir(dir);
}

TEST(X11EditorServices, OpenURLRunsXdgOpenWithoutAShell)
{
  char dir[] = "/tmp/torva_x11_urlXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string script = std::string(dir) + "/xdg-open", out = std::string(dir) + "/args";
  {
    std::ofstream f(script);
    f << "#!/bin/sh\nprintf '%s|' \"$@\" > " << out << ".tmp && /bin/mv " << out << ".tmp " << out
      << "\n";
  }
  chmod(script.c_str(), 0755);
  const char* path = std::getenv("PATH");
  const std::string savedPath = path ? path : "";
  setenv("PATH", dir, 1);
  HostPlug plug;
  IGraphicsLinux gui(&plug, 10, 10);
  const char* url = "https://example.invalid/a b;$(touch /tmp/torva_x11_pwned)";
  EXPECT_TRUE(gui.OpenURL(url));
  std::string args;
  EXPECT_TRUE(WaitFor(
      [&]
      {
        std::ifstream in(out);
        return bool(std::getline(in, args));
      }));
  EXPECT_EQ(args, std::string(url) + "|");
  EXPECT_NE(access("/tmp/torva_x11_pwned", F_OK), 0);
  EXPECT_FALSE(gui.OpenURL(""));
  setenv("PATH", "/nonexistent", 1);
  EXPECT_FALSE(gui.OpenURL("https://example.invalid/")) << "no xdg-open";
  setenv("PATH", savedPath.c_str(), 1);
  std::remove(out.c_str());
  std::remove(script.c_str());
  rmdir(dir);
}

TEST(X11EditorServices, PathsFollowTheXdgUserDirectories)
{
  char dir[] = "/tmp/torva_x11_homeXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string home = dir;
  mkdir((home + "/.config").c_str(), 0755);
  {
    std::ofstream f(home + "/.config/user-dirs.dirs");
    f << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_MUSIC_DIR=\"/srv/music\"\n";
  }
  const char* h = std::getenv("HOME");
  const std::string savedHome = h ? h : "";
  setenv("HOME", dir, 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
  HostPlug plug;
  IGraphicsLinux gui(&plug, 10, 10);
  WDL_String s;
  gui.DesktopPath(&s);
  EXPECT_EQ(std::string(s.Get()), home + "/Schreibtisch");
  gui.SandboxSafeAppSupportPath(&s);
  EXPECT_STREQ(s.Get(), "/srv/music");
  gui.AppSupportPath(&s, false);
  EXPECT_EQ(std::string(s.Get()), home + "/.local/share");
  gui.HostPath(&s);
  EXPECT_NE(std::string(s.Get()).find("test_x11"), std::string::npos);
  gui.PluginPath(&s);
  EXPECT_EQ(s.Get()[std::strlen(s.Get()) - 1], '/');
  setenv("HOME", savedHome.c_str(), 1);
  std::remove((home + "/.config/user-dirs.dirs").c_str());
  rmdir((home + "/.config").c_str());
  rmdir(dir);
}

} // namespace
