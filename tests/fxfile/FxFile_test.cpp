#include "framework/fxfile/FxFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;

void Put32(Bytes& b, uint32_t v)
{
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<unsigned char>(v >> shift));
}

void PutMagic(Bytes& b, const char* m)
{
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(m[i]));
}

void PutName(Bytes& b, const std::string& name)
{
  for (size_t i = 0; i < 28; ++i)
    b.push_back(i < name.size() ? static_cast<unsigned char>(name[i]) : 0);
}

void PutFloat(Bytes& b, float f)
{
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  Put32(b, bits);
}

// A regular program record ("CcnK" ... "FxCk"), as a file or inside a bank.
Bytes Program(const std::string& name, const std::vector<float>& values, uint32_t id = 0x544F5231)
{
  Bytes b;
  PutMagic(b, "CcnK");
  Put32(b, 48 + 4 * uint32_t(values.size()));
  PutMagic(b, "FxCk");
  Put32(b, 1);
  Put32(b, id);
  Put32(b, 10000);
  Put32(b, uint32_t(values.size()));
  PutName(b, name);
  for (float v : values) PutFloat(b, v);
  return b;
}

Bytes ChunkFile(const char* kind, const Bytes& chunk, bool bank)
{
  Bytes b;
  PutMagic(b, "CcnK");
  Put32(b, 0);
  PutMagic(b, kind);
  Put32(b, bank ? 2 : 1);
  Put32(b, 0x544F5231);
  Put32(b, 10000);
  Put32(b, 1);
  if (bank)
  {
    Put32(b, 0);      // current program
    b.resize(156, 0); // reserved
  }
  else
  {
    PutName(b, "Chunky");
  }
  Put32(b, uint32_t(chunk.size()));
  b.insert(b.end(), chunk.begin(), chunk.end());
  return b;
}

Bytes Bank(const std::vector<Bytes>& programs, uint32_t count, uint32_t current)
{
  Bytes b;
  PutMagic(b, "CcnK");
  Put32(b, 0);
  PutMagic(b, "FxBk");
  Put32(b, 2);
  Put32(b, 0x544F5231);
  Put32(b, 10000);
  Put32(b, count);
  Put32(b, current);
  b.resize(156, 0);
  for (const Bytes& p : programs) b.insert(b.end(), p.begin(), p.end());
  return b;
}
} // namespace

TEST(FxFile, ReadsEveryKind)
{
  FxFile f;
  std::string error;

  // The 88-byte regular program of an eight-parameter plug-in.
  const Bytes program = Program("Crunch", {0.f, 0.25f, 0.5f, 1.f, 0.125f, 0.75f, 0.3f, 1.f});
  ASSERT_EQ(program.size(), 88u);
  ASSERT_TRUE(ParseFxFile(program, f, error)) << error;
  EXPECT_EQ(f.mKind, FxFile::kProgramValues);
  EXPECT_EQ(f.mPluginId, 0x544F5231);
  EXPECT_EQ(f.mProgram.mName, "Crunch");
  EXPECT_EQ(f.mProgram.mValues,
            (std::vector<float>{0.f, 0.25f, 0.5f, 1.f, 0.125f, 0.75f, 0.3f, 1.f}));

  // A name filling all 28 bytes has no terminator in the file.
  ASSERT_TRUE(ParseFxFile(Program(std::string(28, 'n'), {1.f}), f, error));
  EXPECT_EQ(f.mProgram.mName, std::string(28, 'n'));

  ASSERT_TRUE(ParseFxFile(ChunkFile("FPCh", {1, 2, 3}, false), f, error)) << error;
  EXPECT_EQ(f.mKind, FxFile::kProgramChunk);
  EXPECT_EQ(f.mProgram.mName, "Chunky");
  EXPECT_EQ(f.mChunk, (Bytes{1, 2, 3}));

  ASSERT_TRUE(ParseFxFile(ChunkFile("FBCh", {9, 8}, true), f, error)) << error;
  EXPECT_EQ(f.mKind, FxFile::kBankChunk);
  EXPECT_EQ(f.mChunk, (Bytes{9, 8}));

  ASSERT_TRUE(ParseFxFile(Bank({Program("A", {0.1f, 0.2f}), Program("B", {0.3f})}, 2, 1), f, error))
      << error;
  EXPECT_EQ(f.mKind, FxFile::kBankValues);
  ASSERT_EQ(f.mBank.size(), 2u);
  EXPECT_EQ(f.mBank[0].mName, "A");
  EXPECT_EQ(f.mBank[1].mValues, std::vector<float>{0.3f});
  EXPECT_EQ(f.mCurrentProgram, 1);
}

// Every damaged file is refused with a reason, and none is read past its end (the sanitizer
// build would stop on that).
TEST(FxFile, RefusesDamagedFiles)
{
  const Bytes good = Program("x", {0.5f, 0.5f});
  Bytes wrongMagic = good;
  wrongMagic[0] = 'X';
  Bytes unknownKind = good;
  std::memcpy(&unknownKind[8], "FxZz", 4);
  Bytes negativeCount = good;
  negativeCount[24] = 0xFF;
  Bytes hugeCount = good;
  hugeCount[25] = 0x7F;
  Bytes shortValues = good;
  shortValues.pop_back();
  Bytes chunkTooLong = ChunkFile("FPCh", {1, 2, 3, 4}, false);
  chunkTooLong[59] = 5;
  Bytes chunkSizeNegative = ChunkFile("FPCh", {1}, false);
  chunkSizeNegative[56] = 0xFF;
  Bytes bankClaimsTooMany = Bank({Program("A", {1.f})}, 1000000, 0);
  Bytes bankBadRecord = Bank({Program("A", {1.f}), Bytes(60, 'z')}, 2, 0);
  Bytes bankTruncated = Bank({}, 0, 0);
  bankTruncated.resize(100);

  const struct
  {
    const char* mWhat;
    Bytes mBytes;
    const char* mReason;
  } cases[] = {
      {"empty", {}, "CcnK"},
      {"shorter than a header", Bytes(good.begin(), good.begin() + 20), "CcnK"},
      {"wrong magic", wrongMagic, "CcnK"},
      {"unknown kind", unknownKind, "FxZz"},
      {"negative count", negativeCount, "negative"},
      {"count beyond the file", hugeCount, "truncated"},
      {"last value cut", shortValues, "truncated"},
      {"program header cut", Bytes(good.begin(), good.begin() + 40), "truncated"},
      {"chunk longer than the file", chunkTooLong, "truncated"},
      {"chunk size with the top bit set", chunkSizeNegative, "truncated"},
      {"bank claiming a million programs", bankClaimsTooMany, "more than the file holds"},
      {"bank with a foreign record", bankBadRecord, "not a \"CcnK\" \"FxCk\""},
      {"bank header cut", bankTruncated, "truncated"},
  };
  for (const auto& c : cases)
  {
    FxFile f;
    std::string error;
    EXPECT_FALSE(ParseFxFile(c.mBytes, f, error)) << c.mWhat;
    EXPECT_NE(error.find(c.mReason), std::string::npos) << c.mWhat << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.mWhat;
  }
}

TEST(FxFile, ReadFxFileNamesTheFile)
{
  FxFile f;
  std::string error;
  EXPECT_FALSE(ReadFxFile("/nonexistent/preset.fxp", f, error));
  EXPECT_EQ(error, "cannot read /nonexistent/preset.fxp: No such file or directory");
  EXPECT_FALSE(ReadFxFile("/", f, error));
  EXPECT_NE(error.find("cannot read /"), std::string::npos) << error;
}
