// Build step: writes a bundle's manifest.ttl and NAME.ttl from the plug-in's own parameter table.
// Usage: WRITER BUNDLE_DIR NAME LV2_CLASS (the module is NAME.so; LV2_CLASS as "lv2:FilterPlugin").
// Constructs the product without opening a display.

#include <cstdio>
#include <memory>
#include <string>

#include "framework/lv2/IPlugLV2.h"
#include "framework/lv2/LV2Turtle.h"

namespace
{
bool WriteFile(std::string const& path, std::string const& text)
{
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}
} // namespace

int main(int argc, char** argv)
{
  if (argc != 4)
  {
    std::fprintf(stderr, "usage: %s BUNDLE_DIR NAME LV2_CLASS\n", argv[0]);
    return 2;
  }
  std::string const dir = argv[1], binary = std::string(argv[2]) + ".so",
                    data = std::string(argv[2]) + ".ttl";
  std::unique_ptr<IPlugLV2> plug(MakePlug(IPlugInstanceInfo{}));
  if (!plug) return 1;
  if (!WriteFile(dir + "/manifest.ttl", LV2ManifestTurtle(binary.c_str(), data.c_str())) ||
      !WriteFile(dir + "/" + data, LV2PluginTurtle(*plug, binary.c_str(), argv[3])))
  {
    std::fprintf(stderr, "%s: cannot write the Turtle files into %s\n", argv[0], dir.c_str());
    return 1;
  }
  return 0;
}
