// Replays corpus files through a fuzz target's entry function, for the regular build where
// there is no libFuzzer: every file under the folders (or the files) named on the command line,
// in name order. A folder with no file in it fails, so a lost corpus does not pass as tested.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size);

int main(int argc, char** argv)
{
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i)
  {
    std::error_code ec;
    if (fs::is_directory(argv[i], ec))
    {
      for (auto const& entry : fs::recursive_directory_iterator(argv[i], ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    else if (fs::is_regular_file(argv[i], ec))
      files.emplace_back(argv[i]);
  }
  if (files.empty())
  {
    std::fprintf(stderr, "no corpus files found\n");
    return 1;
  }
  std::sort(files.begin(), files.end());
  for (auto const& path : files)
  {
    // Named first, so that an input that stops the run is known.
    std::fprintf(stderr, "%s\n", path.c_str());
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so that reads past its end are caught as they would be
    // under libFuzzer.
    uint8_t* copy = new uint8_t[bytes.size() ? bytes.size() : 1];
    std::copy(bytes.begin(), bytes.end(), copy);
    LLVMFuzzerTestOneInput(copy, bytes.size());
    delete[] copy;
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
