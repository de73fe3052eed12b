// Writes the valid seeds of the fuzz corpora: chunks, preset files and images as the product and
// the libraries make them, so that the fuzzers start from inputs that get past the first checks.
// The edge cases beside them in each corpus folder are hand-made (and some came from runs).
//
//   fuzz_make_seeds tests/fuzz

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TORVA/TORVA.h"
#include "framework/WDL_String.h"
#include "support/EightParamPlug.h"
#include "tests/fuzz/FuzzCheck.h"

namespace
{
std::string gRoot;

void Put(std::string const& target, std::string const& name,
         std::vector<unsigned char> const& bytes)
{
  std::string const path = gRoot + "/" + target + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
  if (f) std::fclose(f);
}

std::vector<unsigned char> Prefixed(unsigned char first, std::vector<unsigned char> rest)
{
  rest.insert(rest.begin(), first);
  return rest;
}

void Shape(torva_test::EightParamPlug& plug)
{
  plug.MakePreset("warm", 0.2, -3.0, 0.7, 1.5, 7, 2, 25.5, 1);
  plug.MakeDefaultPreset("rest", 3);
}

void Chunks()
{
  for (unsigned shape : {0u, 1u, 3u, 5u, 11u, 15u})
  {
    torva_test::EightParamPlug plug((shape & 2) ? 3 : 1, true, (shape & 4) ? 5 : 0);
    if (shape & 8) Shape(plug);
    ByteChunk chunk;
    plug.GetHostChunk(&chunk, shape & 1);
    Put("host_chunk", "valid-" + std::to_string(shape),
        Prefixed(static_cast<unsigned char>(shape), torva_test::Bytes(chunk)));
  }

  TORVA plug{IPlugInstanceInfo()};
  AEffect* e = plug.GetAEffect();
  for (int bank = 0; bank < 2; ++bank)
  {
    void* p = nullptr;
    VstIntPtr const n = e->dispatcher(e, effGetChunk, bank ? 0 : 1, 0, &p, 0.0f);
    auto const* b = static_cast<unsigned char const*>(p);
    Put("product_chunk", bank ? "valid-bank" : "valid-program",
        Prefixed(static_cast<unsigned char>(bank), std::vector<unsigned char>(b, b + n)));
  }
}

void PresetFiles()
{
  WDL_String path("/tmp/torva-fuzz-seed.fx");
  for (unsigned shape : {0u, 1u, 2u, 3u, 10u, 11u, 15u})
  {
    torva_test::EightParamPlug plug(4, (shape & 2) != 0, (shape & 4) ? 5 : 0);
    if (shape & 8) Shape(plug);
    if (shape & 1)
      plug.SaveBankAsFXB(&path);
    else
      plug.SaveProgramAsFXP(&path);
    std::vector<unsigned char> const bytes = torva_fuzz::ReadAll(path.Get());
    std::string const name = std::string(shape & 1 ? "bank" : "program") +
                             (shape & 2 ? "-chunk-" : "-values-") + std::to_string(shape);
    Put("preset_file", name, Prefixed(static_cast<unsigned char>(shape), bytes));
    Put("fxfile", name + (shape & 1 ? ".fxb" : ".fxp"), bytes);
  }
  std::remove(path.Get());
}

// A tiny PNG of the given colour type and depth, pixels a simple ramp.
void Png(std::string const& name, int w, int h, int colorType, int depth)
{
  std::string const path = gRoot + "/png/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, depth, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (colorType == PNG_COLOR_TYPE_PALETTE)
  {
    png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    png_set_PLTE(png, info, palette, 4);
    png_byte alpha[2] = {0, 128};
    png_set_tRNS(png, info, alpha, 2, nullptr);
  }
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(w) * 8);
  for (int y = 0; y < h; ++y)
  {
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<png_byte>((i * 37 + y * 11) & 0x3);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

} // namespace

int main(int argc, char** argv)
{
  if (argc != 2)
  {
    std::fprintf(stderr, "usage: fuzz_make_seeds CORPUS_ROOT\n");
    return 2;
  }
  gRoot = argv[1];
  Chunks();
  PresetFiles();
  Png("rgba-3x2.png", 3, 2, PNG_COLOR_TYPE_RGBA, 8);
  Png("rgb-2x3.png", 2, 3, PNG_COLOR_TYPE_RGB, 8);
  Png("gray-4x1.png", 4, 1, PNG_COLOR_TYPE_GRAY, 8);
  Png("gray-alpha-16bit-2x2.png", 2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 16);
  Png("palette-trns-5x2.png", 5, 2, PNG_COLOR_TYPE_PALETTE, 2);
  Png("rgb16-1x1.png", 1, 1, PNG_COLOR_TYPE_RGB, 16);
  return 0;
}
