// A preset-file load tells the host only after letting go of the plug-in lock. Hosts answer
// audioMasterUpdateDisplay by asking the plug-in for what it shows, often from another thread
// while this one waits: under the lock that is a deadlock. The wait here is bounded, so the
// test fails instead of hanging.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "framework/vst2/IPlugVST.h"
#include "support/TempFiles.h"

namespace
{
// What the host's other thread got, and whether it got it in time.
struct Watch
{
  int mUpdates = 0;
  bool mTimedOut = false;
  float mValue = -1.0f;
  VstIntPtr mChunkSize = 0;
  std::thread mOther;
};
Watch* sWatch = nullptr;

VstIntPtr Callback(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  if (opcode != audioMasterUpdateDisplay || !sWatch) return 0;
  ++sWatch->mUpdates;
  // Shared, since the thread may outlive this call when the wait gives up.
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  Watch* w = sWatch;
  w->mOther = std::thread(
      [e, w, done]
      {
        w->mValue = e->getParameter(e, 0);
        void* data = nullptr;
        w->mChunkSize = e->dispatcher(e, effGetChunk, 1, 0, &data, 0.0f);
        done->set_value();
      });
  if (finished.wait_for(std::chrono::seconds(3)) != std::future_status::ready) w->mTimedOut = true;
  return 0;
}

class HostedPlug : public IPlugVST
{
public:
  explicit HostedPlug(bool chunks)
      : IPlugVST(IPlugInstanceInfo{&Callback}, 2, "1-1", 2, "Hosted", "", "Maker", 0x010000,
                 TORVA_VST_FOURCC('H', 's', 't', '1'), TORVA_VST_FOURCC('M', 'k', 'r', '1'), 0,
                 false, chunks)
  {
    GetParam(0)->InitDouble("Gain", 0.0, -10.0, 10.0, 0.01, "dB");
    GetParam(1)->InitDouble("Tone", 0.5, 0.0, 1.0, 0.001);
    EnsureDefaultPreset();
  }
};
} // namespace

TEST(LoaderHostCalls, HostMayCallBackFromAnotherThread)
{
  torva_test::TempDir dir;
  for (bool chunks : {false, true})
    for (bool bank : {false, true})
    {
      SCOPED_TRACE(testing::Message() << "chunks " << chunks << " bank " << bank);
      WDL_String path((dir / (bank ? "x.fxb" : "x.fxp")).c_str());
      HostedPlug source(chunks);
      source.GetParam(0)->SetNormalized(0.75);
      ASSERT_TRUE(bank ? (source.ModifyCurrentPreset(), source.SaveBankAsFXB(&path))
                       : source.SaveProgramAsFXP(&path));

      HostedPlug plug(chunks);
      Watch watch;
      sWatch = &watch;
      bool const loaded = bank ? plug.LoadBankFromFXB(&path) : plug.LoadProgramFromFXP(&path);
      sWatch = nullptr;
      if (watch.mOther.joinable()) watch.mOther.join();

      EXPECT_TRUE(loaded);
      EXPECT_EQ(watch.mUpdates, 1);
      EXPECT_FALSE(watch.mTimedOut) << "the host's other thread waited on the plug-in lock";
      EXPECT_EQ(watch.mValue, 0.75f); // the state was in place before the host heard of it
      EXPECT_GT(watch.mChunkSize, 0);
    }
}
