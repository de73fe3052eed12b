// lice_text.h - text in raster bitmaps: the font interface, the glyph-caching font and the
// standalone glyph drawers.
//
// LICE_CachedFont wraps one font handle of the drawing-context shim. Text is drawn one of two
// ways: "native", where the shim draws it straight into the bitmap's drawing context (or into
// a scratch copy of the region, for bitmaps without one), or through the glyph cache, where
// each code point is rasterised once by the shim into an 8-bit coverage map and afterwards
// composited with the combine rules of lice_combine.h. See lice_text.cpp for the details.
//
// Draw flags are the shim's LICE_TEXT_* values (swell.h) plus LICE_TEXT_USE_FG_ALPHA below.
#pragma once

#include <cstddef>

#include "raster/lice.h"

// ---------------------------------------------------------------------------------------------
// Font flags (SetFromHFont)

inline constexpr int LICE_FONT_VERTICAL = 0x1;     // text runs top to bottom, maps rotated
inline constexpr int LICE_FONT_BOTTOMUP = 0x2;     // with VERTICAL: bottom to top
inline constexpr int LICE_FONT_ASCII_ONLY = 0x4;   // 0..127 rendered up front, nothing else
inline constexpr int LICE_FONT_BLUR = 0x10;        // each rendered glyph blurred once
inline constexpr int LICE_FONT_INVERT = 0x20;      // coverage stored as 255 - coverage
inline constexpr int LICE_FONT_MONO = 0x40;        // coverage above 130 is ink, the rest none
inline constexpr int LICE_FONT_SHADOW = 0x80;      // mono plus a shadow right and below
inline constexpr int LICE_FONT_OUTLINE = 0x100;    // mono plus a one-pixel outline
inline constexpr int LICE_FONT_OWNS_HFONT = 0x200; // the font handle is deleted with the font
inline constexpr int LICE_FONT_NATIVE = 0x400;     // prefer the shim's own text drawing

// Draw flag: the combine alpha is multiplied by the text colour's alpha / 255.
inline constexpr unsigned int LICE_TEXT_USE_FG_ALPHA = 0x40000000u;

// ---------------------------------------------------------------------------------------------
// Font interface

class LICE_IFont
{
public:
  virtual ~LICE_IFont() {}

  // Replaces the font handle and the font flags (LICE_FONT_*); forgets every cached glyph.
  virtual void SetFromHFont(HFONT font, int flags = 0) = 0;
  // Colours are pixel words; each setter returns the previous value.
  virtual LICE_pixel SetTextColor(LICE_pixel color) = 0;
  virtual LICE_pixel SetBkColor(LICE_pixel color) = 0;
  // Colour of shadows and outlines.
  virtual LICE_pixel SetEffectColor(LICE_pixel color) = 0;
  // 1: glyph cells are filled with the background colour first; 0: transparent.
  virtual int SetBkMode(int mode) = 0;
  // Blend-mode word and alpha for the glyphs.
  virtual void SetCombineMode(int combine, float alpha = 1.0f) = 0;
  // Draws UTF-8 text (textlen < 0: up to the terminator) in rect, or measures it with
  // LICE_TEXT_CALCRECT (then bitmap may be null and rect's right and bottom are set). Returns
  // the text's height (its width for vertical fonts); 0 when nothing could be drawn.
  virtual int DrawText(LICE_IBitmap* bitmap, const char* text, int textlen, RECT* rect,
                       unsigned int flags) = 0;

  virtual LICE_pixel GetTextColor() const = 0;
  virtual HFONT GetHFont() const = 0;
  virtual int GetLineHeight() const = 0;
};

// ---------------------------------------------------------------------------------------------
// Glyph-caching font
//
// Not thread-safe: every font shares two process-wide scratch bitmaps, so all fonts are used
// from one drawing thread.

class LICE_CachedFont : public LICE_IFont
{
public:
  LICE_CachedFont();
  ~LICE_CachedFont() override;
  LICE_CachedFont(const LICE_CachedFont&) = delete;
  LICE_CachedFont& operator=(const LICE_CachedFont&) = delete;

  void SetFromHFont(HFONT font, int flags = 0) override;
  LICE_pixel SetTextColor(LICE_pixel color) override;
  LICE_pixel SetBkColor(LICE_pixel color) override;
  LICE_pixel SetEffectColor(LICE_pixel color) override;
  int SetBkMode(int mode) override;
  void SetCombineMode(int combine, float alpha = 1.0f) override;
  int DrawText(LICE_IBitmap* bitmap, const char* text, int textlen, RECT* rect,
               unsigned int flags) override;
  LICE_pixel GetTextColor() const override { return mFgColor; }
  HFONT GetHFont() const override { return mFont; }
  int GetLineHeight() const override { return mLineHeight; }

  // Draws one cached glyph with its pen position at (x, y). False if the glyph has not been
  // rendered, has no map, or nothing of it lies inside clip (null: the whole bitmap).
  virtual bool DrawGlyph(LICE_IBitmap* bitmap, unsigned short code, int x, int y, RECT* clip);

  // One cached glyph. base: 0 not yet rendered, -1 nothing to draw, else 1 + the offset of the
  // map's first byte in the glyph store.
  struct charEnt
  {
    int base;
    int width, height; // of the coverage map, bytes
    int advance;       // pen movement, pixels
    unsigned short charid;
    int left_extent; // how far the map starts before the pen (negative: after it)
  };

  // Cached entry for a code point, or null when it has not been rendered.
  const charEnt* findChar(unsigned short code) const;
  // The coverage map of an entry (width x height bytes), null when it has none.
  const unsigned char* glyphBytes(const charEnt* ent) const;

  // Extra pixels between lines (0 by default).
  void SetLineSpacing(int spacing) { mLineSpacing = spacing; }
  int GetLineSpacing() const { return mLineSpacing; }

  // Fonts alive in the process (they share the scratch bitmaps freed with the last one).
  static int LiveFontCount();

private:
  // Orders entries by code point (qsort/bsearch style).
  static int _charSortFunc(const void* a, const void* b);
  bool RenderGlyph(unsigned short code);
  charEnt* findCharMutable(unsigned short code);
  charEnt* findOrRender(unsigned short code);
  int DrawTextNative(LICE_IBitmap* bitmap, const char* text, int textlen, RECT* rect,
                     unsigned int flags);
  // Walks the text; measures it, and draws it when bitmap is set. See lice_text.cpp.
  int WalkText(LICE_IBitmap* bitmap, const char* text, int textlen, long long x0, long long y0,
               const RECT* clip, unsigned int flags, long long* extentU, long long* extentV);

  LICE_pixel mFgColor = 0;
  LICE_pixel mBgColor = 0xFFFFFFFF;
  LICE_pixel mEffectColor = 0xFFFFFFFF;
  int mBgMode = 0;
  int mCombineMode = 0;
  float mAlpha = 1.0f;
  int mFlags = 0;
  int mLineHeight = 0;
  int mLineSpacing = 0;
  charEnt mLowChars[128];
  // Entries for code points above 127, sorted by charid (grown in 4096-byte steps).
  charEnt* mExtraChars = nullptr;
  int mExtraCount = 0;
  int mExtraCapacity = 0;
  // Every coverage map, one after the other (grown in 65536-byte steps).
  unsigned char* mGlyphStore = nullptr;
  size_t mGlyphUsed = 0;
  size_t mGlyphCapacity = 0;
  HFONT mFont = nullptr;
};

// Decodes one character of UTF-8 text into *out and returns the bytes used (1 to 4). Bytes
// below 0xC2 or above 0xF4, and lead bytes without their continuation bytes, stand for
// themselves (1 byte); four-byte sequences (beyond 16 bits) come out as a space.
int utf8char(const char* p, unsigned short* out);

// ---------------------------------------------------------------------------------------------
// Standalone glyph drawing

// Composites a glyph_w x glyph_h 8-bit coverage map at (x, y), clipped to the bitmap: each
// non-zero byte v applies the rule of mode with color's four channels at weight ia * v / 256,
// ia = alpha * 256 (times color's alpha / 255 with LICE_COMBINE_USE_ALPHA).
void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const unsigned char* alphas,
                    int glyph_w, int glyph_h, float alpha, int mode);
// As LICE_DrawGlyph; map row r (drawn at y + r) starts at alphas + r * glyph_span, so a
// bottom-up map passes its last stored row and a negative span.
void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                      const unsigned char* alphas, int glyph_w, int glyph_span, int glyph_h,
                      float alpha, int mode);
// A 1-bit map: 8 pixels per byte, most significant bit first, each row starting on a byte.
// Every set bit applies the rule at weight 255 * ia / 256.
void LICE_DrawMonoGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                        const unsigned char* bits, int glyph_w, int glyph_h, float alpha, int mode);
