// PNG bytes (artwork files) decoded from memory, into a new bitmap and into one that exists.
//
// Input: the PNG. Each whole chunk's CRC is set right before decoding, so that mutations reach
// the decoder instead of stopping at a checksum. A decoded image has the width and height its
// header (IHDR) gives, and every pixel of it can be read.

#include <zlib.h>

#include <memory>
#include <vector>

#include "raster/lice_png.h"
#include "tests/fuzz/FuzzCheck.h"

namespace
{
uint32_t BigEndian32(uint8_t const* p)
{
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void FixCrcs(std::vector<uint8_t>& png)
{
  for (size_t at = 8; png.size() >= 12 && at <= png.size() - 12;)
  {
    size_t const len = BigEndian32(&png[at]);
    if (len > png.size() - 12 - at) break;
    uLong const crc = crc32(0, &png[at + 4], static_cast<uInt>(len + 4));
    for (int i = 0; i < 4; ++i) png[at + 8 + len + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + len;
  }
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
  std::vector<uint8_t> png(data, data + size);
  FixCrcs(png);
  data = png.data();
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
