// TORVA.lv2's module driven as an LV2 host drives it, against TORVA.so driven as a VST 2 host
// drives it: the same settings give the same output bits and the same state chunk, whatever the
// block lengths; state moves between instances whole or not at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "lv2/Lv2Host.h"
#include "support/Random.h"
#include "support/TestHost.h"

namespace
{
using lv2host::Instance;
using lv2host::Module;
using lv2host::Properties;
using lv2host::UridMap;

constexpr int kFrames = 12000;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

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
    return std::memcmp(mL.data(), o.mL.data(), mL.size() * 4) == 0 &&
           std::memcmp(mR.data(), o.mR.data(), mR.size() * 4) == 0 && mL.size() == o.mL.size();
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

// Runs [from, to) of in through process(inPtrs, outPtrs, n) in blocks cycling through sizes.
template <class F>
void Blocks(Stereo const& in, Stereo& out, int from, int to, std::vector<int> const& sizes,
            F process)
{
  size_t k = 0;
  for (int at = from; at < to; ++k)
  {
    int const n = std::min(sizes[k % sizes.size()], to - at);
    float const* ins[2] = {in.mL.data() + at, in.mR.data() + at};
    float* outs[2] = {out.mL.data() + at, out.mR.data() + at};
    process(ins, outs, n);
    at += n;
  }
}

// Settings applied at the start, and others half way through.
struct Case
{
  char const* mName;
  double mRate;
  std::vector<Setting> mFirst, mSecond;
  std::vector<int> mVstBlocks, mLv2Blocks;
};

void SetVst(vsthost::Instance& inst, std::vector<Setting> const& settings)
{
  for (Setting const& s : settings)
  {
    char text[32] = {};
    std::to_chars(text, text + sizeof text - 1, s.mValue);
    inst.Dispatch(effString2Parameter, s.mParam, 0, text);
  }
}

void Drive(Instance& inst, Stereo const& in, Stereo& out, std::vector<int> const& sizes,
           int from = 0, int to = kFrames)
{
  Blocks(in, out, from, to, sizes,
         [&](float const* const* i, float* const* o, int n) { inst.Run(i, o, n); });
}

Stereo RenderVst(Case const& c, Stereo const& in)
{
  vsthost::Host host;
  EXPECT_TRUE(host.Load(vsthost::PluginPath())) << host.mError;
  vsthost::Instance inst(host, c.mRate, c.mVstBlocks[0]);
  Stereo out;
  auto run = [&](float const* const* i, float* const* o, int n)
  { inst->processReplacing(inst.Get(), const_cast<float**>(i), const_cast<float**>(o), n); };
  SetVst(inst, c.mFirst);
  Blocks(in, out, 0, kFrames / 2, c.mVstBlocks, run);
  SetVst(inst, c.mSecond);
  Blocks(in, out, kFrames / 2, kFrames, c.mVstBlocks, run);
  return out;
}

Stereo RenderLv2(Module& module, Case const& c, Stereo const& in)
{
  UridMap map;
  Instance inst(module, map, c.mRate);
  EXPECT_TRUE(inst);
  Stereo out;
  for (Setting const& s : c.mFirst) inst.mControls[s.mParam] = s.mValue;
  Drive(inst, in, out, c.mLv2Blocks, 0, kFrames / 2);
  for (Setting const& s : c.mSecond) inst.mControls[s.mParam] = s.mValue;
  Drive(inst, in, out, c.mLv2Blocks, kFrames / 2);
  return out;
}

class Lv2Module : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(mModule.mLib) << dlerror();
    ASSERT_TRUE(mModule.mPlugin);
    ASSERT_TRUE(mModule.mEditor);
  }
  Module& mModule = lv2host::TheModule();
};

TEST_F(Lv2Module, ExportsOneDescriptorOfEachKind)
{
  EXPECT_STREQ(mModule.mPlugin->URI, "urn:brindlecircuits:torva");
  EXPECT_STREQ(mModule.mEditor->URI, "urn:brindlecircuits:torva#ui");
  auto entry =
      reinterpret_cast<LV2_Descriptor const* (*)(uint32_t)>(dlsym(mModule.mLib, "lv2_descriptor"));
  EXPECT_EQ(entry(1), nullptr);
  for (char const* hidden : {"VSTPluginMain", "main", "MakePlug", "LV2PluginURI"})
    EXPECT_EQ(dlsym(mModule.mLib, hidden), nullptr) << hidden;
  EXPECT_NE(mModule.mPlugin->extension_data(LV2_STATE__interface), nullptr);
  EXPECT_EQ(mModule.mPlugin->extension_data("urn:nothing"), nullptr);
}

// The same settings through control ports and through the VST 2 text path, in different block
// patterns (single frames, empty runs, runs longer than the adapter's slice), give the same bits.
TEST_F(Lv2Module, OutputMatchesTheVst2ModuleBitForBit)
{
  Case const cases[] = {
      {"defaults", 44100.0, {}, {}, {512}, {512}},
      {"two changed",
       48000.0,
       {{kMaster, -7.5f}, {kTreble, 0.75f}},
       {},
       {512},
       {1, 0, 63, 4096, 5000, 0, 77}},
      {"changed half way",
       96000.0,
       {{kVolume1, 42.5f}},
       {{kBass, 0.25f}, {kVolume2, 3.0f}},
       {333},
       {1024}},
      {"bypassed, then not", 44100.0, {{kBypass, 1.0f}}, {{kBypass, 0.0f}}, {64}, {100, 1}},
      {"out of range lands on the bound",
       44100.0,
       {{kMaster, 1e9f}, {kPresence, -5.0f}},
       {},
       {256},
       {256}},
      {"non-finite ignored",
       44100.0,
       {{kMaster, -7.5f}},
       {{kMaster, kNaN}, {kBass, kInf}, {kTreble, -kInf}},
       {128},
       {128}},
  };
  Stereo const in = Input();
  for (Case c : cases)
  {
    SCOPED_TRACE(c.mName);
    // The VST 2 path reads no NaN text: the non-finite values must not change anything.
    Case vst = c;
    std::erase_if(vst.mSecond, [](Setting const& s) { return !std::isfinite(s.mValue); });
    Stereo const a = RenderVst(vst, in);
    Stereo const b = RenderLv2(mModule, c, in);
    EXPECT_TRUE(a == b);
  }
}

// Buffers shared between an input and an output (in place) give what separate ones give; a
// toggled port is on for any value above 0; unconnected audio inputs read as silence.
TEST_F(Lv2Module, InPlaceBypassedAndUnconnectedBuffers)
{
  UridMap map;
  Stereo const in = Input();
  Stereo a, b = in;
  Instance separate(mModule, map, 44100.0), inPlace(mModule, map, 44100.0);
  Drive(separate, in, a, {300});
  Drive(inPlace, b, b, {300});
  EXPECT_TRUE(a == b);

  Stereo bypassed, passed = in;
  passed.mL[100] = 0.0f; // no subnormal reaches the host
  separate.mControls[kBypass] = 0.25f;
  Drive(separate, in, bypassed, {300});
  EXPECT_TRUE(bypassed == passed);

  Stereo silent(500);
  silent.mL.assign(500, 1.0f);
  float const* nothing[2] = {nullptr, nullptr};
  float* outs[2] = {silent.mL.data(), silent.mR.data()};
  Instance(mModule, map, 44100.0).Run(nothing, outs, 500);
  EXPECT_TRUE(std::all_of(silent.mL.begin(), silent.mL.end(), [](float v) { return v == 0.0f; }));
}

// The state is the program chunk a VST 2 host gets for the same settings, and a fresh instance
// restored from it saves the same bytes and sounds the same.
TEST_F(Lv2Module, StateIsTheVst2ProgramChunkAndRoundTrips)
{
  std::vector<Setting> const settings = {{kMaster, -7.5f}, {kTreble, 0.75f}, {kBypass, 1.0f}};
  vsthost::Host host;
  ASSERT_TRUE(host.Load(vsthost::PluginPath())) << host.mError;
  vsthost::Instance vst(host, 44100.0, 512);
  SetVst(vst, settings);
  void* pChunk = nullptr;
  VstIntPtr const size = vst.Dispatch(effGetChunk, 1, 0, &pChunk);
  ASSERT_GT(size, 0);
  std::vector<unsigned char> const vstChunk(static_cast<unsigned char*>(pChunk),
                                            static_cast<unsigned char*>(pChunk) + size);

  UridMap map;
  Stereo const in = Input();
  Stereo a, b;
  Instance first(mModule, map, 44100.0);
  for (Setting const& s : settings) first.mControls[s.mParam] = s.mValue;
  Drive(first, in, a, {512});
  Properties saved;
  ASSERT_EQ(first.Save(saved), LV2_STATE_SUCCESS);
  ASSERT_EQ(saved.size(), 1u);
  lv2host::Property const& prop = saved.begin()->second;
  EXPECT_EQ(saved.begin()->first, map("urn:brindlecircuits:torva#chunk"));
  EXPECT_EQ(prop.mType, map(LV2_ATOM__Chunk));
  EXPECT_EQ(prop.mFlags, uint32_t(LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE));
  EXPECT_EQ(prop.mBytes, vstChunk);

  // The fresh instance's ports stay at their defaults: the restored state holds until a port
  // moves.
  Instance second(mModule, map, 44100.0);
  ASSERT_EQ(second.Restore(saved), LV2_STATE_SUCCESS);
  Properties again, moved;
  ASSERT_EQ(second.Save(again), LV2_STATE_SUCCESS);
  EXPECT_EQ(again.begin()->second.mBytes, vstChunk);
  Drive(second, in, b, {512});
  EXPECT_TRUE(a == b);
  for (float bypass : {1.0f, 0.0f})
  {
    second.mControls[kBypass] = bypass;
    Drive(second, in, b, {1}, 0, 1);
  }
  ASSERT_EQ(second.Save(moved), LV2_STATE_SUCCESS);
  EXPECT_NE(moved.begin()->second.mBytes, vstChunk);
}

// A damaged or foreign state is refused and changes nothing.
TEST_F(Lv2Module, DamagedStateIsRefusedAndChangesNothing)
{
  UridMap map;
  Instance source(mModule, map, 44100.0);
  source.mControls[kMaster] = 12.5f;
  source.mControls[kBypass] = 1.0f;
  Stereo quiet(2);
  Drive(source, quiet, quiet, {2}, 0, 2);
  Properties good;
  ASSERT_EQ(source.Save(good), LV2_STATE_SUCCESS);
  uint32_t const key = good.begin()->first;
  std::vector<unsigned char> const bytes = good.begin()->second.mBytes;
  ASSERT_EQ(bytes.size(), 8u + 8u * 8u);

  struct Damage
  {
    char const* mName;
    std::vector<unsigned char> mBytes;
    uint32_t mType;
    bool mPresent;
  };
  auto cut = [&](size_t n) { return std::vector<unsigned char>(bytes.begin(), bytes.begin() + n); };
  std::vector<unsigned char> badMagic = bytes;
  badMagic[0] ^= 0x55;
  uint32_t const chunkType = map(LV2_ATOM__Chunk);
  Damage const damages[] = {
      {"empty", {}, chunkType, true},
      {"half a header", cut(4), chunkType, true},
      {"header only", cut(8), chunkType, true},
      {"one parameter", cut(16), chunkType, true},
      {"one byte short", cut(bytes.size() - 1), chunkType, true},
      {"no header", badMagic, chunkType, true},
      {"wrong type", bytes, map(LV2_ATOM__String), true},
      {"missing", bytes, chunkType, false},
  };
  for (Damage const& d : damages)
  {
    SCOPED_TRACE(d.mName);
    Instance target(mModule, map, 44100.0);
    Properties before, after, damaged;
    ASSERT_EQ(target.Save(before), LV2_STATE_SUCCESS);
    if (d.mPresent) damaged[key] = lv2host::Property{d.mBytes, d.mType, 0};
    EXPECT_NE(target.Restore(damaged), LV2_STATE_SUCCESS);
    ASSERT_EQ(target.Save(after), LV2_STATE_SUCCESS);
    EXPECT_EQ(after.begin()->second.mBytes, before.begin()->second.mBytes);
  }

  // Without a URID map there is no key to store under: an error, not a silent empty state.
  Instance unmapped(mModule, map, 44100.0, false);
  Properties none;
  EXPECT_EQ(unmapped.Save(none), LV2_STATE_ERR_NO_FEATURE);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(unmapped.Restore(good), LV2_STATE_ERR_NO_FEATURE);
}

} // namespace
