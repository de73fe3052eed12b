#pragma once
// Where the Linux editor finds a size of its own: the user's remembered choice, the TORVA_SCALE
// environment variable and the X server's Xft.dpi. Each answers in percent, 0 for no answer. The
// settings file that remembers the size keeps the editors' other settings too.

#include <mutex>
#include <string>

namespace editor_scale
{

// $XDG_CONFIG_HOME/torva/editor (~/.config/torva/editor without it); "" with neither set.
std::string SettingsPath();

// The settings file holds one "key=value" line per setting: "scale=150", and the editors' own
// (TORVA Cab's "ir_folder=/home/me/irs"). Each editor reads and rewrites its keys and keeps the
// lines it does not know as they are.

// The remembered size (the "scale" line). A missing file or line is no answer; a file that is
// unreadable, not such lines, or whose size line is not one of the sizes offered is no answer and
// one line on stderr (once per file in the process, however often hosts ask).
int ReadStoredScale(const std::string& path);
// Sets the "scale" line (making the folder); false with one line on stderr when it cannot.
bool WriteStoredScale(const std::string& path, int scale);

// The value of key's line, "" when the file or the line is missing or the file unreadable.
std::string ReadSetting(const std::string& path, const char* key);
// Sets key's line to value, the other lines kept (a value with a line break is refused). The
// file is replaced in one step; false with one line on stderr when it cannot be.
bool WriteSetting(const std::string& path, const char* key, const std::string& value);

// A scale as people write it: a factor ("1.5", "2") or a percentage ("150", "150%"). 0 for
// anything else, nothing but blanks after it allowed.
int ParseScaleText(const char* text);

// Xft.dpi over 96 from the text of an X resource database ("Xft.dpi:\t144" gives 150).
int ScaleFromResources(const std::string& resources);
// The same from the server named by DISPLAY (the root window's RESOURCE_MANAGER property),
// through a short connection of its own; 0 without a display or the resource.
int QueryServerScale();

// Held around xcb_connect: libXau looks the cookie up in a static buffer, so editors opening on
// several host threads connect one at a time.
std::mutex& ConnectMutex();

} // namespace editor_scale
