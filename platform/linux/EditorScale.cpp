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

#include "graphics/IGraphics.h"

namespace editor_scale
{
namespace
{

constexpr const char* kKey = "scale=";
constexpr size_t kMaxSettingsBytes = 256;

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

int ReadStoredScale(const std::string& path)
{
  if (path.empty()) return 0;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
  {
    if (errno != ENOENT)
      WarnOnce("cannot read " + path + " (" + std::strerror(errno) + "); ignoring it");
    return 0;
  }
  char buf[kMaxSettingsBytes + 1];
  const size_t n = std::fread(buf, 1, sizeof buf, f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  const char* end = buf + n;
  int scale = 0;
  const size_t keyLen = std::strlen(kKey);
  if (!failed && n <= kMaxSettingsBytes && n > keyLen && std::memcmp(buf, kKey, keyLen) == 0)
  {
    const auto res = std::from_chars(buf + keyLen, end, scale);
    if (res.ec != std::errc() || !IsBlank(res.ptr, end) || !IsOffered(scale)) scale = 0;
  }
  if (!scale)
    WarnOnce(path + " is not a TORVA editor settings file (expected one line \"scale=100\", "
                    "\"scale=150\" or \"scale=200\"); ignoring it");
  return scale;
}

bool WriteStoredScale(const std::string& path, int scale)
{
  if (path.empty()) return false;
  // The folders on the way, as mkdir -p would.
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), 0755);
  const std::string temp = path + ".new";
  FILE* f = std::fopen(temp.c_str(), "wb");
  bool ok = f && std::fprintf(f, "%s%d\n", kKey, scale) > 0;
  if (f) ok = std::fclose(f) == 0 && ok;
  // Replaced in one step: an editor reading at the same moment sees the old line or the new.
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok)
  {
    std::remove(temp.c_str());
    std::fprintf(stderr, "torva: cannot remember the editor size in %s (%s)\n", path.c_str(),
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
