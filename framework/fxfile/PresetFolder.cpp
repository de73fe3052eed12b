#include "framework/fxfile/PresetFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>

namespace
{
std::string FourCCText(int32_t id)
{
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8)
  {
    const char c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xff);
    s += (c >= 0x20 && c < 0x7f) ? c : '?';
  }
  return s;
}

bool HasFxpSuffix(const std::string& name)
{
  if (name.size() < 5) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".fxp";
}

std::string Lower(std::string s)
{
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not a valid one.
size_t Utf8Length(const std::string& s, size_t i)
{
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || (n == 2 && c < 0xc2) || c > 0xf4 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return 0;
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
  const unsigned char next = static_cast<unsigned char>(n > 1 ? s[i + 1] : 0);
  if ((c == 0xe0 && next < 0xa0) || (c == 0xed && next >= 0xa0) || (c == 0xf0 && next < 0x90) ||
      (c == 0xf4 && next >= 0x90))
    return 0;
  return n;
}

bool MakeFolder(const std::string& folder, std::string& error)
{
  // Each missing level in turn; one that exists as something else is reported by name.
  for (size_t at = 1; at <= folder.size(); ++at)
  {
    if (at < folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    struct stat st;
    if (stat(part.c_str(), &st) == 0)
    {
      if (!S_ISDIR(st.st_mode))
      {
        error = "cannot make the folder " + folder + ": " + part + " is not a folder";
        return false;
      }
      continue;
    }
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
    {
      error = "cannot make the folder " + folder + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}
} // namespace

std::string UserPresetFolder()
{
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
    return std::string(data) + "/torva/presets";
  if (const char* home = std::getenv("HOME"); home && *home == '/')
    return std::string(home) + "/.local/share/torva/presets";
  return "";
}

std::string FactoryPresetFolder(const std::string& modulePath)
{
  std::string base = modulePath;
  if (base.size() > 3 && base.compare(base.size() - 3, 3, ".so") == 0) base.resize(base.size() - 3);
  return base + ".presets";
}

PresetFileEntry ReadPresetFor(const std::string& path, int32_t pluginId, int nParams)
{
  PresetFileEntry entry;
  entry.path = path;
  const size_t slash = path.rfind('/');
  entry.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (HasFxpSuffix(entry.name)) entry.name.resize(entry.name.size() - 4);

  std::vector<unsigned char> bytes;
  std::string error;
  FxFile file;
  if (!ReadFileBytes(path, bytes, error, kMaxPresetFileBytes))
  {
    // The reader names the file; the listing already does.
    const size_t colon = error.rfind(": ");
    entry.reason = colon == std::string::npos ? error : error.substr(colon + 2);
    return entry;
  }
  if (!ParseFxFile(bytes, file, error, 0))
  {
    entry.reason = error.rfind("not a preset", 0) == 0 ? error : "not a preset file: " + error;
    return entry;
  }
  if (file.mKind == FxFile::kBankValues || file.mKind == FxFile::kBankChunk)
  {
    entry.reason = "a bank, not a preset";
    return entry;
  }
  if (file.mPluginId != pluginId)
  {
    entry.reason = "for another plug-in ('" + FourCCText(file.mPluginId) + "')";
    entry.otherPlugin = true;
    return entry;
  }
  if (!file.mProgram.mName.empty()) entry.name = file.mProgram.mName;
  if (file.mKind == FxFile::kProgramChunk)
  {
    entry.reason = "a host's saved state, not a preset of values";
    return entry;
  }
  const std::vector<float>& values = file.mProgram.mValues;
  if (values.size() != static_cast<size_t>(nParams))
  {
    entry.reason = "holds " + std::to_string(values.size()) + " values for " +
                   std::to_string(nParams) + " parameters";
    return entry;
  }
  for (size_t i = 0; i < values.size(); ++i)
    if (!std::isfinite(values[i]) || values[i] < 0.0f || values[i] > 1.0f)
    {
      entry.reason = "value " + std::to_string(i + 1) +
                     (std::isnan(values[i]) ? " is not a number" : " is outside 0..1");
      return entry;
    }
  entry.usable = true;
  entry.program = file.mProgram;
  return entry;
}

std::vector<PresetFileEntry> ListPresetFolder(const std::string& folder, int32_t pluginId,
                                              int nParams)
{
  std::vector<PresetFileEntry> entries;
  DIR* dir = folder.empty() ? nullptr : opendir(folder.c_str());
  if (!dir) return entries;
  while (const dirent* d = readdir(dir))
  {
    const std::string name = d->d_name;
    if (name[0] == '.' || !HasFxpSuffix(name)) continue;
    const std::string path = folder + "/" + name;
    struct stat st;
    const std::string stem = name.substr(0, name.size() - 4);
    if (stat(path.c_str(), &st) != 0)
    {
      // A link to nothing is still a preset the user expects to see; anything else is not there.
      if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        entries.push_back({path, stem, false, "a link to a file that does not exist", {}});
      continue;
    }
    if (S_ISDIR(st.st_mode)) continue;
    entries.push_back(S_ISREG(st.st_mode) ? ReadPresetFor(path, pluginId, nParams)
                                          : PresetFileEntry{path, stem, false, "not a file", {}});
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const PresetFileEntry& a, const PresetFileEntry& b)
            {
              const std::string la = Lower(a.name), lb = Lower(b.name);
              return la != lb ? la < lb : a.path < b.path;
            });
  return entries;
}

bool CleanPresetName(std::string& name, std::string& why)
{
  const size_t first = name.find_first_not_of(' ');
  const size_t last = name.find_last_not_of(' ');
  const std::string trimmed =
      first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
  if (trimmed.empty())
    why = "a preset needs a name";
  else if (trimmed.size() > kMaxPresetNameBytes)
    why = "a preset's name holds at most " + std::to_string(kMaxPresetNameBytes) + " bytes";
  else if (trimmed[0] == '.')
    why = "a preset's name cannot start with '.'";
  else
  {
    for (size_t i = 0; i < trimmed.size();)
    {
      // `why` may come in holding an earlier message: only what is found here decides.
      const unsigned char c = static_cast<unsigned char>(trimmed[i]);
      const size_t n = Utf8Length(trimmed, i);
      const char* fault = n == 0                  ? "a preset's name must be valid UTF-8"
                          : c < 0x20 || c == 0x7f ? "a preset's name cannot hold control characters"
                          : c == '/'              ? "a preset's name cannot hold '/'"
                                                  : nullptr;
      if (fault)
      {
        why = fault;
        return false;
      }
      i += n;
    }
    name = trimmed;
    return true;
  }
  return false;
}

bool SaveUserPreset(const std::string& folder, const std::string& name, int32_t pluginId,
                    int32_t pluginVersion, const std::vector<float>& values, bool replace,
                    std::string& savedPath, std::string& error)
{
  std::string clean = name;
  if (!CleanPresetName(clean, error)) return false;
  if (folder.empty())
  {
    error = "no folder for presets: neither XDG_DATA_HOME nor HOME is set";
    return false;
  }
  if (!MakeFolder(folder, error)) return false;
  const std::string path = folder + "/" + clean + ".fxp";
  // Presets are found by name without regard to case, so "crunch.fxp" beside "Crunch.fxp" would
  // be two presets of one name: the old file is the one being replaced.
  std::string other;
  if (DIR* dir = opendir(folder.c_str()))
  {
    while (const dirent* d = readdir(dir))
      if (Lower(d->d_name) == Lower(clean + ".fxp")) other = folder + "/" + d->d_name;
    closedir(dir);
  }
  struct stat st;
  if (!replace && (lstat(path.c_str(), &st) == 0 || !other.empty()))
  {
    error = "a preset named \"" + clean + "\" exists already";
    return false;
  }
  FxFile file;
  file.mKind = FxFile::kProgramValues;
  file.mPluginId = pluginId;
  file.mPluginVersion = pluginVersion;
  file.mProgram.mName = clean;
  file.mProgram.mValues = values;
  std::vector<unsigned char> bytes;
  if (!WriteFxFile(file, bytes))
  {
    error = "the preset does not fit a preset file";
    return false;
  }
  if (!WriteFileWhole(path, bytes, error)) return false;
  if (!other.empty() && other != path) unlink(other.c_str());
  savedPath = path;
  return true;
}

bool WriteFileWhole(const std::string& path, const std::vector<unsigned char>& bytes,
                    std::string& error)
{
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
  {
    error = "cannot write " + path + ": not a regular file";
    return false;
  }
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0)
  {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  int writeErrno = 0;
  while (done < bytes.size())
  {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
    {
      writeErrno = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  const bool closed = close(fd) == 0;
  if (!writeErrno && !closed) writeErrno = errno;
  if (writeErrno || fchmodat(AT_FDCWD, temp.c_str(), 0644, 0) != 0 ||
      std::rename(temp.c_str(), path.c_str()) != 0)
  {
    error = "cannot write " + path + ": " + std::strerror(writeErrno ? writeErrno : errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}
