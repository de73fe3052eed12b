// The X11 editor host driven as a host and a user would: parent windows on a connection of
// the test's own, pictures read back from the server, pointer and keys through XTest.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

#include "X11TestSupport.h"
#include "support/TempFiles.h"
#include "support/golden.h"

using namespace x11test;

namespace
{
constexpr xcb_keysym_t kLeft = 0xff51, kUp = 0xff52, kRight = 0xff53, kDown = 0xff54;
constexpr xcb_keysym_t kReturn = 0xff0d, kEscape = 0xff1b, kKeypadEnter = 0xff8d;

class X11Editor : public XServerTest
{
protected:
  // Opens the editor into a new parent at (x, y); waits for its first picture.
  void* Open(Editor& ed, int x = 0, int y = 0)
  {
    mParent = D().MakeParent(x, y);
    const int before = ed.gui->PresentCount();
    void* win = ed.plug.HostOpen(mParent);
    EXPECT_TRUE(!win || WaitFor([&] { return ed.gui->PresentCount() > before; }));
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
          screen = WindowPicture(D(), ed.Window(), Editor::kW, Editor::kH).pixels;
          back = BackBitmap(ed.gui);
          return count == ed.gui->PresentCount() && screen == back;
        });
    ASSERT_EQ(screen.size(), back.size());
    EXPECT_TRUE(same) << "window picture differs from the back bitmap";
    for (size_t i = 0, shown = 0; !same && i < screen.size() && shown < 5; ++i)
      if (screen[i] != back[i] && ++shown)
        ADD_FAILURE() << "at " << i % Editor::kW << "," << i / Editor::kW << std::hex << " screen "
                      << screen[i] << " back " << back[i];
  }

  // A click at (x, y) of the editor at the root's origin, which opens a menu or text entry.
  void OpenPopup(int x, int y, bool menu = true)
  {
    D().Move(x, y);
    D().Click(1);
    ASSERT_TRUE(
        WaitFor([&] { return menu ? mEd->gui->IsMenuOpen() : mEd->gui->IsTextEntryOpen(); }));
  }
  void ExpectPopupClosed()
  {
    ASSERT_TRUE(WaitFor([&] { return !mEd->gui->IsMenuOpen() && !mEd->gui->IsTextEntryOpen(); }));
  }
  void ExpectValue(int idx, double v)
  {
    EXPECT_TRUE(WaitFor([&] { return std::abs(mEd->plug.ParamValue(idx) - v) < 1e-9; }))
        << "parameter " << idx << " is " << mEd->plug.ParamValue(idx) << ", expected " << v;
  }

  xcb_window_t mParent = 0; // of the last Open
  Editor* mEd = nullptr;    // of the popup helpers
};

TEST_F(X11Editor, OpenFailuresLeaveNothingBehind)
{
  Editor ed;
  const int fds = OpenFDs();
  const xcb_window_t parent = D().MakeParent();
  EXPECT_EQ(ed.plug.HostOpen(0), nullptr) << "null parent";
  EXPECT_EQ(ed.plug.HostOpen(0x3fffff0), nullptr) << "unknown parent id";
  for (const char* display : {":4711", (const char*)nullptr}) // unreachable, and none at all
  {
    ScopedEnv env("DISPLAY", display);
    EXPECT_EQ(ed.plug.HostOpen(parent), nullptr) << (display ? display : "unset");
  }
  EXPECT_EQ(ed.gui->GetWindow(), nullptr);
  EXPECT_EQ(D().Children(parent), 0);
  EXPECT_EQ(OpenFDs(), fds);
  ed.plug.HostClose(); // harmless when closed
  EXPECT_NE(ed.plug.HostOpen(parent), nullptr) << "and a good open works";
  ed.plug.HostClose();
}

TEST_F(X11Editor, WindowShowsTheBackBitmapAndFollowsTheHost)
{
  for (const char* noShm : {"0", "1"}) // shared-memory and plain put-image presentation
  {
    SCOPED_TRACE(std::string("TORVA_X11_NO_SHM=") + noShm);
    ScopedEnv env("TORVA_X11_NO_SHM", noShm);
    Editor ed;
    void* win = Open(ed);
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(ed.gui->GetWindow(), win);
    EXPECT_EQ(D().Children(mParent), 1);
    ExpectPictureMatches(ed);

    // A host automation moves the control on screen within a few ticks.
    const int centre = 40 * Editor::kW + 60;
    ed.plug.HostSetParam(0, 1.0);
    EXPECT_TRUE(WaitFor(
        [&]
        {
          auto pic = WindowPicture(D(), ed.Window(), Editor::kW, Editor::kH);
          return !pic.pixels.empty() && pic.pixels[centre] == 0xFFFFFF00u;
        }));
    ExpectPictureMatches(ed);

    // A window covering the editor and going away again: the exposed part is put back.
    D().Destroy(D().MakeParent(10, 10, 100, 60));
    ExpectPictureMatches(ed);
    ed.plug.HostClose();
    EXPECT_EQ(ed.gui->GetWindow(), nullptr);
    EXPECT_EQ(D().Children(mParent), 0);
  }
}

TEST_F(X11Editor, PointerWheelAndKeysReachTheControls)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);

  // Press, drag up 10 pixels, release: a gesture the host sees bracketed.
  D().Drag(60, 40, 0, -10, 10);
  ASSERT_TRUE(WaitFor([&] { return ed.gain->Count("up") == 1; }));
  EXPECT_EQ(ed.gain->Count("down L"), 1);
  EXPECT_GE(ed.gain->Count("drag"), 1);
  EXPECT_EQ(ed.plug.Count("begin 0"), 1);
  EXPECT_GE(ed.plug.Count("automate 0"), 1);
  EXPECT_EQ(ed.plug.Count("end 0"), 1);
  EXPECT_NEAR(ed.plug.ParamValue(0), 0.6, 1e-9);

  // Right button, wheel both ways (Shift held on one), a double-click, leaving the window.
  ed.gain->Clear();
  for (int button : {3, 4, 5}) D().Click(button);
  Sleep(500); // past the double-click time
  D().Click(1);
  D().Click(1);
  D().Move(150, 100); // over the background: mouse-out for the probe
  D().Move(500, 500); // out of the editor
  ASSERT_TRUE(WaitFor([&] { return ed.gain->Count("out") >= 1 && ed.gain->Count("dbl") == 1; }));
  std::vector<std::string> clicks;
  for (const std::string& s : ed.gain->Lines())
    if (s != "over" && s != "out") clicks.push_back(s);
  EXPECT_EQ(clicks, (std::vector<std::string>{"down R", "up", "wheel 1", "wheel -1", "down L", "up",
                                              "dbl", "up"}));

  // A control that hides the cursor while pressed puts it back where it was hidden.
  ed.gain->mHideCursor = true;
  ed.gain->Clear();
  Sleep(500);
  D().Drag(60, 40, 30, 15, 30);
  ASSERT_TRUE(WaitFor([&] { return ed.gain->Count("up") == 1; }));
  EXPECT_TRUE(WaitFor([&] { return D().Pointer() == std::make_pair(60, 40); }));

  // Keys go to the control under the last pointer position, mapped to the editor's codes;
  // keys without a code are not delivered.
  D().Focus(ed.Window());
  struct
  {
    xcb_keysym_t sym, modifier;
    int code; // -1: not delivered
  } const cases[] = {{' ', 0, 0},
                     {kUp, 0, 1},
                     {kDown, 0, 2},
                     {kLeft, 0, 3},
                     {kRight, 0, 4},
                     {'0', 0, 5},
                     {'9', 0, 14},
                     {'a', 0, 15},
                     {'q', 0, 31},
                     {'z', 0, 40},
                     {'q', Display::kShift, 31},
                     {0xffbe /* F1 */, 0, -1},
                     {kEscape, 0, -1}};
  for (const auto& c : cases)
  {
    ed.gain->Clear();
    D().Key(c.sym, c.modifier);
    D().Key('m'); // a marker: once it arrived, so did (or not) the key before it
    ASSERT_TRUE(WaitFor([&] { return ed.gain->Count("key 27") == 1; })) << c.sym;
    std::vector<std::string> keys;
    for (const std::string& s : ed.gain->Lines())
      if (s.rfind("key ", 0) == 0) keys.push_back(s);
    keys.pop_back();
    EXPECT_EQ(keys, c.code < 0 ? std::vector<std::string>{}
                               : std::vector<std::string>{"key " + std::to_string(c.code)})
        << "keysym " << c.sym;
  }
  ed.plug.HostClose();
}

TEST_F(X11Editor, ReopensWithoutLeaksAndSurvivesItsParent)
{
  Editor ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.plug.HostClose();
  const int fds = OpenFDs();
  for (int i = 0; i < 10; ++i)
  {
    const int presented = ed.gui->PresentCount();
    ASSERT_NE(ed.plug.HostOpen(mParent), nullptr) << "open " << i;
    EXPECT_EQ(D().Children(mParent), 1);
    EXPECT_TRUE(WaitFor([&] { return ed.gui->PresentCount() > presented; }));
    if (i % 2) // an open without a close in between replaces the window
    {
      ASSERT_NE(ed.plug.HostOpen(mParent), nullptr);
      EXPECT_EQ(D().Children(mParent), 1);
    }
    ed.plug.HostClose();
    EXPECT_EQ(D().Children(mParent), 0);
  }
  EXPECT_EQ(OpenFDs(), fds);

  // The parent destroyed before the close ends the editor quietly; it reopens into a new one.
  ASSERT_NE(Open(ed), nullptr);
  D().Destroy(mParent);
  EXPECT_TRUE(WaitFor([&] { return ed.gui->GetWindow() == nullptr; }));
  ed.plug.HostSetParam(0, 0.9); // a host still automating: nothing to draw on, no harm
  Sleep(50);
  ed.plug.HostClose();
  ed.plug.HostClose();
  ASSERT_NE(Open(ed), nullptr);
  ExpectPictureMatches(ed);
  ed.plug.HostClose();
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
  D().Move(360, 40);
  D().Click(1);
  ASSERT_TRUE(WaitFor([&] { return b.gain->Count("up") == 1; }));
  EXPECT_EQ(a.gain->Count("down L"), 0);
  a.plug.HostClose();
  D().Click(1);
  ASSERT_TRUE(WaitFor([&] { return b.gain->Count("up") == 2; }));
  b.plug.HostSetParam(0, 1.0);
  ExpectPictureMatches(b);
  b.plug.HostClose();
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
  D().Move(60, 40);
  D().Button(1, true);
  EXPECT_TRUE(WaitFor([&] { return D().Children(mParent) == 0; }));
  D().Button(1, false);
  EXPECT_TRUE(closedOnEditorThread);
  EXPECT_EQ(ed.gui->GetWindow(), nullptr);
  EXPECT_EQ(ed.gain->Count("down L"), 1) << "the press that began it still finished";

  ASSERT_NE(ed.plug.HostOpen(mParent), nullptr) << "and the host reopens";
  ed.plug.HostClose();
  // And the plug-in going away right after a self-close: the destructor joins the thread.
  ASSERT_NE(Open(ed), nullptr);
  ed.plug.OnNextBegin([&] { ed.gui->CloseWindow(); });
  D().Click(1);
  EXPECT_TRUE(WaitFor([&] { return D().Children(mParent) == 0; }));
}

TEST_F(X11Editor, HostClosesWhileTheUserDrags)
{
  // The host closes and reopens while the editor thread keeps pushing dragged values through
  // the plug-in lock: the close must neither deadlock nor crash, and every begin gets its end.
  Editor ed;
  const xcb_window_t parent = D().MakeParent();
  std::atomic<bool> stop{false};
  Display hand; // connected here: libXau's lookup is not safe on two threads at once
  std::thread user(
      [&]
      {
        while (!stop) hand.Drag(60, 40, 0, -5, 5);
      });
  for (int i = 0; i < 12; ++i)
  {
    ASSERT_NE(ed.plug.HostOpen(parent), nullptr);
    Sleep(40);
    ed.plug.HostClose();
  }
  stop = true;
  user.join();
  EXPECT_EQ(D().Children(parent), 0);
  EXPECT_GT(ed.plug.Count("begin 0"), 0) << "the user did reach the editor";
  EXPECT_EQ(ed.plug.Count("begin 0"), ed.plug.Count("end 0"));
}

// Every begin-edit the host hears gets exactly one end-edit, and the values of a gesture arrive
// between the two: a drag cut short by the host closing the editor, a double-click reset, a
// menu's choice and a typed value (a gesture of its own after the click that opened the entry).
TEST_F(X11Editor, EveryGestureCloses)
{
  struct Row
  {
    const char* name;
    std::function<void(Editor&)> act;
    std::vector<std::string> heard; // runs of one automate shown once
  } const rows[] = {
      {"drag, host closes mid-way",
       [this](Editor& ed)
       {
         D().Move(60, 40);
         D().Button(1, true);
         for (int y = 38; y > 20; y -= 3) D().Move(60, y);
         ASSERT_TRUE(WaitFor([&] { return ed.plug.Count("automate 0") > 0; }));
         ed.plug.HostClose();
         D().Button(1, false);
       },
       {"begin 0", "automate 0", "end 0"}},
      {"double-click reset",
       [this](Editor& ed)
       {
         ed.plug.HostSetParam(0, 0.9);
         D().Move(60, 40);
         D().Click(1);
         D().Click(1);
       },
       {"begin 0", "end 0", "begin 0", "automate 0", "end 0"}},
      {"menu choice",
       [this](Editor& ed)
       {
         ed.mode->mPrompt = true;
         OpenPopup(150, 40);
         for (xcb_keysym_t k : {kDown, kDown, kReturn}) D().Key(k);
       },
       {"begin 1", "automate 1", "end 1"}},
      {"typed value",
       [this](Editor& ed)
       {
         ed.gain->mPrompt = true;
         OpenPopup(60, 40, false);
         D().Type("0.25");
         D().Key(kReturn);
       },
       {"begin 0", "end 0", "begin 0", "automate 0", "end 0"}},
  };
  for (const Row& row : rows)
  {
    SCOPED_TRACE(row.name);
    Editor ed;
    mEd = &ed;
    ASSERT_NE(Open(ed), nullptr);
    row.act(ed);
    auto ends = [](const std::vector<std::string>& lines)
    {
      return std::count_if(lines.begin(), lines.end(),
                           [](const std::string& s) { return s.rfind("end", 0) == 0; });
    };
    ASSERT_TRUE(WaitFor([&] { return ends(ed.plug.Lines()) == ends(row.heard); }));
    Sleep(100); // nothing more on the way
    std::vector<std::string> heard;
    for (const std::string& s : ed.plug.Lines())
      if (heard.empty() || s != heard.back()) heard.push_back(s);
    EXPECT_EQ(heard, row.heard);
    ed.plug.HostClose();
    Sleep(500); // past the double-click time of the next row's first click
  }
}

// The parameter prompt's menu: keys, Escape, a click outside, a click on an item, and the host
// closing while it is open; then a custom menu with a submenu.
TEST_F(X11Editor, Menus)
{
  Editor ed;
  mEd = &ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.mode->mPrompt = true;

  // Down, Down, Return: the second display text.
  OpenPopup(150, 40);
  EXPECT_NE(D().TopOfRoot(), ed.Window());
  for (xcb_keysym_t k : {kDown, kDown, kReturn}) D().Key(k);
  ExpectPopupClosed();
  ExpectValue(1, 1.0);
  EXPECT_EQ(ed.plug.Count("automate 1"), 1);

  // Escape, and a click outside: closed without a choice, value unchanged.
  for (bool escape : {true, false})
  {
    OpenPopup(150, 40);
    if (escape)
      D().Key(kEscape);
    else
    {
      D().Move(600, 400);
      D().Click(1);
    }
    ExpectPopupClosed();
  }
  EXPECT_EQ(ed.plug.ParamValue(1), 1.0);

  // A click on an item: the menu's top-left lies under the control; items follow its padding.
  OpenPopup(150, 40);
  const Display::Rect menu = D().Geometry(D().TopOfRoot());
  const int itemH = (menu.h - 6) / 3;
  D().Move(menu.x + 30, menu.y + 3 + itemH * 2 + itemH / 2); // "Lead"
  D().Click(1);
  ExpectPopupClosed();
  ExpectValue(1, 2.0);

  // The host closing while the menu is open: closed without a choice.
  OpenPopup(150, 40);
  ed.plug.HostClose();
  EXPECT_EQ(ed.gui->GetWindow(), nullptr);
  ExpectPopupClosed();
  EXPECT_EQ(ed.plug.ParamValue(1), 2.0);
  ASSERT_NE(Open(ed), nullptr) << "reopens";

  // A menu of the control's own skips separators and disabled items and answers from submenus.
  ed.gain->mCustomMenu = true;
  struct
  {
    std::vector<xcb_keysym_t> keys;
    const char* answer;
  } const cases[] = {
      {{kDown, kReturn}, "menu main 0"},                  // One
      {{kDown, kDown, kDown, kReturn}, "menu main 4"},    // past the separator, Off and More
      {{kUp, kReturn}, "menu main 4"},                    // Up from nothing: the last
      {{kUp, kUp, kRight, kDown, kReturn}, "menu sub 1"}, // More, Right, Beta
      {{kUp, kUp, kRight, kLeft, kEscape}, "menu none"},  // Left closes the submenu
      {{kUp, kUp, kReturn, kReturn}, "menu sub 0"}        // Return opens it too
  };
  for (const auto& c : cases)
  {
    ed.gain->Clear();
    OpenPopup(60, 40);
    for (xcb_keysym_t k : c.keys) D().Key(k);
    ExpectPopupClosed();
    EXPECT_TRUE(WaitFor([&] { return ed.gain->Count(c.answer) == 1; })) << c.answer;
  }

  // The pointer: hovering More opens the submenu beside it; a click on Alpha answers.
  ed.gain->Clear();
  OpenPopup(60, 40);
  const xcb_window_t main = D().TopOfRoot();
  const Display::Rect m = D().Geometry(main);
  const int rowH = (m.h - 6 - 7) / 4; // four rows and a separator between the pads
  D().Move(m.x + 30, m.y + 3 + 2 * rowH + 7 + rowH / 2); // "More"
  ASSERT_TRUE(WaitFor([&] { return D().TopOfRoot() != main; }));
  const Display::Rect sub = D().Geometry(D().TopOfRoot());
  D().Move(sub.x + 30, sub.y + 3 + rowH / 2); // "Alpha"
  D().Click(1);
  ExpectPopupClosed();
  EXPECT_TRUE(WaitFor([&] { return ed.gain->Count("menu sub 0") == 1; }));
  ed.plug.HostClose();
}

TEST_F(X11Editor, TextEntryFiltersLimitsCommitsCancelsAndPastes)
{
  Editor ed;
  mEd = &ed;
  ASSERT_NE(Open(ed), nullptr);
  ed.gain->mPrompt = true;
  struct
  {
    const char* typed;
    xcb_keysym_t end; // 0: a click elsewhere (focus loss)
    double value;
  } const cases[] = {
      {"0.2x5", kReturn, 0.25},                 // replaces the initial text; no letters
      {"0.12345678\b9", kKeypadEnter, 0.12349}, // seven characters at most; backspace edits
      {"0.9", kEscape, 0.12349},                // cancels
      {"0.75", 0, 0.75}                         // commits
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.typed);
    OpenPopup(60, 40, false);
    D().Type(c.typed);
    if (c.end)
      D().Key(c.end);
    else
    {
      ed.gain->mPrompt = false;
      D().Move(150, 100);
      D().Click(1);
    }
    ExpectPopupClosed();
    ExpectValue(0, c.value);
    ed.gain->mPrompt = true;
  }

  // Control-V pastes what another client owning CLIPBOARD hands over as UTF-8.
  Display owner;
  const xcb_atom_t utf8 = owner.Atom("UTF8_STRING");
  xcb_set_selection_owner(owner.Conn(), owner.MakeParent(700, 700, 4, 4), owner.Atom("CLIPBOARD"),
                          XCB_CURRENT_TIME);
  owner.Sync();
  OpenPopup(60, 40, false);
  D().Key('v', Display::kControl);
  xcb_generic_event_t* ev = nullptr;
  ASSERT_TRUE(WaitFor(
      [&]
      {
        free(ev);
        ev = xcb_poll_for_event(owner.Conn());
        return ev && (ev->response_type & 0x7f) == XCB_SELECTION_REQUEST;
      }));
  const auto* req = reinterpret_cast<xcb_selection_request_event_t*>(ev);
  EXPECT_EQ(req->target, utf8);
  xcb_change_property(owner.Conn(), XCB_PROP_MODE_REPLACE, req->requestor, req->property, utf8, 8,
                      4, "0.5\n");
  const xcb_selection_notify_event_t note{
      XCB_SELECTION_NOTIFY, 0, 0, req->time, req->requestor, req->selection, req->target,
      req->property};
  xcb_send_event(owner.Conn(), 0, req->requestor, 0, reinterpret_cast<const char*>(&note));
  owner.Sync();
  free(ev);
  D().Key(kReturn);
  ExpectPopupClosed();
  ExpectValue(0, 0.5);

  // The host closing with an entry open just closes it.
  OpenPopup(60, 40, false);
  ed.plug.HostClose();
  EXPECT_FALSE(ed.gui->IsTextEntryOpen());
  EXPECT_NEAR(ed.plug.ParamValue(0), 0.5, 1e-9);
}

TEST_F(X11Editor, ServerGoingAwayClosesTheEditor)
{
  Xvfb server; // a second private server, killed under the open editor
  if (!server.Start()) GTEST_SKIP() << "no Xvfb";
  ScopedEnv env("DISPLAY", server.mDisplay.c_str());
  Display other;
  ASSERT_TRUE(other.Ok());
  Editor ed;
  const xcb_window_t parent = other.MakeParent();
  ASSERT_NE(ed.plug.HostOpen(parent), nullptr);
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
  EXPECT_EQ(ed.plug.HostOpen(parent), nullptr) << "no server: null";
}

TEST(X11EditorNoDisplay, ConstructingTouchesNoServer)
{
  ScopedEnv env("DISPLAY", ":4712"); // any attempt to connect would fail visibly below
  Editor ed;
  EXPECT_EQ(ed.gui->GetWindow(), nullptr);
  EXPECT_FALSE(ed.gui->OnEditorThread());
  // Entry points that need the editor thread do nothing elsewhere.
  IRECT r(0, 0, 10, 10);
  EXPECT_FALSE(ed.gui->DrawScreen(&r));
  ed.gui->ForceEndUserEdit();
  WDL_String clip("x");
  EXPECT_FALSE(ed.gui->GetTextFromClipboard(&clip));
  EXPECT_STREQ(clip.Get(), "");
}

torva_test::Image Solid(int w, int h, uint32_t colour)
{
  torva_test::Image img;
  img.width = w;
  img.height = h;
  img.pixels.assign(size_t(w * h), colour);
  return img;
}

TEST(X11EditorImages, FolderBesideThePluginOverridesByBaseName)
{
  torva_test::TempDir dir;
  ASSERT_TRUE(torva_test::WritePng(dir / "knob.png", Solid(3, 5, 0xFF336699u)));
  IGraphicsLinux::SetImageFolder(dir.Path().c_str());
  HostPlug plug;
  IGraphicsLinux gui(&plug, 10, 10);
  const std::pair<const char*, bool> cases[] = {
      {"resources/img/knob.png", true}, {"knob.PNG", true}, {"knob.jpg", false}, {"knob", false},
      {"no-such-image.png", false},     {nullptr, false}};
  for (const auto& [name, found] : cases)
  {
    std::unique_ptr<LICE_IBitmap> bmp(gui.OSLoadBitmap(0, name));
    ASSERT_EQ(bmp != nullptr, found) << (name ? name : "(null)");
    EXPECT_TRUE(!bmp || (bmp->getWidth() == 3 && bmp->getHeight() == 5 &&
                         bmp->getBits()[0] == 0xFF336699u));
  }
  IGraphicsLinux::SetImageFolder("");
}

TEST(X11EditorImages, EmbeddingStepTablesEveryPngByBaseName)
{
  torva_test::TempDir dir;
  const std::string out = dir / "table.cpp";
  auto run = [&]
  {
    const std::string cmd = std::string("\"") + TORVA_CMAKE_COMMAND + "\" -DIMG_DIR=" + dir.Path() +
                            " -DOUT=" + out + " -P \"" + TORVA_EMBED_SCRIPT + "\"";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return torva_test::ReadText(out);
  };

  // An empty folder: an empty table that still compiles (one placeholder entry).
  std::string table = run();
  EXPECT_NE(table.find("const int kCount = 0;"), std::string::npos) << table;

  ASSERT_TRUE(torva_test::WritePng(dir / "Knob \"1\".png", Solid(2, 2, 0xFF102030u)));
  ASSERT_TRUE(torva_test::WritePng(dir / "Knob copy.png", Solid(2, 2, 0xFF102030u)));
  ASSERT_TRUE(torva_test::WritePng(dir / "bg.v2.png", Solid(2, 2, 0xFF405060u)));
  ASSERT_TRUE(torva_test::WriteText(dir / "notes.txt", "not an image"));
  struct stat st;
  ASSERT_EQ(stat((dir / "bg.v2.png").c_str(), &st), 0);
  table = run();
  EXPECT_NE(table.find("const int kCount = 3;"), std::string::npos) << table;
  // Only the last extension goes; quotes are escaped; the bytes are the file's, and files with
  // equal bytes share them.
  EXPECT_NE(table.find("{\"Knob copy\", kData0, "), std::string::npos);
  EXPECT_NE(table.find("{\"bg.v2\", kData1, " + std::to_string(st.st_size) + "}"),
            std::string::npos);
  EXPECT_NE(table.find("{\"Knob \\\"1\\\"\", kData0, "), std::string::npos);
  EXPECT_NE(table.find("0x89,0x50,0x4e,0x47,0x0d,0x0a,0x1a,0x0a,"), std::string::npos);
  EXPECT_EQ(table.find("notes"), std::string::npos);
}

TEST(X11EditorServices, OpenURLRunsXdgOpenWithoutAShell)
{
  torva_test::TempDir dir;
  const std::string script = dir / "xdg-open", out = dir / "args";
  ASSERT_TRUE(torva_test::WriteText(script, "#!/bin/sh\nprintf '%s|' \"$@\" > " + out +
                                                ".tmp && /bin/mv " + out + ".tmp " + out + "\n"));
  chmod(script.c_str(), 0755);
  HostPlug plug;
  IGraphicsLinux gui(&plug, 10, 10);
  {
    ScopedEnv path("PATH", dir.Path().c_str());
    const char* url = "https://example.invalid/a b;$(touch /tmp/torva_x11_pwned)";
    EXPECT_TRUE(gui.OpenURL(url));
    EXPECT_TRUE(WaitFor([&] { return torva_test::Exists(out); }));
    EXPECT_EQ(torva_test::ReadText(out), std::string(url) + "|");
    EXPECT_NE(access("/tmp/torva_x11_pwned", F_OK), 0);
    EXPECT_FALSE(gui.OpenURL(""));
  }
  ScopedEnv path("PATH", "/nonexistent");
  EXPECT_FALSE(gui.OpenURL("https://example.invalid/")) << "no xdg-open";
}

TEST(X11EditorServices, PathsFollowTheXdgUserDirectories)
{
  torva_test::TempDir home;
  mkdir((home / ".config").c_str(), 0755);
  ASSERT_TRUE(torva_test::WriteText(
      home / ".config/user-dirs.dirs",
      "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_MUSIC_DIR=\"/srv/music\"\n"));
  ScopedEnv h("HOME", home.Path().c_str()), c("XDG_CONFIG_HOME", nullptr),
      d("XDG_DATA_HOME", nullptr);
  HostPlug plug;
  IGraphicsLinux gui(&plug, 10, 10);
  WDL_String desktop, music, data, host, plugin;
  gui.DesktopPath(&desktop);
  gui.SandboxSafeAppSupportPath(&music);
  gui.AppSupportPath(&data, false);
  gui.HostPath(&host);
  gui.PluginPath(&plugin);
  EXPECT_EQ(std::string(desktop.Get()), home / "Schreibtisch");
  EXPECT_STREQ(music.Get(), "/srv/music");
  EXPECT_EQ(std::string(data.Get()), home / ".local/share");
  EXPECT_NE(std::string(host.Get()).find("test_x11"), std::string::npos);
  EXPECT_EQ(std::string(plugin.Get()).back(), '/');
}

} // namespace
