// The editor's artwork: the committed pictures are what the generator draws, byte for byte,
// and they fit the editor's layout (sizes, frame counts, pointer travel, switch states).
#include <cmath>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/TempFiles.h"
#include "support/golden.h"
#include "tools/artgen/artgen.h"

using torva_test::Image;

namespace
{

const std::string kImgDir = std::string(TORVA_SOURCE_DIR) + "/resources/img/";

Image Load(const std::string& name)
{
  Image img;
  std::string error;
  EXPECT_TRUE(torva_test::ReadPng(kImgDir + name, &img, &error)) << error;
  return img;
}

uint32_t At(const Image& img, int x, int y)
{
  return img.pixels[(size_t)y * img.width + x];
}

// Centre of the pixels of frame `frame` (frames stacked, each img.width square or fh high)
// that pass `keep`, relative to the frame's centre.
template <class Keep>
bool Centroid(const Image& img, int fh, int frame, Keep keep, double* cx, double* cy)
{
  double sx = 0, sy = 0, n = 0;
  for (int y = 0; y < fh; ++y)
    for (int x = 0; x < img.width; ++x)
    {
      const double dx = x + 0.5 - img.width / 2.0, dy = y + 0.5 - fh / 2.0;
      if (keep(At(img, x, frame * fh + y), dx, dy)) sx += dx, sy += dy, n += 1;
    }
  if (n == 0) return false;
  *cx = sx / n, *cy = sy / n;
  return true;
}

} // namespace

TEST(Artwork, GeneratorReproducesTheCommittedFiles)
{
  torva_test::TempDir dir;
  std::string error;
  ASSERT_TRUE(artgen::WriteArtwork(dir.Path(), &error)) << error;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
  {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(torva_test::ReadFile(entry.path()) == torva_test::ReadFile(kImgDir + name))
        << name << " differs from resources/img; rerun build/bin/torva-artgen resources/img";
    ++files;
  }
  EXPECT_EQ(files, 9);
}

TEST(Artwork, PicturesFitTheLayout)
{
  const Image bg = Load("BG.png");
  EXPECT_EQ(bg.width, artgen::kPanelW);
  EXPECT_EQ(bg.height, artgen::kPanelH);
  for (uint32_t p : bg.pixels) ASSERT_EQ(p >> 24, 255u) << "background must be opaque";

  int previousRight = 0;
  for (const artgen::Control& c : artgen::kControls)
  {
    SCOPED_TRACE(c.file);
    const Image strip = Load(std::string(c.file) + ".png");
    ASSERT_GT(strip.width, 0);
    ASSERT_EQ(strip.height % c.frames, 0);
    const int fh = strip.height / c.frames;
    // Controls sit side by side on one row without overlapping, inside the window.
    EXPECT_LE(previousRight, c.x);
    EXPECT_LE(artgen::kRowY + fh, artgen::kPanelH);
    previousRight = c.x + strip.width;
    // The frame corners are clear, so that the scale printed on the background shows.
    for (int f = 0; f < c.frames; ++f)
      for (int corner = 0; corner < 4; ++corner)
        EXPECT_EQ(At(strip, corner % 2 ? strip.width - 1 : 0, f * fh + (corner / 2 ? fh - 1 : 0)) >>
                      24,
                  0u);
  }
  EXPECT_LE(previousRight, artgen::kPanelW);
}

// The pointer (the light line on the dark skirt) turns by equal steps from 150 degrees left of
// straight up at the first frame to 150 degrees right at the last; nothing else changes.
TEST(Artwork, KnobPointerSweepsAndTheBodyStaysPut)
{
  const Image strip = Load("BASS.png");
  const int fh = strip.height / artgen::kKnobFrames;
  ASSERT_EQ(fh, strip.width);
  auto pointer = [](uint32_t p, double dx, double dy)
  {
    const double r = std::hypot(dx, dy);
    return r > 19 && r < 26 && ((p >> 16) & 255) > 180 && (p & 255) > 160;
  };
  for (int f = 0; f < artgen::kKnobFrames; ++f)
  {
    double x, y;
    ASSERT_TRUE(Centroid(strip, fh, f, pointer, &x, &y)) << "no pointer in frame " << f + 1;
    const double degrees = std::atan2(x, -y) * 180 / M_PI;
    const double expected =
        -artgen::kSweepDegrees / 2 + artgen::kSweepDegrees * f / (artgen::kKnobFrames - 1);
    EXPECT_NEAR(degrees, expected, 3.0) << "frame " << f + 1;
  }
  // Outside the pointer's reach every frame equals the first.
  for (int f = 1; f < artgen::kKnobFrames; ++f)
    for (int y = 0; y < fh; ++y)
      for (int x = 0; x < strip.width; ++x)
      {
        const double r = std::hypot(x + 0.5 - fh / 2.0, y + 0.5 - fh / 2.0);
        if (r < 26.5) continue;
        ASSERT_EQ(At(strip, x, f * fh + y), At(strip, x, y))
            << "frame " << f + 1 << " at " << x << "," << y;
      }
  // All seven knobs share one strip.
  for (const artgen::Control& c : artgen::kControls)
    if (c.frames == artgen::kKnobFrames)
    {
      EXPECT_EQ(Load(std::string(c.file) + ".png").pixels, strip.pixels) << c.file;
    }
}

// Bypass off (upper frame) has the lever down, on (lower frame) has it up.
TEST(Artwork, SwitchLeverFollowsItsState)
{
  const Image sw = Load("BY.png");
  const int fh = sw.height / 2;
  auto lever = [](uint32_t p, double dx, double dy)
  { return (p >> 24) > 128 && std::hypot(dx, dy) > 16; };
  for (int f : {0, 1})
  {
    double x, y;
    ASSERT_TRUE(Centroid(sw, fh, f, lever, &x, &y));
    EXPECT_GT(f ? -y : y, 10) << "frame " << f; // below the centre when off, above when on
  }
}
