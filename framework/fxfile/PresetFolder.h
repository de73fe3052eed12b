#pragma once
// The user's presets: .fxp program files in one folder, $XDG_DATA_HOME/torva/presets
// (~/.local/share/torva/presets without it), which every TORVA plug-in's editor and `torva`
// list, read and write. A preset there is a regular program ("FxCk": one normalised value per
// parameter), the kind every VST 2 host reads too.
//
// Every file is taken as untrusted: a listing reads each one whole (at most kMaxPresetFileBytes)
// and says why one cannot be used rather than skipping it, and nothing here loads a value that
// is not finite and within 0..1.
//
// Also the folder of factory presets the build installs beside a plug-in module, and writing a
// file whole or not at all, which both the editor and `torva` need.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/fxfile/FxFile.h"

constexpr size_t kMaxPresetFileBytes = size_t(1) << 20;
constexpr size_t kMaxPresetNameBytes = fxlayout::kNameField - 1;

// $XDG_DATA_HOME/torva/presets when XDG_DATA_HOME is absolute, else $HOME/.local/share/...;
// "" when neither is known.
std::string UserPresetFolder();

// The factory presets of the module at modulePath: "DIR/NAME.so" has them in "DIR/NAME.presets".
std::string FactoryPresetFolder(const std::string& modulePath);

struct PresetFileEntry
{
  std::string path;
  std::string name; // the program's name, else the file's stem
  bool usable = false;
  std::string
      reason; // why not, when not usable ("not a preset file", "for another plug-in ('TORC')", ...)
  FxProgram program;        // usable: exactly one value per parameter, each finite and in 0..1
  bool otherPlugin = false; // a sound preset of another plug-in (the folder is shared)
};

// Reads path as a preset of the plug-in pluginId with nParams parameters.
PresetFileEntry ReadPresetFor(const std::string& path, int32_t pluginId, int nParams);

// Every "*.fxp" in folder (any case), usable or not, ordered by name without regard to case;
// other files and subfolders are not presets and are left out. A folder that does not exist
// gives an empty list.
std::vector<PresetFileEntry> ListPresetFolder(const std::string& folder, int32_t pluginId,
                                              int nParams);

// A name a preset can be saved under: 1..27 bytes of valid UTF-8 after trimming spaces, no
// control characters, no '/', not "." or ".." and not starting with '.'. The trimmed name goes
// to name; false with the reason otherwise.
bool CleanPresetName(std::string& name, std::string& why);

// Writes values (normalised) as the program file folder/NAME.fxp, creating the folder. An
// existing file is replaced only when replace is set; false with a one-line reason otherwise.
bool SaveUserPreset(const std::string& folder, const std::string& name, int32_t pluginId,
                    int32_t pluginVersion, const std::vector<float>& values, bool replace,
                    std::string& savedPath, std::string& error);

// Replaces path with bytes through a temporary file beside it, so a failure leaves neither a
// partial file nor a damaged old one.
bool WriteFileWhole(const std::string& path, const std::vector<unsigned char>& bytes,
                    std::string& error);
