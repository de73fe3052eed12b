// effClose from inside one of the plug-in's own calls to the host: the object stays alive until
// the code that made the call has unwound, is then deleted without the host's help, and the host
// hears nothing after the close.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/vst2/IPlugVST.h"

namespace
{
std::atomic<bool> gDeleted{false};
std::atomic<int> gCloseOn{-1}; // the host opcode answered with effClose
std::atomic<bool> gClosedInCall{false};
std::mutex gCallsMutex;
std::vector<int> gCalls; // host opcodes, in order

VstIntPtr Callback(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  if (opcode == audioMasterVersion) return kVstVersion;
  {
    std::lock_guard<std::mutex> lock(gCallsMutex);
    gCalls.push_back(opcode);
  }
  if (opcode == audioMasterGetProductString && ptr) static_cast<char*>(ptr)[0] = 'x';
  int expected = opcode;
  if (e && gCloseOn.compare_exchange_strong(expected, -1))
  {
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    gClosedInCall = true;
  }
  return 0;
}

class Closable : public IPlugVST
{
public:
  Closable()
      : IPlugVST(IPlugInstanceInfo{&Callback}, 1, "1-1", 1, "Closable", "", "Maker", 0x10000,
                 TORVA_VST_FOURCC('C', 'l', 's', '1'), TORVA_VST_FOURCC('M', 'k', 'r', '1'))
  {
    GetParam(0)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01);
  }
  ~Closable() override { gDeleted = true; }
  // Runs after the host's answer in both paths below: the object must still be whole.
  void OnParamChange(int) override
  {
    if (gClosedInCall) mChangesAfterClose.fetch_add(gDeleted ? 1000 : 1);
  }
  static std::atomic<int> mChangesAfterClose;
};
std::atomic<int> Closable::mChangesAfterClose{0};

bool WaitDeleted()
{
  for (int i = 0; i < 4000 && !gDeleted; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return gDeleted;
}

void Reset(int closeOn)
{
  gDeleted = false;
  gClosedInCall = false;
  gCloseOn = closeOn;
  Closable::mChangesAfterClose = 0;
  std::lock_guard<std::mutex> lock(gCallsMutex);
  gCalls.clear();
}

std::vector<int> Calls()
{
  std::lock_guard<std::mutex> lock(gCallsMutex);
  return gCalls;
}
} // namespace

// effOpen asks the host's name; the host closes the plug-in in its answer. The dispatcher then
// goes on announcing the parameters (OnParamChange) on a live object, and the version query
// that would follow a named host is not made.
TEST(CloseReentry, InsideADispatcherRequest)
{
  Reset(audioMasterGetProductString);
  auto* plug = new Closable;
  AEffect* e = plug->GetAEffect();
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  EXPECT_TRUE(gClosedInCall);
  EXPECT_EQ(Closable::mChangesAfterClose, 1);
  ASSERT_TRUE(WaitDeleted());
  EXPECT_EQ(Calls(), std::vector<int>{audioMasterGetProductString});
}

// An editor gesture on a thread of its own: automate is answered with effClose; the rest of the
// gesture (OnParamChange, end-edit) runs on the live object and tells the host nothing.
TEST(CloseReentry, InsideAnEditorNotification)
{
  Reset(audioMasterAutomate);
  auto* plug = new Closable;
  AEffect* e = plug->GetAEffect();
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  std::thread editor(
      [plug]
      {
        WDL_MutexLock lock(plug->GetMutex()); // as the editor holds it around an input event
        plug->BeginInformHostOfParamChange(0);
        plug->SetParameterFromGUI(0, 0.25);
        plug->EndInformHostOfParamChange(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(gDeleted); // not while the lock is held up the stack
      });
  editor.join();
  EXPECT_TRUE(gClosedInCall);
  EXPECT_EQ(Closable::mChangesAfterClose, 1);
  ASSERT_TRUE(WaitDeleted());
  const std::vector<int> calls = Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], audioMasterBeginEdit);
  EXPECT_EQ(calls.back(), audioMasterAutomate);
}
