// effClose from inside one of the plug-in's own calls to the host: the object stays alive until
// the code that made the call has unwound, is then deleted without the host's help, and the host
// hears nothing after the close.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "support/TestHost.h"
#include "support/VstEightParamPlug.h"

using vsthost::Host;

namespace
{
std::atomic<bool> gDeleted{false}, gClosedInCall{false};
std::atomic<int> gChangesAfterClose{0};
} // namespace

// effClose from inside a request, in two places. effOpen asks the host's name (without the lock)
// and the host closes in its answer: the dispatcher goes on announcing the parameters
// (OnParamChange, eight times) on a live object, and the version query that would follow a named
// host is not made. A gesture on a thread of its own, with a caller up its stack holding the lock,
// has automate (sent after OnParamChange) answered with effClose: the rest of the gesture runs on
// the live object and tells the host nothing.
TEST(CloseReentry, InsideARequestOfThePlugin)
{
  struct
  {
    int closeOn;
    std::vector<int> heard; // by the host, from the gesture if there is one
    int changesAfterClose;
  } const cases[] = {{audioMasterGetProductString, {audioMasterGetProductString}, 8},
                     {audioMasterAutomate, {audioMasterBeginEdit, audioMasterAutomate}, 0}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.closeOn);
    gDeleted = gClosedInCall = false;
    gChangesAfterClose = 0;
    Host host; // answers closeOn, once, with effClose
    host.mOnCall = [closeOn = c.closeOn](AEffect* e, int opcode) mutable
    {
      if (opcode != closeOn) return;
      closeOn = -1;
      e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
      gClosedInCall = true;
    };
    auto* plug = new torva_test::VstEightParamPlug({.host = &Host::Callback});
    plug->mDeleted = &gDeleted;
    // Runs after the host's answer in both paths: the object must still be whole.
    plug->mOnParamChange = [](int)
    {
      if (gClosedInCall) gChangesAfterClose.fetch_add(gDeleted ? 1000 : 1);
    };
    plug->GetAEffect()->dispatcher(plug->GetAEffect(), effOpen, 0, 0, nullptr, 0.0f);
    if (c.closeOn == audioMasterAutomate)
    {
      host.ClearCalls();
      std::thread editor(
          [plug]
          {
            WDL_MutexLock lock(plug->GetMutex()); // a caller up the stack
            plug->BeginInformHostOfParamChange(0);
            plug->SetParameterFromGUI(0, 0.25);
            plug->EndInformHostOfParamChange(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_FALSE(gDeleted); // not while the lock is held up the stack
          });
      editor.join();
    }
    EXPECT_TRUE(gClosedInCall);
    EXPECT_EQ(gChangesAfterClose, c.changesAfterClose);
    for (int i = 0; i < 4000 && !gDeleted; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(gDeleted);
    std::vector<int> heard;
    for (vsthost::HostCall const& call : host.mCalls) heard.push_back(call.opcode);
    EXPECT_EQ(heard, c.heard);
  }
}
