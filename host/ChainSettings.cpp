#include "host/ChainSettings.h"

#include "framework/fxfile/FxFile.h"
#include "host/ParamText.h"
#include "host/PluginChain.h"
#include "host/PresetFiles.h"
#include "host/TextFormat.h"
#include "host/VstHost.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace
{

bool EndsWith(const std::string& text, const std::string& end)
{
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Runs of letters and digits: "TORVA Cab" -> TORVA, Cab; "torva-cab" -> torva, cab.
std::vector<std::string> Words(const std::string& text)
{
  std::vector<std::string> words(1);
  for (char c : text)
    if (std::isalnum(static_cast<unsigned char>(c)))
      words.back() += c;
    else if (!words.back().empty())
      words.emplace_back();
  if (words.back().empty()) words.pop_back();
  return words;
}

// "a", "a and b", "a, b and c"; `word` is "and" or "or".
std::string Join(const std::vector<std::string>& items, const std::string& word)
{
  std::string text;
  for (size_t i = 0; i < items.size(); ++i)
    text += (i == 0 ? "" : i + 1 == items.size() ? " " + word + " " : ", ") + items[i];
  return text;
}

std::vector<PluginLabel> Labels(const PluginChain& chain)
{
  std::vector<PluginLabel> labels;
  for (size_t i = 0; i < chain.Size(); ++i) labels.push_back({chain.Name(i), chain.Stem(i)});
  return labels;
}

// The shortest text that picks plug-in `i` alone, its position when no name does.
std::string Address(const std::vector<PluginLabel>& labels, size_t i)
{
  std::vector<std::string> texts = Words(labels[i].mName);
  for (const std::string& w : Words(labels[i].mStem)) texts.push_back(w);
  texts.push_back(labels[i].mName);
  texts.push_back(labels[i].mStem);
  std::stable_sort(texts.begin(), texts.end(),
                   [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
  for (const std::string& text : texts)
    if (text.find(':') == std::string::npos && PickPlugins(text, labels) == std::vector<size_t>{i})
      return text;
  return std::to_string(i + 1);
}

// The name, with the position when another plug-in of the chain has the same one.
std::string Called(const std::vector<PluginLabel>& labels, size_t i)
{
  const auto same =
      std::count_if(labels.begin(), labels.end(),
                    [&](const PluginLabel& l) { return Lower(l.mName) == Lower(labels[i].mName); });
  return labels[i].mName + (same > 1 ? " (" + std::to_string(i + 1) + ")" : "");
}

// "1 TORVA, 2 TORVA Cab (TORVACab)" for the plug-ins at `picks`.
std::string Candidates(const std::vector<PluginLabel>& labels, const std::vector<size_t>& picks)
{
  std::string text;
  for (size_t i : picks)
    text += (text.empty() ? "" : ", ") + std::to_string(i + 1) + " " + labels[i].mName +
            (labels[i].mStem == labels[i].mName ? "" : " (" + labels[i].mStem + ")");
  return text;
}

// How to say each of `picks`: "TORVA:Bypass or Cab:Bypass".
std::string Ways(const std::vector<PluginLabel>& labels, const std::vector<size_t>& picks,
                 const std::string& before, const std::string& after)
{
  std::vector<std::string> ways;
  for (size_t i : picks) ways.push_back(before + Address(labels, i) + ":" + after);
  return Join(ways, "or");
}

// The one plug-in `prefix` picks; otherwise false with the usage error for `rest`.
bool PickOne(const std::vector<PluginLabel>& labels, const std::string& prefix,
             const std::string& before, const std::string& rest, size_t& picked, std::string& error)
{
  const std::vector<size_t> picks = PickPlugins(prefix, labels);
  if (picks.size() == 1)
  {
    picked = picks[0];
    return true;
  }
  std::vector<size_t> all(labels.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  error = picks.empty()
              ? "no plug-in \"" + prefix + "\" in the chain; it holds " + Candidates(labels, all)
              : "\"" + prefix + "\" names several plug-ins: " + Candidates(labels, picks) +
                    "; write " + Ways(labels, picks, before, rest);
  return false;
}

bool ApplyTo(PluginChain& chain, size_t i, const std::string& setting, std::string& applied,
             std::string& error)
{
  std::string line;
  if (!ApplySetting(chain.Plugin(i), setting, line, error)) return false;
  applied = chain.Size() == 1 ? line : chain.Name(i) + ": " + line;
  return true;
}

bool ApplyChainSetting(PluginChain& chain, const std::string& setting, std::string& applied,
                       std::string& error, bool& usage)
{
  const size_t eq = setting.find('=');
  if (eq == std::string::npos)
  {
    error = "--set needs NAME=VALUE, got \"" + setting + "\"";
    return false;
  }
  const std::vector<PluginLabel> labels = Labels(chain);
  std::vector<size_t> owners;
  size_t split = 0;
  for (size_t i = 0; i < chain.Size(); ++i)
    if (SettingParam(chain.Plugin(i), setting, owners.empty() ? &split : nullptr) >= 0)
      owners.push_back(i);
  if (owners.size() == 1) return ApplyTo(chain, owners[0], setting, applied, error);
  const std::string name = setting.substr(0, split);
  if (owners.size() > 1)
  {
    std::vector<std::string> called;
    for (size_t i : owners) called.push_back(Called(labels, i));
    error = name + " is a parameter of " + Join(called, "and") + ": write " +
            Ways(labels, owners, "", name);
    usage = true;
    return false;
  }
  const size_t colon = setting.find(':');
  if (colon != std::string::npos && colon > 0 && colon < eq)
  {
    const std::string rest = setting.substr(colon + 1);
    size_t picked = 0;
    if (!PickOne(labels, setting.substr(0, colon), "", rest.substr(0, rest.find('=')), picked,
                 error))
    {
      usage = true;
      return false;
    }
    return ApplyTo(chain, picked, rest, applied, error);
  }
  if (chain.Size() == 1) return ApplyTo(chain, 0, setting, applied, error); // its own refusal
  std::string lists;
  for (size_t i = 0; i < chain.Size(); ++i)
    lists += (i ? "; " : "") + Called(labels, i) + ": " + ParamNames(chain.Plugin(i));
  error = "unknown parameter \"" + setting.substr(0, eq) + "\"; valid names: " + lists;
  return false;
}

// A name rather than a file: no '/' and no preset file's extension.
bool IsPresetName(const std::string& text)
{
  const std::string ext = Lower(text.size() >= 4 ? text.substr(text.size() - 4) : "");
  return !text.empty() && text.find('/') == std::string::npos && ext != ".fxp" && ext != ".fxb";
}

// "Clean, Sparkle" and "Mine (user)": the presets `name` could have been.
std::string KnownPresets(PluginChain& chain, const std::vector<PluginLabel>& labels,
                         const std::vector<size_t>& candidates)
{
  std::string text;
  for (size_t i : candidates)
  {
    std::vector<std::string> names;
    for (const PresetFileEntry& p : FactoryPresets(chain.Plugin(i)))
      if (p.usable) names.push_back(p.name);
    for (const PresetFileEntry& p : UserPresets(chain.Plugin(i)))
      if (p.usable) names.push_back(p.name + " (user)");
    if (names.empty()) names.push_back("none");
    text += (text.empty() ? "" : "; ") + Called(labels, i) + ": " + Join(names, "and");
  }
  return text;
}

// A factory preset of the candidates, else a user preset; one plug-in must have it.
bool ApplyNamedPreset(PluginChain& chain, const std::vector<PluginLabel>& labels,
                      const std::vector<size_t>& candidates, const std::string& name,
                      std::vector<std::string>& notes, std::string& applied, std::string& error,
                      bool& usage)
{
  struct Found
  {
    size_t mPlugin;
    PresetFileEntry mEntry;
  };
  std::vector<Found> found;
  PresetFileEntry broken; // the first of that name that cannot be used, to say why
  const char* kind = "factory";
  for (const bool factory : {true, false})
  {
    kind = factory ? "factory" : "user";
    for (size_t i : candidates)
      for (PresetFileEntry& p :
           factory ? FactoryPresets(chain.Plugin(i)) : UserPresets(chain.Plugin(i)))
        if (Lower(p.name) == Lower(name))
        {
          if (p.usable)
          {
            found.push_back({i, std::move(p)});
            break;
          }
          if (broken.path.empty()) broken = std::move(p);
        }
    if (!found.empty()) break;
  }
  if (found.empty())
  {
    error = !broken.path.empty() ? "the preset \"" + name + "\" (" + broken.path +
                                       ") cannot be used: " + broken.reason
                                 : "no file or preset \"" + name + "\"; the presets are " +
                                       KnownPresets(chain, labels, candidates);
    return false;
  }
  if (found.size() > 1)
  {
    std::vector<size_t> owners;
    for (const Found& f : found) owners.push_back(f.mPlugin);
    error = "\"" + name + "\" is a " + kind +
            " preset of several plug-ins: " + Candidates(labels, owners) + "; write " +
            Ways(labels, owners, "--preset ", name);
    usage = true;
    return false;
  }
  VstHost& host = chain.Plugin(found[0].mPlugin);
  if (!ApplyPresetFile(host, found[0].mEntry.path, notes, error)) return false;
  applied = (chain.Size() == 1 ? "" : chain.Name(found[0].mPlugin) + ": ") + kind + " preset " +
            found[0].mEntry.name + " (" + found[0].mEntry.path + ")";
  return true;
}

bool ApplyChainPreset(PluginChain& chain, const std::string& text, std::vector<std::string>& notes,
                      std::string& applied, std::string& error, bool& usage)
{
  const std::vector<PluginLabel> labels = Labels(chain);
  std::string path = text;
  std::vector<size_t> candidates;
  const size_t colon = text.find(':');
  if (access(text.c_str(), F_OK) != 0 && colon != std::string::npos && colon > 0 &&
      !PickPlugins(text.substr(0, colon), labels).empty())
  {
    size_t picked = 0;
    path = text.substr(colon + 1);
    if (!PickOne(labels, text.substr(0, colon), "--preset ", path, picked, error))
    {
      usage = true;
      return false;
    }
    candidates = {picked};
  }
  else
    for (size_t i = 0; i < chain.Size(); ++i) candidates.push_back(i);
  if (access(path.c_str(), F_OK) != 0 && IsPresetName(path))
    return ApplyNamedPreset(chain, labels, candidates, path, notes, applied, error, usage);

  FxFile file;
  if (!ReadFxFile(path, file, error)) return false;
  std::vector<size_t> matching;
  std::vector<std::string> ids;
  for (size_t i : candidates)
  {
    const int32_t id = chain.Plugin(i).Effect()->uniqueID;
    if (id == file.mPluginId) matching.push_back(i);
    ids.push_back("'" + FormatFourCC(id) + "'");
  }
  if (matching.empty())
  {
    error = path + " is for the plug-in '" + FormatFourCC(file.mPluginId) + "', not for " +
            Join(ids, "or");
    return false;
  }
  if (matching.size() > 1)
  {
    error = path + " is for several plug-ins: " + Candidates(labels, matching) + "; write " +
            Ways(labels, matching, "--preset ", path);
    usage = true;
    return false;
  }
  VstHost& host = chain.Plugin(matching[0]);
  if (!ApplyPresetFile(host, path, notes, error)) return false;
  applied = (chain.Size() == 1 ? "" : chain.Name(matching[0]) + ": ") + "preset " + path + " (" +
            host.ProgramName() + ")";
  return true;
}
} // namespace

std::vector<size_t> PickPlugins(const std::string& prefix, const std::vector<PluginLabel>& chain)
{
  const std::string text = Lower(prefix);
  std::vector<size_t> picks;
  if (!text.empty() && text.size() < 10 &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
  {
    const size_t position = std::stoul(text);
    if (position >= 1 && position <= chain.size()) picks.push_back(position - 1);
    return picks;
  }
  for (size_t i = 0; i < chain.size(); ++i)
    if (Lower(chain[i].mName) == text || Lower(chain[i].mStem) == text) picks.push_back(i);
  if (!picks.empty() || text.empty()) return picks;
  for (size_t i = 0; i < chain.size(); ++i)
    for (const std::string& label : {chain[i].mName, chain[i].mStem})
    {
      const std::vector<std::string> words = Words(label);
      if (EndsWith(Lower(label), text) ||
          std::any_of(words.begin(), words.end(),
                      [&](const std::string& w) { return Lower(w) == text; }))
      {
        picks.push_back(i);
        break;
      }
    }
  return picks;
}

bool ConfigureChain(PluginChain& chain, const std::vector<std::string>& presets,
                    const std::vector<std::string>& settings, std::vector<std::string>& applied,
                    std::vector<std::string>& notes, std::string& error, bool& usage)
{
  for (const std::string& preset : presets)
  {
    std::string line;
    if (!ApplyChainPreset(chain, preset, notes, line, error, usage)) return false;
    applied.push_back(line);
  }
  for (const std::string& setting : settings)
  {
    std::string line;
    if (!ApplyChainSetting(chain, setting, line, error, usage)) return false;
    applied.push_back(line);
  }
  return true;
}
