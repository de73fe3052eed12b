#pragma once
// The built-in cabinets' impulse responses (resources/ir/*.wav), compiled into the plug-in by the
// same embedding step as the artwork: one entry per file, keyed by its base name.

namespace torva_impulses
{
struct Image
{
  const char* mName;
  const unsigned char* mData;
  int mSize;
};

extern const Image kImages[];
extern const int kCount;
} // namespace torva_impulses
