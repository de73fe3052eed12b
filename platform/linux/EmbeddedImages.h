#pragma once
// The PNG files of resources/img/, compiled into the plug-in by EmbedImages.cmake: one entry per
// file, keyed by its base name ("BG" for BG.png).

namespace torva_images
{
struct Image
{
  const char* mName;
  const unsigned char* mData;
  int mSize;
};

extern const Image kImages[];
extern const int kCount;
} // namespace torva_images
