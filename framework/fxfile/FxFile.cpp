#include "framework/fxfile/FxFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{
using namespace fxlayout;

constexpr int32_t kMaxField = 0x7fffffff;

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

// A magic for a message: bytes outside printable ASCII as \xNN, so that the reason stays one
// line and holds no control codes from the file.
std::string Printable(const std::string& magic)
{
  std::string out;
  for (unsigned char c : magic)
  {
    if (c >= 0x20 && c < 0x7f && c != '\\')
      out += static_cast<char>(c);
    else
    {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
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
  if (Magic(b, at) != kCcnK || Magic(b, at + kKindAt) != kFxCk)
  {
    error = "program at byte " + std::to_string(at) + " is not a \"" + kCcnK + "\" \"" + kFxCk +
            "\" record";
    return 0;
  }
  const int32_t count = ReadI32(b, at + kCountAt);
  if (count < 0 || static_cast<size_t>(count) > (b.size() - at - kProgramHeader) / 4)
  {
    error = count < 0 ? "negative parameter count"
                      : Truncated(at + kProgramHeader + 4 * size_t(count), b.size());
    return 0;
  }
  program.mVersion = ReadI32(b, at + kVersionAt);
  program.mName = ReadName(b, at + kNameAt);
  program.mValues.resize(count);
  for (int32_t i = 0; i < count; ++i)
    program.mValues[i] = ReadFloat(b, at + kProgramHeader + 4 * size_t(i));
  return kProgramHeader + 4 * size_t(count);
}

// The size S at `at` and the S bytes after it.
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

// Big-endian appends.
void PutU32(std::vector<unsigned char>& b, uint32_t v)
{
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<unsigned char>(v >> shift));
}

void PutI32(std::vector<unsigned char>& b, int32_t v)
{
  PutU32(b, static_cast<uint32_t>(v));
}

void PutMagic(std::vector<unsigned char>& b, const char* magic)
{
  b.insert(b.end(), magic, magic + 4);
}

void PutName(std::vector<unsigned char>& b, const std::string& name)
{
  const size_t n = strnlen(name.c_str(), kNameField - 1);
  b.insert(b.end(), name.c_str(), name.c_str() + n);
  b.insert(b.end(), kNameField - n, 0);
}

// Magic, size, kind, version, id, plug-in version and count: the 28 bytes every record opens with.
void PutHeader(std::vector<unsigned char>& b, int32_t size, const char* kind, int32_t version,
               const FxFile& file, int32_t count)
{
  PutMagic(b, kCcnK);
  PutI32(b, size);
  PutMagic(b, kind);
  PutI32(b, version);
  PutI32(b, file.mPluginId);
  PutI32(b, file.mPluginVersion);
  PutI32(b, count);
}

void PutValueProgram(std::vector<unsigned char>& b, const FxFile& file, const FxProgram& program)
{
  PutHeader(b, 0, kFxCk, kFxProgramVersion, file, static_cast<int32_t>(program.mValues.size()));
  PutName(b, program.mName);
  for (float f : program.mValues)
  {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    PutU32(b, bits);
  }
}

void PutBankHead(std::vector<unsigned char>& b, int32_t size, const char* kind, const FxFile& file,
                 int32_t count)
{
  PutHeader(b, size, kind, kFxBankVersion, file, count);
  PutI32(b, file.mCurrentProgram);
  b.insert(b.end(), kBankReserved, 0);
}

bool Fits(size_t n)
{
  return n <= size_t(kMaxField);
}
} // namespace

bool ParseFxFile(const std::vector<unsigned char>& b, FxFile& file, std::string& error,
                 size_t maxBankPrograms)
{
  file = FxFile();
  if (b.size() < kCommonHeader || Magic(b, 0) != kCcnK)
  {
    error = std::string("not a preset or bank file (no \"") + kCcnK + "\" header)";
    return false;
  }
  const std::string kind = Magic(b, kKindAt);
  file.mVersion = ReadI32(b, kVersionAt);
  file.mPluginId = ReadI32(b, kIdAt);
  file.mPluginVersion = ReadI32(b, kPluginVersionAt);
  file.mCount = ReadI32(b, kCountAt);
  if (kind == kFxCk)
  {
    file.mKind = FxFile::kProgramValues;
    return ParseValueProgram(b, 0, file.mProgram, error) != 0;
  }
  if (kind == kFPCh)
  {
    file.mKind = FxFile::kProgramChunk;
    if (b.size() < kProgramHeader)
    {
      error = Truncated(kProgramHeader, b.size());
      return false;
    }
    file.mProgram.mVersion = file.mVersion;
    file.mProgram.mName = ReadName(b, kNameAt);
    return ParseChunk(b, kProgramHeader, file.mChunk, error);
  }
  if (kind == kFxBk || kind == kFBCh)
  {
    if (b.size() < kBankHeader)
    {
      error = Truncated(kBankHeader, b.size());
      return false;
    }
    file.mCurrentProgram = file.mVersion >= kFxBankVersion ? ReadI32(b, kCurrentAt) : 0;
    if (kind == kFBCh)
    {
      file.mKind = FxFile::kBankChunk;
      return ParseChunk(b, kBankHeader, file.mChunk, error);
    }
    file.mKind = FxFile::kBankValues;
    const int32_t programs = file.mCount;
    const size_t wanted = programs < 0 ? 0 : std::min(size_t(programs), maxBankPrograms);
    // Each program takes at least its header, which bounds a hostile count.
    if (programs < 0 || wanted > (b.size() - kBankHeader) / kProgramHeader)
    {
      error = "bank claims " + std::to_string(programs) + " programs, more than the file holds";
      return false;
    }
    size_t at = kBankHeader;
    file.mBank.resize(wanted);
    for (FxProgram& program : file.mBank)
    {
      const size_t used = ParseValueProgram(b, at, program, error);
      if (used == 0) return false;
      at += used;
    }
    return true;
  }
  error = "unknown kind \"" + Printable(kind) + "\" (expected " + kFxCk + ", " + kFPCh + ", " +
          kFxBk + " or " + kFBCh + ")";
  return false;
}

bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error,
                   size_t maxBytes)
{
  bytes.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
  {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  unsigned char buf[65536];
  size_t n;
  // Presets are small; a limit keeps a mistaken multi-gigabyte path from filling memory.
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0 && bytes.size() <= maxBytes)
    bytes.insert(bytes.end(), buf, buf + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed)
  {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (bytes.size() > maxBytes)
  {
    error = path + ": too large for a preset file";
    return false;
  }
  return true;
}

bool ReadFxFile(const std::string& path, FxFile& file, std::string& error)
{
  std::vector<unsigned char> bytes;
  if (!ReadFileBytes(path, bytes, error)) return false;
  if (!ParseFxFile(bytes, file, error))
  {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool WriteFxFile(const FxFile& file, std::vector<unsigned char>& b)
{
  b.clear();
  switch (file.mKind)
  {
  case FxFile::kProgramValues:
    if (!Fits(kProgramHeader + 4 * file.mProgram.mValues.size())) return false;
    PutValueProgram(b, file, file.mProgram);
    return true;

  case FxFile::kProgramChunk:
  {
    const size_t s = file.mChunk.size();
    if (!Fits(s + kProgramHeader + 4)) return false;
    PutHeader(b, int32_t(s + kProgramHeader + 4), kFPCh, kFxProgramVersion, file, file.mCount);
    PutName(b, file.mProgram.mName);
    PutI32(b, int32_t(s));
    b.insert(b.end(), file.mChunk.begin(), file.mChunk.end());
    return true;
  }

  case FxFile::kBankValues:
  {
    size_t total = kBankHeader;
    for (const FxProgram& p : file.mBank) total += kProgramHeader + 4 * p.mValues.size();
    if (!Fits(total)) return false;
    b.reserve(total);
    PutBankHead(b, 0, kFxBk, file, int32_t(file.mBank.size()));
    for (const FxProgram& p : file.mBank) PutValueProgram(b, file, p);
    return true;
  }

  case FxFile::kBankChunk:
  {
    const size_t s = file.mChunk.size();
    if (!Fits(s + kBankHeader + 4)) return false;
    PutBankHead(b, int32_t(s + kBankHeader + 4), kFBCh, file, file.mCount);
    PutI32(b, int32_t(s));
    b.insert(b.end(), file.mChunk.begin(), file.mChunk.end());
    return true;
  }
  }
  return false;
}
