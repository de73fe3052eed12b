// swell.h: a small device-context drawing interface over cairo, fontconfig and FreeType.
//
// What it is
//   Two opaque handle kinds, a drawing context (HDC) and a drawing object (HGDIOBJ: pen,
//   brush or font), and the operations the raster library needs on them: memory contexts
//   whose 32-bit pixels it addresses directly, system fonts, text measuring and drawing with
//   alignment, and clip regions. Nothing here touches X11: scanners create contexts and fonts
//   on machines without a display.
//
// Pixels and colours
//   A memory context is a cairo RGB24 image surface over a zero-filled buffer that starts on a
//   64-byte boundary. Each pixel is one little-endian 32-bit word, blue in byte 0, green in
//   byte 1, red in byte 2; byte 3 is ignored by the drawing here (the raster library's pixel
//   word). Rows are exactly w x 4 bytes apart, row 0 at the top. Colour ints passed in are
//   0xRRGGBB.
//
// Handles
//   Handle values 1, 2 and 3 are the stock null pen, brush and font; every value below 5 is a
//   stock handle, never a record. Records come from pools shared by the whole process;
//   releasing a handle returns its record to the pool, and a released handle is ignored by
//   every operation for as long as its record sits unused in the pool. Deleting an object that
//   is still selected into a context is the caller's fault, as is using a handle after its
//   record may have been reused.
//
// Threads
//   A context and the objects selected into it are used by one thread at a time. Creating and
//   releasing contexts and objects, and the font-name cache, are safe from any thread.
#pragma once

#include <cstdint>

struct HDC__;
struct HGDIOBJ__;
typedef HDC__* HDC;
typedef HGDIOBJ__* HGDIOBJ;
typedef HGDIOBJ HFONT;
typedef HGDIOBJ HPEN;
typedef HGDIOBJ HBRUSH;

// Right and bottom are exclusive. The raster library uses the same type.
struct RECT
{
  int32_t left, top, right, bottom;
};

struct POINT
{
  int32_t x, y;
};

struct LOGFONT
{
  int32_t lfHeight;      // < 0: em size in pixels; > 0: the same (magnitude is the size)
  int32_t lfWidth;       // size when lfHeight is 0
  int32_t lfEscapement;  // ignored
  int32_t lfOrientation; // tenths of a degree
  int32_t lfWeight;      // FW_BOLD and above selects the bold face
  char lfItalic;
  char lfUnderline;      // ignored
  char lfStrikeOut;      // ignored
  char lfCharSet;        // ignored
  char lfOutPrecision;   // ignored
  char lfClipPrecision;  // ignored
  char lfQuality;        // DEFAULT_QUALITY, NONANTIALIASED_QUALITY or ANTIALIASED_QUALITY
  char lfPitchAndFamily; // ignored
  char lfFaceName[32];
};

struct TEXTMETRIC
{
  int32_t tmHeight; // ascent + descent + leading (truncated each) + 1
  int32_t tmAscent;
  int32_t tmDescent;
  int32_t tmInternalLeading; // the font's line gap
  int32_t tmAveCharWidth;    // two thirds of the line, a rough figure
};

// Text flags of SWELL_DrawText; the raster library's font cache uses the same values.
inline constexpr int LICE_TEXT_HCENTER = 0x1;
inline constexpr int LICE_TEXT_RIGHT = 0x2;
inline constexpr int LICE_TEXT_VCENTER = 0x4;
inline constexpr int LICE_TEXT_BOTTOM = 0x8;
inline constexpr int LICE_TEXT_SINGLELINE = 0x20; // line feeds draw as spaces
inline constexpr int LICE_TEXT_NOCLIP = 0x100;
inline constexpr int LICE_TEXT_CALCRECT = 0x400; // measure only: set right and bottom
inline constexpr int LICE_TEXT_NOPREFIX = 0x800; // '&' is an ordinary character

// Font weights and quality codes (the quality code is the font's smoothing request).
inline constexpr int FW_DONTCARE = 0;
inline constexpr int FW_NORMAL = 400;
inline constexpr int FW_BOLD = 700;
inline constexpr int DEFAULT_QUALITY = 0;        // the context's setting (antialiased)
inline constexpr int NONANTIALIASED_QUALITY = 3; // smoothing off: one-bit glyph edges
inline constexpr int ANTIALIASED_QUALITY = 4;    // smoothing on

// Background modes of SetBkMode: opaque text fills its box with the background colour.
inline constexpr int SWELL_BKMODE_TRANSPARENT = 0;
inline constexpr int SWELL_BKMODE_OPAQUE = 1;

// Stock objects for GetStockObject; the handle value equals the number.
inline constexpr int SWELL_NULL_PEN = 1;
inline constexpr int SWELL_NULL_BRUSH = 2;
inline constexpr int SWELL_NULL_FONT = 3;

// Pen style of CreatePen (only solid lines are drawn).
inline constexpr int PS_SOLID = 0;

// Raster operation of BitBlt and StretchBlt (only plain copies are supported).
inline constexpr int SRCCOPY = 0xCC0020;

// AddFontResourceEx flag: register the font for this process (bit 0).
inline constexpr int SWELL_FONT_FOR_PROCESS = 0x1;

// ---- Memory contexts -----------------------------------------------------------------------

// A w x h memory context (the first argument is ignored), pixels zero, text colour black,
// transparent background, antialiased text. Null if w or h is negative, too large for
// cairo, or an allocation fails. A 0 x n context is valid and has no pixels worth reading.
HDC SWELL_CreateMemContext(HDC reference, int w, int h);
// The 64-byte-aligned pixel address of a memory context; null for other or invalid handles.
void* SWELL_GetCtxFrameBuffer(HDC ctx);
// Releases a context created here and its pixels. Null and released handles are ignored.
void SWELL_DeleteGfxContext(HDC ctx);
// The context's cairo_t (as void *, so that users need not include cairo); null if invalid.
// Call cairo_surface_mark_dirty on its target after writing pixels directly.
void* SWELL_GetCtxGC(HDC ctx);
// Never a high-density display here.
bool SWELL_IsRetinaDC(HDC ctx);

// ---- Objects -------------------------------------------------------------------------------

// A font by face and size. Size is |height|, or |width| when height is 0; outside 2..8192 it is
// 10. " Bold" is appended to the face for weight >= FW_BOLD, then " Italic" for italic. A face
// that is not installed falls back to fontconfig's best match for it (a known monospace face
// such as "Monaco" to a monospace one), failing that to the label font. The quality code is
// the font's smoothing request; the orientation is kept with the font, but text is always
// drawn upright. Null only when no font at all can be loaded or a record cannot be allocated.
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, char italic,
                 char underline, char strikeout, char charset, char outprecision,
                 char clipprecision, char quality, char pitchandfamily, const char* face);
HFONT CreateFontIndirect(const LOGFONT* lf);

// Pens and brushes; colour 0xRRGGBB, alpha 0..1 (the plain forms are opaque).
HPEN CreatePen(int style, int width, int colour);
HPEN CreatePenAlpha(int style, int width, int colour, float alpha);
HBRUSH CreateSolidBrush(int colour);
HBRUSH CreateSolidBrushAlpha(int colour, float alpha);

// Stock object for SWELL_NULL_PEN, SWELL_NULL_BRUSH or SWELL_NULL_FONT; null otherwise.
HGDIOBJ GetStockObject(int which);

// Adds a reference: the next DeleteObject only drops it. Returns obj (null if invalid).
HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj);

// Drops an extra reference if there is one, else releases the object. Stock handles and
// released objects are ignored.
void DeleteObject(HGDIOBJ obj);

// Places a pen, brush or font in its slot and returns the previous one (or the stock handle
// of that kind when the slot was empty). A stock null handle empties its slot. Null for a
// null or invalid context, a stock handle above 3 or an invalid object.
HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj);

// ---- Text ----------------------------------------------------------------------------------

void SetTextColor(HDC ctx, int colour);
int GetTextColor(HDC ctx); // -1 for an invalid context
void SetBkColor(HDC ctx, int colour);
void SetBkMode(HDC ctx, int mode);

// Metrics of the selected font (or the label font at size 10). The record is first filled
// with 16, 12, 4, 3, 10 (height, ascent, descent, leading, average width); the result is 0
// for a null or released context (the record keeps those figures), else 1.
int GetTextMetrics(HDC ctx, TEXTMETRIC* tm);

// Copies the PostScript name of the selected font (or the label font) into face, at most
// size - 1 bytes and a terminator; returns the length copied, 0 for an invalid context.
int GetTextFace(HDC ctx, int size, char* face);

// Draws or (LICE_TEXT_CALCRECT) measures UTF-8 text in r; len < 0 means up to the terminator.
// Carriage returns are dropped; '&' escapes the next character unless LICE_TEXT_NOPREFIX;
// line feeds break lines unless LICE_TEXT_SINGLELINE. At most 4095 bytes of prepared text are
// used. Text that is not UTF-8 is taken as Latin-1. Returns the text height, 0 for an invalid
// context or empty text.
int SWELL_DrawText(HDC ctx, const char* text, int len, RECT* r, int flags);

// ---- Clipping ------------------------------------------------------------------------------

// Push saves the drawing state, Set narrows the clip to r (intersected with the current clip),
// Pop restores the state of the matching Push; a Pop without a Push is ignored.
void SWELL_PushClipRegion(HDC ctx);
void SWELL_SetClipRegion(HDC ctx, const RECT* r);
void SWELL_PopClipRegion(HDC ctx);

// ---- Vector drawing and copies (not used by the plug-in itself) ----------------------------

// Fills r with the brush (nothing for the null brush or an invalid one).
void SWELL_FillRect(HDC ctx, const RECT* r, HBRUSH brush);
// Fills with the selected brush, then outlines with the selected pen.
void Rectangle(HDC ctx, int l, int t, int r, int b);
void MoveToEx(HDC ctx, int x, int y, POINT* oldPosition);
// A line from the current position with the selected pen; the position moves to (x, y).
void SWELL_LineTo(HDC ctx, int x, int y);
void SWELL_SetPixel(HDC ctx, int x, int y, int colour);
// Copies a w x h block (SRCCOPY only) between contexts; StretchBlt scales it.
void BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int xs, int ys, int rop);
void StretchBlt(HDC dest, int x, int y, int w, int h, HDC src, int xs, int ys, int ws, int hs,
                int rop);

// Registers a font file with fontconfig for this process (flag SWELL_FONT_FOR_PROCESS);
// registering it for the user is not offered here. Returns the number of files added (0, 1).
int AddFontResourceEx(const char* path, int flags, void* reserved);
