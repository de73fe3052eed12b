// lice_png.h - PNG files and in-memory PNG data decoded into 32-bit bitmaps.
//
// Every loader returns the bitmap it filled: the caller's `bmp`, resized to the image, or a new
// LICE_MemBitmap (line alignment 4) that the caller then owns; null on any failure (file not
// found, not a PNG, damaged data, image too large, out of memory). Pixels come out as the
// library's pixel word with straight (unmultiplied) colour; images without alpha get alpha 255.
#pragma once

#include "raster/lice.h"

LICE_IBitmap* LICE_LoadPNG(const char* filename, LICE_IBitmap* bmp = nullptr);
LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int length, LICE_IBitmap* bmp = nullptr);

// Loads `name` from the resource folder of the module this library is linked into: for a
// module at <dir>/<stem>.so (or an executable <dir>/<stem>) that is <dir>/<stem>.resources/,
// and `name` may hold subfolders ("img/knob.png"). Null for names longer than 400 characters.
LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bmp = nullptr);

// Compiled-in resources by numeric id do not exist on this platform: always null.
LICE_IBitmap* LICE_LoadPNGFromResource(void* hInst, const char* resid, LICE_IBitmap* bmp = nullptr);

// The folder LICE_LoadPNGFromNamedResource reads from, with a trailing slash; empty when the
// module's path cannot be found.
const char* LICE_GetResourceFolder();

// A registered image-file loader. Loaders form a list headed by LICE_ImageLoader_list; the PNG
// loader puts itself at the front during static initialisation.
struct _LICE_ImageLoader_rec
{
  LICE_IBitmap* (*loadfunc)(const char* filename, bool checkFileName, LICE_IBitmap* bmpbase);
  const char* (*get_extlist)();
  _LICE_ImageLoader_rec* _next;
};
extern _LICE_ImageLoader_rec* LICE_ImageLoader_list;

class LICE_PNGLoader
{
public:
  _LICE_ImageLoader_rec rec;
  LICE_PNGLoader();

  // With checkFileName, only names whose last extension is ".png" in any case are loaded.
  static LICE_IBitmap* loadfunc(const char* filename, bool checkFileName, LICE_IBitmap* bmpbase);
  // "PNG files (*.PNG)\0*.PNG\0\0": a double-zero-terminated file-dialog filter list.
  static const char* get_extlist();
};
extern LICE_PNGLoader LICE_pngldr;
