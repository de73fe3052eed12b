// State chunks, host chunks and preset slots: the byte layouts hosts store (beyond the golden
// files), and what reading them back does to the parameters and slots. Refused loads are
// Rollback_test.cpp.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "framework/Base64.h"
#include "support/EightParamPlug.h"
#include "support/PlugState.h"
#include "support/Random.h"
#include "support/Sanitized.h"

using torva_test::Bytes;
using torva_test::EightParamPlug;
using torva_test::ExpectParamsInRange;
using torva_test::SetBytes;
using torva_test::Values;
using Vec = std::vector<unsigned char>;

namespace
{
Vec const kHeader = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};

Vec DoubleBytes(double v)
{
  Vec b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}

Vec Concat(std::initializer_list<Vec> parts)
{
  Vec out;
  for (Vec const& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Three parameters: 0..1, 2..5 and 0..10; counts OnParamChange.
class ThreeParamPlug : public IPlugHeadless
{
public:
  explicit ThreeParamPlug(int nPresets = 3)
      : IPlugHeadless(IPlugHeadlessInfo(), 3, "2-2", nPresets, "three", "", "maker", 0x10000, 3, 3,
                      0, false, true, false, 0)
  {
    GetParam(0)->InitDouble("a", 0.5, 0.0, 1.0, 0.01);
    GetParam(1)->InitDouble("b", 3.0, 2.0, 5.0, 0.01);
    GetParam(2)->InitInt("c", 4, 0, 10);
  }
  void OnParamChange(int idx) override
  {
    IPlugBase::OnParamChange(idx);
    ++mChanges;
  }
  void PresetsChangedByHost() override { ++mPresetsChanged; }
  int mChanges = 0;
  int mPresetsChanged = 0;
};

} // namespace

// The program chunk and the one-slot bank chunk are pinned whole by the golden files that carry
// them (presets/program_chunk.fxp and bank_chunk.fxb, PresetFiles.FilesMatchTheirGoldenBytes);
// what those do not show is here.
TEST(StateChunks, ChunkLayoutsBeyondTheGoldens)
{
  // Read back, a program chunk leaves every value as it was and tells the product about each.
  EightParamPlug plug;
  ByteChunk chunk;
  ASSERT_TRUE(plug.GetHostChunk(&chunk, false));
  plug.mParamChanges.clear();
  EXPECT_TRUE(plug.SetHostChunk(&chunk, false));
  EXPECT_EQ(plug.mParamChanges.size(), 8u);
  EXPECT_TRUE(plug.CompareState(chunk.GetBytes() + 8, 0));

  // Two slots, the second uninitialised: the chunk ends with its name and a single 00.
  EightParamPlug two(2);
  two.MakeDefaultPreset("a", 1);
  ByteChunk bank;
  ASSERT_TRUE(two.SerializePresets(&bank));
  Vec const b = Bytes(bank);
  ASSERT_EQ(b.size(), 4u + 1 + 1 + 64 + 4 + 5 + 1);
  EXPECT_EQ(Vec(b.end() - 10, b.end()), (Vec{5, 0, 0, 0, 'e', 'm', 'p', 't', 'y', 0}));

  EightParamPlug none(0);
  ByteChunk empty;
  EXPECT_TRUE(none.SerializePresets(&empty)) << "no slots: still a success";
  EXPECT_EQ(empty.Size(), 0);
}

TEST(StateChunks, VersionHeader)
{
  auto read = [](Vec const& bytes, int pos, int* pPos)
  {
    ByteChunk c;
    SetBytes(&c, bytes);
    *pPos = pos;
    return IPlugBase::GetIPlugVerFromChunk(&c, pPos);
  };
  int pos;
  EXPECT_EQ(read(Concat({kHeader, {1}}), 0, &pos), 0x10000);
  EXPECT_EQ(pos, 8);
  EXPECT_EQ(read({0x75, 0x66, 0x66, 0x70, 0, 0, 1, 0}, 0, &pos), 0);
  EXPECT_EQ(pos, 0) << "no magic: a bare state follows from the same position";
  EXPECT_EQ(read({0x74, 0x66, 0x66, 0x70, 0, 0}, 0, &pos), 0);
  EXPECT_EQ(pos, -1) << "magic without room for the version";
  EXPECT_EQ(read({0x74, 0x66, 0x66}, 0, &pos), 0);
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(read(kHeader, -1, &pos), 0);
  EXPECT_EQ(pos, -1);

  ByteChunk c;
  c.PutBool(true);
  IPlugBase::InitChunkWithIPlugVer(&c);
  EXPECT_EQ(Bytes(c), kHeader);
}

TEST(StateChunks, ShortAndHostileStates)
{
  // 12 bytes for 3 parameters: the first gets its value, the second 0.0 clamped into 2..5, the
  // third keeps its value; every parameter is still announced.
  ThreeParamPlug plug;
  ByteChunk c;
  SetBytes(&c, Concat({DoubleBytes(0.25), {1, 2, 3, 4}}));
  EXPECT_EQ(plug.UnserializeParams(&c, 0), -1);
  EXPECT_EQ(Values(plug), (std::vector<double>{0.25, 2.0, 4.0}));
  EXPECT_EQ(plug.mChanges, 3);

  // Out of range values are clamped; non-finite ones leave the parameter alone.
  double const nan = std::numeric_limits<double>::quiet_NaN();
  double const inf = std::numeric_limits<double>::infinity();
  SetBytes(&c, Concat({DoubleBytes(nan), DoubleBytes(inf), DoubleBytes(99.0)}));
  EXPECT_EQ(plug.UnserializeParams(&c, 0), 24);
  EXPECT_EQ(Values(plug), (std::vector<double>{0.25, 2.0, 10.0}));

  // A host chunk without the header is a bare state from position 0.
  SetBytes(&c, Concat({DoubleBytes(0.5), DoubleBytes(4.5), DoubleBytes(1.0)}));
  EXPECT_TRUE(plug.SetHostChunk(&c, true));
  EXPECT_EQ(Values(plug), (std::vector<double>{0.5, 4.5, 1.0}));
  // ... and it also became the current slot's state.
  ByteChunk slot;
  plug.SerializeState(&slot);
  EXPECT_TRUE(plug.GetPreset(0)->mChunk.IsEqual(&slot));

  // A bank chunk whose header carries an older format is one program.
  SetBytes(&c, Concat({{0x74, 0x66, 0x66, 0x70, 0xFF, 0xFF, 0x00, 0x00},
                       DoubleBytes(0.75),
                       DoubleBytes(3.0),
                       DoubleBytes(2.0)}));
  EXPECT_TRUE(plug.SetHostChunk(&c, true));
  EXPECT_EQ(Values(plug), (std::vector<double>{0.75, 3.0, 2.0}));

  // The magic without a version is a failure.
  SetBytes(&c, {0x74, 0x66, 0x66, 0x70, 0});
  EXPECT_FALSE(plug.SetHostChunk(&c, false));
  EXPECT_EQ(Values(plug), (std::vector<double>{0.75, 3.0, 2.0}));
}

TEST(StateChunks, CompareState)
{
  ThreeParamPlug plug;
  double stored[5] = {99.0, 0.5, 3.0, 4.0, 99.0};
  auto const* bytes = reinterpret_cast<unsigned char const*>(stored);
  EXPECT_TRUE(plug.CompareState(bytes, 1)) << "the start position counts doubles";
  EXPECT_FALSE(plug.CompareState(bytes, 0));
  stored[2] = 3.000001; // within 1e-5 once both are singles
  EXPECT_TRUE(plug.CompareState(bytes, 1));
  stored[2] = 3.0001;
  EXPECT_FALSE(plug.CompareState(bytes, 1));
  stored[2] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(plug.CompareState(bytes, 1));
}

TEST(Presets, MakeOperations)
{
  ThreeParamPlug plug(6);
  plug.MakeDefaultPreset(nullptr, 1);
  EXPECT_STREQ(plug.GetPresetName(0), "Empty");
  plug.MakePreset("made", 0.25, 2.5, 7); // the int parameter takes an int
  plug.MakePresetFromNamedParams("named", 1, 2, 9);
  ByteChunk chunk;
  SetBytes(&chunk, Concat({DoubleBytes(1.0), DoubleBytes(5.0), DoubleBytes(0.0)}));
  plug.MakePresetFromChunk("chunk", &chunk);
  // Base64 of three bytes into an 8-byte slot: the bytes, then five zeros.
  plug.MakePresetFromBlob("blob", "AQID", 8);
  EXPECT_STREQ(plug.GetPresetName(5), "empty");
  EXPECT_STREQ(plug.GetPresetName(6), "");
  EXPECT_STREQ(plug.GetPresetName(-1), "");

  auto slotValues = [&](int i)
  {
    std::vector<double> v(3, -1.0);
    ByteChunk const& c = plug.GetPreset(i)->mChunk;
    for (int k = 0; k < 3; ++k) c.Get(&v[static_cast<size_t>(k)], 8 * k);
    return v;
  };
  EXPECT_EQ(slotValues(1), (std::vector<double>{0.25, 2.5, 7.0}));
  EXPECT_EQ(slotValues(2), (std::vector<double>{0.5, 3.0, 9.0}))
      << "unnamed parameters keep their current values";
  EXPECT_EQ(slotValues(3), (std::vector<double>{1.0, 5.0, 0.0}));
  EXPECT_EQ(Bytes(plug.GetPreset(4)->mChunk), (Vec{1, 2, 3, 0, 0, 0, 0, 0}));

  plug.EnsureDefaultPreset();
  EXPECT_TRUE(plug.GetPreset(5)->mInitialized);
  EXPECT_STREQ(plug.GetPresetName(5), "Empty");
  // No slot left: these do nothing.
  plug.MakePreset("extra", 0.0, 0.0, 0);
  plug.MakePresetFromBlob("extra", "AAAA", 3);
  for (int i = 0; i < plug.NPresets(); ++i) EXPECT_STRNE(plug.GetPresetName(i), "extra");
}

TEST(Presets, HostileMakeArguments)
{
  ThreeParamPlug plug(4);
  // An index out of range ends the pairs: nothing is written out of bounds and nothing after it
  // is read.
  plug.MakePresetFromNamedParams("bad index", 3, 0, 0.75, 3, 1.0, 1, 4.0);
  ByteChunk const& c = plug.GetPreset(0)->mChunk;
  ASSERT_EQ(c.Size(), 24);
  double v;
  c.Get(&v, 0);
  EXPECT_EQ(v, 0.75);
  c.Get(&v, 8);
  EXPECT_EQ(v, 3.0);

  plug.MakePresetFromBlob("negative", "AQID", -1);
  EXPECT_FALSE(plug.GetPreset(1)->mInitialized);
  plug.MakePresetFromBlob("null", nullptr, 4);
  EXPECT_EQ(Bytes(plug.GetPreset(1)->mChunk), (Vec{0, 0, 0, 0}));

  std::string const longName(1000, 'p');
  plug.MakeDefaultPreset(longName.c_str(), 1);
  EXPECT_EQ(std::string(plug.GetPresetName(2)), std::string(kPresetNameLen - 1, 'p'));
}

TEST(Presets, RestoreAndModify)
{
  ThreeParamPlug plug(4);
  plug.MakePreset("one", 0.1, 2.1, 1);
  plug.GetPreset(1)->SetName("user preset 1");
  plug.GetPreset(2)->SetName("my user preset 2");

  // An uninitialised slot takes the live state under the next user-preset number.
  plug.GetParam(0)->Set(0.9);
  ASSERT_TRUE(plug.RestorePreset(3));
  EXPECT_STREQ(plug.GetPresetName(3), "user preset 3");
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 3);
  EXPECT_EQ(plug.mPresetsChanged, 1);

  ASSERT_TRUE(plug.RestorePreset("one"));
  EXPECT_EQ(Values(plug), (std::vector<double>{0.1, 2.1, 1.0}));
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 0);
  EXPECT_FALSE(plug.RestorePreset("One"));
  EXPECT_FALSE(plug.RestorePreset(""));
  EXPECT_FALSE(plug.RestorePreset(static_cast<char const*>(nullptr)));
  EXPECT_FALSE(plug.RestorePreset(4));
  EXPECT_FALSE(plug.RestorePreset(-1));

  ASSERT_TRUE(plug.RestorePreset(3));
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.9);

  // Modify stores the live state into the current slot; the name only when one is given.
  plug.GetParam(1)->Set(4.0);
  plug.ModifyCurrentPreset("");
  EXPECT_STREQ(plug.GetPresetName(3), "user preset 3");
  plug.ModifyCurrentPreset("renamed");
  EXPECT_STREQ(plug.GetPresetName(3), "renamed");
  plug.GetParam(1)->Set(2.0);
  ASSERT_TRUE(plug.RestorePreset(3));
  EXPECT_EQ(plug.GetParam(1)->Value(), 4.0);

  // A stored state too short for the parameters fails the restore.
  plug.GetPreset(0)->mChunk.Clear();
  EXPECT_FALSE(plug.RestorePreset(0));

  ThreeParamPlug sparse(4);
  sparse.MakeDefaultPreset("first", 1);
  sparse.GetPreset(2)->mInitialized = true;
  sparse.GetPreset(2)->SetName("third");
  sparse.PruneUninitializedPresets();
  ASSERT_EQ(sparse.NPresets(), 2);
  EXPECT_STREQ(sparse.GetPresetName(1), "third");
}

TEST(Presets, BankRoundTrip)
{
  ThreeParamPlug src(3);
  src.MakePreset("alpha", 0.1, 2.5, 3);
  src.MakePreset("beta", 0.9, 4.5, 8);
  src.RestorePreset(1);
  src.GetParam(0)->Set(0.95); // live edit: the bank stores it into the current slot
  ByteChunk bank;
  ASSERT_TRUE(src.GetHostChunk(&bank, true));

  ThreeParamPlug dst(3);
  dst.RestorePreset(1); // so that the bank restores slot 1 afterwards
  dst.mChanges = 0;
  ASSERT_TRUE(dst.SetHostChunk(&bank, true));
  EXPECT_EQ(Values(dst), (std::vector<double>{0.95, 4.5, 8.0}));
  EXPECT_STREQ(dst.GetPresetName(0), "alpha");
  EXPECT_STREQ(dst.GetPresetName(1), "beta");
  EXPECT_FALSE(dst.GetPreset(2)->mInitialized);
  EXPECT_EQ(dst.mChanges, 3 * 3) << "two slots loaded, then the current one restored";

  ByteChunk again;
  ASSERT_TRUE(dst.GetHostChunk(&again, true));
  EXPECT_TRUE(again.IsEqual(&bank)) << "bank -> load -> bank gives the same bytes";

  // Cut short anywhere, the bank fails, never reads past its end and leaves the parameters in
  // range.
  for (int len = 0; len < bank.Size(); ++len)
  {
    ByteChunk cut;
    cut.PutBytes(bank.GetBytes(), len);
    ThreeParamPlug p(3);
    int pos = 0;
    int const version = IPlugBase::GetIPlugVerFromChunk(&cut, &pos);
    if (version >= 0x10000)
    {
      EXPECT_LT(p.UnserializePresets(&cut, pos), 0) << len;
    }
    ExpectParamsInRange(p);
  }
}

// Random bytes, and valid chunks with random damage, fed to every reader of outside data. The
// sanitizer build turns any stray read or write into a failure.
TEST(StateFuzz, RandomBytesIntoEveryReader)
{
  torva_test::Rng rng(2024);
  ThreeParamPlug model(3);
  model.MakePreset("alpha", 0.1, 2.5, 3);
  model.MakePreset("beta", 0.9, 4.5, 8);
  ByteChunk validBank;
  model.GetHostChunk(&validBank, true);

  for (int iter = 0; iter < torva_test::Scaled(2000, 500); ++iter)
  {
    Vec bytes;
    if (iter % 2)
    {
      bytes = rng.Bytes(rng.Below(120));
      if (bytes.size() >= 8 && rng.Chance(50))
        std::copy(kHeader.begin(), kHeader.end(), bytes.begin());
    }
    else
    {
      bytes = Bytes(validBank);
      for (int k = 0, n = rng.Int(1, 4); k < n; ++k) bytes[rng.Below(bytes.size())] = rng.Byte();
      bytes.resize(rng.Below(bytes.size() + 1));
    }
    ByteChunk c;
    SetBytes(&c, bytes);
    int const start = rng.Int(-2, 9);

    ThreeParamPlug plug(3);
    plug.UnserializeParams(&c, start);
    ExpectParamsInRange(plug);
    int pos = start;
    IPlugBase::GetIPlugVerFromChunk(&c, &pos);
    ASSERT_TRUE(pos == start || pos == start + 8 || pos == -1);
    plug.UnserializePresets(&c, start);
    ExpectParamsInRange(plug);
    plug.SetHostChunk(&c, iter % 3 == 0);
    plug.SetHostChunk(&c, iter % 3 != 0);
    ExpectParamsInRange(plug);
    for (int i = 0; i < plug.NPresets(); ++i)
    {
      ASSERT_LT(std::strlen(plug.GetPresetName(i)), static_cast<size_t>(kPresetNameLen));
      plug.RestorePreset(i);
      ExpectParamsInRange(plug);
    }

    // Blob text: random characters, some of them outside the alphabet.
    std::string text(rng.Below(40), ' ');
    for (char& ch : text) ch = static_cast<char>(rng.Int(1, 127));
    ThreeParamPlug blob(2);
    blob.MakePresetFromBlob("blob", text.c_str(), rng.Int(0, 39));
    blob.RestorePreset(0);
    ExpectParamsInRange(blob);
  }
}
