// TORVA Cab as a host drives it: the file a state names (kept, lost, refused) and responses
// swapped while audio runs.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "TORVACab/TORVACab.h"
#include "cab/CabFiles.h"
#include "support/TempFiles.h"

namespace
{
constexpr double kRate = 48000;
constexpr double kPi = 3.14159265358979323846;

std::unique_ptr<TORVACab> OpenCab()
{
  auto plug = std::make_unique<TORVACab>(IPlugInstanceInfo());
  plug->SetSampleRate(kRate);
  plug->SetBlockSize(512);
  plug->OnParamReset();
  plug->Reset();
  return plug;
}

// One channel's output for a 110 Hz tone, both channels fed the same.
std::vector<double> Play(TORVACab& plug, int frames, long long start = 0)
{
  std::vector<double> in(frames), outL(frames), outR(frames);
  for (int i = 0; i < frames; ++i) in[i] = 0.5 * std::sin(2 * kPi * 110 * (start + i) / kRate);
  double* ins[] = {in.data(), in.data()};
  double* outs[] = {outL.data(), outR.data()};
  WDL_MutexLock lock(plug.GetMutex());
  plug.ProcessDoubleReplacing(ins, outs, frames);
  return outL;
}

std::vector<unsigned char> Chunk(TORVACab& plug)
{
  ByteChunk chunk;
  WDL_MutexLock lock(plug.GetMutex());
  EXPECT_TRUE(plug.GetHostChunk(&chunk, false));
  return {chunk.GetBytes(), chunk.GetBytes() + chunk.Size()};
}

bool Load(TORVACab& plug, const std::vector<unsigned char>& bytes)
{
  const bool ok = plug.LoadHostChunk(bytes.data(), (int)bytes.size(), false);
  plug.WaitForFiles(10);
  return ok;
}

void Choose(TORVACab& plug, const std::string& path)
{
  plug.SetFileFromGUI(path.c_str());
  ASSERT_TRUE(plug.WaitForFiles(10));
  WDL_MutexLock lock(plug.GetMutex());
  plug.SetParameterFromHost(TORVACab::kCabinet, TORVACab::kFileCabinet);
}

// The file is part of the state: a second instance restores and plays it; a state whose file
// has gone plays the first cabinet and still names the file; a file the user chooses that cannot
// be read, or a damaged state, changes nothing.
TEST(CabPlug, TheFileInTheState)
{
  torva_test::TempDir dir;
  const std::string unit = dir / "unit.wav", half = dir / "half.wav";
  ASSERT_TRUE(cab_test::WriteTaps(unit, {1.0f}));
  ASSERT_TRUE(cab_test::WriteTaps(half, {0.5f}));
  ASSERT_TRUE(torva_test::WriteText(dir / "notes.wav", "not a sound\n"));

  auto a = OpenCab();
  Choose(*a, unit);
  EXPECT_EQ(a->GetFileStatus().name, "unit.wav");
  const std::vector<double> heardUnit = Play(*a, 4096);
  const std::vector<unsigned char> state = Chunk(*a);

  // The same response at half the gain: every sample half as loud, through the same filters.
  auto b = OpenCab();
  Choose(*b, half);
  const std::vector<double> heardHalf = Play(*b, 4096);
  for (int i = 0; i < 4096; ++i) ASSERT_NEAR(heardHalf[i], 0.5 * heardUnit[i], 1e-12) << i;

  ASSERT_TRUE(Load(*b, state));
  EXPECT_EQ(b->GetFileStatus().name, "unit.wav");
  {
    auto c = OpenCab();
    ASSERT_TRUE(Load(*c, state));
    EXPECT_EQ(Play(*c, 4096), heardUnit);
  }

  // Refused: the reason shown, the file in force and the state as they were.
  Choose(*a, dir / "notes.wav");
  EXPECT_EQ(a->GetFileStatus().name, "unit.wav");
  EXPECT_NE(a->GetFileStatus().message.find("cannot read notes.wav"), std::string::npos);
  EXPECT_EQ(Chunk(*a), state);
  std::vector<unsigned char> damaged(state.begin(), state.end() - 3);
  EXPECT_FALSE(a->LoadHostChunk(damaged.data(), (int)damaged.size(), false));
  EXPECT_EQ(Chunk(*a), state);

  // Gone: the first cabinet plays, the state still names the file.
  ASSERT_EQ(unlink(unit.c_str()), 0);
  auto lost = OpenCab();
  ASSERT_TRUE(Load(*lost, state));
  EXPECT_TRUE(lost->GetFileStatus().missing);
  EXPECT_EQ(Chunk(*lost), state);
  auto first = OpenCab();
  EXPECT_EQ(Play(*lost, 4096), Play(*first, 4096));
}

// The editor's thread swaps responses (files and cabinets) while the audio thread plays a tone:
// every swap is faded, so no step between samples is larger than the tone's own plus the
// fade's; a swap without the fade would jump by a quarter of full scale.
TEST(CabPlug, SwapsWhileAudioRunsAreFaded)
{
  torva_test::TempDir dir;
  const std::string unit = dir / "unit.wav", half = dir / "half.wav";
  ASSERT_TRUE(cab_test::WriteTaps(unit, {1.0f}));
  ASSERT_TRUE(cab_test::WriteTaps(half, {0.5f}));
  auto plug = OpenCab();
  {
    WDL_MutexLock lock(plug->GetMutex());
    plug->SetParameterFromHost(TORVACab::kLowCut, 20);
    plug->SetParameterFromHost(TORVACab::kHighCut, 20000);
  }
  Choose(*plug, unit);

  std::atomic<bool> done{false};
  std::thread editor(
      [&]
      {
        for (int k = 0; !done.load(); ++k)
        {
          if (k % 3 == 2)
            plug->SetParameterFromGUI(TORVACab::kCabinet, k % 2 ? 0.0 : 1.0); // built-in 1 / File
          else
            plug->SetFileFromGUI((k % 2 ? half : unit).c_str());
          usleep(3000);
        }
      });
  double largestStep = 0;
  double last = 0;
  long long t = 0;
  for (int block = 0; block < 3000; ++block)
  {
    const int n = 1 + block * 37 % 200;
    for (double y : Play(*plug, n, t))
    {
      if (t > 0) largestStep = std::max(largestStep, std::fabs(y - last));
      last = y;
      ++t;
    }
  }
  done = true;
  editor.join();
  // The tone moves by at most 0.5 * 2 pi 110 / 48000 = 0.0072 a sample; the fade by 0.5 / 960.
  EXPECT_LT(largestStep, 0.02);
}
} // namespace
