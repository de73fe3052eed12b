// lice.h - the raster library: 32-bit bitmaps, blend modes, blits and fills.
//
// Pixels are 32-bit words, bytes blue, green, red, alpha in memory (0xAARRGGBB read as a
// little-endian word), channels straight, not premultiplied. Every drawing operation is a
// free function whose first argument is the destination bitmap and which takes a float alpha
// (1.0 = full weight, turned into the integer weight ia = (int)(alpha * 256)) and a blend-mode
// word (LICE_COMBINE_*). Operations clip silently and report nothing; a null bitmap, null bits
// or an empty clipped area draws nothing.
//
// Rows: a bitmap stores rows getRowSpan() pixels apart. When isFlipped() answers true, row y of
// the picture lives at buffer row (height - 1 - y); every operation honours that for source
// and destination alike.
//
// No locks: a bitmap is drawn by one thread at a time.
#pragma once

#include <cstdint>

#include "platform/linux/swell.h" // RECT, HDC

// ---------------------------------------------------------------------------------------------
// Pixel word

typedef unsigned int LICE_pixel;
typedef unsigned char LICE_pixel_chan;

// Byte index of each channel within a pixel in memory.
#define LICE_PIXEL_B 0
#define LICE_PIXEL_G 1
#define LICE_PIXEL_R 2
#define LICE_PIXEL_A 3

#define LICE_RGBA(r, g, b, a)                                                                      \
  ((LICE_pixel)(((unsigned int)(b)&0xFFu) | (((unsigned int)(g)&0xFFu) << 8) |                     \
                (((unsigned int)(r)&0xFFu) << 16) | (((unsigned int)(a)&0xFFu) << 24)))
#define LICE_GETB(v) ((unsigned int)(v)&0xFFu)
#define LICE_GETG(v) (((unsigned int)(v) >> 8) & 0xFFu)
#define LICE_GETR(v) (((unsigned int)(v) >> 16) & 0xFFu)
#define LICE_GETA(v) ((unsigned int)(v) >> 24)

// ---------------------------------------------------------------------------------------------
// Blend-mode word

#define LICE_COMBINE_COPY 0
#define LICE_COMBINE_ADD 1
#define LICE_COMBINE_DODGE 2
#define LICE_COMBINE_MUL 3
#define LICE_COMBINE_OVERLAY 4
#define LICE_COMBINE_HSVADJUST 5
// Channel copy (LICE_Blit only): 0xF0 | (destination byte index << 2) | source byte index.
#define LICE_COMBINE_CHANCOPY 0xF0
#define LICE_COMBINE_CHANCOPY_MODE(srcIndex, destIndex)                                            \
  (LICE_COMBINE_CHANCOPY | (((destIndex)&3) << 2) | ((srcIndex)&3))
#define LICE_COMBINE_MASK 0xFF
#define LICE_COMBINE_FILTER_BILINEAR 0x100
#define LICE_COMBINE_FILTER_MASK 0xFF00
#define LICE_COMBINE_USE_ALPHA 0x10000
// The part of the word that selects a combine rule.
#define LICE_COMBINE_RULE_MASK 0x100FF

// ---------------------------------------------------------------------------------------------
// Bitmaps

// A 32-bit bitmap. Implementations own their pixels; the library only reads the geometry and
// writes through getBits().
class LICE_IBitmap
{
public:
  virtual ~LICE_IBitmap() {}

  // First pixel word of buffer row 0 (null when the bitmap has no pixels).
  virtual LICE_pixel* getBits() const = 0;
  virtual int getWidth() const = 0;
  virtual int getHeight() const = 0;
  // Pixels from one buffer row to the next.
  virtual int getRowSpan() const = 0;
  // True when picture row y is stored at buffer row (height - 1 - y).
  virtual bool isFlipped() const { return false; }
  // Returns true when the size or the storage changed. Contents afterwards are undefined.
  virtual bool resize(int w, int h) = 0;
  // Drawing context over the same pixels, or null.
  virtual HDC getDC() const { return nullptr; }
  // Reserved for extensions; no identifiers are defined.
  virtual int Extended(int id, void* data)
  {
    (void)id;
    (void)data;
    return 0;
  }
};

// A heap bitmap. Bits are 64-byte aligned and rows are padded to the line alignment (a power of
// two in pixels). The buffer grows by a quarter more than needed and never shrinks; resizing
// to an empty size frees it.
class LICE_MemBitmap : public LICE_IBitmap
{
public:
  explicit LICE_MemBitmap(int w = 0, int h = 0, unsigned int linealign = 4);
  ~LICE_MemBitmap() override;
  LICE_MemBitmap(const LICE_MemBitmap&) = delete;
  LICE_MemBitmap& operator=(const LICE_MemBitmap&) = delete;

  LICE_pixel* getBits() const override;
  int getWidth() const override { return mWidth; }
  int getHeight() const override { return mHeight; }
  int getRowSpan() const override { return (mWidth + mLineAlignMask) & ~mLineAlignMask; }
  bool resize(int w, int h) override;

  // Bytes currently allocated for pixels (without the alignment slack).
  int getAllocSize() const { return mAllocSize; }

private:
  void* mBuffer = nullptr; // raw allocation; getBits() rounds it up to 64 bytes
  int mWidth = 0;
  int mHeight = 0;
  int mAllocSize = 0;
  int mLineAlignMask = 0; // row alignment mask in pixels (alignment - 1)
};

// A bitmap whose pixels live in a memory drawing context of the shim, so that system text can
// be drawn into the same pixels. Rows are padded to a multiple of 4 pixels; the context is
// kept when the bitmap shrinks.
class LICE_SysBitmap : public LICE_IBitmap
{
public:
  explicit LICE_SysBitmap(int w = 0, int h = 0);
  ~LICE_SysBitmap() override;
  LICE_SysBitmap(const LICE_SysBitmap&) = delete;
  LICE_SysBitmap& operator=(const LICE_SysBitmap&) = delete;

  LICE_pixel* getBits() const override { return mBits; }
  int getWidth() const override { return mWidth; }
  int getHeight() const override { return mHeight; }
  int getRowSpan() const override { return mAllocW; }
  bool resize(int w, int h) override;
  HDC getDC() const override { return mDC; }

private:
  int mWidth = 0;
  int mHeight = 0;
  HDC mDC = nullptr;
  LICE_pixel* mBits = nullptr;
  int mAllocW = 0; // allocated row span in pixels
  int mAllocH = 0; // allocated rows
};

// ---------------------------------------------------------------------------------------------
// Single pixels and whole-bitmap utilities

// dest combined with src by the rule of (mode & LICE_COMBINE_RULE_MASK) at ia = alpha * 256.
LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode);
// The same rules in place with an integer weight (0..256); ia <= 0 does nothing.
void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode);
// As LICE_CombinePixels2, but copy and multiply clamp their inputs and results to 0..255.
void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode);

// Resizes dest to src and copies every pixel.
void LICE_Copy(LICE_IBitmap* dest, const LICE_IBitmap* src);
// Every pixel of every row becomes color (the padding beyond the width is left alone).
void LICE_Clear(LICE_IBitmap* dest, LICE_pixel color);
// Within the clipped rectangle each pixel becomes (pixel & mask) | orbits.
void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel mask = 0,
                    LICE_pixel orbits = 0);
// Calls procFunc(pixel, parm) for each pixel of the clipped rectangle, rows top to bottom.
void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h,
                      void (*procFunc)(LICE_pixel* p, void* parm), void* parm);
// Each channel c becomes clamp(((int)(scale * 256) * c + (int)(add * 256)) >> 8).
void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc,
                          float bsc, float asc, float radd, float gadd, float badd, float aadd);
// Pixels whose colour equals color (alpha ignored) get alpha 0, all others alpha 255.
void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_pixel color);
// The pixel at (x, y), or 0 outside the bitmap.
LICE_pixel LICE_GetPixel(const LICE_IBitmap* bm, int x, int y);
// Combines color into the pixel at (x, y); the use-alpha bit plays no part.
void LICE_PutPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color, float alpha, int mode);
// LICE_BitmapCmpEx with the full mask.
int LICE_BitmapCmp(const LICE_IBitmap* a, const LICE_IBitmap* b, int* coordsOut = nullptr);
// 0 when equal under mask. Without coordsOut: the memcmp-style sign of the first difference
// (full mask) or 1. With coordsOut (x, y, w, h): 1 and the bounding box of the differences.
int LICE_BitmapCmpEx(const LICE_IBitmap* a, const LICE_IBitmap* b, LICE_pixel mask,
                     int* coordsOut = nullptr);

// ---------------------------------------------------------------------------------------------
// Blits

// Copies srcrect of src (null = all of it) to (dstx, dsty), combining by mode at alpha.
void LICE_Blit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect,
               float alpha, int mode);
void LICE_Blit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch, float alpha, int mode);

// Draws the source area (srcx, srcy, srcw, srch) into (dstx, dsty, dstw, dsth); negative
// destination sizes mirror. Nearest pixel, or bilinear with LICE_COMBINE_FILTER_BILINEAR.
void LICE_ScaledBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                     int dsth, float srcx, float srcy, float srcw, float srch, float alpha,
                     int mode);

// As LICE_ScaledBlit, rotated by angle (radians) about the centre moved by (rotxcent,
// rotycent).
void LICE_RotatedBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                      int dsth, float srcx, float srcy, float srcw, float srch, float angle,
                      bool cliptosourcerect, float alpha, int mode, float rotxcent, float rotycent);

// General affine blit: the source position starts at (srcx, srcy) and moves by (dsdx, dtdx)
// per destination pixel and (dsdy, dtdy) per row; the per-pixel step itself changes by
// (dsdxdy, dtdxdy) per row.
void LICE_DeltaBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                    int dsth, float srcx, float srcy, float srcw, float srch, double dsdx,
                    double dtdx, double dsdy, double dtdy, double dsdxdy, double dtdxdy,
                    bool cliptosourcerect, float alpha, int mode);
// As LICE_DeltaBlit with a weight that starts at da and changes by dadx per pixel, dady per row.
void LICE_DeltaBlitAlpha(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, float srcx, float srcy, float srcw, float srch, double dsdx,
                         double dtdx, double dsdy, double dtdy, double dsdxdy, double dtdxdy,
                         bool cliptosourcerect, float alpha, int mode, double da, double dadx,
                         double dady);

// Mesh warp: srcpoints holds div_w * div_h source (x, y) pairs, row by row, mapped onto an
// even grid over the destination rectangle.
void LICE_TransformBlit(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                        int dsth, const float* srcpoints, int div_w, int div_h, float alpha,
                        int mode);
void LICE_TransformBlit2(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, const double* srcpoints, int div_w, int div_h, float alpha,
                         int mode);
// As LICE_TransformBlit2 with (x, y, alpha) per mesh point.
void LICE_TransformBlit2Alpha(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty,
                              int dstw, int dsth, const double* srcpoints, int div_w, int div_h,
                              int mode);

// Each destination pixel is the whole-word average of a 2 x 2 block of src.
void LICE_HalveBlitAA(LICE_IBitmap* dest, const LICE_IBitmap* src);

// Blurs the source rectangle into dest at (dstx, dsty) with a five-point kernel; dest may be
// src.
void LICE_Blur(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch);

// ---------------------------------------------------------------------------------------------
// Fills

void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha,
                   int mode);

// Colour (ir, ig, ib, ia) at the top-left corner, changing by d?dx per column and d?dy per row.
// Channels are 0..1 floats.
void LICE_GradRect(LICE_IBitmap* dest, int dstx, int dsty, int dstw, int dsth, float ir, float ig,
                   float ib, float ia, float drdx, float dgdx, float dbdx, float dadx, float drdy,
                   float dgdy, float dbdy, float dady, int mode);

// Rows y1..y2 inclusive; row y1 spans x1a..x1b and row y2 spans x2a..x2b (inclusive).
void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2,
                        LICE_pixel color, float alpha, int mode);
void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3,
                       LICE_pixel color, float alpha, int mode);
void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints,
                            LICE_pixel color, float alpha, int mode);

// Flood fill from (x, y): connected pixels with (pixel & comparemask) equal to the seed's become
// newcolor | (pixel & keepmask).
void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_pixel newcolor, LICE_pixel comparemask,
                     LICE_pixel keepmask);
