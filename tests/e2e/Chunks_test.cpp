// State chunks through effGetChunk/effSetChunk: the byte layouts hosts store in their projects,
// round trips, and data that must change nothing.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/Random.h"
#include "support/Sanitized.h"
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

double DoubleAt(Bytes const& b, size_t pos)
{
  double d;
  std::memcpy(&d, b.data() + pos, 8);
  return d;
}

Bytes const kHeader = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
} // namespace

TEST(Chunks, ProgramAndBankLayouts)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host);
  EXPECT_EQ(p.Dispatch(effGetChunk, 1), 0); // no pointer for the answer

  Bytes const program = GetChunk(p, false);
  ASSERT_EQ(program.size(), 72u);
  EXPECT_EQ(Bytes(program.begin(), program.begin() + 8), kHeader);
  double const defaults[] = {0.7, -4.0, 0.3, 0.3, 0.4, 10.0, 10.0, 0.0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(DoubleAt(program, 8 + 8 * i), defaults[i]) << i;

  // Header, then the one slot: name length 1, "-", initialised, its 64 bytes of state.
  Bytes const bank = GetChunk(p, true);
  ASSERT_EQ(bank.size(), 78u);
  EXPECT_EQ(Bytes(bank.begin(), bank.begin() + 14),
            (Bytes{0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0, 1, 0, 0, 0, '-', 1}));
  EXPECT_EQ(Bytes(bank.begin() + 14, bank.end()), Bytes(program.begin() + 8, program.end()));
}

TEST(Chunks, RoundTrips)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host);
  for (bool bank : {false, true})
  {
    p->setParameter(p.Get(), 0, 0.9f);
    p->setParameter(p.Get(), 1, 0.125f);
    p->setParameter(p.Get(), 7, 1.0f);
    std::vector<float> const saved = Values(p);
    Bytes const chunk = GetChunk(p, bank);

    for (int i = 0; i < 8; ++i) p->setParameter(p.Get(), i, 0.5f);
    ASSERT_EQ(SetChunk(p, chunk, bank), 1) << bank;
    EXPECT_EQ(Values(p), saved) << bank;
    EXPECT_EQ(GetChunk(p, bank), chunk) << bank;
  }

  // A host may hand back the very buffer it was given.
  void* data = nullptr;
  VstIntPtr const size = p.Dispatch(effGetChunk, 0, 0, &data);
  std::vector<float> const saved = Values(p);
  EXPECT_EQ(p.Dispatch(effSetChunk, 0, size, data), 1);
  EXPECT_EQ(Values(p), saved);

  // A second instance takes the first one's state.
  Instance q(host);
  ASSERT_EQ(SetChunk(q, GetChunk(p, false), false), 1);
  EXPECT_EQ(Values(q), saved);
}

TEST(Chunks, ProgramDataUnderABankRequest)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host);
  p->setParameter(p.Get(), 3, 1.0f);
  Bytes program = GetChunk(p, false);
  std::vector<float> const saved = Values(p);
  p->setParameter(p.Get(), 3, 0.0f);

  // A header older than the bank format means one program, even under a bank request.
  Bytes old = program;
  old[6] = 0;    // version 0x00000000
  old[5] = 0x80; // 0x00008000
  EXPECT_EQ(SetChunk(p, old, true), 1);
  EXPECT_EQ(Values(p), saved);

  // So does a chunk without the header: bare state from its first byte.
  p->setParameter(p.Get(), 3, 0.0f);
  Bytes const bare(program.begin() + 8, program.end());
  EXPECT_EQ(SetChunk(p, bare, true), 1);
  EXPECT_EQ(Values(p), saved);
}

TEST(Chunks, BadDataChangesNothing)
{
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host);
  p->setParameter(p.Get(), 2, 0.8f);
  Bytes const program = GetChunk(p, false);
  Bytes const bank = GetChunk(p, true);
  for (int i = 0; i < 8; ++i) p->setParameter(p.Get(), i, 0.33f);
  std::vector<float> const before = Values(p);

  unsigned char small[16] = {};
  EXPECT_EQ(p.Dispatch(effSetChunk, 1, 72, nullptr), 0);
  EXPECT_EQ(p.Dispatch(effSetChunk, 0, -1, small), 0);
  // Sizes no buffer of this plug-in comes near are refused without reading (the sanitizers would
  // see a read past small[]).
  EXPECT_EQ(p.Dispatch(effSetChunk, 1, VstIntPtr{1} << 40, small), 0);
  EXPECT_EQ(p.Dispatch(effSetChunk, 0, VstIntPtr{1} << 31, small), 0);
  EXPECT_EQ(Values(p), before);

  // Every truncation, of either kind, under either request.
  for (Bytes const* whole : {&program, &bank})
    for (bool bankRequest : {false, true})
      for (size_t cut = 0; cut < whole->size(); ++cut)
      {
        if (whole == &bank && !bankRequest && cut >= 72)
          continue; // the bank's first 72 bytes are not a program; see below
        Bytes const part(whole->begin(), whole->begin() + static_cast<long>(cut));
        ASSERT_EQ(SetChunk(p, part, bankRequest), 0) << cut;
        ASSERT_EQ(Values(p), before) << cut;
      }
  char name[32];
  p.Dispatch(effGetProgramName, 0, 0, name);
  EXPECT_STREQ(name, "-");
}

TEST(Chunks, RandomBytesLeaveValidParameters)
{
  // Whatever arrives, the parameters either keep their values (refused) or all hold values
  // inside their ranges (accepted: the data was long enough to be a state).
  Host host;
  ASSERT_TRUE(host.Load(PluginPath()));
  Instance p(host);
  torva_test::Rng rng(1234);
  int const rounds = torva_test::Scaled(2000, 300);
  int accepted = 0;
  for (int round = 0; round < rounds; ++round)
  {
    Bytes junk = rng.Bytes(rng.Below(160));
    if (junk.size() >= 8 && rng.Chance(50)) std::copy(kHeader.begin(), kHeader.end(), junk.begin());
    std::vector<float> const before = Values(p);
    VstIntPtr const r = SetChunk(p, junk, rng.Chance(50));
    std::vector<float> const after = Values(p);
    if (r == 0)
      ASSERT_EQ(after, before) << round;
    else
    {
      ++accepted;
      for (int i = 0; i < 8; ++i)
      {
        ASSERT_GE(after[i], 0.0f) << round;
        ASSERT_LE(after[i], 1.0f) << round;
        ASSERT_FALSE(p.ParamDisplay(i).empty());
        ASSERT_EQ(p.ParamDisplay(i).find("nan"), std::string::npos) << round;
      }
    }
  }
  EXPECT_GT(accepted, 0);

  // And the plug-in still works: silence in, silence out.
  double zeros[2][32] = {}, out[2][32];
  double* ins[] = {zeros[0], zeros[1]};
  double* outs[] = {out[0], out[1]};
  for (int i = 0; i < 8; ++i) p->setParameter(p.Get(), i, 0.5f);
  p->processDoubleReplacing(p.Get(), ins, outs, 32);
  for (double v : out[0]) EXPECT_EQ(v, 0.0);
}
