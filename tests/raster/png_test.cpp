// PNG loading: a conformance set written here with libpng's writer (every colour type and bit
// depth, interlaced or not, with and without transparency) read back to exact pixel words, the
// loader's failure table, every truncation of a small file, damaged and oversized headers, and
// real PNG files installed on the machine checked against a second, differently configured
// libpng pipeline.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice_png.h"
#include "raster_test_util.h"
#include "support/Sanitized.h"
#include "support/TempFiles.h"

namespace
{

using raster_test::GuardedBitmap;
using torva_test::Rng;
using Bytes = std::vector<unsigned char>;

// One image to write: samples are per pixel per channel, at the file's bit depth.
struct PngRecipe
{
  int colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  int depth = 8;
  bool interlaced = false;
  int width = 13, height = 11;
  std::vector<unsigned> samples;           // width * height * channels
  std::vector<png_color> palette;          // palette images
  std::vector<unsigned char> paletteAlpha; // tRNS of a palette image
  bool hasTrns = false;                    // grey / RGB images: transparent colour below
  png_color_16 trns{};
};

int Channels(int colorType)
{
  switch (colorType)
  {
  case PNG_COLOR_TYPE_GRAY:
  case PNG_COLOR_TYPE_PALETTE:
    return 1;
  case PNG_COLOR_TYPE_GRAY_ALPHA:
    return 2;
  case PNG_COLOR_TYPE_RGB:
    return 3;
  default:
    return 4;
  }
}

void AppendBytes(png_structp png, png_bytep data, png_size_t n)
{
  Bytes* out = (Bytes*)png_get_io_ptr(png);
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

Bytes WritePng(const PngRecipe& s)
{
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const int ch = Channels(s.colorType);
  const size_t rowBytes = ((size_t)s.width * ch * s.depth + 7) / 8;
  std::vector<Bytes> rows(s.height, Bytes(rowBytes, 0));
  for (int y = 0; y < s.height; ++y)
  {
    for (int i = 0; i < s.width * ch; ++i)
    {
      const unsigned v = s.samples[(size_t)y * s.width * ch + i];
      Bytes& r = rows[y];
      if (s.depth == 16)
      {
        r[2 * i] = (unsigned char)(v >> 8);
        r[2 * i + 1] = (unsigned char)v;
      }
      else if (s.depth == 8)
      {
        r[i] = (unsigned char)v;
      }
      else
      { // packed, most significant bits first
        const int bit = i * s.depth;
        r[bit / 8] |= (unsigned char)(v << (8 - s.depth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> ptrs;
  for (Bytes& r : rows) ptrs.push_back(r.data());
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test image";
    return {};
  }
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, s.width, s.height, s.depth, s.colorType,
               s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), (int)s.palette.size());
  if (!s.paletteAlpha.empty())
    png_set_tRNS(png, info, s.paletteAlpha.data(), (int)s.paletteAlpha.size(), nullptr);
  if (s.hasTrns) png_set_tRNS(png, info, nullptr, 0, &s.trns);
  png_write_info(png, info);
  png_write_image(png, ptrs.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// What a sample of the file's depth becomes in 8 bits: small depths scale up (1 -> 255,
// 2-bit 3 -> 255, 4-bit 15 -> 255), 16 bits keep the high byte.
unsigned To8(unsigned v, int depth)
{
  if (depth == 16) return v >> 8;
  if (depth == 8) return v;
  return v * (255 / ((1u << depth) - 1));
}

// The pixel words the loader must produce, worked out from the samples alone.
std::vector<LICE_pixel> Expected(const PngRecipe& s)
{
  std::vector<LICE_pixel> out;
  const int ch = Channels(s.colorType);
  for (int i = 0; i < s.width * s.height; ++i)
  {
    const unsigned* p = &s.samples[(size_t)i * ch];
    unsigned r, g, b, a = 255;
    switch (s.colorType)
    {
    case PNG_COLOR_TYPE_GRAY:
      r = g = b = To8(p[0], s.depth);
      if (s.hasTrns && p[0] == s.trns.gray) a = 0;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      r = g = b = To8(p[0], s.depth);
      a = To8(p[1], s.depth);
      break;
    case PNG_COLOR_TYPE_RGB:
      r = To8(p[0], s.depth), g = To8(p[1], s.depth), b = To8(p[2], s.depth);
      if (s.hasTrns && p[0] == s.trns.red && p[1] == s.trns.green && p[2] == s.trns.blue) a = 0;
      break;
    case PNG_COLOR_TYPE_PALETTE:
      r = s.palette[p[0]].red, g = s.palette[p[0]].green, b = s.palette[p[0]].blue;
      if (p[0] < s.paletteAlpha.size()) a = s.paletteAlpha[p[0]];
      break;
    default:
      r = To8(p[0], s.depth), g = To8(p[1], s.depth), b = To8(p[2], s.depth);
      a = To8(p[3], s.depth);
    }
    out.push_back(LICE_RGBA(r, g, b, a));
  }
  return out;
}

PngRecipe MakeRecipe(int colorType, int depth, bool interlaced, bool trns, uint64_t seed)
{
  Rng rng(seed);
  PngRecipe s;
  s.colorType = colorType, s.depth = depth, s.interlaced = interlaced;
  const int ch = Channels(colorType);
  const unsigned maxv = depth == 16 ? 65535u : (1u << depth) - 1;
  if (colorType == PNG_COLOR_TYPE_PALETTE)
  {
    const int entries = std::min(1 << depth, 200);
    for (int i = 0; i < entries; ++i)
      s.palette.push_back(png_color{(png_byte)rng.Int(0, 255), (png_byte)rng.Int(0, 255),
                                    (png_byte)rng.Int(0, 255)});
    if (trns) // fewer alpha entries than colours: the rest stay opaque
      for (int i = 0; i < std::max(1, entries - 1); ++i)
        s.paletteAlpha.push_back((unsigned char)rng.Int(0, 255));
  }
  const unsigned limit =
      colorType == PNG_COLOR_TYPE_PALETTE ? (unsigned)s.palette.size() - 1 : maxv;
  for (int i = 0; i < s.width * s.height * ch; ++i)
    s.samples.push_back((unsigned)rng.Int(0, (int)limit));
  if (trns && colorType != PNG_COLOR_TYPE_PALETTE)
  {
    // The transparent colour is one that every fifth pixel has exactly.
    s.hasTrns = true;
    const unsigned key[3] = {(unsigned)rng.Int(0, (int)maxv), (unsigned)rng.Int(0, (int)maxv),
                             (unsigned)rng.Int(0, (int)maxv)};
    s.trns.gray = (png_uint_16)key[0];
    s.trns.red = (png_uint_16)key[0], s.trns.green = (png_uint_16)key[1],
    s.trns.blue = (png_uint_16)key[2];
    for (int i = 0; i < s.width * s.height; i += 5)
      for (int c = 0; c < ch; ++c) s.samples[(size_t)i * ch + c] = key[c];
    // and a near miss that must stay opaque (differs only in the last channel)
    if (s.width * s.height > 7) s.samples[(size_t)7 * ch + ch - 1] = key[ch - 1] ^ 1;
  }
  return s;
}

std::vector<LICE_pixel> PixelsOf(const LICE_IBitmap* bm)
{
  return bm ? raster_test::Pixels(*bm) : std::vector<LICE_pixel>{};
}

LICE_IBitmap* FromBytes(const Bytes& b, LICE_IBitmap* into = nullptr)
{
  return LICE_LoadPNGFromMemory(b.data(), (int)b.size(), into);
}

using torva_test::WriteFile;

// Rewrites the CRC of the chunk starting at `at` (its length field) after an edit.
void FixCrc(Bytes& b, size_t at)
{
  const size_t len =
      ((size_t)b[at] << 24) | ((size_t)b[at + 1] << 16) | ((size_t)b[at + 2] << 8) | b[at + 3];
  const uLong crc = crc32(crc32(0, nullptr, 0), &b[at + 4], (uInt)(len + 4));
  for (int i = 0; i < 4; ++i) b[at + 8 + len + i] = (unsigned char)(crc >> (24 - 8 * i));
}

void SetBE32(Bytes& b, size_t at, uint32_t v)
{
  for (int i = 0; i < 4; ++i) b[at + i] = (unsigned char)(v >> (24 - 8 * i));
}

// IHDR is the first chunk: length at 8, width at 16, height at 20.
Bytes WithHeaderSize(Bytes b, uint32_t w, uint32_t h)
{
  SetBE32(b, 16, w);
  SetBE32(b, 20, h);
  FixCrc(b, 8);
  return b;
}

// A caller's bitmap that records whether the loader asked for storage.
class WatchingBitmap : public LICE_MemBitmap
{
public:
  bool resize(int w, int h) override
  {
    ++mResizes;
    return LICE_MemBitmap::resize(w, h);
  }
  int mResizes = 0;
};

TEST(PngLoad, ConformanceSetReadsBackExactly)
{
  struct Kind
  {
    int colorType;
    std::vector<int> depths;
    bool canTrns;
  };
  const Kind kinds[] = {{PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}, true},
                        {PNG_COLOR_TYPE_RGB, {8, 16}, true},
                        {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}, true},
                        {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}, false},
                        {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}, false}};
  uint64_t seed = 1;
  int checked = 0;
  for (const Kind& k : kinds)
    for (int depth : k.depths)
      for (bool interlaced : {false, true})
        for (bool trns : {false, true})
        {
          if (trns && !k.canTrns) continue;
          SCOPED_TRACE("colour type " + std::to_string(k.colorType) + ", depth " +
                       std::to_string(depth) + (interlaced ? ", interlaced" : "") +
                       (trns ? ", tRNS" : ""));
          const PngRecipe s = MakeRecipe(k.colorType, depth, interlaced, trns, seed++);
          const Bytes png = WritePng(s);
          std::unique_ptr<LICE_IBitmap> bm(FromBytes(png));
          ASSERT_NE(bm, nullptr);
          EXPECT_EQ(bm->getWidth(), s.width);
          EXPECT_EQ(bm->getHeight(), s.height);
          EXPECT_EQ(PixelsOf(bm.get()), Expected(s));
          ++checked;
        }
  EXPECT_EQ(checked, 2 * (5 + 2 + 4 + 2 + 2) + 2 * (5 + 2 + 4));
}

TEST(PngLoad, FileAndMemoryAgreeAndRowsLandUpright)
{
  const PngRecipe s = MakeRecipe(PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false, 99);
  const Bytes png = WritePng(s);
  const torva_test::TempDir dir;
  const std::string path = dir / "upright.png";
  ASSERT_TRUE(WriteFile(path, png));
  std::unique_ptr<LICE_IBitmap> fromFile(LICE_LoadPNG(path.c_str()));
  ASSERT_NE(fromFile, nullptr);
  EXPECT_EQ(PixelsOf(fromFile.get()), Expected(s));
  EXPECT_EQ(fromFile->getRowSpan(), 16); // a new bitmap has line alignment 4

  // A bottom-up destination of the right size gets the picture the right way up from either
  // source, and nothing is written beyond its rows.
  for (bool memory : {false, true})
  {
    GuardedBitmap flipped(s.width, s.height, true);
    LICE_IBitmap* got = memory ? FromBytes(png, &flipped) : LICE_LoadPNG(path.c_str(), &flipped);
    EXPECT_EQ(got, &flipped);
    EXPECT_EQ(PixelsOf(&flipped), Expected(s)) << (memory ? "memory" : "file");
    EXPECT_TRUE(flipped.GuardsIntact());
  }
}

TEST(PngLoad, IntoExistingBitmapResizesIt)
{
  PngRecipe s = MakeRecipe(PNG_COLOR_TYPE_RGB, 8, false, false, 5);
  s.width = 20, s.height = 30;
  s.samples.clear();
  Rng rng(6);
  for (int i = 0; i < 20 * 30 * 3; ++i) s.samples.push_back((unsigned)rng.Int(0, 255));
  LICE_MemBitmap bm(10, 10);
  EXPECT_EQ(FromBytes(WritePng(s), &bm), &bm);
  EXPECT_EQ(bm.getWidth(), 20);
  EXPECT_EQ(bm.getHeight(), 30);
  EXPECT_EQ(PixelsOf(&bm), Expected(s));

  // A caller's bitmap that cannot take the size is refused, and not destroyed.
  GuardedBitmap fixed(10, 10);
  EXPECT_EQ(FromBytes(WritePng(s), &fixed), nullptr);
  EXPECT_TRUE(fixed.GuardsIntact());
  EXPECT_EQ(fixed.at(0, 0), 0u);
}

TEST(PngLoad, FailureTable)
{
  const Bytes good = WritePng(MakeRecipe(PNG_COLOR_TYPE_GRAY, 1, false, false, 3));
  ASSERT_GT(good.size(), 8u);
  std::unique_ptr<LICE_IBitmap> ok(FromBytes(good));
  ASSERT_NE(ok, nullptr);
  // 1-bit grey is black and white, opaque.
  for (LICE_pixel p : PixelsOf(ok.get())) EXPECT_TRUE(p == 0xFF000000u || p == 0xFFFFFFFFu);

  Bytes notSig = good;
  notSig[1] ^= 0x20; // "pNG"
  struct Case
  {
    const char* what;
    const void* data;
    int length;
  } cases[] = {
      {"null data", nullptr, 100},
      {"seven bytes", good.data(), 7},
      {"negative length", good.data(), -1},
      {"eight bytes, not the signature", notSig.data(), (int)notSig.size()},
      {"signature only", good.data(), 8},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LICE_LoadPNGFromMemory(c.data, c.length, nullptr), nullptr) << c.what;

  EXPECT_EQ(LICE_LoadPNG(nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNG("/nonexistent/torva/none.png"), nullptr);
  const torva_test::TempDir dir;
  const std::string text = dir / "text.png";
  ASSERT_TRUE(WriteFile(text, Bytes{'h', 'e', 'l', 'l', 'o', '\n'}));
  EXPECT_EQ(LICE_LoadPNG(text.c_str()), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromResource(nullptr, "1", nullptr), nullptr);
}

// Every prefix of a file, as memory and as a file: null or the full image, never a read past
// the end, and (under the leak checker) no bitmap left behind when decoding fails after the
// bitmap was made.
TEST(PngLoad, EveryTruncation)
{
  const PngRecipe s = MakeRecipe(PNG_COLOR_TYPE_PALETTE, 4, true, true, 11);
  const Bytes png = WritePng(s);
  const std::vector<LICE_pixel> full = Expected(s);
  const torva_test::TempDir dir;
  const std::string path = dir / "trunc.png";
  int nulls = 0;
  for (size_t len = 0; len < png.size(); ++len)
  {
    // An exactly sized copy, so that a read past the end is caught by the sanitizer.
    std::unique_ptr<unsigned char[]> cut(new unsigned char[len ? len : 1]);
    memcpy(cut.get(), png.data(), len);
    std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromMemory(cut.get(), (int)len, nullptr));
    if (bm)
    {
      EXPECT_EQ(PixelsOf(bm.get()), full) << len;
    }
    else
    {
      ++nulls;
    }
    if (len % 7 == 0)
    { // the file path shares the decoder; a sample of lengths is enough
      ASSERT_TRUE(WriteFile(path, Bytes(png.begin(), png.begin() + (long)len)));
      std::unique_ptr<LICE_IBitmap> f(LICE_LoadPNG(path.c_str()));
      if (f)
      {
        EXPECT_EQ(PixelsOf(f.get()), full) << len;
      }
    }
    LICE_MemBitmap mine(3, 3);
    LICE_IBitmap* into = LICE_LoadPNGFromMemory(cut.get(), (int)len, &mine);
    EXPECT_TRUE(into == nullptr || into == &mine);
  }
  // Only the last chunk (IEND, 12 bytes) is not needed for the picture.
  EXPECT_GE(nulls, (int)png.size() - 12);
}

TEST(PngLoad, AbsurdHeadersAreRefusedBeforeAllocating)
{
  const Bytes small = WritePng(MakeRecipe(PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, 21));
  const uint32_t sizes[][2] = {
      {100000, 100000}, {30000, 30000}, {8000, 8000}, {1, 2000000}, {0x7FFFFFFF, 1}};
  for (const auto& sz : sizes)
  {
    SCOPED_TRACE(std::to_string(sz[0]) + " x " + std::to_string(sz[1]));
    const Bytes b = WithHeaderSize(small, sz[0], sz[1]);
    WatchingBitmap watch;
    EXPECT_EQ(FromBytes(b, &watch), nullptr);
    EXPECT_EQ(watch.mResizes, 0);
    EXPECT_EQ(FromBytes(b), nullptr);
  }
}

// Random damage inside the chunks with their CRCs made right again, so libpng parses on into
// the damage: any result is fine except a crash, a sanitizer report or a wrong-sized bitmap.
TEST(PngLoad, DamagedChunksDecodeSafely)
{
  Rng rng(77);
  const int rounds = torva_test::Scaled(600, 150);
  for (int round = 0; round < rounds; ++round)
  {
    const int ct = std::vector<int>{0, 2, 3, 4, 6}[rng.Int(0, 4)];
    const int depth = ct == 3 ? 8 : (ct == 0 ? 4 : 16);
    Bytes b = WritePng(MakeRecipe(ct, depth, rng.Chance(50), ct != 4 && ct != 6 && rng.Chance(50),
                                  (uint64_t)round + 1000));
    // Walk the chunks; damage one of them.
    std::vector<size_t> chunks;
    for (size_t at = 8; at + 12 <= b.size();)
    {
      chunks.push_back(at);
      const size_t len =
          ((size_t)b[at] << 24) | ((size_t)b[at + 1] << 16) | ((size_t)b[at + 2] << 8) | b[at + 3];
      at += 12 + len;
    }
    const size_t at = chunks[(size_t)rng.Int(0, (int)chunks.size() - 1)];
    const size_t len =
        ((size_t)b[at] << 24) | ((size_t)b[at + 1] << 16) | ((size_t)b[at + 2] << 8) | b[at + 3];
    const int hits = rng.Int(1, 3);
    for (int i = 0; i < hits && len > 0; ++i)
      b[at + 8 + (size_t)rng.Int(0, (int)len - 1)] ^= (unsigned char)rng.Int(1, 255);
    FixCrc(b, at);
    std::unique_ptr<unsigned char[]> exact(new unsigned char[b.size()]);
    memcpy(exact.get(), b.data(), b.size());
    std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromMemory(exact.get(), (int)b.size(), nullptr));
    if (bm)
    {
      EXPECT_GT(bm->getWidth(), 0);
      EXPECT_GT(bm->getHeight(), 0);
      EXPECT_LE((long long)bm->getWidth() * bm->getHeight(), 1ll << 26);
    }
  }
}

TEST(PngLoad, LoaderRecordAndExtensions)
{
  bool found = false;
  for (_LICE_ImageLoader_rec* r = LICE_ImageLoader_list; r; r = r->_next)
    found |= r == &LICE_pngldr.rec;
  EXPECT_TRUE(found);
  EXPECT_EQ(LICE_pngldr.rec.loadfunc, &LICE_PNGLoader::loadfunc);
  const char* ext = LICE_PNGLoader::get_extlist();
  EXPECT_STREQ(ext, "PNG files (*.PNG)");
  EXPECT_STREQ(ext + 18, "*.PNG");
  EXPECT_EQ(ext[24], '\0');

  const Bytes png = WritePng(MakeRecipe(PNG_COLOR_TYPE_RGB, 8, false, false, 8));
  const torva_test::TempDir dir;
  const std::string upper = dir / "shout.PNG", bak = dir / "x.png.bak";
  ASSERT_TRUE(WriteFile(upper, png));
  ASSERT_TRUE(WriteFile(bak, png));
  std::unique_ptr<LICE_IBitmap> a(LICE_PNGLoader::loadfunc(upper.c_str(), true, nullptr));
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(LICE_PNGLoader::loadfunc(bak.c_str(), true, nullptr), nullptr);
  std::unique_ptr<LICE_IBitmap> c(LICE_PNGLoader::loadfunc(bak.c_str(), false, nullptr));
  EXPECT_NE(c, nullptr);
  EXPECT_EQ(LICE_PNGLoader::loadfunc("a.png/b", true, nullptr), nullptr);
  EXPECT_EQ(LICE_PNGLoader::loadfunc(".PnG", true, nullptr), nullptr); // right name, no file
}

TEST(PngLoad, NamedResourceComesFromTheModulesFolder)
{
  const std::string folder = LICE_GetResourceFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.find("test_raster.resources/"), std::string::npos) << folder;
  std::filesystem::create_directories(folder + "img");
  const PngRecipe s = MakeRecipe(PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false, 4);
  ASSERT_TRUE(WriteFile(folder + "img/res_test.png", WritePng(s)));
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromNamedResource("img/res_test.png"));
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(PixelsOf(bm.get()), Expected(s));
  EXPECT_EQ(LICE_LoadPNGFromNamedResource(std::string(401, 'a').c_str()), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromNamedResource("img/missing.png"), nullptr);
  std::filesystem::remove_all(folder);
}

// A second decode of the same file by libpng configured differently (generic expansion, BGR
// order, filler after): the words it gives are what ours must be.
bool ReferenceDecode(const std::string& path, int* w, int* h, std::vector<LICE_pixel>* out)
{
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  *w = (int)png_get_image_width(png, info);
  *h = (int)png_get_image_height(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out->assign((size_t)*w * *h, 0);
  for (int y = 0; y < *h; ++y) rows.push_back((png_bytep) & (*out)[(size_t)y * *w]);
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(f);
  return true;
}

TEST(PngLoad, RealFilesInstalledOnTheMachine)
{
  std::vector<std::string> files;
  for (const char* dir :
       {"/usr/share/doc", "/usr/share/pixmaps", "/usr/share/icons", "/usr/share/gitweb"})
  {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->path().extension() == ".png" && it->is_regular_file(ec) &&
          it->file_size(ec) < 2000000)
        files.push_back(it->path().string());
  }
  if (files.empty()) GTEST_SKIP() << "no PNG files installed";
  std::sort(files.begin(), files.end());
  const size_t want = (size_t)torva_test::Scaled(24, 8);
  int compared = 0;
  for (size_t i = 0; i < files.size() && (size_t)compared < want;
       i += std::max<size_t>(1, files.size() / want))
  {
    int w = 0, h = 0;
    std::vector<LICE_pixel> ref;
    if (!ReferenceDecode(files[i], &w, &h, &ref)) continue;
    SCOPED_TRACE(files[i]);
    std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG(files[i].c_str()));
    ASSERT_NE(bm, nullptr);
    ASSERT_EQ(bm->getWidth(), w);
    ASSERT_EQ(bm->getHeight(), h);
    EXPECT_TRUE(PixelsOf(bm.get()) == ref);
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

} // namespace
