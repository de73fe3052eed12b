#pragma once
// TORVA Cab's factory presets, the one table every format's presets are written from. They set
// the parameters only: the user's file, part of the state, stays as it is.

#include "framework/FactoryPresets.h"

extern const FactoryPreset kCabPresets[];
extern const int kNumCabPresets;
