// The control base class: value, default, clamp range, the redraw bookkeeping, hiding and
// greying, auxiliary parameters and the value prompt. Stock controls are in IControls.cpp.

#include "graphics/IControl.h"

#include <cmath>
#include <cstring>

#include "framework/IParam.h"
#include "framework/IPlugBase.h"
#include "graphics/IGraphics.h"

namespace
{
// A normalised value from outside: [0, 1], NaN stays NaN (the caller drops it).
double Clamp01(double v)
{
  if (v < 0.0) return 0.0;
  if (v > 1.0) return 1.0;
  return v;
}
} // namespace

IControl::IControl(IPlugBase* pPlug, IRECT pR, int paramIdx,
                   IChannelBlend::EBlendMethod blendMethod)
    : mPlug(pPlug), mRECT(pR), mTargetRECT(pR), mParamIdx(paramIdx), mBlend(blendMethod, 1.0f)
{
}

IControl::~IControl() = default;

IParam* IControl::GetParam() const
{
  return (mPlug && mParamIdx >= 0) ? mPlug->GetParam(mParamIdx) : nullptr;
}

IGraphics* IControl::GetGUI() const
{
  return mPlug ? mPlug->GetGUI() : nullptr;
}

void IControl::SetValue(double value)
{
  if (std::isfinite(value)) mValue.store(value);
}

void IControl::Clamp(double lo, double hi)
{
  if (std::isnan(lo) || std::isnan(hi)) return;
  lo = Clamp01(lo);
  hi = Clamp01(hi);
  if (lo > hi) std::swap(lo, hi);
  mClampLo = lo;
  mClampHi = hi;
}

double IControl::Clamped(double value) const
{
  if (std::isnan(value)) return mClampLo;
  if (value < mClampLo) return mClampLo;
  return value < mClampHi ? value : mClampHi;
}

void IControl::MarkChanged()
{
  mRedraw.store(true);
  mDirty.store(true);
}

void IControl::AddToValue(double delta)
{
  if (std::isfinite(delta)) mValue.fetch_add(delta);
}

// ---- Mouse ------------------------------------------------------------------------------------

void IControl::OnMouseDown(int, int, IMouseMod* pMod)
{
  if (pMod && pMod->mR) PromptUserInput();
}

void IControl::OnMouseDblClick(int, int, IMouseMod*)
{
  double def = mDefaultValue.load();
  if (def < 0.0) return;
  mValue.store(def);
  SetDirty(true);
}

// ---- Values from outside ----------------------------------------------------------------------

void IControl::SetValueFromPlug(double value)
{
  if (!std::isfinite(value)) return;
  value = Clamp01(value);
  if (mDefaultValue.load() < 0.0)
  {
    // The first value is the one a double-click returns to.
    mValue.store(value);
    mDefaultValue.store(value);
    return;
  }
  if (value == mValue.load()) return;
  mValue.store(value);
  MarkChanged();
  SetDirty(false);
}

void IControl::SetValueFromUserInput(double value)
{
  if (!std::isfinite(value)) return;
  value = Clamp01(value);
  if (value == mValue.load()) return;
  mValue.store(value);
  MarkChanged();
  SetDirty(true);
}

void IControl::SetAuxParamValueFromPlug(int auxParamIdx, double value)
{
  AuxParam* pAux = GetAuxParam(auxParamIdx);
  if (!pAux || !std::isfinite(value)) return;
  value = Clamp01(value);
  if (value == pAux->mValue.load()) return;
  pAux->mValue.store(value);
  MarkChanged();
  SetDirty(false);
}

// ---- Flags ------------------------------------------------------------------------------------

void IControl::Hide(bool hide)
{
  mHide = hide;
  MarkChanged();
  SetDirty(false);
}

void IControl::GrayOut(bool gray)
{
  mGrayed = gray;
  mBlend.mWeight = gray ? 0.25f : 1.0f;
  SetDirty(false);
}

bool IControl::IsHit(int x, int y)
{
  return mTargetRECT.Contains(x, y);
}

void IControl::SetDirty(bool pushParamToPlug)
{
  // Compare-exchange, so that a host value stored meanwhile is not overwritten by a stale clamp.
  double cur = mValue.load();
  double clamped = Clamped(cur);
  while (std::memcmp(&clamped, &cur, sizeof cur) != 0 &&
         !mValue.compare_exchange_weak(cur, clamped))
  {
    clamped = Clamped(cur);
  }
  mDirty.store(true);

  if (!pushParamToPlug || !mPlug || mParamIdx < 0) return;
  mPlug->SetParameterFromGUI(mParamIdx, mValue.load());
  IParam* pParam = GetParam();
  if (!pParam) return;
  if (mValDisplayControl)
  {
    char display[kParamTextLen];
    pParam->GetDisplayForHost(display, true);
    WDL_String text(display, kParamTextLen);
    text.Append(" ");
    text.Append(pParam->GetLabelForHost(), kParamTextLen);
    mValDisplayControl->SetTextFromPlug(text.Get());
  }
  if (mNameDisplayControl) mNameDisplayControl->SetTextFromPlug(pParam->GetNameForHost());
}

void IControl::SetClean()
{
  // A setter racing with this either lands before the exchange (dirty stays set) or after it
  // (redraw stays set, and IsDirty reports it).
  mDirty.store(mRedraw.exchange(false));
}

bool IControl::IsDirty()
{
  return mDirty.load() || mRedraw.load();
}

// ---- Value prompt -----------------------------------------------------------------------------

void IControl::PromptUserInput()
{
  if (mParamIdx < 0 || mDisablePrompt) return;
  IParam* pParam = GetParam();
  if (!pParam) return;
  // A menu of the display texts opens over the control; a text entry in a box at its centre.
  if (pParam->GetNDisplayTexts() > 0)
  {
    PromptUserInput(&mRECT);
    return;
  }
  int cx = (int)mRECT.MW(), cy = (int)mRECT.MH();
  IRECT box(cx - 20, cy - 8, cx + 20, cy + 8);
  PromptUserInput(&box);
}

void IControl::PromptUserInput(IRECT* pTextRect)
{
  if (mParamIdx < 0 || mDisablePrompt || !pTextRect) return;
  IParam* pParam = GetParam();
  IGraphics* pGraphics = GetGUI();
  if (!pParam || !pGraphics) return;
  pGraphics->PromptUserInput(this, pParam, pTextRect);
  mRedraw.store(true);
}

// ---- Auxiliary parameters ---------------------------------------------------------------------

void IControl::AddAuxParam(int paramIdx)
{
  mAuxParams.emplace_back(paramIdx);
}

int IControl::AuxParamIdx(int paramIdx) const
{
  for (int i = 0; i < (int)mAuxParams.size(); ++i)
  {
    if (mAuxParams[i].mParamIdx == paramIdx) return i;
  }
  return -1;
}

IControl::AuxParam* IControl::GetAuxParam(int auxParamIdx)
{
  if (auxParamIdx < 0 || auxParamIdx >= (int)mAuxParams.size()) return nullptr;
  return &mAuxParams[auxParamIdx];
}

void IControl::SetAllAuxParamsFromGUI()
{
  if (!mPlug) return;
  for (AuxParam& aux : mAuxParams) mPlug->SetParameterFromGUI(aux.mParamIdx, aux.mValue.load());
}
