#include "graphics/IValueLabel.h"

#include <algorithm>

#include "framework/IParam.h"
#include "graphics/IControl.h"
#include "graphics/IGraphics.h"

namespace
{
constexpr int kPadX = 6, kPadY = 2; // text to box edge
constexpr int kGap = 3;             // knob to box
constexpr int kCornerRadius = 4;
constexpr float kFillWeight = 0.88f; // the knob's ring shows faintly through
constexpr IColor kFill(255, 18, 18, 22);
constexpr IColor kInk(255, 244, 236, 214);

// "display label", or the display alone when the parameter has no unit (or the value a name).
std::string ValueText(const IParam& param)
{
  char display[kParamTextLen];
  param.GetDisplayForHost(display, true);
  std::string text = display;
  const char* label = param.GetLabelForHost();
  if (*label) text += std::string(" ") + label;
  return text;
}
} // namespace

IValueLabel::IValueLabel(IGraphics* pGraphics)
    : mGraphics(pGraphics), mStyle(11, &kInk, "DejaVu Sans", IText::kStyleNormal)
{
}

IControl* IValueLabel::Knob(int idx) const
{
  IControl* c = mGraphics->GetControl(idx);
  if (!c || c->IsHidden() || !dynamic_cast<IKnobControl*>(c) || !c->GetParam()) return nullptr;
  return c;
}

void IValueLabel::Pressed(int controlIdx)
{
  mPressed = controlIdx;
  Touched(controlIdx);
}

void IValueLabel::Released(int controlIdxUnderPointer)
{
  // The hold runs from the release, not from the tick that notices it.
  if (mPressed >= 0 && mSubject == mPressed) mLastUse = Now();
  mPressed = -1;
  Hovered(controlIdxUnderPointer);
}

void IValueLabel::Hovered(int controlIdx)
{
  if (controlIdx == mHovered) return;
  if (mHovered >= 0 && mSubject == mHovered) mLastUse = Now();
  mHovered = controlIdx;
}

void IValueLabel::Touched(int controlIdx)
{
  if (!Knob(controlIdx)) return;
  mSubject = controlIdx;
  mLastUse = Now();
}

void IValueLabel::Update()
{
  Look want;
  if (!mEnabled)
  {
    mWanted = want;
    return;
  }
  const Clock::time_point now = Now();
  // A press on anything but a knob hides the hover beneath it.
  const int held = mPressed >= 0 ? mPressed : mHovered;
  if (Knob(held))
  {
    mSubject = held;
    mLastUse = now;
  }
  if (IControl* knob = Knob(mSubject))
  {
    const Clock::duration since = now - mLastUse;
    const int step = since < kHold ? 0 : 1 + (int)((since - kHold) / kFadeStep);
    if (step <= kFadeSteps)
    {
      want.mVisible = true;
      want.mControl = mSubject;
      want.mFadeStep = step;
      want.mText = ValueText(*knob->GetParam());
      want.mBox = BoxFor(*knob, want.mText);
    }
  }
  if (!want.mVisible) mSubject = -1;
  mWanted = want;
}

// Centred below the knob; above it when the editor ends first; never outside the editor.
IRECT IValueLabel::BoxFor(IControl& knob, const std::string& text)
{
  if (text != mMeasuredText)
  {
    IRECT m;
    if (mGraphics->MeasureIText(&mStyle, text.c_str(), &m) && m.W() > 0 && m.H() > 0)
    {
      mMeasuredW = m.W();
      mMeasuredH = m.H();
    }
    else
    {
      // No font: room for the characters at about the style's size.
      mMeasuredW = (int)text.size() * mStyle.mSize * 2 / 3;
      mMeasuredH = mStyle.mSize + 3;
    }
    mMeasuredText = text;
  }
  const IRECT& r = *knob.GetRECT();
  const int w = mMeasuredW + 2 * kPadX, h = mMeasuredH + 2 * kPadY;
  const int editorW = mGraphics->Width(), editorH = mGraphics->Height();
  int left = (r.mL + r.mR) / 2 - w / 2;
  int top = r.mB + kGap;
  if (top + h > editorH) top = r.mT - kGap - h;
  left = std::max(0, std::min(left, editorW - w));
  top = std::max(0, std::min(top, editorH - h));
  return IRECT(left, top, left + w, top + h);
}

bool IValueLabel::IsDirty(IRECT* pR)
{
  Update();
  if (mWanted == mShown) return false;
  *pR = pR->Union(mShown.mBox).Union(mWanted.mBox);
  return true;
}

void IValueLabel::BeforeDraw(IRECT* pR, bool strict)
{
  mDrawThisPass = false;
  if (!mEnabled && !mShown.mVisible) return;
  Update();
  const bool touched = (mShown.mVisible && pR->Intersects(mShown.mBox)) ||
                       (mWanted.mVisible && pR->Intersects(mWanted.mBox));
  if (!touched && mWanted == mShown) return;
  *pR = pR->Union(mShown.mBox).Union(mWanted.mBox);
  mDrawThisPass = true;
  if (!strict)
  {
    if (IControl* background = mGraphics->GetControl(0)) background->SetDirty(false);
  }
}

void IValueLabel::Draw()
{
  if (!mDrawThisPass) return;
  mDrawThisPass = false;
  mShown = mWanted;
  if (!mShown.mVisible) return;
  const float weight = 1.0f - (float)mShown.mFadeStep / (float)(kFadeSteps + 1);
  const IChannelBlend blend(IChannelBlend::kBlendSourceAlpha, kFillWeight * weight);
  mGraphics->FillRoundRect(&kFill, &mShown.mBox, &blend, kCornerRadius, true);
  IText ink = mStyle;
  ink.mColor.mA = (int)(255.0f * weight + 0.5f);
  IRECT textRect(mShown.mBox.mL, mShown.mBox.mT + kPadY, mShown.mBox.mR, mShown.mBox.mB);
  mGraphics->DrawIText(&ink, mShown.mText.c_str(), &textRect);
}
