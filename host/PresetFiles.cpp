#include "host/PresetFiles.h"

#include "framework/fxfile/FxFile.h"
#include "framework/fxfile/PresetFolder.h"
#include "host/TextFormat.h"
#include "host/VstHost.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool ApplyPresetFile(VstHost& host, const std::string& path, std::vector<std::string>& notes,
                     std::string& error)
{
  FxFile file;
  if (!ReadFxFile(path, file, error)) return false;
  AEffect* effect = host.Effect();
  if (file.mPluginId != effect->uniqueID)
  {
    error = path + " is for the plug-in '" + FormatFourCC(file.mPluginId) + "', not for '" +
            FormatFourCC(effect->uniqueID) + "'";
    return false;
  }
  auto applyValues = [&](const FxProgram& program)
  {
    const size_t n = std::min<size_t>(program.mValues.size(), effect->numParams);
    for (size_t i = 0; i < n; ++i)
      effect->setParameter(effect, static_cast<VstInt32>(i), program.mValues[i]);
    if (program.mValues.size() != static_cast<size_t>(effect->numParams))
      notes.push_back(path + " holds " + std::to_string(program.mValues.size()) + " values for " +
                      std::to_string(effect->numParams) + " parameters");
  };
  auto nameProgram = [&](const std::string& name)
  {
    if (name.empty()) return;
    char buf[kVstMaxProgNameLen] = {};
    name.copy(buf, sizeof(buf) - 1);
    host.Dispatch(effSetProgramName, 0, 0, buf);
  };
  switch (file.mKind)
  {
  case FxFile::kProgramValues:
    applyValues(file.mProgram);
    nameProgram(file.mProgram.mName);
    break;
  case FxFile::kProgramChunk:
  case FxFile::kBankChunk:
  {
    const bool program = file.mKind == FxFile::kProgramChunk;
    if (file.mChunk.empty() ||
        host.Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(file.mChunk.size()),
                      file.mChunk.data()) == 0)
    {
      error = "the plug-in rejected the state in " + path;
      return false;
    }
    if (program) nameProgram(file.mProgram.mName);
    break;
  }
  case FxFile::kBankValues:
  {
    const int programs = std::min<int>(static_cast<int>(file.mBank.size()), effect->numPrograms);
    for (int k = 0; k < programs; ++k)
    {
      host.Dispatch(effSetProgram, 0, k);
      applyValues(file.mBank[k]);
      nameProgram(file.mBank[k].mName);
    }
    if (file.mCurrentProgram >= 0 && file.mCurrentProgram < effect->numPrograms)
      host.Dispatch(effSetProgram, 0, file.mCurrentProgram);
    break;
  }
  }
  return true;
}

bool WritePresetFile(VstHost& host, const std::string& path, bool bank, std::string& what,
                     std::string& error)
{
  AEffect* e = host.Effect();
  FxFile file;
  file.mPluginId = e->uniqueID;
  file.mPluginVersion = e->version;
  file.mCount = bank ? e->numPrograms : e->numParams;
  const VstIntPtr current = host.Dispatch(effGetProgram);
  file.mCurrentProgram = static_cast<int32_t>(current);
  auto values = [&]
  {
    FxProgram program;
    program.mName = host.ProgramName();
    for (int i = 0; i < e->numParams; ++i) program.mValues.push_back(e->getParameter(e, i));
    return program;
  };
  if (e->flags & effFlagsProgramChunks)
  {
    void* data = nullptr;
    const VstIntPtr size = host.Dispatch(effGetChunk, bank ? 0 : 1, 0, &data);
    if (size <= 0 || !data)
    {
      error = "the plug-in handed out no state to write";
      return false;
    }
    file.mKind = bank ? FxFile::kBankChunk : FxFile::kProgramChunk;
    file.mChunk.assign(static_cast<const unsigned char*>(data),
                       static_cast<const unsigned char*>(data) + size);
    if (!bank) file.mProgram.mName = host.ProgramName();
    what = (bank ? "bank state, " : "program state, ") + std::to_string(size) + " bytes";
  }
  else if (!bank)
  {
    file.mKind = FxFile::kProgramValues;
    file.mProgram = values();
    what = "program \"" + file.mProgram.mName + "\", " + std::to_string(e->numParams) + " values";
  }
  else
  {
    // Each program is read by making it current, as hosts do; the current one comes back.
    file.mKind = FxFile::kBankValues;
    for (int k = 0; k < e->numPrograms; ++k)
    {
      if (k != current) host.Dispatch(effSetProgram, 0, k);
      file.mBank.push_back(values());
      if (k != current) host.Dispatch(effSetProgram, 0, current);
    }
    what = "bank of " + std::to_string(e->numPrograms) + " programs, " +
           std::to_string(e->numParams) + " values each";
  }
  std::vector<unsigned char> bytes;
  if (!WriteFxFile(file, bytes))
  {
    error = "the plug-in's state does not fit a preset file";
    return false;
  }
  return WriteFileWhole(path, bytes, error);
}

std::string FactoryFolderOf(const VstHost& host)
{
  const std::string beside = FactoryPresetFolder(host.Path());
  struct stat st;
  if (stat(beside.c_str(), &st) == 0) return beside;
  char* real = realpath(host.Path().c_str(), nullptr);
  if (!real) return beside;
  const std::string target = FactoryPresetFolder(real);
  std::free(real);
  return stat(target.c_str(), &st) == 0 ? target : beside;
}

std::vector<PresetFileEntry> FactoryPresets(VstHost& host)
{
  const AEffect* e = host.Effect();
  const std::string folder = FactoryFolderOf(host);
  std::vector<PresetFileEntry> named = ListPresetFolder(folder, e->uniqueID, e->numParams);

  std::vector<unsigned char> bytes;
  std::string error;
  FxFile bank;
  if (!ReadFileBytes(folder + "/" + host.EffectName() + " factory.fxb", bytes, error,
                     kMaxPresetFileBytes) ||
      !ParseFxFile(bytes, bank, error) || bank.mKind != FxFile::kBankValues ||
      bank.mPluginId != e->uniqueID)
    return named;
  std::vector<PresetFileEntry> ordered;
  for (const FxProgram& program : bank.mBank)
  {
    // The file written from the bank's program, by its exact name first.
    auto it = std::find_if(named.begin(), named.end(),
                           [&](const PresetFileEntry& p) { return p.name == program.mName; });
    if (it == named.end())
      it = std::find_if(named.begin(), named.end(),
                        [&](const PresetFileEntry& p)
                        { return Lower(p.name) == Lower(program.mName); });
    if (it == named.end()) continue;
    ordered.push_back(std::move(*it));
    named.erase(it);
  }
  ordered.insert(ordered.end(), std::make_move_iterator(named.begin()),
                 std::make_move_iterator(named.end()));
  return ordered;
}

std::vector<PresetFileEntry> UserPresets(VstHost& host)
{
  const AEffect* e = host.Effect();
  std::vector<PresetFileEntry> entries =
      ListPresetFolder(UserPresetFolder(), e->uniqueID, e->numParams);
  // The folder is shared by every plug-in; the others' files are not this one's to report.
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [](const PresetFileEntry& p) { return p.otherPlugin; }),
                entries.end());
  return entries;
}
