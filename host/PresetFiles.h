// Preset and bank files (.fxp, .fxb) between a file and an opened VST 2 plug-in.

#pragma once

#include "framework/fxfile/PresetFolder.h"

#include <string>
#include <vector>

class VstHost;

// Applies a preset or bank file to an opened plug-in. Returns false with a one-line error.
bool ApplyPresetFile(VstHost& host, const std::string& path, std::vector<std::string>& notes,
                     std::string& error);

// Writes the opened plug-in's current program (bank false, .fxp) or all its programs (bank
// true, .fxb) to `path` the way DAWs read them: the plug-in's own chunk when it declares
// effFlagsProgramChunks, else every parameter's normalised value (getParameter) and the program
// names. The file appears whole or not at all. `what` says what was written. Returns false with
// a one-line error.
bool WritePresetFile(VstHost& host, const std::string& path, bool bank, std::string& what,
                     std::string& error);

// The folder of factory presets beside the plug-in's module, or beside the file its path links
// to when there is none beside the link (a module linked into ~/.vst from a build).
std::string FactoryFolderOf(const VstHost& host);

// The plug-in's factory presets, usable or not: in the order of its factory bank ("EFFECT
// factory.fxb") when the folder holds one, the rest by name.
std::vector<PresetFileEntry> FactoryPresets(VstHost& host);

// The user folder's presets, usable or not, that are for this plug-in.
std::vector<PresetFileEntry> UserPresets(VstHost& host);
