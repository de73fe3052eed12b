// Which plug-in of a chain a `--set` or a `--preset` is for.
//
// "NAME=VALUE" goes to the one plug-in that has a parameter NAME, found as ApplySetting finds it
// (the whole text before an '=' first, so that a name holding ':' is reached). When several
// have it, or none, "PLUG-IN:NAME=VALUE" says which: the text before the first ':' ahead of the
// first '=' picks the plug-in, case-insensitively, by the first of these rules that picks any:
//
//   1. its position in the chain, from 1              "2"
//   2. its effect name or its module file's stem      "TORVA Cab", "TORVACab"
//   3. a whole word or a suffix of either             "Cab"
//
// so "TORVA" names the amplifier even beside "TORVA Cab". `--preset [PLUG-IN:]FILE` goes to the
// plug-in whose unique id the file names (FILE is taken whole first). A FILE that does not exist
// and has no '/' nor a preset file's extension is a preset's name, without regard to case: a
// factory preset of the plug-ins (NAME.presets beside each module), else a usable one of the
// user's folder. Whatever leaves the choice open, a parameter of several plug-ins, a PLUG-IN that
// picks none or several, a preset for several, is the command line's fault: `usage` is set, and
// the line names the candidates.

#pragma once

#include <string>
#include <vector>

class PluginChain;

struct PluginLabel
{
  std::string mName; // effect name
  std::string mStem; // module file name without ".so"
};

// The positions (from 0) that PLUG-IN picks in `chain`, by the rules above.
std::vector<size_t> PickPlugins(const std::string& prefix, const std::vector<PluginLabel>& chain);

// Applies the presets in order, then the settings, each to the plug-in it is for. `applied`
// gets a line per preset and setting ("TORVA Cab: Level = -3.00 dB"; without the plug-in's name
// in a chain of one), `notes` what a preset file did not quite fit. False with a one-line error.
bool ConfigureChain(PluginChain& chain, const std::vector<std::string>& presets,
                    const std::vector<std::string>& settings, std::vector<std::string>& applied,
                    std::vector<std::string>& notes, std::string& error, bool& usage);
