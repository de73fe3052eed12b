// artgen.h - the editors' artwork: the amplifier's layout and nine pictures at each scale, and
// TORVA Cab's four.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "raster/lice.h"

namespace artgen
{

// The editor window, and the row of controls whose top-left corners sit at (x, kRowY), in the
// 100 % units the editor keeps its layout in.
constexpr int kPanelW = 1024;
constexpr int kPanelH = 285;
constexpr int kRowY = 100;
constexpr int kKnobSize = 72; // square knob frames
constexpr int kKnobFrames = 31;
constexpr int kSwitchW = 56;
constexpr int kSwitchH = 72;
constexpr double kSweepDegrees = 300; // knob pointer travel, centred on straight up

struct Control
{
  const char* file;    // base name in resources/img
  const char* caption; // printed on the panel
  int x;               // left edge of the control
  int frames;
};

// Left to right as on the panel; the Bypass switch first.
inline constexpr Control kControls[] = {{"BY", "Bypass", 127, 2},
                                        {"PRES", "Presence", 275, kKnobFrames},
                                        {"TREB", "Treble", 357, kKnobFrames},
                                        {"MID", "Middle", 436, kKnobFrames},
                                        {"BASS", "Bass", 514, kKnobFrames},
                                        {"VOL1", "Volume 1", 589, kKnobFrames},
                                        {"VOL2", "Volume 2", 670, kKnobFrames},
                                        {"MASTER", "Master", 749, kKnobFrames}};

// The sizes the editor is shown at, in percent; each has its own pictures, drawn at that size.
inline constexpr int kScales[] = {100, 150, 200};

// A length or position of the layout in pixels at a scale, rounded half up: the size of each
// picture, and where the editor puts a control's corner (Bypass at x 127 lands on 191 at 150 %).
constexpr int Scaled(int length, int percent)
{
  return (length * percent + 50) / 100;
}

struct Picture
{
  std::string file; // "BG.png", "BASS.png", ... at 100 %; "BG@150.png", ... at other scales
  std::shared_ptr<const LICE_MemBitmap> bitmap; // the knobs share one
  bool alpha;                                   // written with its alpha channel
};

// The file of a picture at a scale: "BG.png" at 100 %, "BG@150.png" at 150 %.
std::string FileName(const std::string& base, int percent);

// Draws all nine pictures at one of kScales: the background first, then the strips in kControls
// order.
std::vector<Picture> DrawArtwork(int percent);

// TORVA Cab's four pictures at one of kScales (their layout is TORVACab/CabLayout.h): CAB_BG, the
// amplifier's knob and switch strips as CAB_KNOB and CAB_BY (given, so that they are drawn once)
// and CAB_SEL, the cabinet selector's strip.
std::vector<Picture> DrawCabArtwork(int percent, std::shared_ptr<const LICE_MemBitmap> knob,
                                    std::shared_ptr<const LICE_MemBitmap> toggle);

// Draws both editors' pictures at every scale and writes them into dir (which must exist).
// False with *error set when a file cannot be written.
bool WriteArtwork(const std::string& dir, std::string* error);

} // namespace artgen
