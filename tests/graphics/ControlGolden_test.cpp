// One golden sheet per family of stock controls, each control drawn at a few values on a panel
// background through a headless editor. The strips are drawn here with raster fills and go
// through the editor's image loading.

#include <cmath>

#include "GraphicsTestSupport.h"

using namespace gfxtest;

namespace
{
const IColor kPanel(255, 70, 90, 110);

// A pointer for the rotating knob: a bar from the centre upwards, on transparent pixels.
std::unique_ptr<LICE_MemBitmap> MakePointer(int size)
{
  auto b = std::make_unique<LICE_MemBitmap>(size, size);
  LICE_Clear(b.get(), 0);
  LICE_FillRect(b.get(), size / 2 - 2, 2, 4, size / 2, LICE_RGBA(255, 230, 120, 255), 1.0f, 0);
  LICE_FillCircle(b.get(), size * 0.5f, size * 0.5f, 4.0f, LICE_RGBA(200, 60, 60, 255), 1.0f, 0,
                  true);
  return b;
}

// Base, mask and top images of a mask knob: a disc, a wedge mask and a small cap.
std::unique_ptr<LICE_MemBitmap> MakeDisc(int size, LICE_pixel color, float r)
{
  auto b = std::make_unique<LICE_MemBitmap>(size, size);
  LICE_Clear(b.get(), 0);
  LICE_FillCircle(b.get(), size * 0.5f, size * 0.5f, r, color, 1.0f, 0, true);
  return b;
}
std::unique_ptr<LICE_MemBitmap> MakeWedge(int size)
{
  auto b = std::make_unique<LICE_MemBitmap>(size, size);
  LICE_Clear(b.get(), 0);
  LICE_FillTriangle(b.get(), size / 2, size / 2, size / 2 - 4, 0, size / 2 + 4, 0,
                    LICE_RGBA(0, 0, 0, 255), 1.0f, 0);
  return b;
}

// A film-strip font: character c (32 .. 127) is frame c - 31, 6 x 8, a pattern of its code.
std::unique_ptr<LICE_MemBitmap> MakeFontStrip()
{
  auto b = std::make_unique<LICE_MemBitmap>(6, 8 * 96);
  LICE_Clear(b.get(), 0);
  for (int c = 33; c < 128; ++c)
  {
    int top = (c - 32) * 8;
    for (int bit = 0; bit < 7; ++bit)
    {
      if ((c >> bit) & 1)
        LICE_FillRect(b.get(), 1 + bit % 4, top + 1 + bit, 2, 1, 0xFFFFFFFF, 1.0f, 0);
    }
    LICE_FillRect(b.get(), 0, top + 7, 5, 1, LICE_RGBA(255, 200, 0, 255), 1.0f, 0);
  }
  return b;
}
} // namespace

TEST(ControlGolden, SwitchesAndBitmaps)
{
  Editor ed(240, 120);
  ed.gui->AttachPanelBackground(&kPanel);
  IBitmap lamp = ed.Strip(MakeLampStrip(16, 16, 2), 2);
  IBitmap three = ed.Strip(MakeLampStrip(16, 16, 3), 3);
  IBitmap wide = ed.Strip(MakeLampStrip(48, 16, 3), 3);
  IBitmap radio = ed.Strip(MakeLampStrip(12, 12, 2), 2);
  std::vector<std::pair<IControl*, double>> shown;
  auto add = [&](IControl* c, double v) { shown.emplace_back(ed.Attach(c), v); };
  IColor red = COLOR_RED;
  add(new IPanelControl(&ed.plug, IRECT(4, 4, 24, 24), &red), 0.0);
  for (int i = 0; i < 3; ++i)
    add(new IBitmapControl(&ed.plug, 30 + 20 * i, 4, -1, &three), i / 2.0);
  for (int i = 0; i < 2; ++i) add(new ISwitchControl(&ed.plug, 100 + 20 * i, 4, -1, &lamp), i);
  add(new IContactControl(&ed.plug, 150, 4, -1, &lamp), 1.0);
  add(new IBitmapOverlayControl(&ed.plug, 170, 4, &lamp, IRECT(0, 0, 1, 1)), 1.0);
  add(new IBitmapOverlayControl(&ed.plug, 190, 4, &lamp, IRECT(0, 0, 1, 1)), 0.0);
  for (int i = 0; i < 3; ++i)
    add(new ISwitchFramesControl(&ed.plug, 4 + 52 * i, 30, -1, &wide, true), i / 2.0);
  add(new IInvisibleSwitchControl(&ed.plug, IRECT(170, 30, 190, 50), -1), 1.0);
  add(new IRadioButtonsControl(&ed.plug, IRECT(4, 54, 16, 116), -1, 4, &radio), 1.0 / 3.0);
  add(new IRadioButtonsControl(&ed.plug, IRECT(24, 54, 36, 116), -1, 4, &radio, kVertical, true),
      1.0 / 3.0);
  add(new IRadioButtonsControl(&ed.plug, IRECT(44, 60, 144, 72), -1, 5, &radio, kHorizontal), 1.0);
  add(new IRadioButtonsControl(&ed.plug, IRECT(44, 80, 144, 92), -1, 5, &radio, kHorizontal, true),
      0.25);
  IControl* grey = ed.Attach(new ISwitchControl(&ed.plug, 150, 60, -1, &lamp));
  ed.Open();
  for (auto& [c, v] : shown) c->SetValueFromPlug(v);
  grey->SetValueFromPlug(1.0);
  grey->GrayOut(true);
  ed.gui->RenderAll();
  ExpectMatchesGolden(*ed.gui->GetDrawBitmap(), "controls_switches",
                      "Switch family, film-strip frames by value, overlay on/off, frames switch, "
                      "radio buttons (vertical, reversed, horizontal), a greyed switch");
}

TEST(ControlGolden, Knobs)
{
  Editor ed(240, 140);
  ed.gui->AttachPanelBackground(&kPanel);
  IBitmap strip = ed.Strip(MakeKnobStrip(32, 31), 31);
  IBitmap pointer = ed.Strip(MakePointer(32), 1);
  IBitmap base = ed.Strip(MakeDisc(32, LICE_RGBA(40, 120, 200, 255), 15.0f), 1);
  IBitmap mask = ed.Strip(MakeWedge(32), 1);
  IBitmap top = ed.Strip(MakeDisc(32, LICE_RGBA(230, 230, 230, 255), 5.0f), 1);
  const double values[] = {0.0, 0.25, 0.5, 0.75, 1.0};
  std::vector<std::pair<IControl*, double>> shown;
  IColor white = COLOR_WHITE;
  for (int i = 0; i < 5; ++i)
  {
    int x = 4 + 46 * i;
    shown.emplace_back(ed.Attach(new IKnobMultiControl(&ed.plug, x, 4, -1, &strip)), values[i]);
    shown.emplace_back(
        ed.Attach(new IKnobLineControl(&ed.plug, IRECT(x, 40, x + 32, 72), -1, &white, 4.0)),
        values[i]);
    shown.emplace_back(ed.Attach(new IKnobRotaterControl(&ed.plug, x, 74, -1, &pointer)),
                       values[i]);
    shown.emplace_back(
        ed.Attach(new IKnobRotatingMaskControl(&ed.plug, x, 106, -1, &base, &mask, &top)),
        values[i]);
  }
  ed.Open();
  for (auto& [c, v] : shown) c->SetValueFromPlug(v);
  shown[4].first->GrayOut(true); // the second multi knob, at a quarter weight
  ed.gui->RenderAll();
  ExpectMatchesGolden(*ed.gui->GetDrawBitmap(), "controls_knobs",
                      "Knobs at 0, .25, .5, .75, 1: film strip (second one greyed), line, "
                      "rotating bitmap, rotating mask");
}

TEST(ControlGolden, Faders)
{
  Editor ed(200, 100);
  ed.gui->AttachPanelBackground(&kPanel);
  IBitmap vhandle = ed.Strip(MakeLampStrip(14, 8, 1), 1);
  IBitmap hhandle = ed.Strip(MakeLampStrip(8, 14, 1), 1);
  const double values[] = {0.0, 0.3, 1.0};
  std::vector<std::pair<IControl*, double>> shown;
  for (int i = 0; i < 3; ++i)
  {
    shown.emplace_back(ed.Attach(new IFaderControl(&ed.plug, 4 + 20 * i, 4, 90, -1, &vhandle)),
                       values[i]);
    shown.emplace_back(
        ed.Attach(new IFaderControl(&ed.plug, 70, 4 + 20 * i, 120, -1, &hhandle, kHorizontal)),
        values[i]);
  }
  ed.Open();
  for (auto& [c, v] : shown) c->SetValueFromPlug(v);
  ed.gui->RenderAll();
  ExpectMatchesGolden(*ed.gui->GetDrawBitmap(), "controls_faders",
                      "Vertical and horizontal faders at 0, 0.3 and 1");
}

TEST(ControlGolden, Texts)
{
  Editor ed(220, 90);
  ed.gui->AttachPanelBackground(&kPanel);
  IBitmap font = ed.Strip(MakeFontStrip(), 96);
  IText style(12, &COLOR_WHITE, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear);
  IText right(12, &COLOR_YELLOW, "DejaVu Sans", IText::kStyleBold, IText::kAlignFar);
  ed.Attach(new ITextControl(&ed.plug, IRECT(4, 4, 216, 20), &style, "Drive 0.5"));
  ed.Attach(new ICaptionControl(&ed.plug, IRECT(4, 22, 216, 38), kGain, &right));
  ed.Attach(new ICaptionControl(&ed.plug, IRECT(4, 40, 216, 56), kMode, &style, false));
  ed.Attach(new IBitmapTextControl(&ed.plug, IRECT(4, 60, 100, 86), &font, "TORVA 1.0 ~ok", nullptr,
                                   6, 8, 1, true, false));
  auto* changing = ed.Attach(new IBitmapTextControl(&ed.plug, IRECT(110, 60, 216, 86), &font, "",
                                                    &right, 6, 8, 0, false, true));
  ed.Open();
  ed.plug.GetParam(kGain)->Set(-3.5);
  ed.plug.GetParam(kMode)->Set(1);
  changing->SetTextFromPlug("right!");
  ed.gui->RenderAll();
  ExpectMatchesGolden(*ed.gui->GetDrawBitmap(), "controls_texts",
                      "Text, caption with and without label, film-strip font multi-line and "
                      "right-aligned centred");
}
