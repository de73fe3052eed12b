// lice_combine.h - the per-pixel combine rules of the raster library, for its drawing code.
//
// Each rule is a policy struct with one static `doPix(dest, r, g, b, a, ia)` that merges a
// source colour (r, g, b, a, normally 0..255) into the four bytes of one destination pixel under
// the integer weight ia (0..256). Drawing loops are templates over the rule, so the rule is
// chosen once per call (WithBlitRule / WithSolidRule below) and doPix inlines into the loop.
//
// Words used in the formulas: D is the destination channel, S the matching source channel,
// Da the destination alpha, sa the source alpha. Divisions truncate toward zero (C++ `/` on
// int), shifts are arithmetic, clamp limits to 0..255, and results are stored as the low 8
// bits where no clamp is named. These integer formulas are the defined output; faster paths
// must reproduce them bit for bit.
#pragma once

#include <cstddef>

#include "raster/lice.h"

// floor(65536 / i) - 1 for i = 1..255, entry 0 = 0: the reciprocals of the HSV conversion.
extern const unsigned short __LICE_RGB2HSV_invtab[256];

namespace lice_detail
{

inline int Clamp255(int v)
{
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// Source-alpha rules weight a pixel by w = ia * (sa + 1) / 256.
inline int SourceAlphaWeight(int ia, int sa)
{
  return ia * (sa + 1) / 256;
}

inline void StoreBGRA(unsigned char* dest, int r, int g, int b, int a)
{
  dest[LICE_PIXEL_B] = (unsigned char)b;
  dest[LICE_PIXEL_G] = (unsigned char)g;
  dest[LICE_PIXEL_R] = (unsigned char)r;
  dest[LICE_PIXEL_A] = (unsigned char)a;
}

} // namespace lice_detail

// D = S for all four channels; ia is ignored.
struct _LICE_CombinePixelsClobberNoClamp
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    (void)ia;
    lice_detail::StoreBGRA(dest, r, g, b, a);
  }
};

// D = S + (D - S) * (256 - ia) / 256
struct _LICE_CombinePixelsCopyNoClamp
{
  static inline int mix(int d, int s, int inv) { return s + (d - s) * inv / 256; }
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    const int inv = 256 - ia;
    lice_detail::StoreBGRA(dest, mix(dest[LICE_PIXEL_R], r, inv), mix(dest[LICE_PIXEL_G], g, inv),
                           mix(dest[LICE_PIXEL_B], b, inv), mix(dest[LICE_PIXEL_A], a, inv));
  }
};

// D = clamp(S + (D - S) * (256 - ia) / 256)   (sources outside 0..255 come from gradients)
struct _LICE_CombinePixelsCopyClamp
{
  static inline int mix(int d, int s, int inv)
  {
    return lice_detail::Clamp255(s + (d - s) * inv / 256);
  }
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    const int inv = 256 - ia;
    lice_detail::StoreBGRA(dest, mix(dest[LICE_PIXEL_R], r, inv), mix(dest[LICE_PIXEL_G], g, inv),
                           mix(dest[LICE_PIXEL_B], b, inv), mix(dest[LICE_PIXEL_A], a, inv));
  }
};

// D = clamp(D + S * ia / 256)
struct _LICE_CombinePixelsAdd
{
  static inline int add(int d, int s, int ia) { return lice_detail::Clamp255(d + s * ia / 256); }
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    lice_detail::StoreBGRA(dest, add(dest[LICE_PIXEL_R], r, ia), add(dest[LICE_PIXEL_G], g, ia),
                           add(dest[LICE_PIXEL_B], b, ia), add(dest[LICE_PIXEL_A], a, ia));
  }
};

// k = S * ia / 256;  D = clamp(k < 255 ? D * 256 / (256 - k) : D * 256)
struct _LICE_CombinePixelsColorDodge
{
  static inline int dodge(int d, int s, int ia)
  {
    const int k = s * ia / 256;
    return lice_detail::Clamp255(k < 255 ? d * 256 / (256 - k) : d * 256);
  }
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    lice_detail::StoreBGRA(dest, dodge(dest[LICE_PIXEL_R], r, ia), dodge(dest[LICE_PIXEL_G], g, ia),
                           dodge(dest[LICE_PIXEL_B], b, ia), dodge(dest[LICE_PIXEL_A], a, ia));
  }
};

// D = ((S * ia + (256 - ia) * 256) * D) >> 16
struct _LICE_CombinePixelsMulNoClamp
{
  static inline int mul(int d, int s, int ia) { return ((s * ia + (256 - ia) * 256) * d) >> 16; }
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    lice_detail::StoreBGRA(dest, mul(dest[LICE_PIXEL_R], r, ia), mul(dest[LICE_PIXEL_G], g, ia),
                           mul(dest[LICE_PIXEL_B], b, ia), mul(dest[LICE_PIXEL_A], a, ia));
  }
};

// x = (S * ia + (256 - ia) * 256) * D;  D = x >= 2^24 ? 255 : clamp(x >> 16)
struct _LICE_CombinePixelsMulClamp
{
  static inline int mul(int d, int s, int ia)
  {
    const int x = (s * ia + (256 - ia) * 256) * d;
    return x >= (1 << 24) ? 255 : lice_detail::Clamp255(x >> 16);
  }
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    lice_detail::StoreBGRA(dest, mul(dest[LICE_PIXEL_R], r, ia), mul(dest[LICE_PIXEL_G], g, ia),
                           mul(dest[LICE_PIXEL_B], b, ia), mul(dest[LICE_PIXEL_A], a, ia));
  }
};

// o = (256 - ia) * 128;  x = ((32768 - S * ia - o) * D / 256 + S * ia + o) * D;
// D = x > 0x7FFFFF ? 255 : x < 0 ? 0 : x >> 15
struct _LICE_CombinePixelsOverlay
{
  static inline int overlay(int d, int s, int ia)
  {
    const int o = (256 - ia) * 128;
    const int x = ((32768 - s * ia - o) * d / 256 + s * ia + o) * d;
    return x > 0x7FFFFF ? 255 : (x < 0 ? 0 : x >> 15);
  }
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    lice_detail::StoreBGRA(dest, overlay(dest[LICE_PIXEL_R], r, ia),
                           overlay(dest[LICE_PIXEL_G], g, ia), overlay(dest[LICE_PIXEL_B], b, ia),
                           overlay(dest[LICE_PIXEL_A], a, ia));
  }
};

// The source is an adjustment, not a colour: red shifts the hue (192 = none), green offsets
// the saturation and blue the value (128 = none). The destination goes to integer HSV (hue
// 0..383 in six sectors of 64) and back:
//   h += (r + r / 2 - 192) * ia / 256, wrapped once into 0..383;
//   s = clamp(s + (g - 128) * ia / 128);  v = clamp(v + (b - 128) * ia / 128);
//   Da = a (limited to 255: fills hand over ia = 256 as the alpha).
struct _LICE_CombinePixelsHSVAdjust
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    const int R = dest[LICE_PIXEL_R], G = dest[LICE_PIXEL_G], B = dest[LICE_PIXEL_B];
    int v, m, base, diff;
    if (R < G && B < G)
    {
      v = G, m = B < R ? B : R, base = 128, diff = B - R;
    }
    else if (R >= G && R > B)
    {
      v = R, m = G < B ? G : B, base = G < B ? 383 : 0, diff = G - B;
    }
    else
    {
      v = B, m = R < G ? R : G, base = 256, diff = R - G;
    }
    const int delta = v - m;
    int h = base + diff * (__LICE_RGB2HSV_invtab[delta] + 1) / 1024;
    int s = delta * __LICE_RGB2HSV_invtab[v] / 256;

    h += (r + r / 2 - 192) * ia / 256;
    if (h < 0)
      h += 384;
    else if (h >= 384)
      h -= 384;
    s = lice_detail::Clamp255(s + (g - 128) * ia / 128);
    v = lice_detail::Clamp255(v + (b - 128) * ia / 128);

    // p: the smallest channel; q(t): the channel rising or falling across a sector.
    const int p = ((256 - s) * v) >> 8;
    auto q = [s, v](int t) { return (16384 - t * s) * v / 16384; };
    int nr, ng, nb;
    if (h < 64)
      nr = v, ng = q(64 - h), nb = p;
    else if (h < 128)
      nr = q(h - 64), ng = v, nb = p;
    else if (h < 192)
      nr = p, ng = v, nb = q(192 - h);
    else if (h < 256)
      nr = p, ng = q(h - 192), nb = v;
    else if (h < 320)
      nr = q(320 - h), ng = p, nb = v;
    else
      nr = v, ng = p, nb = q(h - 320);
    lice_detail::StoreBGRA(dest, nr, ng, nb, a > 255 ? 255 : a);
  }
};

// D = (D + S) >> 1, the exact average of each byte; ia is ignored.
struct _LICE_CombinePixelsHalfMixNoClamp
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    (void)ia;
    lice_detail::StoreBGRA(dest, (dest[LICE_PIXEL_R] + r) >> 1, (dest[LICE_PIXEL_G] + g) >> 1,
                           (dest[LICE_PIXEL_B] + b) >> 1, (dest[LICE_PIXEL_A] + a) >> 1);
  }
};

// The use-alpha copy at full weight. sa = 0: nothing; sa = 255: D = S, Da = 255;
// otherwise D = S + (D - S) * (255 - sa) / 256 and Da = min(255, Da + sa).
struct _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    (void)ia;
    if (a == 0) return;
    if (a == 255)
    {
      lice_detail::StoreBGRA(dest, r, g, b, 255);
      return;
    }
    const int inv = 255 - a, da = dest[LICE_PIXEL_A] + a;
    lice_detail::StoreBGRA(dest, _LICE_CombinePixelsCopyNoClamp::mix(dest[LICE_PIXEL_R], r, inv),
                           _LICE_CombinePixelsCopyNoClamp::mix(dest[LICE_PIXEL_G], g, inv),
                           _LICE_CombinePixelsCopyNoClamp::mix(dest[LICE_PIXEL_B], b, inv),
                           da > 255 ? 255 : da);
  }
};

// sa = 0: nothing; w = ia * (sa + 1) / 256;  D = S + (D - S) * (256 - w) / 256;
// Da = min(255, Da + w)
struct _LICE_CombinePixelsCopySourceAlphaNoClamp
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    if (a == 0) return;
    const int w = lice_detail::SourceAlphaWeight(ia, a);
    const int inv = 256 - w, da = dest[LICE_PIXEL_A] + w;
    lice_detail::StoreBGRA(dest, _LICE_CombinePixelsCopyNoClamp::mix(dest[LICE_PIXEL_R], r, inv),
                           _LICE_CombinePixelsCopyNoClamp::mix(dest[LICE_PIXEL_G], g, inv),
                           _LICE_CombinePixelsCopyNoClamp::mix(dest[LICE_PIXEL_B], b, inv),
                           da > 255 ? 255 : da);
  }
};

// sa = 0: nothing; else the add rule at w = ia * (sa + 1) / 256 (alpha channel included)
struct _LICE_CombinePixelsAddSourceAlpha
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    if (a == 0) return;
    _LICE_CombinePixelsAdd::doPix(dest, r, g, b, a, lice_detail::SourceAlphaWeight(ia, a));
  }
};

// The dodge rule at w = ia * (sa + 1) / 256 (also drawn where sa = 0)
struct _LICE_CombinePixelsColorDodgeSourceAlpha
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    _LICE_CombinePixelsColorDodge::doPix(dest, r, g, b, a, lice_detail::SourceAlphaWeight(ia, a));
  }
};

// sa = 0: nothing; else the multiply rule at w = ia * (sa + 1) / 256
struct _LICE_CombinePixelsMulSourceAlphaNoClamp
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    if (a == 0) return;
    _LICE_CombinePixelsMulNoClamp::doPix(dest, r, g, b, a, lice_detail::SourceAlphaWeight(ia, a));
  }
};

// The overlay rule at w = ia * (sa + 1) / 256
struct _LICE_CombinePixelsOverlaySourceAlpha
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    _LICE_CombinePixelsOverlay::doPix(dest, r, g, b, a, lice_detail::SourceAlphaWeight(ia, a));
  }
};

// The HSV rule at w = ia * (sa + 1) / 256
struct _LICE_CombinePixelsHSVAdjustSourceAlpha
{
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int ia)
  {
    _LICE_CombinePixelsHSVAdjust::doPix(dest, r, g, b, a, lice_detail::SourceAlphaWeight(ia, a));
  }
};

namespace lice_detail
{

// Whole-word mixes of destination word P with colour word C, used for plain copies at the
// weights 64, 128 and 192. They drop the low bits of each byte, so they may differ from the
// copy rule by one or two; that difference is part of the output.

// P = ((P >> 1) & 0x7F7F7F7F) + ((C >> 1) & 0x7F7F7F7F)
inline LICE_pixel HalfMixWord(LICE_pixel p, LICE_pixel c)
{
  return ((p >> 1) & 0x7F7F7F7Fu) + ((c >> 1) & 0x7F7F7F7Fu);
}
// P = ((C >> 2) & 0x3F3F3F3F) + ((P >> 2) & 0x3F3F3F3F) + ((P >> 1) & 0x7F7F7F7F)
inline LICE_pixel QuarterMixWord(LICE_pixel p, LICE_pixel c)
{
  return ((c >> 2) & 0x3F3F3F3Fu) + ((p >> 2) & 0x3F3F3F3Fu) + ((p >> 1) & 0x7F7F7F7Fu);
}
// P = ((C >> 1) & 0x7F7F7F7F) + ((C >> 2) & 0x3F3F3F3F) + ((P >> 2) & 0x3F3F3F3F)
inline LICE_pixel ThreeQuarterMixWord(LICE_pixel p, LICE_pixel c)
{
  return ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu) + ((p >> 2) & 0x3F3F3F3Fu);
}

// Calls fn(Rule{}) with the rule a blit applies for blend-mode word `mode` at weight ia
// (source pixels carry their own alpha): (mode & 0x100FF) 0..5 and their use-alpha forms;
// copy at 256 is a plain store, the use-alpha copy at 256 ignores the weight. Returns false,
// without calling fn, when nothing is to be drawn (ia < 1 or an unknown rule).
template <class Fn> inline bool WithBlitRule(int mode, int ia, Fn&& fn)
{
  if (ia < 1) return false;
  switch (mode & LICE_COMBINE_RULE_MASK)
  {
  case LICE_COMBINE_COPY:
    if (ia == 256)
      fn(_LICE_CombinePixelsClobberNoClamp{});
    else
      fn(_LICE_CombinePixelsCopyNoClamp{});
    return true;
  case LICE_COMBINE_ADD:
    fn(_LICE_CombinePixelsAdd{});
    return true;
  case LICE_COMBINE_DODGE:
    fn(_LICE_CombinePixelsColorDodge{});
    return true;
  case LICE_COMBINE_MUL:
    fn(_LICE_CombinePixelsMulNoClamp{});
    return true;
  case LICE_COMBINE_OVERLAY:
    fn(_LICE_CombinePixelsOverlay{});
    return true;
  case LICE_COMBINE_HSVADJUST:
    fn(_LICE_CombinePixelsHSVAdjust{});
    return true;
  case LICE_COMBINE_USE_ALPHA | LICE_COMBINE_COPY:
    if (ia == 256)
      fn(_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp{});
    else
      fn(_LICE_CombinePixelsCopySourceAlphaNoClamp{});
    return true;
  case LICE_COMBINE_USE_ALPHA | LICE_COMBINE_ADD:
    fn(_LICE_CombinePixelsAddSourceAlpha{});
    return true;
  case LICE_COMBINE_USE_ALPHA | LICE_COMBINE_DODGE:
    fn(_LICE_CombinePixelsColorDodgeSourceAlpha{});
    return true;
  case LICE_COMBINE_USE_ALPHA | LICE_COMBINE_MUL:
    fn(_LICE_CombinePixelsMulSourceAlphaNoClamp{});
    return true;
  case LICE_COMBINE_USE_ALPHA | LICE_COMBINE_OVERLAY:
    fn(_LICE_CombinePixelsOverlaySourceAlpha{});
    return true;
  case LICE_COMBINE_USE_ALPHA | LICE_COMBINE_HSVADJUST:
    fn(_LICE_CombinePixelsHSVAdjustSourceAlpha{});
    return true;
  default:
    return false;
  }
}

// Calls fn(Rule{}) with the rule a solid-colour operation (fill, line, glyph) applies for the
// combine operation (mode & 0xFF); the use-alpha bit has already been folded into the weight by
// the caller. kClamp picks the clamping copy and multiply (for sources beyond 0..255). Returns
// false for an unknown operation. Weight checks and whole-word shortcuts are the caller's.
template <bool kClamp = false, class Fn> inline bool WithSolidRule(int mode, Fn&& fn)
{
  switch (mode & LICE_COMBINE_MASK)
  {
  case LICE_COMBINE_COPY:
    if constexpr (kClamp)
      fn(_LICE_CombinePixelsCopyClamp{});
    else
      fn(_LICE_CombinePixelsCopyNoClamp{});
    return true;
  case LICE_COMBINE_ADD:
    fn(_LICE_CombinePixelsAdd{});
    return true;
  case LICE_COMBINE_DODGE:
    fn(_LICE_CombinePixelsColorDodge{});
    return true;
  case LICE_COMBINE_MUL:
    if constexpr (kClamp)
      fn(_LICE_CombinePixelsMulClamp{});
    else
      fn(_LICE_CombinePixelsMulNoClamp{});
    return true;
  case LICE_COMBINE_OVERLAY:
    fn(_LICE_CombinePixelsOverlay{});
    return true;
  case LICE_COMBINE_HSVADJUST:
    fn(_LICE_CombinePixelsHSVAdjust{});
    return true;
  default:
    return false;
  }
}

// The blit rule as a plain function, for loops that take it by pointer (rotated, delta and
// transform blits); null when nothing is to be drawn.
typedef void (*PixelRuleFn)(unsigned char* dest, int r, int g, int b, int a, int ia);
inline PixelRuleFn BlitRuleFunction(int mode, int ia)
{
  PixelRuleFn f = nullptr;
  WithBlitRule(mode, ia, [&f](auto rule) { f = &decltype(rule)::doPix; });
  return f;
}

// Applies a rule to a pixel word with the four bytes of a source word.
template <class Rule> inline void CombineWord(LICE_pixel* dest, LICE_pixel src, int ia)
{
  Rule::doPix((unsigned char*)dest, (int)LICE_GETR(src), (int)LICE_GETG(src), (int)LICE_GETB(src),
              (int)LICE_GETA(src), ia);
}

// ia = (int)(alpha * 256), truncated. Alphas outside 0..1 (and NaN) are limited to 0..256 first:
// the rules extrapolate and wrap bytes beyond full weight, and the float-to-int conversion of a
// huge alpha would be undefined.
inline int AlphaWeight(float alpha)
{
  if (!(alpha > 0.0f)) return 0;
  if (alpha >= 1.0f) return 256;
  return (int)(alpha * 256.0f);
}

// A float converted to int without undefined behaviour: NaN gives 0, values beyond the int
// range saturate.
inline int SaturatingInt(double v)
{
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return (-2147483647 - 1);
  return (int)v;
}

// Clips (x, y, w, h) to the bitmap the way the rectangle utilities and fills do: a negative x
// shortens w by as much and moves x to 0 (likewise y); nothing remains when the bitmap or its
// bits are missing, w or h is not positive, or the origin lies at or beyond the size. Returns
// false when nothing remains.
inline bool ClipRectToBitmap(const LICE_IBitmap* bm, int& x, int& y, int& w, int& h)
{
  if (!bm || !bm->getBits()) return false;
  long long lx = x, ly = y, lw = w, lh = h;
  if (lx < 0) lw += lx, lx = 0;
  if (ly < 0) lh += ly, ly = 0;
  const long long bw = bm->getWidth(), bh = bm->getHeight();
  if (lw <= 0 || lh <= 0 || lx >= bw || ly >= bh) return false;
  if (lw > bw - lx) lw = bw - lx;
  if (lh > bh - ly) lh = bh - ly;
  x = (int)lx, y = (int)ly, w = (int)lw, h = (int)lh;
  return true;
}

// Picture rows of a bitmap, honouring isFlipped: row(y) is picture row y, and consecutive
// picture rows are `step` pixels apart (negative for a flipped bitmap).
struct PixelRows
{
  LICE_pixel* first = nullptr;
  std::ptrdiff_t step = 0;
  LICE_pixel* row(int y) const { return first + (std::ptrdiff_t)y * step; }
};
inline PixelRows RowsOf(const LICE_IBitmap* bm)
{
  PixelRows rows;
  rows.first = bm->getBits();
  rows.step = bm->getRowSpan();
  if (rows.first && bm->isFlipped())
  {
    rows.first += (std::ptrdiff_t)(bm->getHeight() - 1) * rows.step;
    rows.step = -rows.step;
  }
  return rows;
}

} // namespace lice_detail
