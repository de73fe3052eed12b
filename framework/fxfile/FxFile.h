#pragma once
// VST 2 preset (.fxp) and bank (.fxb) files: the one place that knows their bytes.
//
// Both the plug-in base (saving and loading its presets) and the `torva` host (applying a file
// to a plug-in through the ABI) go through here, so this library depends on nothing but the
// C++ library. It turns bytes into an FxFile and back; what a file means to a plug-in (ids,
// slot counts, how values are applied) is the caller's business.
//
// Every multi-byte field is big-endian; magics are four ASCII characters in order. Offsets:
//
//   0 "CcnK" | 4 size | 8 kind | 12 version | 16 plug-in id | 20 plug-in version | 24 count
//   program "FxCk": 28 name[28] | 56 count big-endian singles (normalised values); size 0
//   program "FPCh": 28 name[28] | 56 chunk size S | 60 S bytes of state; size S + 60
//   bank    "FxBk": 28 current program (version 2) | 32 124 zero bytes | 156 count "FxCk"
//                   program records, each laid out as the program file; size 0
//   bank    "FBCh": 28 current program (version 2) | 32 124 zero bytes | 156 chunk size S |
//                   160 S bytes of state; size S + 160
//
// The count is parameters for programs and programs for banks. Programs are written as
// version 1, banks as version 2; the size field is written as above and ignored when read.
// Names hold 27 characters and a terminator when written; a full 28-byte field is read whole.
//
// The reader checks every size against the bytes before it takes one, so a truncated or hostile
// file is refused with a one-line reason rather than read past its end.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where each field lies, by name, for this library and for tests that damage files on purpose.
namespace fxlayout
{
// Magics and kinds as their four characters; compared and written byte for byte.
constexpr char kCcnK[] = "CcnK";
constexpr char kFxCk[] = "FxCk";
constexpr char kFPCh[] = "FPCh";
constexpr char kFxBk[] = "FxBk";
constexpr char kFBCh[] = "FBCh";

constexpr size_t kMagicAt = 0;
constexpr size_t kSizeAt = 4;
constexpr size_t kKindAt = 8;
constexpr size_t kVersionAt = 12;
constexpr size_t kIdAt = 16;
constexpr size_t kPluginVersionAt = 20;
constexpr size_t kCountAt = 24;
constexpr size_t kNameAt = 28;        // programs
constexpr size_t kCurrentAt = 28;     // banks
constexpr size_t kNameField = 28;     // 27 characters and a terminator when written
constexpr size_t kProgramHeader = 56; // up to the values or the chunk size
constexpr size_t kBankHeader = 156;   // up to the programs or the chunk size
constexpr size_t kBankReserved = 124; // zeros after the current program
constexpr size_t kCommonHeader = 28;  // magic to count: enough to tell what the file is
} // namespace fxlayout

constexpr int32_t kFxProgramVersion = 1;
constexpr int32_t kFxBankVersion = 2;

struct FxProgram
{
  std::string mName;
  std::vector<float> mValues;           // normalised, one per parameter
  int32_t mVersion = kFxProgramVersion; // as read; written as kFxProgramVersion
};

struct FxFile
{
  enum EKind
  {
    kProgramValues, // "FxCk"
    kProgramChunk,  // "FPCh"
    kBankValues,    // "FxBk"
    kBankChunk      // "FBCh"
  };
  EKind mKind = kProgramValues;
  int32_t mVersion = 0; // as read; written as kFxProgramVersion or kFxBankVersion
  int32_t mPluginId = 0;
  int32_t mPluginVersion = 0;
  // The header's count, parameters (programs) or programs (banks), as the file claims it.
  // Written as given for the chunk kinds; the value kinds write what they hold.
  int32_t mCount = 0;
  FxProgram mProgram;                // kProgramValues; the name also for kProgramChunk
  std::vector<FxProgram> mBank;      // kBankValues
  int32_t mCurrentProgram = 0;       // banks; read as 0 from a bank older than version 2
  std::vector<unsigned char> mChunk; // both chunk kinds
};

// Parses the bytes of a preset or bank file; false with a one-line reason otherwise. Of a
// regular bank only the first maxBankPrograms records are read and checked (a plug-in with
// fewer slots has no use for the rest); mCount still tells what the file claims.
bool ParseFxFile(const std::vector<unsigned char>& bytes, FxFile& file, std::string& error,
                 size_t maxBankPrograms = SIZE_MAX);

// Reads a whole file of at most maxBytes; false with a reason naming the file otherwise.
bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error,
                   size_t maxBytes = size_t(256) << 20);

// Reads and parses `path`; the reason names the file.
bool ReadFxFile(const std::string& path, FxFile& file, std::string& error);

// The bytes of `file` as laid out above (mVersion and the programs' mVersion are not used).
// False when a count or size does not fit the file's 32-bit fields.
bool WriteFxFile(const FxFile& file, std::vector<unsigned char>& bytes);
