// Text drawn from arbitrary bytes: the glyph-caching font (LICE_CachedFont::DrawText) with the
// font flags and draw flags taken from the input, and the shim's SWELL_DrawText on a memory
// context.
//
// Input: bytes 0-3 the draw flags and 4-5 the font flags (little-endian, any bits), byte 6
// the rectangle, background mode and length mode, the rest the text. Drawing that clips leaves
// every pixel outside its rectangle alone; measuring draws nothing.

#include <string>

#include "raster/lice_text.h"
#include "tests/fuzz/FuzzCheck.h"

namespace
{
constexpr int kW = 48, kH = 24;
constexpr LICE_pixel kPaper = 0x5A3C1E0Fu;

HFONT Font()
{
  static HFONT font = CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
  return font;
}

bool OutsideUntouched(LICE_IBitmap const& bmp, RECT const& r)
{
  for (int y = 0; y < bmp.getHeight(); ++y)
    for (int x = 0; x < bmp.getWidth(); ++x)
    {
      bool const inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      if (!inside && bmp.getBits()[y * bmp.getRowSpan() + x] != kPaper) return false;
    }
  return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
  if (size < 7 || size > 8192) return 0;
  unsigned const flags = data[0] | (data[1] << 8) | (data[2] << 16) | (unsigned(data[3]) << 24);
  // The font handle stays ours.
  int const fontFlags = (data[4] | (data[5] << 8)) & ~LICE_FONT_OWNS_HFONT;
  int const shape = data[6];
  // A rectangle inside the bitmap, possibly empty or inverted, sometimes reaching out.
  RECT const box = {(shape & 3) * 6 - 2, (shape >> 2 & 3) * 4 - 2, kW - (shape >> 4 & 3) * 9,
                    kH - (shape >> 4 & 3) * 7};
  std::string const text(reinterpret_cast<char const*>(data + 7), size - 7);
  // Exact length, or up to the terminator (the text may hold zero bytes of its own).
  int const len = (shape & 0x40) ? -1 : static_cast<int>(text.size());

  LICE_MemBitmap bmp(kW, kH);
  LICE_Clear(&bmp, kPaper);
  {
    LICE_CachedFont font;
    font.SetFromHFont(Font(), fontFlags);
    font.SetTextColor(0xFFFFFFFFu);
    font.SetBkColor(0x80FF0000u);
    font.SetBkMode(shape >> 7);
    RECT r = box;
    int const h = font.DrawText(&bmp, text.c_str(), len, &r, flags);
    FUZZ_CHECK(h >= 0);
    if (flags & LICE_TEXT_CALCRECT)
    {
      FUZZ_CHECK(OutsideUntouched(bmp, RECT{0, 0, 0, 0}));
      RECT m = box;
      FUZZ_CHECK(font.DrawText(nullptr, text.c_str(), len, &m, flags) == h);
      FUZZ_CHECK(m.left == r.left && m.top == r.top && m.right == r.right && m.bottom == r.bottom);
    }
    else if (!(flags & LICE_TEXT_NOCLIP))
      FUZZ_CHECK(OutsideUntouched(bmp, box));
  }

  HDC ctx = SWELL_CreateMemContext(nullptr, kW, kH);
  FUZZ_CHECK(ctx);
  SelectObject(ctx, Font());
  SetTextColor(ctx, 0xFFFFFF);
  SetBkMode(ctx, shape >> 7);
  RECT r = box;
  FUZZ_CHECK(SWELL_DrawText(ctx, text.c_str(), len, &r, static_cast<int>(flags)) >= 0);
  SWELL_DeleteGfxContext(ctx);
  return 0;
}
