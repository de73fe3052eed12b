// Build step: writes a bundle's Turtle from the plug-in's own tables, and the factory presets
// as VST 2 files.
// Usage: WRITER BUNDLE_DIR NAME LV2_CLASS [PRESET_DIR]
//   BUNDLE_DIR gets manifest.ttl, NAME.ttl and, with factory presets, presets.ttl (the module is
//   NAME.so; LV2_CLASS as "lv2:FilterPlugin"); PRESET_DIR gets one PRESET.fxp per factory
//   preset and "EFFECT factory.fxb" holding them all.
// Constructs the product without opening a display. Fails on a factory preset that a format
// cannot hold exactly (a value whose normalised form is not a float, a name too long).

#include <cstdio>
#include <memory>
#include <string>

#include "framework/fxfile/PresetFolder.h"
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

// Every row fits every format; otherwise the reason, naming the row.
std::string CheckFactoryPresets(IPlugLV2& plug)
{
  if (plug.NParams() > kMaxFactoryPresetParams) return "too many parameters for a preset row";
  for (int k = 0; k < plug.NFactoryPresets(); ++k)
  {
    FactoryPreset const& row = *plug.GetFactoryPreset(k);
    std::string name = row.name, why;
    if (!CleanPresetName(name, why) || name != row.name)
      return std::string("preset \"") + row.name + "\": " + (why.empty() ? "spaces around" : why);
    for (int i = 0; i < plug.NParams(); ++i)
      if (!FactoryValueIsExact(*plug.GetParam(i), row.values[i]))
        return std::string("preset \"") + row.name + "\": " + plug.GetParam(i)->GetNameForHost() +
               " = " + std::to_string(row.values[i]) +
               " is out of range or has no exact single-precision normalised form";
  }
  return "";
}

bool WritePresetFiles(IPlugLV2& plug, std::string const& dir, std::string& error)
{
  FxFile bank;
  bank.mKind = FxFile::kBankValues;
  bank.mPluginId = plug.GetUniqueID();
  bank.mPluginVersion = plug.GetEffectVersion(false);
  for (int k = 0; k < plug.NFactoryPresets(); ++k)
  {
    FactoryPreset const& row = *plug.GetFactoryPreset(k);
    FxFile program;
    program.mKind = FxFile::kProgramValues;
    program.mPluginId = bank.mPluginId;
    program.mPluginVersion = bank.mPluginVersion;
    program.mProgram.mName = row.name;
    for (int i = 0; i < plug.NParams(); ++i)
      program.mProgram.mValues.push_back(
          static_cast<float>(plug.GetParam(i)->GetNormalized(row.values[i])));
    std::vector<unsigned char> bytes;
    if (!WriteFxFile(program, bytes) ||
        !WriteFileWhole(dir + "/" + row.name + ".fxp", bytes, error))
      return false;
    bank.mBank.push_back(program.mProgram);
  }
  std::vector<unsigned char> bytes;
  return WriteFxFile(bank, bytes) &&
         WriteFileWhole(dir + "/" + plug.GetEffectName() + " factory.fxb", bytes, error);
}
} // namespace

int main(int argc, char** argv)
{
  if (argc != 4 && argc != 5)
  {
    std::fprintf(stderr, "usage: %s BUNDLE_DIR NAME LV2_CLASS [PRESET_DIR]\n", argv[0]);
    return 2;
  }
  std::string const dir = argv[1], binary = std::string(argv[2]) + ".so",
                    data = std::string(argv[2]) + ".ttl";
  std::unique_ptr<IPlugLV2> plug(MakePlug(IPlugInstanceInfo{}));
  if (!plug) return 1;
  if (std::string const why = CheckFactoryPresets(*plug); !why.empty())
  {
    std::fprintf(stderr, "%s: %s\n", argv[0], why.c_str());
    return 1;
  }
  bool const presets = plug->NFactoryPresets() > 0;
  std::string manifest = LV2ManifestTurtle(binary.c_str(), data.c_str());
  if (presets) manifest += LV2PresetsManifest(*plug, "presets.ttl");
  if (!WriteFile(dir + "/manifest.ttl", manifest) ||
      !WriteFile(dir + "/" + data, LV2PluginTurtle(*plug, binary.c_str(), argv[3])) ||
      (presets && !WriteFile(dir + "/presets.ttl", LV2PresetsTurtle(*plug))))
  {
    std::fprintf(stderr, "%s: cannot write the Turtle files into %s\n", argv[0], dir.c_str());
    return 1;
  }
  std::string error;
  if (argc == 5 && presets && !WritePresetFiles(*plug, argv[4], error))
  {
    std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
    return 1;
  }
  return 0;
}
