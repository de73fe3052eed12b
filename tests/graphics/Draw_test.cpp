// Drawing services: film-strip frame offsets, clipping to the draw region, the image cache and
// a missing image, pixels, text measuring and the font cache, film-strip text, and golden
// sheets of every drawing operation and of system text (which pin outlines and blends). Text
// figures depend on the DejaVu fonts.

#include <cmath>
#include <functional>

#include "GraphicsTestSupport.h"
#include "graphics/IGraphicsCaches.h"
#include "raster/lice_text.h"

using namespace gfxtest;

namespace
{

// A control whose Draw runs a test's drawing code inside a real Draw pass, so the draw region
// is whatever the pass repaints.
class Painter : public IControl
{
public:
  Painter(IPlugBase* pPlug, IRECT r, std::function<void(IGraphics*)> paint)
      : IControl(pPlug, r), mPaint(std::move(paint))
  {
  }
  bool Draw(IGraphics* pGraphics) override
  {
    mPaint(pGraphics);
    return true;
  }

private:
  std::function<void(IGraphics*)> mPaint;
};

// Runs paint in a strict Draw pass over region (the whole editor when empty) and returns the
// editor, its back bitmap cleared to transparent black first.
void PaintIn(Rig& rig, std::function<void(IGraphics*)> paint, IRECT region = IRECT())
{
  IGraphics* gui = rig.gui;
  IRECT all(0, 0, gui->Width(), gui->Height());
  auto* painter = new Painter(&rig.plug, all, std::move(paint));
  gui->AttachControl(painter);
  if (!gui->GetDrawBitmap()) gui->PrepDraw();
  LICE_Clear(gui->GetDrawBitmap(), 0);
  IRECT r = region.Empty() ? all : region;
  gui->Draw(&r);
}

// A 1-pixel-wide strip (or 1-pixel-high when horizontal) whose pixel i encodes i.
std::unique_ptr<LICE_MemBitmap> CountingStrip(int length, bool horizontal)
{
  auto b = std::make_unique<LICE_MemBitmap>(horizontal ? length : 1, horizontal ? 1 : length);
  for (int i = 0; i < length; ++i)
    LICE_PutPixel(b.get(), horizontal ? i : 0, horizontal ? 0 : i,
                  LICE_RGBA(i & 0xFF, i >> 8, 0, 255), 1.0f, 0);
  return b;
}

int CountAt(IGraphics* gui, int x, int y)
{
  IColor c = gui->GetPoint(x, y);
  return c.mR | (c.mG << 8);
}

TEST(DrawBitmap, FrameOffsets)
{
  struct Row
  {
    int length, frames, frame, offset;
  };
  const Row rows[] = {
      {1550, 31, 1, 0},
      {1550, 31, 0, 0},
      {1550, 31, -3, 0},
      {1550, 31, 2, 50},
      {1550, 31, 31, 1500},
      {10, 3, 2, 3},
      {10, 3, 3, 7},
      {1550, 1, 5, 0},
      // Past the last frame: the last frame, not what lies below the strip.
      {1550, 31, 32, 1500},
      {1550, 31, 999, 1500},
  };
  for (bool horizontal : {false, true})
    for (const Row& row : rows)
    {
      Rig rig;
      auto pixels = CountingStrip(row.length, horizontal);
      IBitmap strip(pixels.get(), pixels->getWidth(), pixels->getHeight(), row.frames, horizontal);
      PaintIn(rig,
              [&](IGraphics* g)
              {
                IRECT dest(5, 5, 6, 6);
                g->DrawBitmap(&strip, &dest, row.frame, nullptr);
              });
      EXPECT_EQ(CountAt(rig.gui, 5, 5), row.offset)
          << row.frames << " frames of " << row.length << ", frame " << row.frame
          << (horizontal ? " horizontal" : " vertical");
    }
}

TEST(DrawBitmap, ClippedToTheDrawRegion)
{
  struct Row
  {
    IRECT region;
    IRECT expectInk; // all-zero: nothing drawn
  };
  const Row rows[] = {
      {IRECT(0, 0, 100, 100), IRECT(10, 10, 30, 30)},
      {IRECT(15, 12, 22, 40), IRECT(15, 12, 22, 30)},
      {IRECT(50, 50, 60, 60), IRECT()}, // the painter is drawn, the bitmap clipped away
      {IRECT(30, 10, 40, 20), IRECT()}, // touching edge: overlap of zero width
  };
  for (const Row& row : rows)
  {
    Rig rig;
    auto pixels = MakeIdStrip(20, 20, 1);
    IBitmap bm(pixels.get(), 20, 20);
    PaintIn(
        rig,
        [&](IGraphics* g)
        {
          IRECT dest(10, 10, 30, 30);
          g->DrawBitmap(&bm, &dest, 1, nullptr);
        },
        row.region);
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 100; ++x)
      {
        const bool ink = rig.gui->GetPoint(x, y).mA != 0;
        ASSERT_EQ(ink, row.expectInk.Contains(x, y)) << x << "," << y;
      }
  }
}

TEST(DrawImages, CacheLoadsEachIdOnce)
{
  Rig rig;
  const std::vector<char> png = PngBytes(*MakeIdStrip(4, 3, 2), "cache");
  IGraphicsHeadless::RegisterImage(880001, "cache-a.png", png.data(), (int)png.size());
  const int loads = IGraphicsHeadless::OSLoadCount();
  IBitmap first = rig.gui->LoadIBitmap(880001, "cache-a.png", 2);
  ASSERT_NE(first.mData, nullptr);
  EXPECT_EQ(first.FrameHeight(), 3);
  // Same id, another name and frame count, another editor: the same pixels, loaded once.
  Rig other;
  IBitmap again = other.gui->LoadIBitmap(880001, "some-other-name.png", 3, true);
  EXPECT_EQ(again.mData, first.mData);
  EXPECT_TRUE(again.mN == 3 && again.mFramesAreHorizontal);
  EXPECT_EQ(IGraphicsHeadless::OSLoadCount(), loads + 1);
}

TEST(DrawImages, MissingImageGetsAPlaceholderAndAMessage)
{
  Rig rig;
  testing::internal::CaptureStderr();
  IBitmap bm = rig.gui->LoadIBitmap(990101, "knob-missing.png", 31);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("knob-missing.png"), std::string::npos) << err;
  EXPECT_NE(err.find("990101"), std::string::npos) << err;
  ASSERT_NE(bm.mData, nullptr);
  EXPECT_EQ(bm.FrameWidth(), 16);
  EXPECT_EQ(bm.FrameHeight(), 16);
  // Not cached under the id: a later load that finds the image gets the real one.
  EXPECT_EQ(GetBitmapCache().Find(990101), nullptr);

  // A knob on it draws and turns like any other.
  auto* knob = rig.Attach(new IKnobMultiControl(&rig.plug, 0, 0, kLevel, &bm));
  rig.Open();
  rig.gui->RenderAll();
  EXPECT_EQ(*knob->GetRECT(), IRECT(0, 0, 16, 16));
  EXPECT_EQ(rig.gui->GetPoint(0, 0), IColor(255, 255, 0, 255));
}

TEST(DrawImages, ScaleCropRetainRelease)
{
  Rig rig;
  BitmapStorage& cache = GetBitmapCache();
  auto pixels = MakeIdStrip(10, 10, 4);
  IBitmap src(pixels.get(), 10, 40, 4);
  const int before = cache.Size();

  IBitmap scaled = rig.gui->ScaleBitmap(&src, 5, 20);
  EXPECT_EQ(scaled.mN, 4);
  EXPECT_EQ(LICE_GetPixel(scaled.mData, 2, 2 + 5 * 2), IdColor(3));

  IRECT area(0, 10, 10, 30);
  IBitmap cropped = rig.gui->CropBitmap(&src, &area);
  EXPECT_EQ(LICE_GetPixel(cropped.mData, 0, 0), IdColor(2));
  EXPECT_EQ(LICE_GetPixel(cropped.mData, 9, 19), IdColor(3));
  EXPECT_EQ(cache.Size(), before + 2);
  EXPECT_EQ(cache.Find(-1), nullptr) << "made images are never found by id";

  rig.gui->ReleaseBitmap(&scaled);
  rig.gui->ReleaseBitmap(&cropped);
  EXPECT_EQ(cache.Size(), before);
  // Not cached: left alone (the sanitizer build would catch a delete of the caller's pixels).
  rig.gui->ReleaseBitmap(&src);
  EXPECT_EQ(LICE_GetPixel(pixels.get(), 0, 0), IdColor(1));

  auto* owned = new LICE_MemBitmap(3, 3);
  IBitmap handle(owned, 3, 3);
  rig.gui->RetainBitmap(&handle);
  EXPECT_TRUE(cache.Contains(owned));
  rig.gui->ReleaseBitmap(&handle);
  EXPECT_FALSE(cache.Contains(owned));
}

TEST(DrawPixels, ForceGetAndBounds)
{
  Rig rig(8, 6);
  rig.gui->PrepDraw();
  IColor c(0x12, 0x34, 0x56, 0x78);
  EXPECT_TRUE(rig.gui->ForcePixel(&c, 7, 5));
  EXPECT_EQ(rig.gui->GetPoint(7, 5), c) << "stored as is, alpha too";
  for (auto [x, y] : {std::pair{-1, 0}, {8, 0}, {0, 6}, {0, -1}, {1 << 30, 1 << 30}})
    EXPECT_FALSE(rig.gui->ForcePixel(&c, x, y)) << x << "," << y;
  EXPECT_EQ(rig.gui->GetPoint(-1, -1), COLOR_TRANSPARENT);

  IGraphicsHeadless unprepared(nullptr, 8, 6);
  EXPECT_FALSE(unprepared.ForcePixel(&c, 1, 1));
  EXPECT_EQ(unprepared.GetBits(), nullptr);
}

TEST(DrawText, FontCacheKeysAndSizeCorrection)
{
  Rig rig;
  FontStorage& cache = GetFontCache();
  IText a(17, &COLOR_RED, "DejaVu Sans Mono");
  LICE_CachedFont* fa = rig.gui->CacheFont(&a);
  ASSERT_NE(fa, nullptr);
  EXPECT_EQ(a.mCached, fa);
  const int fonts = cache.Size();

  // Colour, alignment and quality are not part of the key; size, style and face are.
  IText b(17, &COLOR_BLUE, "DejaVu Sans Mono", IText::kStyleNormal, IText::kAlignFar, 0,
          IText::kQualityNonAntiAliased);
  EXPECT_EQ(rig.gui->CacheFont(&b), fa);
  EXPECT_EQ(cache.Size(), fonts);
  IText bold(17, &COLOR_RED, "DejaVu Sans Mono", IText::kStyleBold);
  IText bigger(37, &COLOR_RED, "DejaVu Sans Mono");
  EXPECT_NE(rig.gui->CacheFont(&bold), fa);
  EXPECT_NE(rig.gui->CacheFont(&bigger), fa);
  EXPECT_EQ(cache.Size(), fonts + 2);

  // One correction brings the line height to about the size asked for.
  for (int size : {8, 10, 13, 20, 31})
  {
    IText t(size, nullptr, "DejaVu Sans");
    LICE_CachedFont* f = rig.gui->CacheFont(&t);
    ASSERT_NE(f, nullptr);
    EXPECT_NEAR(f->GetLineHeight(), size, 1) << size;
  }
  // Nothing to measure or draw leaves the rectangle as it was (measured rectangles in each
  // alignment are pinned by the text sheet).
  IRECT untouched(1, 2, 3, 4);
  EXPECT_TRUE(rig.gui->MeasureIText(&a, "", &untouched));
  EXPECT_TRUE(rig.gui->DrawIText(&a, nullptr, &untouched));
  EXPECT_EQ(untouched, IRECT(1, 2, 3, 4));
  // Sizes below 2 are made at 2; a long face name is cut, not overrun.
  IText tiny(0, nullptr, "DejaVu Sans");
  EXPECT_NE(rig.gui->CacheFont(&tiny), nullptr);
  IText longName(10, nullptr, "An Extremely Long Face Name That Does Not Fit Anywhere");
  EXPECT_EQ(std::strlen(longName.mFont), 31u);
  EXPECT_NE(rig.gui->CacheFont(&longName), nullptr);
}

// Film-strip font: frame k of the strip is flat colour IdColor(k); character c is frame c - 31.
TEST(DrawText, BitmapedTextCells)
{
  struct Row
  {
    const char* text;
    IText::EAlign align;
    bool multi, vCenter;
    IRECT rect;
    std::vector<std::pair<int, int>> inked; // top-left of cells expected drawn
    std::pair<int, int> blank;              // a cell expected left empty
  };
  // Cells 4 x 5, 1 pixel apart; single lines are cut at 30 / 4 = 7 characters, multi-line text
  // wraps 7 to a row.
  const auto N = IText::kAlignNear, F = IText::kAlignFar, C = IText::kAlignCenter;
  const IRECT W(0, 0, 30, 10);
  const Row rows[] = {
      {"!\"#", N, false, false, IRECT(10, 10, 40, 20), {{10, 10}, {15, 10}, {20, 10}}, {25, 10}},
      {"!\"", F, false, false, IRECT(10, 10, 40, 20), {{32, 10}, {37, 10}}, {27, 10}},
      {"!", C, false, true, IRECT(10, 10, 40, 21), {{23, 13}}, {23, 10}},
      {"!!!!!!!!!!", N, false, false, W, {{0, 0}, {30, 0}}, {35, 0}},
      {"!!!!!!!!!", N, true, false, W, {{0, 0}, {30, 0}, {0, 5}, {5, 5}}, {10, 5}},
  };
  auto pixels = MakeIdStrip(4, 5, 96);
  IBitmap font(pixels.get(), 4, 5 * 96, 96);
  for (const Row& row : rows)
  {
    SCOPED_TRACE(&row - rows);
    Rig rig(64, 32);
    IText style(10, nullptr, nullptr, IText::kStyleNormal, row.align);
    PaintIn(rig,
            [&](IGraphics* g)
            {
              IRECT r = row.rect;
              EXPECT_TRUE(DrawBitmapedText(g, &font, &r, &style, nullptr, row.text, row.vCenter,
                                           row.multi, 4, 5, 1));
            });
    for (auto [x, y] : row.inked) EXPECT_EQ(rig.gui->GetPoint(x, y).mA, 255) << x << "," << y;
    EXPECT_EQ(rig.gui->GetPoint(row.blank.first, row.blank.second).mA, 0);
  }
}

TEST(DrawText, BitmapedTextDegenerateCellsDrawNothing)
{
  auto pixels = MakeIdStrip(4, 5, 96);
  IBitmap font(pixels.get(), 4, 5 * 96, 96);
  IText style;
  struct Row
  {
    int w, h;
    IRECT rect;
  };
  for (const Row& row : {Row{0, 5, IRECT(0, 0, 30, 10)}, Row{-4, 5, IRECT(0, 0, 30, 10)},
                         Row{4, 0, IRECT(0, 0, 30, 10)}, Row{4, 5, IRECT(10, 0, 10, 10)},
                         Row{4, 5, IRECT(10, 0, 12, 10)}})
  {
    Rig rig(32, 16);
    PaintIn(rig,
            [&](IGraphics* g)
            {
              IRECT r = row.rect;
              EXPECT_FALSE(DrawBitmapedText(g, &font, &r, &style, nullptr, "!!!", false, true,
                                            row.w, row.h, 0));
            });
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 32; ++x)
        ASSERT_EQ(rig.gui->GetPoint(x, y).mA, 0) << row.w << "x" << row.h;
  }
  Rig rig(32, 16);
  PaintIn(rig,
          [&](IGraphics* g)
          {
            IRECT r(0, 0, 30, 10);
            EXPECT_TRUE(DrawBitmapedText(g, &font, &r, &style, nullptr, "", false, true, 4, 5, 0));
            EXPECT_TRUE(
                DrawBitmapedText(g, &font, &r, &style, nullptr, nullptr, false, true, 4, 5, 0));
          });
}

// Every drawing operation once, on one sheet. Guards the raster call, arguments and blend word
// of each: a changed offset, mode or rounding shows up as a changed cell.
TEST(DrawSheet, EveryOperation)
{
  Rig rig(256, 192);
  auto knob = MakeKnobStrip(24, 5);
  IBitmap strip(knob.get(), 24, 24 * 5, 5);
  auto dial = MakeKnobStrip(24, 1);
  IBitmap oneDial(dial.get(), 24, 24);
  auto lamp = MakeLampStrip(20, 12, 2);
  IBitmap lamps(lamp.get(), 20, 24, 2);

  // Rotating-mask parts: a grey disc base, a white wedge mask, a dark pointer on top.
  LICE_MemBitmap base(21, 21), mask(21, 21), top(21, 21);
  LICE_Clear(&base, LICE_RGBA(90, 90, 110, 255));
  LICE_Clear(&mask, 0);
  LICE_FillTriangle(&mask, 10, 10, 4, 0, 16, 0, LICE_RGBA(255, 255, 255, 255), 1.0f, 0);
  LICE_Clear(&top, 0);
  LICE_Line(&top, 10, 10, 10, 2, LICE_RGBA(20, 20, 20, 255), 1.0f, 0, false);
  IBitmap bBase(&base, 21, 21), bMask(&mask, 21, 21), bTop(&top, 21, 21);

  auto glyphs = MakeIdStrip(5, 7, 96);
  // Give the glyph strip some shape: a hole in every cell.
  for (int k = 0; k < 96; ++k) LICE_FillRect(glyphs.get(), 1 + k % 3, k * 7 + 2, 2, 3, 0, 1.0f, 0);
  IBitmap glyphFont(glyphs.get(), 5, 7 * 96, 96);

  PaintIn(rig,
          [&](IGraphics* g)
          {
            IColor bg(255, 30, 34, 40), red = COLOR_RED, green = COLOR_GREEN, blue = COLOR_BLUE,
                                        yellow = COLOR_YELLOW, orange = COLOR_ORANGE,
                                        white = COLOR_WHITE;
            IColor glass(128, 120, 200, 255);
            IRECT all(0, 0, 256, 192);
            g->FillIRect(&bg, &all, nullptr);
            IChannelBlend copy(IChannelBlend::kBlendCopy), add(IChannelBlend::kBlendAdd),
                dodge(IChannelBlend::kBlendDodge), faint(IChannelBlend::kBlendSourceAlpha, 0.5f);

            // Row 1: bitmaps by frame, each blend, a rotated bitmap, a rotated mask.
            for (int f = 1; f <= 4; ++f)
            {
              IRECT d(4 + 28 * (f - 1), 4, 28 + 28 * (f - 1), 28);
              const IChannelBlend* blends[] = {nullptr, &copy, &add, &dodge};
              g->DrawBitmap(&strip, &d, f + 1, blends[f - 1]);
            }
            IRECT lampR(118, 4, 138, 16);
            g->DrawBitmap(&lamps, &lampR, 2, &faint);
            g->DrawRotatedBitmap(&oneDial, 160, 16, 0.6, 0, nullptr);
            g->DrawRotatedBitmap(&oneDial, 188, 16, -1.2, 3, &add);
            g->DrawRotatedMask(&bBase, &bMask, &bTop, 210, 4, 60.0, nullptr);
            g->DrawRotatedMask(&bBase, &bMask, &bTop, 232, 4, -135.0, &faint);

            // Row 2: points, lines, radial lines, arcs, circles.
            for (int i = 0; i < 10; ++i)
              g->DrawPoint(&white, 4.0f + i * 2.3f, 40.6f, nullptr, false);
            g->DrawLine(&red, 4, 48, 60, 70, nullptr, false);
            g->DrawLine(&green, 4, 70, 60, 48, &add, true);
            for (int i = 0; i < 8; ++i)
              g->DrawRadialLine(&yellow, 90, 58, (float)(i * 0.785398), 4, 14, nullptr, i & 1);
            g->DrawArc(&orange, 130, 58, 12, -1.5f, 2.0f, nullptr, true);
            g->DrawCircle(&blue, 165, 58, 12.5f, nullptr, false);
            g->DrawCircle(&white, 200, 58, 9, &faint, true);
            g->DrawVerticalLine(&white, 230, 40, 76);
            g->DrawHorizontalLine(&white, 76, 220, 250);
            IRECT gauge(236, 40, 252, 74);
            g->DrawVerticalLine(&red, &gauge, 0.3f);
            g->DrawHorizontalLine(&green, &gauge, 1.7f); // clamped to the top

            // Row 3: rectangles, round rectangles, fills.
            IRECT r1(4, 86, 40, 120);
            g->DrawRect(&white, &r1);
            IRECT r2(48, 86, 90, 120);
            g->RoundRect(&yellow, &r2, nullptr, 8, true);
            IRECT r3(98, 86, 140, 120);
            g->FillRoundRect(&orange, &r3, nullptr, 9, false);
            IRECT r4(148, 86, 190, 120);
            g->FillRoundRect(&glass, &r4, &faint, 6, true);
            IRECT r5(198, 86, 250, 120);
            g->FillIRect(&glass, &r5, nullptr);
            g->FillCircle(&red, 224, 103, 11.0f, &add, true);

            // Row 4: triangles, polygons, film-strip text, forced and read-back pixels.
            g->FillTriangle(&green, 4, 180, 30, 130, 56, 178, nullptr);
            g->FillTriangle(&glass, 20, 130, 60, 150, 30, 185, nullptr);
            int px[] = {70, 100, 112, 95, 66}, py[] = {140, 130, 160, 186, 170};
            g->FillIConvexPolygon(&blue, px, py, 5, &dodge);
            IText left(10, nullptr, nullptr, IText::kStyleNormal, IText::kAlignNear);
            IRECT textR(120, 130, 250, 160);
            DrawBitmapedText(g, &glyphFont, &textR, &left, nullptr,
                             "SHEET 4.2 OPS: frames, blends!", false, true, 5, 7, 1);
            for (int i = 0; i < 20; ++i)
            {
              IColor c(255, i * 12, 255 - i * 12, 128);
              g->ForcePixel(&c, 120 + i * 2, 180);
              IColor back = g->GetPoint(120 + i * 2, 180);
              g->ForcePixel(&back, 120 + i * 2, 182);
            }
          });
  ExpectMatchesGolden(*rig.gui->GetDrawBitmap(), "draw_operations",
                      "Every editor drawing operation once: film-strip frames under each blend, "
                      "rotated bitmap and mask, points, lines, radial lines, arcs, circles, "
                      "rectangles, round rectangles, fills, triangles, a polygon, film-strip "
                      "text and forced pixels.");
}

// System text in each alignment, style and colour alpha.
TEST(DrawSheet, Text)
{
  Rig rig(200, 80);
  PaintIn(rig,
          [&](IGraphics* g)
          {
            IColor bg(255, 240, 236, 220);
            IRECT all(0, 0, 200, 80);
            g->FillIRect(&bg, &all, nullptr);
            IColor ink(255, 20, 30, 90), faded(110, 160, 20, 20);
            IText near(12, &ink, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear);
            IText centre(14, &ink, "DejaVu Sans", IText::kStyleBold, IText::kAlignCenter);
            IText far(12, &faded, "DejaVu Sans", IText::kStyleItalic, IText::kAlignFar);
            IRECT r1(4, 4, 196, 20), r2(4, 26, 196, 46), r3(4, 52, 196, 70);
            g->DrawIText(&near, "Bass 5.0", &r1);
            g->DrawIText(&centre, "Middle", &r2);
            g->DrawIText(&far, "Treble -3 dB", &r3);
            IColor frame(255, 150, 150, 150);
            for (IRECT* r : {&r1, &r2, &r3})
            {
              IRECT m = *r;
              IText* t = r == &r1 ? &near : r == &r2 ? &centre : &far;
              g->MeasureIText(t, r == &r1 ? "Bass 5.0" : r == &r2 ? "Middle" : "Treble -3 dB", &m);
              g->DrawRect(&frame, &m);
            }
          });
  ExpectMatchesGolden(*rig.gui->GetDrawBitmap(), "draw_text",
                      "System text left, centre and right aligned in normal, bold and italic, "
                      "the last in a translucent colour, each framed by its measured rectangle.");
}

} // namespace
