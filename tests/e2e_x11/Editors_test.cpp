// The editors of TORVA.so and TORVACab.so, as a host and a user meet them under a private Xvfb:
// the host's parent window on a connection of the test's own, pictures read back from the server
// against golden sheets, pointer and keys through XTest; for the amplifier the window's lifecycle
// and hosts that call back in from inside the editor's notifications, for both the presets menu,
// for the cabinet its impulse responses chosen every way its file window offers. Skips when
// there is no Xvfb.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include <cstdlib>

#include "TORVACab/CabLayout.h"
#include "framework/fxfile/PresetFolder.h"
#include "support/TempFiles.h"
#include "support/TestHost.h"
#include "support/golden.h"
#include "x11/X11TestSupport.h"

using namespace x11test;

namespace
{
constexpr int kW = 1024, kH = 285;
constexpr int kKnobSize = 72, kKnobY = 100; // 72 x 72 frames, one row at y = 100
constexpr int kBassX = 514, kTrebleX = 357, kSwitchX = 127, kSwitchW = 56;
constexpr int kBass = 0, kTreble = 4, kBypass = 7;
constexpr int kKnobCentreY = kKnobY + kKnobSize / 2, kBassCentreX = kBassX + kKnobSize / 2;

// One plug-in instance (of TORVA.so unless told) and the host's side of it: every request it
// makes is logged (from any thread), and a test may hand the host one action to run inside the
// next request of a kind, on the thread that made it.
class Plugin
{
public:
  struct Call
  {
    int opcode, index;
    float opt;
  };

  explicit Plugin(const char* module = vsthost::PluginPath())
  {
    mEffect = Module(module).Entry()(&Plugin::Callback);
    if (!mEffect) return;
    mEffect->user = this;
    Dispatch(effOpen);
    Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    Dispatch(effSetBlockSize, 0, 512);
    Dispatch(effMainsChanged, 0, 1);
  }
  ~Plugin() { Close(); }

  void Close()
  {
    if (!mEffect) return;
    Dispatch(effEditClose);
    Dispatch(effMainsChanged, 0, 0);
    Dispatch(effClose);
    mEffect = nullptr;
  }
  // The host closed the plug-in from inside a request: the record is not to be touched again.
  void Forget() { mEffect = nullptr; }

  VstIntPtr Dispatch(int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f)
  {
    return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
  }
  bool Open(xcb_window_t parent) { return Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent); }
  void Set(int idx, float v) { mEffect->setParameter(mEffect, idx, v); }
  void Process(float** in, float** out, int n) { mEffect->processReplacing(mEffect, in, out, n); }
  float Get(int idx) { return mEffect->getParameter(mEffect, idx); }

  // The editor's notifications (begin-edit, automate, end-edit), in order.
  std::vector<Call> Edits()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCalls;
  }
  // The notifications as letters: b(egin-edit), a(utomate) or a+ for several in a row,
  // e(nd-edit); '?' for another index.
  std::string Shape(int index)
  {
    std::string s;
    for (const Call& c : Edits())
    {
      const char l = c.index != index                   ? '?'
                     : c.opcode == audioMasterBeginEdit ? 'b'
                     : c.opcode == audioMasterEndEdit   ? 'e'
                                                        : 'a';
      if (l == 'a' && s.ends_with("a+")) continue;
      s += l == 'a' && s.ends_with('a') ? '+' : l;
    }
    return s;
  }
  bool Ended(int index) { return Shape(index).find('e') != std::string::npos; }
  void Clear()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.clear();
  }
  void OnNext(int opcode, std::function<void(Plugin&)> action)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mActionOpcode = opcode;
    mAction = std::move(action);
  }

private:
  static vsthost::Host& Module(const std::string& path)
  {
    // Each loaded once for the program, and kept: editor threads may outlive a test by a little.
    static auto* sHosts = new std::map<std::string, vsthost::Host*>;
    vsthost::Host*& host = (*sHosts)[path];
    if (!host)
    {
      host = new vsthost::Host;
      EXPECT_TRUE(host->Load(path.c_str())) << host->mError;
    }
    return *host;
  }

  static VstIntPtr Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void*, float opt)
  {
    if (opcode == audioMasterVersion) return kVstVersion;
    Plugin* self = effect ? static_cast<Plugin*>(effect->user) : nullptr;
    if (!self) return 0;
    if (opcode == audioMasterSizeWindow)
    {
      std::lock_guard<std::mutex> lock(self->mMutex);
      self->mSizeRequests.push_back({(int)index, (int)value});
      return self->mAcceptSize ? 1 : 0;
    }
    std::function<void(Plugin&)> action;
    {
      std::lock_guard<std::mutex> lock(self->mMutex);
      if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit ||
          opcode == audioMasterEndEdit)
        self->mCalls.push_back({opcode, index, opt});
      if (self->mAction && opcode == self->mActionOpcode) action.swap(self->mAction);
    }
    if (action) action(*self);
    if (self->mEveryEdit && (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit ||
                             opcode == audioMasterEndEdit))
      self->mEveryEdit();
    return 0;
  }

public:
  // Runs inside every begin-edit, automate and end-edit, on the thread that made it; set before
  // the editor opens.
  std::function<void()> mEveryEdit;
  // Whether audioMasterSizeWindow is granted, and the sizes asked for.
  bool mAcceptSize = false;
  std::vector<std::pair<int, int>> SizeRequests()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return mSizeRequests;
  }
  // effEditGetRect's answer as (width, height).
  std::pair<int, int> EditRect()
  {
    ERect* r = nullptr;
    if (Dispatch(effEditGetRect, 0, 0, &r) != 1 || !r) return {0, 0};
    return {r->right - r->left, r->bottom - r->top};
  }
  // The vendor request some Linux hosts send before effEditOpen.
  void HostScale(float factor)
  {
    Dispatch(effVendorSpecific, 0x50726553, 0x41654373, nullptr, factor);
  }

private:
  AEffect* mEffect = nullptr;
  std::mutex mMutex;
  std::vector<Call> mCalls;
  int mActionOpcode = -1;
  std::function<void(Plugin&)> mAction;
  std::vector<std::pair<int, int>> mSizeRequests;
};

// The w x h part of a picture at (x, y).
torva_test::Image Cut(const torva_test::Image& whole, int x, int y, int w, int h)
{
  torva_test::Image part{w, h, {}};
  for (int row = y; row < y + h; ++row)
    part.pixels.insert(part.pixels.end(), whole.pixels.begin() + row * whole.width + x,
                       whole.pixels.begin() + row * whole.width + x + w);
  return part;
}

// Whether s is one of the '|'-separated alternatives.
bool OneOf(const std::string& s, const std::string& alternatives)
{
  return ("|" + alternatives + "|").find("|" + s + "|") != std::string::npos;
}

class AmpEditor : public XServerTest
{
protected:
  void SetUp() override
  {
    // A sanitizer runtime starts a thread of its own with the program's first one; started
    // here, it is part of every test's baseline.
    std::thread([] {}).join();
    XServerTest::SetUp();
    mThreads = Threads();
  }
  void TearDown() override
  {
    // Every editor thread (and a deferred deletion) has ended once the test is over.
    EXPECT_TRUE(!mDisplay || WaitFor([&] { return Threads() == mThreads; }));
  }

  xcb_window_t Parent(int y = 0) { return D().MakeParent(0, y, kW, kH); }
  torva_test::Image Picture(xcb_window_t win) { return WindowPicture(D(), win, kW, kH); }
  torva_test::Image Settled(xcb_window_t win, const torva_test::Image* unlike = nullptr)
  {
    return SettledPicture(D(), win, kW, kH, unlike);
  }
  // Opens the editor into parent; its window, once the picture has settled.
  xcb_window_t OpenSettled(Plugin& p, xcb_window_t parent)
  {
    EXPECT_EQ(p.Open(parent), 1);
    const xcb_window_t win = D().OnlyChild(parent);
    if (win) Settled(win);
    return win;
  }
  void DragBass(int dy) { D().Drag(kBassCentreX, kKnobCentreY, 0, dy, 4); }

  int mThreads = 0;
};

// The default layout as pictured, then the user's gestures through the real pointer and
// keyboard: a knob drag is one begin-edit, automates and one end-edit, the last automate
// carrying the value the knob ends at; the switch toggles on a left and on a right click; a
// right-click on a knob opens a text field for its value, and the value typed there is a
// gesture of its own. Last, with the value label gone, host values reach the screen: a knob at
// its minimum (top frame of its strip), one at its maximum (bottom frame) and Bypass on (lower
// frame).
TEST_F(AmpEditor, PicturesPointerAndKeys)
{
  Plugin p;
  const xcb_window_t win = OpenSettled(p, Parent());
  ASSERT_NE(win, 0u);
  const torva_test::Image defaults = Picture(win);
  ExpectMatchesGolden(defaults, "amp_editor_defaults", "amplifier editor, parameters at defaults");

  DragBass(36);
  ASSERT_TRUE(WaitFor([&] { return p.Ended(kBass); }));
  ASSERT_TRUE(OneOf(p.Shape(kBass), "bae|ba+e")) << p.Shape(kBass);
  EXPECT_NEAR(p.Get(kBass), 0.575, 1e-6); // down by half the knob's height: an eighth less
  EXPECT_FLOAT_EQ(p.Edits().rbegin()[1].opt, p.Get(kBass));
  EXPECT_NE(Settled(win, &defaults).pixels, defaults.pixels); // the knob shows another frame

  // Bypass: left click on, right click off.
  for (int button : {1, 3})
  {
    p.Clear();
    D().Move(kSwitchX + kSwitchW / 2, kKnobCentreY);
    D().Click(button);
    ASSERT_TRUE(WaitFor([&] { return p.Ended(kBypass); }));
    ASSERT_EQ(p.Shape(kBypass), "bae");
    const float on = button == 1 ? 1.0f : 0.0f;
    EXPECT_EQ(p.Edits()[1].opt, on);
    EXPECT_EQ(p.Get(kBypass), on);
  }

  p.Clear();
  D().Move(kTrebleX + kKnobSize / 2, kKnobCentreY);
  D().Click(3);
  ASSERT_TRUE(WaitFor([&] { return D().Children(win) == 1; })); // the text field
  D().Focus(win);
  D().Type("0.9"); // over "0.40", which the field opens with selected
  D().Key(0xff0d); // Return
  ASSERT_TRUE(WaitFor([&] { return p.Shape(kTreble) == "bebae"; })) << p.Shape(kTreble);
  EXPECT_TRUE(WaitFor([&] { return D().Children(win) == 0; })); // the field goes after the value
  EXPECT_FLOAT_EQ(p.Get(kTreble), 0.9f);

  D().Move(kW / 2, kH + 100); // off the editor
  Sleep(1500);                // the value label's hold and fade
  const torva_test::Image before = Settled(win);
  p.Set(kBass, 0.0f);
  p.Set(kTreble, 1.0f);
  p.Set(kBypass, 1.0f);
  ExpectMatchesGolden(Settled(win, &before), "amp_editor_host_changes",
                      "amplifier editor, Bass 0, Treble 1, Bypass on, set by the host");
}

// Making the plug-in connects to nothing; open and close ten times, two instances' editors side
// by side, a parent destroyed under an open editor: each leaves no thread, no descriptor and no
// window behind.
TEST_F(AmpEditor, WindowLifecycle)
{
  const int fds = OpenFDs();
  {
    Plugin p;
    ERect* rect = nullptr;
    ASSERT_EQ(p.Dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(OpenFDs(), fds) << "no display connection before an editor window";
    EXPECT_EQ(Threads(), mThreads);
    const xcb_window_t parent = Parent();
    for (int i = 0; i < 10; ++i)
    {
      ASSERT_EQ(p.Open(parent), 1) << i;
      ASSERT_NE(D().OnlyChild(parent), 0u) << i;
      if (i == 9) ExpectMatchesGolden(Settled(D().OnlyChild(parent)), "amp_editor_defaults");
      ASSERT_EQ(p.Dispatch(effEditClose), 1);
      EXPECT_EQ(D().Children(parent), 0) << i;
    }
    EXPECT_EQ(Threads(), mThreads);
    D().Destroy(parent);
  }

  {
    // Input reaches only the editor under the pointer; the other's picture stays as it was.
    Plugin a, b;
    const xcb_window_t pa = Parent(0), pb = Parent(300);
    const xcb_window_t wa = OpenSettled(a, pa), wb = OpenSettled(b, pb);
    for (xcb_window_t w : {wa, wb}) ExpectMatchesGolden(Picture(w), "amp_editor_defaults");
    const torva_test::Image pictureB = Picture(wb);
    DragBass(-20);
    ASSERT_TRUE(WaitFor([&] { return a.Ended(kBass); }));
    EXPECT_GT(a.Get(kBass), 0.7f);
    EXPECT_FLOAT_EQ(b.Get(kBass), 0.7f);
    EXPECT_TRUE(b.Edits().empty());
    Sleep(200);
    EXPECT_EQ(Picture(wb).pixels, pictureB.pixels);
    a.Close();
    b.Close();
    D().Destroy(pa);
    D().Destroy(pb);
  }

  {
    Plugin p;
    xcb_window_t parent = Parent();
    ASSERT_EQ(p.Open(parent), 1);
    D().Destroy(parent);
    // The editor notices and lets its thread go before the host says anything.
    EXPECT_TRUE(WaitFor([&] { return Threads() == mThreads; }));
    EXPECT_EQ(p.Dispatch(effEditClose), 1);
    parent = Parent();
    ExpectMatchesGolden(Picture(OpenSettled(p, parent)), "amp_editor_defaults");
    p.Close();
    D().Destroy(parent);
  }
  EXPECT_TRUE(WaitFor([&] { return Threads() == mThreads && OpenFDs() == fds; }))
      << Threads() << " threads, " << OpenFDs() << " descriptors";
}

// Hosts that answer the editor's notifications with requests of their own, on the editor's
// thread (this host never idles the editor): a parameter change, effEditClose and effClose inside
// automate, and effClose inside begin-edit. None deadlocks; nothing runs on a deleted plug-in
// (the sanitizer builds check that); a gesture cut short by effEditClose still ends, and after
// effClose the host hears nothing more.
TEST_F(AmpEditor, HostRequestsFromInsideNotifications)
{
  auto closePlug = [](Plugin& p)
  {
    p.Dispatch(effClose);
    p.Forget();
  };
  struct Case
  {
    const char* name;
    int opcode; // the notification the host answers
    std::function<void(Plugin&)> answer;
    bool closesWindow, closesPlug;
    const char* heard; // the notifications the host hears, as Shape gives them ('|': or)
  };
  const Case cases[] = {
      {"setParameter in automate", audioMasterAutomate, [](Plugin& p) { p.Set(kTreble, 0.9f); },
       false, false, "bae|ba+e"},
      {"effEditClose in automate", audioMasterAutomate, [](Plugin& p) { p.Dispatch(effEditClose); },
       true, false, "bae"},
      {"effClose in automate", audioMasterAutomate, closePlug, true, true, "ba"},
      {"effClose in begin-edit", audioMasterBeginEdit, closePlug, true, true, "b"},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    Plugin p;
    const xcb_window_t parent = Parent();
    OpenSettled(p, parent);
    p.OnNext(c.opcode, c.answer);
    DragBass(36);
    if (c.closesWindow) // with the editor's thread, mid-gesture
      ASSERT_TRUE(WaitFor([&] { return D().Children(parent) == 0 && Threads() == mThreads; }));
    else
      ASSERT_TRUE(WaitFor([&] { return p.Ended(kBass); }));
    Sleep(100); // nothing more on the way
    EXPECT_TRUE(OneOf(p.Shape(kBass), c.heard)) << p.Shape(kBass);
    if (!c.closesPlug) // it lives on
    {
      EXPECT_FLOAT_EQ(p.Get(kTreble), c.closesWindow ? 0.4f : 0.9f);
      EXPECT_LT(p.Get(kBass), 0.7f);
      EXPECT_TRUE(!c.closesWindow || OpenSettled(p, parent)) << "opens again";
    }
    p.Close();
    D().Destroy(parent);
  }
}

// A host that runs the plug-in's notifications on its GUI thread: when begin-edit, automate or
// end-edit arrive on another thread, it waits for the GUI thread to complete its next request
// (effEditIdle, effGetParamDisplay) before it answers. With a GUI thread that idles the editor
// the notifications arrive there; without, they come from the editor thread and the wait
// completes. Either way a drag, and a close in the middle of the next one, finish; the wait is
// bounded, so a deadlock shows as a failure instead of a hang.
TEST_F(AmpEditor, HostThatWaitsForItsGuiThread)
{
  for (bool idles : {true, false})
  {
    SCOPED_TRACE(idles ? "host idles the editor" : "host never idles");
    Plugin p;
    const xcb_window_t parent = Parent();
    std::atomic<bool> closeNow{false}, closed{false};
    std::atomic<int> served{0}, offThread{0}, waitedOut{0};
    std::atomic<std::thread::id> gui{};
    p.mEveryEdit = [&]
    {
      if (std::this_thread::get_id() == gui.load()) return;
      ++offThread;
      const int seen = served.load();
      if (!WaitFor([&] { return served.load() > seen; }, 5000)) ++waitedOut;
    };
    // Joined however the assertions below end.
    std::jthread host(
        [&](std::stop_token stop)
        {
          gui = std::this_thread::get_id();
          p.Open(parent);
          char text[64];
          for (bool open = true; !stop.stop_requested(); ++served, Sleep(10))
          {
            if (open && closeNow)
            {
              p.Dispatch(effEditClose);
              closed = true;
              open = false;
            }
            if (open && idles) p.Dispatch(effEditIdle);
            p.Dispatch(effGetParamDisplay, kBass, 0, text);
          }
        });

    ASSERT_TRUE(WaitFor([&] { return D().OnlyChild(parent) != 0; }));
    Settled(D().OnlyChild(parent));
    DragBass(36);
    ASSERT_TRUE(WaitFor([&] { return p.Ended(kBass); }));
    const size_t before = p.Edits().size();
    D().Move(kBassCentreX + 10, kKnobCentreY);
    D().Button(1, true);
    for (int dy = 4; dy <= 24; dy += 4) D().Move(kBassCentreX + 10, kKnobCentreY + dy);
    EXPECT_TRUE(WaitFor([&] { return p.Edits().size() > before + 1; }));
    closeNow = true;
    EXPECT_TRUE(WaitFor([&] { return closed.load(); })) << "effEditClose returned";
    D().Button(1, false);
    EXPECT_TRUE(WaitFor([&] { return D().Children(parent) == 0; }));
    Sleep(100); // a last notification on its way
    EXPECT_TRUE(OneOf(p.Shape(kBass), "bae|ba+e|baebae|baeba+e|ba+ebae|ba+eba+e"))
        << p.Shape(kBass);
    EXPECT_EQ(waitedOut, 0);
    EXPECT_TRUE(!idles || offThread == 0) << "notifications on the host's GUI thread";
    D().Destroy(parent);
  }
}

// The X server stopped (SIGSTOP) while the host opens or closes the editor on one thread: audio,
// parameter changes and chunk requests on other threads still complete, and once the server
// goes on (SIGCONT) so does the open or the close.
TEST(AmpEditorStoppedServer, AudioAndStateGoOn)
{
  Xvfb server;
  if (!server.Start()) GTEST_SKIP() << "no Xvfb";
  ScopedEnv display("DISPLAY", server.mDisplay.c_str());
  for (bool opening : {true, false})
  {
    SCOPED_TRACE(opening ? "effEditOpen" : "effEditClose");
    Plugin p;
    Display d;
    const xcb_window_t parent = d.MakeParent(0, 0, kW, kH);
    ASSERT_TRUE(opening || p.Open(parent) == 1);
    Sleep(200);
    kill(server.mPid, SIGSTOP);
    std::atomic<bool> editorDone{false}, othersDone{false};
    std::atomic<VstIntPtr> result{-1};
    std::thread editor(
        [&]
        {
          result = opening ? p.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent)
                           : p.Dispatch(effEditClose);
          editorDone = true;
        });
    Sleep(100);
    std::thread others(
        [&]
        {
          float in[2][64] = {}, out[2][64];
          float* ins[] = {in[0], in[1]};
          float* outs[] = {out[0], out[1]};
          for (int i = 0; i < 100; ++i)
          {
            p.Process(ins, outs, 64);
            p.Set(kBass, (float)i / 100.0f);
            void* chunk = nullptr;
            p.Dispatch(effGetChunk, 1, 0, &chunk);
          }
          othersDone = true;
        });
    const bool othersInTime = WaitFor([&] { return othersDone.load(); }, 5000);
    kill(server.mPid, SIGCONT);
    others.join();
    EXPECT_TRUE(othersInTime) << "audio, setParameter and effGetChunk waited for the X server";
    EXPECT_TRUE(WaitFor([&] { return editorDone.load(); }));
    editor.join();
    EXPECT_EQ(result, 1);
    p.Close();
  }
}

// ---- Sizes ----------------------------------------------------------------------------------

// The editor at 150 and 200 %, with the user's settings in a folder of the test's own and none of
// the environment's sizes: each source of the size on its own and in order, the pictures and a
// drag at the size, and the size menu through hosts that grant and refuse the new window.
class AmpEditorSizes : public AmpEditor
{
protected:
  void SetUp() override
  {
    AmpEditor::SetUp();
    if (IsSkipped()) return;
    std::remove(Settings().c_str());
    D().Move(2550, 1590); // no knob hovered: no value label in the pictures
  }
  void TearDown() override
  {
    std::remove(Settings().c_str());
    unsetenv("TORVA_SCALE");
    Resources("");
    AmpEditor::TearDown();
  }
  // Loads the X resource database of the test's server, as a desktop's settings do.
  void Resources(const std::string& text)
  {
    const std::string file = mConfig / "resources";
    torva_test::WriteText(file, text);
    const std::string cmd =
        "xrdb -display " + SharedDisplay() + (text.empty() ? " -remove" : " -load " + file);
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  std::string Settings() { return EditorSettings(); }

  torva_test::TempDir mConfig;
};

TEST_F(AmpEditorSizes, WhereTheSizeComesFrom)
{
  if (std::system("command -v xrdb >/dev/null") != 0) GTEST_SKIP() << "no xrdb";
  struct Case
  {
    const char* what;
    float host;           // 'PreS' factor, 0 for none
    const char* env;      // TORVA_SCALE, null for none
    const char* dpi;      // Xft.dpi, null for none
    const char* settings; // the settings file's text, null for none
    int w, h;
  };
  const Case cases[] = {
      {"nothing", 0, nullptr, nullptr, nullptr, 1024, 285},
      {"host 2.0", 2.0f, nullptr, nullptr, nullptr, 2048, 570},
      {"host 1.4 rounds to 150", 1.4f, nullptr, nullptr, nullptr, 1536, 428},
      {"host nonsense", -3.0f, nullptr, nullptr, nullptr, 1024, 285},
      {"TORVA_SCALE 150", 0, "150", nullptr, nullptr, 1536, 428},
      {"TORVA_SCALE factor", 0, "2", nullptr, nullptr, 2048, 570},
      {"TORVA_SCALE junk", 0, "big", nullptr, nullptr, 1024, 285},
      {"Xft.dpi 192", 0, nullptr, "192", nullptr, 2048, 570},
      {"Xft.dpi 144", 0, nullptr, "144", nullptr, 1536, 428},
      {"host before TORVA_SCALE", 1.5f, "200", nullptr, nullptr, 1536, 428},
      {"TORVA_SCALE before Xft.dpi", 0, "100", "192", nullptr, 1024, 285},
      {"the user's choice first", 2.0f, "100", "96", "scale=150\n", 1536, 428},
      {"foreign settings ignored", 2.0f, nullptr, nullptr, "[gui]\nscale = big\n", 2048, 570},
      {"settings of another size ignored", 0, nullptr, nullptr, "scale=175\n", 1024, 285},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    Resources(c.dpi ? std::string("Xft.dpi:\t") + c.dpi + "\n" : "");
    if (c.env)
      setenv("TORVA_SCALE", c.env, 1);
    else
      unsetenv("TORVA_SCALE");
    std::remove(Settings().c_str());
    if (c.settings)
    {
      mkdir((ConfigHome() + "/torva").c_str(), 0755);
      torva_test::WriteText(Settings(), c.settings);
    }
    Plugin p;
    if (c.host != 0) p.HostScale(c.host);
    EXPECT_EQ(p.EditRect(), std::make_pair(c.w, c.h));
  }
  // The window and the pictures: made at that size, from the artwork drawn for it, the value
  // label of a hovered knob too; a drag means what it means at 100 %.
  Resources("");
  unsetenv("TORVA_SCALE");
  std::remove(Settings().c_str());
  for (int scale : {150, 200})
  {
    Plugin p;
    p.HostScale(scale / 100.0f);
    const auto [w, h] = p.EditRect();
    const xcb_window_t parent = D().MakeParent(0, 0, w, h);
    ASSERT_EQ(p.Open(parent), 1);
    const xcb_window_t win = D().OnlyChild(parent);
    EXPECT_EQ(D().Geometry(win).w, w);
    EXPECT_EQ(D().Geometry(win).h, h);
    const torva_test::Image defaults = SettledPicture(D(), win, w, h);
    ExpectMatchesGolden(defaults, "amp_editor_defaults_" + std::to_string(scale),
                        "amplifier editor at " + std::to_string(scale) +
                            " %, parameters at defaults");
    if (scale == 200)
    {
      // Bass hovered: it and its value label, cut out of the picture.
      D().Move(2 * kBassCentreX - 4, 2 * kKnobCentreY);
      D().Move(2 * kBassCentreX, 2 * kKnobCentreY);
      const torva_test::Image shown = SettledPicture(D(), win, w, h, &defaults);
      ExpectMatchesGolden(
          Cut(shown, 2 * (kBassX - 20), 2 * (kKnobY - 10), 2 * (kKnobSize + 40), 240),
          "amp_knob_value_label_200", "Bass hovered at 200 %");
      // Half the knob's height down (72 pixels here) does what 36 do at 100 %.
      D().Drag(2 * kBassCentreX, 2 * kKnobCentreY, 0, 72, 4);
      ASSERT_TRUE(WaitFor([&] { return p.Ended(kBass); }));
      EXPECT_NEAR(p.Get(kBass), 0.575, 1e-6);
    }
    p.Close();
    D().Destroy(parent);
  }
}

// Right-click on the panel, "Size", "200 %" (by keys): a host that grants the window gets an
// editor of 2048 x 570 drawn at that size, one that refuses keeps the 1024 x 285 editor as it was;
// the choice is remembered for the next editor either way.
TEST_F(AmpEditorSizes, SizeMenu)
{
  for (bool grant : {true, false})
  {
    SCOPED_TRACE(grant ? "host grants" : "host refuses");
    std::remove(Settings().c_str());
    Plugin p;
    p.mAcceptSize = grant;
    const xcb_window_t parent = D().MakeParent(0, 0, 2048, 570);
    const xcb_window_t win = OpenSettled(p, parent);
    ASSERT_NE(win, 0u);
    ASSERT_TRUE(D().ChooseSize200(40, 20)); // the panel, away from every control
    ASSERT_TRUE(WaitFor([&] { return !p.SizeRequests().empty(); }));
    EXPECT_EQ(p.SizeRequests().back(), std::make_pair(2048, 570));
    const int w = grant ? 2048 : 1024, h = grant ? 570 : 285;
    EXPECT_TRUE(WaitFor([&] { return D().Geometry(win).w == w && D().Geometry(win).h == h; }));
    ExpectMatchesGolden(SettledPicture(D(), win, w, h),
                        grant ? "amp_editor_defaults_200" : "amp_editor_defaults");
    EXPECT_EQ(torva_test::ReadText(Settings()), "scale=200\n");
    p.Close();
    D().Destroy(parent);
  }
}

// ---- Presets --------------------------------------------------------------------------------

// The factory table in its order, as the normalised floats every format carries: the bank the
// build writes beside the module.
std::vector<FxProgram> FactoryBank(const std::string& module, const std::string& effect)
{
  FxFile bank;
  std::string error;
  EXPECT_TRUE(ReadFxFile(FactoryPresetFolder(module) + "/" + effect + " factory.fxb", bank, error))
      << error;
  return bank.mBank;
}

// Right-click on the panel, "Presets", `steps` choosable items down from its first (negative:
// up, round to the end), Return.
bool ChoosePreset(Display& d, int steps)
{
  if (!d.PanelMenuKeys(40, 20, {0xff54, 0xff53})) return false; // Down: "Presets", Right: open
  for (int i = 0; i < std::abs(steps); ++i, Sleep(50)) d.Key(steps > 0 ? 0xff54 : 0xff52);
  d.Key(0xff0d);
  return true;
}

// The preset `steps` down the menu: every parameter at its value, and one begin, automate, end
// for each that changed, nothing for the others.
void ExpectLoads(Plugin& p, Display& d, int steps, const std::vector<float>& values)
{
  std::vector<float> before;
  for (size_t i = 0; i < values.size(); ++i) before.push_back(p.Get((int)i));
  p.Clear();
  ASSERT_NE(before, values);
  ASSERT_TRUE(ChoosePreset(d, steps));
  for (size_t i = 0; i < values.size(); ++i)
    ASSERT_TRUE(before[i] == values[i] || WaitFor([&] { return p.Ended((int)i); })) << i;
  Sleep(100); // nothing more on its way
  for (size_t i = 0; i < values.size(); ++i)
  {
    std::string heard = p.Shape((int)i);
    std::erase(heard, '?');
    EXPECT_EQ(p.Get((int)i), values[i]) << i;
    EXPECT_EQ(heard, before[i] == values[i] ? "" : "bae") << i;
  }
}

// On both products' panels, a factory row chosen sets every parameter.
TEST_F(AmpEditor, FactoryPreset)
{
  torva_test::TempDir dir;
  ScopedEnv data("XDG_DATA_HOME", dir.Path().c_str());
  for (const char* effect : {"TORVA", "TORVA Cab"})
  {
    SCOPED_TRACE(effect);
    const bool amp = effect == std::string("TORVA");
    const char* module = amp ? vsthost::PluginPath() : TORVA_CAB_PLUGIN_PATH;
    const std::vector<FxProgram> bank = FactoryBank(module, effect);
    Plugin p(module);
    const xcb_window_t parent = D().MakeParent(0, 0, kW, amp ? kH : cab_layout::kPanelH);
    ASSERT_NE(OpenSettled(p, parent), 0u);
    ExpectLoads(p, D(), (int)bank.size() - 1, bank.back().mValues); // Bypass stays off
    p.Close();
    D().Destroy(parent);
  }
}

// Save as… writes the user's .fxp, listed afterwards and loaded back; a file there that is no
// preset is listed greyed and does nothing when clicked, and its name is refused for a save,
// the menu's first line saying why.
TEST_F(AmpEditor, SaveAsAndTheUsersFolder)
{
  torva_test::TempDir dir;
  ScopedEnv data("XDG_DATA_HOME", dir.Path().c_str());
  const int rows = (int)FactoryBank(vsthost::PluginPath(), "TORVA").size();
  const std::string folder = dir / "torva/presets", broken = folder + "/Broken.fxp";
  std::filesystem::create_directories(folder);
  torva_test::WriteText(broken, "CcnK, then nothing");
  Plugin p;
  const xcb_window_t parent = Parent(), win = OpenSettled(p, parent);
  p.Set(kBass, 0.25f);
  std::vector<float> mine;
  for (int i = 0; i <= kBypass; ++i) mine.push_back(p.Get(i));
  for (const char* name : {"My Tone", "Broken"})
  {
    ASSERT_TRUE(ChoosePreset(D(), -1));                           // the last item
    ASSERT_TRUE(WaitFor([&] { return D().Children(win) == 1; })); // the text field
    D().Focus(win);
    D().Type(name);
    D().Key(0xff0d);
    ASSERT_TRUE(WaitFor([&] { return D().Children(win) == 0; }));
  }
  FxFile saved;
  std::string error;
  ASSERT_TRUE(WaitFor([&] { return ReadFxFile(folder + "/My Tone.fxp", saved, error); })) << error;
  EXPECT_EQ(saved.mProgram.mValues, mine);
  EXPECT_EQ(torva_test::ReadText(broken), "CcnK, then nothing");

  // Reason, separator, rows, separator, Broken, My Tone, separator, Save as…, lines of one height.
  ASSERT_TRUE(D().PanelMenuKeys(40, 20, {0xff54, 0xff53}));
  const Display::Rect m = D().Geometry(D().TopOfRoot());
  ASSERT_EQ((m.h - 2 * 3 - 3 * 7) % (rows + 4), 0) << m.h;
  const int lineH = (m.h - 2 * 3 - 3 * 7) / (rows + 4);
  p.Set(kBass, 0.9f);
  p.Clear();
  D().Move(m.x + 40, m.y + 3 + (rows + 1) * lineH + 2 * 7 + lineH / 2); // Broken's line
  D().Click();
  Sleep(200);
  EXPECT_TRUE(p.Edits().empty());
  D().Key(0xff1b);
  ASSERT_TRUE(WaitFor([&] { return D().TopOfRoot() == parent; }));
  ExpectLoads(p, D(), rows, mine); // "My Tone", past the greyed line
  p.Close();
  D().Destroy(parent);
}

// ---- TORVA Cab -------------------------------------------------------------------------------

namespace L = cab_layout;
constexpr int kCabinet = 0, kLevel = 4; // TORVACab's parameters
constexpr int kCentreY = L::kRowY + L::kKnobSize / 2;
const std::string kIrDir = std::string(TORVA_SOURCE_DIR) + "/resources/ir/";

class CabEditor : public XServerTest
{
protected:
  void SetUp() override
  {
    XServerTest::SetUp();
    if (IsSkipped()) return;
    std::remove(EditorSettings().c_str());
    // The user's folder holds one response; a stand-in for zenity answers with another.
    mData = std::make_unique<ScopedEnv>("XDG_DATA_HOME", mDir.Path().c_str());
    std::filesystem::create_directories(mDir / "torva/ir");
    std::filesystem::copy_file(kIrDir + "closed_4x12.wav", mDir / "torva/ir/mine.wav");
    mkdir((mDir / "bin").c_str(), 0755);
    torva_test::WriteText(mDir / "bin/zenity", "#!/bin/sh\necho \"$@\" > " + (mDir / "asked") +
                                                   "\necho " + kIrDir + "combo_1x12.wav\n");
    chmod((mDir / "bin/zenity").c_str(), 0755);
    mPath = std::make_unique<ScopedEnv>("PATH", (mDir / "bin:" + std::getenv("PATH")).c_str());
  }
  void TearDown() override { std::remove(EditorSettings().c_str()); }

  // Clicks the file window and, once its menu is up, goes `steps` items down from its top
  // (negative: up from its end) and takes that one.
  bool ChooseInMenu(int steps)
  {
    D().Move(L::kFileArea.x + 40, L::kFileArea.y + L::kFileArea.h / 2);
    const xcb_window_t top = D().TopOfRoot();
    D().Click();
    if (!WaitFor([&] { return D().TopOfRoot() != top; })) return false;
    Sleep(100); // the menu's keyboard grab
    for (int i = 0; i < std::abs(steps); ++i, Sleep(50)) D().Key(steps > 0 ? 0xff54 : 0xff52);
    D().Key(0xff0d);
    return true;
  }
  std::string Chunk(Plugin& p)
  {
    void* data = nullptr;
    const VstIntPtr n = p.Dispatch(effGetChunk, 1, 0, &data);
    return std::string(static_cast<const char*>(data), n > 0 ? (size_t)n : 0);
  }

  torva_test::TempDir mDir;
  std::unique_ptr<ScopedEnv> mData, mPath;
};

// The panel at its defaults; a knob and the cabinet selector worked with the pointer, each one
// gesture; then impulse responses chosen from the file window's menu by a typed path, from the
// user's folder and through the dialog: a file taken is named by the state, turns the switch to
// File with the first and is remembered by its folder; one that is no audio changes nothing, and
// the window says why.
TEST_F(CabEditor, KnobsSelectorAndFiles)
{
  Plugin p(TORVA_CAB_PLUGIN_PATH);
  const xcb_window_t parent = D().MakeParent(0, 0, L::kPanelW, L::kPanelH);
  D().Move(L::kPanelW / 2, L::kPanelH + 200); // no value label in the pictures
  ASSERT_EQ(p.Open(parent), 1);
  const xcb_window_t win = D().OnlyChild(parent);
  auto settled = [&] { return SettledPicture(D(), win, L::kPanelW, L::kPanelH); };
  ExpectMatchesGolden(settled(), "cab_editor_defaults", "TORVA Cab's editor at its defaults");

  // Level down by half the knob's height, an eighth of its range; a click on "1x10 small".
  D().Drag(L::kLevelX + L::kKnobSize / 2, kCentreY, 0, 36, 4);
  ASSERT_TRUE(WaitFor([&] { return p.Ended(kLevel); }));
  EXPECT_TRUE(OneOf(p.Shape(kLevel), "bae|ba+e")) << p.Shape(kLevel);
  EXPECT_NEAR(p.Get(kLevel), 30.0 / 42.0 - 0.125, 1e-6);
  p.Clear();
  const L::Box& small = L::kSelectorLabels[3];
  D().Move(small.x + small.w / 2, small.y + small.h / 2);
  D().Click();
  ASSERT_TRUE(WaitFor([&] { return p.Ended(kCabinet); }));
  EXPECT_EQ(p.Shape(kCabinet), "bae");
  EXPECT_EQ(p.Get(kCabinet), 0.75f);

  const std::string notAudio = mDir / "notes.wav";
  torva_test::WriteText(notAudio, "not a sound");
  const struct
  {
    const char* what;
    int steps;         // in the menu, as ChooseInMenu takes them
    std::string typed; // into the text field "Type a path…" opens
    std::string file;  // the state's file afterwards; empty: refused
  } cases[] = {
      {"a typed path that is no audio", -2, notAudio, ""},
      {"a typed path", -2, kIrDir + "open_2x12.wav", kIrDir + "open_2x12.wav"},
      {"the user's folder", 1, "", mDir / "torva/ir/mine.wav"},
      {"the dialog", -1, "", kIrDir + "combo_1x12.wav"},
  };
  bool cabinetIsFile = false;
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.what);
    p.Clear();
    const std::string chunk = Chunk(p);
    const torva_test::Image before = settled();
    ASSERT_TRUE(ChooseInMenu(c.steps));
    if (!c.typed.empty())
    {
      ASSERT_TRUE(WaitFor([&] { return D().Children(win) == 1; })); // the text field
      D().Focus(win);
      D().Type(c.typed);
      D().Key(0xff0d);
      ASSERT_TRUE(WaitFor([&] { return D().Children(win) == 0; }));
    }
    if (c.file.empty())
    {
      const torva_test::Image after = SettledPicture(D(), win, L::kPanelW, L::kPanelH, &before);
      const L::Box& f = L::kFileArea;
      ExpectMatchesGolden(Cut(after, f.x, f.y, f.w, f.h), "cab_file_refused",
                          "a file that is no audio refused");
      Sleep(200); // nothing else on its way
      EXPECT_EQ(Chunk(p), chunk);
      EXPECT_TRUE(p.Edits().empty());
      continue;
    }
    ASSERT_TRUE(WaitFor([&] { return Chunk(p).find(c.file) != std::string::npos; }));
    // The switch turns to File with the first file, a gesture of its own; later files leave it.
    EXPECT_EQ(p.Shape(kCabinet), cabinetIsFile ? "" : "bae");
    EXPECT_EQ(p.Get(kCabinet), 1.0f);
    cabinetIsFile = true;
    EXPECT_NE(torva_test::ReadText(EditorSettings())
                  .find("ir_folder=" + std::filesystem::path(c.file).parent_path().string() + "\n"),
              std::string::npos);
  }
  EXPECT_EQ(torva_test::ReadText(mDir / "asked").find("--file-selection"), 0u);
  p.Close();
  D().Destroy(parent);
}

} // namespace
