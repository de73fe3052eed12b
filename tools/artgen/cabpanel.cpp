// cabpanel.cpp - TORVA Cab's face: the amplifier's case, plate, knob and switch, a rotary
// cabinet selector and the dark window the editor writes the impulse response's name in.
//
// Where everything goes is TORVACab/CabLayout.h, which the editor reads too.
#include <cmath>
#include <vector>

#include "TORVACab/CabEngine.h"
#include "TORVACab/CabLayout.h"
#include "tools/artgen/artgen.h"
#include "tools/artgen/parts.h"

namespace artgen
{
namespace
{
using namespace detail;
namespace L = cab_layout;

static_assert(
    L::kRowY == kRowY && L::kKnobSize == kKnobSize && L::kKnobFrames == kKnobFrames &&
        L::kSwitchW == kSwitchW && L::kSwitchH == kSwitchH,
    "the cabinet's panel uses the amplifier's knob and switch where the amplifier has them");
static_assert(L::kSelectorPositions == kNumBuiltInCabinets + 1);

constexpr double kSelectorCY = L::kRowY + L::kSelectorSize / 2.0;

double SelectorAngle(int position)
{
  return L::kSelectorDegrees[position] * M_PI / 180;
}

const char* SelectorLabel(int position)
{
  return position < kNumBuiltInCabinets ? kBuiltInCabinets[position].name : "File";
}

// The selector's centre where the editor puts it, at the picture's scale.
Pt SelectorCentre(int percent)
{
  const double half = Snapped(L::kSelectorSize, percent) / 2;
  return {Snapped(L::kSelectorX, percent) + half, Snapped(L::kRowY, percent) + half};
}

// A tick at each position, its label beyond it, the caption below and the switch's shadow.
void DrawSelectorSurround(Painter& p)
{
  const Pt c = SelectorCentre(p.percent());
  for (int i = 0; i < L::kSelectorPositions; ++i)
  {
    const double a = SelectorAngle(i);
    p.Line(c.x + 32 * std::sin(a), c.y - 32 * std::cos(a), c.x + 36 * std::sin(a),
           c.y - 36 * std::cos(a), 1.7, kInk);
    const L::Box& b = L::kSelectorLabels[i];
    p.Text(SelectorLabel(i), b.x + b.w / 2.0, b.y + b.h / 2.0, 9.5, true, kInk);
  }
  p.Text("Cabinet", c.x, c.y + 45, 12, true, kInk);
  p.SoftShadow(c.x + 1, c.y + 2, 14, 2.5, 0.35f);
}

// A recessed window of dark glass, with a mark at its right end that says it opens a menu.
void DrawFileWindow(Painter& p)
{
  const int percent = p.percent();
  const L::Box& f = L::kFileArea;
  const double x = Snapped(f.x, percent), y = Snapped(f.y, percent);
  const double w = Snapped(f.x + f.w, percent) - x, h = Snapped(f.y + f.h, percent) - y;
  // The cut in the plate: dark along the top, lit along its lower lip.
  p.Polygon(RoundRectPoints(x - 2, y - 2, w + 4, h + 3.5, 6), kBlack, 0.4f);
  p.Polygon(RoundRectPoints(x - 1.5, y + 1.5, w + 3, h + 1.5, 5.5), kWhite, 0.3f);
  p.Polygon(RoundRectPoints(x, y, w, h, 4.5), Rgb(20, 19, 18));
  // The glass: a faint sheen along its top.
  p.Rect(x + 5, y + 1.5, w - 10, 1, kWhite, 0.08f);
  p.Rect(x + 5, y + 2.5, w - 10, 5, kWhite, 0.025f);
  const double mx = x + w - 16, my = y + h / 2;
  p.Polygon({{mx - 5, my - 2.5}, {mx + 5, my - 2.5}, {mx, my + 3.5}}, Rgb(150, 140, 116));
}

std::unique_ptr<LICE_MemBitmap> DrawCabBackground(int percent)
{
  auto canvas = NewCanvas(Scaled(L::kPanelW, percent), Scaled(L::kPanelH, percent));
  Painter p(canvas.get(), percent);
  DrawCase(p, PlateOn(L::kPanelW, L::kPanelH));
  DrawSurround(p, "Bypass", L::kBypassX, true);
  DrawSurround(p, "Low cut", L::kLowCutX, false);
  DrawSurround(p, "High cut", L::kHighCutX, false);
  DrawSurround(p, "Mix", L::kMixX, false);
  DrawSurround(p, "Level", L::kLevelX, false);
  DrawSelectorSurround(p);
  DrawFileWindow(p);
  DrawBadge(p, 890, kSelectorCY - 6, "TORVA Cab", 180, 22);
  p.Text("SPEAKER CABINET", 890, kSelectorCY + 34, 8.5, true, kInk, 1.0f, 1.2);
  return Reduce(*canvas);
}

// A chicken-head pointer knob in black bakelite, turned to angle a: a round body drawn out into
// a point, a cream line along the point and a cap. Lit from the upper left, whatever the angle.
void DrawSelectorKnob(Painter& p, double cx, double cy, double a)
{
  const double s = std::sin(a), c = -std::cos(a); // along the point
  auto at = [&](double along, double across) {
    return Pt{cx + along * s - across * c, cy + along * c + across * s};
  };
  const double body = 14, tip = 28.5, tipR = 4;
  const LICE_pixel bakelite = Rgb(30, 28, 26);
  const double light = -M_PI / 4;
  auto lit = [&](double facing) { return Brighten(bakelite, 0.07 * std::cos(facing - light)); };
  // Its shadow on the plate, then the body: each side of the point lit by how much it faces the
  // light, the round part by the direction of each slice.
  const double sx = 1.2, sy = 2.5;
  p.Disc(cx + sx, cy + sy, body, kBlack, 0.3f);
  p.Disc(at(tip, 0).x + sx, at(tip, 0).y + sy, tipR, kBlack, 0.3f);
  for (int side : {-1, 1})
  {
    std::vector<Pt> half = {at(0, 0), at(0, side * body), at(tip, side * tipR), at(tip, 0)};
    std::vector<Pt> shadow = half;
    for (Pt& q : shadow) q.x += sx, q.y += sy;
    p.Polygon(shadow, kBlack, 0.3f);
    p.Polygon(half, lit(a + side * M_PI / 2));
  }
  p.Disc(at(tip, 0).x, at(tip, 0).y, tipR, lit(a));
  p.ConeDisc(cx, cy, body, 96, lit);
  p.Line(at(13, 0).x, at(13, 0).y, at(tip + 1.5, 0).x, at(tip + 1.5, 0).y, 2.2, kPointer);
  p.GradientDisc(cx, cy, 10, Rgb(78, 74, 70), Rgb(12, 12, 12));
  p.GradientDisc(cx, cy, 8.5, Rgb(22, 21, 20), Rgb(56, 54, 50));
  p.Disc(cx - 3, cy - 3.5, 1.8, kWhite, 0.15f);
}

std::unique_ptr<LICE_MemBitmap> DrawSelectorStrip(int percent)
{
  const int size = Scaled(L::kSelectorSize, percent);
  const double centre = Snapped(L::kSelectorSize, percent) / 2;
  auto canvas = NewCanvas(size, size * L::kSelectorPositions);
  Painter p(canvas.get(), percent);
  const double frame = Snapped(L::kSelectorSize, percent);
  for (int i = 0; i < L::kSelectorPositions; ++i)
    DrawSelectorKnob(p, centre, frame * i + centre, SelectorAngle(i));
  return Reduce(*canvas);
}

} // namespace

std::vector<Picture> DrawCabArtwork(int percent, std::shared_ptr<const LICE_MemBitmap> knob,
                                    std::shared_ptr<const LICE_MemBitmap> toggle)
{
  return {{FileName("CAB_BG", percent), DrawCabBackground(percent), false},
          {FileName("CAB_KNOB", percent), std::move(knob), true},
          {FileName("CAB_BY", percent), std::move(toggle), true},
          {FileName("CAB_SEL", percent), DrawSelectorStrip(percent), true}};
}

} // namespace artgen
