// .fxp and .fxb files loaded by the plug-in base (LoadProgramFromFXP, LoadBankFromFXB), which
// read from a path: the input goes into an in-memory file reached through /proc/self/fd. Saves
// replace their file by renaming a new one over it, so they go to a real folder (in /dev/shm
// when there is one), removed at exit.
//
// Input: byte 0 picks the shape (bit 0 bank, bit 1 state chunks, bit 2 padded state, bit 3 four
// slots made up front), the rest is the file.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "framework/WDL_String.h"
#include "support/EightParamPlug.h"
#include "tests/fuzz/FuzzCheck.h"

using torva_fuzz::PlugImage;

namespace
{
struct MemFile
{
  int mFd = memfd_create("fuzz-preset", 0);
  WDL_String mPath;
  MemFile()
  {
    FUZZ_CHECK(mFd >= 0);
    mPath.SetFormatted(64, "/proc/self/fd/%d", mFd);
  }
  void Write(uint8_t const* data, size_t size)
  {
    FUZZ_CHECK(ftruncate(mFd, 0) == 0);
    FUZZ_CHECK(size == 0 || pwrite(mFd, data, size, 0) == static_cast<ssize_t>(size));
  }
};

struct SaveDir
{
  std::string mDir;
  WDL_String mPath;
  SaveDir()
  {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/torva-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()));
    mDir = pattern;
    mPath.Set((mDir + "/saved").c_str());
  }
  ~SaveDir()
  {
    unlink(mPath.Get());
    rmdir(mDir.c_str());
  }
};

bool Load(IPlugBase& plug, WDL_String& path, bool isBank)
{
  return isBank ? plug.LoadBankFromFXB(&path) : plug.LoadProgramFromFXP(&path);
}

std::vector<unsigned char> Save(IPlugBase& plug, SaveDir& dir, bool isBank)
{
  FUZZ_CHECK(isBank ? plug.SaveBankAsFXB(&dir.mPath) : plug.SaveProgramAsFXP(&dir.mPath));
  return torva_fuzz::ReadAll(dir.mPath.Get());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
  if (size < 1 || size > (1 << 20)) return 0;
  static MemFile file;
  static SaveDir saved;
  unsigned const shape = data[0];
  bool const isBank = shape & 1;
  torva_test::EightParamPlug plug(4, (shape & 2) != 0, (shape & 4) ? 5 : 0);
  if (shape & 8)
  {
    plug.MakePreset("warm", 0.2, -3.0, 0.7, 1.5, 7, 2, 25.5, 1);
    plug.MakeDefaultPreset("rest", 3);
  }
  file.Write(data + 1, size - 1);

  PlugImage const before(plug);
  bool const accepted = Load(plug, file.mPath, isBank);
  FUZZ_CHECK(torva_fuzz::ParamsInRange(plug));
  if (!accepted)
  {
    FUZZ_CHECK(PlugImage(plug) == before);
    return 0;
  }

  // Saved again, loaded and saved once more: the same bytes.
  std::vector<unsigned char> const first = Save(plug, saved, isBank);
  FUZZ_CHECK(Load(plug, saved.mPath, isBank));
  FUZZ_CHECK(torva_fuzz::ParamsInRange(plug));
  FUZZ_CHECK(Save(plug, saved, isBank) == first);
  return 0;
}
