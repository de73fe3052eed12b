// torva-artgen: draws the amplifier editor's artwork.
//
//   torva-artgen DIR [--preview FILE.png]
//
// writes BG.png, the seven knob strips and the Bypass switch strip into DIR. The committed
// pictures are regenerated from the source tree with
//
//   build/bin/torva-artgen resources/img
//
// and a test checks that this reproduces them byte for byte, so rerun it after any change to
// tools/artgen/. The output depends on nothing but the code, the DejaVu fonts and libpng/zlib:
// no clock, no environment. --preview also writes the background with the controls placed on
// it at several settings, to look at.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/artgen/artgen.h"
#include "tools/artgen/paint.h"

namespace
{

// The panel as the editor shows it, knobs at frames spread over their travel, switch on.
bool WritePreview(const std::string& path, std::string* error)
{
  const std::vector<artgen::Picture> pics = artgen::DrawArtwork();
  LICE_MemBitmap panel;
  LICE_Copy(&panel, pics[0].bitmap.get());
  for (size_t i = 1; i < pics.size(); ++i)
  {
    const artgen::Control& c = artgen::kControls[i - 1];
    const LICE_IBitmap* strip = pics[i].bitmap.get();
    const int fh = strip->getHeight() / c.frames;
    const int frame = (int)((i - 1) * (c.frames - 1) / (pics.size() - 2));
    LICE_Blit(&panel, strip, c.x, artgen::kRowY, 0, frame * fh, strip->getWidth(), fh, 1.0f,
              LICE_COMBINE_COPY | LICE_COMBINE_USE_ALPHA);
  }
  return artgen::WritePng(path, panel, false, error);
}

} // namespace

int main(int argc, char** argv)
{
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--preview") == 0))
  {
    std::fprintf(stderr, "usage: torva-artgen DIR [--preview FILE.png]\n");
    return 2;
  }
  std::string error;
  if (!artgen::WriteArtwork(argv[1], &error) || (argc == 4 && !WritePreview(argv[3], &error)))
  {
    std::fprintf(stderr, "torva-artgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
