// paint.cpp - drawing helpers, the reduction and the PNG writer of the artwork generator.
#include "tools/artgen/paint.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <map>
#include <utility>

#include "raster/lice_lines.h"
#include "raster/lice_text.h"

namespace artgen
{

uint64_t Rng::Next()
{
  uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

Noise::Noise(uint64_t seed, int w, int h, double cellW, double cellH)
    : mCols((int)(w / cellW) + 2), mRows((int)(h / cellH) + 2), mCellW(cellW), mCellH(cellH)
{
  Rng rng(seed);
  mValues.resize((size_t)mCols * mRows);
  for (float& v : mValues) v = (float)rng.Signed();
}

double Noise::At(double x, double y) const
{
  const double fx = std::clamp(x / mCellW, 0.0, mCols - 1.001);
  const double fy = std::clamp(y / mCellH, 0.0, mRows - 1.001);
  const int ix = (int)fx, iy = (int)fy;
  auto smooth = [](double t) { return t * t * (3 - 2 * t); };
  const double tx = smooth(fx - ix), ty = smooth(fy - iy);
  auto v = [&](int cx, int cy) { return (double)mValues[(size_t)cy * mCols + cx]; };
  const double top = v(ix, iy) + (v(ix + 1, iy) - v(ix, iy)) * tx;
  const double bottom = v(ix, iy + 1) + (v(ix + 1, iy + 1) - v(ix, iy + 1)) * tx;
  return top + (bottom - top) * ty;
}

LICE_pixel Rgb(int r, int g, int b, int a)
{
  return LICE_RGBA(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255), a);
}

LICE_pixel Brighten(LICE_pixel p, double delta)
{
  const int d = (int)std::lround(delta * 255);
  return Rgb(LICE_GETR(p) + d, LICE_GETG(p) + d, LICE_GETB(p) + d, LICE_GETA(p));
}

std::unique_ptr<LICE_MemBitmap> NewCanvas(int w, int h)
{
  auto bm = std::make_unique<LICE_MemBitmap>(w * kSuper, h * kSuper);
  LICE_Clear(bm.get(), 0);
  return bm;
}

std::unique_ptr<LICE_MemBitmap> Reduce(const LICE_IBitmap& canvas)
{
  const int w = canvas.getWidth() / kSuper, h = canvas.getHeight() / kSuper;
  auto out = std::make_unique<LICE_MemBitmap>(w, h);
  const int n = kSuper * kSuper;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      // Colour sums weighted by alpha, so that transparent samples lend no colour to an edge.
      uint64_t r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSuper; ++sy)
      {
        const LICE_pixel* p = canvas.getBits() + (size_t)(y * kSuper + sy) * canvas.getRowSpan();
        for (int sx = 0; sx < kSuper; ++sx)
        {
          const LICE_pixel q = p[x * kSuper + sx];
          const unsigned qa = LICE_GETA(q);
          r += LICE_GETR(q) * qa, g += LICE_GETG(q) * qa, b += LICE_GETB(q) * qa, a += qa;
        }
      }
      LICE_pixel px = 0;
      if (a) px = LICE_RGBA((r + a / 2) / a, (g + a / 2) / a, (b + a / 2) / a, (a + n / 2) / n);
      out->getBits()[(size_t)y * out->getRowSpan() + x] = px;
    }
  return out;
}

void Painter::Rect(double x, double y, double w, double h, LICE_pixel c, float alpha)
{
  LICE_FillRect(mBm, S(x), S(y), S(x + w) - S(x), S(y + h) - S(y), c, alpha, LICE_COMBINE_COPY);
}

void Painter::Disc(double cx, double cy, double r, LICE_pixel c, float alpha)
{
  LICE_FillCircle(mBm, (float)(cx * mUnit), (float)(cy * mUnit), (float)(r * mUnit), c, alpha,
                  LICE_COMBINE_COPY, false);
}

void Painter::Polygon(const std::vector<Pt>& pts, LICE_pixel c, float alpha)
{
  std::vector<int> xs, ys;
  for (const Pt& p : pts) xs.push_back(S(p.x)), ys.push_back(S(p.y));
  LICE_FillConvexPolygon(mBm, xs.data(), ys.data(), (int)pts.size(), c, alpha, LICE_COMBINE_COPY);
}

void Painter::Ring(double cx, double cy, double r0, double r1, double a0, double a1, LICE_pixel c,
                   float alpha)
{
  // Steps of about one canvas pixel along the outer edge.
  const int steps = std::max(2, (int)std::ceil((a1 - a0) * r1 * mUnit / 2));
  for (int i = 0; i < steps; ++i)
  {
    const double b0 = a0 + (a1 - a0) * i / steps, b1 = a0 + (a1 - a0) * (i + 1) / steps;
    auto at = [&](double r, double a) { return Pt{cx + r * std::sin(a), cy - r * std::cos(a)}; };
    Polygon({at(r0, b0), at(r1, b0), at(r1, b1), at(r0, b1)}, c, alpha);
  }
}

void Painter::Line(double x1, double y1, double x2, double y2, double width, LICE_pixel c,
                   float alpha)
{
  const double len = std::hypot(x2 - x1, y2 - y1);
  if (len <= 0) return;
  const double nx = -(y2 - y1) / len * width / 2, ny = (x2 - x1) / len * width / 2;
  Polygon({{x1 + nx, y1 + ny}, {x2 + nx, y2 + ny}, {x2 - nx, y2 - ny}, {x1 - nx, y1 - ny}}, c,
          alpha);
}

void Painter::SoftShadow(double cx, double cy, double r, double spread, float strength)
{
  const int steps = std::max(1, (int)(spread * mUnit));
  for (int i = 0; i <= steps; ++i)
    Disc(cx, cy, r + spread * (steps - i) / steps, Rgb(0, 0, 0), strength / (steps + 1));
}

void Painter::GradientDisc(double cx, double cy, double r, LICE_pixel top, LICE_pixel bottom)
{
  const int x0 = S(cx - r) - 1, y0 = S(cy - r) - 1, size = S(2 * r) + 3;
  LICE_MemBitmap mask(size, size), fill(size, size);
  LICE_Clear(&mask, 0);
  LICE_FillCircle(&mask, (float)(cx * mUnit - x0), (float)(cy * mUnit - y0), (float)(r * mUnit),
                  Rgb(255, 255, 255), 1.0f, LICE_COMBINE_COPY, false);
  const float step = 1.0f / (size * 255.0f);
  LICE_GradRect(&fill, 0, 0, size, size, LICE_GETR(top) / 255.0f, LICE_GETG(top) / 255.0f,
                LICE_GETB(top) / 255.0f, 1.0f, 0, 0, 0, 0,
                ((int)LICE_GETR(bottom) - (int)LICE_GETR(top)) * step,
                ((int)LICE_GETG(bottom) - (int)LICE_GETG(top)) * step,
                ((int)LICE_GETB(bottom) - (int)LICE_GETB(top)) * step, 0, LICE_COMBINE_COPY);
  BlitThroughMask(mBm, x0, y0, &fill, mask);
}

namespace
{

// One cached font per (canvas pixel size, weight) for the life of the program.
LICE_CachedFont* FontFor(int px, bool bold)
{
  static std::map<std::pair<int, bool>, std::unique_ptr<LICE_CachedFont>> fonts;
  auto& font = fonts[{px, bold}];
  if (!font)
  {
    font = std::make_unique<LICE_CachedFont>();
    font->SetFromHFont(CreateFont(-px, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, 0, 0, 0,
                                  ANTIALIASED_QUALITY, 0, "DejaVu Sans"),
                       LICE_FONT_OWNS_HFONT);
  }
  return font.get();
}

} // namespace

void Painter::Text(const char* text, double cx, double cy, double size, bool bold, LICE_pixel c,
                   float alpha, double tracking)
{
  LICE_CachedFont* font = FontFor(S(size), bold);
  font->SetTextColor(c);
  font->SetCombineMode(LICE_COMBINE_COPY, alpha);
  const unsigned flags = LICE_TEXT_SINGLELINE | LICE_TEXT_NOPREFIX | LICE_TEXT_NOCLIP;
  // Letters one by one at their advances, so that extra tracking can go between them.
  std::vector<int> advances;
  int total = 0;
  for (const char* q = text; *q; ++q)
  {
    RECT r = {0, 0, 0, 0};
    font->DrawText(nullptr, q, 1, &r, flags | LICE_TEXT_CALCRECT); // caches the glyph
    // Fonts too large to cache draw natively and leave their entries unrendered (base 0).
    const LICE_CachedFont::charEnt* e = font->findChar((unsigned char)*q);
    advances.push_back(e && e->base != 0 ? e->advance : r.right);
    total += advances.back() + (q[1] ? S(tracking) : 0);
  }
  int x = S(cx) - total / 2;
  const int h = font->GetLineHeight();
  for (size_t i = 0; text[i]; ++i)
  {
    RECT r = {x, S(cy) - h / 2, x + advances[i], S(cy) - h / 2 + h};
    font->DrawText(mBm, text + i, 1, &r, flags);
    x += advances[i] + S(tracking);
  }
}

void BlitThroughMask(LICE_IBitmap* canvas, int x, int y, LICE_IBitmap* fill,
                     const LICE_IBitmap& mask)
{
  LICE_Blit(fill, &mask, 0, 0, nullptr, 1.0f,
            LICE_COMBINE_CHANCOPY_MODE(LICE_PIXEL_R, LICE_PIXEL_A));
  LICE_Blit(canvas, fill, x, y, nullptr, 1.0f, LICE_COMBINE_COPY | LICE_COMBINE_USE_ALPHA);
}

namespace
{

// libpng's error path is a longjmp, so this part holds no C++ objects that it could skip.
bool EncodePng(FILE* f, const unsigned char* rows, int w, int h, bool withAlpha)
{
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  volatile bool ok = false;
  if (info && !setjmp(png_jmpbuf(png)))
  {
    png_init_io(png, f);
    // Fixed settings and no time or text chunks: equal pixels give equal files.
    png_set_compression_level(png, 9);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
    png_set_IHDR(png, info, w, h, 8, withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, rows + (size_t)y * w * (withAlpha ? 4 : 3));
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  return ok;
}

} // namespace

bool WritePng(const std::string& path, const LICE_IBitmap& bm, bool withAlpha, std::string* error)
{
  const int w = bm.getWidth(), h = bm.getHeight(), channels = withAlpha ? 4 : 3;
  std::vector<unsigned char> rows((size_t)w * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      const LICE_pixel p = bm.getBits()[(size_t)y * bm.getRowSpan() + x];
      unsigned char* o = &rows[((size_t)y * w + x) * channels];
      o[0] = (unsigned char)LICE_GETR(p), o[1] = (unsigned char)LICE_GETG(p);
      o[2] = (unsigned char)LICE_GETB(p);
      if (withAlpha) o[3] = (unsigned char)LICE_GETA(p);
    }
  FILE* f = std::fopen(path.c_str(), "wb");
  const bool ok = f && EncodePng(f, rows.data(), w, h, withAlpha);
  if ((f && std::fclose(f) != 0) || !ok)
  {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

} // namespace artgen
