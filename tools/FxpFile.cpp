#include "tools/FxpFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{
constexpr size_t kProgramHeader = 56; // up to the values or the chunk size
constexpr size_t kBankHeader = 156;   // up to the programs or the chunk size
constexpr size_t kNameField = 28;

uint32_t ReadU32(const std::vector<unsigned char>& b, size_t at)
{
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
         uint32_t(b[at + 3]);
}

int32_t ReadI32(const std::vector<unsigned char>& b, size_t at)
{
  return static_cast<int32_t>(ReadU32(b, at));
}

float ReadFloat(const std::vector<unsigned char>& b, size_t at)
{
  const uint32_t bits = ReadU32(b, at);
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

std::string Magic(const std::vector<unsigned char>& b, size_t at)
{
  return std::string(reinterpret_cast<const char*>(&b[at]), 4);
}

std::string ReadName(const std::vector<unsigned char>& b, size_t at)
{
  const char* p = reinterpret_cast<const char*>(&b[at]);
  return std::string(p, strnlen(p, kNameField));
}

std::string Truncated(size_t need, size_t have)
{
  return "truncated (needs " + std::to_string(need) + " bytes, has " + std::to_string(have) + ")";
}

// One "FxCk" program at `at`: header, name and its values. Returns the size it took, 0 on
// failure.
size_t ParseValueProgram(const std::vector<unsigned char>& b, size_t at, FxProgram& program,
                         std::string& error)
{
  if (b.size() - at < kProgramHeader)
  {
    error = Truncated(at + kProgramHeader, b.size());
    return 0;
  }
  if (Magic(b, at) != "CcnK" || Magic(b, at + 8) != "FxCk")
  {
    error = "program at byte " + std::to_string(at) + " is not a \"CcnK\" \"FxCk\" record";
    return 0;
  }
  const int32_t count = ReadI32(b, at + 24);
  if (count < 0 || static_cast<size_t>(count) > (b.size() - at - kProgramHeader) / 4)
  {
    error = count < 0 ? "negative parameter count"
                      : Truncated(at + kProgramHeader + 4 * size_t(count), b.size());
    return 0;
  }
  program.mName = ReadName(b, at + 28);
  program.mValues.resize(count);
  for (int32_t i = 0; i < count; ++i)
    program.mValues[i] = ReadFloat(b, at + kProgramHeader + 4 * i);
  return kProgramHeader + 4 * size_t(count);
}

bool ParseChunk(const std::vector<unsigned char>& b, size_t at, std::vector<unsigned char>& chunk,
                std::string& error)
{
  if (b.size() < at + 4)
  {
    error = Truncated(at + 4, b.size());
    return false;
  }
  const uint32_t size = ReadU32(b, at);
  if (size > b.size() - at - 4)
  {
    error =
        "chunk of " + std::to_string(size) + " bytes " + Truncated(at + 4 + size_t(size), b.size());
    return false;
  }
  chunk.assign(b.begin() + at + 4, b.begin() + at + 4 + size);
  return true;
}
} // namespace

bool ParseFxFile(const std::vector<unsigned char>& b, FxFile& file, std::string& error)
{
  file = FxFile();
  if (b.size() < 28 || Magic(b, 0) != "CcnK")
  {
    error = "not a preset or bank file (no \"CcnK\" header)";
    return false;
  }
  const std::string kind = Magic(b, 8);
  file.mPluginId = ReadI32(b, 16);
  file.mPluginVersion = ReadI32(b, 20);
  if (kind == "FxCk")
  {
    file.mKind = FxFile::kProgramValues;
    return ParseValueProgram(b, 0, file.mProgram, error) != 0;
  }
  if (kind == "FPCh")
  {
    file.mKind = FxFile::kProgramChunk;
    if (b.size() < kProgramHeader)
    {
      error = Truncated(kProgramHeader, b.size());
      return false;
    }
    file.mProgram.mName = ReadName(b, 28);
    return ParseChunk(b, kProgramHeader, file.mChunk, error);
  }
  if (kind == "FxBk" || kind == "FBCh")
  {
    if (b.size() < kBankHeader)
    {
      error = Truncated(kBankHeader, b.size());
      return false;
    }
    const int32_t programs = ReadI32(b, 24);
    file.mCurrentProgram = ReadI32(b, 12) >= 2 ? ReadI32(b, 28) : 0;
    if (kind == "FBCh")
    {
      file.mKind = FxFile::kBankChunk;
      return ParseChunk(b, kBankHeader, file.mChunk, error);
    }
    file.mKind = FxFile::kBankValues;
    // Each program takes at least its header, which bounds a hostile count.
    if (programs < 0 || static_cast<size_t>(programs) > (b.size() - kBankHeader) / kProgramHeader)
    {
      error = "bank claims " + std::to_string(programs) + " programs, more than the file holds";
      return false;
    }
    size_t at = kBankHeader;
    file.mBank.resize(programs);
    for (FxProgram& program : file.mBank)
    {
      const size_t used = ParseValueProgram(b, at, program, error);
      if (used == 0) return false;
      at += used;
    }
    return true;
  }
  error = "unknown kind \"" + kind + "\" (expected FxCk, FPCh, FxBk or FBCh)";
  return false;
}

bool ReadFxFile(const std::string& path, FxFile& file, std::string& error)
{
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
  {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<unsigned char> bytes;
  unsigned char buf[65536];
  size_t n;
  // Presets are small; a limit keeps a mistaken multi-gigabyte path from filling memory.
  constexpr size_t kMaxBytes = size_t(256) << 20;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0 && bytes.size() <= kMaxBytes)
    bytes.insert(bytes.end(), buf, buf + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed)
  {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (bytes.size() > kMaxBytes)
  {
    error = path + ": too large for a preset file";
    return false;
  }
  if (!ParseFxFile(bytes, file, error))
  {
    error = path + ": " + error;
    return false;
  }
  return true;
}
