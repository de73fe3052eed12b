// State chunks through TORVA.so's effGetChunk/effSetChunk: the default program chunk hosts store
// is the golden presets/torva_program.chunk, and program and bank carry a state over to a fresh
// instance. Their layout is the plug-in base's (tests/framework/IPlugBaseState_test.cpp); what a
// refused chunk must leave is tests/framework/Rollback_test.cpp and tests/vst2.

#include <gtest/gtest.h>

#include <vector>

#include "support/TempFiles.h"
#include "support/TestHost.h"

using namespace vsthost;

namespace
{
using Bytes = std::vector<unsigned char>;

Bytes GetChunk(Instance& p, bool bank)
{
  void* data = nullptr;
  VstIntPtr const size = p.Dispatch(effGetChunk, bank ? 0 : 1, 0, &data);
  if (size <= 0 || !data) return {};
  return Bytes(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

VstIntPtr SetChunk(Instance& p, Bytes const& bytes, bool bank)
{
  return p.Dispatch(effSetChunk, bank ? 0 : 1, static_cast<VstIntPtr>(bytes.size()),
                    const_cast<unsigned char*>(bytes.data()));
}

std::vector<float> Values(Instance& p)
{
  std::vector<float> v;
  for (int i = 0; i < 8; ++i) v.push_back(p->getParameter(p.Get(), i));
  return v;
}
} // namespace

// A change here breaks the projects hosts have stored. Made once from the build of the day with
// TORVA_REGEN_GOLDEN=1 test_e2e --gtest_filter=Chunks.DefaultProgramMatchesItsGolden.
TEST(Chunks, DefaultProgramMatchesItsGolden)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host);
  torva_test::ExpectGoldenBytes("presets/torva_program.chunk", GetChunk(p, false));
}

TEST(Chunks, RoundTripsToAFreshInstance)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host);
  p->setParameter(p.Get(), 0, 0.9f);
  p->setParameter(p.Get(), 1, 0.125f);
  p->setParameter(p.Get(), 7, 1.0f);
  std::vector<float> const saved = Values(p);
  for (bool bank : {false, true})
  {
    Bytes const chunk = GetChunk(p, bank);
    Instance q(host);
    ASSERT_EQ(SetChunk(q, chunk, bank), 1) << bank;
    EXPECT_EQ(Values(q), saved) << bank;
    EXPECT_EQ(GetChunk(q, bank), chunk) << bank;
  }

  // A host may hand back the very buffer it was given.
  for (int i = 0; i < 8; ++i) p->setParameter(p.Get(), i, 0.5f);
  std::vector<float> const now = Values(p);
  void* data = nullptr;
  VstIntPtr const size = p.Dispatch(effGetChunk, 0, 0, &data);
  EXPECT_EQ(p.Dispatch(effSetChunk, 0, size, data), 1);
  EXPECT_EQ(Values(p), now);
}
