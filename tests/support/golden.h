// Golden-image checks for pixel-exact drawing tests.
//
//   ExpectMatchesGolden(bitmap, "gradrect_corners", "what this picture guards");
//
// compares the bitmap pixel for pixel with tests/golden/<name>.png and reports the first
// differences as a test failure; the picture actually drawn is then written to
// <build>/golden-actual/<name>.png for a look. With TORVA_REGEN_GOLDEN=1 in the environment the
// golden file is (re)written instead, with the description stored in the PNG as its
// "Description" text. A missing golden file fails the test unless regenerating.
//
// Pixels are the raster library's words (0xAARRGGBB); the PNG files hold straight RGBA.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/lice.h"

namespace torva_test
{

struct Image
{
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels; // row by row, 0xAARRGGBB, no padding
};

// Reads a PNG file of any colour type into 0xAARRGGBB words; false (with *error set) on failure.
bool ReadPng(const std::string& path, Image* out, std::string* error = nullptr);
// Writes an 8-bit RGBA PNG; description (if not empty) goes into a "Description" text chunk.
bool WritePng(const std::string& path, const Image& image, const std::string& description = {},
              std::string* error = nullptr);

// Copies a bitmap's picture rows (honouring isFlipped) into an Image.
Image ImageOf(const LICE_IBitmap& bitmap);

bool RegeneratingGoldens();
std::string GoldenPath(const std::string& name);

// Adds a gtest failure when the image differs from the golden one (see above).
void ExpectMatchesGolden(const Image& image, const std::string& name,
                         const std::string& description = {});
inline void ExpectMatchesGolden(const LICE_IBitmap& bitmap, const std::string& name,
                                const std::string& description = {})
{
  ExpectMatchesGolden(ImageOf(bitmap), name, description);
}

} // namespace torva_test

using torva_test::ExpectMatchesGolden;
