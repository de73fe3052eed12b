// The host's identity asked for from several threads at once (an editor and an audio thread
// before effOpen): the host is asked once and everyone gets the same answer. (A host that asks
// from inside its answer: Adapter_test.)

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/VstEightParamPlug.h"

namespace
{
// A host that counts what it is asked, slowly enough that the threads overlap.
std::atomic<int> gProductAsks{0}, gVersionAsks{0};

VstIntPtr CountingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  switch (opcode)
  {
  case audioMasterVersion:
    return 2400;
  case audioMasterGetProductString:
    ++gProductAsks;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (ptr) std::strcpy(static_cast<char*>(ptr), "REAPER");
    return 1;
  case audioMasterGetVendorVersion:
    ++gVersionAsks;
    return 51000;
  default:
    return 0;
  }
}
} // namespace

TEST(HostIdentity, AskedOnceWhateverTheThreads)
{
  for (int round = 0; round < 5; ++round)
  {
    gProductAsks = gVersionAsks = 0;
    torva_test::VstEightParamPlug plug({.host = &CountingHost});
    constexpr int kThreads = 4;
    std::atomic<int> ready{0};
    std::vector<std::string> answers(kThreads); // version text, or version number
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back(
          [&, t]
          {
            ++ready;
            while (ready < kThreads) std::this_thread::yield();
            char str[kVersionStrLen] = {};
            if (t % 2) plug.GetHostVersionStr(str);
            answers[t] = t % 2 ? str : std::to_string(plug.GetHostVersion(true));
          });
    for (std::thread& th : threads) th.join();

    EXPECT_EQ(gProductAsks, 1);
    EXPECT_EQ(gVersionAsks, 1);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(answers[t], t % 2 ? "v5.10.0" : "51000") << t;
    // effOpen afterwards finds the host known and asks nothing.
    plug.GetAEffect()->dispatcher(plug.GetAEffect(), effOpen, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(plug.GetHost(), kHostReaper);
    EXPECT_EQ(gProductAsks, 1);
  }
}
