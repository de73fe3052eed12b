#pragma once
// TORVA's factory presets, the one table every format's presets are written from.

#include "framework/FactoryPresets.h"

extern const FactoryPreset kTORVAPresets[];
extern const int kNumTORVAPresets;
