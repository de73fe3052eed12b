// panel.cpp - the amplifier's face: vinyl-covered case, brushed faceplate, knobs and switch.
//
// Light comes from the upper left. Everything that never moves (scales, captions, the knobs'
// shadows) is part of the background; the strips hold only what turns or flips, on a
// transparent ground, so that the background shows around them.
#include "tools/artgen/artgen.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <tuple>

#include "raster/lice_lines.h"
#include "tools/artgen/parts.h"

namespace artgen
{
namespace detail
{
namespace
{

constexpr double kPi = M_PI;

// Pointer angle of a knob frame (0 up, clockwise): -150 degrees at frame 0, +150 at the last.
double KnobAngle(int frame)
{
  return (-kSweepDegrees / 2 + kSweepDegrees * frame / (kKnobFrames - 1)) * kPi / 180;
}

} // namespace

double Snapped(int v, int percent)
{
  return Scaled(v, percent) * 100.0 / percent;
}

std::vector<Pt> RoundRectPoints(double x, double y, double w, double h, double r)
{
  std::vector<Pt> pts;
  const Pt centres[4] = {
      {x + w - r, y + r}, {x + w - r, y + h - r}, {x + r, y + h - r}, {x + r, y + r}};
  for (int corner = 0; corner < 4; ++corner)
    for (int i = 0; i <= 8; ++i)
    {
      const double a = kPi / 2 * (corner + i / 8.0);
      pts.push_back({centres[corner].x + r * std::sin(a), centres[corner].y - r * std::cos(a)});
    }
  return pts;
}

namespace
{

// An outline of the given width along a rounded rectangle (the line runs inside it).
void RoundFrame(Painter& p, double x, double y, double w, double h, double r, double width,
                LICE_pixel c, float alpha)
{
  p.Rect(x + r, y, w - 2 * r, width, c, alpha);
  p.Rect(x + r, y + h - width, w - 2 * r, width, c, alpha);
  p.Rect(x, y + r, width, h - 2 * r, c, alpha);
  p.Rect(x + w - width, y + r, width, h - 2 * r, c, alpha);
  const Pt centres[4] = {
      {x + w - r, y + r}, {x + w - r, y + h - r}, {x + r, y + h - r}, {x + r, y + r}};
  for (int i = 0; i < 4; ++i)
    p.Ring(centres[i].x, centres[i].y, r - width, r, kPi / 2 * i, kPi / 2 * (i + 1), c, alpha);
}

// Black vinyl with a pebbled grain: noise lit from the upper left. The noise runs over canvas
// pixels, `unit` of them to a 100 % pixel, so its cells are given in 100 % pixels times unit.
void DrawVinyl(LICE_IBitmap* bm, int unit)
{
  const Noise grain(11, bm->getWidth(), bm->getHeight(), 1.25 * unit, 1.25 * unit);
  const Noise blotch(12, bm->getWidth(), bm->getHeight(), 22.5 * unit, 17.5 * unit);
  const double light = 0.625 * unit; // the grain's bump is lit from this far up and left
  ForEachPixel(bm, 0, 0, bm->getWidth(), bm->getHeight(),
               [&](int x, int y, LICE_pixel& p)
               {
                 const double bump = grain.At(x, y) - grain.At(x + light, y + light);
                 // Lit a little from above, darker towards the sides.
                 const double u = 2.0 * x / bm->getWidth() - 1, t = (double)y / bm->getHeight();
                 const double v = 27 + 16 * bump + 4 * blotch.At(x, y) + 3 * grain.At(x, y) +
                                  6 * (0.5 - t) - 8 * u * u * u * u;
                 p = Rgb((int)(v + 1), (int)v, (int)(v - 1));
               });
}

// Brushed metal: long horizontal streaks, darker towards the bottom (cells as for the vinyl).
void DrawBrushed(LICE_IBitmap* bm, LICE_pixel base, int unit)
{
  const int w = bm->getWidth(), h = bm->getHeight();
  const Noise streaks(21, w, h, 100.0 * unit, 0.375 * unit),
      fine(22, w, h, 10.0 * unit, 0.25 * unit), sheen(23, w, h, 175.0 * unit, 225.0 * unit);
  ForEachPixel(bm, 0, 0, w, h,
               [&](int x, int y, LICE_pixel& p)
               {
                 const double d = 0.045 * streaks.At(x, y) + 0.025 * fine.At(x, y) +
                                  0.03 * sheen.At(x, y) + 0.05 * (0.5 - (double)y / h);
                 p = Brighten(base, d);
               });
}

void DrawFaceplate(Painter& p, const Plate& plate)
{
  // Piping around the plate: a cream bead, lit on its upper side.
  const double pipe = 4.5, pw = 1.75;
  for (const auto& [d, c, a] :
       {std::tuple{0.0, Rgb(176, 164, 128), 1.0f}, std::tuple{0.35, kWhite, 0.35f}})
    RoundFrame(p, plate.x - pipe + d, plate.y - pipe + d, plate.w + 2 * pipe - 2 * d,
               plate.h + 2 * pipe - 2 * d, 9, d > 0 ? 0.6 : pw, c, a);
  // Shadow cast on the vinyl, then the plate cut from a brushed sheet.
  for (int i = 6; i >= 1; --i)
    p.Polygon(RoundRectPoints(plate.x - i * 0.5 + 1, plate.y - i * 0.5 + 2, plate.w + i,
                              plate.h + i, 6 + i * 0.5),
              kBlack, 0.08f);
  const int x0 = p.S(plate.x), y0 = p.S(plate.y);
  const int w = p.S(plate.w), h = p.S(plate.h);
  LICE_MemBitmap sheet(w, h), mask(w, h);
  DrawBrushed(&sheet, kPlate, p.unit());
  LICE_Clear(&mask, 0);
  Painter m(&mask, p.percent());
  m.Polygon(RoundRectPoints(0, 0, plate.w, plate.h, 6), kWhite);
  BlitThroughMask(p.bitmap(), x0, y0, &sheet, mask);

  // Bevelled edge: lit along the top, shaded along the bottom.
  p.Rect(plate.x + 5, plate.y, plate.w - 10, 1.25, kWhite, 0.45f);
  p.Rect(plate.x + 5, plate.y + plate.h - 1.25, plate.w - 10, 1.25, kBlack, 0.35f);
  // An engraved border a little inside the edge: a dark cut with a lit lower lip.
  const double in = 17;
  const double l = plate.x + in, t = plate.y + in, r = plate.x + plate.w - in,
               b = plate.y + plate.h - in;
  for (const auto& [dx, c, a] : {std::tuple{0.0, kBlack, 0.45f}, std::tuple{0.75, kWhite, 0.4f}})
  {
    p.Rect(l + dx, t + dx, r - l, 0.75, c, a);
    p.Rect(l + dx, b + dx, r - l, 0.75, c, a);
    p.Rect(l + dx, t + dx, 0.75, b - t, c, a);
    p.Rect(r + dx, t + dx, 0.75, b - t + 0.75, c, a);
  }
}

// A cross-head screw sunk into the plate.
void DrawScrew(Painter& p, double cx, double cy, double angle)
{
  p.SoftShadow(cx + 0.5, cy + 0.8, 4.2, 1.2, 0.5f);
  p.GradientDisc(cx, cy, 4.2, Rgb(236, 234, 228), Rgb(110, 106, 98));
  p.GradientDisc(cx, cy, 3.4, Rgb(150, 146, 138), Rgb(214, 210, 202));
  const double dx = 3.2 * std::cos(angle), dy = 3.2 * std::sin(angle);
  p.Line(cx - dx, cy - dy, cx + dx, cy + dy, 1.1, Rgb(50, 46, 40));
  p.Line(cx + dy, cy - dx, cx - dy, cy + dx, 1.1, Rgb(50, 46, 40));
}

// Tick marks around a knob, one per tenth of the sweep, longer at both ends and the middle;
// "0" and "10" below the ends, where there is room between neighbours.
void DrawScale(Painter& p, double cx, double cy)
{
  const double ends = KnobAngle(kKnobFrames - 1), rn = 39;
  p.Text("0", cx - rn * std::sin(ends), cy - rn * std::cos(ends), 8, true, kInk);
  p.Text("10", cx + (rn + 1) * std::sin(ends), cy - rn * std::cos(ends), 8, true, kInk);
  for (int i = 0; i <= 10; ++i)
  {
    const double a = KnobAngle(i * (kKnobFrames - 1) / 10);
    const bool major = i % 5 == 0;
    const double r0 = major ? 28.5 : 29.5, r1 = major ? 34.5 : 33;
    p.Line(cx + r0 * std::sin(a), cy - r0 * std::cos(a), cx + r1 * std::sin(a),
           cy - r1 * std::cos(a), major ? 1.7 : 1.2, kInk);
  }
}

} // namespace

// Black enamel with a thin gold rim, the letters raised in gold.
void DrawBadge(Painter& p, double cx, double cy, const char* name, double w, double size)
{
  const double h = 50;
  p.Polygon(RoundRectPoints(cx - w / 2 + 1, cy - h / 2 + 2, w, h, 6), kBlack, 0.35f);
  p.Polygon(RoundRectPoints(cx - w / 2, cy - h / 2, w, h, 6), Rgb(214, 190, 120));
  p.Polygon(RoundRectPoints(cx - w / 2 + 2, cy - h / 2 + 2, w - 4, h - 4, 4.5), Rgb(18, 17, 16));
  p.Rect(cx - w / 2 + 6, cy - h / 2 + 2.5, w - 12, 1, kWhite, 0.12f);

  // Letters: a dark drop shadow, then a gold gradient seen through the lettering.
  const double tracking = 2.5;
  p.Text(name, cx + 0.8, cy + 1.4, size, true, kBlack, 0.9f, tracking);
  const int x0 = p.S(cx - w / 2), y0 = p.S(cy - h / 2);
  const int bw = p.S(w), bh = p.S(h);
  LICE_MemBitmap mask(bw, bh), gold(bw, bh);
  LICE_Clear(&mask, 0);
  Painter m(&mask, p.percent());
  m.Text(name, w / 2, h / 2, size, true, kWhite, 1.0f, tracking);
  const float top[3] = {0.99f, 0.93f, 0.70f}, bottom[3] = {0.62f, 0.47f, 0.20f};
  const float k = 1.0f / (bh * 0.65f);
  LICE_GradRect(&gold, 0, 0, bw, bh, top[0], top[1], top[2], 1, 0, 0, 0, 0,
                (bottom[0] - top[0]) * k, (bottom[1] - top[1]) * k, (bottom[2] - top[2]) * k, 0,
                LICE_COMBINE_COPY);
  BlitThroughMask(p.bitmap(), x0, y0, &gold, mask);
}

void DrawCase(Painter& p, const Plate& plate)
{
  DrawVinyl(p.bitmap(), p.unit());
  DrawFaceplate(p, plate);
  const double inset = 8.5;
  const double screwX[2] = {plate.x + inset, plate.x + plate.w - inset};
  const double screwY[2] = {plate.y + inset, plate.y + plate.h - inset};
  Rng turn(31);
  for (double x : screwX)
    for (double y : screwY) DrawScrew(p, x, y, turn.Unit() * kPi);
}

void DrawSurround(Painter& p, const char* caption, int x, bool isSwitch)
{
  const int percent = p.percent();
  const double rowY = Snapped(kRowY, percent), captionY = rowY - 14;
  if (isSwitch)
  {
    const double cx = Snapped(x, percent) + Snapped(kSwitchW, percent) / 2;
    const double cy = rowY + Snapped(kSwitchH, percent) / 2;
    p.Text(caption, cx, captionY, 12, true, kInk);
    p.Text("On", cx + 36, cy - 20, 9.5, true, kInk);
    p.Text("Off", cx + 36, cy + 20, 9.5, true, kInk);
    p.SoftShadow(cx + 1.5, cy + 2.5, 15, 3, 0.6f);
    return;
  }
  const double cx = Snapped(x, percent) + Snapped(kKnobSize, percent) / 2;
  const double cy = rowY + Snapped(kKnobSize, percent) / 2;
  p.Text(caption, cx, captionY, 12, true, kInk);
  DrawScale(p, cx, cy);
  p.SoftShadow(cx + 1.2, cy + 2.5, 25, 3.5, 0.7f);
}

namespace
{

// The part of a knob that stays put: skirt, fluted grip and metal cap, lit from the upper left.
void DrawKnobBody(Painter& p, double cx, double cy)
{
  p.GradientDisc(cx, cy, 25, Rgb(70, 68, 66), Rgb(8, 8, 8));
  p.Ring(cx, cy, 24.2, 25, -2.3, 0.6, kWhite, 0.18f);
  const double light = -kPi / 4;
  p.ConeDisc(cx, cy, 19.5, 96,
             [&](double a)
             {
               const int flute = (int)(a / (2 * kPi) * 48);
               const double v = 0.10 + 0.07 * std::cos(a - light) + (flute % 2 ? 0.035 : -0.035);
               return Brighten(kBlack, v);
             });
  p.Ring(cx, cy, 14, 15.5, 0, 2 * kPi, Rgb(14, 14, 14));
  p.ConeDisc(cx, cy, 14, 180,
             [&](double a)
             {
               const double v =
                   0.03 + 0.12 * std::cos(2 * (a - light)) + 0.05 * std::cos(a - light);
               return Brighten(Rgb(190, 172, 128), v);
             });
  // Turning marks: faint concentric rings a quarter of a 100 % pixel wide, which is one canvas
  // pixel at 100 % and as many circles side by side at larger scales (a last part one fainter).
  const int u = p.unit();
  const double width = u / (double)kSuper;
  for (double r = 1.5; r < 13.5; r += 0.75)
    for (int i = 0; i < width; ++i)
      LICE_Circle(p.bitmap(), (float)(cx * u), (float)(cy * u), (float)(r * u + i),
                  ((int)(r * 4) % 2) ? kWhite : kBlack, 0.07f * (float)std::min(1.0, width - i),
                  LICE_COMBINE_COPY, false);
  p.Ring(cx, cy, 13.2, 14, 0, 2 * kPi, kBlack, 0.35f);
  p.Ring(cx, cy, 13.2, 14, -2.4, 0.8, kWhite, 0.35f);
}

void DrawKnobPointer(Painter& p, double cx, double cy, double a)
{
  const double s = std::sin(a), c = -std::cos(a);
  p.Line(cx + 18.5 * s, cy + 18.5 * c, cx + 24.6 * s, cy + 24.6 * c, 2.4, kPointer);
  p.Line(cx + 3 * s, cy + 3 * c, cx + 12.5 * s, cy + 12.5 * c, 1.6, Rgb(36, 30, 22));
  p.Line(cx + 3 * s + 0.45, cy + 3 * c + 0.55, cx + 12.5 * s + 0.45, cy + 12.5 * c + 0.55, 0.5,
         kWhite, 0.3f);
}

} // namespace

std::unique_ptr<LICE_MemBitmap> DrawKnobStrip(int percent)
{
  const int size = Scaled(kKnobSize, percent);
  const double centre = Snapped(kKnobSize, percent) / 2;
  auto body = NewCanvas(size, size);
  Painter b(body.get(), percent);
  DrawKnobBody(b, centre, centre);

  auto strip = std::make_unique<LICE_MemBitmap>(size, size * kKnobFrames);
  auto frame = NewCanvas(size, size);
  for (int i = 0; i < kKnobFrames; ++i)
  {
    LICE_Blit(frame.get(), body.get(), 0, 0, nullptr, 1.0f, LICE_COMBINE_COPY);
    Painter p(frame.get(), percent);
    DrawKnobPointer(p, centre, centre, KnobAngle(i));
    auto small = Reduce(*frame);
    LICE_Blit(strip.get(), small.get(), 0, i * size, nullptr, 1.0f, LICE_COMBINE_COPY);
  }
  return strip;
}

namespace
{

// A bat-handle toggle in a hex nut; the lever points down (off) or up (on).
void DrawToggle(Painter& p, double cx, double cy, bool on)
{
  p.GradientDisc(cx, cy, 15, Rgb(238, 236, 232), Rgb(96, 94, 90));
  p.GradientDisc(cx, cy, 13.6, Rgb(120, 118, 114), Rgb(214, 212, 206));
  std::vector<Pt> hex;
  for (int i = 0; i < 6; ++i)
    hex.push_back({cx + 12 * std::sin(kPi / 3 * i), cy - 12 * std::cos(kPi / 3 * i)});
  for (int i = 0; i < 6; ++i)
  {
    const double mid = kPi / 3 * (i + 0.5);
    const double v = 0.6 + 0.3 * std::cos(mid + kPi / 4);
    p.Polygon({{cx, cy}, hex[i], hex[(i + 1) % 6]}, Brighten(kBlack, v));
  }
  p.GradientDisc(cx, cy, 7.4, Rgb(232, 230, 226), Rgb(110, 108, 104));
  p.Disc(cx, cy, 4.4, Rgb(26, 26, 26));

  // The lever, foreshortened: a tapered chrome rod with a ball at its end.
  const double dir = on ? -1 : 1, len = 25;
  const double tipY = cy + dir * len;
  const LICE_pixel shades[3] = {Rgb(90, 90, 92), Rgb(236, 236, 238), Rgb(150, 150, 154)};
  for (int band = 0; band < 3; ++band)
  {
    const double f0 = -1 + band * 2.0 / 3, f1 = f0 + 2.0 / 3;
    p.Polygon(
        {{cx + 3.4 * f0, cy}, {cx + 3.4 * f1, cy}, {cx + 2.2 * f1, tipY}, {cx + 2.2 * f0, tipY}},
        shades[2 - band]);
  }
  p.GradientDisc(cx, tipY, 5.2, Rgb(246, 246, 248), Rgb(70, 70, 74));
  p.Disc(cx - 1.6, tipY - 1.8, 1.6, kWhite, 0.8f);
}

} // namespace

std::unique_ptr<LICE_MemBitmap> DrawSwitchStrip(int percent)
{
  auto canvas = NewCanvas(Scaled(kSwitchW, percent), Scaled(kSwitchH, percent) * 2);
  Painter p(canvas.get(), percent);
  const double w = Snapped(kSwitchW, percent), h = Snapped(kSwitchH, percent);
  for (int on = 0; on < 2; ++on) DrawToggle(p, w / 2, h * (on + 0.5), on == 1);
  return Reduce(*canvas);
}

} // namespace detail

namespace
{

std::unique_ptr<LICE_MemBitmap> DrawBackground(int percent)
{
  using namespace detail;
  auto canvas = NewCanvas(Scaled(kPanelW, percent), Scaled(kPanelH, percent));
  Painter p(canvas.get(), percent);
  DrawCase(p, PlateOn(kPanelW, kPanelH));
  // Around each control where the editor puts it: captions, scales and shadows.
  for (const Control& c : kControls) DrawSurround(p, c.caption, c.x, c.frames == 2);
  const double knobCY = kRowY + kKnobSize / 2.0;
  DrawBadge(p, 905, knobCY - 6, "TORVA", 140, 30);
  p.Text("GUITAR AMPLIFIER", 905, knobCY + 34, 8.5, true, kInk, 1.0f, 1.2);
  return Reduce(*canvas);
}

} // namespace

std::string FileName(const std::string& base, int percent)
{
  return percent == 100 ? base + ".png" : base + "@" + std::to_string(percent) + ".png";
}

std::vector<Picture> DrawArtwork(int percent)
{
  std::vector<Picture> out;
  out.push_back({FileName("BG", percent), DrawBackground(percent), false});
  const std::shared_ptr<const LICE_MemBitmap> knob = detail::DrawKnobStrip(percent);
  for (const Control& c : kControls)
    out.push_back(
        {FileName(c.file, percent), c.frames == 2 ? detail::DrawSwitchStrip(percent) : knob, true});
  return out;
}

bool WriteArtwork(const std::string& dir, std::string* error)
{
  for (int percent : kScales)
  {
    std::vector<Picture> pics = DrawArtwork(percent);
    // The background, then kControls' order: Bypass first, then the knobs.
    const std::vector<Picture> cab = DrawCabArtwork(percent, pics[2].bitmap, pics[1].bitmap);
    pics.insert(pics.end(), cab.begin(), cab.end());
    for (auto pic = pics.begin(); pic != pics.end(); ++pic)
    {
      // A shared strip is encoded once and its file copied: level 9 takes its time.
      const std::string path = dir + "/" + pic->file;
      const auto first = std::find_if(
          pics.begin(), pic, [&](const Picture& earlier) { return earlier.bitmap == pic->bitmap; });
      std::error_code failed;
      if (first != pic)
        std::filesystem::copy_file(dir + "/" + first->file, path,
                                   std::filesystem::copy_options::overwrite_existing, failed);
      else if (!WritePng(path, *pic->bitmap, pic->alpha, error))
        return false;
      if (failed)
      {
        if (error) *error = "cannot write " + path;
        return false;
      }
    }
  }
  return true;
}

} // namespace artgen
