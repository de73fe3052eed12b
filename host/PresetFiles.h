// Preset and bank files (.fxp, .fxb) between a file and an opened VST 2 plug-in.

#pragma once

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
