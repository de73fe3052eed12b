// Channel configuration, the processing frame, parameter flow and identity of the plug-in base.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "support/EightParamPlug.h"

using torva_test::EightParamPlug;
using HostCall = IPlugHeadless::EHostCall;

namespace
{
// The base alone, as constructed, without an adapter's connections or block size.
class BarePlug : public IPlugBase
{
public:
  BarePlug(char const* channels, int nParams = 0, EAPI api = kAPIVST2)
      : IPlugBase(nParams, channels, 0, "bare", "", "maker", 0x010203, 1, 2, 0, false, false, false,
                  api)
  {
  }
  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int, double) override {}
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int*, int*) override {}
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiMsg(IMidiMsg*) override { return true; }
  double* InSlot(int i) const { return mInData.Get()[i]; }
};

std::vector<float> Ramp(int n, float start, float step)
{
  std::vector<float> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = start + step * static_cast<float>(i);
  return v;
}
} // namespace

TEST(PlugChannels, ConfigurationStrings)
{
  BarePlug stereo("1-1 2-2");
  EXPECT_EQ(stereo.NInChannels(), 2);
  EXPECT_EQ(stereo.NOutChannels(), 2);
  EXPECT_TRUE(stereo.LegalIO(2, 2));
  EXPECT_TRUE(stereo.LegalIO(1, -1));
  EXPECT_TRUE(stereo.LegalIO(-1, -1));
  EXPECT_FALSE(stereo.LegalIO(2, 1));
  EXPECT_FALSE(stereo.LegalIO(0, 0));

  BarePlug synth("0-2");
  EXPECT_EQ(synth.NInChannels(), 0);
  EXPECT_EQ(synth.NOutChannels(), 2);
  BarePlug reversed("2-2 1-1");
  EXPECT_EQ(reversed.NInChannels(), 2);
  EXPECT_EQ(reversed.NOutChannels(), 2);

  BarePlug none(nullptr);
  EXPECT_EQ(none.NInChannels(), 0);
  EXPECT_FALSE(none.LegalIO(-1, -1)) << "no configurations: nothing is legal";

  // Tokens that do not scan count as 0-0; a count the scan does not reach stays 0.
  BarePlug odd("junk 3 4-x");
  EXPECT_TRUE(odd.LegalIO(0, 0));
  EXPECT_TRUE(odd.LegalIO(3, 0));
  EXPECT_TRUE(odd.LegalIO(4, 0));
  EXPECT_EQ(odd.NInChannels(), 4);
  EXPECT_EQ(odd.NOutChannels(), 0);

  // Until connections and a block size are set, the pointer arrays are null.
  EXPECT_EQ(stereo.InSlot(0), nullptr);
  EXPECT_EQ(stereo.GetBlockSize(), 0);
}

TEST(PlugChannels, ConnectionsAndLabels)
{
  BarePlug plug("4-4");
  plug.SetInputChannelConnections(0, 4, true);
  plug.SetOutputChannelConnections(-2, 100, false); // clipped to the channels
  plug.LimitToStereoIO();
  EXPECT_TRUE(plug.IsInChannelConnected(1));
  EXPECT_FALSE(plug.IsInChannelConnected(2));
  EXPECT_FALSE(plug.IsOutChannelConnected(1));
  EXPECT_TRUE(plug.IsOutChannelConnected(3)) << "outputs from 2 on are flagged connected";
  EXPECT_FALSE(plug.IsInChannelConnected(4));

  plug.SetInputLabel(1, "side");
  plug.SetInputLabel(9, "nowhere");
  plug.SetOutputLabel(-1, "nowhere");
  EXPECT_STREQ(plug.GetInputLabel(1), "side");
  EXPECT_STREQ(plug.GetInputLabel(9), "");

  // A bus label replaces the one at its index; the list closes up before the insert.
  plug.SetOutputBusLabel(0, "main");
  plug.SetOutputBusLabel(5, "aux"); // lands at the end: index 1
  EXPECT_STREQ(plug.GetOutputBusLabel(1), "aux");
  plug.SetOutputBusLabel(0, "MAIN");
  EXPECT_STREQ(plug.GetOutputBusLabel(0), "MAIN");
  EXPECT_STREQ(plug.GetOutputBusLabel(1), "aux");
  plug.SetOutputBusLabel(-1, "bad");
  plug.SetInputBusLabel(2, "bad");
  plug.SetInputBusLabel(1, "side");
  EXPECT_STREQ(plug.GetInputBusLabel(0), "side");
  EXPECT_STREQ(plug.GetInputBusLabel(1), "");
}

TEST(PlugAudio, AttachGivesHostPointersToConnectedChannelsOnly)
{
  BarePlug plug("2-2");
  plug.SetInputChannelConnections(1, 1, true);
  double a[4] = {}, b[4] = {};
  double* data[2] = {a, b};
  plug.AttachInputBuffers(0, 2, data);
  EXPECT_EQ(plug.InSlot(1), a) << "host pointers are consumed by connected channels only";
  EXPECT_EQ(plug.InSlot(0), nullptr);
}

TEST(PlugAudio, FloatReplacingConvertsBothWays)
{
  EightParamPlug plug;
  plug.mGain = 1.0 / 3.0;
  std::vector<float> in0 = Ramp(16, 0.1f, 0.37f), in1 = Ramp(16, -3.0f, 0.5f);
  std::vector<float> out0(16, 9.0f), out1(16, 9.0f);
  float* ins[2] = {in0.data(), in1.data()};
  float* outs[2] = {out0.data(), out1.data()};
  plug.AttachInputBuffers(0, 2, ins, 16);
  plug.AttachOutputBuffers(0, 2, outs);
  plug.ProcessBuffers(0.0f, 16);
  for (size_t s = 0; s < 16; ++s)
  {
    // Exactly: float -> double, the product in double, nearest float back.
    ASSERT_EQ(out0[s], static_cast<float>(static_cast<double>(in0[s]) * (1.0 / 3.0)));
    ASSERT_EQ(out1[s], static_cast<float>(static_cast<double>(in1[s]) * (1.0 / 3.0)));
  }
  EXPECT_EQ(plug.InSlot(0), plug.InScratch(0).Get());
}

TEST(PlugAudio, AccumulatingAddsToTheHostBuffer)
{
  EightParamPlug plug;
  std::vector<float> in(8, 0.5f), out(8, 0.25f);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {out.data(), out.data()};
  plug.AttachInputBuffers(0, 2, ins, 8);
  plug.AttachOutputBuffers(0, 1, outs); // one output attached, the other has no buffer
  plug.ProcessBuffersAccumulating(0.0f, 8);
  for (float v : out) EXPECT_EQ(v, 0.75f);
}

TEST(PlugAudio, DisconnectedChannelsReadSilenceAndWriteNowhere)
{
  EightParamPlug plug;
  std::vector<float> in0(32, 1.0f), in1(32, 1.0f), out0(32), out1(32, 5.0f);
  float* ins[2] = {in0.data(), in1.data()};
  float* outs[2] = {out0.data(), out1.data()};
  // Feed audio through both inputs once, then unplug input 1 and output 1.
  plug.AttachInputBuffers(0, 2, ins, 32);
  plug.AttachOutputBuffers(0, 2, outs);
  plug.ProcessBuffers(0.0f, 32);
  plug.SetInputChannelConnections(1, 1, false);
  plug.SetOutputChannelConnections(1, 1, false);
  std::fill(out1.begin(), out1.end(), 5.0f);

  float* oneIn[1] = {in0.data()};
  float* oneOut[1] = {out0.data()};
  plug.AttachInputBuffers(0, 2, oneIn, 32);
  plug.AttachOutputBuffers(0, 2, oneOut);
  plug.ProcessBuffers(0.0f, 32);
  for (double v : std::vector<double>(plug.OutScratch(1).Get(), plug.OutScratch(1).Get() + 32))
    ASSERT_EQ(v, 0.0) << "an unplugged input must not replay the audio it last carried";
  for (float v : out1) ASSERT_EQ(v, 5.0f);
  for (float v : out0) ASSERT_EQ(v, 1.0f);
}

// A host block longer than the block size runs in slices of at most the block size, for every
// host sample type, without touching memory outside the scratch buffers (the sanitizer build
// checks that part).
TEST(PlugAudio, BlocksLongerThanTheBlockSizeRunInSlices)
{
  EightParamPlug plug;
  plug.SetBlockSize(64);
  plug.mGain = 2.0;
  int const n = 1000;
  std::vector<float> in0 = Ramp(n, 0.0f, 0.001f), in1 = Ramp(n, 1.0f, -0.002f);
  std::vector<float> out0(n), out1(n);

  float* ins[2] = {in0.data(), in1.data()};
  float* outs[2] = {out0.data(), out1.data()};
  plug.AttachInputBuffers(0, 2, ins, n);
  plug.AttachOutputBuffers(0, 2, outs);
  plug.ProcessBuffers(0.0f, n);
  for (int s = 0; s < n; ++s)
  {
    ASSERT_EQ(out0[s], static_cast<float>(2.0 * in0[s])) << s;
    ASSERT_EQ(out1[s], static_cast<float>(2.0 * in1[s])) << s;
  }
  std::vector<int> expected(15, 64);
  expected.push_back(n - 15 * 64);
  EXPECT_EQ(plug.mSlices, expected);

  // Accumulating, and in place: the host hands the same buffer in and out.
  plug.mSlices.clear();
  std::vector<float> io = Ramp(n, 0.5f, 0.0f);
  float* inPlace[2] = {io.data(), io.data()};
  plug.AttachInputBuffers(0, 1, inPlace, n);
  plug.AttachOutputBuffers(0, 1, inPlace);
  plug.ProcessBuffersAccumulating(0.0f, n);
  for (float v : io) ASSERT_EQ(v, 1.5f);
  EXPECT_EQ(plug.mSlices.size(), 16u);

  // 64-bit host buffers: slices point into the host buffers, also in place.
  plug.mSlices.clear();
  std::vector<double> d0(n), d1(n);
  std::iota(d0.begin(), d0.end(), 0.0);
  std::iota(d1.begin(), d1.end(), 0.5);
  double* dins[2] = {d0.data(), d1.data()};
  plug.AttachInputBuffers(0, 2, dins);
  plug.AttachOutputBuffers(0, 2, dins);
  plug.ProcessBuffers(0.0, n);
  for (int s = 0; s < n; ++s)
  {
    ASSERT_EQ(d0[s], 2.0 * s);
    ASSERT_EQ(d1[s], 2.0 * (s + 0.5));
  }
  EXPECT_EQ(plug.mSlices, expected);
}

TEST(PlugAudio, DegenerateCallsAreHarmless)
{
  EightParamPlug plug;
  std::vector<float> out(64, 3.0f);
  float* outs[2] = {out.data(), nullptr};

  // No frames, or a negative count: the product is not called.
  plug.AttachInputBuffers(0, 2, static_cast<float**>(nullptr), 64);
  plug.AttachOutputBuffers(0, 2, outs);
  plug.ProcessBuffers(0.0f, 0);
  plug.ProcessBuffers(0.0f, -5);
  EXPECT_TRUE(plug.mSlices.empty());
  EXPECT_EQ(out[0], 3.0f);

  // Null host arrays and pointers: inputs read silence, outputs without a buffer are skipped.
  plug.ProcessBuffers(0.0f, 64);
  for (float v : out) ASSERT_EQ(v, 0.0f);
  plug.AttachInputBuffers(0, 2, static_cast<double**>(nullptr));
  plug.AttachOutputBuffers(0, 2, static_cast<double**>(nullptr));
  plug.ProcessBuffers(0.0, 64);
  plug.AttachInputBuffers(-3, 1 << 30, static_cast<double**>(nullptr)); // range clipped

  // No block size: nothing runs; a replacing host hears silence, an accumulating one its own.
  plug.SetBlockSize(0);
  plug.mSlices.clear();
  std::fill(out.begin(), out.end(), 3.0f);
  plug.AttachOutputBuffers(0, 2, outs);
  plug.ProcessBuffersAccumulating(0.0f, 64);
  EXPECT_EQ(out[63], 3.0f);
  plug.ProcessBuffers(0.0f, 64);
  EXPECT_EQ(out[63], 0.0f);
  EXPECT_TRUE(plug.mSlices.empty());

  // A block size the machine cannot hold leaves no half-sized buffers behind.
  plug.SetBlockSize(1 << 28);
  EXPECT_EQ(plug.GetBlockSize(), 0);
  plug.SetBlockSize(-7);
  EXPECT_EQ(plug.GetBlockSize(), 0);
}

TEST(PlugAudio, BlockSizeZeroFillsOnlyWhenItChanges)
{
  EightParamPlug plug;
  ASSERT_EQ(plug.GetBlockSize(), 1024);
  plug.InScratch(0).Get()[5] = 1.5;
  plug.SetBlockSize(1024);
  EXPECT_EQ(plug.InScratch(0).Get()[5], 1.5);
  plug.SetBlockSize(512);
  EXPECT_EQ(plug.InScratch(0).GetSize(), 512);
  EXPECT_EQ(plug.InScratch(0).Get()[5], 0.0);
  plug.OutScratch(1).Get()[7] = 2.0;
  plug.ZeroScratchBuffers();
  EXPECT_EQ(plug.OutScratch(1).Get()[7], 0.0);
}

TEST(PlugAudio, PassThrough)
{
  BarePlug plug("1-2");
  plug.SetInputChannelConnections(0, 1, true);
  plug.SetOutputChannelConnections(0, 2, true);
  plug.SetBlockSize(16);
  std::vector<float> in = Ramp(40, 1.0f, 1.0f), out0(40), out1(40, 9.0f);
  float* ins[1] = {in.data()};
  float* outs[2] = {out0.data(), out1.data()};
  plug.AttachInputBuffers(0, 1, ins, 40);
  plug.AttachOutputBuffers(0, 2, outs);
  plug.PassThroughBuffers(0.0f, 40);
  EXPECT_EQ(out0, in);
  EXPECT_EQ(out1, std::vector<float>(40, 0.0f));

  // The base's own processing does the same.
  std::vector<double> din(40, 0.25), dout0(40), dout1(40, 9.0);
  double* dins[1] = {din.data()};
  double* douts[2] = {dout0.data(), dout1.data()};
  plug.AttachInputBuffers(0, 1, dins);
  plug.AttachOutputBuffers(0, 2, douts);
  plug.ProcessBuffers(0.0, 40);
  EXPECT_EQ(dout0, din);
  EXPECT_EQ(dout1, std::vector<double>(40, 0.0));
}

TEST(PlugParams, SetParameterFromGUI)
{
  EightParamPlug plug;
  plug.SetParameterFromGUI(7, 0.505);
  EXPECT_EQ(plug.GetParam(7)->Value(), 1.0);
  ASSERT_EQ(plug.HostCalls().size(), 1u);
  EXPECT_EQ(plug.HostCalls()[0].mKind, HostCall::kAutomate);
  EXPECT_EQ(plug.HostCalls()[0].mIdx, 7);
  EXPECT_EQ(plug.HostCalls()[0].mValue, 0.505) << "the host hears the value as given";
  EXPECT_EQ(plug.mParamChanges, std::vector<int>{7});

  // Nothing non-finite and nothing out of range reaches a parameter or the host.
  plug.SetParameterFromGUI(1, std::numeric_limits<double>::quiet_NaN());
  plug.SetParameterFromGUI(1, std::numeric_limits<double>::infinity());
  plug.SetParameterFromGUI(8, 0.5);
  plug.SetParameterFromGUI(-1, 0.5);
  EXPECT_EQ(plug.GetParam(1)->Value(), -4.0);
  EXPECT_EQ(plug.HostCalls().size(), 1u);
  EXPECT_EQ(plug.mParamChanges.size(), 1u);

  plug.ClearHostCalls();
  plug.DirtyParameters();
  ASSERT_EQ(plug.CountHostCalls(HostCall::kAutomate), 8);
  EXPECT_DOUBLE_EQ(plug.HostCalls()[1].mValue, 0.4) << "Master -4 in -20..20";

  plug.mParamChanges.clear();
  plug.OnParamReset();
  EXPECT_EQ(plug.mParamChanges, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(PlugIdentity, NamesVersionsHostAndAPI)
{
  std::string const longName(300, 'n');
  BarePlug plug("1-1");
  EXPECT_STREQ(plug.GetEffectName(), "bare");
  EXPECT_EQ(plug.GetEffectVersion(false), 0x010203);
  EXPECT_EQ(plug.GetEffectVersion(true), 10203);
  char str[kVersionStrLen];
  plug.GetEffectVersionStr(str);
  EXPECT_STREQ(str, "v1.2.3");

  EXPECT_EQ(plug.GetHost(), kHostUninit);
  plug.SetHost("REAPER64", 0x050A00);
  EXPECT_EQ(plug.GetHost(), kHostReaper);
  EXPECT_EQ(plug.GetHostVersion(false), 0x050A00);
  EXPECT_EQ(plug.GetHostVersion(true), 51000);
  plug.GetHostVersionStr(str);
  EXPECT_STREQ(str, "v5.10.0");

  EXPECT_STREQ(plug.GetAPIString(), "VST2");
  EXPECT_STREQ(BarePlug("1-1", 0, kAPISA).GetAPIString(), "Standalone");
  EXPECT_STREQ(BarePlug("1-1", 0, kAPILV2).GetAPIString(), "LV2");
  EXPECT_STREQ(BarePlug("1-1", 0, static_cast<EAPI>(7)).GetAPIString(), "");
  EXPECT_STREQ(plug.GetArchString(), "x64");

  IPlugHeadless big(IPlugHeadlessInfo(), 0, "1-1", 0, longName.c_str(), longName.c_str(),
                    longName.c_str(), 0, 0, 0, 0, false, false, false, 0);
  EXPECT_EQ(std::string(big.GetMfrName()), std::string(kMaxEffectNameLen - 1, 'n'));
}

TEST(PlugIdentity, TransportAndMidi)
{
  EightParamPlug plug;
  plug.SetSampleRate(48000.0);
  plug.mTempo = 120.0;
  EXPECT_EQ(plug.GetSamplesPerBeat(), 24000.0);
  plug.mTempo = 0.0;
  EXPECT_EQ(plug.GetSamplesPerBeat(), 0.0);

  IMidiMsg msg;
  msg.MakeNoteOnMsg(60, 100, 12);
  plug.ProcessMidiMsg(&msg); // MIDI thru
  WDL_TypedBuf<IMidiMsg> msgs;
  msgs.Add(msg);
  msgs.Add(msg);
  EXPECT_TRUE(plug.SendMidiMsgs(&msgs));
  EXPECT_EQ(plug.CountHostCalls(HostCall::kMidi), 3);
  EXPECT_EQ(plug.HostCalls()[0].mIdx, 12);

  char name[8] = "x";
  EXPECT_FALSE(plug.MidiNoteName(60, name));
  EXPECT_STREQ(name, "");
}
