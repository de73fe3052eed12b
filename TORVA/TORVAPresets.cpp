#include "TORVA/TORVAPresets.h"

#include <iterator>

// Values in parameter order. Knob positions are in 64ths, Master in steps of 0.625 dB and the
// volumes in steps of 0.78125 dB: the grid on which every format holds a value exactly. Master
// evens out the loudness: each preset plays the built-in phrase, through TORVA Cab's defaults,
// at -24 LUFS integrated within a few tenths of a dB.
// clang-format off
const FactoryPreset kTORVAPresets[] = {
  // name, description,
  //   Bass     Master   Middle   Presence Treble   Volume 1 Volume 2 Bypass
  {"Clean", "Clear and round, headroom to spare",
    {0.625,   3.75,    0.5,     0.375,   0.5,     3.125,   3.125,   0}},
  {"Sparkle", "Bright clean for chords and arpeggios",
    {0.5,     3.125,   0.375,   0.625,   0.75,    3.125,   0.0,     0}},
  {"Jazz", "Dark and warm, the treble rolled back",
    {0.625,   4.375,   0.5625,  0.125,   0.25,    3.125,   6.25,    0}},
  {"Edge of Breakup", "Clean when played softly, hair when dug in",
    {0.625,   0.0,     0.5,     0.375,   0.5,     12.5,    9.375,   0}},
  {"Crunch", "Rhythm crunch for open chords",
    {0.625,  -1.25,    0.5625,  0.4375,  0.5,     18.75,   15.625,  0}},
  {"Classic Rock", "Mid-forward drive for riffs",
    {0.5625, -1.875,   0.6875,  0.4375,  0.5,     25.0,    18.75,   0}},
  {"Blues Lead", "Singing lead, mids up, treble smooth",
    {0.5625, -1.25,    0.6875,  0.375,   0.4375,  21.875,  25.0,    0}},
  {"Scooped Rhythm", "Deep lows and highs, the mids cut",
    {0.8125, -1.875,   0.125,   0.5,     0.6875,  31.25,   25.0,    0}},
  {"High-Gain Lead", "Saturated lead with long sustain",
    {0.625,  -1.875,   0.5625,  0.5,     0.5,     37.5,    31.25,   0}},
  {"Modern Metal", "Tight, heavy and aggressive",
    {0.75,   -1.25,    0.375,   0.5,     0.5625,  43.75,   37.5,    0}},
  {"Fuzz", "Thick, woolly fuzz",
    {0.6875,  0.625,   0.25,    0.25,    0.4375,  50.0,    43.75,   0}},
  {"Bass", "For bass guitar: full lows, soft top",
    {0.875,   4.375,   0.5,     0.125,   0.25,    6.25,    6.25,    0}},
};
// clang-format on
const int kNumTORVAPresets = static_cast<int>(std::size(kTORVAPresets));
