#include "platform/linux/EditorScale.h"

#include <sys/stat.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "graphics/IGraphics.h"

namespace editor_scale
{
namespace
{

constexpr const char* kScaleKey = "scale";
// Room for a few settings that name folders.
constexpr size_t kMaxSettingsBytes = 16 * 1024;

// One line per distinct complaint, however often hosts ask for the editor's size.
void WarnOnce(const std::string& what)
{
  static std::mutex sMutex;
  static std::set<std::string> sSaid;
  std::lock_guard<std::mutex> lock(sMutex);
  if (sSaid.insert(what).second) std::fprintf(stderr, "torva: %s\n", what.c_str());
}

bool IsBlank(const char* p, const char* end)
{
  for (; p < end; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') return false;
  return true;
}

bool IsOffered(int scale)
{
  for (int s : IGraphics::kScales)
    if (s == scale) return true;
  return false;
}

} // namespace

std::string SettingsPath()
{
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/torva/editor";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config/torva/editor";
  return "";
}

namespace
{

// The file's lines, without their line breaks. False when it is missing (*pWhy empty), cannot be
// read or is too long to be settings (*pWhy says which).
bool ReadLines(const std::string& path, std::vector<std::string>* pLines, std::string* pWhy)
{
  pWhy->clear();
  pLines->clear();
  FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (!f)
  {
    if (!path.empty() && errno != ENOENT) *pWhy = std::strerror(errno);
    return false;
  }
  std::string text(kMaxSettingsBytes + 1, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), f));
  if (std::ferror(f)) *pWhy = std::strerror(errno);
  std::fclose(f);
  if (pWhy->empty() && text.size() > kMaxSettingsBytes) *pWhy = "too long";
  if (!pWhy->empty()) return false;
  for (size_t at = 0; at < text.size();)
  {
    size_t eol = text.find('\n', at);
    if (eol == std::string::npos) eol = text.size();
    pLines->push_back(text.substr(at, eol - at));
    at = eol + 1;
  }
  return true;
}

// The line's key ("scale" of "scale=150"), "" for a line that is not a setting. Keys are lower
// case letters and underscores.
std::string KeyOf(const std::string& line)
{
  const size_t eq = line.find('=');
  if (eq == 0 || eq == std::string::npos) return "";
  for (size_t i = 0; i < eq; ++i)
    if (!((line[i] >= 'a' && line[i] <= 'z') || line[i] == '_')) return "";
  return line.substr(0, eq);
}

bool IsSettingOrBlank(const std::string& line)
{
  return !KeyOf(line).empty() || IsBlank(line.data(), line.data() + line.size());
}

} // namespace

int ReadStoredScale(const std::string& path)
{
  std::vector<std::string> lines;
  std::string why;
  if (!ReadLines(path, &lines, &why))
  {
    if (!why.empty()) WarnOnce("cannot read " + path + " (" + why + "); ignoring it");
    return 0;
  }
  int scale = 0, found = 0;
  bool foreign = false;
  for (const std::string& line : lines)
  {
    foreign = foreign || !IsSettingOrBlank(line);
    if (KeyOf(line) != kScaleKey) continue;
    ++found;
    const char* value = line.c_str() + std::strlen(kScaleKey) + 1;
    const char* end = line.c_str() + line.size();
    const auto res = std::from_chars(value, end, scale);
    if (res.ec != std::errc() || !IsBlank(res.ptr, end) || !IsOffered(scale)) scale = 0;
  }
  if (found > 1 || foreign) scale = 0;
  if (!scale && (found || foreign))
    WarnOnce(path + " is not a TORVA editor settings file (expected lines such as \"scale=100\", "
                    "\"scale=150\" or \"scale=200\"); ignoring it");
  return scale;
}

bool WriteStoredScale(const std::string& path, int scale)
{
  return WriteSetting(path, kScaleKey, std::to_string(scale));
}

std::string ReadSetting(const std::string& path, const char* key)
{
  std::vector<std::string> lines;
  std::string why;
  if (!ReadLines(path, &lines, &why)) return "";
  for (const std::string& line : lines)
    if (KeyOf(line) == key) return line.substr(std::strlen(key) + 1);
  return "";
}

bool WriteSetting(const std::string& path, const char* key, const std::string& value)
{
  if (path.empty() || value.find_first_of("\r\n") != std::string::npos) return false;
  // What is there now, the key's line replaced where it was (or added at the end); a file that
  // cannot be read starts afresh.
  std::vector<std::string> lines;
  std::string why;
  ReadLines(path, &lines, &why);
  const std::string setting = std::string(key) + "=" + value;
  bool placed = false;
  for (size_t i = 0; i < lines.size();)
  {
    if (KeyOf(lines[i]) != key)
      ++i;
    else if (placed)
      lines.erase(lines.begin() + (long)i);
    else
      lines[i++] = setting, placed = true;
  }
  if (!placed) lines.push_back(setting);

  // The folders on the way, as mkdir -p would.
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), 0755);
  const std::string temp = path + ".new";
  FILE* f = std::fopen(temp.c_str(), "wb");
  bool ok = f != nullptr;
  for (const std::string& line : lines) ok = ok && std::fprintf(f, "%s\n", line.c_str()) > 0;
  if (f) ok = std::fclose(f) == 0 && ok;
  // Replaced in one step: an editor reading at the same moment sees the old lines or the new.
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok)
  {
    std::remove(temp.c_str());
    std::fprintf(stderr, "torva: cannot remember the editor's %s in %s (%s)\n", key, path.c_str(),
                 std::strerror(errno));
  }
  return ok;
}

int ParseScaleText(const char* text)
{
  if (!text) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  const char* end = text + std::strlen(text);
  double v = 0.0;
  const auto res = std::from_chars(text, end, v, std::chars_format::fixed);
  if (res.ec != std::errc() || !std::isfinite(v) || v <= 0.0) return 0;
  const char* rest = res.ptr;
  while (*rest == ' ' || *rest == '\t') ++rest;
  const bool percent = *rest == '%';
  if (percent) ++rest;
  if (!IsBlank(rest, end)) return 0;
  // Up to 8 is a factor, beyond it a percentage, as nobody means an 800 % editor.
  const double factor = percent || v > 8.0 ? v / 100.0 : v;
  return IGraphics::NearestScale(factor);
}

int ScaleFromResources(const std::string& resources)
{
  // One resource per line, "name:\tvalue".
  size_t at = 0;
  while (at < resources.size())
  {
    size_t eol = resources.find('\n', at);
    if (eol == std::string::npos) eol = resources.size();
    const std::string line = resources.substr(at, eol - at);
    at = eol + 1;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (name != "Xft.dpi") continue;
    const char* p = line.c_str() + colon + 1;
    while (*p == ' ' || *p == '\t') ++p;
    double dpi = 0.0;
    const auto res = std::from_chars(p, line.c_str() + line.size(), dpi, std::chars_format::fixed);
    if (res.ec != std::errc() || !std::isfinite(dpi) || dpi <= 0.0) return 0;
    return IGraphics::NearestScale(dpi / 96.0);
  }
  return 0;
}

std::mutex& ConnectMutex()
{
  static std::mutex sMutex;
  return sMutex;
}

int QueryServerScale()
{
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return 0;
  xcb_connection_t* conn;
  {
    std::lock_guard<std::mutex> lock(ConnectMutex());
    conn = xcb_connect(display, nullptr);
  }
  int scale = 0;
  if (!xcb_connection_has_error(conn))
  {
    // The resources live on the first screen's root.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    if (screen)
    {
      const xcb_get_property_cookie_t cookie = xcb_get_property(
          conn, 0, screen->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 64 * 1024 / 4);
      if (xcb_get_property_reply_t* reply = xcb_get_property_reply(conn, cookie, nullptr))
      {
        const int len = xcb_get_property_value_length(reply);
        if (reply->format == 8 && len > 0)
          scale = ScaleFromResources(
              std::string(static_cast<const char*>(xcb_get_property_value(reply)), (size_t)len));
        free(reply);
      }
    }
  }
  xcb_disconnect(conn);
  return scale;
}

} // namespace editor_scale
