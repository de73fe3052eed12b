#pragma once
// The built-in cabinets' impulse responses (resources/ir/*.wav), compiled into the plug-in by the
// same embedding step as the artwork: one entry per file, keyed by its base name.

#include "platform/linux/EmbeddedImages.h"

namespace torva_impulses
{
using Image = torva_images::Image;

extern const Image kImages[];
extern const int kCount;
} // namespace torva_impulses
