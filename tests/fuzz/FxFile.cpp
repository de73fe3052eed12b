// Preset and bank file bytes through the preset-file reader that both the plug-in base and the
// `torva` host use.
//
// Input: the file. Accepted files are written and read back: the written bytes are a fixed
// point (the reader ignores the size fields and the writer sets versions, so one pass settles).

#include "framework/fxfile/FxFile.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
  if (size > (1 << 20)) return 0;
  std::vector<unsigned char> const bytes(data, data + size);
  FxFile file;
  std::string error;
  if (!ParseFxFile(bytes, file, error))
  {
    // One line a user can read: nothing of the file's raw bytes that a terminal would act on.
    FUZZ_CHECK(!error.empty());
    for (unsigned char c : error) FUZZ_CHECK(c >= 0x20 && c != 0x7f);
    return 0;
  }
  FUZZ_CHECK(error.empty());

  // A reader that keeps only some bank records reads the same header.
  FxFile few;
  std::string fewError;
  FUZZ_CHECK(ParseFxFile(bytes, few, fewError, 1));
  FUZZ_CHECK(few.mKind == file.mKind && few.mCount == file.mCount && few.mBank.size() <= 1);

  std::vector<unsigned char> written;
  FUZZ_CHECK(WriteFxFile(file, written));
  FxFile again;
  FUZZ_CHECK(ParseFxFile(written, again, error));
  FUZZ_CHECK(again.mKind == file.mKind && again.mPluginId == file.mPluginId &&
             again.mPluginVersion == file.mPluginVersion && again.mChunk == file.mChunk &&
             again.mBank.size() == file.mBank.size() &&
             again.mProgram.mValues.size() == file.mProgram.mValues.size());
  std::vector<unsigned char> rewritten;
  FUZZ_CHECK(WriteFxFile(again, rewritten));
  FUZZ_CHECK(rewritten == written);
  return 0;
}
