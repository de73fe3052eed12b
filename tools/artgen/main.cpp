// torva-artgen: draws the editors' artwork.
//
//   torva-artgen DIR [--preview FILE.png [--scale PERCENT]]
//
// writes the amplifier's BG.png, seven knob strips and Bypass switch strip into DIR, then TORVA
// Cab's CAB_BG.png, CAB_KNOB.png, CAB_BY.png and CAB_SEL.png, and the same drawn at each larger
// size the editors are shown at, named with the size before the extension (BG@150.png, ...). The
// committed pictures are regenerated from the source tree with
//
//   build/regular/bin/torva-artgen resources/img
//
// and a test checks that this reproduces them byte for byte, so rerun it after any change to
// tools/artgen/. The output depends on nothing but the code, the DejaVu fonts and libpng/zlib:
// no clock, no environment. --preview also writes the amplifier's background with the controls
// placed on it at several settings, as the editor places them at the given scale (100 unless told),
// to look at.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "tools/artgen/artgen.h"
#include "tools/artgen/paint.h"

namespace
{

// The panel as the editor shows it, knobs at frames spread over their travel, switch on.
bool WritePreview(const std::string& path, int percent, std::string* error)
{
  const std::vector<artgen::Picture> pics = artgen::DrawArtwork(percent);
  LICE_MemBitmap panel;
  LICE_Copy(&panel, pics[0].bitmap.get());
  for (size_t i = 1; i < pics.size(); ++i)
  {
    const artgen::Control& c = artgen::kControls[i - 1];
    const LICE_IBitmap* strip = pics[i].bitmap.get();
    const int fh = strip->getHeight() / c.frames;
    const int frame = (int)((i - 1) * (c.frames - 1) / (pics.size() - 2));
    LICE_Blit(&panel, strip, artgen::Scaled(c.x, percent), artgen::Scaled(artgen::kRowY, percent),
              0, frame * fh, strip->getWidth(), fh, 1.0f,
              LICE_COMBINE_COPY | LICE_COMBINE_USE_ALPHA);
  }
  return artgen::WritePng(path, panel, false, error);
}

} // namespace

int main(int argc, char** argv)
{
  const char* preview = nullptr;
  int percent = 100;
  bool ok = argc >= 2;
  for (int i = 2; ok && i < argc; i += 2)
  {
    ok = i + 1 < argc;
    if (ok && std::strcmp(argv[i], "--preview") == 0)
      preview = argv[i + 1];
    else if (ok && std::strcmp(argv[i], "--scale") == 0)
      percent = std::atoi(argv[i + 1]);
    else
      ok = false;
  }
  if (!ok || std::find(std::begin(artgen::kScales), std::end(artgen::kScales), percent) ==
                 std::end(artgen::kScales))
  {
    std::fprintf(stderr, "usage: torva-artgen DIR [--preview FILE.png [--scale 100|150|200]]\n");
    return 2;
  }
  std::string error;
  if (!artgen::WriteArtwork(argv[1], &error) ||
      (preview && !WritePreview(preview, percent, &error)))
  {
    std::fprintf(stderr, "torva-artgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
