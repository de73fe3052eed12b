// Fonts, metrics, text preparation, measuring and drawing. The figures assume the DejaVu
// fonts (fonts-dejavu-core): DejaVu Sans has 2048 units per em, ascender 1901, descender 483
// and no line gap, so at 12 pixels ascent 11.14, descent 2.83, leading 0.
#include "platform/linux/swell-internal.h"
#include "platform/linux/swell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/Random.h"
#include "support/Sanitized.h"

namespace
{
HGDIOBJ Stock(int n)
{
  return reinterpret_cast<HGDIOBJ>(intptr_t(n));
}

HFONT Font(const char* face, int height = -12, int weight = FW_NORMAL, int italic = 0,
           int quality = DEFAULT_QUALITY, int width = 0)
{
  return CreateFont(height, width, 0, 0, weight, char(italic), 0, 0, 0, 0, 0, char(quality), 0,
                    face);
}

std::string Face(HDC dc)
{
  char name[128];
  GetTextFace(dc, sizeof(name), name);
  return name;
}

struct Box
{
  int left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
  bool Empty() const { return left > right; }
};

class SwellText : public ::testing::Test
{
protected:
  static constexpr int W = 400, H = 80;
  void SetUp() override
  {
    mDC = SWELL_CreateMemContext(nullptr, W, H);
    mFont = Font("DejaVu Sans");
    SelectObject(mDC, mFont);
  }
  void TearDown() override
  {
    SWELL_DeleteGfxContext(mDC);
    DeleteObject(mFont);
  }

  // Width and height of a measured text (flags plus LICE_TEXT_CALCRECT), from origin (7, 3).
  std::pair<int, int> Measure(const std::string& text, int flags = 0, int len = -1)
  {
    RECT r{7, 3, 0, 0};
    const int h = SWELL_DrawText(mDC, text.c_str(), len, &r, flags | LICE_TEXT_CALCRECT);
    if (h)
    {
      EXPECT_EQ(h, r.bottom - 3) << text;
    }
    return {r.right - 7, h};
  }
  int Width(const std::string& text, int flags = 0) { return Measure(text, flags).first; }

  uint32_t Pixel(int x, int y) const
  {
    return static_cast<const uint32_t*>(SWELL_GetCtxFrameBuffer(mDC))[y * W + x] & 0xFFFFFF;
  }
  // Bounding box of pixels for which pred holds.
  template <class Pred> Box Find(Pred pred) const
  {
    Box b;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if (pred(Pixel(x, y)))
        {
          b.left = std::min(b.left, x), b.right = std::max(b.right, x + 1);
          b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y + 1);
        }
    return b;
  }
  Box Ink() const
  {
    return Find([](uint32_t p) { return p != 0; });
  }
  void Clear() { std::memset(SWELL_GetCtxFrameBuffer(mDC), 0, size_t(W) * H * 4); }

  HDC mDC = nullptr;
  HFONT mFont = nullptr;
};
} // namespace

TEST_F(SwellText, MetricsOfTheSelectedAndTheLabelFont)
{
  TEXTMETRIC tm{};
  EXPECT_EQ(GetTextMetrics(mDC, &tm), 1);
  EXPECT_EQ(tm.tmAscent, 11);
  EXPECT_EQ(tm.tmDescent, 2);
  EXPECT_EQ(tm.tmInternalLeading, 0);
  EXPECT_EQ(tm.tmHeight, 14);      // 11 + 2 + 0 + 1
  EXPECT_EQ(tm.tmAveCharWidth, 8); // 13 x 2 / 3
  EXPECT_EQ(GetTextMetrics(mDC, nullptr), 1);

  // No font selected: the label font at size 10, the same as asking for its face at 10.
  SelectObject(mDC, Stock(3));
  TEXTMETRIC label{};
  GetTextMetrics(mDC, &label);
  const std::string labelFace = Face(mDC);
  ASSERT_FALSE(labelFace.empty());
  HFONT ten = Font(labelFace.c_str(), -10);
  SelectObject(mDC, ten);
  EXPECT_EQ(Face(mDC), labelFace);
  GetTextMetrics(mDC, &tm);
  auto figures = [](const TEXTMETRIC& m) {
    return std::vector<int>({m.tmHeight, m.tmAscent, m.tmDescent, m.tmAveCharWidth});
  };
  EXPECT_EQ(figures(tm), figures(label));
  SelectObject(mDC, mFont);
  DeleteObject(ten);

  // A released context leaves the defaults in the record.
  HDC gone = SWELL_CreateMemContext(nullptr, 1, 1);
  SWELL_DeleteGfxContext(gone);
  EXPECT_EQ(GetTextMetrics(gone, &tm), 0);
  EXPECT_EQ(std::vector<int>(
                {tm.tmHeight, tm.tmAscent, tm.tmDescent, tm.tmInternalLeading, tm.tmAveCharWidth}),
            std::vector<int>({16, 12, 4, 3, 10}));
}

TEST_F(SwellText, FontSizeRules)
{
  auto widthWith = [&](HFONT f)
  {
    SelectObject(mDC, f);
    const int w = Width("Hello, sizes");
    SelectObject(mDC, mFont);
    DeleteObject(f);
    return w;
  };
  const int twelve = Width("Hello, sizes");
  EXPECT_EQ(widthWith(Font("DejaVu Sans", 12)), twelve);
  EXPECT_EQ(widthWith(Font("DejaVu Sans", 0, FW_NORMAL, 0, 0, -12)), twelve);
  const int ten = widthWith(Font("DejaVu Sans", -10));
  EXPECT_LT(ten, twelve);
  EXPECT_EQ(widthWith(Font("DejaVu Sans", 0)), ten);     // no size at all
  EXPECT_EQ(widthWith(Font("DejaVu Sans", 1)), ten);     // below 2
  EXPECT_EQ(widthWith(Font("DejaVu Sans", -9000)), ten); // above 8192
  EXPECT_EQ(widthWith(Font("DejaVu Sans", INT32_MIN)), ten);
  EXPECT_GT(widthWith(Font("DejaVu Sans", 8192)), 1000);
}

TEST_F(SwellText, FaceCompositionCacheAndFallback)
{
  auto faceOf = [&](HFONT f)
  {
    EXPECT_NE(f, nullptr);
    SelectObject(mDC, f);
    std::string name = Face(mDC);
    SelectObject(mDC, mFont);
    DeleteObject(f);
    return name;
  };
  EXPECT_EQ(faceOf(Font("DejaVu Sans", -12, FW_BOLD, 1)), "DejaVuSans-BoldOblique");
  EXPECT_EQ(faceOf(Font("DejaVu Sans", -12, FW_BOLD - 1, 0)), "DejaVuSans");
  EXPECT_EQ(faceOf(Font("DejaVu Serif", -12, 900, 0)), "DejaVuSerif-Bold");
  EXPECT_EQ(faceOf(Font("DejaVuSansMono-Oblique")), "DejaVuSansMono-Oblique");

  // The composed name is the cache key, and a cached name is not resolved again.
  const size_t entries = detail::FontNameCacheSize();
  EXPECT_EQ(detail::ResolvedFontName("DejaVu Sans Bold Italic"), "DejaVuSans-BoldOblique");
  EXPECT_EQ(detail::FontNameCacheSize(), entries);
  EXPECT_EQ(detail::ResolvedFontName("dejavu sans Bold Italic"), "DejaVuSans-BoldOblique");
  EXPECT_EQ(detail::FontNameCacheSize(), entries + 1); // keys are case-sensitive

  // A face that is not installed: "Monaco" falls back to a monospace face, anything else to
  // the best match, never to nothing.
  HFONT mono = Font("Monaco");
  SelectObject(mDC, mono);
  EXPECT_EQ(Width("iiiiii"), Width("WWWWWW"));
  SelectObject(mDC, mFont);
  DeleteObject(mono);
  EXPECT_FALSE(faceOf(Font("No Such Face Anywhere", -12, FW_BOLD)).empty());
  EXPECT_FALSE(faceOf(Font("")).empty());
  EXPECT_FALSE(faceOf(Font(nullptr)).empty());
  EXPECT_FALSE(faceOf(Font("\xFF\xFE\xC3(")).empty());
  EXPECT_FALSE(faceOf(Font(std::string(5000, 'x').c_str(), -12, FW_BOLD, 1)).empty());

  LOGFONT lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_BOLD;
  std::strcpy(lf.lfFaceName, "DejaVu Serif");
  EXPECT_EQ(faceOf(CreateFontIndirect(&lf)), "DejaVuSerif-Bold");
  std::memset(lf.lfFaceName, 'A', sizeof(lf.lfFaceName)); // no terminator in the field
  EXPECT_FALSE(faceOf(CreateFontIndirect(&lf)).empty());
  EXPECT_EQ(CreateFontIndirect(nullptr), nullptr);
}

TEST_F(SwellText, PrefixesLineBreaksAndLength)
{
  // One line of DejaVu Sans at 12: floor(13.97 + 1.5) = 15, plus 1.
  EXPECT_EQ(Measure("ab").second, 16);
  EXPECT_EQ(Width("a&&b"), Width("a&b", LICE_TEXT_NOPREFIX));
  EXPECT_GT(Width("a&b", LICE_TEXT_NOPREFIX), Width("ab"));
  EXPECT_EQ(Width("&ab"), Width("ab"));
  EXPECT_EQ(Width("ab&"), Width("ab"));
  RECT r{1, 2, 3, 4};
  EXPECT_EQ(SWELL_DrawText(mDC, "&", -1, &r, LICE_TEXT_CALCRECT), 0); // nothing left
  EXPECT_EQ(SWELL_DrawText(mDC, "", -1, &r, LICE_TEXT_CALCRECT), 0);
  EXPECT_EQ(r.right, 3);
  EXPECT_EQ(SWELL_DrawText(mDC, nullptr, -1, &r, LICE_TEXT_CALCRECT), 0);

  // Single line: the break is a space. Otherwise two lines, 15 apart, as wide as the wider.
  EXPECT_EQ(Measure("ab\ncd", LICE_TEXT_SINGLELINE), Measure("ab cd"));
  EXPECT_EQ(Measure("ab\nWWWW"), std::make_pair(Width("WWWW"), 2 * 15 + 1));
  EXPECT_EQ(Measure("ab\r\nWWWW"), Measure("ab\nWWWW"));
  EXPECT_EQ(Measure("a\rb"), Measure("ab"));
  EXPECT_EQ(Measure("ab\n"), Measure("ab")); // a final break starts no line
  EXPECT_EQ(Measure("\n"), std::make_pair(0, 16));
  EXPECT_EQ(Measure("a\n\nb").second, 3 * 15 + 1);

  EXPECT_EQ(Measure("abcdef", 0, 2), Measure("ab"));
  EXPECT_EQ(Measure(std::string("ab\0cd", 5), 0, 5), Measure("ab"));
  EXPECT_EQ(Measure("abcdef", 0, 0).second, 0);

  // A null rectangle may be measured into without harm.
  EXPECT_EQ(SWELL_DrawText(mDC, "ab", -1, nullptr, LICE_TEXT_CALCRECT), 16);
  EXPECT_EQ(SWELL_DrawText(mDC, "ab", -1, nullptr, 0), 16);
}

TEST_F(SwellText, BoundedBufferAndEncodings)
{
  const std::string limit(4095, 'a');
  EXPECT_EQ(Width(std::string(20000, 'a')), Width(limit));
  EXPECT_EQ(Width(std::string(20000, '\n')), 0);
  EXPECT_EQ(Measure(std::string(20000, '\n')).second, 4095 * 15 + 1);
  // A character cut by the limit is dropped whole rather than turning the text to Latin-1.
  EXPECT_EQ(Width(std::string(4094, 'a') + "\xC3\xA9"), Width(std::string(4094, 'a')));

  EXPECT_EQ(Width("caf\xE9"), Width("caf\xC3\xA9"));       // Latin-1 retried
  EXPECT_EQ(Width("\xC0\xAF"), Width("\xC3\x80\xC2\xAF")); // overlong form: two characters
  EXPECT_EQ(Width("\xED\xA0\x80"), Width("\xC3\xAD\xC2\xA0\xC2\x80")); // a surrogate

  // Random bytes must neither crash nor leave the font or the context unusable.
  const auto before = Measure("Hello");
  torva_test::Rng rng(7);
  const int rounds = torva_test::Scaled(2000, 300);
  for (int i = 0; i < rounds; ++i)
  {
    std::string s(rng.Below(24), 0);
    for (char& c : s) c = char(rng.Chance(75) ? rng.Int(0x80, 0xFF) : rng.Int(0, 0x7F));
    RECT r{rng.Int(-50, 149), rng.Int(-20, 39), 300, 70};
    SWELL_DrawText(mDC, s.c_str(), int(s.size()), &r, rng.Int(0, 0xFFF));
  }
  EXPECT_EQ(Measure("Hello"), before);
  Clear();
  RECT r{0, 0, W, H};
  SetTextColor(mDC, 0xFFFFFF);
  SWELL_DrawText(mDC, "Hello", -1, &r, 0);
  EXPECT_FALSE(Ink().Empty());
}

TEST_F(SwellText, AlignmentPlacesTheTextBox)
{
  // With an opaque background in the text colour, the drawn box shows where the text went:
  // the measured width across, ascent + descent (13.97, 14 rows) down.
  SetTextColor(mDC, 0xFFFFFF);
  SetBkColor(mDC, 0xFFFFFF);
  SetBkMode(mDC, SWELL_BKMODE_OPAQUE);
  // "ab" is 15 wide: an odd width in an even rectangle tells the rule's integer halves,
  // 150 - 7, from half the difference, 285 / 2.
  const int w = Width("ab");
  ASSERT_EQ(w % 2, 1);
  struct Case
  {
    int flags, x, y;
  } cases[] = {
      {0, 10, 5},
      {LICE_TEXT_RIGHT, 310 - w, 5},
      {LICE_TEXT_HCENTER, 10 + 150 - w / 2, 5},
      {LICE_TEXT_BOTTOM, 10, 55 - 16},
      {LICE_TEXT_VCENTER | LICE_TEXT_RIGHT, 310 - w, 5 + 25 - 8},
  };
  for (const Case& c : cases)
  {
    Clear();
    RECT r{10, 5, 310, 55};
    EXPECT_EQ(SWELL_DrawText(mDC, "ab", -1, &r, c.flags), 16);
    const Box b = Find([](uint32_t p) { return p == 0xFFFFFF; });
    EXPECT_EQ(b.left, c.x) << c.flags;
    EXPECT_EQ(b.right, c.x + w) << c.flags;
    EXPECT_EQ(b.top, c.y) << c.flags;
    EXPECT_EQ(b.bottom, c.y + 14) << c.flags;
  }

  // Multi-line: one box per line, each as wide as its line, 15 rows apart.
  Clear();
  RECT r{10, 5, 310, 75};
  SWELL_DrawText(mDC, "WWWW\nab", -1, &r, 0);
  EXPECT_EQ(Pixel(10 + Width("WWWW") - 1, 5), 0xFFFFFFu);
  EXPECT_EQ(Pixel(10, 5 + 14), 0u);
  EXPECT_EQ(Pixel(10, 5 + 15), 0xFFFFFFu);
  EXPECT_EQ(Pixel(10 + Width("ab"), 5 + 15), 0u);

  // A transparent background leaves everything but the glyphs alone.
  SetBkMode(mDC, SWELL_BKMODE_TRANSPARENT);
  SetTextColor(mDC, 0);
  Clear();
  SWELL_DrawText(mDC, "Hello", -1, &r, 0);
  EXPECT_TRUE(Ink().Empty());
}

TEST_F(SwellText, ClippingColourAndSmoothing)
{
  SetTextColor(mDC, 0xFF0000);
  const std::string text = "A long line of text";
  RECT r{10, 5, 40, 12};
  SWELL_DrawText(mDC, text.c_str(), -1, &r, 0);
  Box b = Ink();
  ASSERT_FALSE(b.Empty());
  EXPECT_GE(b.left, 10);
  EXPECT_LE(b.right, 40);
  EXPECT_LE(b.bottom, 12);

  Clear();
  SWELL_DrawText(mDC, text.c_str(), -1, &r, LICE_TEXT_NOCLIP);
  b = Ink();
  EXPECT_GT(b.right, 100);
  EXPECT_GT(b.bottom, 12);
  // Red in byte 2 only; full ink reaches full red.
  EXPECT_TRUE(Find([](uint32_t p) { return (p & 0x00FFFF) != 0; }).Empty());
  EXPECT_FALSE(Find([](uint32_t p) { return p == 0xFF0000; }).Empty());

  auto levels = [&](int quality)
  {
    HFONT f = Font("DejaVu Sans", -12, FW_NORMAL, 0, quality);
    SelectObject(mDC, f);
    Clear();
    RECT all{0, 0, W, H};
    SWELL_DrawText(mDC, text.c_str(), -1, &all, 0);
    SelectObject(mDC, mFont);
    DeleteObject(f);
    return Find([](uint32_t p) { return p != 0 && p != 0xFF0000; }).Empty() ? 2 : 256;
  };
  EXPECT_EQ(levels(NONANTIALIASED_QUALITY), 2);
  EXPECT_EQ(levels(ANTIALIASED_QUALITY), 256);
  EXPECT_EQ(levels(DEFAULT_QUALITY), 256);
}

TEST_F(SwellText, FarAwayRectanglesDrawNothingAndMeasureSafely)
{
  RECT r{INT32_MAX - 5, INT32_MAX - 5, INT32_MAX, INT32_MAX};
  EXPECT_EQ(SWELL_DrawText(mDC, "Hello", -1, &r, LICE_TEXT_CALCRECT), 16);
  EXPECT_EQ(r.right, INT32_MAX);
  for (int flags : {0, LICE_TEXT_NOCLIP, LICE_TEXT_RIGHT | LICE_TEXT_BOTTOM,
                    LICE_TEXT_HCENTER | LICE_TEXT_VCENTER | LICE_TEXT_NOCLIP})
  {
    RECT far[] = {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                  {-9000000, 3, -8000000, 40},
                  {9000000, 3, 9000100, 40}};
    for (RECT& f : far) SWELL_DrawText(mDC, "Hello", -1, &f, flags);
  }
  EXPECT_TRUE(Ink().Empty());

  // Centred in the whole int range: the middle is at x = 0, so half the text shows.
  SetTextColor(mDC, 0xFFFFFF);
  RECT wide{INT32_MIN, 0, INT32_MAX, H};
  SWELL_DrawText(mDC, "Hello", -1, &wide, LICE_TEXT_HCENTER);
  const Box b = Ink();
  EXPECT_LT(b.left, 3);
  EXPECT_LE(b.right, Width("Hello") / 2 + 1);
}

TEST(SwellThreads, FontsAndContextsFromSeveralThreads)
{
  // Names new to the cache, shared by every thread, plus one per thread.
  std::vector<std::string> names = {"DejaVu Sans", "DejaVu Serif", "Monaco", "Helvetica"};
  for (int i = 0; i < 6; ++i) names.push_back("Threaded Face " + std::to_string(i));
  const size_t before = detail::FontNameCacheSize();
  constexpr int kThreads = 6;
  std::vector<std::vector<int>> widths(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back(
        [&, t]
        {
          const std::string own = "Own Face " + std::to_string(t);
          for (int round = 0; round < 3; ++round)
          {
            HDC dc = SWELL_CreateMemContext(nullptr, 64, 16);
            for (size_t i = 0; i <= names.size(); ++i)
            {
              const std::string& name = i < names.size() ? names[(i + t) % names.size()] : own;
              HFONT f = Font(name.c_str(), -11, round == 1 ? FW_BOLD : FW_NORMAL);
              SelectObject(dc, f);
              RECT r{0, 0, 64, 16};
              SWELL_DrawText(dc, "Hello", -1, &r, 0);
              r = RECT{0, 0, 0, 0};
              SWELL_DrawText(dc, name.c_str(), -1, &r, LICE_TEXT_CALCRECT);
              if (round == 0 && i < names.size()) widths[t].push_back(r.right);
              SelectObject(dc, Stock(3));
              DeleteObject(f);
            }
            SWELL_DeleteGfxContext(dc);
          }
        });
  for (auto& th : threads) th.join();
  // Every composed name once: the shared ones and each thread's own, regular and bold (the
  // first four shared ones may have been cached already by other tests).
  const size_t grown = detail::FontNameCacheSize() - before;
  EXPECT_GE(grown, (6 + kThreads) * 2u);
  EXPECT_LE(grown, (names.size() + kThreads) * 2);
  // Each thread saw the same fonts.
  for (int t = 0; t < kThreads; ++t)
    for (size_t i = 0; i < names.size(); ++i)
      EXPECT_EQ(widths[t][i], widths[0][(i + t) % names.size()]) << t << " " << i;
}
