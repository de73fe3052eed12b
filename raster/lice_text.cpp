// lice_text.cpp - the glyph-caching font and the standalone glyph drawers.
//
// How a font is used
//   LICE_CachedFont font;
//   font.SetFromHFont(CreateFont(-12, ...), LICE_FONT_OWNS_HFONT);
//   font.SetTextColor(LICE_RGBA(255, 255, 255, 255));
//   font.DrawText(bitmap, "Gain", -1, &rect, LICE_TEXT_HCENTER | LICE_TEXT_NOCLIP);
//
// Two routes
//   Native: the shim draws the text itself, into the bitmap's drawing context when it has one,
//   otherwise into the native scratch bitmap over a copy of the region, which is then blitted
//   back. Taken for fonts flagged LICE_FONT_NATIVE without any glyph transform, and for every
//   font whose line height is 256 or more (too large to be worth caching).
//   Glyph cache: each code point is rendered once, white on black, into the glyph scratch
//   bitmap; its red bytes become an 8-bit coverage map in the glyph store. Drawing composites
//   the maps with the font's combine mode. Code points 0..127 have fixed entries, the others
//   live in an array sorted by code point and found by binary search.
//
// Words
//   pen position: where a glyph's advance starts. A map starts left_extent pixels before it
//   (its ink may overhang to the left) and the pen moves on by the advance.
//   margin p: blank columns on each side of the rendered cell, so that ink overhanging the
//   advance box (italics, blur) is caught; columns of the margins without ink are cut away.
//   coverage map: 0 no ink .. 255 full ink. Mono maps hold 0 and 255; shadow and outline maps
//   hold 0, 128 (effect colour) and 255 (text colour).
//   u, v: along the line and across lines; x and y for horizontal fonts, y and x for vertical.
//
// Any byte string is acceptable text: decoding never reads past textlen or a terminator,
// positions are computed in 64 bits, and every cell is limited to the scratch bitmaps.
#include "raster/lice_text.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "raster/lice_combine.h"

using namespace lice_detail;

namespace
{

// Glyphs are cached only for line heights up to this; larger fonts draw natively.
constexpr int kMaxCachedLineHeight = 1023;
constexpr int kNativeLineHeight = 256;
// A bitmap answering Extended(kNoNativeText) with non-zero wants no native drawing.
constexpr int kNoNativeText = 0x59555678;
constexpr int kExtraStepBytes = 4096;
constexpr size_t kStoreStepBytes = 65536;
constexpr int kTransformFlags = 0x1F7; // vertical, ascii-only, blur, invert, mono, effects
constexpr unsigned int kAlignFlags =
    LICE_TEXT_HCENTER | LICE_TEXT_RIGHT | LICE_TEXT_VCENTER | LICE_TEXT_BOTTOM;

// Shared by every font; all fonts are used from one drawing thread.
LICE_SysBitmap* gGlyphScratch = nullptr;
LICE_SysBitmap* gNativeScratch = nullptr;
int gLiveFonts = 0;

int GlyphMargin(int lineHeight)
{
  return lineHeight < 16 ? 2 : lineHeight / 16 + 2;
}

// The glyph scratch grown to at least size x size; a fresh context draws white text on black.
LICE_SysBitmap* GlyphScratch(int size)
{
  if (!gGlyphScratch) gGlyphScratch = new LICE_SysBitmap();
  LICE_SysBitmap* bm = gGlyphScratch;
  if (bm->getWidth() < size || bm->getHeight() < size)
  {
    bm->resize(std::max(bm->getWidth(), size), std::max(bm->getHeight(), size));
    if (HDC dc = bm->getDC())
    {
      SetTextColor(dc, 0xFFFFFF);
      SetBkMode(dc, SWELL_BKMODE_OPAQUE);
      SetBkColor(dc, 0);
    }
  }
  return bm->getBits() && bm->getDC() && bm->getWidth() >= size ? bm : nullptr;
}

LICE_SysBitmap* NativeScratch(int w, int h)
{
  if (!gNativeScratch) gNativeScratch = new LICE_SysBitmap();
  LICE_SysBitmap* bm = gNativeScratch;
  if (bm->getWidth() < w || bm->getHeight() < h)
    bm->resize(std::max(bm->getWidth(), w), std::max(bm->getHeight(), h));
  return bm->getBits() && bm->getDC() && bm->getWidth() >= w && bm->getHeight() >= h ? bm : nullptr;
}

// Decodes at most avail bytes (a NUL is never a continuation byte, so terminated text is safe
// with any avail).
int DecodeUtf8(const unsigned char* p, long long avail, unsigned short* out)
{
  const unsigned c = p[0];
  auto cont = [p, avail](int i) { return i < avail && (p[i] & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF)
  {
    if (cont(1))
    {
      *out = (unsigned short)(((c & 0x1F) << 6) | (p[1] & 0x3F));
      return 2;
    }
  }
  else if (c >= 0xE0 && c <= 0xEF)
  {
    if (cont(1) && cont(2))
    {
      *out = (unsigned short)((c << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
      return 3;
    }
  }
  else if (c >= 0xF0 && c <= 0xF4)
  {
    // Beyond the 16-bit code points of the cache: drawn as a space.
    if (cont(1) && cont(2) && cont(3))
    {
      *out = ' ';
      return 4;
    }
  }
  *out = (unsigned short)c;
  return 1;
}

int EncodeUtf8(unsigned short code, char* out)
{
  if (code < 0x80)
  {
    out[0] = (char)code;
    return 1;
  }
  if (code < 0x800)
  {
    out[0] = (char)(0xC0 | (code >> 6));
    out[1] = (char)(0x80 | (code & 0x3F));
    return 2;
  }
  out[0] = (char)(0xE0 | (code >> 12));
  out[1] = (char)(0x80 | ((code >> 6) & 0x3F));
  out[2] = (char)(0x80 | (code & 0x3F));
  return 3;
}

long long Clamp64(long long v, long long lo, long long hi)
{
  return v < lo ? lo : (v > hi ? hi : v);
}
int ToInt(long long v)
{
  return (int)Clamp64(v, INT_MIN, INT_MAX);
}

// Rotates a w x h map a quarter turn into out (h x w): clockwise for text running down, so
// that the glyph's left edge comes first along the line; counter-clockwise for text running up.
void RotateMap(const unsigned char* in, int w, int h, bool clockwise, unsigned char* out)
{
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      // Out is h wide: clockwise (x, y) -> (h - 1 - y, x); counter-clockwise -> (y, w - 1 - x).
      if (clockwise)
        out[(size_t)x * h + (h - 1 - y)] = in[(size_t)y * w + x];
      else
        out[(size_t)(w - 1 - x) * h + y] = in[(size_t)y * w + x];
    }
}

// Mono threshold, then the effect rule on the blank pixels: the shadow marks pixels with ink
// to the left, above or above-left; the outline marks pixels with ink beside, above or below.
void ApplyMonoAndEffects(unsigned char* map, int w, int h, int flags)
{
  for (size_t i = 0, n = (size_t)w * h; i < n; ++i) map[i] = map[i] > 130 ? 255 : 0;
  if (!(flags & (LICE_FONT_SHADOW | LICE_FONT_OUTLINE))) return;
  const bool shadow = flags & LICE_FONT_SHADOW;
  auto ink = [map, w, h](int x, int y)
  { return x >= 0 && y >= 0 && x < w && y < h && map[(size_t)y * w + x] == 255; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      unsigned char& px = map[(size_t)y * w + x];
      if (px) continue;
      const bool mark = shadow ? ink(x - 1, y) || ink(x, y - 1) || ink(x - 1, y - 1)
                               : ink(x - 1, y) || ink(x + 1, y) || ink(x, y - 1) || ink(x, y + 1);
      if (mark) px = 128;
    }
}

// A destination area already clipped to the bitmap, with its first row and the row step.
struct Target
{
  PixelRows rows;
  int x, y, w, h;
};

// Coverage map: weight v + 1 at full alpha, else ia * v / 256.
// With copy: D = C + (D - C) * (256 - weight) / 256, Da = 255 + (Da - 255) * (256 - weight) / 256
template <class Rule, bool kCopyFull>
void DrawCoverage(const Target& t, const unsigned char* src, std::ptrdiff_t span, int r, int g,
                  int b, int ia, LICE_pixel solid)
{
  for (int y = 0; y < t.h; ++y)
  {
    LICE_pixel* d = t.rows.row(t.y + y) + t.x;
    const unsigned char* s = src + y * span;
    for (int x = 0; x < t.w; ++x)
    {
      const int v = s[x];
      if (!v) continue;
      if constexpr (kCopyFull)
      {
        // v + 1 = 256 makes the copy rule a plain store.
        if (v == 255)
        {
          d[x] = solid;
          continue;
        }
      }
      const int weight = ia == 256 ? v + 1 : ia * v / 256;
      if (weight) Rule::doPix((unsigned char*)(d + x), r, g, b, 255, weight);
    }
  }
}

// Mono map: every non-zero byte at weight ia.
template <class Rule>
void DrawMono(const Target& t, const unsigned char* src, std::ptrdiff_t span, int r, int g, int b,
              int ia)
{
  for (int y = 0; y < t.h; ++y)
  {
    LICE_pixel* d = t.rows.row(t.y + y) + t.x;
    const unsigned char* s = src + y * span;
    for (int x = 0; x < t.w; ++x)
      if (s[x]) Rule::doPix((unsigned char*)(d + x), r, g, b, 255, ia);
  }
}

// Shadow or outline map: 255 in the text colour, other non-zero bytes in the effect colour.
template <class Rule>
void DrawEffect(const Target& t, const unsigned char* src, std::ptrdiff_t span, LICE_pixel fg,
                LICE_pixel fx, int ia)
{
  for (int y = 0; y < t.h; ++y)
  {
    LICE_pixel* d = t.rows.row(t.y + y) + t.x;
    const unsigned char* s = src + y * span;
    for (int x = 0; x < t.w; ++x)
    {
      if (!s[x]) continue;
      const LICE_pixel c = s[x] == 255 ? fg : fx;
      Rule::doPix((unsigned char*)(d + x), (int)LICE_GETR(c), (int)LICE_GETG(c), (int)LICE_GETB(c),
                  255, ia);
    }
  }
}

// Copy at full weight: the words themselves.
void StoreMapped(const Target& t, const unsigned char* src, std::ptrdiff_t span, LICE_pixel fg,
                 LICE_pixel fx)
{
  for (int y = 0; y < t.h; ++y)
  {
    LICE_pixel* d = t.rows.row(t.y + y) + t.x;
    const unsigned char* s = src + y * span;
    for (int x = 0; x < t.w; ++x)
      if (s[x]) d[x] = s[x] == 255 ? fg : fx;
  }
}

// Clips the w x h area at (x, y) to the bitmap and to clip (if any). Returns false when nothing
// remains; otherwise *t is the area and (*sx, *sy) the offset of its first pixel in the map.
bool ClipArea(LICE_IBitmap* bm, long long x, long long y, int w, int h, const RECT* clip, Target* t,
              int* sx, int* sy)
{
  if (!bm || !bm->getBits() || w <= 0 || h <= 0) return false;
  long long l = std::max(x, 0LL), tp = std::max(y, 0LL);
  long long r = std::min(x + w, (long long)bm->getWidth());
  long long b = std::min(y + h, (long long)bm->getHeight());
  if (clip)
  {
    l = std::max(l, (long long)clip->left);
    tp = std::max(tp, (long long)clip->top);
    r = std::min(r, (long long)clip->right);
    b = std::min(b, (long long)clip->bottom);
  }
  if (l >= r || tp >= b) return false;
  t->rows = RowsOf(bm);
  t->x = (int)l, t->y = (int)tp, t->w = (int)(r - l), t->h = (int)(b - tp);
  *sx = (int)(l - x), *sy = (int)(tp - y);
  return true;
}

// Weight of a solid-colour glyph call: alpha * 256, times the colour's alpha with use-alpha.
int SolidWeight(LICE_pixel color, float alpha, int mode)
{
  if (mode & LICE_COMBINE_USE_ALPHA) alpha *= (float)LICE_GETA(color) / 255.0f;
  return AlphaWeight(alpha);
}

} // namespace

// ---------------------------------------------------------------------------------------------

int utf8char(const char* p, unsigned short* out)
{
  unsigned short dummy;
  if (!out) out = &dummy;
  if (!p)
  {
    *out = 0;
    return 0;
  }
  return DecodeUtf8((const unsigned char*)p, LLONG_MAX, out);
}

LICE_CachedFont::LICE_CachedFont()
{
  memset(mLowChars, 0, sizeof(mLowChars));
  ++gLiveFonts;
}

LICE_CachedFont::~LICE_CachedFont()
{
  if ((mFlags & LICE_FONT_OWNS_HFONT) && mFont) DeleteObject(mFont);
  if (--gLiveFonts <= 0)
  {
    gLiveFonts = 0;
    delete gGlyphScratch;
    delete gNativeScratch;
    gGlyphScratch = gNativeScratch = nullptr;
  }
  free(mExtraChars);
  free(mGlyphStore);
}

int LICE_CachedFont::LiveFontCount()
{
  return gLiveFonts;
}

LICE_pixel LICE_CachedFont::SetTextColor(LICE_pixel color)
{
  std::swap(mFgColor, color);
  return color;
}
LICE_pixel LICE_CachedFont::SetBkColor(LICE_pixel color)
{
  std::swap(mBgColor, color);
  return color;
}
LICE_pixel LICE_CachedFont::SetEffectColor(LICE_pixel color)
{
  std::swap(mEffectColor, color);
  return color;
}
int LICE_CachedFont::SetBkMode(int mode)
{
  std::swap(mBgMode, mode);
  return mode;
}
void LICE_CachedFont::SetCombineMode(int combine, float alpha)
{
  mCombineMode = combine;
  mAlpha = alpha;
}

void LICE_CachedFont::SetFromHFont(HFONT font, int flags)
{
  if ((mFlags & LICE_FONT_OWNS_HFONT) && mFont && mFont != font) DeleteObject(mFont);
  mFlags = flags;
  mFont = font;
  if (mFont)
  {
    if (LICE_SysBitmap* bm = GlyphScratch(256))
    {
      HDC dc = bm->getDC();
      HGDIOBJ old = SelectObject(dc, mFont);
      TEXTMETRIC tm;
      GetTextMetrics(dc, &tm);
      mLineHeight = tm.tmHeight;
      SelectObject(dc, old);
    }
  }
  memset(mLowChars, 0, sizeof(mLowChars));
  mExtraCount = 0;
  mGlyphUsed = 0;
  if (mFlags & LICE_FONT_ASCII_ONLY)
    for (unsigned short c = 0; c < 128; ++c) RenderGlyph(c);
}

int LICE_CachedFont::_charSortFunc(const void* a, const void* b)
{
  return (int)((const charEnt*)a)->charid - (int)((const charEnt*)b)->charid;
}

const LICE_CachedFont::charEnt* LICE_CachedFont::findChar(unsigned short code) const
{
  if (code < 128) return &mLowChars[code];
  if (!mExtraCount) return nullptr;
  charEnt key = {};
  key.charid = code;
  return (const charEnt*)bsearch(&key, mExtraChars, (size_t)mExtraCount, sizeof(charEnt),
                                 _charSortFunc);
}

LICE_CachedFont::charEnt* LICE_CachedFont::findCharMutable(unsigned short code)
{
  return const_cast<charEnt*>(findChar(code));
}

const unsigned char* LICE_CachedFont::glyphBytes(const charEnt* ent) const
{
  if (!ent || ent->base <= 0 || (size_t)ent->base - 1 >= mGlyphUsed) return nullptr;
  return mGlyphStore + (ent->base - 1);
}

LICE_CachedFont::charEnt* LICE_CachedFont::findOrRender(unsigned short code)
{
  charEnt* e = findCharMutable(code);
  if (!e || e->base == 0)
  {
    if (!RenderGlyph(code)) return nullptr;
    e = findCharMutable(code);
  }
  return e && e->base != 0 ? e : nullptr;
}

bool LICE_CachedFont::RenderGlyph(unsigned short code)
{
  if (mLineHeight > kMaxCachedLineHeight || !mFont) return false;

  charEnt* ent = findCharMutable(code);
  if (!ent)
  {
    if (mFlags & LICE_FONT_ASCII_ONLY) return false;
    if (mExtraCount == mExtraCapacity)
    {
      const size_t bytes = ((size_t)(mExtraCount + 1) * sizeof(charEnt) + kExtraStepBytes - 1) /
                           kExtraStepBytes * kExtraStepBytes;
      void* grown = realloc(mExtraChars, bytes);
      if (!grown) return false;
      mExtraChars = (charEnt*)grown;
      mExtraCapacity = (int)(bytes / sizeof(charEnt));
    }
    // Inserted in place, so the array stays sorted by code point.
    charEnt key = {};
    key.charid = code;
    charEnt* pos = std::lower_bound(mExtraChars, mExtraChars + mExtraCount, key,
                                    [](const charEnt& a, const charEnt& b)
                                    { return _charSortFunc(&a, &b) < 0; });
    memmove(pos + 1, pos, (size_t)(mExtraChars + mExtraCount - pos) * sizeof(charEnt));
    ++mExtraCount;
    ent = pos;
    memset(ent, 0, sizeof(*ent));
    ent->charid = code;
  }

  const int lh = std::max(mLineHeight, 1);
  LICE_SysBitmap* bm = GlyphScratch(lh * 2 + 8);
  if (!bm) return false;
  HDC dc = bm->getDC();
  HGDIOBJ oldFont = SelectObject(dc, mFont);

  char utf8[4];
  const int n = EncodeUtf8(code, utf8);
  RECT box = {0, 0, 0, 0};
  SWELL_DrawText(dc, utf8, n, &box, LICE_TEXT_CALCRECT | LICE_TEXT_NOPREFIX | LICE_TEXT_SINGLELINE);
  const int p = GlyphMargin(mLineHeight);
  const int sw = bm->getWidth(), sh = bm->getHeight();
  int wd = box.right - box.left, ht = box.bottom - box.top;
  const int cellw = (int)std::min<long long>(2LL * p + std::max(wd, 0), sw);
  wd = std::min(wd, cellw - p);
  ht = std::min(ht, sh);
  if (wd >= 1 && ht >= 1)
  {
    LICE_FillRect(bm, 0, 0, cellw, ht, 0, 1.0f, LICE_COMBINE_COPY);
    RECT cell = {p, 0, p + wd, ht};
    SWELL_DrawText(dc, utf8, n, &cell,
                   LICE_TEXT_NOPREFIX | LICE_TEXT_NOCLIP | LICE_TEXT_SINGLELINE);
  }
  SelectObject(dc, oldFont);

  ent->left_extent = 0;
  ent->width = ent->height = 0;
  ent->advance = 0;
  if (wd < 1 || ht < 1)
  {
    ent->base = -1;
    return true;
  }
  ent->advance = wd;
  if (mFlags & LICE_FONT_BLUR) LICE_Blur(bm, bm, 0, 0, 0, 0, cellw, ht);

  // Room for the whole cell; the store shrinks to the trimmed map afterwards.
  const size_t cellBytes = (size_t)cellw * ht;
  const size_t old = mGlyphUsed;
  if (old + cellBytes >= (size_t)INT_MAX)
  {
    ent->base = -1;
    return true;
  }
  if (old + cellBytes > mGlyphCapacity)
  {
    const size_t cap = (old + cellBytes + kStoreStepBytes - 1) / kStoreStepBytes * kStoreStepBytes;
    void* grown = realloc(mGlyphStore, cap);
    if (!grown)
    {
      ent->base = -1;
      return true;
    }
    mGlyphStore = (unsigned char*)grown;
    mGlyphCapacity = cap;
  }

  // Ink in the margins: the first inked column left of p and the last at or beyond p + wd.
  const PixelRows rows = RowsOf(bm);
  int first = p, end = p + wd;
  for (int y = 0; y < ht; ++y)
  {
    const LICE_pixel* row = rows.row(y);
    for (int x = 0; x < first; ++x)
      if (LICE_GETR(row[x]))
      {
        first = x;
        break;
      }
    for (int x = cellw - 1; x >= end; --x)
      if (LICE_GETR(row[x]))
      {
        end = x + 1;
        break;
      }
  }
  int w = end - first, h = ht;
  unsigned char* map = mGlyphStore + old;
  const bool invert = mFlags & LICE_FONT_INVERT;
  for (int y = 0; y < ht; ++y)
  {
    const LICE_pixel* row = rows.row(y) + first;
    unsigned char* out = map + (size_t)y * w;
    for (int x = 0; x < w; ++x)
    {
      const unsigned char v = (unsigned char)LICE_GETR(row[x]);
      out[x] = invert ? (unsigned char)(255 - v) : v;
    }
  }

  if (mFlags & LICE_FONT_VERTICAL)
  {
    unsigned char* tmp = (unsigned char*)malloc((size_t)w * h);
    if (!tmp)
    {
      ent->base = -1;
      ent->advance = 0;
      return true;
    }
    RotateMap(map, w, h, !(mFlags & LICE_FONT_BOTTOMUP), tmp);
    memcpy(map, tmp, (size_t)w * h);
    free(tmp);
    std::swap(w, h);
  }
  if (mFlags & (LICE_FONT_MONO | LICE_FONT_SHADOW | LICE_FONT_OUTLINE))
    ApplyMonoAndEffects(map, w, h, mFlags);

  const size_t bytes = (size_t)w * h;
  bool blank = true;
  for (size_t i = 0; i < bytes && blank; ++i) blank = map[i] == 0;
  if (blank)
  {
    // Nothing to draw (a space): only the advance is kept.
    ent->base = -1;
    return true;
  }
  mGlyphUsed = old + bytes;
  ent->base = (int)old + 1;
  ent->width = w;
  ent->height = h;
  ent->left_extent = p - first;
  return true;
}

bool LICE_CachedFont::DrawGlyph(LICE_IBitmap* bitmap, unsigned short code, int x, int y, RECT* clip)
{
  const charEnt* e = findChar(code);
  const unsigned char* src = glyphBytes(e);
  if (!src || !bitmap) return false;

  long long mx = x, my = y;
  if (!(mFlags & LICE_FONT_VERTICAL))
    mx -= e->left_extent;
  else if (mFlags & LICE_FONT_BOTTOMUP)
    my += e->left_extent;
  else
    my -= e->left_extent;

  Target t;
  int sx, sy;
  if (!ClipArea(bitmap, mx, my, e->width, e->height, clip, &t, &sx, &sy)) return false;
  src += (size_t)sy * e->width + sx;
  const std::ptrdiff_t span = e->width;

  if (mBgMode == 1)
    LICE_FillRect(bitmap, t.x, t.y, t.w, t.h, mBgColor, mAlpha,
                  mCombineMode & ~LICE_COMBINE_USE_ALPHA);

  const int ia = AlphaWeight(mAlpha);
  if (!ia) return true;
  const int r = (int)LICE_GETR(mFgColor), g = (int)LICE_GETG(mFgColor),
            b = (int)LICE_GETB(mFgColor);
  const bool copyFull = ia == 256 && (mCombineMode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY;

  if (mFlags & (LICE_FONT_SHADOW | LICE_FONT_OUTLINE))
  {
    if (copyFull)
      StoreMapped(t, src, span, mFgColor, mEffectColor);
    else
      WithSolidRule(mCombineMode, [&](auto rule)
                    { DrawEffect<decltype(rule)>(t, src, span, mFgColor, mEffectColor, ia); });
  }
  else if (mFlags & LICE_FONT_MONO)
  {
    if (copyFull)
      StoreMapped(t, src, span, mFgColor, mFgColor);
    else
      WithSolidRule(mCombineMode,
                    [&](auto rule) { DrawMono<decltype(rule)>(t, src, span, r, g, b, ia); });
  }
  else if (copyFull)
  {
    DrawCoverage<_LICE_CombinePixelsCopyNoClamp, true>(t, src, span, r, g, b, ia,
                                                       (mFgColor & 0xFFFFFFu) | 0xFF000000u);
  }
  else
  {
    WithSolidRule(mCombineMode, [&](auto rule)
                  { DrawCoverage<decltype(rule), false>(t, src, span, r, g, b, ia, 0); });
  }
  return true;
}

int LICE_CachedFont::WalkText(LICE_IBitmap* bitmap, const char* text, int textlen, long long x0,
                              long long y0, const RECT* clip, unsigned int flags,
                              long long* extentU, long long* extentV)
{
  const bool vertical = mFlags & LICE_FONT_VERTICAL;
  const bool bottomUp = vertical && (mFlags & LICE_FONT_BOTTOMUP);
  const long long lineStep = (long long)mLineHeight + mLineSpacing;
  long long u = 0, v = 0, maxU = 0, maxV = 0;
  const unsigned char* p = (const unsigned char*)text;
  long long remaining = textlen < 0 ? LLONG_MAX : textlen;
  while (remaining > 0 && *p)
  {
    unsigned short c;
    const int n = DecodeUtf8(p, remaining, &c);
    p += n;
    remaining -= n;
    if (c == '\r') continue;
    if (c == '\n')
    {
      if (!(flags & LICE_TEXT_SINGLELINE))
      {
        u = 0;
        v += lineStep;
        continue;
      }
      c = ' ';
    }
    const charEnt* e = findOrRender(c);
    if (!e) continue;
    if (e->base > 0)
    {
      const int along = vertical ? e->height : e->width;
      const int across = vertical ? e->width : e->height;
      if (bitmap)
      {
        long long gx, gy;
        if (!vertical)
          gx = x0 + u, gy = y0 + v;
        else if (bottomUp)
          gx = x0 + v, gy = y0 - u - e->height;
        else
          gx = x0 + v, gy = y0 + u;
        // Far outside any bitmap either way; keeps DrawGlyph's int arguments meaningful.
        const long long lim = 1LL << 30;
        if (gx > -lim && gx < lim && gy > -lim && gy < lim)
          DrawGlyph(bitmap, c, (int)gx, (int)gy, const_cast<RECT*>(clip));
      }
      maxU = std::max(maxU, u + along - e->left_extent);
      maxV = std::max(maxV, v + across);
      u += e->advance;
      maxU = std::max(maxU, u);
    }
    else
    {
      u += e->advance;
    }
  }
  *extentU = maxU;
  *extentV = maxV;
  return ToInt(maxV);
}

int LICE_CachedFont::DrawTextNative(LICE_IBitmap* bitmap, const char* text, int textlen, RECT* rect,
                                    unsigned int flags)
{
  const int shimFlags = (int)(flags & 0x7FFFFFFFu) | LICE_TEXT_NOPREFIX;
  const int fg = (int)(mFgColor & 0xFFFFFF), bg = (int)(mBgColor & 0xFFFFFF);
  auto setup = [&](HDC dc)
  {
    HGDIOBJ old = SelectObject(dc, mFont);
    ::SetTextColor(dc, fg);
    ::SetBkMode(dc, mBgMode);
    if (mBgMode == 1) ::SetBkColor(dc, bg);
    return old;
  };

  if (HDC dc = bitmap ? bitmap->getDC() : nullptr)
  {
    HGDIOBJ old = setup(dc);
    RECT r = *rect;
    const int ret = SWELL_DrawText(dc, text, textlen, &r, shimFlags);
    if (flags & LICE_TEXT_CALCRECT)
    {
      rect->right = r.right;
      rect->bottom = r.bottom;
    }
    SelectObject(dc, old);
    return ret;
  }

  LICE_SysBitmap* scratch = NativeScratch(4, 4);
  if (!scratch) return 0;
  HGDIOBJ old = setup(scratch->getDC());
  RECT m = {0, 0, 0, 0};
  const int h = SWELL_DrawText(scratch->getDC(), text, textlen, &m,
                               (shimFlags & ~(int)kAlignFlags) | LICE_TEXT_CALCRECT);
  const long long tw = (long long)m.right - m.left, th = (long long)m.bottom - m.top;
  if (flags & LICE_TEXT_CALCRECT)
  {
    SelectObject(scratch->getDC(), old);
    rect->right = ToInt(rect->left + tw);
    rect->bottom = ToInt(rect->top + th);
    return h;
  }

  // Where the shim would put the text box, limited to the bitmap and (clipping) the rectangle.
  // Centred with the shim's own halves, so that text lands on the same pixels whether or not
  // the bitmap has a drawing context.
  long long x = rect->left, y = rect->top;
  if (flags & LICE_TEXT_RIGHT)
    x = rect->right - tw;
  else if (flags & LICE_TEXT_HCENTER)
    x += ((long long)rect->right - rect->left) / 2 - tw / 2;
  if (flags & LICE_TEXT_BOTTOM)
    y = rect->bottom - th;
  else if (flags & LICE_TEXT_VCENTER)
    y += ((long long)rect->bottom - rect->top) / 2 - th / 2;
  long long l = std::max(x, 0LL), t = std::max(y, 0LL);
  long long r = std::min(x + tw, (long long)bitmap->getWidth());
  long long b = std::min(y + th, (long long)bitmap->getHeight());
  // Ink overhanging the box on the left; a clipping rectangle still bounds it.
  l -= std::min(l, (long long)GlyphMargin(mLineHeight));
  if (!(flags & LICE_TEXT_NOCLIP))
  {
    l = std::max(l, (long long)rect->left);
    t = std::max(t, (long long)rect->top);
    r = std::min(r, (long long)rect->right);
    b = std::min(b, (long long)rect->bottom);
  }
  if (l >= r || t >= b || !bitmap->getBits())
  {
    SelectObject(scratch->getDC(), old);
    return h;
  }
  const int bw = (int)(r - l), bh = (int)(b - t);
  if (scratch->getWidth() < bw || scratch->getHeight() < bh)
  {
    SelectObject(scratch->getDC(), old);
    scratch = NativeScratch(bw, bh);
    if (!scratch) return 0;
    old = setup(scratch->getDC());
  }
  LICE_Blit(scratch, bitmap, 0, 0, (int)l, (int)t, bw, bh, 1.0f, LICE_COMBINE_COPY);
  RECT tr = {ToInt(x - l), ToInt(y - t), ToInt(x - l + tw), ToInt(y - t + th)};
  SWELL_DrawText(scratch->getDC(), text, textlen, &tr,
                 (shimFlags & ~(int)kAlignFlags) | LICE_TEXT_NOCLIP);
  SelectObject(scratch->getDC(), old);
  LICE_Blit(bitmap, scratch, (int)l, (int)t, 0, 0, bw, bh, mAlpha, LICE_COMBINE_COPY);
  return h;
}

int LICE_CachedFont::DrawText(LICE_IBitmap* bitmap, const char* text, int textlen, RECT* rect,
                              unsigned int flags)
{
  const bool measure = flags & LICE_TEXT_CALCRECT;
  if (!bitmap && !measure) return 0;
  RECT none = {0, 0, 0, 0};
  if (!rect) rect = &none;
  if (!text || !mFont)
  {
    if (measure) rect->right = rect->left, rect->bottom = rect->top;
    return 0;
  }

  bool native = ((mFlags & LICE_FONT_NATIVE) && !(mFlags & kTransformFlags) &&
                 flags <= 0x3FFFFFFFu && (mLineSpacing == 0 || (flags & LICE_TEXT_SINGLELINE))) ||
                mLineHeight >= kNativeLineHeight;
  if (native && bitmap && bitmap->Extended(kNoNativeText, nullptr)) native = false;
  if (native) return DrawTextNative(bitmap, text, textlen, rect, flags);

  const bool vertical = mFlags & LICE_FONT_VERTICAL;
  long long eu, ev;
  if (measure)
  {
    const int ret = WalkText(nullptr, text, textlen, 0, 0, nullptr, flags, &eu, &ev);
    rect->right = ToInt(rect->left + (vertical ? ev : eu));
    rect->bottom = ToInt(rect->top + (vertical ? eu : ev));
    return ret;
  }

  const float savedAlpha = mAlpha;
  if (flags & LICE_TEXT_USE_FG_ALPHA) mAlpha *= (float)LICE_GETA(mFgColor) / 255.0f;
  int ret = 0;
  if (AlphaWeight(mAlpha) > 0)
  {
    long long x = rect->left, y = rect->top;
    long long tw = 0, th = 0;
    if (flags & kAlignFlags)
    {
      WalkText(nullptr, text, textlen, 0, 0, nullptr,
               (flags & (LICE_TEXT_SINGLELINE | 0x80000000u)) | LICE_TEXT_CALCRECT, &eu, &ev);
      tw = vertical ? ev : eu;
      th = vertical ? eu : ev;
      if (flags & LICE_TEXT_RIGHT)
        x = rect->right - tw;
      else if (flags & LICE_TEXT_HCENTER)
        x += ((long long)rect->right - rect->left - tw) / 2;
      if (flags & LICE_TEXT_BOTTOM)
        y = rect->bottom - th;
      else if (flags & LICE_TEXT_VCENTER)
        y += ((long long)rect->bottom - rect->top - th) / 2;
    }
    if (vertical && (mFlags & LICE_FONT_BOTTOMUP))
    {
      if (!(flags & kAlignFlags))
      {
        WalkText(nullptr, text, textlen, 0, 0, nullptr, flags & LICE_TEXT_SINGLELINE, &eu, &ev);
        th = eu;
      }
      y += th;
    }
    RECT clip = {0, 0, bitmap->getWidth(), bitmap->getHeight()};
    if (!(flags & LICE_TEXT_NOCLIP))
    {
      clip.left = std::max(clip.left, rect->left);
      clip.top = std::max(clip.top, rect->top);
      clip.right = std::min(clip.right, rect->right);
      clip.bottom = std::min(clip.bottom, rect->bottom);
    }
    if (clip.left < clip.right && clip.top < clip.bottom && bitmap->getBits())
      ret = WalkText(bitmap, text, textlen, x, y, &clip, flags, &eu, &ev);
  }
  mAlpha = savedAlpha;
  return ret;
}

// ---------------------------------------------------------------------------------------------
// Standalone glyph drawing

void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                      const unsigned char* alphas, int glyph_w, int glyph_span, int glyph_h,
                      float alpha, int mode)
{
  if (!alphas) return;
  const int ia = SolidWeight(color, alpha, mode);
  Target t;
  int sx, sy;
  if (!ia || !ClipArea(dest, x, y, glyph_w, glyph_h, nullptr, &t, &sx, &sy)) return;
  const std::ptrdiff_t span = glyph_span;
  const unsigned char* src = alphas + sy * span + sx;
  const int r = (int)LICE_GETR(color), g = (int)LICE_GETG(color), b = (int)LICE_GETB(color),
            a = (int)LICE_GETA(color);
  // weight = ia * v / 256
  WithSolidRule(mode,
                [&](auto rule)
                {
                  using Rule = decltype(rule);
                  for (int row = 0; row < t.h; ++row)
                  {
                    LICE_pixel* d = t.rows.row(t.y + row) + t.x;
                    const unsigned char* s = src + row * span;
                    for (int col = 0; col < t.w; ++col)
                    {
                      const int weight = ia * s[col] / 256;
                      if (weight) Rule::doPix((unsigned char*)(d + col), r, g, b, a, weight);
                    }
                  }
                });
}

void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const unsigned char* alphas,
                    int glyph_w, int glyph_h, float alpha, int mode)
{
  LICE_DrawGlyphEx(dest, x, y, color, alphas, glyph_w, glyph_w, glyph_h, alpha, mode);
}

void LICE_DrawMonoGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                        const unsigned char* bits, int glyph_w, int glyph_h, float alpha, int mode)
{
  if (!bits) return;
  const int ia = SolidWeight(color, alpha, mode);
  Target t;
  int sx, sy;
  if (!ia || !ClipArea(dest, x, y, glyph_w, glyph_h, nullptr, &t, &sx, &sy)) return;
  const std::ptrdiff_t span = (glyph_w + 7) / 8;
  const int weight = 255 * ia / 256;
  const int r = (int)LICE_GETR(color), g = (int)LICE_GETG(color), b = (int)LICE_GETB(color),
            a = (int)LICE_GETA(color);
  WithSolidRule(mode,
                [&](auto rule)
                {
                  using Rule = decltype(rule);
                  for (int row = 0; row < t.h; ++row)
                  {
                    LICE_pixel* d = t.rows.row(t.y + row) + t.x;
                    const unsigned char* s = bits + (sy + row) * span;
                    for (int col = 0; col < t.w; ++col)
                    {
                      const int bit = sx + col;
                      if (s[bit >> 3] & (0x80 >> (bit & 7)))
                        Rule::doPix((unsigned char*)(d + col), r, g, b, a, weight);
                    }
                  }
                });
}
