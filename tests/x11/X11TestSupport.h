#pragma once
// Support for the X11 editor host tests: a plug-in that records its host calls from any
// thread, a probe control that logs what reaches it, a second X connection that plays the
// host (parent windows, pictures, XTest input) and the fixture of tests against the private
// Xvfb (they skip without one).

#include <gtest/gtest.h>
#include <sys/types.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "framework/IPlugHeadless.h"
#include "graphics/IControl.h"
#include "graphics/IPopupMenu.h"
#include "platform/linux/IGraphicsLinux.h"
#include "platform/linux/IGraphicsLinuxSession.h"
#include "raster/lice.h"
#include "support/TempFiles.h"
#include "support/golden.h"

#include "XvfbServer.h"

namespace x11test
{

// Lines logged from any thread.
class CallLog
{
  template <class F> auto Locked(F f)
  {
    std::lock_guard<std::mutex> lock(mLogMutex);
    return f();
  }

public:
  void Add(const std::string& s)
  {
    Locked([&] { mLines.push_back(s); });
  }
  std::vector<std::string> Lines()
  {
    return Locked([&] { return mLines; });
  }
  void Clear()
  {
    Locked([&] { mLines.clear(); });
  }
  int Count(const std::string& what)
  {
    const std::vector<std::string> lines = Lines();
    return (int)std::count(lines.begin(), lines.end(), what);
  }

private:
  std::mutex mLogMutex;
  std::vector<std::string> mLines;
};

// Two parameters: 0 "Gain" 0..1, 1 "Mode" an enum of three display texts. Logs the edit
// notifications as "begin|automate|end <index>".
class HostPlug : public IPlugHeadless, public CallLog
{
  template <class F> auto WithLock(F f)
  {
    WDL_MutexLock lock(&mMutex);
    return f();
  }

public:
  HostPlug()
      : IPlugHeadless(IPlugHeadlessInfo(), 2, "1-1", 1, "X11Test", "", "Test", 0x10000, 0x58313154,
                      0x54657374, 0, false, false, false, 0)
  {
    GetParam(0)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01, "");
    GetParam(1)->InitEnum("Mode", 0, 3);
    GetParam(1)->SetDisplayText(0, "Clean");
    GetParam(1)->SetDisplayText(1, "Crunch");
    GetParam(1)->SetDisplayText(2, "Lead");
  }

  // As the VST 2 dispatcher does: effEditOpen / effEditClose without the plug-in lock, and a
  // host parameter change stored into the editor with it.
  void* HostOpen(xcb_window_t parent) { return GetGUI()->OpenWindow((void*)(uintptr_t)parent); }
  void HostClose() { GetGUI()->CloseWindow(); }
  void HostSetParam(int idx, double normalized)
  {
    WithLock(
        [&]
        {
          GetParam(idx)->SetNormalized(normalized);
          GetGUI()->SetParameterFromPlug(idx, normalized, true);
        });
  }
  double ParamValue(int idx)
  {
    return WithLock([&] { return GetParam(idx)->Value(); });
  }

  void BeginInformHostOfParamChange(int idx) override { Note("begin", idx); }
  void InformHostOfParamChange(int idx, double) override { Note("automate", idx); }
  void EndInformHostOfParamChange(int idx) override { Note("end", idx); }

  // Runs inside the next begin-edit callback, on the calling (editor) thread, taking the
  // plug-in lock as a host's re-entrant dispatcher call would.
  void OnNextBegin(std::function<void()> f)
  {
    std::lock_guard<std::mutex> lock(mOnBeginMutex);
    mOnBegin = std::move(f);
  }

private:
  void Note(const char* what, int idx)
  {
    Add(std::string(what) + " " + std::to_string(idx));
    std::function<void()> f;
    if (std::string(what) == "begin")
    {
      std::lock_guard<std::mutex> lock(mOnBeginMutex);
      f.swap(mOnBegin);
    }
    if (f) WithLock(f);
  }

  std::mutex mOnBeginMutex;
  std::function<void()> mOnBegin;
};

// Paints its rectangle in a grey of its value; logs the calls it gets (any thread may read).
class Probe : public IControl, public CallLog
{
public:
  Probe(IPlugBase* pPlug, IRECT r, int paramIdx) : IControl(pPlug, r, paramIdx)
  {
    DisablePrompt(false);
  }

  bool Draw(IGraphics* pGraphics) override
  {
    const int g = (int)(GetValue() * 255.0);
    IColor c(255, g, g, 255 - g);
    pGraphics->FillIRect(&c, &mRECT);
    return true;
  }
  void OnMouseDown(int, int, IMouseMod* pMod) override
  {
    Add(pMod->mR ? "down R" : "down L");
    if (mPrompt) PromptUserInput();
    if (mHideCursor) GetGUI()->HideMouseCursor();
    if (mCustomMenu) RunCustomMenu();
  }
  void OnMouseUp(int, int, IMouseMod*) override
  {
    Add("up");
    if (mHideCursor) GetGUI()->ShowMouseCursor();
  }
  void OnMouseDrag(int, int, int, int dY, IMouseMod*) override
  {
    Add("drag");
    SetValue(GetValue() - 0.01 * dY);
    SetDirty(true);
  }
  // Resets to the default, as knobs do.
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override
  {
    Add("dbl");
    IControl::OnMouseDblClick(x, y, pMod);
  }
  void OnMouseWheel(int, int, IMouseMod* pMod, int d) override
  {
    Add("wheel " + std::to_string(d) + (pMod->mS ? " shift" : ""));
  }
  bool OnKeyDown(int, int, int key) override
  {
    Add("key " + std::to_string(key));
    return true;
  }
  void OnMouseOver(int, int, IMouseMod*) override { Add("over"); }
  void OnMouseOut() override { Add("out"); }
  void TextFromTextEntry(const char* text) override { Add(std::string("text ") + text); }

  std::atomic<bool> mPrompt{false};
  std::atomic<bool> mHideCursor{false}; // hidden while pressed, as a fine-adjust knob would
  // A numbered menu with a separator, a disabled item and a submenu; the answer is logged as
  // "menu main|sub <index>" or "menu none".
  std::atomic<bool> mCustomMenu{false};

private:
  void RunCustomMenu()
  {
    IPopupMenu sub;
    sub.AddItem("Alpha");
    sub.AddItem("Beta");
    IPopupMenu main;
    main.SetPrefix(2);
    main.AddItem("One");
    main.AddSeparator();
    main.AddItem("Off", -1, IPopupMenuItem::kDisabled);
    main.AddItem("More", &sub);
    main.AddItem("Last", -1, IPopupMenuItem::kChecked | IPopupMenuItem::kTitle);
    IRECT r = mRECT;
    IPopupMenu* chosen = GetGUI()->CreateIPopupMenu(&main, &r);
    const char* which = !chosen           ? "none"
                        : chosen == &main ? "main "
                        : chosen == &sub  ? "sub "
                                          : "? ";
    Add(std::string("menu ") + which + (chosen ? std::to_string(chosen->GetChosenItemIdx()) : ""));
  }
};

// A grey background that paints only the region being drawn (the stock panel fills the whole
// back bitmap on every pass, while only the dirty region is presented).
class Back : public IControl
{
public:
  Back(IPlugBase* pPlug, IRECT r) : IControl(pPlug, r) {}
  bool Draw(IGraphics* pGraphics) override
  {
    IRECT r = mRECT.Intersect(pGraphics->GetDrawRECT());
    pGraphics->FillIRect(&COLOR_GRAY, &r);
    return true;
  }
};

// One plug-in with its editor: grey background, a probe for each parameter.
struct Editor
{
  static constexpr int kW = 200, kH = 120;
  static constexpr IRECT kGain{20, 20, 100, 60};
  static constexpr IRECT kMode{120, 20, 180, 60};

  Editor()
  {
    gui = new IGraphicsLinux(&plug, kW, kH, 50);
    gui->AttachControl(new Back(&plug, IRECT(0, 0, kW, kH)));
    gain = new Probe(&plug, kGain, 0);
    mode = new Probe(&plug, kMode, 1);
    gui->AttachControl(gain);
    gui->AttachControl(mode);
    gui->HandleMouseOver(true);
    plug.AttachGraphics(gui); // the plug-in owns the editor from here
  }

  xcb_window_t Window() const { return (xcb_window_t)(uintptr_t)gui->GetWindow(); }

  HostPlug plug;
  IGraphicsLinux* gui;
  Probe* gain;
  Probe* mode;
};

// The test's own connection: plays the host and the user.
class Display
{
public:
  Display()
  {
    const char* d = std::getenv("DISPLAY");
    if (!d || !*d) return;
    mConn = xcb_connect(d, nullptr);
    if (xcb_connection_has_error(mConn))
    {
      xcb_disconnect(mConn);
      mConn = nullptr;
      return;
    }
    mScreen = xcb_setup_roots_iterator(xcb_get_setup(mConn)).data;
    mKeySyms = xcb_key_symbols_alloc(mConn);
  }
  ~Display()
  {
    if (!mConn) return;
    xcb_key_symbols_free(mKeySyms);
    xcb_disconnect(mConn);
  }
  bool Ok() const { return mConn != nullptr; }
  xcb_connection_t* Conn() const { return mConn; }

  // A mapped top-level window at (x, y), standing for the host's editor frame.
  xcb_window_t MakeParent(int x = 0, int y = 0, int w = Editor::kW, int h = Editor::kH)
  {
    const xcb_window_t win = xcb_generate_id(mConn);
    const uint32_t values[] = {mScreen->black_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(mConn, XCB_COPY_FROM_PARENT, win, mScreen->root, (int16_t)x, (int16_t)y,
                      (uint16_t)w, (uint16_t)h, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      mScreen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_map_window(mConn, win);
    Sync();
    return win;
  }
  void Destroy(xcb_window_t win)
  {
    xcb_destroy_window(mConn, win);
    Sync();
  }
  void Sync() { free(xcb_get_input_focus_reply(mConn, xcb_get_input_focus(mConn), nullptr)); }

  // Child windows of a window, bottom first (none when the window does not exist).
  std::vector<xcb_window_t> ChildList(xcb_window_t win)
  {
    xcb_query_tree_reply_t* t = xcb_query_tree_reply(mConn, xcb_query_tree(mConn, win), nullptr);
    std::vector<xcb_window_t> out;
    if (t) out.assign(xcb_query_tree_children(t), xcb_query_tree_children(t) + t->children_len);
    free(t);
    return out;
  }
  int Children(xcb_window_t win) { return (int)ChildList(win).size(); }
  // The parent's one child (the editor's window), 0 while there is none.
  xcb_window_t OnlyChild(xcb_window_t parent)
  {
    const std::vector<xcb_window_t> c = ChildList(parent);
    return c.size() == 1 ? c[0] : 0;
  }
  // The topmost child of the root (an open menu).
  xcb_window_t TopOfRoot() { return ChildList(mScreen->root).back(); }
  struct Rect
  {
    int x = 0, y = 0, w = 0, h = 0;
  };
  Rect Geometry(xcb_window_t win)
  {
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(mConn, xcb_get_geometry(mConn, win), nullptr);
    const Rect r = g ? Rect{g->x, g->y, g->width, g->height} : Rect{};
    free(g);
    return r;
  }

  void Move(int x, int y)
  {
    xcb_test_fake_input(mConn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, mScreen->root, (int16_t)x,
                        (int16_t)y, 0);
    Sync();
  }
  void Button(int button, bool press)
  {
    xcb_test_fake_input(mConn, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, (uint8_t)button,
                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    Sync();
  }
  void Click(int button = 1)
  {
    Button(button, true);
    Button(button, false);
  }
  // Presses at (x, y), moves by (dx, dy) in steps and releases.
  void Drag(int x, int y, int dx, int dy, int steps)
  {
    Move(x, y);
    Button(1, true);
    for (int i = 1; i <= steps; ++i) Move(x + dx * i / steps, y + dy * i / steps);
    Button(1, false);
  }
  // Presses and releases the key of a keysym, with a modifier key held (0 for none).
  void Key(xcb_keysym_t sym, xcb_keysym_t modifier = 0)
  {
    const xcb_keycode_t code = Code(sym), mod = modifier ? Code(modifier) : 0;
    if (!code) return;
    if (mod) Fake(XCB_KEY_PRESS, mod);
    Fake(XCB_KEY_PRESS, code);
    Fake(XCB_KEY_RELEASE, code);
    if (mod) Fake(XCB_KEY_RELEASE, mod);
    Sync();
  }
  static constexpr xcb_keysym_t kShift = 0xffe1, kControl = 0xffe3;
  // Types the characters of text, with Shift for those on a key's second level ('A', '_', '~');
  // '\b' is BackSpace.
  void Type(const std::string& text)
  {
    for (char c : text)
    {
      const xcb_keysym_t sym = c == '\b' ? 0xff08 : (xcb_keysym_t)(unsigned char)c;
      const xcb_keycode_t code = Code(sym);
      Key(sym, code && xcb_key_symbols_get_keysym(mKeySyms, code, 0) != sym ? kShift : 0);
    }
  }
  // The pointer's root position.
  std::pair<int, int> Pointer()
  {
    xcb_query_pointer_reply_t* p =
        xcb_query_pointer_reply(mConn, xcb_query_pointer(mConn, mScreen->root), nullptr);
    std::pair<int, int> xy(p ? p->root_x : -1, p ? p->root_y : -1);
    free(p);
    return xy;
  }
  // Right-click at (x, y) on an editor's panel, then the keys once its menu is up; false when
  // no menu came up.
  bool PanelMenuKeys(int x, int y, std::initializer_list<xcb_keysym_t> keys)
  {
    Move(x, y);
    const xcb_window_t top = TopOfRoot();
    Click(3);
    if (!WaitFor([&] { return TopOfRoot() != top; })) return false;
    Sleep(100); // the menu's keyboard grab
    for (xcb_keysym_t key : keys) Key(key), Sleep(50);
    return true;
  }
  // "Size" (after "Presets"), "200 %".
  bool ChooseSize200(int x, int y)
  {
    return PanelMenuKeys(x, y, {0xff54, 0xff54, 0xff53, 0xff54, 0xff54, 0xff0d});
  }
  void Focus(xcb_window_t win)
  {
    xcb_set_input_focus(mConn, XCB_INPUT_FOCUS_POINTER_ROOT, win, XCB_CURRENT_TIME);
    Sync();
  }

  xcb_atom_t Atom(const char* name)
  {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        mConn, xcb_intern_atom(mConn, 0, (uint16_t)std::strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : XCB_NONE;
    free(r);
    return a;
  }

private:
  xcb_keycode_t Code(xcb_keysym_t sym)
  {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(mKeySyms, sym);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    free(codes);
    return code;
  }
  void Fake(uint8_t type, xcb_keycode_t code)
  {
    xcb_test_fake_input(mConn, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  }

  xcb_connection_t* mConn = nullptr;
  xcb_screen_t* mScreen = nullptr;
  xcb_key_symbols_t* mKeySyms = nullptr;
};

// A window's w x h pixels as an opaque image (no pixels when it cannot be read).
inline torva_test::Image WindowPicture(Display& d, xcb_window_t win, int w, int h)
{
  torva_test::Image img;
  img.width = w;
  img.height = h;
  xcb_get_image_reply_t* r = xcb_get_image_reply(
      d.Conn(),
      xcb_get_image(d.Conn(), XCB_IMAGE_FORMAT_Z_PIXMAP, win, 0, 0, (uint16_t)w, (uint16_t)h, ~0u),
      nullptr);
  if (r && xcb_get_image_data_length(r) >= w * h * 4)
  {
    const auto* words = reinterpret_cast<const uint32_t*>(xcb_get_image_data(r));
    for (int i = 0; i < w * h; ++i) img.pixels.push_back(0xFF000000u | words[i]);
  }
  free(r);
  return img;
}

// The picture once it has settled: drawn (not all black) and the same over three reads a few
// frames apart, and different from `unlike` when that is given.
inline torva_test::Image SettledPicture(Display& d, xcb_window_t win, int w, int h,
                                        const torva_test::Image* unlike = nullptr)
{
  torva_test::Image last;
  int same = 0;
  WaitFor(
      [&]
      {
        torva_test::Image now = WindowPicture(d, win, w, h);
        bool drawn = !unlike || now.pixels != unlike->pixels;
        drawn = drawn && std::any_of(now.pixels.begin(), now.pixels.end(),
                                     [](uint32_t p) { return p != 0xFF000000u; });
        same = drawn && now.pixels == last.pixels ? same + 1 : 0;
        last = std::move(now);
        Sleep(50);
        return same >= 2;
      });
  return last;
}

// The back bitmap as opaque pixels, as WindowPicture gives them (read under the draw lock).
inline std::vector<uint32_t> BackBitmap(IGraphics* gui)
{
  std::lock_guard<std::mutex> lock(x11editor::DrawMutex());
  std::vector<uint32_t> out;
  LICE_IBitmap* bmp = gui->GetDrawBitmap();
  for (int y = 0; y < bmp->getHeight(); ++y)
    for (int x = 0; x < bmp->getWidth(); ++x)
      out.push_back(0xFF000000u | bmp->getBits()[y * bmp->getRowSpan() + x]);
  return out;
}

// A test against the program's private server, which DISPLAY names; D() is the test's own
// connection.
class XServerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (SharedDisplay().empty()) GTEST_SKIP() << "no Xvfb";
    setenv("DISPLAY", SharedDisplay().c_str(), 1);
    // Editors open at 100 % whatever the user running the tests chose or configured. One folder
    // for the whole program: fontconfig reads its own settings there too, and reloads them (and
    // leaks a little) whenever the variable changes.
    setenv("XDG_CONFIG_HOME", ConfigHome().c_str(), 1);
    unsetenv("TORVA_SCALE");
    mDisplay = std::make_unique<Display>();
    ASSERT_TRUE(mDisplay->Ok());
  }
  Display& D() { return *mDisplay; }
  static const std::string& ConfigHome()
  {
    static const torva_test::TempDir sConfig;
    return sConfig.Path();
  }
  // The editor's remembered size, in that folder.
  static std::string EditorSettings() { return ConfigHome() + "/torva/editor"; }

  std::unique_ptr<Display> mDisplay;
};

} // namespace x11test
