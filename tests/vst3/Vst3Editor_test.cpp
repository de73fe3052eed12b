// TORVA.vst3's editor as a VST 3 host embeds it, under a private Xvfb: its view in the host's
// window at the editor's sizes, a knob drag handed to the component handler only from the host's
// run-loop timer, and the window gone however the host lets go.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/golden.h"
#include "vst3/Vst3Host.h"
#include "x11/X11TestSupport.h"

using namespace x11test;

namespace
{
constexpr int kW = 1024, kH = 285, kBassX = 514 + 36, kKnobY = 100 + 36;

class Vst3Editor : public XServerTest
{
protected:
  void SetUp() override
  {
    std::thread([] {}).join(); // a sanitizer's own thread joins the baseline
    XServerTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(mPlug) << dlerror();
    mThreads = Threads();
  }
  void TearDown() override
  {
    EXPECT_TRUE(!mDisplay || WaitFor([&] { return Threads() == mThreads; }));
  }
  void* Parent(xcb_window_t w) { return reinterpret_cast<void*>(static_cast<uintptr_t>(w)); }
  static vst3host::ViewRect Size(vst3host::IPlugView* pView)
  {
    vst3host::ViewRect r{};
    pView->getSize(&r);
    return r;
  }

  vst3host::Plug mPlug;
  vst3host::Frame mFrame;
  vst3host::Handler mHandler;
  int mThreads = 0;
};

TEST_F(Vst3Editor, OpensInTheHostsWindowAndHandsGesturesOverFromItsTimer)
{
  using namespace vst3host;
  mPlug.mCtrl->setComponentHandler(&mHandler);
  IPlugView* pView = mPlug.mCtrl->createView("editor");
  ASSERT_NE(pView, nullptr);
  EXPECT_EQ(pView->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  EXPECT_EQ(pView->isPlatformTypeSupported("HWND"), kResultFalse);
  EXPECT_EQ(pView->canResize(), kResultFalse);
  ViewRect r = Size(pView);
  EXPECT_EQ(std::make_pair(r.right, r.bottom), std::make_pair(kW, kH));
  xcb_window_t const parent = D().MakeParent(0, 0, kW, kH);
  EXPECT_NE(pView->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultOk);
  EXPECT_NE(pView->attached(Parent(parent), "HWND"), kResultOk);

  pView->setFrame(&mFrame);
  ASSERT_EQ(pView->attached(Parent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
  EXPECT_NE(mFrame.mTimer, nullptr);
  xcb_window_t const win = D().OnlyChild(parent);
  ExpectMatchesGolden(SettledPicture(D(), win, kW, kH), "amp_editor_defaults");

  // A drag: nothing reaches the host until its timer fires, then in order on its thread.
  D().Drag(kBassX, kKnobY, 0, 36, 4);
  Sleep(300);
  EXPECT_TRUE(mHandler.Lines().empty());
  ASSERT_TRUE(WaitFor(
      [&]
      {
        mFrame.Tick();
        auto const lines = mHandler.Lines();
        return !lines.empty() && lines.back() == "end 0";
      }));
  auto const lines = mHandler.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "begin 0");
  for (size_t i = 1; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i], "perform 0");
  EXPECT_LT(mPlug.mCtrl->getParamNormalized(0), 0.7);

  // The sizes the editor has: another is refused, its own accepted.
  ViewRect other{0, 0, 1000, 300}, own{0, 0, kW, kH};
  EXPECT_EQ(pView->onSize(&other), kResultFalse);
  EXPECT_EQ(pView->onSize(&own), kResultTrue);

  EXPECT_EQ(pView->removed(), kResultOk);
  EXPECT_EQ(mFrame.mTimer, nullptr);
  EXPECT_EQ(D().Children(parent), 0);
  pView->release();
  mPlug.mCtrl->setComponentHandler(nullptr);
  D().Destroy(parent);
}

// A drag cut short by the host's removing the view ends on the host's thread, through the timer's
// queue; a host without a run loop hears the whole gesture from the editor thread instead.
TEST_F(Vst3Editor, GesturesWithoutARunLoopAndCutShortByTheHost)
{
  using namespace vst3host;
  for (bool runLoop : {true, false})
  {
    SCOPED_TRACE(runLoop ? "run loop" : "none");
    vst3host::Handler handler;
    mFrame.mNoRunLoop = !runLoop;
    mPlug.mCtrl->setComponentHandler(&handler);
    IPlugView* pView = mPlug.mCtrl->createView("editor");
    xcb_window_t const parent = D().MakeParent(0, 0, kW, kH);
    pView->setFrame(&mFrame);
    ASSERT_EQ(pView->attached(Parent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
    SettledPicture(D(), D().OnlyChild(parent), kW, kH);
    D().Move(kBassX, kKnobY);
    D().Button(1, true);
    D().Move(kBassX, kKnobY + 20);
    std::string const mark = runLoop ? "" : " elsewhere";
    ASSERT_TRUE(WaitFor(
        [&]
        {
          mFrame.Tick();
          return handler.Lines().size() >= 2;
        }));
    pView->removed();
    D().Button(1, false);
    auto const lines = handler.Lines();
    EXPECT_EQ(lines.front(), "begin 0" + mark);
    EXPECT_EQ(lines.back(), "end 0" + mark);
    pView->release();
    mPlug.mCtrl->setComponentHandler(nullptr);
    D().Destroy(parent);
  }
}

// The host's content scale (1.5) sizes the next opening: the 150 % editor. Then the host lets
// go without removing the view, the instance first or the view first: the window goes either way.
TEST_F(Vst3Editor, ContentScaleAndReleaseWhileAttached)
{
  using namespace vst3host;
  for (bool viewFirst : {true, false})
  {
    SCOPED_TRACE(viewFirst ? "view first" : "instance first");
    std::remove(EditorSettings().c_str()); // each opens at the host's size
    vst3host::Plug plug;
    IPlugView* pView = plug.mCtrl->createView("editor");
    ASSERT_NE(pView, nullptr);
    IPlugViewContentScaleSupport* pScale = nullptr;
    ASSERT_EQ(pView->queryInterface(kIPlugViewContentScaleSupportIID.bytes,
                                    reinterpret_cast<void**>(&pScale)),
              kResultOk);
    EXPECT_EQ(pScale->setContentScaleFactor(1.5f), kResultTrue);
    pScale->release();
    ViewRect const r = Size(pView);
    EXPECT_EQ(std::make_pair(r.right, r.bottom), std::make_pair(1536, 428));
    xcb_window_t const parent = D().MakeParent(0, 0, 1536, 428);
    pView->setFrame(&mFrame);
    ASSERT_EQ(pView->attached(Parent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
    ExpectMatchesGolden(SettledPicture(D(), D().OnlyChild(parent), 1536, 428),
                        "amp_editor_defaults_150");
    if (viewFirst)
      pView->release(), plug.Release();
    else
      plug.Release(), pView->release();
    EXPECT_EQ(D().Children(parent), 0);
    EXPECT_EQ(mFrame.mTimer, nullptr);
    D().Destroy(parent);
  }
}

} // namespace
