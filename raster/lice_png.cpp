// lice_png.cpp - PNG decoding through libpng.
//
// How it works
//   One decoder serves files and memory. libpng is asked for 8-bit channels with four bytes per
//   pixel whatever the stored format: palettes and grey expand to RGB, transparency chunks
//   become an alpha channel, 16-bit channels keep their high byte, packed depths unpack, and
//   images without alpha get a 255 filler. The alpha (or filler) is placed first, so each
//   decoded pixel is the bytes A R G B; one byte swap per pixel turns that into our pixel word
//   (B G R A in memory). Rows are decoded straight into the destination bitmap.
//
// Failures
//   libpng reports errors by long-jumping back to the decoder, which then releases everything
//   it made (libpng structures, row table, a bitmap it created; never the caller's bitmap) and
//   returns null. The memory reader zero-fills what it cannot supply, so truncated data fails
//   on a chunk CRC instead of reading past the buffer.
//
// Limits
//   Headers are untrusted. An image is refused before anything is allocated for it when a side
//   exceeds kMaxSide, the pixel count exceeds kMaxPixels, or its raw pixel data could not
//   possibly be inflated from the bytes available (deflate cannot expand more than about 1032
//   times). libpng's own per-chunk allocations are capped as well.
//
// Resources
//   LICE_LoadPNGFromNamedResource reads from "<dir>/<stem>.resources/" beside the module (the
//   plug-in's .so, or the executable) that this library is linked into, found with dladdr.
//
// The decoder function holds no object with a destructor: a long jump would skip it.
#include "raster/lice_png.h"

#include "raster/lice_combine.h"

#include <dlfcn.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace
{

constexpr png_uint_32 kMaxSide = 32768;
constexpr unsigned long long kMaxPixels = 1ull << 26; // 256 MB of pixel words
constexpr double kMaxInflateRatio = 1100.0;
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
constexpr png_uint_32 kMaxAncillaryChunks = 1000;
constexpr size_t kMaxResourceName = 400;
constexpr size_t kMaxFolderPath = 1536;

// Bytes not yet handed to libpng.
struct MemorySource
{
  const unsigned char* pos;
  size_t remaining;
};

// libpng read callback. Data that ends early is damaged, as a short file read is: handing out
// zeros past the end would let a chunk that claims megabytes be inflated in full.
void ReadFromMemory(png_structp png, png_bytep out, png_size_t n)
{
  MemorySource* src = (MemorySource*)png_get_io_ptr(png);
  if (n > src->remaining) png_error(png, "truncated data");
  if (n) memcpy(out, src->pos, n);
  src->pos += n;
  src->remaining -= n;
}

// Everything a decode touches that must survive a long jump lives here, in memory whose
// address libpng holds (it is the error pointer).
struct DecodeJob
{
  FILE* file = nullptr;           // input file, or
  MemorySource* memory = nullptr; // input bytes
  size_t inputBytes = 0;          // bytes available in either, for the inflate bound
  LICE_IBitmap* callerBitmap = nullptr;
  LICE_IBitmap* created = nullptr;
  png_bytep* rows = nullptr;
};

LICE_IBitmap* Decode(DecodeJob* job)
{
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, nullptr, nullptr);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  if (!info)
  {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_read_struct(&png, &info, nullptr);
    free(job->rows);
    job->rows = nullptr;
    delete job->created;
    job->created = nullptr;
    return nullptr;
  }

  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, kMaxAncillaryChunks);
  if (job->memory)
    png_set_read_fn(png, job->memory, ReadFromMemory);
  else
    png_init_io(png, job->file);

  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);

  const double rawBytes = (double)png_get_rowbytes(png, info) * height;
  if ((unsigned long long)width * height > kMaxPixels ||
      rawBytes > kMaxInflateRatio * (double)job->inputBytes + 65536.0)
    png_error(png, "image larger than its data or than allowed");

  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS))
  {
    png_set_tRNS_to_alpha(png);
    colorType |= PNG_COLOR_MASK_ALPHA;
  }
  if (bitDepth == 16) png_set_strip_16(png);
  if (bitDepth < 8) png_set_packing(png);
  if ((colorType & ~PNG_COLOR_MASK_ALPHA) == PNG_COLOR_TYPE_GRAY) png_set_gray_to_rgb(png);
  if (colorType & PNG_COLOR_MASK_ALPHA)
    png_set_swap_alpha(png);
  else
    png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);

  // The rows below are exactly width pixel words; make sure libpng agrees before it writes.
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != (png_size_t)width * 4)
    png_error(png, "unexpected decoded row size");

  LICE_IBitmap* bm = job->callerBitmap;
  if (bm)
  {
    bm->resize((int)width, (int)height);
  }
  else
  {
    bm = job->created = new (std::nothrow) LICE_MemBitmap((int)width, (int)height, 4);
    if (!bm) png_error(png, "out of memory");
  }
  LICE_pixel* bits = bm->getBits();
  if (!bits || bm->getWidth() != (int)width || bm->getHeight() != (int)height ||
      bm->getRowSpan() < (int)width)
    png_error(png, "destination bitmap unavailable");

  job->rows = (png_bytep*)malloc(sizeof(png_bytep) * height);
  if (!job->rows) png_error(png, "out of memory");
  const lice_detail::PixelRows picture = lice_detail::RowsOf(bm);
  for (png_uint_32 y = 0; y < height; ++y) job->rows[y] = (png_bytep)picture.row((int)y);

  png_read_image(png, job->rows);
  png_destroy_read_struct(&png, &info, nullptr);

  // A R G B in memory -> B G R A: reversing the bytes of each word.
  for (png_uint_32 y = 0; y < height; ++y)
  {
    LICE_pixel* p = (LICE_pixel*)job->rows[y];
    for (png_uint_32 x = 0; x < width; ++x) p[x] = __builtin_bswap32(p[x]);
  }
  free(job->rows);
  job->rows = nullptr;
  job->created = nullptr;
  return bm;
}

// Case-insensitive: the text from the last '.', '/' or '\' on is exactly ".png".
bool HasPngExtension(const char* name)
{
  const char* tail = nullptr;
  for (const char* p = name; *p; ++p)
    if (*p == '.' || *p == '/' || *p == '\\') tail = p;
  return tail && strcasecmp(tail, ".png") == 0;
}

std::string FindResourceFolder()
{
  std::string module;
  Dl_info dl;
  memset(&dl, 0, sizeof dl);
  if (dladdr((const void*)&LICE_GetResourceFolder, &dl) && dl.dli_fname &&
      strchr(dl.dli_fname, '/'))
    module = dl.dli_fname;
  if (module.empty())
  {
    // The main program may be reported by its bare name; ask the kernel instead.
    char buf[kMaxFolderPath];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    module.assign(buf, (size_t)n);
  }
  const size_t slash = module.rfind('/');
  std::string stem = module.substr(slash + 1);
  const size_t dot = stem.rfind('.');
  if (dot != std::string::npos && dot > 0) stem.resize(dot);
  std::string folder = module.substr(0, slash + 1) + stem + ".resources/";
  if (folder.size() > kMaxFolderPath) return {};
  return folder;
}

// The signature, then the header chunk: a PNG must open with IHDR. The decoder would skip an
// unknown chunk in front of it, so the image could differ from the header a reader sees first.
bool OpensWithHeader(const unsigned char* first, size_t length)
{
  return length >= 16 && png_sig_cmp(first, 0, 8) == 0 && memcmp(first + 12, "IHDR", 4) == 0;
}

} // namespace

LICE_IBitmap* LICE_LoadPNG(const char* filename, LICE_IBitmap* bmp)
{
  if (!filename) return nullptr;
  FILE* f = fopen(filename, "rb");
  if (!f) return nullptr;
  unsigned char first[16];
  const size_t got = fread(first, 1, sizeof first, f);
  if (!OpensWithHeader(first, got) || fseek(f, 0, SEEK_SET) != 0)
  {
    fclose(f);
    return nullptr;
  }
  DecodeJob job;
  job.file = f;
  job.callerBitmap = bmp;
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && st.st_size > 0) job.inputBytes = (size_t)st.st_size;
  LICE_IBitmap* result = Decode(&job);
  fclose(f);
  return result;
}

LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int length, LICE_IBitmap* bmp)
{
  if (!data || length < 0 || !OpensWithHeader((const unsigned char*)data, (size_t)length))
    return nullptr;
  MemorySource src{(const unsigned char*)data, (size_t)length};
  DecodeJob job;
  job.memory = &src;
  job.inputBytes = (size_t)length;
  job.callerBitmap = bmp;
  return Decode(&job);
}

const char* LICE_GetResourceFolder()
{
  static const std::string folder = FindResourceFolder();
  return folder.c_str();
}

LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bmp)
{
  if (!name || strlen(name) > kMaxResourceName) return nullptr;
  const char* folder = LICE_GetResourceFolder();
  if (!*folder) return nullptr;
  return LICE_LoadPNG((std::string(folder) + name).c_str(), bmp);
}

LICE_IBitmap* LICE_LoadPNGFromResource(void* hInst, const char* resid, LICE_IBitmap* bmp)
{
  (void)hInst;
  (void)resid;
  (void)bmp;
  return nullptr;
}

_LICE_ImageLoader_rec* LICE_ImageLoader_list = nullptr;

LICE_PNGLoader::LICE_PNGLoader()
{
  rec.loadfunc = loadfunc;
  rec.get_extlist = get_extlist;
  rec._next = LICE_ImageLoader_list;
  LICE_ImageLoader_list = &rec;
}

LICE_IBitmap* LICE_PNGLoader::loadfunc(const char* filename, bool checkFileName,
                                       LICE_IBitmap* bmpbase)
{
  if (!filename) return nullptr;
  if (checkFileName && !HasPngExtension(filename)) return nullptr;
  return LICE_LoadPNG(filename, bmpbase);
}

const char* LICE_PNGLoader::get_extlist()
{
  return "PNG files (*.PNG)\0*.PNG\0";
}

LICE_PNGLoader LICE_pngldr;
