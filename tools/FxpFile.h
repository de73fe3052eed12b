// Preset (.fxp) and bank (.fxb) files as read by the `torva` host.
//
// Every multi-byte field is big-endian. Layouts (offsets in bytes):
//
//   0 "CcnK"   4 byte size   8 kind   12 version   16 plug-in id   20 plug-in version
//   program "FxCk": 24 count, 28 name[28], 56 count big-endian floats (normalised values)
//   program "FPCh": 24 count, 28 name[28], 56 size S, 60 S bytes for effSetChunk (index 1)
//   bank    "FxBk": 24 programs, 28 current (version 2), 156 one "FxCk" program after another
//   bank    "FBCh": 24 programs, 28 current (version 2), 156 size S, 160 S bytes (index 0)
//
// The reader checks every size against the file before it takes a byte, so a truncated or
// hostile file is rejected rather than read past its end.

#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FxProgram
{
  std::string mName;
  std::vector<float> mValues;
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
  int32_t mPluginId = 0;
  int32_t mPluginVersion = 0;
  FxProgram mProgram;                // kProgramValues; the name also for kProgramChunk
  std::vector<FxProgram> mBank;      // kBankValues
  int32_t mCurrentProgram = 0;       // banks
  std::vector<unsigned char> mChunk; // both chunk kinds
};

// Parses the bytes of a preset or bank file; false with a one-line reason otherwise.
bool ParseFxFile(const std::vector<unsigned char>& bytes, FxFile& file, std::string& error);

// Reads and parses `path`; the reason names the file.
bool ReadFxFile(const std::string& path, FxFile& file, std::string& error);
