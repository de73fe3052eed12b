// Fonts and text: face lookup through fontconfig, the process-wide font-name cache, the label
// font, metrics, and measuring and drawing text through cairo's FreeType backend.
//
// A font is a cairo scaled font over one font file. CreateFont composes the face name
// ("Face", then " Bold", then " Italic"), looks it up in the name cache, and on a miss resolves
// it to the PostScript name of an installed font: an exact PostScript or full name first, then
// fontconfig's best match for the family with the weight and slant the suffixes ask for (a
// well-known face that is not installed also asks for its generic family, so "Monaco" becomes
// a monospace face). The font file with that PostScript name is loaded at the requested size;
// if none is found the label font (fontconfig's "sans-serif") stands in.
//
// All measurement uses unhinted, fractional advances, so widths do not depend on the hinting.
#include "platform/linux/swell-internal.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>
#include <string>
#include <utility>
#include <vector>

namespace detail
{
bool IsValidUtf8(const char* s, size_t n)
{
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  size_t i = 0;
  while (i < n)
  {
    const unsigned c = p[i];
    if (c < 0x80)
    {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF)
      len = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
      len = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4)
      len = 4, cp = c & 0x07;
    else
      return false;
    if (len > n - i) return false;
    for (size_t k = 1; k < len; ++k)
    {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    if ((cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) return false;
    i += len;
  }
  return true;
}
} // namespace detail

using namespace detail;

namespace
{
constexpr size_t kMaxFaceBytes = 899;
constexpr size_t kMaxTextBytes = 4095;
constexpr int kLabelSize = 10;

// ---- Process-wide font state -------------------------------------------------------------
// One mutex guards the name cache and the label font. Like the record pools, this state
// survives static destruction: after the cleanup below, lookups resolve without caching.

struct NameEntry
{
  std::string mComposed, mResolved;
};

constinit std::mutex gFontMutex;
// fontconfig calls it thread-safe, yet the thread checker sees its lazily built tables
// published without synchronisation it can follow; lookups, face and font creation are rare,
// so they are simply serialised. Taken after gFontMutex where both are held, never before.
constinit std::mutex gFcMutex;
constinit std::vector<NameEntry>* gNames = nullptr; // sorted by mComposed, bytewise
constinit bool gFontsClosed = false;
constinit cairo_font_face_t* gLabelFace = nullptr;
constinit cairo_scaled_font_t* gLabelFont = nullptr; // the label face at kLabelSize

struct FontCleanup
{
  ~FontCleanup()
  {
    std::lock_guard<std::mutex> lock(gFontMutex);
    gFontsClosed = true;
    delete gNames;
    gNames = nullptr;
    if (gLabelFont) cairo_scaled_font_destroy(gLabelFont);
    if (gLabelFace) cairo_font_face_destroy(gLabelFace);
    gLabelFont = nullptr;
    gLabelFace = nullptr;
    // fontconfig and cairo stay initialised: other code in the host process shares them.
  }
} gFontCleanup;

std::vector<NameEntry>::iterator FindName(std::vector<NameEntry>& names, const std::string& key)
{
  return std::lower_bound(names.begin(), names.end(), key,
                          [](const NameEntry& e, const std::string& k) { return e.mComposed < k; });
}

// ---- fontconfig lookups --------------------------------------------------------------------

std::string PostScriptName(FcPattern* font)
{
  FcChar8* ps = nullptr;
  if (FcPatternGetString(font, FC_POSTSCRIPT_NAME, 0, &ps) == FcResultMatch && ps)
    return reinterpret_cast<const char*>(ps);
  return {};
}

// The PostScript name of an installed font whose `object` (PostScript or full name) is `name`.
std::string ListedPostScriptName(const char* object, const char* name)
{
  std::string result;
  FcPattern* pat = FcPatternCreate();
  FcObjectSet* os = FcObjectSetBuild(FC_POSTSCRIPT_NAME, nullptr);
  if (pat && os && FcPatternAddString(pat, object, reinterpret_cast<const FcChar8*>(name)))
  {
    if (FcFontSet* fs = FcFontList(nullptr, pat, os))
    {
      for (int i = 0; i < fs->nfont && result.empty(); ++i) result = PostScriptName(fs->fonts[i]);
      FcFontSetDestroy(fs);
    }
  }
  if (os) FcObjectSetDestroy(os);
  if (pat) FcPatternDestroy(pat);
  return result;
}

// Faces a score of programs ask for by name, with the generic family that stands in for them
// where they are not installed.
const char* GenericFamily(const std::string& family)
{
  static const char* const kTable[][2] = {
      {"Monaco", "monospace"},
      {"Menlo", "monospace"},
      {"Courier", "monospace"},
      {"Courier New", "monospace"},
      {"Andale Mono", "monospace"},
      {"Consolas", "monospace"},
      {"Lucida Console", "monospace"},
      {"Helvetica", "sans-serif"},
      {"Helvetica Neue", "sans-serif"},
      {"Lucida Grande", "sans-serif"},
      {"Geneva", "sans-serif"},
      {"Arial", "sans-serif"},
      {"Verdana", "sans-serif"},
      {"Tahoma", "sans-serif"},
      {"Times", "serif"},
      {"Times New Roman", "serif"},
      {"Georgia", "serif"},
  };
  for (const auto& e : kTable)
    if (strcasecmp(e[0], family.c_str()) == 0) return e[1];
  return nullptr;
}

bool StripSuffix(std::string& s, const char* suffix)
{
  const size_t n = std::strlen(suffix);
  if (s.size() < n || s.compare(s.size() - n, n, suffix) != 0) return false;
  s.resize(s.size() - n);
  return true;
}

// fontconfig's best match for a family (empty: the default) at a weight and slant.
std::string MatchedPostScriptName(const std::string& family, bool bold, bool italic)
{
  std::string result;
  FcPattern* pat = FcPatternCreate();
  if (!pat) return result;
  if (!family.empty())
  {
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (const char* generic = GenericFamily(family))
      FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic));
  }
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res = FcResultNoMatch;
  if (FcPattern* font = FcFontMatch(nullptr, pat, &res))
  {
    result = PostScriptName(font);
    FcPatternDestroy(font);
  }
  FcPatternDestroy(pat);
  return result;
}

std::string Resolve(const std::string& composed)
{
  std::lock_guard<std::mutex> lock(gFcMutex);
  if (!composed.empty())
  {
    std::string ps = ListedPostScriptName(FC_POSTSCRIPT_NAME, composed.c_str());
    if (ps.empty()) ps = ListedPostScriptName(FC_FULLNAME, composed.c_str());
    if (!ps.empty()) return ps;
  }
  std::string family = composed;
  const bool italic = StripSuffix(family, " Italic");
  const bool bold = StripSuffix(family, " Bold");
  std::string ps = MatchedPostScriptName(family, bold, italic);
  return ps.empty() ? composed : ps;
}

// A face over one font file, free of fontconfig's rendering preferences, so that the
// context's font options alone decide how glyphs are drawn.
cairo_font_face_t* FaceForFile(const FcChar8* file, int index)
{
  FcPattern* pat = FcPatternCreate();
  if (!pat) return nullptr;
  FcPatternAddString(pat, FC_FILE, file);
  FcPatternAddInteger(pat, FC_INDEX, index);
  cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(pat);
  FcPatternDestroy(pat);
  if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS)
  {
    cairo_font_face_destroy(face);
    return nullptr;
  }
  return face;
}

cairo_font_face_t* FaceFromFont(FcPattern* font)
{
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) return nullptr;
  FcPatternGetInteger(font, FC_INDEX, 0, &index);
  return FaceForFile(file, index);
}

cairo_font_face_t* FaceForPostScriptName(const std::string& name)
{
  std::lock_guard<std::mutex> lock(gFcMutex);
  cairo_font_face_t* face = nullptr;
  FcPattern* pat = FcPatternCreate();
  FcObjectSet* os = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
  if (pat && os &&
      FcPatternAddString(pat, FC_POSTSCRIPT_NAME, reinterpret_cast<const FcChar8*>(name.c_str())))
  {
    if (FcFontSet* fs = FcFontList(nullptr, pat, os))
    {
      for (int i = 0; i < fs->nfont && !face; ++i) face = FaceFromFont(fs->fonts[i]);
      FcFontSetDestroy(fs);
    }
  }
  if (os) FcObjectSetDestroy(os);
  if (pat) FcPatternDestroy(pat);
  return face;
}

cairo_font_face_t* MakeLabelFace()
{
  std::lock_guard<std::mutex> lock(gFcMutex);
  cairo_font_face_t* face = nullptr;
  FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
  if (!pat) return nullptr;
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res = FcResultNoMatch;
  if (FcPattern* font = FcFontMatch(nullptr, pat, &res))
  {
    face = FaceFromFont(font);
    FcPatternDestroy(font);
  }
  FcPatternDestroy(pat);
  return face;
}

cairo_scaled_font_t* MakeScaledFont(cairo_font_face_t* face, int size, int smoothing)
{
  if (!face) return nullptr;
  std::lock_guard<std::mutex> lock(gFcMutex);
  cairo_matrix_t fm, ctm;
  cairo_matrix_init_scale(&fm, size, size);
  cairo_matrix_init_identity(&ctm);
  cairo_font_options_t* opt = cairo_font_options_create();
  cairo_font_options_set_antialias(opt, smoothing == NONANTIALIASED_QUALITY ? CAIRO_ANTIALIAS_NONE
                                                                            : CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(opt, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(opt, CAIRO_HINT_METRICS_OFF);
  cairo_scaled_font_t* sf = cairo_scaled_font_create(face, &fm, &ctm, opt);
  cairo_font_options_destroy(opt);
  if (cairo_scaled_font_status(sf) != CAIRO_STATUS_SUCCESS)
  {
    cairo_scaled_font_destroy(sf);
    return nullptr;
  }
  return sf;
}

// The label face, referenced for the caller (null when no font can be loaded at all).
cairo_font_face_t* LabelFace()
{
  std::lock_guard<std::mutex> lock(gFontMutex);
  if (!gLabelFace) gLabelFace = MakeLabelFace();
  return gLabelFace ? cairo_font_face_reference(gLabelFace) : nullptr;
}

// The label font at size 10, shared by every context without a font (not referenced: it
// lives until unload).
cairo_scaled_font_t* LabelFont()
{
  {
    std::lock_guard<std::mutex> lock(gFontMutex);
    if (gLabelFont) return gLabelFont;
  }
  cairo_font_face_t* face = LabelFace();
  std::lock_guard<std::mutex> lock(gFontMutex);
  if (!gLabelFont && face) gLabelFont = MakeScaledFont(face, kLabelSize, DEFAULT_QUALITY);
  if (face) cairo_font_face_destroy(face);
  return gLabelFont;
}

cairo_scaled_font_t* FontOf(HDC__* ctx)
{
  HGDIOBJ__* font = Object(ctx->mFont);
  if (font && font->mKind == kFont && font->mFont) return font->mFont;
  return LabelFont();
}

struct LineMetrics
{
  double mAscent, mDescent, mLeading;
};

LineMetrics MetricsOf(cairo_scaled_font_t* sf)
{
  cairo_font_extents_t fe;
  cairo_scaled_font_extents(sf, &fe);
  // cairo's height is the baseline-to-baseline distance: ascent + descent + line gap.
  return {fe.ascent, fe.descent, std::max(0.0, fe.height - fe.ascent - fe.descent)};
}

// ---- Text preparation --------------------------------------------------------------------

// Copies the text as drawn: carriage returns dropped, '&' escaping the next character unless
// flagged otherwise, line feeds turned into spaces for single-line text. Stops at a NUL, after
// len bytes, or when kMaxTextBytes are written (then without a partial UTF-8 sequence at the
// end). Returns the number of bytes written; out holds kMaxTextBytes + 1.
size_t PrepareText(const char* text, int len, int flags, char* out)
{
  const size_t avail = len < 0 ? SIZE_MAX : size_t(len);
  size_t n = 0;
  bool escaped = false;
  for (size_t i = 0; i < avail && text[i] && n < kMaxTextBytes; ++i)
  {
    char c = text[i];
    if (c == '\r') continue;
    if (c == '&' && !escaped && !(flags & LICE_TEXT_NOPREFIX))
    {
      escaped = true;
      continue;
    }
    escaped = false;
    if (c == '\n' && (flags & LICE_TEXT_SINGLELINE)) c = ' ';
    out[n++] = c;
  }
  if (n == kMaxTextBytes)
  {
    // Drop a sequence cut short by the limit: its lead byte is among the last three bytes.
    for (size_t k = 1; k <= 3 && k <= n; ++k)
    {
      const auto b = static_cast<unsigned char>(out[n - k]);
      if ((b & 0xC0) == 0x80) continue;
      const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
      if (need > k) n -= k;
      break;
    }
  }
  out[n] = 0;
  return n;
}

// Text that is not UTF-8 is taken as Latin-1, which always converts. out holds 2n + 1 bytes.
const char* AsUtf8(const char* in, size_t n, char* out)
{
  if (IsValidUtf8(in, n)) return in;
  size_t k = 0;
  for (size_t i = 0; i < n; ++i)
  {
    const auto c = static_cast<unsigned char>(in[i]);
    if (c < 0x80)
      out[k++] = char(c);
    else
    {
      out[k++] = char(0xC0 | (c >> 6));
      out[k++] = char(0x80 | (c & 0x3F));
    }
  }
  out[k] = 0;
  return out;
}

int Clamp32(int64_t v)
{
  return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}
} // namespace

namespace detail
{
void ReleaseFont(HGDIOBJ__* obj)
{
  std::lock_guard<std::mutex> lock(gFcMutex);
  if (obj->mFont) cairo_scaled_font_destroy(obj->mFont);
  obj->mFont = nullptr;
}

std::string ResolvedFontName(const char* composed)
{
  const std::string key = composed ? composed : "";
  {
    std::lock_guard<std::mutex> lock(gFontMutex);
    if (gNames)
    {
      auto it = FindName(*gNames, key);
      if (it != gNames->end() && it->mComposed == key) return it->mResolved;
    }
  }
  // Resolve outside the lock: fontconfig may take a while, and other threads only need the
  // lock for the cache itself. Two threads resolving the same name agree; the first stays.
  std::string resolved = Resolve(key);
  std::lock_guard<std::mutex> lock(gFontMutex);
  if (gFontsClosed) return resolved;
  if (!gNames) gNames = new std::vector<NameEntry>();
  auto it = FindName(*gNames, key);
  if (it != gNames->end() && it->mComposed == key) return it->mResolved;
  gNames->insert(it, NameEntry{key, resolved});
  return resolved;
}

size_t FontNameCacheSize()
{
  std::lock_guard<std::mutex> lock(gFontMutex);
  return gNames ? gNames->size() : 0;
}
} // namespace detail

HFONT CreateFont(int height, int width, int, int orientation, int weight, char italic, char, char,
                 char, char, char, char quality, char, const char* face)
{
  const int64_t want = height ? std::llabs(int64_t(height)) : std::llabs(int64_t(width));
  const int size = want > 8192 || want < 2 ? kLabelSize : int(want);
  const int smoothing = quality == NONANTIALIASED_QUALITY || quality == ANTIALIASED_QUALITY
                            ? quality
                            : DEFAULT_QUALITY;

  // The composed name, made valid UTF-8 so that fontconfig compares it sensibly.
  char composed[kMaxFaceBytes + sizeof(" Bold Italic")];
  size_t n = face ? strnlen(face, kMaxFaceBytes) : 0;
  std::memcpy(composed, face ? face : "", n);
  composed[n] = 0;
  if (weight >= FW_BOLD) std::strcat(composed + n, " Bold");
  if (italic) std::strcat(composed + n, " Italic");
  char utf8[2 * sizeof(composed) + 1];
  const std::string name = ResolvedFontName(AsUtf8(composed, std::strlen(composed), utf8));

  cairo_scaled_font_t* sf = nullptr;
  if (cairo_font_face_t* ff = FaceForPostScriptName(name))
  {
    sf = MakeScaledFont(ff, size, smoothing);
    cairo_font_face_destroy(ff);
  }
  if (!sf)
  {
    cairo_font_face_t* label = LabelFace();
    sf = MakeScaledFont(label, size, smoothing);
    if (label) cairo_font_face_destroy(label);
  }
  if (!sf) return nullptr;
  HGDIOBJ__* obj = AllocObject();
  if (!obj)
  {
    cairo_scaled_font_destroy(sf);
    return nullptr;
  }
  obj->mKind = kFont;
  obj->mFont = sf;
  obj->mAngle = float(orientation) / 10.f;
  obj->mSmoothing = static_cast<unsigned char>(smoothing);
  return obj;
}

HFONT CreateFontIndirect(const LOGFONT* lf)
{
  if (!lf) return nullptr;
  char face[sizeof(lf->lfFaceName) + 1];
  std::memcpy(face, lf->lfFaceName, sizeof(lf->lfFaceName));
  face[sizeof(lf->lfFaceName)] = 0; // the field need not be terminated
  return CreateFont(lf->lfHeight, lf->lfWidth, lf->lfEscapement, lf->lfOrientation, lf->lfWeight,
                    lf->lfItalic, 0, 0, 0, 0, 0, lf->lfQuality, 0, face);
}

int GetTextMetrics(HDC h, TEXTMETRIC* tm)
{
  if (tm) *tm = TEXTMETRIC{16, 12, 4, 3, 10};
  HDC__* ctx = Context(h);
  if (!ctx) return 0;
  cairo_scaled_font_t* sf = FontOf(ctx);
  if (!tm || !sf) return 1;
  const LineMetrics m = MetricsOf(sf);
  tm->tmAscent = int(m.mAscent);
  tm->tmDescent = int(m.mDescent);
  tm->tmInternalLeading = int(m.mLeading);
  const int s = tm->tmAscent + tm->tmDescent + tm->tmInternalLeading;
  tm->tmHeight = s ? s + 1 : 0;
  tm->tmAveCharWidth = s * 2 / 3;
  return 1;
}

int GetTextFace(HDC h, int size, char* out)
{
  HDC__* ctx = Context(h);
  if (!ctx || !out || size <= 0) return 0;
  out[0] = 0;
  cairo_scaled_font_t* sf = FontOf(ctx);
  if (!sf || cairo_scaled_font_get_type(sf) != CAIRO_FONT_TYPE_FT) return 0;
  size_t n = 0;
  if (FT_Face face = cairo_ft_scaled_font_lock_face(sf))
  {
    if (const char* ps = FT_Get_Postscript_Name(face))
    {
      n = std::min(std::strlen(ps), size_t(size - 1));
      std::memcpy(out, ps, n);
      out[n] = 0;
    }
    cairo_ft_scaled_font_unlock_face(sf);
  }
  return int(n);
}

int SWELL_DrawText(HDC h, const char* text, int len, RECT* r, int flags)
{
  HDC__* ctx = Context(h);
  if (!ctx || !text) return 0;

  char prepared[kMaxTextBytes + 1];
  const size_t n = PrepareText(text, len, flags, prepared);
  if (!n) return 0;
  char converted[2 * kMaxTextBytes + 1];
  char* utf8 = const_cast<char*>(AsUtf8(prepared, n, converted));
  const size_t bytes = utf8 == prepared ? n : std::strlen(utf8);

  cairo_scaled_font_t* sf = FontOf(ctx);
  if (!sf) return 0;
  const LineMetrics m = MetricsOf(sf);
  const double box = m.mAscent + m.mDescent + m.mLeading;
  const int lineHeight = int(std::floor(box + 1.5));

  // Lines become NUL-terminated segments; a final line feed ends the last line rather than
  // starting an empty one. Single-line text has no line feeds left.
  int lines = 1;
  for (size_t i = 0; i < bytes; ++i)
    if (utf8[i] == '\n')
    {
      utf8[i] = 0;
      if (i + 1 < bytes) ++lines;
    }
  auto lineWidth = [&](const char* seg)
  {
    if (!*seg) return 0;
    cairo_text_extents_t te;
    cairo_scaled_font_text_extents(sf, seg, &te);
    return int(std::floor(te.x_advance + 0.5));
  };
  int width = 0;
  const char* seg = utf8;
  for (int i = 0; i < lines; ++i, seg += std::strlen(seg) + 1)
    width = std::max(width, lineWidth(seg));
  int height = lines * lineHeight;
  if (height) ++height;

  RECT none{};
  if (!r) r = &none;
  if (flags & LICE_TEXT_CALCRECT)
  {
    r->right = Clamp32(int64_t(r->left) + width);
    r->bottom = Clamp32(int64_t(r->top) + height);
    return height;
  }

  int64_t x = r->left, y = r->top;
  const int64_t rw = int64_t(r->right) - r->left, rh = int64_t(r->bottom) - r->top;
  if (flags & LICE_TEXT_RIGHT)
    x += rw - width;
  else if (flags & LICE_TEXT_HCENTER)
    x += rw / 2 - width / 2;
  if (flags & LICE_TEXT_BOTTOM)
    y += rh - height;
  else if (flags & LICE_TEXT_VCENTER)
    y += rh / 2 - height / 2;

  cairo_t* cr = ctx->mCtx;
  cairo_surface_mark_dirty(ctx->mSurface);
  cairo_save(cr);
  cairo_new_path(cr);
  if (!(flags & LICE_TEXT_NOCLIP))
  {
    const auto lim = [](int64_t v) { return double(std::clamp<int64_t>(v, -(1 << 20), 1 << 20)); };
    cairo_rectangle(cr, lim(r->left), lim(r->top), std::max(0.0, lim(r->right) - lim(r->left)),
                    std::max(0.0, lim(r->bottom) - lim(r->top)));
    cairo_clip(cr);
  }
  cairo_set_scaled_font(cr, sf);
  seg = utf8;
  for (int i = 0; i < lines; ++i, seg += std::strlen(seg) + 1)
  {
    const double top = double(y) + double(i) * lineHeight;
    const int w = lineWidth(seg);
    // Lines wholly off the surface are skipped: cairo's fixed-point coordinates would wrap
    // long before such positions.
    if (double(x) >= ctx->mWidth || double(x) + w <= 0 || top >= ctx->mHeight ||
        top + lineHeight <= 0)
      continue;
    if (ctx->mBkMode == SWELL_BKMODE_OPAQUE && w > 0)
    {
      const int bk = ctx->mBkColor;
      cairo_set_source_rgb(cr, ((bk >> 16) & 0xFF) / 255.0, ((bk >> 8) & 0xFF) / 255.0,
                           (bk & 0xFF) / 255.0);
      cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
      cairo_rectangle(cr, double(x), top, w, box);
      cairo_fill(cr);
      cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    }
    if (*seg)
    {
      cairo_set_source(cr, ctx->mTextPattern);
      cairo_move_to(cr, double(x), top + m.mAscent);
      cairo_show_text(cr, seg);
      cairo_new_path(cr);
    }
  }
  cairo_restore(cr);
  RepairContext(ctx);
  cairo_surface_flush(ctx->mSurface);
  return height;
}

int AddFontResourceEx(const char* path, int flags, void*)
{
  if (!path || !(flags & SWELL_FONT_FOR_PROCESS)) return 0;
  std::lock_guard<std::mutex> lock(gFcMutex);
  return FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(path)) ? 1 : 0;
}

#if defined(__SANITIZE_ADDRESS__)
// fontconfig loses a few hundred bytes while parsing its configuration, once per process.
// Sanitizer builds record only the innermost frames of an allocation, which lie inside
// fontconfig, so the leak checker is told to excuse what fontconfig itself allocates.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
  return "leak:libfontconfig.so\n";
}
#endif
