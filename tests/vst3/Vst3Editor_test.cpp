// TORVA.vst3's editor as a VST 3 host embeds it, under a private Xvfb: its view in the host's
// window at the editor's sizes, the window gone however the host lets go, and the user's
// gestures handed to the component handler from the host's run-loop timer.

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

  vst3host::Plug mPlug;
  vst3host::Frame mFrame;
  int mThreads = 0;
};

// The view at the editor's sizes in the host's window, 100 % and, after the host's content scale
// of 1.5, 150 %; the host then lets go without removing it, the view first or the instance
// first: the window goes either way.
TEST_F(Vst3Editor, OpensInTheHostsWindowAtItsSizes)
{
  using namespace vst3host;
  for (float scale : {1.0f, 1.5f})
  {
    SCOPED_TRACE(scale);
    std::remove(EditorSettings().c_str()); // each opens at the host's size
    vst3host::Plug plug;
    IPlugView* pView = plug.mCtrl->createView("editor");
    ASSERT_NE(pView, nullptr);
    EXPECT_EQ(pView->isPlatformTypeSupported("HWND"), kResultFalse);
    EXPECT_EQ(pView->canResize(), kResultFalse);
    IPlugViewContentScaleSupport* pScale = nullptr;
    ASSERT_EQ(pView->queryInterface(kIPlugViewContentScaleSupportIID.bytes,
                                    reinterpret_cast<void**>(&pScale)),
              kResultOk);
    EXPECT_EQ(pScale->setContentScaleFactor(scale), kResultTrue);
    pScale->release();
    int const w = scale > 1.0f ? 1536 : kW, h = scale > 1.0f ? 428 : kH;
    ViewRect r{};
    pView->getSize(&r);
    EXPECT_EQ(std::make_pair(r.right, r.bottom), std::make_pair(w, h));
    ViewRect other{0, 0, 1000, 300};
    EXPECT_EQ(pView->onSize(&other), kResultFalse);
    EXPECT_EQ(pView->onSize(&r), kResultTrue);

    xcb_window_t const parent = D().MakeParent(0, 0, w, h);
    EXPECT_NE(pView->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_NE(pView->attached(Parent(parent), "HWND"), kResultOk);
    pView->setFrame(&mFrame);
    ASSERT_EQ(pView->attached(Parent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
    ExpectMatchesGolden(SettledPicture(D(), D().OnlyChild(parent), w, h),
                        scale > 1.0f ? "amp_editor_defaults_150" : "amp_editor_defaults");
    if (scale > 1.0f)
      pView->release(), plug.Release();
    else
      plug.Release(), pView->release();
    EXPECT_EQ(D().Children(parent), 0);
    EXPECT_EQ(mFrame.mTimer, nullptr);
    D().Destroy(parent);
  }
}

// A knob drag reaches the component handler only when the host's run-loop timer fires, on its
// thread; a drag cut short by the host removing the view ends there too. A host without a run
// loop hears both from the editor thread instead.
TEST_F(Vst3Editor, GesturesGoToTheHostFromItsTimer)
{
  using namespace vst3host;
  for (bool runLoop : {true, false})
  {
    SCOPED_TRACE(runLoop ? "run loop" : "none");
    std::string const mark = runLoop ? "" : " elsewhere";
    mFrame.mNoRunLoop = !runLoop;
    for (bool cutShort : {false, true})
    {
      vst3host::Handler handler;
      mPlug.mCtrl->setComponentHandler(&handler);
      IPlugView* pView = mPlug.mCtrl->createView("editor");
      xcb_window_t const parent = D().MakeParent(0, 0, kW, kH);
      pView->setFrame(&mFrame);
      ASSERT_EQ(pView->attached(Parent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
      EXPECT_EQ(mFrame.mTimer != nullptr, runLoop);
      SettledPicture(D(), D().OnlyChild(parent), kW, kH);
      D().Move(kBassX, kKnobY);
      D().Button(1, true);
      D().Move(kBassX, kKnobY + 20);
      if (!cutShort) D().Button(1, false);
      Sleep(300);
      EXPECT_TRUE(!runLoop || handler.Lines().empty()); // held for the timer
      ASSERT_TRUE(WaitFor(
          [&]
          {
            mFrame.Tick();
            auto const lines = handler.Lines();
            return lines.size() >= 2 && (cutShort || lines.back() == "end 0" + mark);
          }));
      pView->removed();
      if (cutShort) D().Button(1, false);
      auto const lines = handler.Lines();
      EXPECT_EQ(lines.front(), "begin 0" + mark);
      for (size_t i = 1; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i], "perform 0" + mark);
      EXPECT_EQ(lines.back(), "end 0" + mark);
      pView->release();
      mPlug.mCtrl->setComponentHandler(nullptr);
      D().Destroy(parent);
    }
  }
  EXPECT_LT(mPlug.mCtrl->getParamNormalized(0), 0.7); // dragged down
}

} // namespace
