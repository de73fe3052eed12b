#include "support/TempFiles.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <gtest/gtest.h>

namespace torva_test
{

TempDir::TempDir()
{
  char const* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/torva-test-XXXXXX";
  if (mkdtemp(pattern.data())) mPath = pattern;
}

TempDir::~TempDir()
{
  std::error_code ec;
  if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
}

bool Exists(std::string const& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<unsigned char> ReadFile(std::string const& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
}

std::string ReadText(std::string const& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(std::string const& path, std::vector<unsigned char> const& bytes)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<char const*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool WriteText(std::string const& path, std::string const& text)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

std::string BinaryPath(std::string const& name)
{
  return std::string(TORVA_BINARY_DIR) + "/bin/" + name;
}

void ExpectGoldenBytes(std::string const& name, std::vector<unsigned char> const& bytes)
{
  std::string const path = std::string(TORVA_GOLDEN_DIR) + "/" + name;
  char const* regen = std::getenv("TORVA_REGEN_GOLDEN");
  if (regen && std::string(regen) == "1")
  {
    EXPECT_TRUE(WriteFile(path, bytes)) << path;
    return;
  }
  std::vector<unsigned char> const golden = ReadFile(path);
  ASSERT_FALSE(golden.empty()) << path << " is missing; run with TORVA_REGEN_GOLDEN=1";
  size_t at = 0;
  while (at < golden.size() && at < bytes.size() && golden[at] == bytes[at]) ++at;
  EXPECT_TRUE(at == golden.size() && at == bytes.size())
      << name << ": first difference at byte " << at << " (" << bytes.size() << " bytes, golden "
      << golden.size() << ")";
}

} // namespace torva_test
