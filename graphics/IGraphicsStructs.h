#pragma once
// The editor's value types: rectangles, colours, text styles, blends, image handles and mouse
// modifiers. Plain values, copied freely; none of them owns anything.
//
// Coordinates are editor pixels, origin top-left, y downwards. Colours are straight (not
// premultiplied) 0-255 channels; their raster pixel word is 0xAARRGGBB.

#include <algorithm>
#include <cstring>

class LICE_IBitmap;
class LICE_CachedFont;

// ---------------------------------------------------------------------------------------------
// Rectangle: left, top, right, bottom; right and bottom exclusive for hit tests. The all-zero
// rectangle is "empty": it contains nothing and overlaps nothing.
struct IRECT
{
  int mL = 0, mT = 0, mR = 0, mB = 0;

  constexpr IRECT() = default;
  constexpr IRECT(int l, int t, int r, int b) : mL(l), mT(t), mR(r), mB(b) {}

  constexpr bool Empty() const { return mL == 0 && mT == 0 && mR == 0 && mB == 0; }
  void Clear() { *this = IRECT(); }
  constexpr int W() const { return mR - mL; }
  constexpr int H() const { return mB - mT; }
  // Middles in single precision.
  constexpr float MW() const { return 0.5f * (float)(mL + mR); }
  constexpr float MH() const { return 0.5f * (float)(mT + mB); }

  constexpr bool operator==(const IRECT& o) const = default;

  // Not empty, mL <= x < mR and mT <= y < mB.
  constexpr bool Contains(int x, int y) const
  {
    return !Empty() && x >= mL && x < mR && y >= mT && y < mB;
  }
  // Both non-empty and touching: a shared right or bottom edge counts as overlap.
  constexpr bool Intersects(const IRECT& o) const
  {
    return !Empty() && !o.Empty() && mR >= o.mL && mL < o.mR && mB >= o.mT && mT < o.mB;
  }
  // The overlap rectangle when Intersects, else empty.
  constexpr IRECT Intersect(const IRECT& o) const
  {
    if (!Intersects(o)) return IRECT();
    return IRECT(std::max(mL, o.mL), std::max(mT, o.mT), std::min(mR, o.mR), std::min(mB, o.mB));
  }
  // An empty side yields the other side unchanged.
  constexpr IRECT Union(const IRECT& o) const
  {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return IRECT(std::min(mL, o.mL), std::min(mT, o.mT), std::max(mR, o.mR), std::max(mB, o.mB));
  }
};

// ---------------------------------------------------------------------------------------------
// Colour, fields in the order alpha, red, green, blue; 255 alpha is opaque.
struct IColor
{
  int mA = 255, mR = 0, mG = 0, mB = 0;

  constexpr IColor() = default;
  constexpr IColor(int a, int r, int g, int b) : mA(a), mR(r), mG(g), mB(b) {}
  constexpr bool operator==(const IColor& o) const = default;

  // The raster pixel word: (a << 24) | (r << 16) | (g << 8) | b, each channel's low 8 bits.
  constexpr unsigned int Pixel() const
  {
    return ((unsigned int)(mA & 0xFF) << 24) | ((unsigned int)(mR & 0xFF) << 16) |
           ((unsigned int)(mG & 0xFF) << 8) | (unsigned int)(mB & 0xFF);
  }
  static constexpr IColor FromPixel(unsigned int p)
  {
    return IColor((int)(p >> 24), (int)((p >> 16) & 0xFF), (int)((p >> 8) & 0xFF), (int)(p & 0xFF));
  }
};

// Shared colours (A, R, G, B), the same objects for the editor and every control.
inline constexpr IColor COLOR_TRANSPARENT(0, 0, 0, 0);
inline constexpr IColor COLOR_BLACK(255, 0, 0, 0);
inline constexpr IColor COLOR_GRAY(255, 127, 127, 127);
inline constexpr IColor COLOR_WHITE(255, 255, 255, 255);
inline constexpr IColor COLOR_RED(255, 255, 0, 0);
inline constexpr IColor COLOR_GREEN(255, 0, 255, 0);
inline constexpr IColor COLOR_BLUE(255, 0, 0, 255);
inline constexpr IColor COLOR_YELLOW(255, 255, 255, 0);
inline constexpr IColor COLOR_ORANGE(255, 255, 127, 0);
inline constexpr IColor DEFAULT_TEXT_COLOR(255, 0, 0, 0);
inline constexpr IColor DEFAULT_TEXT_ENTRY_BGCOLOR(255, 255, 255, 255);
inline constexpr IColor DEFAULT_TEXT_ENTRY_FGCOLOR(255, 0, 0, 0);

// ---------------------------------------------------------------------------------------------
// How a drawing is combined with what lies below: a method and a weight 0..1.
struct IChannelBlend
{
  enum EBlendMethod : int
  {
    kBlendSourceAlpha = 0, // copy weighted by source alpha
    kBlendCopy = 1,        // straight copy, source alpha ignored
    kBlendAdd = 2,         // add, with source alpha
    kBlendDodge = 3        // colour dodge, with source alpha
  };

  EBlendMethod mMethod = kBlendSourceAlpha;
  float mWeight = 1.0f;

  constexpr IChannelBlend() = default;
  constexpr IChannelBlend(EBlendMethod method, float weight = 1.0f)
      : mMethod(method), mWeight(weight)
  {
  }
  constexpr IChannelBlend(int method, float weight = 1.0f)
      : mMethod((EBlendMethod)method), mWeight(weight)
  {
  }
};

// The raster blend-mode word of a blend; null is source alpha (0x10000), and so is any method
// outside the four known ones.
constexpr int LiceBlendMode(const IChannelBlend* pBlend)
{
  if (!pBlend) return 0x10000;
  switch (pBlend->mMethod)
  {
  case IChannelBlend::kBlendCopy:
    return 0;
  case IChannelBlend::kBlendAdd:
    return 0x10001;
  case IChannelBlend::kBlendDodge:
    return 0x10002;
  default:
    return 0x10000;
  }
}
// The raster alpha of a blend; null is full weight.
constexpr float LiceWeight(const IChannelBlend* pBlend)
{
  return pBlend ? pBlend->mWeight : 1.0f;
}

// ---------------------------------------------------------------------------------------------
// Text style. The cached font points into the process-wide font cache and is never owned.
struct IText
{
  enum EStyle : int
  {
    kStyleNormal = 0,
    kStyleBold = 1,
    kStyleItalic = 2
  };
  enum EAlign : int
  {
    kAlignNear = 0,
    kAlignCenter = 1,
    kAlignFar = 2
  };
  // Font quality codes of the system font: 0, 3, 4, 4 (any other value gives 3).
  enum EQuality : int
  {
    kQualityDefault = 0,
    kQualityNonAntiAliased = 1,
    kQualityAntiAliased = 2,
    kQualityClearType = 3
  };

  static constexpr int kMaxFontNameLen = 32; // with the terminating NUL

  char mFont[kMaxFontNameLen] = "Monaco";
  int mSize = 10;                     // requested line height in pixels
  IColor mColor = DEFAULT_TEXT_COLOR; // text colour
  IColor mTextEntryBGColor = DEFAULT_TEXT_ENTRY_BGCOLOR;
  IColor mTextEntryFGColor = DEFAULT_TEXT_ENTRY_FGCOLOR;
  EStyle mStyle = kStyleNormal;
  EAlign mAlign = kAlignCenter;
  int mOrientation = 0; // degrees
  EQuality mQuality = kQualityDefault;
  LICE_CachedFont* mCached = nullptr;

  IText() = default;
  // Null colour or font name keeps the default. A font name longer than 31 characters is cut.
  IText(int size, const IColor* pColor = nullptr, const char* font = nullptr,
        EStyle style = kStyleNormal, EAlign align = kAlignCenter, int orientation = 0,
        EQuality quality = kQualityDefault, const IColor* pTextEntryBGColor = nullptr,
        const IColor* pTextEntryFGColor = nullptr)
      : mSize(size), mStyle(style), mAlign(align), mOrientation(orientation), mQuality(quality)
  {
    if (pColor) mColor = *pColor;
    if (pTextEntryBGColor) mTextEntryBGColor = *pTextEntryBGColor;
    if (pTextEntryFGColor) mTextEntryFGColor = *pTextEntryFGColor;
    SetFont(font);
  }
  explicit IText(const IColor* pColor)
  {
    if (pColor) mColor = *pColor;
  }

  // Bounded copy: the name field always stays terminated.
  void SetFont(const char* font)
  {
    if (!font) return;
    const size_t n = strnlen(font, kMaxFontNameLen - 1);
    std::memcpy(mFont, font, n);
    mFont[n] = '\0';
  }
};

// ---------------------------------------------------------------------------------------------
// Image handle: the raster bitmap (owned by the image cache, not by the handle), its size and
// how it is cut into frames. With N frames stacked vertically each frame is W x (H / N); laid out
// horizontally (W / N) x H.
//
// The frame count is kept between 1 and the pixel extent along the strip, so that a frame is
// never 0 pixels: a count of 0 or less is 1, a count above the rows (columns) is cut to them.
struct IBitmap
{
  LICE_IBitmap* mData = nullptr;
  int mW = 0;
  int mH = 0;
  int mN = 1;
  bool mFramesAreHorizontal = false;

  IBitmap() = default;
  IBitmap(LICE_IBitmap* pData, int w, int h, int nFrames = 1, bool framesAreHorizontal = false)
      : mData(pData), mW(w), mH(h), mN(ClampFrames(nFrames, framesAreHorizontal ? w : h)),
        mFramesAreHorizontal(framesAreHorizontal)
  {
  }

  int FrameWidth() const { return mFramesAreHorizontal ? mW / mN : mW; }
  int FrameHeight() const { return mFramesAreHorizontal ? mH : mH / mN; }

  static constexpr int ClampFrames(int n, int extent)
  {
    if (n < 1) return 1;
    if (extent >= 1 && n > extent) return extent;
    return n;
  }
};

// ---------------------------------------------------------------------------------------------
// Mouse buttons and modifier keys at the time of an event: left, right, shift, control, alt.
struct IMouseMod
{
  bool mL = false, mR = false, mS = false, mC = false, mA = false;

  constexpr IMouseMod() = default;
  constexpr IMouseMod(bool l, bool r = false, bool s = false, bool c = false, bool a = false)
      : mL(l), mR(r), mS(s), mC(c), mA(a)
  {
  }
};
