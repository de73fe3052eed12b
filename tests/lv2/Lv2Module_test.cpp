// TORVA.lv2's module driven as an LV2 host drives it, against TORVA.so driven as a VST 2 host
// drives it: the same settings give the same output bits and the same state chunk, whatever the
// block lengths; state moves between instances whole or not at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "lv2/Lv2Host.h"
#include "support/Random.h"
#include "support/TestHost.h"

namespace
{
using lv2host::Instance, lv2host::Properties, lv2host::UridMap;

constexpr int kFrames = 12000;

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
  std::vector<float> mL, mR;
  explicit Stereo(int n = kFrames) : mL(n), mR(n) {}
  bool operator==(Stereo const& o) const
  {
    return mL.size() == o.mL.size() && std::memcmp(mL.data(), o.mL.data(), mL.size() * 4) == 0 &&
           std::memcmp(mR.data(), o.mR.data(), mR.size() * 4) == 0;
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

// Settings applied at the start, and others half way through.
struct Case
{
  char const* mName;
  double mRate;
  std::vector<Setting> mFirst, mSecond;
  std::vector<int> mLv2Blocks;
};

void SetVst(vsthost::Instance& inst, Setting s)
{
  char text[32] = {};
  std::to_chars(text, text + sizeof text - 1, s.mValue);
  inst.Dispatch(effString2Parameter, s.mParam, 0, text);
}

// Runs [from, to) of in through inst in blocks cycling through sizes.
void Drive(Instance& inst, Stereo const& in, Stereo& out, std::vector<int> const& sizes,
           int from = 0, int to = kFrames)
{
  for (size_t k = 0; from < to; ++k)
  {
    int const n = std::min(sizes[k % sizes.size()], to - from);
    float const* ins[2] = {in.mL.data() + from, in.mR.data() + from};
    float* outs[2] = {out.mL.data() + from, out.mR.data() + from};
    inst.Run(ins, outs, n);
    from += n;
  }
}

class Lv2Module : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(mModule.mLib) << dlerror();
    ASSERT_TRUE(mModule.mPlugin);
    ASSERT_TRUE(mModule.mEditor);
    ASSERT_TRUE(mHost.Load(vsthost::PluginPath())) << mHost.mError;
  }
  lv2host::Module& mModule = lv2host::TheModule();
  vsthost::Host mHost;
  UridMap mMap;
};

TEST_F(Lv2Module, ExportsOneDescriptorOfEachKind)
{
  EXPECT_STREQ(mModule.mPlugin->URI, lv2host::kURI);
  EXPECT_STREQ(mModule.mEditor->URI, "urn:brindlecircuits:torva#ui");
  EXPECT_EQ(mModule.mEntry(1), nullptr);
  EXPECT_EQ(mModule.mUiEntry(1), nullptr);
  for (char const* hidden : {"VSTPluginMain", "main", "MakePlug", "LV2PluginURI"})
    EXPECT_EQ(dlsym(mModule.mLib, hidden), nullptr) << hidden;
  EXPECT_NE(mModule.mPlugin->extension_data(LV2_STATE__interface), nullptr);
  EXPECT_EQ(mModule.mPlugin->extension_data("urn:nothing"), nullptr);
}

// The same settings through control ports and through the VST 2 text path give the same bits,
// whatever the LV2 blocks (single frames, empty runs, runs longer than the adapter's slice).
TEST_F(Lv2Module, OutputMatchesTheVst2ModuleBitForBit)
{
  Case const cases[] = {
      {"defaults", 44100.0, {}, {}, {512}},
      {"two changed", 48000.0, {{kMaster, -7.5f}, {kTreble, 0.75f}}, {}, {1, 0, 63, 4096, 5000}},
      {"half way", 96000.0, {{kVolume1, 42.5f}}, {{kBass, 0.25f}, {kVolume2, 3.0f}}, {1024}},
      {"bypassed, then not", 44100.0, {{kBypass, 1.0f}}, {{kBypass, 0.0f}}, {100, 1}},
      {"onto the bounds", 44100.0, {{kMaster, 1e9f}, {kPresence, -5.0f}}, {}, {256, 0, 77}},
      {"non-finite ignored",
       44100.0,
       {{kMaster, -7.5f}},
       {{kMaster, NAN}, {kBass, INFINITY}, {kTreble, -INFINITY}},
       {128}},
  };
  Stereo const in = Input();
  for (Case const& c : cases)
  {
    SCOPED_TRACE(c.mName);
    vsthost::Instance vst(mHost, c.mRate, kFrames / 2);
    Stereo a;
    for (int half : {0, 1})
    {
      // The VST 2 path reads no NaN text: the non-finite values must not change anything.
      for (Setting const& s : half ? c.mSecond : c.mFirst)
        if (std::isfinite(s.mValue)) SetVst(vst, s);
      float* ins[2] = {const_cast<float*>(&in.mL[half * kFrames / 2]),
                       const_cast<float*>(&in.mR[half * kFrames / 2])};
      float* outs[2] = {&a.mL[half * kFrames / 2], &a.mR[half * kFrames / 2]};
      vst->processReplacing(vst.Get(), ins, outs, kFrames / 2);
    }
    // Buffers apart, then an input shared with an output (in place).
    for (bool inPlace : {false, true})
    {
      Instance lv2(mModule, mMap, c.mRate);
      Stereo b = in;
      for (int half : {0, 1})
      {
        for (Setting const& s : half ? c.mSecond : c.mFirst) lv2.mControls[s.mParam] = s.mValue;
        Drive(lv2, inPlace ? b : in, b, c.mLv2Blocks, half * kFrames / 2, (half + 1) * kFrames / 2);
      }
      EXPECT_TRUE(a == b) << (inPlace ? "in place" : "apart");
    }
  }
}

// A toggled port is on for any value above 0; unconnected audio inputs read as silence.
TEST_F(Lv2Module, BypassedAndUnconnectedBuffers)
{
  Instance bypassed(mModule, mMap, 44100.0);
  Stereo const in = Input();
  Stereo out, passed = in;
  passed.mL[100] = 0.0f; // no subnormal reaches the host
  bypassed.mControls[kBypass] = 0.25f;
  Drive(bypassed, in, out, {300});
  EXPECT_TRUE(out == passed);

  std::vector<float> l(500, 1.0f), r(500, 1.0f);
  float const* nothing[2] = {nullptr, nullptr};
  float* outs[2] = {l.data(), r.data()};
  Instance(mModule, mMap, 44100.0).Run(nothing, outs, 500);
  EXPECT_EQ(l, std::vector<float>(500)); // equal as values: -0 is silence too
  EXPECT_EQ(r, std::vector<float>(500));
}

// The state is the program chunk a VST 2 host gets for the same settings; a fresh instance
// restored from it saves the same bytes and sounds the same until a port moves.
TEST_F(Lv2Module, StateIsTheVst2ProgramChunkAndRoundTrips)
{
  std::vector<Setting> const settings = {{kMaster, -7.5f}, {kTreble, 0.75f}, {kBypass, 1.0f}};
  vsthost::Instance vst(mHost, 44100.0, 512);
  for (Setting const& s : settings) SetVst(vst, s);
  unsigned char* pChunk = nullptr;
  VstIntPtr const size = vst.Dispatch(effGetChunk, 1, 0, &pChunk);
  ASSERT_GT(size, 0);
  std::vector<unsigned char> const vstChunk(pChunk, pChunk + size);

  Stereo const in = Input();
  Stereo a, b;
  Instance first(mModule, mMap, 44100.0), second(mModule, mMap, 44100.0);
  for (Setting const& s : settings) first.mControls[s.mParam] = s.mValue;
  Drive(first, in, a, {512});
  Properties saved, again;
  ASSERT_EQ(first.Save(saved), LV2_STATE_SUCCESS);
  ASSERT_EQ(saved.size(), 1u);
  lv2host::Property const& prop = saved.begin()->second;
  EXPECT_EQ(saved.begin()->first, mMap("urn:brindlecircuits:torva#chunk"));
  EXPECT_EQ(prop.mType, mMap(LV2_ATOM__Chunk));
  EXPECT_EQ(prop.mFlags, uint32_t(LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE));
  EXPECT_EQ(prop.mBytes, vstChunk);

  // The fresh instance's ports stay at their defaults.
  ASSERT_EQ(second.Restore(saved), LV2_STATE_SUCCESS);
  ASSERT_EQ(second.Save(again), LV2_STATE_SUCCESS);
  EXPECT_EQ(again.begin()->second.mBytes, vstChunk);
  Drive(second, in, b, {512});
  EXPECT_TRUE(a == b);
  for (float bypass : {1.0f, 0.0f})
  {
    second.mControls[kBypass] = bypass;
    Drive(second, in, b, {1}, 0, 1);
  }
  ASSERT_EQ(second.Save(again), LV2_STATE_SUCCESS);
  EXPECT_NE(again.begin()->second.mBytes, vstChunk);
}

// A damaged or foreign state is refused and changes nothing.
TEST_F(Lv2Module, DamagedStateIsRefusedAndChangesNothing)
{
  Instance source(mModule, mMap, 44100.0);
  source.mControls[kMaster] = 12.5f;
  source.mControls[kBypass] = 1.0f;
  Stereo quiet(2);
  Drive(source, quiet, quiet, {2}, 0, 2);
  Properties good;
  ASSERT_EQ(source.Save(good), LV2_STATE_SUCCESS);
  uint32_t const key = good.begin()->first;
  std::vector<unsigned char> const bytes = good.begin()->second.mBytes;
  ASSERT_EQ(bytes.size(), 8u + 8u * 8u);

  auto cut = [&](size_t n) { return std::vector<unsigned char>(bytes.begin(), bytes.begin() + n); };
  std::vector<unsigned char> badMagic = bytes;
  badMagic[0] ^= 0x55;
  uint32_t const chunk = mMap(LV2_ATOM__Chunk);
  // Type 0: nothing stored.
  std::tuple<char const*, std::vector<unsigned char>, uint32_t> const damages[] = {
      {"empty", {}, chunk},
      {"half a header", cut(4), chunk},
      {"header only", cut(8), chunk},
      {"one parameter", cut(16), chunk},
      {"one byte short", cut(bytes.size() - 1), chunk},
      {"no header", badMagic, chunk},
      {"wrong type", bytes, mMap(LV2_ATOM__String)},
      {"missing", bytes, 0},
  };
  for (auto const& [name, damagedBytes, type] : damages)
  {
    SCOPED_TRACE(name);
    Instance target(mModule, mMap, 44100.0);
    Properties before, after, damaged;
    ASSERT_EQ(target.Save(before), LV2_STATE_SUCCESS);
    if (type) damaged[key] = lv2host::Property{damagedBytes, type, 0};
    EXPECT_NE(target.Restore(damaged), LV2_STATE_SUCCESS);
    ASSERT_EQ(target.Save(after), LV2_STATE_SUCCESS);
    EXPECT_EQ(after.begin()->second.mBytes, before.begin()->second.mBytes);
  }

  // Without a URID map there is no key to store under: an error, not a silent empty state.
  Instance unmapped(mModule, mMap, 44100.0, false);
  Properties none;
  EXPECT_EQ(unmapped.Save(none), LV2_STATE_ERR_NO_FEATURE);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(unmapped.Restore(good), LV2_STATE_ERR_NO_FEATURE);
}

} // namespace
