// Drawing contexts and objects: the record pools, memory contexts over cairo image surfaces,
// object selection, colours, clipping, and the few vector and copy operations.
#include "platform/linux/swell-internal.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace detail
{
namespace
{
// The pools outlive every static destructor that might release a handle: the mutex needs no
// destruction, and once the lists are freed at unload, releases go straight to the heap.
constinit std::mutex gPoolMutex;
constinit HDC__* gFreeContexts = nullptr;
constinit HGDIOBJ__* gFreeObjects = nullptr;
constinit int gFreeContextCount = 0;
constinit int gFreeObjectCount = 0;
constinit bool gPoolsClosed = false;

struct PoolCleanup
{
  ~PoolCleanup()
  {
    std::lock_guard<std::mutex> lock(gPoolMutex);
    gPoolsClosed = true;
    while (gFreeContexts)
    {
      HDC__* next = gFreeContexts->mNext;
      std::free(gFreeContexts);
      gFreeContexts = next;
    }
    while (gFreeObjects)
    {
      HGDIOBJ__* next = gFreeObjects->mNext;
      std::free(gFreeObjects);
      gFreeObjects = next;
    }
    gFreeContextCount = gFreeObjectCount = 0;
  }
} gPoolCleanup;

// Takes a record from a free list, or a fresh zeroed one from the heap.
template <class T> T* Take(T*& list, int& count)
{
  {
    std::lock_guard<std::mutex> lock(gPoolMutex);
    if (T* rec = list)
    {
      list = rec->mNext;
      --count;
      *rec = T{};
      return rec;
    }
  }
  return static_cast<T*>(std::calloc(1, sizeof(T)));
}

// Marks a record released and keeps it for reuse while the list has room.
template <class T> void Give(T* rec, T*& list, int& count, int max)
{
  rec->mFree = true;
  {
    std::lock_guard<std::mutex> lock(gPoolMutex);
    if (!gPoolsClosed && count < max)
    {
      rec->mNext = list;
      list = rec;
      ++count;
      return;
    }
  }
  std::free(rec);
}
} // namespace

HDC__* AllocContext()
{
  return Take(gFreeContexts, gFreeContextCount);
}
void ReleaseContext(HDC__* ctx)
{
  Give(ctx, gFreeContexts, gFreeContextCount, kContextPoolMax);
}
HGDIOBJ__* AllocObject()
{
  return Take(gFreeObjects, gFreeObjectCount);
}
void ReleaseObject(HGDIOBJ__* obj)
{
  Give(obj, gFreeObjects, gFreeObjectCount, kObjectPoolMax);
}

int PooledContexts()
{
  std::lock_guard<std::mutex> lock(gPoolMutex);
  return gFreeContextCount;
}

int PooledObjects()
{
  std::lock_guard<std::mutex> lock(gPoolMutex);
  return gFreeObjectCount;
}

void ApplyDefaultFontOptions(cairo_t* cr)
{
  cairo_font_options_t* opt = cairo_font_options_create();
  cairo_font_options_set_antialias(opt, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(opt, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(opt, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, opt);
  cairo_font_options_destroy(opt);
}

void RepairContext(HDC__* ctx)
{
  if (cairo_status(ctx->mCtx) == CAIRO_STATUS_SUCCESS) return;
  cairo_t* cr = cairo_create(ctx->mSurface);
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
  {
    cairo_destroy(cr);
    return;
  }
  cairo_destroy(ctx->mCtx);
  ctx->mCtx = cr;
  ctx->mSaveDepth = 0;
  ApplyDefaultFontOptions(cr);
}
} // namespace detail

using namespace detail;

namespace
{
cairo_pattern_t* SolidColour(int colour, double alpha)
{
  return cairo_pattern_create_rgba(((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                                   (colour & 0xFF) / 255.0, alpha);
}

// cairo's fixed-point coordinates hold about +-8 million; nothing beyond this reaches a
// surface of at most 32767 pixels, so coordinates are limited before they reach cairo.
constexpr double kCoordLimit = 1 << 20;
double Coord(double v)
{
  return std::clamp(v, -kCoordLimit, kCoordLimit);
}

void AddRect(cairo_t* cr, double l, double t, double r, double b)
{
  l = Coord(l), t = Coord(t), r = Coord(r), b = Coord(b);
  // A reversed rectangle would still enclose area: it stands for nothing.
  if (r < l) r = l;
  if (b < t) b = t;
  cairo_rectangle(cr, l, t, r - l, b - t);
}

HGDIOBJ__* Selected(HGDIOBJ h, int kind)
{
  HGDIOBJ__* obj = Object(h);
  return obj && obj->mKind == kind ? obj : nullptr;
}

// Pixels written straight into the buffer are invisible to cairo until it is told.
void Touch(HDC__* c)
{
  cairo_surface_mark_dirty(c->mSurface);
}
void Done(HDC__* c)
{
  RepairContext(c);
  cairo_surface_flush(c->mSurface);
}
} // namespace

HDC SWELL_CreateMemContext(HDC, int w, int h)
{
  // cairo refuses image surfaces beyond 32767 pixels a side.
  if (w < 0 || h < 0 || w > 32767 || h > 32767) return nullptr;
  // The pixel store promises rows exactly w x 4 bytes apart; a cairo that wanted a wider
  // stride for this format could not honour that, so such a context is not made.
  const int stride = w * 4;
  if (cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, w) != stride) return nullptr;

  void* buffer = std::calloc(1, size_t(stride) * size_t(h) + 63);
  if (!buffer) return nullptr;
  auto* bits =
      reinterpret_cast<unsigned char*>((reinterpret_cast<uintptr_t>(buffer) + 63) & ~uintptr_t(63));
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(bits, CAIRO_FORMAT_RGB24, w, h, stride);
  cairo_t* cr = cairo_create(surface);
  HDC__* ctx = nullptr;
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS || !(ctx = AllocContext()))
  {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    std::free(buffer);
    return nullptr;
  }
  ApplyDefaultFontOptions(cr);
  ctx->mCtx = cr;
  ctx->mSurface = surface;
  ctx->mBuffer = buffer;
  ctx->mBits = bits;
  ctx->mWidth = w;
  ctx->mHeight = h;
  ctx->mTextPattern = SolidColour(0, 1.0);
  return ctx;
}

void* SWELL_GetCtxFrameBuffer(HDC h)
{
  HDC__* ctx = Context(h);
  return ctx ? ctx->mBits : nullptr;
}

void SWELL_DeleteGfxContext(HDC h)
{
  HDC__* ctx = Context(h);
  if (!ctx) return;
  cairo_destroy(ctx->mCtx);
  cairo_surface_destroy(ctx->mSurface);
  std::free(ctx->mBuffer);
  cairo_pattern_destroy(ctx->mTextPattern);
  ReleaseContext(ctx);
}

void* SWELL_GetCtxGC(HDC h)
{
  HDC__* ctx = Context(h);
  return ctx ? ctx->mCtx : nullptr;
}

bool SWELL_IsRetinaDC(HDC)
{
  return false;
}

HPEN CreatePenAlpha(int, int width, int colour, float alpha)
{
  HGDIOBJ__* obj = AllocObject();
  if (!obj) return nullptr;
  obj->mKind = kPen;
  obj->mColour = SolidColour(colour, alpha < 0.f ? 0.0 : alpha > 1.f ? 1.0 : alpha);
  obj->mWidthOrAlpha = width < 1 ? 1.f : float(width);
  return obj;
}

HPEN CreatePen(int style, int width, int colour)
{
  return CreatePenAlpha(style, width, colour, 1.f);
}

HBRUSH CreateSolidBrushAlpha(int colour, float alpha)
{
  HGDIOBJ__* obj = AllocObject();
  if (!obj) return nullptr;
  alpha = alpha < 0.f ? 0.f : alpha > 1.f ? 1.f : alpha;
  obj->mKind = kBrush;
  obj->mColour = SolidColour(colour, alpha);
  obj->mWidthOrAlpha = alpha;
  return obj;
}

HBRUSH CreateSolidBrush(int colour)
{
  return CreateSolidBrushAlpha(colour, 1.f);
}

HGDIOBJ GetStockObject(int which)
{
  if (which < SWELL_NULL_PEN || which > SWELL_NULL_FONT) return nullptr;
  return reinterpret_cast<HGDIOBJ>(intptr_t(which));
}

HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ h)
{
  HGDIOBJ__* obj = Object(h);
  if (!obj) return nullptr;
  ++obj->mRefs;
  return obj;
}

void DeleteObject(HGDIOBJ h)
{
  HGDIOBJ__* obj = Object(h);
  if (!obj) return;
  if (obj->mRefs > 0)
  {
    --obj->mRefs;
    return;
  }
  if (obj->mColour) cairo_pattern_destroy(obj->mColour);
  if (obj->mKind == kFont) ReleaseFont(obj);
  ReleaseObject(obj);
}

HGDIOBJ SelectObject(HDC h, HGDIOBJ o)
{
  HDC__* ctx = Context(h);
  if (!ctx) return nullptr;
  const uintptr_t stock = reinterpret_cast<uintptr_t>(o);
  int kind;
  if (IsStock(o))
  {
    if (stock < SWELL_NULL_PEN || stock > SWELL_NULL_FONT) return nullptr;
    kind = int(stock); // the stock handle's number is its kind
  }
  else
  {
    HGDIOBJ__* obj = Object(o);
    if (!obj || obj->mKind < kPen || obj->mKind > kFont) return nullptr;
    kind = obj->mKind;
  }
  HGDIOBJ* slot = kind == kPen ? &ctx->mPen : kind == kBrush ? &ctx->mBrush : &ctx->mFont;
  HGDIOBJ prev = *slot;
  if (prev == o) return o;
  *slot = IsStock(o) ? nullptr : o;
  return prev ? prev : reinterpret_cast<HGDIOBJ>(intptr_t(kind));
}

void SetTextColor(HDC h, int colour)
{
  HDC__* ctx = Context(h);
  if (!ctx) return;
  ctx->mTextColor = colour;
  cairo_pattern_destroy(ctx->mTextPattern);
  ctx->mTextPattern = SolidColour(colour, 1.0);
}

int GetTextColor(HDC h)
{
  HDC__* ctx = Context(h);
  return ctx ? ctx->mTextColor : -1;
}

void SetBkColor(HDC h, int colour)
{
  if (HDC__* ctx = Context(h)) ctx->mBkColor = colour;
}

void SetBkMode(HDC h, int mode)
{
  if (HDC__* ctx = Context(h)) ctx->mBkMode = mode;
}

void SWELL_PushClipRegion(HDC h)
{
  HDC__* ctx = Context(h);
  if (!ctx) return;
  cairo_save(ctx->mCtx);
  ++ctx->mSaveDepth;
}

void SWELL_SetClipRegion(HDC h, const RECT* r)
{
  HDC__* ctx = Context(h);
  if (!ctx || !r) return;
  cairo_new_path(ctx->mCtx);
  AddRect(ctx->mCtx, r->left, r->top, r->right, r->bottom);
  cairo_clip(ctx->mCtx);
}

void SWELL_PopClipRegion(HDC h)
{
  HDC__* ctx = Context(h);
  if (!ctx || ctx->mSaveDepth <= 0) return;
  cairo_restore(ctx->mCtx);
  --ctx->mSaveDepth;
}

void SWELL_FillRect(HDC h, const RECT* r, HBRUSH b)
{
  HDC__* ctx = Context(h);
  HGDIOBJ__* brush = Selected(b, kBrush);
  if (!ctx || !r || !brush) return;
  Touch(ctx);
  cairo_new_path(ctx->mCtx);
  AddRect(ctx->mCtx, r->left, r->top, r->right, r->bottom);
  cairo_set_source(ctx->mCtx, brush->mColour);
  cairo_fill(ctx->mCtx);
  Done(ctx);
}

void Rectangle(HDC h, int l, int t, int r, int b)
{
  HDC__* ctx = Context(h);
  if (!ctx) return;
  cairo_t* cr = ctx->mCtx;
  Touch(ctx);
  cairo_new_path(cr);
  if (HGDIOBJ__* brush = Selected(ctx->mBrush, kBrush))
  {
    AddRect(cr, l, t, r, b);
    cairo_set_source(cr, brush->mColour);
    cairo_fill(cr);
  }
  if (HGDIOBJ__* pen = Selected(ctx->mPen, kPen))
  {
    // Pixel centres, so that a one-pixel outline covers whole pixels.
    AddRect(cr, l + 0.5, t + 0.5, r - 0.5, b - 0.5);
    cairo_set_source(cr, pen->mColour);
    cairo_set_line_width(cr, pen->mWidthOrAlpha);
    cairo_stroke(cr);
  }
  Done(ctx);
}

void MoveToEx(HDC h, int x, int y, POINT* old)
{
  HDC__* ctx = Context(h);
  if (!ctx) return;
  if (old) *old = POINT{ctx->mCurX, ctx->mCurY};
  ctx->mCurX = x;
  ctx->mCurY = y;
}

void SWELL_LineTo(HDC h, int x, int y)
{
  HDC__* ctx = Context(h);
  if (!ctx) return;
  HGDIOBJ__* pen = Selected(ctx->mPen, kPen);
  const double x0 = ctx->mCurX, y0 = ctx->mCurY, dx = x - x0, dy = y - y0;
  const double len = std::sqrt(dx * dx + dy * dy);
  if (pen && len > 0)
  {
    // Through pixel centres, from the first pixel's near edge to the last pixel's near edge:
    // the start pixel is drawn, the end pixel is not.
    const double ox = 0.5 - 0.5 * dx / len, oy = 0.5 - 0.5 * dy / len;
    cairo_t* cr = ctx->mCtx;
    Touch(ctx);
    cairo_new_path(cr);
    cairo_move_to(cr, Coord(x0 + ox), Coord(y0 + oy));
    cairo_line_to(cr, Coord(x + ox), Coord(y + oy));
    cairo_set_source(cr, pen->mColour);
    cairo_set_line_width(cr, pen->mWidthOrAlpha);
    cairo_stroke(cr);
    Done(ctx);
  }
  ctx->mCurX = x;
  ctx->mCurY = y;
}

void SWELL_SetPixel(HDC h, int x, int y, int colour)
{
  HDC__* ctx = Context(h);
  if (!ctx) return;
  // Within the current clip, like every other drawing operation.
  cairo_t* cr = ctx->mCtx;
  Touch(ctx);
  cairo_save(cr);
  cairo_new_path(cr);
  AddRect(cr, x, y, double(x) + 1, double(y) + 1);
  cairo_set_source_rgb(cr, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                       (colour & 0xFF) / 255.0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_fill(cr);
  cairo_restore(cr);
  Done(ctx);
}

void StretchBlt(HDC dest, int x, int y, int w, int h, HDC source, int xs, int ys, int ws, int hs,
                int rop)
{
  HDC__ *d = Context(dest), *s = Context(source);
  if (!d || !s || rop != SRCCOPY || w <= 0 || h <= 0 || ws <= 0 || hs <= 0) return;
  cairo_t* cr = d->mCtx;
  Touch(d);
  Touch(s);
  cairo_save(cr);
  cairo_new_path(cr);
  AddRect(cr, x, y, double(x) + w, double(y) + h);
  cairo_clip(cr);
  cairo_translate(cr, Coord(x), Coord(y));
  cairo_scale(cr, double(w) / ws, double(h) / hs);
  cairo_set_source_surface(cr, s->mSurface, -Coord(xs), -Coord(ys));
  // Outside the source there is nothing to copy: leave those pixels as they are.
  cairo_new_path(cr);
  cairo_rectangle(cr, -Coord(xs), -Coord(ys), s->mWidth, s->mHeight);
  cairo_clip(cr);
  if (w == ws && h == hs) cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_restore(cr);
  Done(d);
}

void BitBlt(HDC dest, int x, int y, int w, int h, HDC source, int xs, int ys, int rop)
{
  StretchBlt(dest, x, y, w, h, source, xs, ys, w, h, rop);
}
