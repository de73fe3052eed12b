// The glyph-caching font: decoding, glyph rendering and its transforms, measuring, drawing
// through the cache and natively, and robustness against arbitrary text. Figures depend on
// the DejaVu fonts (fonts-dejavu-core).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "raster/lice_text.h"
#include "raster_test_util.h"
#include "support/Sanitized.h"
#include "support/golden.h"

using raster_test::GuardedBitmap;
using raster_test::Pixels;
using torva_test::Rng;
using torva_test::Scaled;
using Ent = LICE_CachedFont::charEnt;

namespace
{

HFONT Font(int size, int quality = DEFAULT_QUALITY, const char* face = "DejaVu Sans")
{
  return CreateFont(-size, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, (char)quality, 0, face);
}

// UTF-8 of a 16-bit code point.
std::string Utf8(unsigned short c)
{
  if (c < 0x80) return std::string(1, (char)c);
  if (c < 0x800) return {(char)(0xC0 | (c >> 6)), (char)(0x80 | (c & 0x3F))};
  return {(char)(0xE0 | (c >> 12)), (char)(0x80 | ((c >> 6) & 0x3F)), (char)(0x80 | (c & 0x3F))};
}

// A font that owns its handle.
struct TestFont : LICE_CachedFont
{
  explicit TestFont(int size, int flags = 0, int quality = DEFAULT_QUALITY)
  {
    SetFromHFont(Font(size, quality), flags | LICE_FONT_OWNS_HFONT);
  }
  const Ent& Glyph(unsigned short c)
  {
    RECT r = {0, 0, 0, 0};
    DrawText(nullptr, Utf8(c).c_str(), -1, &r, LICE_TEXT_CALCRECT);
    const Ent* e = findChar(c);
    EXPECT_NE(e, nullptr);
    static Ent none{};
    return e ? *e : none;
  }
  std::vector<unsigned char> Map(unsigned short c)
  {
    const Ent& e = Glyph(c);
    const unsigned char* p = glyphBytes(&e);
    return p ? std::vector<unsigned char>(p, p + e.width * e.height) : std::vector<unsigned char>();
  }
};

RECT Measure(LICE_CachedFont& f, const char* text, unsigned int flags = 0, int len = -1,
             int* result = nullptr)
{
  RECT r = {5, 7, 5, 7};
  const int h = f.DrawText(nullptr, text, len, &r, flags | LICE_TEXT_CALCRECT);
  if (result) *result = h;
  r.right -= 5, r.bottom -= 7; // width and height
  return r;
}

// A bitmap that refuses native text, so text into it always goes through the glyph cache.
struct CacheOnlyBitmap : LICE_MemBitmap
{
  CacheOnlyBitmap(int w, int h) : LICE_MemBitmap(w, h) {}
  int Extended(int id, void*) override { return id == 0x59555678; }
};

// Shim text measure of one string in the given font.
RECT ShimMeasure(HFONT font, const char* text)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r = {0, 0, 0, 0};
  SWELL_DrawText(dc, text, -1, &r, LICE_TEXT_CALCRECT | LICE_TEXT_NOPREFIX | LICE_TEXT_SINGLELINE);
  SelectObject(dc, old);
  SWELL_DeleteGfxContext(dc);
  return r;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TEST(Utf8Char, DecodesAndFallsBackToSingleBytes)
{
  struct Case
  {
    const char* bytes;
    unsigned short code;
    int used;
  } cases[] = {
      {"A", 'A', 1},
      {"\xC3\xA9", 0xE9, 2},       // é
      {"\xC3\x41", 0xC3, 1},       // continuation missing: the lead byte alone
      {"\xC3", 0xC3, 1},           // cut short by the terminator
      {"\xE2\x82\xAC", 0x20AC, 3}, // €
      {"\xE2\x82", 0xE2, 1},
      {"\xEF\xBF\xBF", 0xFFFF, 3},
      {"\xF0\x9F\x98\x80", ' ', 4}, // beyond 16 bits: a space
      {"\xF0\x9F\x98", 0xF0, 1},
      {"\xC0\x80", 0xC0, 1}, // overlong leads are plain bytes
      {"\xC1\xBF", 0xC1, 1},
      {"\xF5\x80\x80\x80", 0xF5, 1},
      {"\x80", 0x80, 1},
      {"\xFF", 0xFF, 1},
  };
  for (const Case& c : cases)
  {
    unsigned short out = 0;
    EXPECT_EQ(utf8char(c.bytes, &out), c.used) << c.bytes;
    EXPECT_EQ(out, c.code) << c.bytes;
  }
}

TEST(CachedFont, LineHeightAndEmptyFont)
{
  TestFont f(12);
  HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
  SelectObject(dc, f.GetHFont());
  TEXTMETRIC tm;
  GetTextMetrics(dc, &tm);
  SWELL_DeleteGfxContext(dc);
  EXPECT_EQ(f.GetLineHeight(), tm.tmHeight);
  EXPECT_GT(f.GetLineHeight(), 12);

  // Without a font nothing is measured or drawn.
  LICE_CachedFont empty;
  LICE_MemBitmap bm(20, 20);
  RECT r = {0, 0, 20, 20};
  EXPECT_EQ(empty.DrawText(&bm, "A", -1, &r, 0), 0);
  EXPECT_EQ(Measure(empty, "A").right, 0);
  // Drawing needs a bitmap; measuring does not.
  EXPECT_EQ(f.DrawText(nullptr, "A", -1, &r, 0), 0);
}

TEST(CachedFont, GlyphsMatchTheShimsMeasure)
{
  TestFont f(12);
  for (const char* s : {"A", "V", "g", "W"})
  {
    const Ent& e = f.Glyph((unsigned char)s[0]);
    const RECT shim = ShimMeasure(f.GetHFont(), s);
    EXPECT_EQ(e.advance, shim.right) << s;
    EXPECT_GT(e.base, 0) << s;
    // Rows are never trimmed, columns only in the margins.
    EXPECT_EQ(e.height, shim.bottom) << s;
    // The margins are 2 pixels at this size; only inked margin columns are kept.
    EXPECT_GE(e.width, e.advance) << s;
    EXPECT_LE(e.width, e.advance + 4) << s;
    EXPECT_GE(e.left_extent, 0) << s;
    EXPECT_LE(e.left_extent, 2) << s;
  }
}

TEST(CachedFont, MeasuresTwoLetters)
{
  TestFont f(12);
  int h = 0;
  const RECT r = Measure(f, "AV", 0, -1, &h);
  const Ent& a = f.Glyph('A');
  const Ent& v = f.Glyph('V');
  const int pens = a.advance + v.advance;
  const int ink = a.advance + v.width - v.left_extent;
  EXPECT_EQ(r.right, std::max({pens, ink, a.width - a.left_extent}));
  EXPECT_EQ(r.bottom, std::max(a.height, v.height));
  EXPECT_EQ(h, r.bottom);
  // textlen counts bytes: one letter.
  EXPECT_EQ(Measure(f, "AV", 0, 1).right, std::max(a.advance, a.width - a.left_extent));
  EXPECT_EQ(Measure(f, "").right, 0);
}

TEST(CachedFont, LineFeeds)
{
  TestFont f(12);
  const int cell = f.Glyph('A').height;
  const RECT two = Measure(f, "A\r\nB");
  EXPECT_EQ(two.bottom, f.GetLineHeight() + cell);
  EXPECT_EQ(two.right, std::max(Measure(f, "A").right, Measure(f, "B").right));

  const RECT one = Measure(f, "A\nB", LICE_TEXT_SINGLELINE);
  EXPECT_EQ(one.bottom, cell);
  EXPECT_EQ(one.right, Measure(f, "A B").right);

  // Drawn: the second line lies one line height lower; single line draws a space.
  f.SetTextColor(0xFFFFFFFF);
  LICE_MemBitmap a(60, 60), b(60, 60);
  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  RECT r = {3, 2, 60, 60};
  f.DrawText(&a, "A\nB", -1, &r, 0);
  f.DrawText(&b, "A", -1, &r, 0);
  RECT r2 = {3, 2 + f.GetLineHeight(), 60, 60};
  f.DrawText(&b, "B", -1, &r2, 0);
  EXPECT_EQ(Pixels(a), Pixels(b));

  f.SetLineSpacing(5);
  EXPECT_EQ(Measure(f, "A\nB").bottom, f.GetLineHeight() + 5 + cell);

  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  f.DrawText(&a, "A\nB", -1, &r, LICE_TEXT_SINGLELINE);
  f.DrawText(&b, "A B", -1, &r, 0);
  EXPECT_EQ(Pixels(a), Pixels(b));
}

TEST(CachedFont, BlankGlyphsOnlyAdvance)
{
  TestFont f(12);
  const Ent& space = f.Glyph(' ');
  EXPECT_EQ(space.base, -1);
  EXPECT_GT(space.advance, 0);
  EXPECT_EQ(space.width, 0);
  // Code 0 (an overlong three-byte form truncates to it) renders nothing at all, not even an
  // advance.
  EXPECT_EQ(Measure(f, "\xE0\x80\x80").right, 0);
  ASSERT_EQ(f.findChar(0)->base, -1);
  EXPECT_EQ(f.findChar(0)->advance, 0);

  // A trailing space adds nothing to the extent; an inner one moves what follows.
  EXPECT_EQ(Measure(f, "A  ").right, Measure(f, "A").right);
  EXPECT_EQ(Measure(f, "  ").right, 0);
  f.SetTextColor(0xFFFFFFFF);
  LICE_MemBitmap a(80, 30), b(80, 30);
  LICE_Clear(&a, 0x11223344);
  LICE_Clear(&b, 0x11223344);
  RECT r = {2, 2, 80, 30};
  f.DrawText(&a, " ", -1, &r, 0);
  EXPECT_EQ(Pixels(a), Pixels(b));
  f.DrawText(&a, "A B", -1, &r, 0);
  f.DrawText(&b, "A", -1, &r, 0);
  RECT rb = {2 + f.Glyph('A').advance + space.advance, 2, 80, 30};
  f.DrawText(&b, "B", -1, &rb, 0);
  EXPECT_EQ(Pixels(a), Pixels(b));
}

TEST(CachedFont, OtherCodePointsAreCachedInOrder)
{
  TestFont f(12);
  const std::vector<unsigned short> codes = {0x20AC, 0xE9, 0x3A9, 0x100, 0xFB01, 0x416, 0xB5};
  for (unsigned short c : codes)
  {
    unsigned short back = 0;
    utf8char(Utf8(c).c_str(), &back);
    ASSERT_EQ(back, c);
    EXPECT_EQ(f.findChar(c), nullptr);
    EXPECT_GT(Measure(f, Utf8(c).c_str()).right, 0);
  }
  for (unsigned short c : codes)
  {
    const Ent* e = f.findChar(c);
    ASSERT_NE(e, nullptr) << c;
    EXPECT_EQ(e->charid, c);
  }
  EXPECT_EQ(f.findChar(0x20AD), nullptr);
  // Replacing the font forgets every glyph.
  f.SetFromHFont(Font(14), LICE_FONT_OWNS_HFONT);
  EXPECT_EQ(f.findChar(0xE9), nullptr);
  EXPECT_EQ(f.findChar('A')->base, 0);
}

TEST(CachedFont, AsciiOnlyFonts)
{
  TestFont f(12, LICE_FONT_ASCII_ONLY);
  for (unsigned short c = 0; c < 128; ++c) EXPECT_NE(f.findChar(c)->base, 0) << c;
  // Other code points are neither cached, drawn nor advanced over.
  EXPECT_EQ(Measure(f, "A\xC3\xA9"
                       "B")
                .right,
            Measure(f, "AB").right);
  EXPECT_EQ(f.findChar(0xE9), nullptr);
  f.SetTextColor(0xFFFFFFFF);
  LICE_MemBitmap a(60, 30), b(60, 30);
  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  RECT r = {0, 0, 60, 30};
  f.DrawText(&a,
             "A\xC3\xA9"
             "B",
             -1, &r, 0);
  f.DrawText(&b, "AB", -1, &r, 0);
  EXPECT_EQ(Pixels(a), Pixels(b));
}

// The composite of one coverage map by the copy rule, written out.
static void ExpectCopyComposite(const LICE_IBitmap& bm, const std::vector<unsigned char>& map,
                                const Ent& e, int x0, int y0, LICE_pixel before, LICE_pixel fg,
                                int ia)
{
  int checked = 0;
  for (int y = 0; y < e.height; ++y)
    for (int x = 0; x < e.width; ++x)
    {
      const int v = map[(size_t)y * e.width + x];
      const int w = v == 0 ? 0 : ia == 256 ? v + 1 : ia * v / 256;
      auto ch = [w](int d, int c) { return c + (d - c) * (256 - w) / 256; };
      const LICE_pixel want =
          LICE_RGBA(ch(LICE_GETR(before), LICE_GETR(fg)), ch(LICE_GETG(before), LICE_GETG(fg)),
                    ch(LICE_GETB(before), LICE_GETB(fg)), ch(LICE_GETA(before), 255));
      ASSERT_EQ(LICE_GetPixel(&bm, x0 + x, y0 + y), want) << x << "," << y << " v=" << v;
      checked += v != 0;
    }
  EXPECT_GT(checked, 10);
}

TEST(CachedFont, CoverageWeights)
{
  TestFont f(24);
  const Ent e = f.Glyph('S');
  const std::vector<unsigned char> map = f.Map('S');
  const LICE_pixel before = 0x40102030;
  CacheOnlyBitmap bm(60, 60);
  RECT r = {10, 5, 60, 60};

  // Opaque colour at full alpha: weight v + 1.
  LICE_Clear(&bm, before);
  f.SetTextColor(0xFFE0C0A0);
  f.DrawText(&bm, "S", -1, &r, 0);
  ExpectCopyComposite(bm, map, e, 10 - e.left_extent, 5, before, 0xFFE0C0A0, 256);

  // Colour alpha 0x80 with the foreground-alpha flag: ia = 128, weight 128 * v / 256.
  LICE_Clear(&bm, before);
  f.SetTextColor(0x80E0C0A0);
  f.DrawText(&bm, "S", -1, &r, LICE_TEXT_USE_FG_ALPHA);
  ExpectCopyComposite(bm, map, e, 10 - e.left_extent, 5, before, 0x80E0C0A0, 128);
  // The flag lasts for the call only; alpha 0 draws nothing and returns 0.
  LICE_Clear(&bm, before);
  f.DrawText(&bm, "S", -1, &r, 0);
  ExpectCopyComposite(bm, map, e, 10 - e.left_extent, 5, before, 0x80E0C0A0, 256);
  LICE_Clear(&bm, before);
  f.SetTextColor(0x00FFFFFF);
  EXPECT_EQ(f.DrawText(&bm, "S", -1, &r, LICE_TEXT_USE_FG_ALPHA), 0);
  for (LICE_pixel p : Pixels(bm)) ASSERT_EQ(p, before);

  // Combine alpha 0.5 with the add rule: ia = 128, other rules go through the same weights.
  f.SetTextColor(0xFF402010);
  f.SetCombineMode(LICE_COMBINE_ADD, 0.5f);
  LICE_Clear(&bm, before);
  f.DrawText(&bm, "S", -1, &r, 0);
  for (int y = 0; y < e.height; ++y)
    for (int x = 0; x < e.width; ++x)
    {
      const int v = map[(size_t)y * e.width + x];
      const int w = 128 * v / 256;
      LICE_pixel want = before;
      if (w) LICE_CombinePixels2(&want, 0x40, 0x20, 0x10, 255, w, LICE_COMBINE_ADD);
      ASSERT_EQ(LICE_GetPixel(&bm, 10 - e.left_extent + x, 5 + y), want);
    }
}

TEST(CachedFont, MonoShadowOutlineAndBackground)
{
  TestFont plain(14), mono(14, LICE_FONT_MONO), shadow(14, LICE_FONT_SHADOW),
      outline(14, LICE_FONT_OUTLINE), inverted(14, LICE_FONT_INVERT);
  const Ent e = plain.Glyph('B');
  const std::vector<unsigned char> p = plain.Map('B'), m = mono.Map('B');
  ASSERT_EQ(mono.Glyph('B').width, e.width);
  for (size_t i = 0; i < p.size(); ++i) ASSERT_EQ(m[i], p[i] > 130 ? 255 : 0);

  const std::vector<unsigned char> inv = inverted.Map('B');
  ASSERT_EQ(inv.size(), p.size());
  for (size_t i = 0; i < p.size(); ++i) ASSERT_EQ(inv[i], 255 - p[i]);

  auto ink = [&](int x, int y)
  { return x >= 0 && y >= 0 && x < e.width && y < e.height && m[(size_t)y * e.width + x] == 255; };
  const std::vector<unsigned char> s = shadow.Map('B'), o = outline.Map('B');
  for (int y = 0; y < e.height; ++y)
    for (int x = 0; x < e.width; ++x)
    {
      const size_t i = (size_t)y * e.width + x;
      const bool sh = !ink(x, y) && (ink(x - 1, y) || ink(x, y - 1) || ink(x - 1, y - 1));
      const bool ol =
          !ink(x, y) && (ink(x - 1, y) || ink(x + 1, y) || ink(x, y - 1) || ink(x, y + 1));
      ASSERT_EQ(s[i], ink(x, y) ? 255 : sh ? 128 : 0) << x << "," << y;
      ASSERT_EQ(o[i], ink(x, y) ? 255 : ol ? 128 : 0) << x << "," << y;
    }

  // Effect maps draw ink in the text colour and the effect in the effect colour; with the
  // background mode the cell is filled first.
  CacheOnlyBitmap bm(40, 40);
  LICE_Clear(&bm, 0);
  shadow.SetTextColor(0xFF0000FF);
  shadow.SetEffectColor(0xFF00FF00);
  shadow.SetBkColor(0xFFFF0000);
  shadow.SetBkMode(1);
  RECT r = {4, 4, 40, 40};
  shadow.DrawText(&bm, "B", -1, &r, 0);
  for (int y = 0; y < e.height; ++y)
    for (int x = 0; x < e.width; ++x)
    {
      const unsigned char v = s[(size_t)y * e.width + x];
      const LICE_pixel want = v == 255 ? 0xFF0000FF : v == 128 ? 0xFF00FF00 : 0xFFFF0000;
      ASSERT_EQ(LICE_GetPixel(&bm, 4 - e.left_extent + x, 4 + y), want);
    }
  EXPECT_EQ(LICE_GetPixel(&bm, 4 - e.left_extent + e.width, 4), 0u);

  // Mono at half alpha blends every ink pixel at ia = 128.
  mono.SetTextColor(0xFFFFFFFF);
  mono.SetCombineMode(LICE_COMBINE_COPY, 0.5f);
  LICE_Clear(&bm, 0xFF000000);
  mono.DrawText(&bm, "B", -1, &r, 0);
  for (int y = 0; y < e.height; ++y)
    for (int x = 0; x < e.width; ++x)
      ASSERT_EQ(LICE_GetPixel(&bm, 4 - e.left_extent + x, 4 + y),
                m[(size_t)y * e.width + x] ? 0xFF808080u : 0xFF000000u);

  // Blur spreads the ink: more pixels touched, none beyond the margins.
  TestFont blurred(14, LICE_FONT_BLUR);
  const std::vector<unsigned char> b = blurred.Map('B');
  auto inked = [](const std::vector<unsigned char>& v)
  { return std::count_if(v.begin(), v.end(), [](unsigned char c) { return c != 0; }); };
  EXPECT_GT(inked(b), inked(p));
}

TEST(CachedFont, SmoothingOffGivesHardEdges)
{
  TestFont hard(14, 0, NONANTIALIASED_QUALITY), soft(14, 0, ANTIALIASED_QUALITY);
  auto levels = [](const std::vector<unsigned char>& v)
  { return std::count_if(v.begin(), v.end(), [](unsigned char c) { return c != 0 && c != 255; }); };
  EXPECT_EQ(levels(hard.Map('S')), 0);
  EXPECT_GT(levels(soft.Map('S')), 0);
}

TEST(CachedFont, VerticalMapsAreRotated)
{
  TestFont plain(16), down(16, LICE_FONT_VERTICAL), up(16, LICE_FONT_VERTICAL | LICE_FONT_BOTTOMUP);
  const Ent e = plain.Glyph('F');
  const std::vector<unsigned char> p = plain.Map('F'), d = down.Map('F'), u = up.Map('F');
  const Ent& ed = down.Glyph('F');
  ASSERT_EQ(ed.width, e.height);
  ASSERT_EQ(ed.height, e.width);
  const int w = e.width, h = e.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      ASSERT_EQ(d[(size_t)x * h + (h - 1 - y)], p[(size_t)y * w + x]); // clockwise
      ASSERT_EQ(u[(size_t)(w - 1 - x) * h + y], p[(size_t)y * w + x]); // counter-clockwise
    }

  // Text running down is the horizontal text turned a quarter clockwise; measuring swaps
  // width and height and returns the width.
  const RECT mh = Measure(plain, "Fj"), mv = Measure(down, "Fj");
  EXPECT_EQ(mv.right, mh.bottom);
  EXPECT_EQ(mv.bottom, mh.right);
  int ret = 0;
  Measure(down, "Fj", 0, -1, &ret);
  EXPECT_EQ(ret, mv.right);

  plain.SetTextColor(0xFFFFFFFF);
  down.SetTextColor(0xFFFFFFFF);
  up.SetTextColor(0xFFFFFFFF);
  const int S = 64;
  LICE_MemBitmap hb(S, S), vb(S, S), ub(S, S);
  LICE_Clear(&hb, 0);
  LICE_Clear(&vb, 0);
  LICE_Clear(&ub, 0);
  RECT rh = {6, 0, S, S};
  plain.DrawText(&hb, "Fj", -1, &rh, 0);
  RECT rv = {0, 6, S, S};
  down.DrawText(&vb, "Fj", -1, &rv, 0);
  // Bottom-up text starts at the bottom of its measured extent.
  RECT ru = {0, S - 6 - mv.bottom, S, S};
  up.DrawText(&ub, "Fj", -1, &ru, 0);
  const int H = mh.bottom;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < S; ++x)
    {
      ASSERT_EQ(LICE_GetPixel(&vb, H - 1 - y, x), LICE_GetPixel(&hb, x, y)) << x << "," << y;
      ASSERT_EQ(LICE_GetPixel(&ub, y, S - 1 - x), LICE_GetPixel(&hb, x, y)) << x << "," << y;
    }
}

TEST(CachedFont, AlignmentAndClipping)
{
  TestFont f(12);
  f.SetTextColor(0xFFFFFFFF);
  const RECT m = Measure(f, "Ag");
  LICE_MemBitmap a(100, 40), b(100, 40);
  auto drawn = [&](unsigned int flags, RECT r, int bx, int by)
  {
    LICE_Clear(&a, 0);
    LICE_Clear(&b, 0);
    f.DrawText(&a, "Ag", -1, &r, flags | LICE_TEXT_NOCLIP);
    RECT at = {bx, by, 1000, 1000};
    f.DrawText(&b, "Ag", -1, &at, LICE_TEXT_NOCLIP);
    return Pixels(a) == Pixels(b);
  };
  const RECT box = {10, 4, 91, 37};
  EXPECT_TRUE(drawn(LICE_TEXT_RIGHT, box, 91 - m.right, 4));
  EXPECT_TRUE(drawn(LICE_TEXT_HCENTER, box, 10 + (81 - m.right) / 2, 4));
  EXPECT_TRUE(drawn(LICE_TEXT_BOTTOM, box, 10, 37 - m.bottom));
  EXPECT_TRUE(
      drawn(LICE_TEXT_VCENTER | LICE_TEXT_RIGHT, box, 91 - m.right, 4 + (33 - m.bottom) / 2));

  // Clipped to the rectangle unless told otherwise; an empty clip draws nothing.
  GuardedBitmap g(60, 30);
  RECT tight = {12, 8, 17, 14};
  f.DrawText(&g, "WWW", -1, &tight, 0);
  int inside = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x)
    {
      const bool in = x >= 12 && x < 17 && y >= 8 && y < 14;
      if (!in)
      {
        ASSERT_EQ(g.at(x, y), 0u) << x << "," << y;
      }
      inside += in && g.at(x, y) != 0;
    }
  EXPECT_GT(inside, 0);
  RECT empty = {20, 20, 20, 40};
  EXPECT_EQ(f.DrawText(&g, "W", -1, &empty, 0), 0);
  f.DrawText(&g, "WWW", -1, &tight, LICE_TEXT_NOCLIP);
  EXPECT_NE(g.at(30, 12), 0u);
  EXPECT_TRUE(g.GuardsIntact());
}

TEST(CachedFont, NativeRoute)
{
  TestFont f(12, LICE_FONT_NATIVE);
  f.SetTextColor(0xFF336699);
  const char* text = "Native & text";

  // Into a bitmap with a drawing context the shim draws directly (no prefix processing).
  LICE_SysBitmap sys(120, 30), ref(120, 30);
  LICE_Clear(&sys, 0);
  LICE_Clear(&ref, 0);
  RECT r = {4, 3, 116, 27};
  f.DrawText(&sys, text, -1, &r, LICE_TEXT_HCENTER);
  HGDIOBJ old = SelectObject(ref.getDC(), f.GetHFont());
  ::SetTextColor(ref.getDC(), 0x336699);
  RECT rr = r;
  SWELL_DrawText(ref.getDC(), text, -1, &rr, LICE_TEXT_HCENTER | LICE_TEXT_NOPREFIX);
  SelectObject(ref.getDC(), old);
  EXPECT_EQ(LICE_BitmapCmpEx(&sys, &ref, 0xFFFFFF), 0);
  const std::vector<LICE_pixel> drawn = Pixels(sys);
  EXPECT_GT(std::count_if(drawn.begin(), drawn.end(), [](LICE_pixel p) { return p & 0xFFFFFF; }),
            50);

  // Without a context the text goes through the native scratch and lands the same.
  for (unsigned int flags : {0u, (unsigned)LICE_TEXT_HCENTER, (unsigned)LICE_TEXT_RIGHT,
                             (unsigned)(LICE_TEXT_BOTTOM | LICE_TEXT_NOCLIP)})
  {
    LICE_MemBitmap mem(120, 30);
    LICE_SysBitmap sys2(120, 30);
    LICE_Clear(&mem, 0);
    LICE_Clear(&sys2, 0);
    RECT a = r, b = r;
    EXPECT_EQ(f.DrawText(&mem, text, -1, &a, flags), f.DrawText(&sys2, text, -1, &b, flags));
    EXPECT_EQ(LICE_BitmapCmpEx(&mem, &sys2, 0xFFFFFF), 0) << flags;
  }

  // Measuring without a bitmap goes through the scratch too.
  RECT m = {10, 20, 10, 20};
  const int h = f.DrawText(nullptr, text, -1, &m, LICE_TEXT_CALCRECT | LICE_TEXT_RIGHT);
  const RECT shim = ShimMeasure(f.GetHFont(), text);
  EXPECT_EQ(m.right - 10, shim.right);
  EXPECT_EQ(m.bottom - 20, shim.bottom);
  EXPECT_EQ(h, shim.bottom);

  // The foreground-alpha flag, glyph transforms and a refusing bitmap take the glyph cache.
  EXPECT_EQ(f.findChar('N')->base, 0);
  LICE_MemBitmap mem(120, 30);
  f.DrawText(&mem, "N", -1, &r, LICE_TEXT_USE_FG_ALPHA);
  EXPECT_GT(f.findChar('N')->base, 0);
  CacheOnlyBitmap refusing(120, 30);
  f.DrawText(&refusing, "a", -1, &r, 0);
  EXPECT_GT(f.findChar('a')->base, 0);
}

TEST(CachedFont, LiveFontCount)
{
  const int before = LICE_CachedFont::LiveFontCount();
  {
    TestFont a(10), b(11);
    EXPECT_EQ(LICE_CachedFont::LiveFontCount(), before + 2);
    a.Glyph('A');
  }
  EXPECT_EQ(LICE_CachedFont::LiveFontCount(), before);
  // The scratch bitmaps come back with the next font.
  TestFont c(12);
  EXPECT_GT(c.Glyph('A').base, 0);
}

// Any byte string draws and measures without touching memory outside the text or the bitmap.
TEST(CachedFont, ArbitraryBytesAreSafe)
{
  Rng rng(7);
  TestFont cache(11);
  TestFont native(11, LICE_FONT_NATIVE);
  TestFont vertical(11, LICE_FONT_VERTICAL | LICE_FONT_BOTTOMUP | LICE_FONT_SHADOW);
  cache.SetTextColor(0x80FFFFFF);
  GuardedBitmap g(70, 40);
  const int rounds = Scaled(60, 20);
  for (int i = 0; i < rounds; ++i)
  {
    // Not terminated: the exact length lives in its own allocation.
    const int len = i == 0 ? 20000 : rng.Int(0, 40);
    std::vector<char> bytes((size_t)len);
    for (char& c : bytes) c = (char)(rng.Chance(50) ? 0x80 + rng.Int(0, 127) : rng.Int(1, 127));
    if (len && rng.Chance(30)) bytes[(size_t)len - 1] = (char)0xE2; // a cut-off sequence
    RECT r = {rng.Int(-80, 60), rng.Int(-40, 40), rng.Int(-10, 120), rng.Int(-10, 80)};
    const unsigned int flags = (unsigned)rng.Int(0, 0x3F) |
                               (rng.Chance(50) ? LICE_TEXT_NOCLIP : 0) |
                               (rng.Chance(30) ? LICE_TEXT_USE_FG_ALPHA : 0);
    for (LICE_CachedFont* f :
         {(LICE_CachedFont*)&cache, (LICE_CachedFont*)&native, (LICE_CachedFont*)&vertical})
    {
      RECT m = r;
      f->DrawText(nullptr, bytes.data(), len, &m, flags | LICE_TEXT_CALCRECT);
      RECT d = r;
      f->DrawText(&g, bytes.data(), len, &d, flags);
    }
  }
  EXPECT_TRUE(g.GuardsIntact());
}

TEST(CachedFont, HugeLineHeights)
{
  // 1023 and more: glyphs are not cached (the native route takes such fonts); a bitmap that
  // refuses native text gets nothing, and nothing breaks.
  for (int size : {800, 1000})
  {
    TestFont f(size);
    ASSERT_GE(f.GetLineHeight(), 256);
    EXPECT_EQ(f.GetLineHeight() > 1023, size == 1000);
    CacheOnlyBitmap refusing(64, 64);
    LICE_Clear(&refusing, 0);
    RECT r = {-10, -500, 64, 64};
    f.SetTextColor(0xFFFFFFFF);
    f.DrawText(&refusing, "W\xE2\x82\xAC", -1, &r, LICE_TEXT_HCENTER);
    RECT m = {0, 0, 0, 0};
    f.DrawText(&refusing, "Wi", -1, &m, LICE_TEXT_CALCRECT);
    if (f.GetLineHeight() > 1023)
    {
      EXPECT_EQ(f.findChar('W')->base, 0);
    }
    else
    {
      EXPECT_GT(f.findChar('W')->base, 0);
      EXPECT_GT(m.right, 0);
    }
    GuardedBitmap g(64, 64);
    RECT n = {-20, -300, 40, 40};
    f.DrawText(&g, "Wide text", -1, &n, LICE_TEXT_RIGHT);
    EXPECT_TRUE(g.GuardsIntact());
  }
}

TEST(GlyphDrawing, CoverageAndMonoMaps)
{
  // A 3 x 2 map at full alpha: weight v, so 255 leaves 1/256 of the old value (0 here).
  const unsigned char map[6] = {0, 64, 128, 255, 1, 200};
  GuardedBitmap g(5, 4);
  LICE_DrawGlyph(&g, 1, 1, 0xFFFFFFFF, map, 3, 2, 1.0f, LICE_COMBINE_COPY);
  EXPECT_EQ(g.at(1, 1), 0u);
  EXPECT_EQ(g.at(2, 1), 0x40404040u);
  EXPECT_EQ(g.at(3, 1), 0x80808080u);
  EXPECT_EQ(g.at(1, 2), 0xFFFFFFFFu); // 255 + (0 - 255) * 1 / 256 truncates toward zero
  EXPECT_EQ(g.at(2, 2), 0x01010101u);
  EXPECT_EQ(g.at(3, 2), 0xC8C8C8C8u);
  EXPECT_EQ(g.at(0, 0), 0u);

  // Negative span: the last stored row is drawn first.
  GuardedBitmap h(5, 4);
  LICE_DrawGlyphEx(&h, 1, 1, 0xFFFFFFFF, map + 3, 3, -3, 2, 1.0f, LICE_COMBINE_COPY);
  EXPECT_EQ(h.at(1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(h.at(3, 2), 0x80808080u);

  // Clipped at every edge; use-alpha scales by the colour's alpha.
  GuardedBitmap c(2, 2);
  LICE_DrawGlyph(&c, -1, -1, 0x80FFFFFF, map, 3, 2, 1.0f,
                 LICE_COMBINE_COPY | LICE_COMBINE_USE_ALPHA);
  // ia = 128; map value 1 weighs 0, value 200 weighs 100: 255 - 255 * 156 / 256 = 100 for the
  // colour, 128 - 128 * 156 / 256 = 50 for the alpha (the colour's own alpha is drawn).
  EXPECT_EQ(c.at(0, 0), 0u);
  EXPECT_EQ(c.at(1, 0), 0x32646464u);
  EXPECT_EQ(c.at(0, 1), 0u);
  EXPECT_TRUE(c.GuardsIntact());

  // 1-bit map, 10 wide: two bytes a row, most significant bit first; weight 255.
  const unsigned char bits[4] = {0x81, 0x40, 0x00, 0xC0};
  GuardedBitmap m(12, 3);
  LICE_DrawMonoGlyph(&m, 1, 0, 0xFFFFFFFF, bits, 10, 2, 1.0f, LICE_COMBINE_COPY);
  const LICE_pixel on = 0xFFFFFFFF;
  std::vector<int> set;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 12; ++x)
    {
      if (m.at(x, y) == on)
      {
        set.push_back(y * 100 + x);
      }
      else
      {
        ASSERT_EQ(m.at(x, y), 0u);
      }
    }
  EXPECT_EQ(set, (std::vector<int>{1, 8, 10, 109, 110}));
  EXPECT_TRUE(m.GuardsIntact());
}

// ---------------------------------------------------------------------------------------------
// Pictures

namespace
{

void DrawSpecimen(LICE_IBitmap* bm, int fontFlags)
{
  LICE_Clear(bm, 0xFF203040);
  const char* text = "Gain 7.5 dB \xC3\xA9\xE2\x82\xAC";
  int y = 2;
  for (int size : {10, 12, 24})
  {
    TestFont f(size, fontFlags);
    f.SetTextColor(0xFFF0E0C0);
    const int rowH = f.GetLineHeight() + 4;
    for (unsigned int align : {0u, (unsigned)LICE_TEXT_HCENTER, (unsigned)LICE_TEXT_RIGHT})
    {
      LICE_FillRect(bm, 4, y, bm->getWidth() - 8, rowH - 1, 0xFF304050, 1.0f, LICE_COMBINE_COPY);
      RECT r = {4, y, bm->getWidth() - 4, y + rowH - 1};
      f.DrawText(bm, text, -1, &r, align | LICE_TEXT_VCENTER);
      y += rowH;
    }
  }
}

} // namespace

TEST(TextGolden, GlyphCacheRoute)
{
  LICE_MemBitmap bm(240, 250);
  DrawSpecimen(&bm, 0);
  // A translucent line and an outlined one under them.
  TestFont f(12, 0);
  f.SetTextColor(0x80FFFF00);
  RECT r = {4, 204, 236, 224};
  f.DrawText(&bm, "translucent 50%", -1, &r, LICE_TEXT_USE_FG_ALPHA | LICE_TEXT_HCENTER);
  TestFont o(12, LICE_FONT_OUTLINE);
  o.SetTextColor(0xFFFFFFFF);
  o.SetEffectColor(0xFF000000);
  RECT r2 = {4, 226, 236, 248};
  o.DrawText(&bm, "outlined", -1, &r2, LICE_TEXT_HCENTER);
  ExpectMatchesGolden(bm, "text_glyph_cache",
                      "Text through the glyph cache: DejaVu Sans at 10, 12 and 24 pixels, left, "
                      "centred and right in their rows, vertically centred; then the foreground "
                      "alpha flag at 50% and an outlined font. Guards glyph rendering, trimming, "
                      "placement and compositing.");
}

TEST(TextGolden, NativeRoute)
{
  LICE_SysBitmap sys(240, 204);
  DrawSpecimen(&sys, LICE_FONT_NATIVE);
  LICE_MemBitmap mem(240, 204);
  DrawSpecimen(&mem, LICE_FONT_NATIVE);
  // Through the drawing context and through the scratch copy alike.
  int diff[4];
  EXPECT_EQ(LICE_BitmapCmpEx(&sys, &mem, 0xFFFFFF, diff), 0)
      << diff[0] << "," << diff[1] << " " << diff[2] << "x" << diff[3];
  LICE_ClearRect(&mem, 0, 0, 240, 204, 0xFFFFFF, 0xFF000000);
  ExpectMatchesGolden(mem, "text_native",
                      "Native text: DejaVu Sans at 10, 12 and 24 pixels, left, centred and right, "
                      "drawn by the shim into a bitmap without a drawing context (via the "
                      "scratch copy). Guards the native route's placement and clipping.");
}
