// Preset files written by the preset-file library read back as written, for every kind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/fxfile/FxFile.h"

namespace
{
using Bytes = std::vector<unsigned char>;

FxFile Make(FxFile::EKind kind)
{
  FxFile f;
  f.mKind = kind;
  f.mPluginId = 0x544F5231;
  f.mPluginVersion = 10203;
  f.mCount = 8;
  f.mCurrentProgram = 2;
  f.mProgram = {"Crunch", {0.f, 0.25f, 1.f}};
  f.mBank = {{"A", {0.5f, 0.125f}}, {"", {1.f, 0.f}}, {std::string(40, 'n'), {0.f, 0.75f}}};
  f.mChunk = {1, 2, 3, 0, 255};
  return f;
}
} // namespace

TEST(FxFile, WritesWhatItReads)
{
  for (FxFile::EKind kind :
       {FxFile::kProgramValues, FxFile::kProgramChunk, FxFile::kBankValues, FxFile::kBankChunk})
  {
    SCOPED_TRACE(kind);
    FxFile const in = Make(kind);
    Bytes bytes;
    ASSERT_TRUE(WriteFxFile(in, bytes));
    FxFile out;
    std::string error;
    ASSERT_TRUE(ParseFxFile(bytes, out, error)) << error;

    bool const bank = kind == FxFile::kBankValues || kind == FxFile::kBankChunk;
    bool const chunk = kind == FxFile::kProgramChunk || kind == FxFile::kBankChunk;
    EXPECT_EQ(out.mKind, kind);
    EXPECT_EQ(out.mVersion, bank ? kFxBankVersion : kFxProgramVersion);
    EXPECT_EQ(out.mPluginId, in.mPluginId);
    EXPECT_EQ(out.mPluginVersion, in.mPluginVersion);
    EXPECT_EQ(out.mCurrentProgram, bank ? 2 : 0);
    EXPECT_EQ(out.mChunk, chunk ? in.mChunk : Bytes());
    EXPECT_EQ(out.mCount, chunk ? 8 : 3); // value kinds count what they hold
    EXPECT_EQ(out.mProgram.mName, bank ? "" : "Crunch");
    EXPECT_EQ(out.mProgram.mValues,
              kind == FxFile::kProgramValues ? in.mProgram.mValues : std::vector<float>());
    if (kind == FxFile::kBankValues)
    {
      ASSERT_EQ(out.mBank.size(), 3u);
      for (size_t k = 0; k < 3; ++k) EXPECT_EQ(out.mBank[k].mValues, in.mBank[k].mValues) << k;
      EXPECT_EQ(out.mBank[1].mName, "");
      EXPECT_EQ(out.mBank[2].mName, std::string(27, 'n')); // cut to the field, terminated
    }
  }
}

TEST(FxFile, ReadsOnlyTheBankRecordsAskedFor)
{
  Bytes bytes;
  ASSERT_TRUE(WriteFxFile(Make(FxFile::kBankValues), bytes));
  bytes.resize(bytes.size() - 1); // the last record is cut short

  FxFile f;
  std::string error;
  EXPECT_FALSE(ParseFxFile(bytes, f, error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
  for (size_t limit : {0u, 1u, 2u})
  {
    ASSERT_TRUE(ParseFxFile(bytes, f, error, limit)) << limit << ": " << error;
    EXPECT_EQ(f.mBank.size(), limit);
    EXPECT_EQ(f.mCount, 3); // what the file claims
  }
}
