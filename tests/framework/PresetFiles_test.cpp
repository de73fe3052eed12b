#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/Base64.h"
#include "framework/fxfile/FxFile.h"
#include "support/EightParamPlug.h"
#include "support/PlugState.h"
#include "support/Random.h"
#include "support/Sanitized.h"
#include "support/TempFiles.h"

namespace
{
using namespace fxlayout;
using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

// A four-character code as the int it packs to, first character highest.
constexpr int FourCC(char const (&c)[5])
{
  return static_cast<int>((uint32_t(uint8_t(c[0])) << 24) | (uint32_t(uint8_t(c[1])) << 16) |
                          (uint32_t(uint8_t(c[2])) << 8) | uint32_t(uint8_t(c[3])));
}

constexpr int kUid = FourCC("TOR1");

// Eight parameters of every kind; chunks and padded states on request.
using PresetPlug = torva_test::EightParamPlug;

void PutBE32(Bytes* b, size_t at, uint32_t v)
{
  (*b)[at] = uint8_t(v >> 24);
  (*b)[at + 1] = uint8_t(v >> 16);
  (*b)[at + 2] = uint8_t(v >> 8);
  (*b)[at + 3] = uint8_t(v);
}

void PutBEFloat(Bytes* b, size_t at, float f)
{
  uint32_t u;
  std::memcpy(&u, &f, 4);
  PutBE32(b, at, u);
}

class PresetFiles : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string tmpl = (fs::temp_directory_path() / "torva-presets-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    mDir = tmpl;
  }
  void TearDown() override { fs::remove_all(mDir); }

  WDL_String Path(char const* name) const { return WDL_String((mDir / name).c_str()); }

  static Bytes Read(WDL_String const& path)
  {
    std::ifstream f(path.Get(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  static void Write(WDL_String const& path, Bytes const& bytes)
  {
    // A fresh file rather than a truncated one: some file systems flush a truncated rewrite to
    // disk at close, which makes thousands of small writes slow.
    fs::remove(path.Get());
    std::ofstream f(path.Get(), std::ios::binary);
    f.write(reinterpret_cast<char const*>(bytes.data()), static_cast<long>(bytes.size()));
  }

  Bytes SaveFXP(PresetPlug& plug)
  {
    WDL_String p = Path("out.fxp");
    EXPECT_TRUE(plug.SaveProgramAsFXP(&p));
    return Read(p);
  }
  Bytes SaveFXB(PresetPlug& plug)
  {
    WDL_String p = Path("out.fxb");
    EXPECT_TRUE(plug.SaveBankAsFXB(&p));
    return Read(p);
  }
  bool LoadFXP(PresetPlug& plug, Bytes const& bytes)
  {
    WDL_String p = Path("in.fxp");
    Write(p, bytes);
    return plug.LoadProgramFromFXP(&p);
  }
  bool LoadFXB(PresetPlug& plug, Bytes const& bytes)
  {
    WDL_String p = Path("in.fxb");
    Write(p, bytes);
    return plug.LoadBankFromFXB(&p);
  }

  fs::path mDir;
};

// A plug-in with some values moved away from the defaults and its slots made.
void Prepare(PresetPlug& plug, char const* firstName = "Crunch")
{
  plug.GetParam(0)->SetNormalized(0.75);
  plug.GetParam(1)->SetNormalized(0.25);
  plug.GetParam(4)->SetNormalized(0.7);
  plug.GetParam(7)->SetNormalized(1.0);
  plug.MakeDefaultPreset(firstName, 1);
  plug.EnsureDefaultPreset();
}
} // namespace

// The byte layout itself is the preset-file library's to pin; here the plug-in base must hand
// it the right contents. The golden files were checked field by field when they were made:
// program.fxp is 88 bytes ("Crunch", id TOR1, version 10000, 0.75 and 0.25 as the first two
// values), bank.fxb 244 bytes whose one record is program.fxp, and the chunk files carry the
// 72-byte program chunk and the 78-byte bank chunk of one slot named "-".
TEST_F(PresetFiles, FilesMatchTheirGoldenBytes)
{
  PresetPlug plug;
  Prepare(plug);
  Bytes const program = SaveFXP(plug);
  torva_test::ExpectGoldenBytes("presets/program.fxp", program);
  torva_test::ExpectGoldenBytes("presets/bank.fxb", SaveFXB(plug));

  PresetPlug chunks(1, true);
  Prepare(chunks, "-");
  torva_test::ExpectGoldenBytes("presets/program_chunk.fxp", SaveFXP(chunks));
  torva_test::ExpectGoldenBytes("presets/bank_chunk.fxb", SaveFXB(chunks));

  // What the files say, read back through the library.
  FxFile f;
  std::string error;
  ASSERT_TRUE(ParseFxFile(program, f, error)) << error;
  EXPECT_EQ(f.mPluginId, kUid);
  EXPECT_EQ(f.mPluginVersion, 10000); // decimal form of 0x10000
  EXPECT_EQ(f.mProgram.mName, "Crunch");
  ASSERT_EQ(f.mProgram.mValues.size(), 8u);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(f.mProgram.mValues[i], static_cast<float>(plug.GetParam(i)->GetNormalized())) << i;
  ByteChunk host;
  ASSERT_TRUE(chunks.GetHostChunk(&host, false));
  ASSERT_TRUE(ParseFxFile(SaveFXP(chunks), f, error)) << error;
  EXPECT_EQ(f.mChunk, Bytes(host.GetBytes(), host.GetBytes() + host.Size()));

  // Names are cut to the 27 characters the field holds.
  plug.GetPreset(0)->SetName("A name that is much longer than the field");
  ASSERT_TRUE(ParseFxFile(SaveFXP(plug), f, error)) << error;
  EXPECT_EQ(f.mProgram.mName, "A name that is much longer ");
}

TEST_F(PresetFiles, BankStoresSlotsNotLiveEdits)
{
  // A slot whose chunk is short gives the normalised form of 0.0 for the parameters it lacks
  // (Master's range is -20..20: 0.5; 0.0 is below Presence's range: clamped to 0).
  PresetPlug two(2);
  Prepare(two, "First");
  two.GetParam(0)->SetNormalized(0.1);
  double const bass = 0.625;
  ByteChunk shortChunk;
  shortChunk.Put(&bass);
  two.GetPreset(1)->mChunk.Clear();
  two.GetPreset(1)->mChunk.PutChunk(&shortChunk);
  two.GetPreset(1)->SetName("Short");
  FxFile f;
  std::string error;
  ASSERT_TRUE(ParseFxFile(SaveFXB(two), f, error)) << error;
  ASSERT_EQ(f.mBank.size(), 2u);
  EXPECT_EQ(f.mBank[0].mValues[0], 0.75f); // slot 0's Bass, not the live 0.1
  EXPECT_EQ(f.mBank[1].mName, "Short");
  EXPECT_EQ(std::vector<float>(f.mBank[1].mValues.begin(), f.mBank[1].mValues.begin() + 4),
            (std::vector<float>{0.625f, 0.5f, 0.0f, 0.0f}));
}

TEST_F(PresetFiles, SaveLoadSaveGivesSameBytes)
{
  struct Variant
  {
    bool chunks;
    int pad;
    int presets;
  };
  for (Variant v : {Variant{false, 0, 1}, Variant{false, 0, 3}, Variant{true, 0, 1},
                    Variant{true, 0, 3}, Variant{true, 2000, 2}})
  {
    SCOPED_TRACE(testing::Message()
                 << "chunks " << v.chunks << " pad " << v.pad << " presets " << v.presets);
    PresetPlug a(v.presets, v.chunks, v.pad);
    Prepare(a, "Lead");
    for (int k = 1; k < v.presets; ++k)
    {
      a.RestorePreset(k);
      a.GetParam(2)->SetNormalized(0.1 * k);
      a.GetParam(5)->SetNormalized(k / 3.0);
      a.ModifyCurrentPreset(("Slot " + std::to_string(k)).c_str());
    }
    a.RestorePreset(v.presets - 1);
    a.GetParam(6)->SetNormalized(0.3); // a live edit the program file carries

    Bytes const fxp = SaveFXP(a);
    Bytes const fxb = SaveFXB(a);

    PresetPlug b(v.presets, v.chunks, v.pad);
    b.EnsureDefaultPreset();
    ASSERT_TRUE(LoadFXB(b, fxb));
    EXPECT_EQ(b.CountHostCalls(IPlugHeadless::EHostCall::kProgramChange), 1);
    EXPECT_EQ(SaveFXB(b), fxb);
    for (int k = 0; k < v.presets; ++k) EXPECT_STREQ(b.GetPresetName(k), a.GetPresetName(k));
    EXPECT_EQ(b.GetCurrentPresetIdx(), v.presets - 1);

    ASSERT_TRUE(LoadFXP(b, fxp));
    EXPECT_EQ(b.CountHostCalls(IPlugHeadless::EHostCall::kProgramChange), 2);
    EXPECT_EQ(SaveFXP(b), fxp);
    for (int i = 0; i < 8; ++i)
      EXPECT_NEAR(b.GetParam(i)->Value(), a.GetParam(i)->Value(), 1e-5) << i;
  }
}

TEST_F(PresetFiles, ProgramLoadAppliesToCurrentSlot)
{
  PresetPlug a(1);
  Prepare(a, "Heavy");
  Bytes const f = SaveFXP(a);

  PresetPlug b(2);
  b.EnsureDefaultPreset();
  b.RestorePreset(1);
  b.mParamChanges.clear();
  ASSERT_TRUE(LoadFXP(b, f));
  EXPECT_STREQ(b.GetPresetName(1), "Heavy");
  EXPECT_STREQ(b.GetPresetName(0), "Empty");
  EXPECT_EQ(b.GetCurrentPresetIdx(), 1);
  EXPECT_EQ(b.GetParam(7)->Value(), 1.0);
  EXPECT_EQ(b.GetParam(4)->Value(), 7.0);
  EXPECT_GE(b.mParamChanges.size(), 8u); // the product heard about every parameter
  // The slot took the loaded state.
  ByteChunk live;
  b.IPlugBase::SerializeState(&live);
  EXPECT_TRUE(live.IsEqual(&b.GetPreset(1)->mChunk));

  // An empty name in the file leaves the slot's name; a regular program loads into a plug-in
  // that keeps chunks as well.
  Bytes g = f;
  std::fill(g.begin() + kNameAt, g.begin() + kNameAt + kNameField, 0);
  PresetPlug c(1, true);
  c.EnsureDefaultPreset();
  ASSERT_TRUE(LoadFXP(c, g));
  EXPECT_STREQ(c.GetPresetName(0), "Empty");
  EXPECT_EQ(c.GetParam(0)->Value(), 0.75);

  // With no slots at all the values still arrive and the product is told.
  PresetPlug none(0);
  none.mParamChanges.clear();
  ASSERT_TRUE(LoadFXP(none, f));
  EXPECT_EQ(none.GetParam(0)->Value(), 0.75);
  EXPECT_EQ(none.mParamChanges.size(), 8u);
}

TEST_F(PresetFiles, RejectedFilesChangeNothing)
{
  PresetPlug src(1);
  Prepare(src);
  Bytes const fxp = SaveFXP(src);
  Bytes const fxb = SaveFXB(src);
  PresetPlug csrc(1, true);
  Prepare(csrc);
  Bytes const cfxp = SaveFXP(csrc);
  Bytes const cfxb = SaveFXB(csrc);

  auto patched = [](Bytes b, size_t at, uint32_t v)
  {
    PutBE32(&b, at, v);
    return b;
  };
  struct Case
  {
    char const* what;
    Bytes file;
    bool bank;
    bool chunks; // load into the plug-in that keeps chunks
  };
  std::vector<Case> const cases = {
      {"another plug-in's id", patched(fxp, kIdAt, FourCC("TOR2")), false, false},
      {"bad magic", patched(fxp, kMagicAt, FourCC("CcnX")), false, false},
      {"program version 2", patched(fxp, kVersionAt, 2), false, false},
      {"unknown kind", patched(fxp, kKindAt, FourCC("FxXX")), false, false},
      {"count beyond the file", patched(fxp, kCountAt, 9), false, false},
      {"negative count", patched(fxp, kCountAt, 0xFFFFFFFF), false, false},
      {"empty file", Bytes(), false, false},
      {"header only", Bytes(fxp.begin(), fxp.begin() + kProgramHeader), false, false},
      {"chunk program, plain plug-in", cfxp, false, false},
      {"chunk size beyond the file", patched(cfxp, kProgramHeader, 73), false, true},
      {"negative chunk size", patched(cfxp, kProgramHeader, 0x80000000), false, true},
      {"chunk too short for the state",
       patched(Bytes(cfxp.begin(), cfxp.end() - 8), kProgramHeader, 64), false, true},
      {"bank of another plug-in", patched(fxb, kIdAt, FourCC("XXXX")), true, false},
      {"bank record count lies", patched(fxb, kCountAt, 2), true, false}, // loaded into 3 slots
      {"bank record with 7 parameters", patched(fxb, kBankHeader + kCountAt, 7), true, false},
      {"bank record not a program", patched(fxb, kBankHeader + kKindAt, FourCC(kFPCh)), true,
       false},
      {"bank record cut short", Bytes(fxb.begin(), fxb.end() - 1), true, false},
      {"bank with negative count", patched(fxb, kCountAt, 0xFFFFFFFF), true, false},
      {"chunk bank, plain plug-in", cfxb, true, false},
      {"chunk bank size beyond file", patched(cfxb, kBankHeader, 1000), true, true},
      {"chunk bank cut short", patched(Bytes(cfxb.begin(), cfxb.end() - 10), kBankHeader, 68), true,
       true},
  };
  for (Case const& c : cases)
  {
    PresetPlug plug(3, c.chunks);
    plug.GetParam(3)->SetNormalized(0.9);
    plug.MakeDefaultPreset("Mine", 1);
    plug.GetParam(3)->SetNormalized(0.1); // live edit not in any slot
    std::string const before = torva_test::Fingerprint(plug);
    EXPECT_FALSE(c.bank ? LoadFXB(plug, c.file) : LoadFXP(plug, c.file)) << c.what;
    EXPECT_EQ(torva_test::Fingerprint(plug), before) << c.what;
    EXPECT_EQ(plug.CountHostCalls(IPlugHeadless::EHostCall::kProgramChange), 0) << c.what;
  }

  PresetPlug plug;
  WDL_String empty;
  WDL_String missing = Path("missing.fxp");
  EXPECT_FALSE(plug.LoadProgramFromFXP(&empty));
  EXPECT_FALSE(plug.LoadBankFromFXB(&empty));
  EXPECT_FALSE(plug.LoadProgramFromFXP(&missing));
  EXPECT_FALSE(plug.LoadBankFromFXB(nullptr));
  EXPECT_FALSE(plug.SaveProgramAsFXP(&empty));
  EXPECT_FALSE(plug.SaveBankAsFXB(nullptr));
}

TEST_F(PresetFiles, WholePartsOfShortOrOddFilesLoad)
{
  PresetPlug src(1);
  Prepare(src);
  Bytes const fxp = SaveFXP(src);

  // A program with fewer values than parameters sets those and leaves the rest.
  Bytes four(fxp.begin(), fxp.begin() + kProgramHeader + 16);
  PutBE32(&four, kCountAt, 4);
  PresetPlug a;
  a.EnsureDefaultPreset();
  double const volume = a.GetParam(6)->Value();
  ASSERT_TRUE(LoadFXP(a, four));
  EXPECT_EQ(a.GetParam(0)->Value(), 0.75);
  EXPECT_EQ(a.GetParam(6)->Value(), volume);

  // Out-of-range and non-finite values: clamped into 0..1, or skipped.
  Bytes odd = fxp;
  PutBEFloat(&odd, kProgramHeader, std::nanf(""));
  PutBEFloat(&odd, kProgramHeader + 4, INFINITY);
  PutBEFloat(&odd, kProgramHeader + 8, -1.5f);
  PutBEFloat(&odd, kProgramHeader + 12, 7.0f);
  PresetPlug b;
  b.EnsureDefaultPreset();
  double const bass = b.GetParam(0)->Value();
  ASSERT_TRUE(LoadFXP(b, odd));
  EXPECT_EQ(b.GetParam(0)->Value(), bass);
  EXPECT_EQ(b.GetParam(1)->Value(), -4.0);
  EXPECT_EQ(b.GetParam(2)->Value(), 0.0);
  EXPECT_EQ(b.GetParam(3)->Value(), 5.0);
  torva_test::ExpectParamsInRange(b);

  // A bank holding more records than the plug-in has slots loads the ones it has room for;
  // one with fewer loads those and leaves the other slots.
  PresetPlug three(3);
  Prepare(three, "One");
  three.GetPreset(1)->SetName("Two");
  three.GetPreset(2)->SetName("Three");
  Bytes const fxb3 = SaveFXB(three);
  PresetPlug one(1);
  one.EnsureDefaultPreset();
  ASSERT_TRUE(LoadFXB(one, fxb3));
  EXPECT_STREQ(one.GetPresetName(0), "One");
  Bytes const fxb1 = SaveFXB(one);
  PresetPlug four3(3);
  four3.EnsureDefaultPreset();
  ASSERT_TRUE(LoadFXB(four3, fxb1));
  EXPECT_STREQ(four3.GetPresetName(0), "One");
  EXPECT_STREQ(four3.GetPresetName(1), "Empty");

  // A stored current index outside the slots leaves a valid one current.
  Bytes badIdx = fxb3;
  PutBE32(&badIdx, kCurrentAt, 77);
  PresetPlug c(3);
  c.EnsureDefaultPreset();
  ASSERT_TRUE(LoadFXB(c, badIdx));
  EXPECT_GE(c.GetCurrentPresetIdx(), 0);
  EXPECT_LT(c.GetCurrentPresetIdx(), 3);
}

TEST_F(PresetFiles, SaveReplacesTheFileWhole)
{
  PresetPlug plug;
  Prepare(plug);
  WDL_String p = Path("keep.fxp");
  Write(p, Bytes(1000, 0xAB)); // an older, longer file must not leave a tail
  ASSERT_TRUE(plug.SaveProgramAsFXP(&p));
  EXPECT_EQ(Read(p).size(), 88u);
  int files = 0;
  for (auto const& e : fs::directory_iterator(mDir))
  {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1); // no temporary left beside it

  // A target that cannot be written: false, and what stood there survives.
  fs::create_directory(mDir / "dir.fxp");
  WDL_String dir = Path("dir.fxp");
  EXPECT_FALSE(plug.SaveProgramAsFXP(&dir));
  EXPECT_TRUE(fs::is_directory(mDir / "dir.fxp"));
  WDL_String nowhere = Path("no/such/dir/x.fxb");
  EXPECT_FALSE(plug.SaveBankAsFXB(&nowhere));
  EXPECT_EQ(std::distance(fs::directory_iterator(mDir), fs::directory_iterator()), 2);
}

TEST_F(PresetFiles, RandomAndTruncatedFiles)
{
  PresetPlug src(2, false);
  Prepare(src);
  PresetPlug csrc(2, true);
  Prepare(csrc);
  std::vector<Bytes> const seeds = {SaveFXP(src), SaveFXB(src), SaveFXP(csrc), SaveFXB(csrc)};

  PresetPlug plain(2, false);
  PresetPlug chunky(2, true, 5);
  plain.EnsureDefaultPreset();
  chunky.EnsureDefaultPreset();
  auto feed = [&](Bytes const& f)
  {
    for (PresetPlug* plug : {&plain, &chunky})
    {
      LoadFXP(*plug, f);
      LoadFXB(*plug, f);
      torva_test::ExpectParamsInRange(*plug);
      ASSERT_GE(plug->GetCurrentPresetIdx(), 0);
      ASSERT_LT(plug->GetCurrentPresetIdx(), plug->NPresets());
    }
  };

  // Every prefix of every valid file.
  for (Bytes const& s : seeds)
    for (size_t n = 0; n < s.size(); n += (n < 170 ? 1 : 7))
      feed(Bytes(s.begin(), s.begin() + static_cast<long>(n)));

  // Valid files with random bytes overwritten (headers often survive, so the bodies are
  // exercised), and pure noise behind a valid magic and id.
  torva_test::Rng rng(12345);
  int const rounds = torva_test::Scaled(600, 150);
  for (int r = 0; r < rounds; ++r)
  {
    Bytes f = seeds[static_cast<size_t>(r) % seeds.size()];
    int const hits = rng.Int(1, 6);
    for (int h = 0; h < hits; ++h) f[rng.Below(f.size())] = rng.Byte();
    if (r % 5 == 0) f.resize(rng.Below(f.size() + 1));
    feed(f);

    Bytes noise = rng.Bytes(rng.Below(300));
    if (noise.size() >= 20)
    {
      std::memcpy(noise.data(), kCcnK, 4);
      PutBE32(&noise, kVersionAt, r % 2 ? 1 : 2);
      PutBE32(&noise, kIdAt, kUid);
    }
    feed(noise);
  }
}

TEST_F(PresetFiles, Dumps)
{
  PresetPlug plug(2);
  Prepare(plug, "Clean");
  char const* names[] = {"kBass",  "kMaster", "kMiddle", "kPresence",
                         "kSteps", "kMode",   "kVolume", "kBypass"};
  WDL_String src = Path("src.txt");
  plug.DumpPresetSrcCode(src.Get(), names);
  Bytes const text = Read(src);
  EXPECT_EQ(std::string(text.begin(), text.end()), "  MakePresetFromNamedParams(\"name\", 8,\n"
                                                   "    kBass, 0.750000,\n"
                                                   "    kMaster, -10.000000,\n"
                                                   "    kMiddle, 0.250000,\n"
                                                   "    kPresence, 2.000000,\n"
                                                   "    kSteps, 7,\n"
                                                   "    kMode, 1,\n"
                                                   "    kVolume, 10.000000,\n"
                                                   "    kBypass, true);\n");

  // A chunk far longer than any fixed text buffer would hold, and its size, survive the trip
  // through the dump's base64.
  PresetPlug big(1, true, 5000);
  Prepare(big);
  WDL_String blob = Path("blob.txt");
  big.DumpPresetBlob(blob.Get());
  Bytes const b = Read(blob);
  std::string const s(b.begin(), b.end());
  int const size = big.GetPreset(0)->mChunk.Size();
  ASSERT_EQ(size, 64 + 5000);
  std::string const head = "MakePresetFromBlob(\"name\", \"";
  std::string const tail = "\", " + std::to_string(size) + ");\n";
  ASSERT_EQ(s.compare(0, head.size(), head), 0);
  ASSERT_GE(s.size(), head.size() + tail.size());
  ASSERT_EQ(s.substr(s.size() - tail.size()), tail);
  std::string const encoded = s.substr(head.size(), s.size() - head.size() - tail.size());
  EXPECT_EQ(static_cast<int>(encoded.size()), Base64EncodedLength(size));
  Bytes decoded(static_cast<size_t>(size));
  EXPECT_EQ(Base64Decode(encoded.c_str(), decoded.data(), size), size);
  EXPECT_EQ(0, std::memcmp(decoded.data(), big.GetPreset(0)->mChunk.GetBytes(),
                           static_cast<size_t>(size)));

  // One line per slot, each with its own name (quoted safely).
  plug.GetPreset(1)->SetName("Say \"hi\"");
  WDL_String bank = Path("bank.txt");
  plug.DumpBankBlob(bank.Get());
  Bytes const bb = Read(bank);
  std::string const bs(bb.begin(), bb.end());
  EXPECT_EQ(bs.find("MakePresetFromBlob(\"Clean\", \""), 0u);
  EXPECT_NE(bs.find("\", 64);\nMakePresetFromBlob(\"Say \\\"hi\\\"\", \""), std::string::npos);
  std::string const end = "\", 64);\n";
  EXPECT_EQ(bs.substr(bs.size() - end.size()), end);

  // No file can be opened: nothing happens, nothing crashes.
  plug.DumpBankBlob((mDir / "no/such/file").c_str());
  PresetPlug none(0);
  WDL_String nothing = Path("nothing.txt");
  none.DumpPresetBlob(nothing.Get()); // no current slot
  EXPECT_FALSE(fs::exists(nothing.Get()));
}
