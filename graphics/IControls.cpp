// The stock controls: images and film strips, switches, radio buttons, faders, knobs, texts, a
// link and a file selector.
//
// Film strips. A bitmap of N frames shows, for value v, frame
//
//   c = (int)((N - 1) * v + 0.5);   frame = c < 0 ? 1 : c >= N ? N : c + 1   (1-based)
//
// so a 31-frame knob shows frame 1 at 0.0, 16 at 0.5 and 31 at 1.0. The frame count is taken
// between 1 and the strip's pixel extent (IBitmap::ClampFrames), so a bad count never divides by
// zero or yields frames of no height.

#include "graphics/IControl.h"

#include <cmath>
#include <cstring>

#include "framework/IParam.h"
#include "framework/IPlugBase.h"
#include "graphics/IGraphics.h"

namespace
{
// The bitmap with its frame count brought into range.
IBitmap Normalised(const IBitmap* pBitmap)
{
  if (!pBitmap) return IBitmap();
  IBitmap b = *pBitmap;
  b.mN = IBitmap::ClampFrames(b.mN, b.mFramesAreHorizontal ? b.mW : b.mH);
  return b;
}

// The film-strip frame (1-based) for value v; NaN shows frame 1.
int FrameForValue(int nFrames, double v)
{
  if (nFrames < 2) return 1;
  double c = (nFrames - 1) * v + 0.5;
  if (!(c >= 0.0)) return 1;
  if (c >= nFrames) return nFrames;
  return (int)c + 1;
}

// A control placed at (x, y) takes one frame of its bitmap.
IRECT FrameRECT(int x, int y, const IBitmap& b)
{
  return IRECT(x, y, x + b.FrameWidth(), y + b.FrameHeight());
}

// Bounded copy into a fixed field: cut to capacity - 1 characters, always terminated; a null or
// empty source leaves the field as it is.
void CopyIfGiven(char* dest, const char* src, int capacity)
{
  if (!src || !*src) return;
  std::strncpy(dest, src, capacity - 1);
  dest[capacity - 1] = '\0';
}

bool FineAdjust(const IMouseMod* pMod)
{
  return pMod && (pMod->mC || pMod->mS);
}

// Gearing must divide: anything not positive and finite is the default.
double SaneGearing(double gearing)
{
  return (std::isfinite(gearing) && gearing > 0.0) ? gearing : IKnobControl::kDefaultGearing;
}

// Area i of N under (x, y) gives i / (N - 1) (a single area gives 0); false for a miss.
template <class Areas> bool ValueOfAreaAt(const Areas& areas, int x, int y, double* pValue)
{
  const int n = (int)areas.size();
  for (int i = 0; i < n; ++i)
  {
    if (areas[i].Contains(x, y))
    {
      *pValue = n > 1 ? (double)i / (double)(n - 1) : 0.0;
      return true;
    }
  }
  return false;
}
} // namespace

// ---- IPanelControl ----------------------------------------------------------------------------

IPanelControl::IPanelControl(IPlugBase* pPlug, IRECT pR, const IColor* pColor)
    : IControl(pPlug, pR), mColor(pColor ? *pColor : COLOR_BLACK)
{
}

bool IPanelControl::Draw(IGraphics* pGraphics)
{
  pGraphics->FillIRect(&mColor, &mRECT, &mBlend);
  return true;
}

// ---- IBitmapControl and the switch family -----------------------------------------------------

IBitmapControl::IBitmapControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                               IChannelBlend::EBlendMethod blendMethod)
    : IControl(pPlug, IRECT(), paramIdx, blendMethod), mBitmap(Normalised(pBitmap))
{
  mRECT = mTargetRECT = FrameRECT(x, y, mBitmap);
}

bool IBitmapControl::Draw(IGraphics* pGraphics)
{
  int frame = FrameForValue(mBitmap.mN, mValue.load());
  return pGraphics->DrawBitmap(&mBitmap, &mRECT, frame, &mBlend);
}

// Each press one frame further; past the last frame (beyond 1.001) back to 0.
void ISwitchControl::OnMouseDown(int, int, IMouseMod*)
{
  double step = mBitmap.mN < 2 ? 1.0 : 1.0 / (mBitmap.mN - 1);
  double v = mValue.load() + step;
  mValue.store(v > 1.001 ? 0.0 : v);
  SetDirty(true);
}

void ISwitchControl::OnMouseDblClick(int x, int y, IMouseMod* pMod)
{
  OnMouseDown(x, y, pMod);
}

ISwitchPopUpControl::ISwitchPopUpControl(IPlugBase* pPlug, int x, int y, int paramIdx,
                                         IBitmap* pBitmap, IChannelBlend::EBlendMethod blendMethod)
    : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod)
{
  mDisablePrompt = false;
}

void ISwitchPopUpControl::OnMouseDown(int, int, IMouseMod*)
{
  PromptUserInput();
  SetDirty(true);
}

void IContactControl::OnMouseUp(int, int, IMouseMod*)
{
  mValue.store(0.0);
  SetDirty(true);
}

IBitmapOverlayControl::IBitmapOverlayControl(IPlugBase* pPlug, int x, int y, int paramIdx,
                                             IBitmap* pBitmap, IRECT targetArea,
                                             IChannelBlend::EBlendMethod blendMethod)
    : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod), mTargetArea(targetArea)
{
}

// Off: nothing shown, and the mouse is taken in the separate area; on: the overlay covers (and
// takes the mouse in) its own rectangle.
bool IBitmapOverlayControl::Draw(IGraphics* pGraphics)
{
  if (mValue.load() < 0.5)
  {
    mTargetRECT = mTargetArea;
    return true;
  }
  mTargetRECT = mRECT;
  return IBitmapControl::Draw(pGraphics);
}

// The frame is cut into N strips, s = extent / N pixels each (single precision).
ISwitchFramesControl::ISwitchFramesControl(IPlugBase* pPlug, int x, int y, int paramIdx,
                                           IBitmap* pBitmap, bool imagesAreHorizontal,
                                           IChannelBlend::EBlendMethod blendMethod)
    : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod)
{
  mDisablePrompt = false;
  int n = mBitmap.mN;
  int start = imagesAreHorizontal ? mRECT.mL : mRECT.mT;
  float s = (float)(imagesAreHorizontal ? mRECT.W() : mRECT.H()) / (float)n;
  for (int i = 0; i < n; ++i)
  {
    int a = start + (int)((float)i * s);
    int b = (int)((float)a + s);
    mRECTs.push_back(imagesAreHorizontal ? IRECT(a, mRECT.mT, b, mRECT.mB)
                                         : IRECT(mRECT.mL, a, mRECT.mR, b));
  }
}

// Area i of N gives i / (N - 1) (a single area gives 0); a miss keeps the value but still pushes.
void ISwitchFramesControl::OnMouseDown(int x, int y, IMouseMod*)
{
  double value;
  if (ValueOfAreaAt(mRECTs, x, y, &value)) mValue.store(value);
  SetDirty(true);
}

IInvisibleSwitchControl::IInvisibleSwitchControl(IPlugBase* pPlug, IRECT pR, int paramIdx)
    : IControl(pPlug, pR, paramIdx, IChannelBlend::kBlendCopy)
{
}

void IInvisibleSwitchControl::OnMouseDown(int, int, IMouseMod*)
{
  mValue.store(mValue.load() < 0.5 ? 1.0 : 0.0);
  SetDirty(true);
}

// ---- IRadioButtonsControl ---------------------------------------------------------------------

// Buttons of the bitmap's width and frame height h spread over the rectangle with equal gaps:
//   vertical    g = (height - n * h) / (n - 1)   y(i+1) = y(i) + h + (int)g
//   horizontal  t = (int)((width - n * w) / (n - 1))   x(i+1) = x(i) + w + t
// Reversed, button i takes the place of button n - 1 - i, so button 0 (value 0) sits at the far
// end and every button stays inside the rectangle.
IRadioButtonsControl::IRadioButtonsControl(IPlugBase* pPlug, IRECT pR, int paramIdx, int nButtons,
                                           IBitmap* pBitmap, EDirection direction, bool reverse)
    : IControl(pPlug, pR, paramIdx), mBitmap(Normalised(pBitmap))
{
  int n = nButtons < 1 ? 0 : nButtons;
  int w = mBitmap.mW;
  int h = mBitmap.mN > 0 ? (int)(mBitmap.mH / mBitmap.mN) : mBitmap.mH;
  std::deque<IRECT> forward;
  if (direction == kHorizontal)
  {
    int t = n > 1 ? (pR.W() - n * w) / (n - 1) : 0;
    int x = pR.mL;
    for (int i = 0; i < n; ++i, x += t + w) forward.push_back(IRECT(x, pR.mT, x + w, pR.mT + h));
  }
  else
  {
    double g = n > 1 ? (double)(pR.H() - n * h) / (double)(n - 1) : 0.0;
    int y = pR.mT;
    for (int i = 0; i < n; ++i, y += h + (int)g)
      forward.push_back(IRECT(pR.mL, y, pR.mL + w, y + h));
  }
  for (int i = 0; i < n; ++i) mRECTs.push_back(forward[reverse ? n - 1 - i : i]);
}

bool IRadioButtonsControl::Draw(IGraphics* pGraphics)
{
  int n = (int)mRECTs.size();
  if (n == 0) return true;
  double a = (n - 1) * mValue.load() + 0.5;
  int active = !(a >= 0.0) ? 0 : a >= n ? n - 1 : (int)a;
  for (int i = 0; i < n; ++i)
  {
    pGraphics->DrawBitmap(&mBitmap, &mRECTs[i], i == active ? 2 : 1, &mBlend);
  }
  return true;
}

void IRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* pMod)
{
  if (pMod && pMod->mR)
  {
    PromptUserInput();
    return;
  }
  double value;
  if (ValueOfAreaAt(mRECTs, x, y, &value)) mValue.store(value);
  SetDirty(true);
}

// ---- IFaderControl ----------------------------------------------------------------------------

// The track is len pixels along the direction and one handle across it; the handle travels
// range = len - handle size pixels, top (or left) at value 1 (or 0).
IFaderControl::IFaderControl(IPlugBase* pPlug, int x, int y, int len, int paramIdx,
                             IBitmap* pBitmap, EDirection direction, bool onlyHandle)
    : IControl(pPlug, IRECT(), paramIdx), mLen(len), mBitmap(Normalised(pBitmap)),
      mDirection(direction), mOnlyHandle(onlyHandle)
{
  if (direction == kVertical)
  {
    mHandleHeadroom = mBitmap.mH;
    mRECT = mTargetRECT = IRECT(x, y, x + mBitmap.mW, y + len);
  }
  else
  {
    mHandleHeadroom = mBitmap.mW;
    mRECT = mTargetRECT = IRECT(x, y, x + len, y + mBitmap.mH);
  }
}

IRECT IFaderControl::GetHandleRECT(double value) const
{
  if (value < 0.0) value = mValue.load();
  if (!std::isfinite(value)) value = 0.0;
  int range = mLen - mHandleHeadroom;
  IRECT r(mRECT.mL, mRECT.mT, mRECT.mL + mBitmap.mW, mRECT.mT + mBitmap.mH);
  if (mDirection == kVertical)
  {
    int offs = (int)(range * (1.0 - value));
    r.mT += offs;
    r.mB += offs;
  }
  else
  {
    int offs = (int)(value * range);
    r.mL += offs;
    r.mR += offs;
  }
  return r;
}

bool IFaderControl::Draw(IGraphics* pGraphics)
{
  IRECT r = GetHandleRECT();
  return pGraphics->DrawBitmap(&mBitmap, &r, 1, &mBlend);
}

bool IFaderControl::IsHit(int x, int y)
{
  if (mOnlyHandle) return GetHandleRECT().Contains(x, y);
  return mTargetRECT.Contains(x, y);
}

void IFaderControl::OnMouseDown(int x, int y, IMouseMod* pMod)
{
  if (pMod && pMod->mR)
  {
    PromptUserInput();
    return;
  }
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseDrag(int x, int y, int, int, IMouseMod*)
{
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseWheel(int, int, IMouseMod* pMod, int d)
{
  AddToValue(d * (FineAdjust(pMod) ? 0.001 : 0.01));
  SetDirty(true);
}

// The handle's centre goes to the pointer:
//   horizontal v = (x - left - size/2) / range,   vertical v = 1 - (y - top - size/2) / range
// A track no longer than the handle has no travel and keeps its value.
void IFaderControl::SnapToMouse(int x, int y)
{
  int range = mLen - mHandleHeadroom;
  if (range > 0)
  {
    int half = mHandleHeadroom / 2;
    double v = mDirection == kVertical ? 1.0 - (double)(y - mRECT.mT - half) / range
                                       : (double)(x - mRECT.mL - half) / range;
    mValue.store(v);
  }
  SetDirty(true);
}

// ---- Knobs ------------------------------------------------------------------------------------

// value += dY / (top - bottom) / g (vertical) or dX / (right - left) / g (horizontal), with
// g = gearing, ten times that with shift or control and a hundred times with shift and control
// together: dragging gearing times the knob's extent sweeps the range. A knob of no extent does
// not move.
void IKnobControl::OnMouseDrag(int, int, int dX, int dY, IMouseMod* pMod)
{
  if (pMod && pMod->mR && !pMod->mL && !mDisablePrompt) return;
  double g = SaneGearing(mGearing);
  if (pMod && pMod->mS && pMod->mC)
    g *= 100.0;
  else if (FineAdjust(pMod))
    g *= 10.0;
  int extent = mDirection == kVertical ? mRECT.mT - mRECT.mB : mRECT.mR - mRECT.mL;
  if (extent == 0) return;
  AddToValue((double)(mDirection == kVertical ? dY : dX) / (double)extent / g);
  SetDirty(true);
}

void IKnobControl::OnMouseWheel(int, int, IMouseMod* pMod, int d)
{
  AddToValue(d * (FineAdjust(pMod) ? 0.001 : 0.01));
  SetDirty(true);
}

IKnobLineControl::IKnobLineControl(IPlugBase* pPlug, IRECT pR, int paramIdx, const IColor* pColor,
                                   double innerRadius, double outerRadius, double minAngle,
                                   double maxAngle, EDirection direction, double gearing)
    : IKnobControl(pPlug, pR, paramIdx, direction, gearing), mColor(pColor ? *pColor : COLOR_BLACK),
      mMinAngle((float)minAngle), mMaxAngle((float)maxAngle), mInnerRadius((float)innerRadius),
      mOuterRadius((float)outerRadius)
{
  if (mOuterRadius == 0.0f) mOuterRadius = 0.5f * (float)pR.W();
  mBlend = IChannelBlend(IChannelBlend::kBlendCopy);
}

// A radius at angle a (0 up, clockwise) from the centre: (cx + sin a * r, cy - cos a * r).
bool IKnobLineControl::Draw(IGraphics* pGraphics)
{
  double v = mValue.load();
  double angle = mMinAngle + v * (mMaxAngle - mMinAngle);
  float cx = mRECT.MW(), cy = mRECT.MH();
  float sinA = (float)std::sin(angle), cosA = (float)std::cos(angle);
  float x1 = cx + sinA * mInnerRadius, y1 = cy - cosA * mInnerRadius;
  float x2 = cx + sinA * mOuterRadius, y2 = cy - cosA * mOuterRadius;
  return pGraphics->DrawLine(&mColor, x1, y1, x2, y2, &mBlend, true);
}

IKnobRotaterControl::IKnobRotaterControl(IPlugBase* pPlug, int x, int y, int paramIdx,
                                         IBitmap* pBitmap, double minAngle, double maxAngle,
                                         int yOffsetZeroDeg, EDirection direction, double gearing)
    : IKnobControl(pPlug, IRECT(), paramIdx, direction, gearing), mBitmap(Normalised(pBitmap)),
      mMinAngle(minAngle), mMaxAngle(maxAngle), mYOffset(yOffsetZeroDeg)
{
  mRECT = mTargetRECT = FrameRECT(x, y, mBitmap);
}

bool IKnobRotaterControl::Draw(IGraphics* pGraphics)
{
  int cx = (mRECT.mL + mRECT.mR) / 2, cy = (mRECT.mT + mRECT.mB) / 2;
  double angle = mMinAngle + mValue.load() * (mMaxAngle - mMinAngle);
  return pGraphics->DrawRotatedBitmap(&mBitmap, cx, cy, angle, mYOffset, &mBlend);
}

IKnobMultiControl::IKnobMultiControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                                     EDirection direction, double gearing)
    : IKnobControl(pPlug, IRECT(), paramIdx, direction, gearing), mBitmap(Normalised(pBitmap))
{
  mRECT = mTargetRECT = FrameRECT(x, y, mBitmap);
}

bool IKnobMultiControl::Draw(IGraphics* pGraphics)
{
  int frame = FrameForValue(mBitmap.mN, mValue.load());
  return pGraphics->DrawBitmap(&mBitmap, &mRECT, frame, &mBlend);
}

IKnobRotatingMaskControl::IKnobRotatingMaskControl(IPlugBase* pPlug, int x, int y, int paramIdx,
                                                   IBitmap* pBase, IBitmap* pMask, IBitmap* pTop,
                                                   double minAngle, double maxAngle,
                                                   EDirection direction, double gearing)
    : IKnobControl(pPlug, IRECT(), paramIdx, direction, gearing), mBase(Normalised(pBase)),
      mMask(Normalised(pMask)), mTop(Normalised(pTop)), mMinAngle(minAngle), mMaxAngle(maxAngle)
{
  mRECT = mTargetRECT = IRECT(x, y, x + mBase.mW, y + mBase.mH);
}

bool IKnobRotatingMaskControl::Draw(IGraphics* pGraphics)
{
  double angle = mMinAngle + mValue.load() * (mMaxAngle - mMinAngle);
  return pGraphics->DrawRotatedMask(&mBase, &mMask, &mTop, mRECT.mL, mRECT.mT, angle, &mBlend);
}

// ---- Texts ------------------------------------------------------------------------------------

IBitmapTextControl::IBitmapTextControl(IPlugBase* pPlug, IRECT pR, IBitmap* pFont, const char* str,
                                       IText* pText, int charWidth, int charHeight, int charOffset,
                                       bool multiLine, bool vCenter)
    : IControl(pPlug, pR), mStr(str), mCharWidth(charWidth), mCharHeight(charHeight),
      mCharOffset(charOffset), mTextBitmap(Normalised(pFont)), mMultiLine(multiLine),
      mVCentre(vCenter)
{
  SetText(pText);
}

bool IBitmapTextControl::Draw(IGraphics* pGraphics)
{
  if (mStr.GetLength() == 0) return true;
  return DrawBitmapedText(pGraphics, &mTextBitmap, &mRECT, &mText, &mBlend, mStr.Get(), mVCentre,
                          mMultiLine, mCharWidth, mCharHeight, mCharOffset);
}

void IBitmapTextControl::SetTextFromPlug(const char* str)
{
  if (!str) str = "";
  if (std::strcmp(mStr.Get(), str) == 0) return;
  SetDirty(false);
  mStr.Set(str);
}

ITextControl::ITextControl(IPlugBase* pPlug, IRECT pR, IText* pText, const char* str)
    : IControl(pPlug, pR), mStr(str)
{
  SetText(pText);
}

bool ITextControl::Draw(IGraphics* pGraphics)
{
  if (mStr.GetLength() == 0) return true;
  return pGraphics->DrawIText(&mText, mStr.Get(), &mRECT);
}

void ITextControl::SetTextFromPlug(const char* str)
{
  if (!str) str = "";
  if (std::strcmp(mStr.Get(), str) == 0) return;
  SetDirty(false);
  mStr.Set(str);
}

ICaptionControl::ICaptionControl(IPlugBase* pPlug, IRECT pR, int paramIdx, IText* pText,
                                 bool showParamLabel)
    : ITextControl(pPlug, pR, pText), mShowParamLabel(showParamLabel)
{
  mParamIdx = paramIdx;
}

void ICaptionControl::OnMouseDown(int, int, IMouseMod* pMod)
{
  if (pMod && (pMod->mL || pMod->mR)) PromptUserInput();
}

void ICaptionControl::OnMouseDblClick(int, int, IMouseMod*)
{
  PromptUserInput();
}

// "display label" (label only when asked for), rebuilt from the parameter on every draw.
bool ICaptionControl::Draw(IGraphics* pGraphics)
{
  if (IParam* pParam = GetParam())
  {
    char display[kParamTextLen];
    pParam->GetDisplayForHost(display, true);
    mStr.Set(display);
    if (mShowParamLabel)
    {
      mStr.Append(" ");
      mStr.Append(pParam->GetLabelForHost());
    }
  }
  return ITextControl::Draw(pGraphics);
}

// ---- IURLControl ------------------------------------------------------------------------------

IURLControl::IURLControl(IPlugBase* pPlug, IRECT pR, const char* url, const char* backupURL,
                         const char* errMsgOnFailure)
    : IControl(pPlug, pR)
{
  CopyIfGiven(mURL, url, kMaxURLLen);
  CopyIfGiven(mBackupURL, backupURL, kMaxURLLen);
  CopyIfGiven(mErrMsg, errMsgOnFailure, kMaxURLLen);
}

// The backup address only when the first one is empty or fails to open.
void IURLControl::OnMouseDown(int, int, IMouseMod*)
{
  IGraphics* pGraphics = GetGUI();
  if (!pGraphics) return;
  if (mURL[0] && pGraphics->OpenURL(mURL, mErrMsg, nullptr, nullptr)) return;
  if (mBackupURL[0]) pGraphics->OpenURL(mBackupURL, mErrMsg, nullptr, nullptr);
}

// ---- IFileSelectorControl ---------------------------------------------------------------------

IFileSelectorControl::IFileSelectorControl(IPlugBase* pPlug, IRECT pR, int paramIdx,
                                           IBitmap* pBitmap, EFileAction action, const char* dir,
                                           const char* extensions)
    : IControl(pPlug, pR, paramIdx), mBitmap(Normalised(pBitmap)), mDir(dir),
      mExtensions(extensions), mFileAction(action)
{
}

// idle -> dialog open (shown) -> just finished (drawn once more) -> idle. The value steps
// 0 -> 1 -> 0 on each selection so that the plug-in hears of it.
void IFileSelectorControl::OnMouseDown(int, int, IMouseMod*)
{
  IGraphics* pGraphics = GetGUI();
  if (!pGraphics) return;
  mState = kFSSelecting;
  SetDirty(false);
  pGraphics->PromptForFile(&mFile, mFileAction, &mDir, mExtensions.Get());
  double v = mValue.load() + 1.0;
  mValue.store(v > 1.0 ? 0.0 : v);
  mState = kFSDone;
  SetDirty(true);
}

bool IFileSelectorControl::Draw(IGraphics* pGraphics)
{
  if (mState == kFSSelecting) pGraphics->DrawBitmap(&mBitmap, &mRECT, 0, 0, nullptr);
  return true;
}

bool IFileSelectorControl::IsDirty()
{
  if (IControl::IsDirty()) return true;
  if (mState == kFSDone)
  {
    mState = kFSNone;
    return true;
  }
  return false;
}

void IFileSelectorControl::GetLastSelectedFileForPlug(WDL_String* pStr) const
{
  if (pStr) pStr->Set(mFile.Get());
}

void IFileSelectorControl::SetLastSelectedFileFromPlug(const char* file)
{
  mFile.Set(file);
}
