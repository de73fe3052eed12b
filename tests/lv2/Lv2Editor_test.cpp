// TORVA.lv2's editor as an LV2 host embeds it, under a private Xvfb: refused without a usable
// parent, host port values on screen, a knob drag handed to the host's touch and write functions
// only from the host's idle call, and a clean close even after the host destroyed the parent.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include "lv2/Lv2Host.h"
#include "support/golden.h"
#include "x11/X11TestSupport.h"

using namespace x11test;

namespace
{
using lv2host::kW, lv2host::kH;
constexpr uint32_t kBassPort = 4, kTreblePort = 8, kBypassPort = 11;

// The host's side: every write ("write <port> <value>"), touch and release in order, marked
// "elsewhere" when not on the host's thread, and the size the editor asks for.
struct HostSide : CallLog
{
  void Note(std::string const& what)
  {
    Add(what + (std::this_thread::get_id() == mThread ? "" : " elsewhere"));
  }
  static void Write(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t protocol,
                    void const* buffer)
  {
    bool const ok = size == sizeof(float) && protocol == 0;
    float v = 0.0f;
    if (ok) std::memcpy(&v, buffer, sizeof v);
    char text[64];
    std::snprintf(text, sizeof text, "write %u %.9g%s", port, v, ok ? "" : " malformed");
    static_cast<HostSide*>(c)->Note(text);
  }
  static void Touch(LV2UI_Feature_Handle h, uint32_t port, bool grabbed)
  {
    static_cast<HostSide*>(h)->Note((grabbed ? "touch " : "release ") + std::to_string(port));
  }
  static int Resize(LV2UI_Feature_Handle h, int w, int hh)
  {
    auto* self = static_cast<HostSide*>(h);
    self->mSize = {w, hh};
    self->mResizes.push_back(std::to_string(w) + "x" + std::to_string(hh) +
                             (std::this_thread::get_id() == self->mThread ? "" : " elsewhere"));
    return self->mRefuseResize ? 1 : 0;
  }
  std::thread::id const mThread = std::this_thread::get_id();
  std::pair<int, int> mSize{0, 0};
  bool mRefuseResize = false;
  std::vector<std::string> mResizes; // asked from the host's thread only, so no lock
};

class Lv2Editor : public XServerTest
{
protected:
  void SetUp() override
  {
    std::thread([] {}).join(); // a sanitizer's own thread joins the baseline
    XServerTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(mEditor) << dlerror();
    mThreads = Threads();
  }
  void TearDown() override
  {
    EXPECT_TRUE(!mDisplay || WaitFor([&] { return Threads() == mThreads; }));
  }

  // scale: the host's ui:scaleFactor, 0 for none.
  LV2UI_Handle Open(xcb_window_t parent, char const* uri = lv2host::kURI, bool withParent = true,
                    float scale = 0.0f)
  {
    LV2_Feature const parentFeature{LV2_UI__parent,
                                    reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
    LV2_Feature const touch{LV2_UI__touch, &mTouch}, resize{LV2_UI__resize, &mResize};
    LV2_URID_Map map{&mURIs,
                     [](LV2_URID_Map_Handle h, char const* uri) -> LV2_URID
                     {
                       auto& uris = *static_cast<std::vector<std::string>*>(h);
                       for (size_t i = 0; i < uris.size(); ++i)
                         if (uris[i] == uri) return LV2_URID(i + 1);
                       uris.push_back(uri);
                       return LV2_URID(uris.size());
                     }};
    LV2_Options_Option const options[] = {{LV2_OPTIONS_INSTANCE, 0,
                                           map.map(&mURIs, LV2_UI__scaleFactor), sizeof(float),
                                           map.map(&mURIs, LV2_ATOM__Float), &scale},
                                          {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    LV2_Feature const mapFeature{LV2_URID__map, &map};
    LV2_Feature const optionsFeature{LV2_OPTIONS__options,
                                     const_cast<LV2_Options_Option*>(options)};
    LV2_Feature const* features[] = {&touch,
                                     &resize,
                                     &mapFeature,
                                     scale > 0.0f ? &optionsFeature : &touch,
                                     withParent ? &parentFeature : nullptr,
                                     nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle const h = mEditor->instantiate(mEditor, uri, lv2host::BundlePath().c_str(),
                                                HostSide::Write, &mHost, &widget, features);
    if (h) mWin = static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(widget));
    return h;
  }
  void Port(LV2UI_Handle h, uint32_t port, float v) { mEditor->port_event(h, port, 4, 0, &v); }
  int Idle(LV2UI_Handle h)
  {
    auto const* idle =
        static_cast<LV2UI_Idle_Interface const*>(mEditor->extension_data(LV2_UI__idleInterface));
    return idle ? idle->idle(h) : -1;
  }

  LV2UI_Descriptor const* mEditor = lv2host::TheModule().mEditor;
  HostSide mHost;
  LV2UI_Touch mTouch{&mHost, HostSide::Touch};
  LV2UI_Resize mResize{&mHost, HostSide::Resize};
  xcb_window_t mWin = 0;
  int mThreads = 0;
  std::vector<std::string> mURIs;
};

// Refused without a parent, with one that is no window or for another plug-in; a parent the
// host destroys first: idle says the editor is gone, cleanup still succeeds.
TEST_F(Lv2Editor, RefusalsAndAParentDestroyedUnderTheEditor)
{
  xcb_window_t const parent = D().MakeParent(0, 0, kW, kH);
  EXPECT_EQ(Open(parent, lv2host::kURI, false), nullptr);
  EXPECT_EQ(Open(parent, "urn:another:plugin"), nullptr);
  EXPECT_EQ(Open(0), nullptr);
  EXPECT_EQ(D().Children(parent), 0);

  LV2UI_Handle h = Open(parent);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Idle(h), 0);
  D().Destroy(parent);
  EXPECT_TRUE(WaitFor([&] { return Idle(h) == 1; }));
  mEditor->cleanup(h);
}

TEST_F(Lv2Editor, ShowsPortValuesAndWritesDragsFromIdle)
{
  xcb_window_t const parent = D().MakeParent(0, 0, kW, kH);
  LV2UI_Handle h = Open(parent);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(D().OnlyChild(parent), mWin);
  EXPECT_EQ(mHost.mSize, std::make_pair(kW, kH));

  // The defaults, as a host sends them on opening, then the same changes a VST 2 host makes in
  // the amplifier's editor test.
  for (uint32_t i = 0; i < 8; ++i) Port(h, 4 + i, lv2host::kDefaults[i]);
  torva_test::Image const before = SettledPicture(D(), mWin, kW, kH);
  Port(h, kBassPort, 0.0f);
  Port(h, kTreblePort, 1.0f);
  Port(h, kBypassPort, 1.0f);
  ExpectMatchesGolden(SettledPicture(D(), mWin, kW, kH, &before), "amp_editor_host_changes");
  Port(h, kBassPort, 0.7f);
  EXPECT_EQ(Idle(h), 0);
  EXPECT_TRUE(mHost.Lines().empty()); // host values are not echoed back

  // A drag: nothing reaches the host until it idles, and then from its own thread: touch,
  // values, release.
  D().Drag(lv2host::kBassX, lv2host::kKnobY, 0, 36, 4);
  Sleep(300);
  EXPECT_TRUE(mHost.Lines().empty());
  ASSERT_TRUE(WaitFor([&] { return Idle(h) == 0 && mHost.Count("release 4") > 0; }));
  auto const lines = mHost.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "touch 4");
  EXPECT_EQ(lines.back(), "release 4");
  for (size_t i = 1; i + 1 < lines.size(); ++i)
    EXPECT_TRUE(lines[i].starts_with("write 4 ") && lines[i].find(' ', 8) == std::string::npos)
        << lines[i]; // no mark

  // The host's echo of the last value sends nothing; malformed port events (an audio port, a
  // port past the last, a NaN, another protocol, a wrong size) change nothing.
  Port(h, kBassPort, std::stof(lines[lines.size() - 2].substr(8)));
  torva_test::Image const settled = SettledPicture(D(), mWin, kW, kH);
  Port(h, 0, 1.0f);
  Port(h, 12, 1.0f);
  Port(h, kTreblePort, std::nanf(""));
  float v = 0.0f;
  mEditor->port_event(h, kTreblePort, sizeof v, 7, &v);
  mEditor->port_event(h, kTreblePort, 2, 0, &v);
  Sleep(200);
  EXPECT_EQ(Idle(h), 0);
  EXPECT_EQ(mHost.Lines().size(), lines.size());
  EXPECT_EQ(WindowPicture(D(), mWin, kW, kH).pixels, settled.pixels);

  mEditor->cleanup(h);
  EXPECT_EQ(D().Children(parent), 0);
  D().Destroy(parent);
}

// The host's ui:scaleFactor (1.5) sizes the editor: the window, the host's resize feature and
// the picture are the 150 % editor's. The size menu's choice of 200 % reaches the host's resize
// feature from its idle call, on its thread; a host that grants it gets the 200 % editor, one
// that refuses keeps the editor as it was.
TEST_F(Lv2Editor, SizeMenuAsksTheHostsResizeFeature)
{
  for (bool refuse : {false, true})
  {
    SCOPED_TRACE(refuse ? "refused" : "granted");
    std::remove(EditorSettings().c_str()); // each opens at the host's size
    mHost.mRefuseResize = refuse;
    xcb_window_t const parent = D().MakeParent(0, 0, 2048, 570);
    LV2UI_Handle h = Open(parent, lv2host::kURI, true, 1.5f);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mHost.mSize, std::make_pair(1536, 428));
    for (uint32_t i = 0; i < 8; ++i) Port(h, 4 + i, lv2host::kDefaults[i]);
    ExpectMatchesGolden(SettledPicture(D(), mWin, 1536, 428), "amp_editor_defaults_150");
    mHost.mResizes.clear();
    ASSERT_TRUE(D().ChooseSize200(40, 20)); // the panel
    ASSERT_TRUE(WaitFor(
        [&]
        {
          Idle(h);
          return !mHost.mResizes.empty();
        }));
    EXPECT_EQ(mHost.mResizes, std::vector<std::string>{"2048x570"});
    const int w = refuse ? 1536 : 2 * kW, hh = refuse ? 428 : 2 * kH;
    EXPECT_TRUE(WaitFor([&] { return D().Geometry(mWin).w == w && D().Geometry(mWin).h == hh; }));
    mEditor->cleanup(h);
    D().Destroy(parent);
  }
  std::remove(EditorSettings().c_str());
}

} // namespace
