// A preset-file load tells the host only after letting go of the plug-in lock. Hosts answer
// audioMasterUpdateDisplay by asking the plug-in for what it shows, often from another thread
// while this one waits: under the lock that is a deadlock. The wait here is bounded, so the
// test fails instead of hanging.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "support/TempFiles.h"
#include "support/TestHost.h"
#include "support/VstEightParamPlug.h"

using torva_test::VstEightParamPlug;

TEST(LoaderHostCalls, HostMayCallBackFromAnotherThread)
{
  torva_test::TempDir dir;
  for (bool chunks : {false, true})
    for (bool bank : {false, true})
    {
      SCOPED_TRACE(testing::Message() << "chunks " << chunks << " bank " << bank);
      WDL_String path((dir / (bank ? "x.fxb" : "x.fxp")).c_str());
      VstEightParamPlug source({.nPresets = 2, .chunks = chunks});
      source.EnsureDefaultPreset();
      source.GetParam(0)->SetNormalized(0.75);
      ASSERT_TRUE(bank ? (source.ModifyCurrentPreset(), source.SaveBankAsFXB(&path))
                       : source.SaveProgramAsFXP(&path));

      // The host answers the display update from another thread, and waits for it a while.
      vsthost::Host host;
      VstEightParamPlug plug({.host = &vsthost::Host::Callback, .nPresets = 2, .chunks = chunks});
      plug.EnsureDefaultPreset();
      plug.GetAEffect()->user = &host;
      bool timedOut = false;
      float value = -1.0f;
      VstIntPtr chunkSize = 0;
      std::thread other;
      host.mOnCall = [&](AEffect* e, int opcode)
      {
        if (opcode != audioMasterUpdateDisplay) return;
        // Shared, since the thread may outlive this call when the wait gives up.
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> finished = done->get_future();
        other = std::thread(
            [e, done, &value, &chunkSize]
            {
              value = e->getParameter(e, 0);
              void* data = nullptr;
              chunkSize = e->dispatcher(e, effGetChunk, 1, 0, &data, 0.0f);
              done->set_value();
            });
        timedOut = finished.wait_for(std::chrono::seconds(3)) != std::future_status::ready;
      };
      bool const loaded = bank ? plug.LoadBankFromFXB(&path) : plug.LoadProgramFromFXP(&path);
      if (other.joinable()) other.join();

      EXPECT_TRUE(loaded);
      EXPECT_EQ(host.Count(audioMasterUpdateDisplay), 1);
      EXPECT_FALSE(timedOut) << "the host's other thread waited on the plug-in lock";
      EXPECT_EQ(value, 0.75f); // the state was in place before the host heard of it
      EXPECT_GT(chunkSize, 0);
    }
}
