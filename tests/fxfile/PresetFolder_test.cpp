// The user's preset folder: every bad file in it is listed with why it cannot be used, and names
// are checked before they become files (saving: tests/e2e/PresetNames_test.cpp, through torva).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <tuple>

#include "framework/fxfile/PresetFolder.h"
#include "support/TempFiles.h"

namespace
{
using namespace std::string_literals;
constexpr int32_t kId = 0x544F5231; // 'TOR1', four parameters
std::vector<unsigned char> File(std::vector<float> v, int32_t id = kId, FxFile::EKind kind = {})
{
  FxFile f{kind, 0, id, 1, 0, {"Inside", v}, {{"Inside", v}}, 0, {1, 2}};
  std::vector<unsigned char> bytes;
  EXPECT_TRUE(WriteFxFile(f, bytes));
  return bytes;
}
} // namespace

TEST(PresetFolder, ListsEveryBadFileWithItsReason)
{
  torva_test::TempDir dir;
  const auto good = File({0.f, 0.25f, 0.5f, 1.f});
  const std::string png = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0 "s;
  // A file, its bytes, and a word of why it cannot be used ("" when it can).
  const std::tuple<const char*, std::vector<unsigned char>, const char*> kRows[] = {
      {"good.fxp", good, ""},
      {"empty.fxp", {}, "not a preset"},
      {"short.fxp", {good.begin(), good.begin() + 60}, "truncated"},
      {"png.fxp", {png.begin(), png.end()}, "not a preset"},
      {"bank.fxp", File({0, 0, 0, 0}, kId, FxFile::kBankValues), "a bank"},
      {"other.fxp", File({0, 0, 0, 0}, 0x54524341), "another plug-in ('TRCA')"},
      {"count.fxp", File({0, 0, 0}), "holds 3 values for 4 parameters"},
      {"nan.fxp", File({0, NAN, 0, 0}), "value 2 is not a number"},
      {"range.fxp", File({-0.01f, 0, 0, 1}), "value 1 is outside 0..1"},
      {"chunk.fxp", File({}, kId, FxFile::kProgramChunk), "saved state"},
      {"large.fxp", std::vector<unsigned char>(kMaxPresetFileBytes + 1), "too large"},
  };
  for (const auto& [file, bytes, _] : kRows) ASSERT_TRUE(torva_test::WriteFile(dir / file, bytes));
  ASSERT_EQ(mkdir((dir / "folder.fxp").c_str(), 0755), 0);       // left out
  ASSERT_EQ(symlink("gone", (dir / "dangling.fxp").c_str()), 0); // listed
  std::map<std::string, PresetFileEntry> listed;
  for (PresetFileEntry& e : ListPresetFolder(dir.Path(), kId, 4))
    listed[e.path.substr(dir.Path().size() + 1)] = e;
  EXPECT_EQ(listed.size(), std::size(kRows) + 1);
  for (const auto& [file, _, reason] : kRows)
  {
    EXPECT_EQ(listed[file].usable, *reason == 0) << file;
    EXPECT_NE(listed[file].reason.find(reason), std::string::npos)
        << file << ": " << listed[file].reason;
  }
  EXPECT_EQ(listed["dangling.fxp"].reason, "a link to a file that does not exist");
}

TEST(PresetFolder, CleansNames)
{
  // The name as cleaned, or "!" and a word of the reason it is refused.
  const std::pair<std::string, std::string> kRows[] = {
      {"  Crunch  ", "Crunch"},
      {"\xc3\x9c\x20\xf0\x9f\x8e\xb8", "\xc3\x9c\x20\xf0\x9f\x8e\xb8"},
      {"   ", "!needs a name"},
      {std::string(28, 'x'), "!at most 27"},
      {"..", "!'.'"},
      {"a/b", "!'/'"},
      {"\xff", "!UTF-8"},
      {"\xc0\xaf", "!UTF-8"},
      {"\xed\xa0\x80", "!UTF-8"},
      {"\xf4\x90\x80\x80", "!UTF-8"},
      {std::string(27, 'x'), std::string(27, 'x')}};
  for (const auto& [in, out] : kRows)
  {
    std::string name = in, why = "an earlier message"; // which must not refuse a good name
    const bool refused = out[0] == '!';
    EXPECT_EQ(CleanPresetName(name, why), !refused) << in << ": " << why;
    EXPECT_EQ(refused ? why.find(out.substr(1)) != std::string::npos : name == out, true) << in;
  }
}
