#include "golden.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

namespace torva_test
{
namespace
{

struct FileCloser
{
  void operator()(FILE* f) const
  {
    if (f) fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

void SetError(std::string* error, const std::string& text)
{
  if (error) *error = text;
}

std::string Hex(uint32_t v)
{
  char buf[16];
  snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

} // namespace

bool ReadPng(const std::string& path, Image* out, std::string* error)
{
  File f(fopen(path.c_str(), "rb"));
  if (!f)
  {
    SetError(error, "cannot open " + path);
    return false;
  }
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, f.get()))
  {
    SetError(error, path + ": " + image.message);
    return false;
  }
  // BGRA in memory is exactly the pixel word read as little-endian.
  image.format = PNG_FORMAT_BGRA;
  Image result;
  result.width = (int)image.width;
  result.height = (int)image.height;
  result.pixels.resize((size_t)image.width * image.height);
  if (!png_image_finish_read(&image, nullptr, result.pixels.data(), (png_int_32)(image.width * 4),
                             nullptr))
  {
    SetError(error, path + ": " + image.message);
    png_image_free(&image);
    return false;
  }
  *out = std::move(result);
  return true;
}

bool WritePng(const std::string& path, const Image& image, const std::string& description,
              std::string* error)
{
  File f(fopen(path.c_str(), "wb"));
  if (!f)
  {
    SetError(error, "cannot create " + path);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info)
  {
    png_destroy_write_struct(&png, nullptr);
    SetError(error, "out of memory");
    return false;
  }
  std::vector<unsigned char> row((size_t)image.width * 4);
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    SetError(error, "libpng failed writing " + path);
    return false;
  }
  png_init_io(png, f.get());
  png_set_IHDR(png, info, (png_uint_32)image.width, (png_uint_32)image.height, 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_text text;
  memset(&text, 0, sizeof text);
  if (!description.empty())
  {
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = (png_charp) "Description";
    text.text = (png_charp)description.c_str();
    png_set_text(png, info, &text, 1);
  }
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y)
  {
    const uint32_t* src = image.pixels.data() + (size_t)y * image.width;
    for (int x = 0; x < image.width; ++x)
    {
      row[x * 4 + 0] = (unsigned char)(src[x] >> 16);
      row[x * 4 + 1] = (unsigned char)(src[x] >> 8);
      row[x * 4 + 2] = (unsigned char)src[x];
      row[x * 4 + 3] = (unsigned char)(src[x] >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

Image ImageOf(const LICE_IBitmap& bitmap)
{
  Image image;
  const LICE_pixel* bits = bitmap.getBits();
  if (!bits || bitmap.getWidth() <= 0 || bitmap.getHeight() <= 0) return image;
  image.width = bitmap.getWidth();
  image.height = bitmap.getHeight();
  image.pixels.resize((size_t)image.width * image.height);
  const ptrdiff_t span = bitmap.getRowSpan();
  for (int y = 0; y < image.height; ++y)
  {
    const int row = bitmap.isFlipped() ? image.height - 1 - y : y;
    memcpy(image.pixels.data() + (size_t)y * image.width, bits + row * span,
           (size_t)image.width * 4);
  }
  return image;
}

bool RegeneratingGoldens()
{
  const char* v = getenv("TORVA_REGEN_GOLDEN");
  return v && strcmp(v, "1") == 0;
}

std::string GoldenPath(const std::string& name)
{
  return std::string(TORVA_GOLDEN_DIR) + "/" + name + ".png";
}

void ExpectMatchesGolden(const Image& image, const std::string& name,
                         const std::string& description)
{
  const std::string path = GoldenPath(name);
  std::string error;
  if (RegeneratingGoldens())
  {
    EXPECT_TRUE(WritePng(path, image, description, &error)) << error;
    return;
  }
  Image golden;
  if (!ReadPng(path, &golden, &error))
  {
    ADD_FAILURE() << "golden image " << name << " missing or unreadable (" << error
                  << "); run with TORVA_REGEN_GOLDEN=1 to create it";
    return;
  }
  std::ostringstream report;
  bool differs = false;
  if (golden.width != image.width || golden.height != image.height)
  {
    differs = true;
    report << "size " << image.width << "x" << image.height << ", golden " << golden.width << "x"
           << golden.height;
  }
  else
  {
    int count = 0;
    for (int y = 0; y < image.height; ++y)
    {
      for (int x = 0; x < image.width; ++x)
      {
        const uint32_t got = image.pixels[(size_t)y * image.width + x];
        const uint32_t want = golden.pixels[(size_t)y * image.width + x];
        if (got == want) continue;
        if (count < 8)
          report << "\n  (" << x << ", " << y << "): " << Hex(got) << ", golden " << Hex(want);
        ++count;
      }
    }
    if (count)
    {
      differs = true;
      report << "\n  " << count << " pixel(s) differ";
    }
  }
  if (!differs) return;

  const std::filesystem::path outDir = std::filesystem::path(TORVA_BINARY_DIR) / "golden-actual";
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  const std::string outPath = (outDir / (name + ".png")).string();
  WritePng(outPath, image, description);
  ADD_FAILURE() << "image differs from golden " << name << ": " << report.str()
                << "\n  drawn picture written to " << outPath;
}

} // namespace torva_test
