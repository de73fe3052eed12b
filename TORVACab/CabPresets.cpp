#include "TORVACab/CabPresets.h"

#include <iterator>

// Values in parameter order, each on the grid where every format holds it exactly: the cuts at
// squares of 8ths or 16ths of their travel, Level in 64ths of its range. Level evens out the
// cabinets' loudness around unity, so a preset changes the sound, not the level.
// clang-format off
const FactoryPreset kCabPresets[] = {
  // name, description,
  //   Cabinet Low cut  High cut   Mix     Level     Bypass
  {"4x12 Tight", "Closed 4x12, lows firmed up for high gain",
    {0,      87.5,    8421.875,  100.0,  0.1875,   0}},
  {"4x12 Full", "Closed 4x12, the whole range",
    {0,      27.5,    11687.5,   100.0,  0.1875,   0}},
  {"2x12 Open Air", "Open-back 2x12, wide and airy",
    {1,      50.0,    11687.5,   100.0, -0.46875,  0}},
  {"2x12 Dark", "Open-back 2x12 with the top rolled off",
    {1,      50.0,    3671.875,  100.0,  0.84375,  0}},
  {"1x12 Combo", "The combo's own speaker, a touch of honk",
    {2,      66.875,  8421.875,  100.0, -0.46875,  0}},
  {"1x10 Small Box", "Small and boxy, for a lo-fi cut",
    {3,      87.5,    5750.0,    100.0,  0.1875,   0}},
};
// clang-format on
const int kNumCabPresets = static_cast<int>(std::size(kCabPresets));
