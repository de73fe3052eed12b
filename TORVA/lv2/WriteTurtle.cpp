// Build step: writes TORVA.lv2/manifest.ttl and TORVA.ttl from the plug-in's own parameter
// table. Usage: torva_lv2_turtle BUNDLE_DIR. Constructs the product without opening a display.

#include <cstdio>
#include <memory>
#include <string>

#include "TORVA/TORVA.h"
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
  if (argc != 2)
  {
    std::fprintf(stderr, "usage: %s BUNDLE_DIR\n", argv[0]);
    return 2;
  }
  std::string const dir = argv[1];
  std::unique_ptr<IPlugLV2> plug(MakePlug(IPlugInstanceInfo{}));
  if (!plug) return 1;
  if (!WriteFile(dir + "/manifest.ttl", LV2ManifestTurtle("TORVA.so", "TORVA.ttl")) ||
      !WriteFile(dir + "/TORVA.ttl", LV2PluginTurtle(*plug, "TORVA.so")))
  {
    std::fprintf(stderr, "%s: cannot write the Turtle files into %s\n", argv[0], dir.c_str());
    return 1;
  }
  return 0;
}
