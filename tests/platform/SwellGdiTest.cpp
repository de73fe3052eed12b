// Memory contexts, the record pools, object selection and deletion, clip regions.
#include "platform/linux/swell-internal.h"
#include "platform/linux/swell.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace
{
HGDIOBJ Stock(int n)
{
  return reinterpret_cast<HGDIOBJ>(intptr_t(n));
}

uint32_t Pixel(HDC dc, int w, int x, int y)
{
  return static_cast<const uint32_t*>(SWELL_GetCtxFrameBuffer(dc))[y * w + x] & 0xFFFFFF;
}

int CountPixels(HDC dc, int w, int h, uint32_t rgb)
{
  int n = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) n += Pixel(dc, w, x, y) == rgb;
  return n;
}

void Fill(HDC dc, const RECT& r, int colour)
{
  HBRUSH b = CreateSolidBrush(colour);
  SWELL_FillRect(dc, &r, b);
  DeleteObject(b);
}
} // namespace

TEST(SwellMemContext, AlignedZeroedAndRowsAreFourBytesPerPixel)
{
  for (int w : {1, 3, 5, 16, 17, 63, 64, 65, 1024})
  {
    HDC dc = SWELL_CreateMemContext(nullptr, w, 7);
    ASSERT_NE(dc, nullptr) << w;
    auto* bits = static_cast<const unsigned char*>(SWELL_GetCtxFrameBuffer(dc));
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bits) % 64, 0u) << w;
    EXPECT_EQ(std::vector<unsigned char>(bits, bits + w * 7 * 4),
              std::vector<unsigned char>(size_t(w) * 7 * 4, 0))
        << w;
    SWELL_DeleteGfxContext(dc);
  }

  // cairo must agree on the stride: a pixel drawn at (0, 1) of a 3-wide context lands 12
  // bytes in, red in byte 2 (the raster library's pixel word).
  HDC dc = SWELL_CreateMemContext(nullptr, 3, 4);
  SWELL_SetPixel(dc, 0, 1, 0x123456);
  auto* bytes = static_cast<const unsigned char*>(SWELL_GetCtxFrameBuffer(dc));
  EXPECT_EQ(bytes[12], 0x56);
  EXPECT_EQ(bytes[13], 0x34);
  EXPECT_EQ(bytes[14], 0x12);
  EXPECT_EQ(CountPixels(dc, 3, 4, 0), 11);
  SWELL_DeleteGfxContext(dc);
}

TEST(SwellMemContext, SizeLimits)
{
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, -1, 10), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 10, -1), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 40000, 1), nullptr);
  HDC empty = SWELL_CreateMemContext(nullptr, 0, 5);
  ASSERT_NE(empty, nullptr);
  RECT r{0, 0, 10, 10};
  EXPECT_GT(SWELL_DrawText(empty, "text", -1, &r, 0), 0);
  SWELL_DeleteGfxContext(empty);
}

TEST(SwellMemContext, ReleasedAndNullHandlesAreIgnored)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 4, 4); // taken from the pool, so it goes back
  SWELL_DeleteGfxContext(dc);
  SWELL_DeleteGfxContext(dc);
  SWELL_DeleteGfxContext(nullptr);
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(dc), nullptr);
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(nullptr), nullptr);
  EXPECT_EQ(SWELL_GetCtxGC(dc), nullptr);
  EXPECT_EQ(GetTextColor(dc), -1);
  EXPECT_EQ(SelectObject(dc, Stock(3)), nullptr);
  RECT r{0, 0, 10, 10};
  EXPECT_EQ(SWELL_DrawText(dc, "x", -1, &r, LICE_TEXT_CALCRECT), 0);
  SWELL_PushClipRegion(dc);
  SWELL_SetClipRegion(dc, &r);
  SWELL_PopClipRegion(dc);
  SetTextColor(dc, 1);
  SetBkMode(nullptr, 1);
}

TEST(SwellPool, RecordsAreReusedClearedAndBounded)
{
  HDC a = SWELL_CreateMemContext(nullptr, 8, 8);
  SetTextColor(a, 0xABCDEF);
  SetBkMode(a, SWELL_BKMODE_OPAQUE);
  HFONT f = CreateFont(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
  SelectObject(a, f);
  SWELL_DeleteGfxContext(a);
  HDC b = SWELL_CreateMemContext(nullptr, 8, 8);
  EXPECT_EQ(b, a);               // the most recently released record comes back first...
  EXPECT_EQ(GetTextColor(b), 0); // ...with nothing of its past
  EXPECT_EQ(SelectObject(b, Stock(3)), Stock(3));
  SWELL_DeleteGfxContext(b);
  DeleteObject(f);

  std::vector<HDC> dcs;
  std::vector<HGDIOBJ> objs;
  for (int i = 0; i < 150; ++i) dcs.push_back(SWELL_CreateMemContext(nullptr, 2, 2));
  for (int i = 0; i < 250; ++i) objs.push_back(CreateSolidBrush(i));
  for (HDC dc : dcs) SWELL_DeleteGfxContext(dc);
  for (HGDIOBJ o : objs) DeleteObject(o);
  EXPECT_EQ(detail::PooledContexts(), detail::kContextPoolMax);
  EXPECT_EQ(detail::PooledObjects(), detail::kObjectPoolMax);
}

TEST(SwellObjects, SelectObjectSlotsAndStockHandles)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
  HPEN pen = CreatePen(PS_SOLID, 1, 0xFF);
  HBRUSH brush = CreateSolidBrush(0xFF00);
  HFONT font = CreateFont(-10, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
  HFONT font2 = CreateFont(-14, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");

  EXPECT_EQ(SelectObject(dc, Stock(3)), Stock(3)); // empty slot: the stock handle itself
  EXPECT_EQ(SelectObject(dc, font), Stock(3));
  EXPECT_EQ(SelectObject(dc, font), font);    // already there
  EXPECT_EQ(SelectObject(dc, pen), Stock(1)); // slots are independent
  EXPECT_EQ(SelectObject(dc, brush), Stock(2));
  EXPECT_EQ(SelectObject(dc, font2), font);
  EXPECT_EQ(SelectObject(dc, Stock(3)), font2);
  EXPECT_EQ(SelectObject(dc, Stock(1)), pen);
  EXPECT_EQ(SelectObject(dc, Stock(2)), brush);
  EXPECT_EQ(SelectObject(dc, Stock(4)), nullptr);
  EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
  EXPECT_EQ(SelectObject(nullptr, font), nullptr);
  EXPECT_EQ(GetStockObject(SWELL_NULL_FONT), Stock(3));
  EXPECT_EQ(GetStockObject(4), nullptr);

  DeleteObject(font2);
  EXPECT_EQ(SelectObject(dc, font2), nullptr); // released
  for (HGDIOBJ o : {pen, brush, font}) DeleteObject(o);
  DeleteObject(Stock(3));
  DeleteObject(nullptr);
  SWELL_DeleteGfxContext(dc);
}

TEST(SwellObjects, ExtraReferencesDelayRelease)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
  HBRUSH b = CreateSolidBrush(0xFF);
  EXPECT_EQ(SWELL_CloneGDIObject(b), b);
  EXPECT_EQ(SWELL_CloneGDIObject(b), b);
  DeleteObject(b);
  DeleteObject(b);
  EXPECT_EQ(SelectObject(dc, b), Stock(2)); // still alive after dropping both references
  SelectObject(dc, Stock(2));
  DeleteObject(b);
  EXPECT_EQ(SelectObject(dc, b), nullptr);
  EXPECT_EQ(SWELL_CloneGDIObject(b), nullptr);
  SWELL_DeleteGfxContext(dc);
}

TEST(SwellClip, RegionsNarrowIntersectAndRestore)
{
  constexpr int W = 32, H = 32;
  HDC dc = SWELL_CreateMemContext(nullptr, W, H);
  const RECT all{0, 0, W, H};

  SWELL_PushClipRegion(dc);
  const RECT a{4, 4, 20, 20}, b{10, 0, 40, 12};
  SWELL_SetClipRegion(dc, &a);
  SWELL_SetClipRegion(dc, &b); // intersects: (10, 4) - (20, 12)
  Fill(dc, all, 0xFFFFFF);
  EXPECT_EQ(CountPixels(dc, W, H, 0xFFFFFF), 10 * 8);
  EXPECT_EQ(Pixel(dc, W, 10, 4), 0xFFFFFFu);
  EXPECT_EQ(Pixel(dc, W, 19, 11), 0xFFFFFFu);
  EXPECT_EQ(Pixel(dc, W, 20, 11), 0u);

  SWELL_PushClipRegion(dc);
  const RECT reversed{30, 30, 2, 2}; // encloses nothing
  SWELL_SetClipRegion(dc, &reversed);
  Fill(dc, all, 0x0000FF);
  EXPECT_EQ(CountPixels(dc, W, H, 0x0000FF), 0);
  SWELL_PopClipRegion(dc);
  SWELL_PopClipRegion(dc);

  // Unbalanced pops must not disable the context.
  SWELL_PopClipRegion(dc);
  SWELL_PopClipRegion(dc);
  Fill(dc, all, 0x00FF00);
  EXPECT_EQ(CountPixels(dc, W, H, 0x00FF00), W * H);

  const RECT huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  SWELL_PushClipRegion(dc);
  SWELL_SetClipRegion(dc, &huge);
  Fill(dc, huge, 0xFF0000);
  SWELL_PopClipRegion(dc);
  EXPECT_EQ(CountPixels(dc, W, H, 0xFF0000), W * H);
  SWELL_DeleteGfxContext(dc);
}

TEST(SwellDrawing, LinesRectanglesAndCopies)
{
  constexpr int W = 16, H = 16;
  HDC dc = SWELL_CreateMemContext(nullptr, W, H);
  HPEN pen = CreatePen(PS_SOLID, 1, 0xFF0000);
  HBRUSH brush = CreateSolidBrush(0x0000FF);
  SelectObject(dc, pen);
  SelectObject(dc, brush);
  Rectangle(dc, 2, 2, 8, 6); // outline on the rectangle's outer pixels, inside filled
  EXPECT_EQ(Pixel(dc, W, 2, 2), 0xFF0000u);
  EXPECT_EQ(Pixel(dc, W, 7, 5), 0xFF0000u);
  EXPECT_EQ(Pixel(dc, W, 4, 3), 0x0000FFu);
  EXPECT_EQ(Pixel(dc, W, 8, 6), 0u);

  POINT old{-1, -1};
  MoveToEx(dc, 0, 10, &old);
  EXPECT_EQ(old.x, 0);
  SWELL_LineTo(dc, 15, 10);
  EXPECT_EQ(Pixel(dc, W, 0, 10), 0xFF0000u);
  EXPECT_EQ(Pixel(dc, W, 14, 10), 0xFF0000u);
  EXPECT_EQ(Pixel(dc, W, 15, 10), 0u); // the end point is not drawn
  EXPECT_EQ(Pixel(dc, W, 7, 9), 0u);

  HDC dst = SWELL_CreateMemContext(nullptr, W, H);
  BitBlt(dst, 10, 1, 4, 2, dc, 3, 3, SRCCOPY); // the blue inside
  EXPECT_EQ(CountPixels(dst, W, H, 0x0000FF), 8);
  EXPECT_EQ(Pixel(dst, W, 10, 1), 0x0000FFu);
  EXPECT_EQ(Pixel(dst, W, 13, 2), 0x0000FFu);
  BitBlt(dst, 0, 0, W, H, dc, -100, -100, SRCCOPY); // nothing of the source there
  EXPECT_EQ(CountPixels(dst, W, H, 0x0000FF), 8);

  SWELL_DeleteGfxContext(dst);
  SWELL_DeleteGfxContext(dc);
  DeleteObject(pen);
  DeleteObject(brush);
}
