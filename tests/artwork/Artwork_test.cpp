// The editors' artwork at every scale they are shown at: the committed pictures are what the
// generator draws, byte for byte, and they fit the amplifier's layout (sizes, frame counts, where
// the controls land, pointer travel, switch states) and the cabinet selector's positions.
#include <cmath>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "TORVACab/CabLayout.h"
#include "support/TempFiles.h"
#include "support/golden.h"
#include "tools/artgen/artgen.h"

using torva_test::Image;

namespace
{

const std::string kImgDir = std::string(TORVA_SOURCE_DIR) + "/resources/img/";

// Picture sizes worked out by hand, round-half-up(length * percent / 100), one per scale.
struct Sizes
{
  int percent, panelW, panelH, knob, switchW, switchH;
};
constexpr Sizes kSizes[] = {
    {100, 1024, 285, 72, 56, 72}, {150, 1536, 428, 108, 84, 108}, {200, 2048, 570, 144, 112, 144}};
static_assert(std::size(kSizes) == std::size(artgen::kScales));

Image Load(const char* base, int percent)
{
  Image img;
  std::string error;
  EXPECT_TRUE(torva_test::ReadPng(kImgDir + artgen::FileName(base, percent), &img, &error))
      << error;
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

// How far right of a control's middle the ink of the background beside it lies (the top tick of
// a knob's scale, the switch's shadow), each pixel weighted by how much darker than grey 140.
double InkOffset(const Image& img, bool knob, double mid, double top, double k)
{
  double sum = 0, weight = 0;
  for (int y = (int)(top + (knob ? 2 : 36) * k); y < (int)(top + (knob ? 7 : 40) * k); ++y)
    for (int x = (int)(mid - (knob ? 4 : 18) * k); x < (int)(mid + (knob ? 4 : 22) * k); ++x)
    {
      const uint32_t p = At(img, x, y);
      const double w = std::max(0.0, 140 - ((p >> 16 & 255) + (p >> 8 & 255) + (p & 255)) / 3.0);
      sum += w * (x + 0.5), weight += w;
    }
  return sum / weight - mid;
}

class ArtworkAt : public testing::TestWithParam<Sizes>
{
protected:
  const int percent = GetParam().percent;
  const double k = percent / 100.0;
};

INSTANTIATE_TEST_SUITE_P(Scales, ArtworkAt, testing::ValuesIn(kSizes),
                         [](const auto& info) { return std::to_string(info.param.percent); });

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
        << name << " differs; rerun build/regular/bin/torva-artgen resources/img";
    ++files;
  }
  EXPECT_EQ(files, (9 + 4) * (int)std::size(artgen::kScales)); // the amplifier's, TORVA Cab's
}

TEST_P(ArtworkAt, PicturesFitTheLayout)
{
  const Sizes& s = GetParam();
  const Image bg = Load("BG", percent), full = Load("BG", 100);
  EXPECT_EQ(bg.width, s.panelW);
  EXPECT_EQ(bg.height, s.panelH);
  for (uint32_t p : bg.pixels) ASSERT_EQ(p >> 24, 255u) << "background must be opaque";

  int previousRight = 0;
  for (const artgen::Control& c : artgen::kControls)
  {
    SCOPED_TRACE(c.file);
    const Image strip = Load(c.file, percent);
    const bool knob = c.frames == artgen::kKnobFrames;
    const int fh = knob ? s.knob : s.switchH;
    ASSERT_EQ(strip.width, knob ? s.knob : s.switchW);
    ASSERT_EQ(strip.height, c.frames * fh);
    // Where the editor puts them, controls sit side by side on one row inside the window.
    const int x = artgen::Scaled(c.x, percent);
    EXPECT_LE(previousRight, x);
    const int top = artgen::Scaled(artgen::kRowY, percent);
    EXPECT_LE(top + fh, s.panelH);
    previousRight = x + strip.width;
    // What the background draws beside the control is centred where the editor puts it, not
    // half a pixel off: as far from its middle as at 100 %, scaled.
    const int fullW = knob ? kSizes[0].knob : kSizes[0].switchW;
    EXPECT_NEAR(InkOffset(bg, knob, x + strip.width / 2.0, top, k),
                InkOffset(full, knob, c.x + fullW / 2.0, artgen::kRowY, 1) * k, 0.25);
    // The frame corners are clear, so that the scale printed on the background shows.
    for (int f = 0; f < c.frames; ++f)
      for (int corner = 0; corner < 4; ++corner)
        EXPECT_EQ(At(strip, corner % 2 ? strip.width - 1 : 0, f * fh + (corner / 2 ? fh - 1 : 0)) >>
                      24,
                  0u);
  }
  EXPECT_LE(previousRight, s.panelW);
}

// The pointer (the light line on the dark knob) of each frame points where it should: the knob's
// turns by equal steps from 150 degrees left of straight up at the first frame to 150 degrees
// right at the last, TORVA Cab's selector points at each of its positions. Nothing else of the
// knob changes.
TEST_P(ArtworkAt, PointersTurnAndTheKnobBodyStaysPut)
{
  const struct
  {
    const char* file;
    int frames;
    double r0, r1; // where the pointer's line runs, from the centre
  } strips[] = {{"BASS", artgen::kKnobFrames, 19, 26},
                {"CAB_SEL", cab_layout::kSelectorPositions, 15, 29}};
  for (const auto& s : strips)
  {
    const Image strip = Load(s.file, percent);
    const int fh = strip.height / s.frames;
    ASSERT_EQ(fh, strip.width);
    auto pointer = [&](uint32_t p, double dx, double dy)
    {
      const double r = std::hypot(dx, dy) / k;
      return r > s.r0 && r < s.r1 && ((p >> 16) & 255) > 180 && (p & 255) > 160;
    };
    for (int f = 0; f < s.frames; ++f)
    {
      double x, y;
      ASSERT_TRUE(Centroid(strip, fh, f, pointer, &x, &y)) << s.file << " frame " << f + 1;
      const double expected =
          s.frames == artgen::kKnobFrames
              ? -artgen::kSweepDegrees / 2 + artgen::kSweepDegrees * f / (s.frames - 1)
              : cab_layout::kSelectorDegrees[f];
      EXPECT_NEAR(std::atan2(x, -y) * 180 / M_PI, expected, 3.0) << s.file << " frame " << f + 1;
    }
  }
  const Image strip = Load("BASS", percent);
  const int fh = strip.height / artgen::kKnobFrames;
  // Outside the pointer's reach every frame equals the first.
  for (int f = 1; f < artgen::kKnobFrames; ++f)
    for (int y = 0; y < fh; ++y)
      for (int x = 0; x < strip.width; ++x)
      {
        const double r = std::hypot(x + 0.5 - fh / 2.0, y + 0.5 - fh / 2.0);
        if (r < 26.5 * k) continue;
        ASSERT_EQ(At(strip, x, f * fh + y), At(strip, x, y))
            << "frame " << f + 1 << " at " << x << "," << y;
      }
  // All seven knobs share one strip, and TORVA Cab's four.
  for (const artgen::Control& c : artgen::kControls)
    if (c.frames == artgen::kKnobFrames)
    {
      EXPECT_EQ(Load(c.file, percent).pixels, strip.pixels) << c.file;
    }
  EXPECT_EQ(Load("CAB_KNOB", percent).pixels, strip.pixels);
}

// Bypass off (upper frame) has the lever down, on (lower frame) has it up.
TEST_P(ArtworkAt, SwitchLeverFollowsItsState)
{
  const Image sw = Load("BY", percent);
  const int fh = sw.height / 2;
  auto lever = [this](uint32_t p, double dx, double dy)
  { return (p >> 24) > 128 && std::hypot(dx, dy) > 16 * k; };
  for (int f : {0, 1})
  {
    double x, y;
    ASSERT_TRUE(Centroid(sw, fh, f, lever, &x, &y));
    EXPECT_GT(f ? -y : y, 10 * k) << "frame " << f; // below the centre when off, above when on
  }
}
