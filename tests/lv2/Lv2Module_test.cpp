// TORVA.lv2's module driven as an LV2 host drives it, against TORVA.so driven as a VST 2 host
// drives it: the same settings give the same output bits and the same state chunk, whatever the
// block lengths; state moves between instances whole or not at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "lv2/Lv2Host.h"
#include "support/Random.h"
#include "support/TestHost.h"

namespace
{
using lv2host::Instance, lv2host::Properties;

constexpr int kFrames = 12000, kHalf = kFrames / 2;
// Control ports, counted from the first.
constexpr int kBass = 0, kMaster = 1, kPresence = 3, kTreble = 4, kVolume1 = 5, kVolume2 = 6,
              kBypass = 7;

struct Setting
{
  int mParam;
  float mValue;
};

struct Stereo
{
  std::vector<float> mL = std::vector<float>(kFrames), mR = mL;
  bool operator==(Stereo const& o) const
  {
    return std::memcmp(mL.data(), o.mL.data(), kFrames * 4) == 0 &&
           std::memcmp(mR.data(), o.mR.data(), kFrames * 4) == 0;
  }
};

// Guitar-like material with loud peaks, near-silence and values down in the subnormal range.
Stereo Input()
{
  Stereo s;
  torva_test::Rng rng(17);
  for (int i = 0; i < kFrames; ++i)
  {
    double const env = i < kFrames / 3 ? 0.9 : i < 2 * kFrames / 3 ? 1e-3 : 1e-30;
    s.mL[i] = static_cast<float>(env * std::sin(i * 0.031) + env * 0.2 * rng.Real(-1.0, 1.0));
    s.mR[i] = static_cast<float>(env * std::sin(i * 0.017 + 1.0));
  }
  s.mL[100] = 1e-40f;
  return s;
}

void SetVst(vsthost::Instance& inst, Setting s)
{
  char text[32] = {};
  std::to_chars(text, text + sizeof text - 1, s.mValue);
  inst.Dispatch(effString2Parameter, s.mParam, 0, text);
}

// Runs [from, to) through inst in blocks cycling through sizes; no input means unconnected.
void Drive(Instance& inst, Stereo const* in, Stereo& out, std::vector<int> const& sizes, int from,
           int to)
{
  for (size_t k = 0; from < to; ++k)
  {
    int const n = std::min(sizes[k % sizes.size()], to - from);
    float const* ins[2] = {in ? &in->mL[from] : nullptr, in ? &in->mR[from] : nullptr};
    float* outs[2] = {&out.mL[from], &out.mR[from]};
    inst.Run(ins, outs, n);
    from += n;
  }
}

class Lv2Module : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(lv2host::TheModule().mPlugin) << dlerror();
    ASSERT_TRUE(mHost.Load(vsthost::PluginPath())) << mHost.mError;
  }
  vsthost::Host mHost;
  lv2host::UridMap mMap;
};

// Settings through control ports and through the VST 2 text path give the same bits, whatever
// the LV2 blocks (single frames, empty runs, runs longer than the adapter's slice), with buffers
// apart or shared.
TEST_F(Lv2Module, OutputMatchesTheVst2ModuleBitForBit)
{
  struct Case
  {
    char const* mName;
    double mRate;
    std::vector<Setting> mFirst, mSecond; // at the start and half way
    std::vector<int> mBlocks;
    bool mUnconnected = false; // LV2 inputs left unconnected, the VST 2 module fed silence
  } const cases[] = {
      {"two changed", 48000.0, {{kMaster, -7.5f}, {kTreble, 0.75f}}, {}, {1, 0, 63, 4096, 5000}},
      {"half way", 96000.0, {{kVolume1, 42.5f}}, {{kBass, 0.25f}, {kVolume2, 3.0f}}, {1024}},
      {"bypassed, then not", 44100.0, {{kBypass, 1.0f}}, {{kBypass, 0.0f}}, {100, 1}},
      {"onto the bounds", 44100.0, {{kMaster, 1e9f}, {kPresence, -5.0f}}, {}, {256, 0, 77}},
      {"non-finite ignored",
       44100.0,
       {{kMaster, -7.5f}},
       {{kMaster, NAN}, {kBass, INFINITY}, {kTreble, -INFINITY}},
       {128}},
      {"unconnected", 44100.0, {{kVolume1, 50.0f}}, {}, {512}, true},
  };
  Stereo const in = Input(), silence;
  for (Case const& c : cases)
  {
    SCOPED_TRACE(c.mName);
    Stereo const& vstIn = c.mUnconnected ? silence : in;
    vsthost::Instance vst(mHost, c.mRate, kHalf);
    Stereo a;
    for (int half : {0, 1})
    {
      // The VST 2 path reads no NaN text: the non-finite values must not change anything.
      for (Setting const& s : half ? c.mSecond : c.mFirst)
        if (std::isfinite(s.mValue)) SetVst(vst, s);
      float* ins[2] = {const_cast<float*>(&vstIn.mL[half * kHalf]),
                       const_cast<float*>(&vstIn.mR[half * kHalf])};
      float* outs[2] = {&a.mL[half * kHalf], &a.mR[half * kHalf]};
      vst->processReplacing(vst.Get(), ins, outs, kHalf);
    }
    for (bool inPlace : {false, true})
    {
      Instance lv2(mMap, c.mRate);
      Stereo b = vstIn;
      for (int half : {0, 1})
      {
        // A toggled port is on for any value above 0.
        for (Setting const& s : half ? c.mSecond : c.mFirst)
          lv2.mControls[s.mParam] = s.mParam == kBypass && s.mValue > 0.0f ? 0.25f : s.mValue;
        Stereo const* src = inPlace ? &b : c.mUnconnected ? nullptr : &in;
        Drive(lv2, src, b, c.mBlocks, half * kHalf, (half + 1) * kHalf);
      }
      EXPECT_TRUE(a == b) << (inPlace ? "in place" : "apart");
    }
  }
}

// The state is the program chunk a VST 2 host gets for the same settings; a fresh instance
// restored from it saves the same bytes and sounds the same until a port moves. A damaged or
// foreign state is refused and changes nothing.
TEST_F(Lv2Module, StateRoundTripsWholeOrNotAtAll)
{
  std::vector<Setting> const settings = {{kMaster, -7.5f}, {kTreble, 0.75f}, {kBypass, 1.0f}};
  vsthost::Instance vst(mHost, 44100.0, 512);
  for (Setting const& s : settings) SetVst(vst, s);
  unsigned char* pChunk = nullptr;
  VstIntPtr const size = vst.Dispatch(effGetChunk, 1, 0, &pChunk);
  ASSERT_GT(size, 0);
  std::vector<unsigned char> const bytes(pChunk, pChunk + size);

  Stereo const in = Input();
  Stereo a, b;
  Instance first(mMap), second(mMap);
  for (Setting const& s : settings) first.mControls[s.mParam] = s.mValue;
  Drive(first, &in, a, {512}, 0, kFrames);
  Properties saved, again;
  ASSERT_EQ(first.Save(saved), LV2_STATE_SUCCESS);
  ASSERT_EQ(saved.size(), 1u);
  uint32_t const key = saved.begin()->first, chunk = mMap(LV2_ATOM__Chunk);
  EXPECT_EQ(key, mMap("urn:brindlecircuits:torva#chunk"));
  EXPECT_EQ(saved[key].mType, chunk);
  EXPECT_EQ(saved[key].mBytes, bytes);

  // The fresh instance's ports stay at their defaults.
  ASSERT_EQ(second.Restore(saved), LV2_STATE_SUCCESS);
  ASSERT_EQ(second.Save(again), LV2_STATE_SUCCESS);
  EXPECT_EQ(again[key].mBytes, bytes);
  Drive(second, &in, b, {512}, 0, kFrames);
  EXPECT_TRUE(a == b);
  for (float bypass : {1.0f, 0.0f})
  {
    second.mControls[kBypass] = bypass;
    Drive(second, &in, b, {1}, 0, 1);
  }
  ASSERT_EQ(second.Save(again), LV2_STATE_SUCCESS);
  EXPECT_NE(again[key].mBytes, bytes);

  // Cut anywhere, a bad header, the wrong type, nothing stored (type 0).
  std::vector<lv2host::Property> damages;
  for (size_t n : {size_t(0), size_t(4), size_t(8), size_t(16), bytes.size() - 1})
    damages.push_back({{bytes.begin(), bytes.begin() + n}, chunk});
  damages.push_back({bytes, chunk});
  damages.back().mBytes[0] ^= 0x55;
  damages.push_back({bytes, mMap(LV2_ATOM__String)});
  damages.push_back({bytes, 0});
  for (size_t i = 0; i < damages.size(); ++i)
  {
    Properties damaged, after;
    if (damages[i].mType) damaged[key] = damages[i];
    EXPECT_NE(second.Restore(damaged), LV2_STATE_SUCCESS) << i;
    ASSERT_EQ(second.Save(after), LV2_STATE_SUCCESS);
    EXPECT_EQ(after[key].mBytes, again[key].mBytes) << i;
  }

  // Without a URID map there is no key to store under: an error, not a silent empty state.
  Instance unmapped(mMap, 44100.0, false);
  Properties none;
  EXPECT_EQ(unmapped.Save(none), LV2_STATE_ERR_NO_FEATURE);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(unmapped.Restore(saved), LV2_STATE_ERR_NO_FEATURE);
}

} // namespace
