// artgen.h - the amplifier editor's artwork: layout and the nine pictures.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "raster/lice.h"

namespace artgen
{

// The editor window, and the row of controls whose top-left corners sit at (x, kRowY).
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

struct Picture
{
  std::string file; // "BG.png", "BASS.png", ...
  std::unique_ptr<LICE_MemBitmap> bitmap;
  bool alpha; // written with its alpha channel
};

// Draws all nine pictures: the background first, then the strips in kControls order.
std::vector<Picture> DrawArtwork();

// Draws the pictures and writes them into dir (which must exist). False with *error set when a
// file cannot be written.
bool WriteArtwork(const std::string& dir, std::string* error);

} // namespace artgen
