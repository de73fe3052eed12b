// parts.h - what the two panels are made of: the case, the faceplate, the knob and the switch,
// and what is printed around them. panel.cpp draws the amplifier with them; cabpanel.cpp draws
// the cabinet's panel with the same materials.
#pragma once

#include <memory>
#include <vector>

#include "raster/lice.h"
#include "tools/artgen/paint.h"

namespace artgen::detail
{

inline const LICE_pixel kInk = Rgb(28, 24, 20);        // silkscreen
inline const LICE_pixel kPlate = Rgb(198, 182, 140);   // champagne brushed aluminium
inline const LICE_pixel kPointer = Rgb(244, 240, 226); // knob pointer line
inline const LICE_pixel kBlack = Rgb(0, 0, 0);
inline const LICE_pixel kWhite = Rgb(255, 255, 255);

// The faceplate's place on a panel, in 100 % units.
struct Plate
{
  double x, y, w, h;
};
// The amplifier's plate on a panel of that size: 14 in from the sides, 50 down, 63 up.
constexpr Plate PlateOn(int panelW, int panelH)
{
  return {14, 50, panelW - 28.0, panelH - 113.0};
}

// Where a position or length of the layout lands at a scale, in 100 % units: the editor rounds
// each control's corner to whole pixels, so what the background draws around a control follows
// the rounded place (Bypass at 127 is drawn around 127.33 at 150 %). Exact at 100 %.
double Snapped(int v, int percent);

std::vector<Pt> RoundRectPoints(double x, double y, double w, double h, double r);

// Vinyl over the whole canvas, the faceplate on it and a screw in each of its corners.
void DrawCase(Painter& p, const Plate& plate);

// What the background prints around a control whose corner is at (x, kRowY): the caption above,
// and a knob's scale and shadow, or the switch's On and Off and its shadow.
void DrawSurround(Painter& p, const char* caption, int x, bool isSwitch);

// The maker's badge, w wide, with the name in raised gold letters of the given size.
void DrawBadge(Painter& p, double cx, double cy, const char* name, double w, double size);

// The film strips: the knob (kKnobFrames frames) and the Bypass toggle (off, on).
std::unique_ptr<LICE_MemBitmap> DrawKnobStrip(int percent);
std::unique_ptr<LICE_MemBitmap> DrawSwitchStrip(int percent);

} // namespace artgen::detail
