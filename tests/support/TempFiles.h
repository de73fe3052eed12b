#pragma once
// Files for tests: a temporary folder that cleans up after itself, whole-file reads and writes,
// and the paths of what the build made.

#include <string>
#include <vector>

namespace torva_test
{

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when the object goes.
// Path() is empty when the folder could not be made.
class TempDir
{
public:
  TempDir();
  ~TempDir();
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;

  std::string const& Path() const { return mPath; }
  std::string operator/(std::string const& name) const { return mPath + "/" + name; }

private:
  std::string mPath;
};

bool Exists(std::string const& path);
// The whole file; empty when it cannot be read.
std::vector<unsigned char> ReadFile(std::string const& path);
std::string ReadText(std::string const& path);
// Replaces the file; false when it could not be written completely.
bool WriteFile(std::string const& path, std::vector<unsigned char> const& bytes);
bool WriteText(std::string const& path, std::string const& text);

// A file in the build's bin/ folder, where the programs and plug-in modules land.
std::string BinaryPath(std::string const& name);

// Compares bytes with tests/golden/<name> whole, naming the first difference; with
// TORVA_REGEN_GOLDEN=1 in the environment writes them there instead.
void ExpectGoldenBytes(std::string const& name, std::vector<unsigned char> const& bytes);

} // namespace torva_test
