// TORVA.vst3's module as a VST 3 host loads it: the class and parameters it shows, automation at
// sample offsets, the state a host stores, and the objects released in every order.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/Random.h"
#include "support/TestHost.h"
#include "vst3/Vst3Host.h"

using namespace vst3host;

namespace
{
constexpr ParamID kBass = 0, kMaster = 1, kTreble = 4, kBypass = 7;

std::string Narrow(char16 const* s)
{
  std::string out;
  for (; *s; ++s) out += static_cast<char>(*s);
  return out;
}

// Two channels of guitar-like material.
template <class T> std::array<std::vector<T>, 2> Input(int n)
{
  torva_test::Rng rng(5);
  std::array<std::vector<T>, 2> in{std::vector<T>(n), std::vector<T>(n)};
  for (int i = 0; i < n; ++i)
  {
    in[0][i] = static_cast<T>(0.8 * std::sin(i * 0.031) + 0.1 * rng.Real(-1.0, 1.0));
    in[1][i] = static_cast<T>(0.5 * std::sin(i * 0.017 + 1.0));
  }
  return in;
}

TEST(Vst3Module, FactoryShowsTheClassAndItsParameters)
{
  IPluginFactory* pFactory = Factory();
  ASSERT_NE(pFactory, nullptr) << dlerror();
  IPluginFactory2* pFactory2 = nullptr;
  ASSERT_EQ(
      pFactory->queryInterface(kIPluginFactory2IID.bytes, reinterpret_cast<void**>(&pFactory2)),
      kResultOk);
  ASSERT_EQ(pFactory->countClasses(), 1);
  PClassInfo2 info{};
  ASSERT_EQ(pFactory2->getClassInfo2(0, &info), kResultOk);
  // The identifier is the manufacturer and unique IDs: hosts' projects name the class by it.
  EXPECT_EQ(std::string(info.cid, 16), "BrciTOR1VST3Plug");
  EXPECT_STREQ(info.category, "Audio Module Class");
  EXPECT_STREQ(info.name, "TORVA");
  EXPECT_STREQ(info.subCategories, "Fx|Distortion");
  EXPECT_STREQ(info.vendor, "BrindleCircuits");
  EXPECT_STREQ(info.version, "1.0.0");
  EXPECT_NE(pFactory2->getClassInfo2(1, &info), kResultOk);
  void* pObj = reinterpret_cast<void*>(1);
  char other[16] = "AnotherClass123";
  EXPECT_NE(pFactory->createInstance(other, kIComponentIID.bytes, &pObj), kResultOk);
  EXPECT_EQ(pObj, nullptr);
  pFactory2->release();
  pFactory->release();

  Plug plug;
  ASSERT_TRUE(plug);
  struct Row
  {
    char const* title;
    char const* units;
    int32_t steps;
    double defaultNormalized;
    bool bypass;
  } const rows[] = {{"Bass", "", 0, 0.7, false},       {"Master", "dB", 0, 0.4, false},
                    {"Middle", "", 0, 0.3, false},     {"Presence", "", 0, 0.3, false},
                    {"Treble", "", 0, 0.4, false},     {"Volume 1", "dB", 0, 0.2, false},
                    {"Volume 2", "dB", 0, 0.2, false}, {"Bypass", "", 1, 0.0, true}};
  ASSERT_EQ(plug.mCtrl->getParameterCount(), 8);
  for (int32_t i = 0; i < 8; ++i)
  {
    SCOPED_TRACE(rows[i].title);
    ParameterInfo p{};
    ASSERT_EQ(plug.mCtrl->getParameterInfo(i, p), kResultOk);
    EXPECT_EQ(p.id, static_cast<ParamID>(i));
    EXPECT_EQ(Narrow(p.title), rows[i].title);
    EXPECT_EQ(Narrow(p.units), rows[i].units);
    EXPECT_EQ(p.stepCount, rows[i].steps);
    EXPECT_NEAR(p.defaultNormalizedValue, rows[i].defaultNormalized, 1e-12);
    EXPECT_TRUE(p.flags & ParameterInfo::kCanAutomate);
    EXPECT_EQ((p.flags & ParameterInfo::kIsBypass) != 0, rows[i].bypass);
  }

  // Text both ways through the base's reading and display: what is shown reads back.
  ParamValue v = -1.0;
  char16 text[128] = u"3 dB";
  ASSERT_EQ(plug.mCtrl->getParamValueByString(kMaster, text, v), kResultOk);
  EXPECT_DOUBLE_EQ(v, 23.0 / 40.0);
  String128 shown{};
  ASSERT_EQ(plug.mCtrl->getParamStringByValue(kMaster, v, shown), kResultOk);
  ParamValue back = -1.0;
  ASSERT_EQ(plug.mCtrl->getParamValueByString(kMaster, shown, back), kResultOk);
  EXPECT_DOUBLE_EQ(back, v) << Narrow(shown);
  EXPECT_DOUBLE_EQ(plug.mCtrl->normalizedParamToPlain(kBypass, 0.6), 1.0);
  char16 bad[128] = u"3 apples";
  EXPECT_EQ(plug.mCtrl->getParamValueByString(kMaster, bad, back), kResultFalse);
}

// Points at offsets inside a block give the bits of the block split there, each part starting
// with its points; 32 and 64-bit samples alike.
template <class T> void ExpectAutomationEqualsSplit()
{
  constexpr int kN = 512;
  // (offset, parameter, value); two parameters change at 300, one point lies before the block.
  struct Point
  {
    int32_t offset;
    ParamID id;
    double value;
  } const points[] = {{-5, kTreble, 0.75},  {0, kMaster, 0.25},  {100, kBass, 0.9},
                      {300, kMaster, 0.75}, {300, kTreble, 0.1}, {450, kBypass, 1.0}};
  int32_t const sampleSize = sizeof(T) == 8 ? kSample64 : kSample32;
  auto in = Input<T>(kN);
  auto const run = [&](Plug& plug, int from, int to, Changes* pChanges, auto& out)
  {
    T* ins[2] = {in[0].data() + from, in[1].data() + from};
    T* outs[2] = {out[0].data() + from, out[1].data() + from};
    return plug.Process(ins, outs, to - from, pChanges);
  };
  using Out = std::array<std::vector<T>, 2>;

  Plug whole(48000.0, sampleSize), split(48000.0, sampleSize), still(48000.0, sampleSize);
  ASSERT_TRUE(whole && split && still);
  Changes block;
  for (Point const& p : points) block.mQueues.push_back(Queue(p.id, {{p.offset, p.value}}));
  Out a{std::vector<T>(kN), std::vector<T>(kN)}, b = a, c = a;
  ASSERT_EQ(run(whole, 0, kN, &block, a), kResultOk);

  int const cuts[] = {0, 100, 300, 450, kN};
  for (int k = 0; k + 1 < 5; ++k)
  {
    Changes part;
    for (Point const& p : points)
      if (std::max(p.offset, 0) == cuts[k]) part.mQueues.push_back(Queue(p.id, {{0, p.value}}));
    ASSERT_EQ(run(split, cuts[k], cuts[k + 1], &part, b), kResultOk);
  }
  EXPECT_EQ(std::memcmp(a[0].data(), b[0].data(), kN * sizeof(T)), 0);
  EXPECT_EQ(std::memcmp(a[1].data(), b[1].data(), kN * sizeof(T)), 0);
  EXPECT_EQ(whole.mCtrl->getParamNormalized(kMaster), 0.75);
  EXPECT_EQ(whole.mCtrl->getParamNormalized(kBypass), 1.0);
  // The changes are heard: without them the block sounds otherwise.
  ASSERT_EQ(run(still, 0, kN, nullptr, c), kResultOk);
  EXPECT_NE(std::memcmp(a[0].data(), c[0].data(), kN * sizeof(T)), 0);
}

TEST(Vst3Module, AutomationAtOffsetsEqualsTheBlockSplitThere)
{
  ExpectAutomationEqualsSplit<float>();
  ExpectAutomationEqualsSplit<double>();
}

// The state is the program chunk a VST 2 host stores for the same settings; a fresh instance
// takes it and gives the same bytes back. Damaged or foreign bytes are refused and change
// nothing.
TEST(Vst3Module, StateIsTheVst2ChunkAndRestoresWholeOrNotAtAll)
{
  vsthost::Host host;
  ASSERT_TRUE(host.Load(vsthost::PluginPath())) << host.mError;
  vsthost::Instance vst(host);
  for (auto [idx, text] : {std::pair{1, "-7.5"}, {4, "0.75"}, {7, "1"}})
    vst.Dispatch(effString2Parameter, idx, 0, const_cast<char*>(text));
  unsigned char* pChunk = nullptr;
  VstIntPtr const size = vst.Dispatch(effGetChunk, 1, 0, &pChunk);
  ASSERT_GT(size, 8);
  std::vector<uint8_t> const chunk(pChunk, pChunk + size);

  Plug first, second;
  ASSERT_TRUE(first && second);
  first.mCtrl->setParamNormalized(kMaster, 12.5 / 40.0);
  first.mCtrl->setParamNormalized(kTreble, 0.75);
  first.mCtrl->setParamNormalized(kBypass, 1.0);
  EXPECT_EQ(first.State(), chunk);

  std::vector<uint8_t> const fresh = second.State();
  std::vector<uint8_t> truncated(chunk.begin(), chunk.end() - 3), foreign = chunk, tooLong = chunk;
  foreign[0] ^= 0xFF;
  tooLong.resize((16 << 20) + 1);
  for (auto const* pBytes : {&truncated, &foreign, &tooLong})
  {
    Stream s(*pBytes);
    EXPECT_EQ(second.mComp->setState(&s), kResultFalse);
    EXPECT_EQ(second.State(), fresh);
  }
  Stream empty;
  EXPECT_EQ(second.mComp->setState(&empty), kResultFalse);

  Stream good(chunk);
  ASSERT_EQ(second.mComp->setState(&good), kResultOk);
  EXPECT_EQ(second.State(), chunk);
  EXPECT_EQ(second.mCtrl->getParamNormalized(kMaster), 12.5 / 40.0);
  Stream again(chunk);
  EXPECT_EQ(second.mCtrl->setComponentState(&again), kResultOk); // the same object: no change
  EXPECT_EQ(second.State(), chunk);
}

// Factory, component, controller and view released in all 24 orders: each release answers the
// references left (LeakSanitizer checks that the instance went with the last).
TEST(Vst3Module, ReleasedInEveryOrderWithoutALeak)
{
  std::array<int, 4> order = {0, 1, 2, 3};
  do
  {
    Plug plug;
    ASSERT_TRUE(plug);
    IPluginFactory* pFactory = Factory();
    IPlugView* pView = plug.mCtrl->createView("editor");
    ASSERT_NE(pView, nullptr);
    EXPECT_EQ(plug.mCtrl->createView("editor"), nullptr); // one at a time
    plug.mProc->release();
    plug.mProc = nullptr;
    FUnknown* const objects[] = {pFactory, plug.mComp, plug.mCtrl, pView};
    plug.mComp = nullptr, plug.mCtrl = nullptr;
    // What a piece's release answers: the references left, the view's own included while it
    // lives; the view's release always answers 0, its object goes.
    int heldPieces = 2;
    bool viewAlive = true;
    for (int k : order)
      if (k == 0)
        objects[k]->release();
      else if (k == 3)
      {
        EXPECT_EQ(objects[k]->release(), 0u);
        viewAlive = false;
      }
      else
        EXPECT_EQ(objects[k]->release(), static_cast<uint32_t>(--heldPieces + viewAlive));
  } while (std::next_permutation(order.begin(), order.end()));
}

} // namespace
