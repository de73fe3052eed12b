// Value prompts of the X11 editor host, drawn by the editor itself with the raster library:
// the text field over a control and the modal popup menu. Both run on the editor thread.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "framework/IParam.h"
#include "graphics/IControl.h"
#include "graphics/IPopupMenu.h"
#include "platform/linux/IGraphicsLinux.h"
#include "platform/linux/IGraphicsLinuxSession.h"
#include "raster/lice.h"
#include "raster/lice_lines.h"
#include "raster/lice_text.h"

namespace x11editor
{
namespace
{
constexpr unsigned int kTextFlags = LICE_TEXT_SINGLELINE | LICE_TEXT_NOPREFIX;

int TextWidth(LICE_CachedFont* font, const char* text, int len)
{
  if (!font || len == 0) return 0;
  RECT r = {0, 0, 0, 0};
  font->DrawText(nullptr, text, len, &r, kTextFlags | LICE_TEXT_CALCRECT);
  return r.right - r.left;
}

void AppendUTF8(std::string* s, unsigned int cp)
{
  if (cp < 0x80)
    s->push_back((char)cp);
  else if (cp < 0x800)
  {
    s->push_back((char)(0xC0 | (cp >> 6)));
    s->push_back((char)(0x80 | (cp & 0x3F)));
  }
  else if (cp < 0x10000)
  {
    s->push_back((char)(0xE0 | (cp >> 12)));
    s->push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
    s->push_back((char)(0x80 | (cp & 0x3F)));
  }
  else if (cp < 0x110000)
  {
    s->push_back((char)(0xF0 | (cp >> 18)));
    s->push_back((char)(0x80 | ((cp >> 12) & 0x3F)));
    s->push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
    s->push_back((char)(0x80 | (cp & 0x3F)));
  }
}

int CountChars(const std::string& s)
{
  int n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

size_t PrevChar(const std::string& s, size_t pos)
{
  if (pos == 0) return 0;
  --pos;
  while (pos > 0 && ((unsigned char)s[pos] & 0xC0) == 0x80) --pos;
  return pos;
}

size_t NextChar(const std::string& s, size_t pos)
{
  if (pos >= s.size()) return s.size();
  ++pos;
  while (pos < s.size() && ((unsigned char)s[pos] & 0xC0) == 0x80) ++pos;
  return pos;
}

// The character a key types, 0 for none.
unsigned int KeyChar(xcb_keysym_t sym)
{
  if ((sym >= 0x20 && sym <= 0x7e) || (sym >= 0xa0 && sym <= 0xff)) return sym;
  if ((sym & 0xff000000u) == 0x01000000u) return sym & 0x00ffffffu;
  if (sym >= 0xffb0 && sym <= 0xffb9) return '0' + (sym - 0xffb0);
  switch (sym)
  {
  case 0xffae:
    return '.';
  case 0xffad:
    return '-';
  case 0xffab:
    return '+';
  case 0xffaa:
    return '*';
  case 0xffaf:
    return '/';
  default:
    return 0;
  }
}

// Whether text passes the field's character filter and length limit.
bool Acceptable(const TextEntry& e, const std::string& text)
{
  if (e.mMaxChars > 0 && CountChars(text) > e.mMaxChars) return false;
  if (!e.mFiltered) return true;
  for (char c : text)
    if (e.mAccept.find(c) == std::string::npos) return false;
  return true;
}

constexpr int kMaxUnfilteredChars = 1024;
} // namespace

// ---- Text entry ------------------------------------------------------------------------------

void Session::OpenEntry(IControl* pControl, const IText* pText, const IRECT& r, const char* str,
                        IParam* pParam)
{
  if (mEntry || !mConn || !mWindow) return;
  IRECT field = r.Intersect(IRECT(0, 0, mW, mH));
  if (field.W() < 1 || field.H() < 1) return;

  auto e = std::make_unique<TextEntry>();
  e->mRect = field;
  e->mControl = pControl;
  e->mParam = pParam;
  if (pText) e->mStyle = *pText;
  e->mStyle.mSize = (int)((float)mOwner->ToPhysical(e->mStyle.mSize) * 0.9f);
  e->mStyle.mCached = nullptr;
  e->mText = str ? str : "";
  e->mCaret = e->mText.size();
  if (pParam)
  {
    e->mFiltered = true;
    switch (pParam->Type())
    {
    case IParam::kTypeBool:
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
      e->mAccept = "0123456789-+";
      break;
    case IParam::kTypeDouble:
      e->mAccept = "0123456789.-+";
      break;
    default:
      break; // nothing can be typed for a parameter without a kind
    }
    e->mMaxChars = pControl->GetTextEntryLength();
  }
  else
    e->mMaxChars = kMaxUnfilteredChars;
  e->mBitmap = std::make_unique<LICE_MemBitmap>(field.W(), field.H());

  e->mWindow = xcb_generate_id(mConn);
  const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, XCB_EVENT_MASK_EXPOSURE, mColormap};
  xcb_create_window(
      mConn, 24, e->mWindow, mWindow, (int16_t)field.mL, (int16_t)field.mT, (uint16_t)field.W(),
      (uint16_t)field.H(), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, mVisual,
      XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values);
  xcb_map_window(mConn, e->mWindow);
  // Typing goes to the editor window; the field sits in it.
  xcb_set_input_focus(mConn, XCB_INPUT_FOCUS_PARENT, mWindow, XCB_CURRENT_TIME);
  mEntry = std::move(e);
  mEntrySelectAll = true;
  mHaveLastPress = false;
  DrawEntry();
  // Open once the server has the focus change: keys typed from now on reach the field.
  free(xcb_get_input_focus_reply(mConn, xcb_get_input_focus(mConn), nullptr));
  mOwner->mEntryOpen.store(true);
}

void Session::CloseEntry(bool commit)
{
  if (!mEntry) return;
  std::unique_ptr<TextEntry> e = std::move(mEntry);
  mOwner->mEntryOpen.store(false);
  if (mConn && e->mWindow) xcb_destroy_window(mConn, e->mWindow);
  mFullRedraw = true;
  if (!commit) return;
  if (e->mParam)
    mOwner->SetFromStringAfterPrompt(e->mControl, e->mParam, e->mText.c_str());
  else if (e->mControl)
    e->mControl->TextFromTextEntry(e->mText.c_str());
}

void Session::DrawEntry()
{
  if (!mEntry || !mConn) return;
  TextEntry& e = *mEntry;
  LICE_MemBitmap* bmp = e.mBitmap.get();
  const int w = bmp->getWidth(), h = bmp->getHeight();
  {
    std::lock_guard<std::mutex> lock(DrawMutex());
    LICE_FillRect(bmp, 0, 0, w, h, e.mStyle.mTextEntryBGColor.Pixel() | 0xff000000u, 1.0f,
                  LICE_COMBINE_COPY);
    LICE_CachedFont* font = mOwner->CacheFont(&e.mStyle);
    const int len = (int)e.mText.size();
    const int textW = TextWidth(font, e.mText.c_str(), len);
    int x0 = 2;
    if (e.mStyle.mAlign == IText::kAlignCenter)
      x0 = (w - textW) / 2;
    else if (e.mStyle.mAlign == IText::kAlignFar)
      x0 = w - 2 - textW;
    if (x0 + textW > w - 2) x0 = w - 2 - textW; // keep the end (and caret) in view
    if (x0 < 2 && textW <= w - 4) x0 = 2;
    const LICE_pixel fg = e.mStyle.mTextEntryFGColor.Pixel() | 0xff000000u;
    if (mEntrySelectAll && len > 0)
      LICE_FillRect(bmp, x0, 2, textW, h - 4, LICE_RGBA(0x99, 0xC8, 0xFF, 0xFF), 1.0f,
                    LICE_COMBINE_COPY);
    if (font)
    {
      font->SetTextColor(fg);
      font->SetBkMode(0);
      RECT r = {x0, 0, x0 + textW + 8, h};
      font->DrawText(bmp, e.mText.c_str(), len, &r, kTextFlags | LICE_TEXT_VCENTER);
    }
    const int caretX = x0 + TextWidth(font, e.mText.c_str(), (int)e.mCaret);
    if (!mEntrySelectAll)
      LICE_Line(bmp, caretX, 2, caretX, h - 3, fg, 1.0f, LICE_COMBINE_COPY, false);
  }
  PutImage(e.mWindow, bmp, 0, 0, w, h, 0, 0);
  xcb_flush(mConn);
}

bool Session::EntryKey(xcb_keysym_t sym, uint16_t state)
{
  if (!mEntry) return false;
  TextEntry& e = *mEntry;
  const bool ctrl = (state & XCB_MOD_MASK_CONTROL) != 0;
  std::string text = e.mText;
  size_t caret = e.mCaret;
  bool selectAll = mEntrySelectAll;
  switch (sym)
  {
  case 0xff1b: // Escape
    CloseEntry(false);
    return true;
  case 0xff0d: // Return
  case 0xff8d: // KP_Enter
    CloseEntry(true);
    return true;
  case 0xff08: // BackSpace
    if (selectAll)
      text.clear(), caret = 0;
    else if (caret > 0)
    {
      const size_t p = PrevChar(text, caret);
      text.erase(p, caret - p);
      caret = p;
    }
    selectAll = false;
    break;
  case 0xffff: // Delete
    if (selectAll)
      text.clear(), caret = 0;
    else if (caret < text.size())
      text.erase(caret, NextChar(text, caret) - caret);
    selectAll = false;
    break;
  case 0xff51: // Left
    caret = selectAll ? 0 : PrevChar(text, caret);
    selectAll = false;
    break;
  case 0xff53: // Right
    caret = selectAll ? text.size() : NextChar(text, caret);
    selectAll = false;
    break;
  case 0xff50: // Home
    caret = 0;
    selectAll = false;
    break;
  case 0xff57: // End
    caret = text.size();
    selectAll = false;
    break;
  default:
  {
    std::string typed;
    if (ctrl && (sym == 'a' || sym == 'A'))
    {
      selectAll = true;
      break;
    }
    if (ctrl && (sym == 'v' || sym == 'V'))
    {
      std::string clip;
      if (!ReadClipboard(&clip)) return true;
      for (char c : clip)
        if (c != '\n' && c != '\r' && c != '\t') typed.push_back(c);
    }
    else if (!ctrl && !(state & XCB_MOD_MASK_1))
    {
      const unsigned int cp = KeyChar(sym);
      if (!cp) return true;
      AppendUTF8(&typed, cp);
    }
    if (typed.empty()) return true;
    if (selectAll)
    {
      text.clear();
      caret = 0;
    }
    text.insert(caret, typed);
    caret += typed.size();
    if (!Acceptable(e, text)) return true; // refused: nothing changes
    selectAll = false;
    break;
  }
  }
  e.mText = text;
  e.mCaret = caret;
  mEntrySelectAll = selectAll;
  DrawEntry();
  return true;
}

// ---- Popup menu ------------------------------------------------------------------------------

namespace
{
constexpr int kMenuPad = 3;
constexpr int kMenuGutterL = 20;
constexpr int kMenuGutterR = 22;
constexpr int kMenuIndent = 12;
constexpr int kSeparatorH = 7;
constexpr LICE_pixel kMenuBG = LICE_RGBA(0xF2, 0xF2, 0xF2, 0xFF);
constexpr LICE_pixel kMenuFrame = LICE_RGBA(0x80, 0x80, 0x80, 0xFF);
constexpr LICE_pixel kMenuText = LICE_RGBA(0x10, 0x10, 0x10, 0xFF);
constexpr LICE_pixel kMenuGrey = LICE_RGBA(0xA0, 0xA0, 0xA0, 0xFF);
constexpr LICE_pixel kMenuHot = LICE_RGBA(0x38, 0x75, 0xD7, 0xFF);
constexpr LICE_pixel kMenuHotText = LICE_RGBA(0xFF, 0xFF, 0xFF, 0xFF);

struct MenuLevel
{
  IPopupMenu* mMenu = nullptr;
  xcb_window_t mWindow = 0;
  int mX = 0, mY = 0, mW = 0, mH = 0; // root coordinates
  std::vector<int> mTop, mHeight;     // per item
  std::vector<std::string> mText;
  int mHot = -1;
  std::unique_ptr<LICE_MemBitmap> mBitmap;

  bool Contains(int rx, int ry) const
  {
    return rx >= mX && rx < mX + mW && ry >= mY && ry < mY + mH;
  }
  int ItemAt(int rx, int ry) const
  {
    if (!Contains(rx, ry)) return -1;
    for (size_t i = 0; i < mTop.size(); ++i)
      if (ry - mY >= mTop[i] && ry - mY < mTop[i] + mHeight[i]) return (int)i;
    return -1;
  }
  bool Choosable(int i) const
  {
    const IPopupMenuItem* it = mMenu->GetItem(i);
    return it && it->GetEnabled() && !it->GetIsSeparator();
  }
};

// Laid out in the editor's units and drawn at its size, like the editor itself.
struct MenuRun
{
  explicit MenuRun(Session* s)
      : mS(s), mFont{K(13), &COLOR_BLACK, "Sans", IText::kStyleNormal, IText::kAlignNear}
  {
  }
  Session* mS;
  IText mFont;
  std::vector<std::unique_ptr<MenuLevel>> mLevels;

  int K(int v) const { return mS->mOwner->ToPhysical(v); }

  LICE_CachedFont* Font() { return mS->mOwner->CacheFont(&mFont); }

  // Lays out and shows pMenu with its top-left near (rx, ry); flipX/flipY give the edge to
  // use when it does not fit (a submenu opens to the left of its parent then).
  void Push(IPopupMenu* pMenu, int rx, int ry, int altRightEdge, int altBottomEdge)
  {
    auto lv = std::make_unique<MenuLevel>();
    lv->mMenu = pMenu;
    int y = K(kMenuPad), width = K(80);
    {
      std::lock_guard<std::mutex> lock(DrawMutex());
      LICE_CachedFont* font = Font();
      const int lineH = std::max(K(18), (font ? font->GetLineHeight() : K(13)) + K(6));
      for (int i = 0, n = pMenu->GetNItems(); i < n; ++i)
      {
        const IPopupMenuItem* it = pMenu->GetItem(i);
        std::string text;
        if (pMenu->GetPrefix() > 0)
        {
          static const char* const kFormats[] = {"", "%1d: ", "%02d: ", "%03d: "};
          char prefix[16];
          std::snprintf(prefix, sizeof prefix, kFormats[pMenu->GetPrefix()], i + 1);
          text = prefix;
        }
        text += it->GetText();
        const int h = it->GetIsSeparator() ? K(kSeparatorH) : lineH;
        lv->mTop.push_back(y);
        lv->mHeight.push_back(h);
        y += h;
        const int indent = it->GetIsTitle() ? K(kMenuIndent) : 0;
        if (!it->GetIsSeparator())
          width = std::max(width, K(kMenuGutterL) + indent + TextWidth(font, text.c_str(), -1) +
                                      K(kMenuGutterR));
        lv->mText.push_back(std::move(text));
      }
    }
    lv->mW = width;
    lv->mH = y + K(kMenuPad);
    const int screenW = mS->mScreen->width_in_pixels, screenH = mS->mScreen->height_in_pixels;
    lv->mX = rx + lv->mW > screenW ? altRightEdge - lv->mW : rx;
    lv->mY = ry + lv->mH > screenH ? altBottomEdge - lv->mH : ry;
    lv->mX = std::max(0, std::min(lv->mX, screenW - lv->mW));
    lv->mY = std::max(0, std::min(lv->mY, screenH - lv->mH));
    lv->mBitmap = std::make_unique<LICE_MemBitmap>(lv->mW, lv->mH);

    xcb_connection_t* c = mS->mConn;
    lv->mWindow = xcb_generate_id(c);
    const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, 1,
                               XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                   XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                   XCB_EVENT_MASK_KEY_PRESS,
                               mS->mColormap};
    xcb_create_window(c, 24, lv->mWindow, mS->mScreen->root, (int16_t)lv->mX, (int16_t)lv->mY,
                      (uint16_t)lv->mW, (uint16_t)lv->mH, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      mS->mVisual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT |
                          XCB_CW_EVENT_MASK | XCB_CW_COLORMAP,
                      values);
    xcb_map_window(c, lv->mWindow);
    mLevels.push_back(std::move(lv));
    Draw(*mLevels.back());
  }

  void PopTo(size_t depth)
  {
    while (mLevels.size() > depth)
    {
      if (mS->mConn) xcb_destroy_window(mS->mConn, mLevels.back()->mWindow);
      mLevels.pop_back();
    }
  }

  void Draw(MenuLevel& lv)
  {
    LICE_MemBitmap* bmp = lv.mBitmap.get();
    {
      std::lock_guard<std::mutex> lock(DrawMutex());
      LICE_FillRect(bmp, 0, 0, lv.mW, lv.mH, kMenuBG, 1.0f, LICE_COMBINE_COPY);
      LICE_DrawRect(bmp, 0, 0, lv.mW - 1, lv.mH - 1, kMenuFrame, 1.0f, LICE_COMBINE_COPY);
      LICE_CachedFont* font = Font();
      if (font) font->SetBkMode(0);
      for (size_t i = 0; i < lv.mTop.size(); ++i)
      {
        const IPopupMenuItem* it = lv.mMenu->GetItem((int)i);
        const int top = lv.mTop[i], h = lv.mHeight[i];
        if (it->GetIsSeparator())
        {
          LICE_Line(bmp, K(4), top + h / 2, lv.mW - K(5), top + h / 2, kMenuGrey, 1.0f,
                    LICE_COMBINE_COPY, false);
          continue;
        }
        const bool hot = (int)i == lv.mHot && it->GetEnabled();
        if (hot) LICE_FillRect(bmp, 1, top, lv.mW - 2, h, kMenuHot, 1.0f, LICE_COMBINE_COPY);
        const LICE_pixel ink = !it->GetEnabled() ? kMenuGrey : hot ? kMenuHotText : kMenuText;
        if (it->GetChecked()) // a tick in the left gutter
        {
          const int cy = top + h / 2;
          for (int d = 0; d <= K(1); ++d) // two strokes thick at 100 %, more when larger
          {
            LICE_Line(bmp, K(6), cy + d, K(9), cy + K(3) + d, ink, 1.0f, LICE_COMBINE_COPY, false);
            LICE_Line(bmp, K(9), cy + K(3) + d, K(14), cy - K(3) + d, ink, 1.0f, LICE_COMBINE_COPY,
                      false);
          }
        }
        if (it->GetSubmenu()) // an arrow in the right gutter
        {
          const int cy = top + h / 2, ax = lv.mW - K(14);
          LICE_FillTriangle(bmp, ax, cy - K(4), ax, cy + K(4), ax + K(4), cy, ink, 1.0f,
                            LICE_COMBINE_COPY);
        }
        if (font)
        {
          font->SetTextColor(ink);
          const int x = K(kMenuGutterL) + (it->GetIsTitle() ? K(kMenuIndent) : 0);
          RECT r = {x, top, lv.mW - K(kMenuGutterR) + K(16), top + h};
          font->DrawText(bmp, lv.mText[i].c_str(), -1, &r, kTextFlags | LICE_TEXT_VCENTER);
        }
      }
    }
    mS->PutImage(lv.mWindow, bmp, 0, 0, lv.mW, lv.mH, 0, 0);
  }

  // The deepest level containing the root point, or -1.
  int LevelAt(int rx, int ry) const
  {
    for (int i = (int)mLevels.size() - 1; i >= 0; --i)
      if (mLevels[i]->Contains(rx, ry)) return i;
    return -1;
  }

  void SetHot(size_t level, int item)
  {
    MenuLevel& lv = *mLevels[level];
    if (lv.mHot == item) return;
    lv.mHot = item;
    Draw(lv);
  }

  // Opens the submenu of the hot item of a level (closing anything deeper).
  void OpenSub(size_t level)
  {
    MenuLevel& lv = *mLevels[level];
    const IPopupMenuItem* it = lv.mHot >= 0 ? lv.mMenu->GetItem(lv.mHot) : nullptr;
    IPopupMenu* sub = it && it->GetEnabled() ? it->GetSubmenu() : nullptr;
    if (mLevels.size() > level + 1 && mLevels[level + 1]->mMenu == sub) return;
    PopTo(level + 1);
    if (sub && sub->GetNItems() > 0)
      Push(sub, lv.mX + lv.mW - K(2), lv.mY + lv.mTop[lv.mHot] - K(kMenuPad), lv.mX + K(2),
           lv.mY + lv.mTop[lv.mHot] + lv.mHeight[lv.mHot] + K(kMenuPad));
  }

  // Next choosable item from `from` in direction dir, or `from`.
  static int Step(const MenuLevel& lv, int from, int dir)
  {
    const int n = (int)lv.mTop.size();
    for (int k = 1; k <= n; ++k)
    {
      const int i = ((from < 0 ? (dir > 0 ? -1 : n) : from) + dir * k + 2 * n) % n;
      if (lv.Choosable(i)) return i;
    }
    return from;
  }
};

bool Grab(xcb_connection_t* c, xcb_window_t w)
{
  for (int attempt = 0; attempt < 20; ++attempt)
  {
    xcb_grab_pointer_reply_t* p = xcb_grab_pointer_reply(
        c,
        xcb_grab_pointer(c, 0, w,
                         XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                             XCB_EVENT_MASK_POINTER_MOTION,
                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                         XCB_CURRENT_TIME),
        nullptr);
    const bool ok = p && p->status == XCB_GRAB_STATUS_SUCCESS;
    free(p);
    if (ok)
    {
      free(xcb_grab_keyboard_reply(
          c, xcb_grab_keyboard(c, 0, w, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
          nullptr));
      return true;
    }
    usleep(10000);
  }
  return false;
}
} // namespace

IPopupMenu* Session::RunMenu(IPopupMenu* pMenu, const IRECT& r)
{
  if (mInMenu || !mConn || !mWindow || pMenu->GetNItems() == 0) return nullptr;
  if (mEntry) CloseEntry(false);

  MenuRun run(this);
  int rootX = r.mL, rootY = r.mB, rootTop = r.mT;
  if (xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
          mConn, xcb_translate_coordinates(mConn, mWindow, mScreen->root, 0, 0), nullptr))
  {
    rootX += t->dst_x;
    rootY += t->dst_y;
    rootTop += t->dst_y;
    free(t);
  }
  mInMenu = true;
  run.Push(pMenu, rootX, rootY, rootX + r.W(), rootTop);
  xcb_flush(mConn);
  Grab(mConn, run.mLevels[0]->mWindow);
  mOwner->mMenuOpen.store(true);

  IPopupMenu* chosen = nullptr;
  bool done = false, armed = false;
  auto choose = [&](size_t level, int item)
  {
    MenuLevel& lv = *run.mLevels[level];
    if (!lv.Choosable(item)) return;
    if (lv.mMenu->GetItem(item)->GetSubmenu())
    {
      lv.mHot = item;
      run.OpenSub(level);
      if (run.mLevels.size() > level + 1)
        run.SetHot(level + 1, MenuRun::Step(*run.mLevels[level + 1], -1, +1));
      return;
    }
    lv.mMenu->SetChosenItemIdx(item);
    chosen = lv.mMenu;
    done = true;
  };

  while (!done && Alive())
  {
    while (!done && mConn)
    {
      xcb_generic_event_t* ev = xcb_poll_for_event(mConn);
      if (!ev) break;
      switch (ev->response_type & 0x7f)
      {
      case XCB_EXPOSE:
      {
        const auto* e = reinterpret_cast<xcb_expose_event_t*>(ev);
        bool mine = false;
        for (auto& lv : run.mLevels)
          if (lv->mWindow == e->window)
          {
            mine = true;
            if (e->count == 0) run.Draw(*lv);
          }
        if (!mine) HandleEvent(ev);
        break;
      }
      case XCB_MOTION_NOTIFY:
      {
        const auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(ev);
        const int level = run.LevelAt(e->root_x, e->root_y);
        if (level < 0) break;
        armed = true;
        const int item = run.mLevels[level]->ItemAt(e->root_x, e->root_y);
        run.SetHot((size_t)level, item);
        run.OpenSub((size_t)level);
        break;
      }
      case XCB_BUTTON_PRESS:
      {
        const auto* e = reinterpret_cast<xcb_button_press_event_t*>(ev);
        if (e->detail != 1 && e->detail != 3) break;
        if (run.LevelAt(e->root_x, e->root_y) < 0)
          done = true; // outside: closed without a choice
        else
          armed = true;
        break;
      }
      case XCB_BUTTON_RELEASE:
      {
        const auto* e = reinterpret_cast<xcb_button_release_event_t*>(ev);
        const int level = run.LevelAt(e->root_x, e->root_y);
        if (!armed || level < 0 || (e->detail != 1 && e->detail != 3)) break;
        const int item = run.mLevels[level]->ItemAt(e->root_x, e->root_y);
        if (item >= 0) choose((size_t)level, item);
        break;
      }
      case XCB_KEY_PRESS:
      {
        const auto* e = reinterpret_cast<xcb_key_press_event_t*>(ev);
        const size_t level = run.mLevels.size() - 1;
        MenuLevel& lv = *run.mLevels[level];
        switch (KeySym(e->detail, e->state))
        {
        case 0xff1b: // Escape
          done = true;
          break;
        case 0xff52: // Up
          run.SetHot(level, MenuRun::Step(lv, lv.mHot, -1));
          break;
        case 0xff54: // Down
          run.SetHot(level, MenuRun::Step(lv, lv.mHot, +1));
          break;
        case 0xff53: // Right
          run.OpenSub(level);
          if (run.mLevels.size() > level + 1)
            run.SetHot(level + 1, MenuRun::Step(*run.mLevels[level + 1], -1, +1));
          break;
        case 0xff51: // Left
          if (level > 0) run.PopTo(level);
          break;
        case 0xff0d:
        case 0xff8d:
          if (lv.mHot >= 0) choose(level, lv.mHot);
          break;
        default:
          break;
        }
        break;
      }
      case 0:
      case XCB_DESTROY_NOTIFY:
      case XCB_MAPPING_NOTIFY:
        HandleEvent(ev); // the editor's errors, destruction and keyboard changes
        break;
      default:
        break; // no input reaches the editor while its menu is up
      }
      free(ev);
    }
    if (done || !Alive()) break;
    TickIfDue();
    Wait((int)std::max<int64_t>(0, mNextTickMs - NowMs()));
  }

  if (mConn && !xcb_connection_has_error(mConn))
  {
    xcb_ungrab_pointer(mConn, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(mConn, XCB_CURRENT_TIME);
  }
  run.PopTo(0);
  // The grab is over once the server has handled the ungrab: no click of the user's is lost
  // to a menu window that is going.
  if (mConn && !xcb_connection_has_error(mConn))
    free(xcb_get_input_focus_reply(mConn, xcb_get_input_focus(mConn), nullptr));
  mInMenu = false;
  mOwner->mMenuOpen.store(false);
  mHaveLastPress = false; // the next click after a menu is a new one, not a double-click

  if (mStop.load()) return nullptr;
  return chosen;
}

} // namespace x11editor
