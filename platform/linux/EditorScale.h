#pragma once
// Where the Linux editor finds a size of its own: the user's remembered choice, the TORVA_SCALE
// environment variable and the X server's Xft.dpi. Each answers in percent, 0 for no answer.

#include <mutex>
#include <string>

namespace editor_scale
{

// $XDG_CONFIG_HOME/torva/editor (~/.config/torva/editor without it); "" with neither set.
std::string SettingsPath();

// The remembered size from the one-line settings file ("scale=150"). A missing file is no
// answer; unreadable or foreign content is no answer and one line on stderr (once per file in
// the process, however often hosts ask).
int ReadStoredScale(const std::string& path);
// Writes the line (making the folder); false with one line on stderr when it cannot.
bool WriteStoredScale(const std::string& path, int scale);

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
