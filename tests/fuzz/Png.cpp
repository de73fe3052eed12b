// PNG bytes (artwork files) decoded from memory, into a new bitmap and into one that exists.
//
// Input: the PNG. A decoded image has the width and height its header (IHDR) gives, and every
// pixel of it can be read.

#include <memory>

#include "raster/lice_png.h"
#include "tests/fuzz/FuzzCheck.h"

namespace
{
uint32_t BigEndian32(uint8_t const* p)
{
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint32_t PixelSum(LICE_IBitmap const& bmp)
{
  uint32_t sum = 0;
  LICE_pixel const* row = bmp.getBits();
  for (int y = 0; y < bmp.getHeight(); ++y, row += bmp.getRowSpan())
    for (int x = 0; x < bmp.getWidth(); ++x) sum = sum * 31 + row[x];
  return sum;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
  if (size > (1 << 20)) return 0;
  std::unique_ptr<LICE_IBitmap> image(LICE_LoadPNGFromMemory(data, static_cast<int>(size)));

  // Into a bitmap of the caller's: the same outcome; a refusal leaves it whole.
  LICE_MemBitmap mine(3, 2);
  LICE_IBitmap* const into = LICE_LoadPNGFromMemory(data, static_cast<int>(size), &mine);
  FUZZ_CHECK(into == nullptr || into == &mine);
  FUZZ_CHECK((into != nullptr) == (image != nullptr));
  if (!image) return 0;

  // The signature and the header chunk come first in every PNG that decodes.
  FUZZ_CHECK(size >= 24);
  FUZZ_CHECK(static_cast<uint32_t>(image->getWidth()) == BigEndian32(data + 16));
  FUZZ_CHECK(static_cast<uint32_t>(image->getHeight()) == BigEndian32(data + 20));
  FUZZ_CHECK(image->getRowSpan() >= image->getWidth());
  FUZZ_CHECK(mine.getWidth() == image->getWidth() && mine.getHeight() == image->getHeight());
  FUZZ_CHECK(PixelSum(mine) == PixelSum(*image));
  return 0;
}
