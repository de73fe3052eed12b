// jalv.gtk3, a real LV2 host, running TORVA.lv2 on JACK's dummy backend under the private Xvfb:
// the editor appears embedded in jalv's window and shows the defaults, a picture of the whole
// window is kept beside the build, a knob dragged with XTest moves jalv's control port, and a
// factory preset chosen from jalv's Presets menu arrives in the plug-in.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "lv2/Lv2Host.h"
#include "support/CliHarness.h"
#include "support/golden.h"
#include "x11/X11TestSupport.h"

extern char** environ;

using namespace x11test;

namespace
{
using lv2host::kW, lv2host::kH;

// A program run through env(1) with extra variables, its output into a file; stopped and reaped
// on destruction.
struct Child
{
  Child(std::vector<std::string> const& args, std::vector<std::string> const& env,
        std::string const& outFile)
  {
    std::vector<char*> argv{const_cast<char*>("env")};
    for (auto const* list : {&env, &args})
      for (auto const& a : *list) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawnp(&mPid, "env", &actions, nullptr, argv.data(), environ) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child()
  {
    if (!Running()) return;
    kill(mPid, SIGTERM);
    if (WaitFor([&] { return !Running(); }, 5000)) return;
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
  }
  Child(Child const&) = delete;
  Child& operator=(Child const&) = delete;
  bool Running() { return mPid > 0 && waitpid(mPid, nullptr, WNOHANG) == 0; }

  pid_t mPid = -1;
};

class Lv2Jalv : public XServerTest
{
protected:
  void SetUp() override
  {
    std::string const why = lv2host::CannotRun({"jalv.gtk3", "jackd", "jack_wait"}, "jalv, jackd2");
    if (!why.empty()) GTEST_SKIP() << why;
    XServerTest::SetUp();
  }

  // The deepest childless window under win of the editor's size.
  xcb_window_t FindEditor(xcb_window_t win)
  {
    for (xcb_window_t child : D().ChildList(win))
    {
      if (xcb_window_t found = FindEditor(child)) return found;
      Display::Rect const r = D().Geometry(child);
      if (r.w == kW && r.h == kH && D().Children(child) == 0) return child;
    }
    return 0;
  }
  xcb_window_t Root() { return xcb_setup_roots_iterator(xcb_get_setup(D().Conn())).data->root; }
  xcb_window_t TopViewable()
  {
    xcb_connection_t* c = D().Conn();
    std::vector<xcb_window_t> const all = D().ChildList(Root());
    for (auto it = all.rbegin(); it != all.rend(); ++it)
    {
      xcb_get_window_attributes_reply_t* a =
          xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, *it), nullptr);
      bool const viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
      free(a);
      if (viewable) return *it;
    }
    return 0;
  }
  std::pair<int, int> RootPosition(xcb_window_t win)
  {
    xcb_connection_t* c = D().Conn();
    xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, win, Root(), 0, 0), nullptr);
    std::pair<int, int> xy(t ? t->dst_x : -1, t ? t->dst_y : -1);
    free(t);
    return xy;
  }
};

TEST_F(Lv2Jalv, EditorEmbeddedADragMovesItsControlAndAPresetArrives)
{
  TempDir dir;
  std::string const server = "torva-lv2-" + std::to_string(getpid());
  std::vector<std::string> const env = {"JACK_DEFAULT_SERVER=" + server,
                                        "JACK_NO_START_SERVER=1",
                                        "LV2_PATH=" + lv2host::BundleDir(),
                                        "DISPLAY=" + SharedDisplay(),
                                        "NO_AT_BRIDGE=1",
                                        "GSETTINGS_BACKEND=memory",
                                        "XDG_CONFIG_HOME=" + dir.Path(),
                                        "TORVA_SCALE="}; // at 100 %, whatever the user chose
  Child jack({"jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", "48000", "-p", "256"},
             env, dir / "jackd.log");
  Child wait({"jack_wait", "-w", "-s", server, "-t", "10"}, env, dir / "wait.log");
  ASSERT_TRUE(WaitFor([&] { return !wait.Running(); }, 15000));
  ASSERT_TRUE(jack.Running()) << ReadText(dir / "jackd.log");

  std::string const jalvLog = dir / "jalv.log";
  // Typed with XTest below, so only lower-case letters, digits and '/'.
  std::string const home = "/tmp/torvalv2" + std::to_string(getpid());
  std::filesystem::create_directories(home);
  std::shared_ptr<void> const removeHome(nullptr,
                                         [&](void*) { std::filesystem::remove_all(home); });
  Child jalv({"jalv.gtk3", "--jack-name", "torva-lv2-test", lv2host::kURI}, env, jalvLog);
  xcb_window_t editor = 0;
  ASSERT_TRUE(WaitFor([&] { return (editor = FindEditor(Root())) != 0; }, 20000))
      << ReadText(jalvLog);

  // The defaults jalv sends show as a VST 2 host shows them.
  ExpectMatchesGolden(SettledPicture(D(), editor, kW, kH), "amp_editor_defaults");

  // jalv's whole window, kept for people to see.
  xcb_window_t top = 0;
  for (xcb_window_t w : D().ChildList(Root()))
    if (FindEditor(w) == editor) top = w;
  Display::Rect const r = D().Geometry(top);
  EXPECT_TRUE(torva_test::WritePng(TORVA_BINARY_DIR "/tests/lv2_jalv_window.png",
                                   WindowPicture(D(), top, r.w, r.h),
                                   "jalv.gtk3 with TORVA's editor embedded"));

  auto const [tx, ty] = RootPosition(top);
  auto const openPresetsMenu = [&]
  {
    D().Focus(XCB_INPUT_FOCUS_POINTER_ROOT);
    D().Move(tx + 70, ty + 12);
    D().Click();
    xcb_window_t menu = 0;
    return WaitFor([&] { return (menu = TopViewable()) != top; }) ? menu : 0;
  };
  // Presets > Save Preset..., under a full path so the preset goes there, not into the user's
  // home folder; the saved Turtle, or "" when the dialog did not save.
  auto const savePreset = [&](std::string const& name)
  {
    if (!openPresetsMenu()) return std::string();
    D().Key(0xff54); // Down
    D().Key(0xff0d); // Return
    xcb_window_t dialog = 0;
    if (!WaitFor(
            [&]
            {
              dialog = TopViewable();
              return dialog != top && D().Geometry(dialog).w > 400;
            }))
      return std::string();
    Sleep(300);
    D().Focus(dialog); // no window manager gives the dialog the keyboard
    D().Type(home + "/" + name);
    std::string const file = home + "/TORVA_" + name + ".preset.lv2/" + name + ".ttl";
    // The entry's completion may take the first Return: press it until the dialog saves.
    for (int i = 0; i < 6; ++i)
    {
      Sleep(300);
      D().Key(0xff0d);
      if (WaitFor([&] { return Contains(ReadText(file), "state:state"); }, 1500)) break;
    }
    return ReadText(file);
  };
  // A control port's value in a saved preset.
  auto const portValue = [](std::string const& ttl, char const* symbol)
  {
    size_t const at = ttl.find("pset:value", ttl.find(std::string("\"") + symbol + "\""));
    return at == std::string::npos ? -1.0f : std::stof(ttl.substr(at + 10));
  };

  // jalv's Presets menu lists the factory presets (a picture of it is kept beside the build).
  xcb_window_t const menu = openPresetsMenu();
  ASSERT_NE(menu, 0u);
  Sleep(500);
  auto const [mx, my] = RootPosition(menu);
  Display::Rect const m = D().Geometry(menu);
  int const w = std::max<int>(r.w, mx + m.w), h = std::max<int>(r.h, my + m.h);
  EXPECT_TRUE(torva_test::WritePng(TORVA_BINARY_DIR "/tests/lv2_jalv_presets.png",
                                   WindowPicture(D(), Root(), w, h),
                                   "jalv.gtk3's Presets menu with TORVA's factory presets"));
  // The first preset listed (jalv's order is its own), clicked: below "Save Preset..." and
  // "Delete Current Preset...", a row each. It arrives in the plug-in: the state the plug-in
  // saves next is the one the bundle gives one of its presets.
  D().Move(mx + m.w / 2, my + 12 + 2 * 25 + 1);
  D().Click();
  ASSERT_TRUE(WaitFor([&] { return TopViewable() == top; }));
  Sleep(1000);
  std::string const chosen = savePreset("chosen"),
                    bundled = ReadText(lv2host::BundlePath() + "/presets.ttl");
  // The chunk's base64 text after `at`, without the line breaks jalv puts into a long string.
  auto const chunkAt = [](std::string const& ttl, size_t at)
  {
    std::string text;
    for (at = ttl.find_first_not_of('"', ttl.find('"', at)); at < ttl.size() && ttl[at] != '"';
         ++at)
      if (!std::isspace(static_cast<unsigned char>(ttl[at]))) text += ttl[at];
    return text;
  };
  std::string const held = chunkAt(chosen, chosen.find("#chunk>"));
  int matches = 0;
  for (size_t at = bundled.find("#chunk>"); at != std::string::npos;
       at = bundled.find("#chunk>", at + 1))
    matches += chunkAt(bundled, at) == held;
  ASSERT_EQ(matches, 1) << chosen;

  // Dragged down by half the knob, Bass goes down by an eighth of its range in jalv's control
  // port, as the preset jalv saves from its ports then shows.
  float const bass = portValue(chosen, "bass");
  auto const [x, y] = RootPosition(editor);
  D().Move(x + lv2host::kBassX, y + lv2host::kKnobY);
  Sleep(500); // the saving dialog's pointer grab gone
  D().Drag(x + lv2host::kBassX, y + lv2host::kKnobY, 0, 36, 4);
  Sleep(1000); // jalv's UI update and audio cycles carry the value to the port
  std::string const dragged = savePreset("dragged");
  ASSERT_TRUE(Contains(dragged, "state:state")) << ReadText(jalvLog);
  EXPECT_FLOAT_EQ(portValue(dragged, "bass"), bass - 0.125f) << dragged;
}

} // namespace
