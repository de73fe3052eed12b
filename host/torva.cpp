// torva: a command-line VST 2 host.
//
//   torva info [PLUGIN.so]...
//   torva render [PLUGIN.so]... IN OUT [--set [PLUG-IN:]NAME=VALUE]... [--preset [PLUG-IN:]FILE]...
//                [--block N] [--precision float|double]
//   torva demo [PLUGIN.so]... [OUT]
//   torva preset [PLUGIN.so] OUT.fxp|OUT.fxb [--set NAME=VALUE]... [--preset IN]
//   torva preset [PLUGIN.so] --name NAME [--replace] [--set NAME=VALUE]... [--preset IN]
//   torva editor [PLUGIN.so] [--scale PERCENT] [--png FILE] [--after SECONDS] [--set NAME=VALUE]...
//   torva play [PLUGIN.so]... [--connect] [--editor] [--set [PLUG-IN:]NAME=VALUE]...
//              [--preset [PLUG-IN:]FILE]...
//
// Several plug-ins make a chain: the audio goes through them in the order given. The leading
// arguments that end in ".so" or name a module file are the plug-ins; beyond what a command takes
// besides, the first ones are too, so "torva render PLUGIN IN OUT" works whatever its name.
// Without a plug-in torva loads the TORVA.so that was built beside it; the demo plays through
// TORVA.so and then TORVACab.so, both from beside it. A preset is a file or a name: a factory
// preset from NAME.presets beside the module, or one of the user's folder. Every failure prints
// one line on stderr and exits with 1 (2 for a malformed command line, or one that does not say
// which plug-in it means).

#include "framework/fxfile/PresetFolder.h"
#include "host/AudioFile.h"
#include "host/ChainSettings.h"
#include "host/DemoPhrase.h"
#include "host/EditorWindow.h"
#include "host/jack/JackPlay.h"
#include "host/ParamText.h"
#include "host/PluginChain.h"
#include "host/PresetFiles.h"
#include "host/Render.h"
#include "host/TextFormat.h"
#include "host/VstHost.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace
{
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr double kProgressSeconds = 5.0; // shorter renders finish before a bar helps
constexpr int kMaxBlock = 65536;         // far beyond what hosts use; bounds the chunk memory
constexpr double kMaxAfter = 3600.0;     // --after: an hour is already more than a picture needs
constexpr double kEditorSampleRate = 44100.0;
constexpr int kEditorBlock = 512;

const char kUsage[] =
    "usage: torva info [PLUGIN.so]...\n"
    "       torva render [PLUGIN.so]... IN OUT [--set [PLUG-IN:]NAME=VALUE]...\n"
    "                    [--preset [PLUG-IN:]FILE]... [--block N] [--precision float|double]\n"
    "       torva demo [PLUGIN.so]... [OUT]\n"
    "       torva preset [PLUGIN.so] OUT.fxp|OUT.fxb [--set NAME=VALUE]... [--preset IN]\n"
    "       torva preset [PLUGIN.so] --name NAME [--replace] [--set NAME=VALUE]...\n"
    "                    [--preset IN]\n"
    "       torva editor [PLUGIN.so] [--scale PERCENT] [--png FILE] [--after SECONDS]\n"
    "                    [--set NAME=VALUE]...\n"
    "       torva play [PLUGIN.so]... [--connect] [--editor] [--set [PLUG-IN:]NAME=VALUE]...\n"
    "                  [--preset [PLUG-IN:]FILE]...\n"
    "Several plug-ins make a chain, the audio going through them in order; PLUG-IN: picks one\n"
    "by its position, its name or its file's stem, or a word or the end of either (Cab:Level=-3).\n"
    "Without PLUGIN.so, torva loads the TORVA.so built beside it; the demo plays through TORVA.so\n"
    "and then TORVACab.so, both from beside it.\n"
    "--preset takes a .fxp or .fxb file, or a preset's name: a factory one (torva info lists\n"
    "them: Clean, Crunch, Blues Lead, ...), else one saved with preset --name into the user's\n"
    "folder, $XDG_DATA_HOME/torva/presets (~/.local/share/torva/presets).\n";

const std::string kSeeHelp = " (see torva help)";

int Fail(const std::string& message, int code = kExitError)
{
  std::fprintf(stderr, "torva: %s\n", message.c_str());
  return code;
}

// A module built beside the torva executable.
std::string Beside(const std::string& name)
{
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return name;
  std::string exe(buf, static_cast<size_t>(n));
  const size_t slash = exe.find_last_of('/');
  return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/" + name;
}

std::string DefaultPlugin()
{
  return Beside("TORVA.so");
}

// Said when the default plug-in is missing: it is built, not shipped.
std::string BuildHint(bool defaultPlugin)
{
  return defaultPlugin && access(DefaultPlugin().c_str(), F_OK) != 0
             ? " (build the TORVA target, or name a plug-in)"
             : "";
}

// A plug-in argument: a name ending in ".so", or a file that is a shared object (ELF).
bool IsModule(const std::string& arg)
{
  if (arg.size() > 3 && arg.compare(arg.size() - 3, 3, ".so") == 0) return true;
  struct stat st;
  if (stat(arg.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  static const char kElf[4] = {0x7f, 'E', 'L', 'F'};
  char magic[4] = {};
  std::ifstream(arg, std::ios::binary).read(magic, sizeof magic);
  return std::memcmp(magic, kElf, sizeof kElf) == 0;
}

// The leading plug-in arguments of `positional`, which keeps the rest. Beyond `rest` others,
// the first ones are plug-ins too, whatever their names (today's "render PLUGIN IN OUT").
std::vector<std::string> TakePlugins(std::vector<std::string>& positional, size_t rest)
{
  size_t n = 0;
  while (n < positional.size() && IsModule(positional[n])) ++n;
  if (positional.size() - n > rest) n = positional.size() - rest;
  std::vector<std::string> plugins(positional.begin(), positional.begin() + long(n));
  positional.erase(positional.begin(), positional.begin() + long(n));
  return plugins;
}

std::string FlagNames(int flags)
{
  static const struct
  {
    int mFlag;
    const char* mName;
  } kFlags[] = {
      {effFlagsHasEditor, "editor"},
      {effFlagsCanMono, "mono"},
      {effFlagsCanReplacing, "replacing"},
      {effFlagsProgramChunks, "chunks"},
      {effFlagsIsSynth, "synth"},
      {effFlagsNoSoundInStop, "no-sound-in-stop"},
      {effFlagsCanDoubleReplacing, "double-replacing"},
  };
  std::string names;
  for (const auto& f : kFlags)
    if (flags & f.mFlag) names += (names.empty() ? "" : ", ") + std::string(f.mName);
  return names;
}

std::string CategoryName(VstIntPtr category)
{
  static const char* const kNames[] = {"unknown",     "effect",  "synth", "analysis",
                                       "mastering",   "spatial", "room",  "surround",
                                       "restoration", "offline", "shell", "generator"};
  return category >= 0 && category < 12 ? kNames[category] : "unknown";
}

std::string Hex(long long value)
{
  char buf[32];
  std::snprintf(buf, sizeof(buf), "0x%llX", value);
  return buf;
}

std::string Pad(const std::string& text, size_t width)
{
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// The factory presets by name, wrapped, and what the user's folder holds of the plug-in.
void PrintPresets(VstHost& host)
{
  const std::vector<PresetFileEntry> factory = FactoryPresets(host);
  std::vector<std::string> names, unusable;
  for (const PresetFileEntry& p : factory)
    if (p.usable)
      names.push_back(p.name);
    else
      unusable.push_back(p.path + ": " + p.reason);
  const std::string folder = FactoryFolderOf(host);
  if (names.empty())
    std::printf("presets     none from the factory (%s)\n", folder.c_str());
  else
    std::printf("presets     %zu from the factory (%s)\n", names.size(), folder.c_str());
  std::string line = " ";
  for (size_t i = 0; i < names.size(); ++i)
  {
    const std::string item = " " + names[i] + (i + 1 < names.size() ? "," : "");
    if (line.size() > 1 && line.size() + item.size() > 78)
    {
      std::printf("%s\n", line.c_str());
      line = " ";
    }
    line += item;
  }
  if (line.size() > 1) std::printf("%s\n", line.c_str());
  for (const std::string& u : unusable) std::printf("  cannot be used: %s\n", u.c_str());

  const std::string user = UserPresetFolder();
  if (user.empty())
  {
    std::printf("user        no folder (neither XDG_DATA_HOME nor HOME is set)\n");
    return;
  }
  size_t usable = 0, broken = 0;
  for (const PresetFileEntry& p : UserPresets(host)) ++(p.usable ? usable : broken);
  std::printf("user        %zu preset%s (%s)%s\n", usable, usable == 1 ? "" : "s", user.c_str(),
              broken ? (", " + std::to_string(broken) + " more that cannot be used").c_str() : "");
}

// The block `torva info` prints for one plug-in.
int InfoBlock(const std::string& path, bool defaultPlugin)
{
  VstHost host;
  host.SetProcessLevel(kVstProcessLevelUser);
  std::string error;
  if (!host.Load(path, error)) return Fail(error + BuildHint(defaultPlugin));
  host.Open();
  AEffect* e = host.Effect();

  std::printf("plug-in     %s (entry %s)\n", path.c_str(), host.EntryName());
  std::printf("name        %s\n", host.EffectName().c_str());
  std::printf("vendor      %s\n", host.VendorString().c_str());
  std::printf("product     %s\n", host.ProductString().c_str());
  std::printf("unique id   '%s' (%s)\n", FormatFourCC(e->uniqueID).c_str(),
              Hex(static_cast<uint32_t>(e->uniqueID)).c_str());
  std::printf("version     %d (vendor %lld)\n", e->version,
              static_cast<long long>(host.Dispatch(effGetVendorVersion)));
  std::printf("VST version %lld\n", static_cast<long long>(host.Dispatch(effGetVstVersion)));
  std::printf("category    %s\n", CategoryName(host.Dispatch(effGetPlugCategory)).c_str());
  std::printf("channels    %d in, %d out\n", e->numInputs, e->numOutputs);
  std::printf("flags       %s (%s)\n", Hex(e->flags).c_str(), FlagNames(e->flags).c_str());
  std::printf("latency     %d samples\n", e->initialDelay);
  std::printf("programs    %d (current %lld \"%s\")\n", e->numPrograms,
              static_cast<long long>(host.Dispatch(effGetProgram)), host.ProgramName().c_str());

  std::printf("parameters  %d\n", e->numParams);
  struct Row
  {
    std::string mIndex, mName, mValue, mDisplay, mLabel;
  };
  std::vector<Row> rows = {{"#", "name", "value", "display", "label"}};
  for (int i = 0; i < e->numParams; ++i)
    rows.push_back({std::to_string(i), host.ParamName(i), FormatFixed(e->getParameter(e, i), 4),
                    host.ParamDisplay(i), host.ParamLabel(i)});
  size_t w[4] = {};
  for (const Row& r : rows)
  {
    w[0] = std::max(w[0], r.mIndex.size());
    w[1] = std::max(w[1], r.mName.size());
    w[2] = std::max(w[2], r.mValue.size());
    w[3] = std::max(w[3], r.mDisplay.size());
  }
  for (const Row& r : rows)
  {
    std::string line = "  " + Pad(r.mIndex, w[0]) + "  " + Pad(r.mName, w[1]) + "  " +
                       Pad(r.mValue, w[2]) + "  " + Pad(r.mDisplay, w[3]) + "  " + r.mLabel;
    line.erase(line.find_last_not_of(' ') + 1);
    std::printf("%s\n", line.c_str());
  }
  PrintPresets(host);
  return 0;
}

int Info(std::vector<std::string> args)
{
  const std::vector<std::string> plugins = TakePlugins(args, 0);
  if (plugins.empty()) return InfoBlock(DefaultPlugin(), true);
  for (size_t i = 0; i < plugins.size(); ++i)
  {
    if (i > 0) std::printf("\n");
    std::fflush(stdout); // a failure's line comes after the blocks before it
    if (const int status = InfoBlock(plugins[i], false)) return status;
  }
  return 0;
}

void PrintSummary(const std::vector<std::string>& plugins, const std::string& in,
                  const std::string& out, const RenderJob& job, const RenderReport& r)
{
  const double seconds = r.mSampleRate > 0 ? double(r.mFrames) / r.mSampleRate : 0.0;
  if (plugins.size() == 1)
    std::printf("%s -> %s through %s (%s)\n", in.c_str(), out.c_str(), r.mEffectNames[0].c_str(),
                plugins[0].c_str());
  else
  {
    std::string names;
    for (const std::string& name : r.mEffectNames) names += (names.empty() ? "" : " -> ") + name;
    std::printf("%s -> %s through %s\n", in.c_str(), out.c_str(), names.c_str());
    for (size_t i = 0; i < plugins.size(); ++i)
      std::printf("  %s %zu %s (%s)\n", i == 0 ? "chain   " : "        ", i + 1,
                  r.mEffectNames[i].c_str(), plugins[i].c_str());
  }
  for (const std::string& applied : r.mApplied) std::printf("  set      %s\n", applied.c_str());
  std::printf("  audio    %lld frames, %s s at %d Hz, %d in, %d out, %s\n", r.mFrames,
              FormatFixed(seconds, 3).c_str(), r.mSampleRate, r.mPlan.mInputs, r.mPlan.mFileOutputs,
              DescribeFormat(job.mOutputFormat).c_str());
  std::printf("  process  %s, blocks of %d\n",
              job.mPrecision == EPrecision::kDouble ? "double" : "float", job.mBlockSize);
  if (r.mLatency > 0)
    std::printf("  latency  %d samples (%s ms), made good: the output lines up with the input\n",
                r.mLatency, FormatFixed(1000.0 * r.mLatency / r.mSampleRate, 1).c_str());
  std::printf("  peak     in %s dBFS, out %s dBFS\n", FormatDecibels(r.mPeakIn).c_str(),
              FormatDecibels(r.mPeakOut).c_str());
  const std::string speed =
      r.mSeconds > 0.0 ? FormatFixed(seconds / r.mSeconds, 1) + " x realtime" : "instant";
  std::printf("  time     %s s, %s\n", FormatFixed(r.mSeconds, 3).c_str(), speed.c_str());
  for (const std::string& w : r.mWarnings) std::fprintf(stderr, "torva: warning: %s\n", w.c_str());
}

// Options shared by render, demo, preset and play; positional arguments are collected in
// order. `switches` names the options without a value a command takes; those given land in
// `given`. `--name` is taken only where `name` receives it.
bool ParseOptions(const std::vector<std::string>& args, RenderJob& job,
                  std::vector<std::string>& positional, std::string& error,
                  const std::vector<std::string>& switches = {},
                  std::vector<std::string>* given = nullptr, std::string* name = nullptr)
{
  for (size_t i = 0; i < args.size(); ++i)
  {
    std::string arg = args[i], value;
    const bool option = arg.size() > 2 && arg.compare(0, 2, "--") == 0;
    if (option)
    {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) // --block=64 as well as --block 64
      {
        value = arg.substr(eq + 1);
        arg.erase(eq);
      }
      else if (arg == "--set" || arg == "--preset" || arg == "--block" || arg == "--precision" ||
               (name && arg == "--name"))
      {
        if (i + 1 >= args.size())
        {
          error = arg + " needs a value";
          return false;
        }
        value = args[++i];
      }
    }
    if (!option)
      positional.push_back(arg);
    else if (given && std::find(switches.begin(), switches.end(), arg) != switches.end())
    {
      if (!value.empty() || args[i].find('=') != std::string::npos)
      {
        error = arg + " takes no value";
        return false;
      }
      given->push_back(arg);
    }
    else if (name && arg == "--name")
    {
      if (!name->empty())
      {
        error = "--name is given twice";
        return false;
      }
      *name = value;
      if (name->empty())
      {
        error = "--name needs a preset's name";
        return false;
      }
    }
    else if (arg == "--set")
      job.mSettings.push_back(value);
    else if (arg == "--preset")
      job.mPresetPaths.push_back(value);
    else if (arg == "--block")
    {
      const auto n = ParseInteger(value);
      if (!n || *n < 1 || *n > kMaxBlock)
      {
        error = "--block needs a whole number from 1 to " + std::to_string(kMaxBlock) + ", got \"" +
                value + "\"";
        return false;
      }
      job.mBlockSize = static_cast<int>(*n);
    }
    else if (arg == "--precision")
    {
      if (value != "float" && value != "double")
      {
        error = "--precision is float or double, got \"" + value + "\"";
        return false;
      }
      job.mPrecision = value == "double" ? EPrecision::kDouble : EPrecision::kFloat;
    }
    else
    {
      error = "unknown option " + arg + kSeeHelp;
      return false;
    }
  }
  return true;
}

int RenderCommand(const std::vector<std::string>& args)
{
  RenderJob job;
  std::vector<std::string> positional;
  std::string error;
  if (!ParseOptions(args, job, positional, error)) return Fail(error, kExitUsage);
  job.mPluginPaths = TakePlugins(positional, 2);
  if (positional.size() != 2)
    return Fail("render needs [PLUGIN.so]... IN OUT" + kSeeHelp, kExitUsage);
  const bool defaultPlugin = job.mPluginPaths.empty();
  if (defaultPlugin) job.mPluginPaths = {DefaultPlugin()};
  const std::string& inPath = positional[0];
  job.mOutputPath = positional[1];

  AudioFileReader reader;
  if (!reader.Open(inPath, error)) return Fail(error);
  // Writing would truncate the file being read.
  struct stat inStat, outStat;
  if (stat(inPath.c_str(), &inStat) == 0 && stat(job.mOutputPath.c_str(), &outStat) == 0 &&
      inStat.st_dev == outStat.st_dev && inStat.st_ino == outStat.st_ino)
    return Fail(job.mOutputPath + " is the input file; choose another output");
  // The output's channel count is only known once the plug-ins are loaded; the format check
  // with the input's count catches every container problem that matters here.
  job.mOutputFormat =
      ChooseOutputFormat(reader.Format(), job.mOutputPath, reader.Channels(), reader.SampleRate());
  if (job.mOutputFormat == 0)
    return Fail("cannot write " + job.mOutputPath + " in " + DescribeFormat(reader.Format()));
  job.mProgress = reader.Frames() > kProgressSeconds * reader.SampleRate();
  FileSource source(reader);
  RenderReport report;
  if (!Render(job, source, report, error))
    return Fail(error + BuildHint(defaultPlugin), report.mUsageError ? kExitUsage : kExitError);
  PrintSummary(job.mPluginPaths, inPath, job.mOutputPath, job, report);
  return 0;
}

// The built-in phrase through TORVA and TORVA Cab, or through the plug-ins named.
int DemoCommand(const std::vector<std::string>& args)
{
  RenderJob job;
  std::vector<std::string> positional;
  std::string error;
  if (!ParseOptions(args, job, positional, error)) return Fail(error, kExitUsage);
  job.mPluginPaths = TakePlugins(positional, 1);
  if (positional.size() > 1 || !job.mSettings.empty() || !job.mPresetPaths.empty())
    return Fail("demo takes only plug-ins and an output file" + kSeeHelp, kExitUsage);
  if (job.mPluginPaths.empty())
    for (const char* name : {"TORVA.so", "TORVACab.so"})
    {
      // Never the amplifier alone: the demo is of the two together.
      job.mPluginPaths.push_back(Beside(name));
      if (access(job.mPluginPaths.back().c_str(), F_OK) != 0)
        return Fail("the demo plays through TORVA.so and TORVACab.so, and " +
                    job.mPluginPaths.back() + " is missing (build the " +
                    std::string(name, std::strlen(name) - 3) + " target, or name the plug-ins)");
    }
  job.mOutputPath = positional.empty() ? "torva-demo.wav" : positional[0];
  job.mOutputFormat =
      ChooseOutputFormat(SF_FORMAT_WAV | SF_FORMAT_PCM_24, job.mOutputPath, 2, kDemoSampleRate);
  if (job.mOutputFormat == 0) return Fail("cannot write " + job.mOutputPath);
  job.mProgress = true;
  MemorySource source(
      {SynthesiseDemoTake(kDemoSampleRate, 0), SynthesiseDemoTake(kDemoSampleRate, 1)},
      kDemoSampleRate);
  RenderReport report;
  if (!Render(job, source, report, error)) return Fail(error);
  PrintSummary(job.mPluginPaths, "built-in guitar phrase", job.mOutputPath, job, report);
  return 0;
}
// The plug-in's parameters as the user preset `name` in the user's folder.
int SaveNamedPreset(VstHost& host, const std::string& plugin, const std::string& name, bool replace)
{
  AEffect* e = host.Effect();
  std::vector<float> values;
  for (int i = 0; i < e->numParams; ++i)
  {
    const float v = e->getParameter(e, i);
    // The reader refuses such a file; better not to write it.
    if (!std::isfinite(v) || v < 0.0f || v > 1.0f)
      return Fail("the plug-in reports " + host.ParamName(i) + " as " + FormatFixed(v, 4) +
                  ", outside 0..1; no preset saved");
    values.push_back(v);
  }
  std::string saved, error;
  if (!SaveUserPreset(UserPresetFolder(), name, e->uniqueID, e->version, values, replace, saved,
                      error))
    return Fail(error + (error.find("exists already") != std::string::npos
                             ? "; --replace replaces it"
                             : ""));
  std::string shown = name, why;
  CleanPresetName(shown, why);
  std::printf("%s: user preset \"%s\" of %s (%s), %d values\n", saved.c_str(), shown.c_str(),
              host.EffectName().c_str(), plugin.c_str(), e->numParams);
  for (const PresetFileEntry& p : FactoryPresets(host))
    if (p.usable && Lower(p.name) == Lower(shown))
      std::fprintf(stderr, "torva: warning: --preset \"%s\" finds the factory preset %s first\n",
                   shown.c_str(), p.name.c_str());
  return 0;
}

// Writes the plug-in's program (.fxp) or bank (.fxb), or a user preset, after --preset and --set.
int PresetCommand(const std::vector<std::string>& args)
{
  RenderJob job;
  std::vector<std::string> positional, switches;
  std::string error, name;
  if (!ParseOptions(args, job, positional, error, {"--replace"}, &switches, &name))
    return Fail(error, kExitUsage);
  for (const std::string& a : args)
    if (a.rfind("--block", 0) == 0 || a.rfind("--precision", 0) == 0)
      return Fail("preset takes only --set, --preset, --name and --replace" + kSeeHelp, kExitUsage);
  const bool replace = !switches.empty();
  if (replace && name.empty()) return Fail("--replace goes with --name" + kSeeHelp, kExitUsage);
  std::string out, ext;
  if (name.empty())
  {
    if (positional.empty() || positional.size() > 2)
      return Fail("preset needs [PLUGIN.so] OUT.fxp|OUT.fxb or --name NAME" + kSeeHelp, kExitUsage);
    out = positional.back();
    ext = out.size() >= 4 ? out.substr(out.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".fxp" && ext != ".fxb")
      return Fail("preset writes a .fxp program or a .fxb bank, not " + out + kSeeHelp, kExitUsage);
    positional.pop_back();
  }
  else if (positional.size() > 1 || (positional.size() == 1 && !IsModule(positional[0])))
    return Fail("preset --name NAME takes one plug-in and no file" + kSeeHelp, kExitUsage);
  else if (std::string why, clean = name; !CleanPresetName(clean, why))
    return Fail(why, kExitUsage); // before the plug-in is loaded for nothing
  const bool defaultPlugin = positional.empty();
  const std::string plugin = defaultPlugin ? DefaultPlugin() : positional[0];

  PluginChain chain;
  if (!chain.Load({plugin}, kVstProcessLevelUser, error))
    return Fail(error + BuildHint(defaultPlugin));
  VstHost& host = chain.Plugin(0);
  host.Prepare(44100.0, 512);
  std::vector<std::string> applied, notes;
  bool usage = false;
  if (!ConfigureChain(chain, job.mPresetPaths, job.mSettings, applied, notes, error, usage))
    return Fail(error, usage ? kExitUsage : kExitError);
  if (!name.empty())
  {
    if (const int status = SaveNamedPreset(host, plugin, name, replace)) return status;
  }
  else
  {
    std::string what;
    if (!WritePresetFile(host, out, ext == ".fxb", what, error)) return Fail(error);
    std::printf("%s: %s of %s (%s)\n", out.c_str(), what.c_str(), host.EffectName().c_str(),
                plugin.c_str());
  }
  for (const std::string& line : applied) std::printf("  set      %s\n", line.c_str());
  for (const std::string& n : notes) std::fprintf(stderr, "torva: warning: %s\n", n.c_str());
  return 0;
}

// Shows the plug-in's editor in a window of its own until the window is closed, or takes its
// picture after a while.
int EditorCommand(const std::vector<std::string>& args)
{
  EditorOptions options;
  std::vector<std::string> settings, positional;
  for (size_t i = 0; i < args.size(); ++i)
  {
    std::string arg = args[i], value;
    const bool option = arg.size() > 2 && arg.compare(0, 2, "--") == 0;
    if (!option)
    {
      positional.push_back(arg);
      continue;
    }
    const size_t eq = arg.find('=');
    if (eq != std::string::npos)
    {
      value = arg.substr(eq + 1);
      arg.erase(eq);
    }
    else if (arg == "--png" || arg == "--after" || arg == "--set" || arg == "--scale")
    {
      if (i + 1 >= args.size()) return Fail(arg + " needs a value", kExitUsage);
      value = args[++i];
    }
    if (arg == "--set")
      settings.push_back(value);
    else if (arg == "--png")
    {
      if (value.empty()) return Fail("--png needs a file name", kExitUsage);
      options.mPngPath = value;
    }
    else if (arg == "--after")
    {
      double seconds = -1.0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
          seconds < 0.0 || seconds > kMaxAfter)
        return Fail("--after needs seconds from 0 to " + FormatFixed(kMaxAfter, 0) + ", got \"" +
                        value + "\"",
                    kExitUsage);
      options.mAfterSeconds = seconds;
    }
    else if (arg == "--scale")
    {
      if (value != "100" && value != "150" && value != "200")
        return Fail("--scale needs 100, 150 or 200 (percent), got \"" + value + "\"", kExitUsage);
      options.mScale = std::stoi(value);
    }
    else
      return Fail("unknown option " + arg + kSeeHelp, kExitUsage);
  }
  if (positional.size() > 1) return Fail("editor takes at most one plug-in" + kSeeHelp, kExitUsage);

  const std::string path = positional.empty() ? DefaultPlugin() : positional[0];
  VstHost host;
  host.SetProcessLevel(kVstProcessLevelUser);
  std::string error;
  if (!host.Load(path, error)) return Fail(error + BuildHint(positional.empty()));
  host.Open();
  host.Prepare(kEditorSampleRate, kEditorBlock);
  host.Resume(false);
  for (const std::string& setting : settings)
  {
    std::string applied;
    if (!ApplySetting(host, setting, applied, error)) return Fail(error);
  }
  const bool ok = RunEditors({&host}, options, error);
  host.Suspend();
  host.Unload();
  return ok ? 0 : Fail(error);
}

// Hosts the plug-ins live through JACK until Ctrl-C, SIGTERM or the last editor closes.
int PlayCommand(const std::vector<std::string>& args, std::chrono::steady_clock::time_point started)
{
  RenderJob job;
  std::vector<std::string> positional, switches;
  std::string error;
  if (!ParseOptions(args, job, positional, error, {"--connect", "--editor"}, &switches))
    return Fail(error, kExitUsage);
  for (const std::string& a : args)
    if (a.rfind("--block", 0) == 0 || a.rfind("--precision", 0) == 0)
      return Fail("play runs at the server's period and in single precision" + kSeeHelp,
                  kExitUsage);
  PlayOptions options;
  options.mPluginPaths = TakePlugins(positional, 0);
  const bool defaultPlugin = options.mPluginPaths.empty();
  if (defaultPlugin) options.mPluginPaths = {DefaultPlugin()};
  options.mSettings = job.mSettings;
  options.mPresetPaths = job.mPresetPaths;
  for (const std::string& s : switches)
    (s == "--connect" ? options.mConnect : options.mEditor) = true;
  bool usage = false;
  if (!Play(options, started, error, usage))
    return Fail(error + BuildHint(defaultPlugin), usage ? kExitUsage : kExitError);
  return 0;
}

} // namespace

int main(int argc, char** argv)
{
  const auto started = std::chrono::steady_clock::now();
  if (argc < 2)
  {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "info") return Info(args);
  if (command == "render") return RenderCommand(args);
  if (command == "demo") return DemoCommand(args);
  if (command == "preset") return PresetCommand(args);
  if (command == "editor") return EditorCommand(args);
  if (command == "play") return PlayCommand(args, started);
  if (command == "help" || command == "--help" || command == "-h")
  {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return Fail("unknown command \"" + command + "\"" + kSeeHelp, kExitUsage);
}
