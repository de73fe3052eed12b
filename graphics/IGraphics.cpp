// The editor's control list, redraw cycle, input routing and value prompts.
//
// Drawing services and the caches live in IGraphicsDraw.cpp.

#include "graphics/IGraphics.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "framework/IParam.h"
#include "framework/IPlugBase.h"
#include "graphics/IControl.h"
#include "graphics/IPopupMenu.h"
#include "raster/lice.h"

IGraphics::IGraphics(IPlugBase* pPlug, int w, int h, int fps)
    : mPlug(pPlug), mWidth(w), mHeight(h), mFPS(fps > 0 ? fps : 25)
{
}

IGraphics::~IGraphics()
{
  delete mKeyCatcher;
  mKeyCatcher = nullptr;
  mControls.Empty(true); // last to first
  delete mDrawBitmap;
  delete mTmpBitmap;
}

// ---- Platform operations the base answers ---------------------------------------------------

bool IGraphics::MeasureIText(IText* pTxt, const char* str, IRECT* pR)
{
  return DrawIText(pTxt, str, pR, true);
}

int IGraphics::ShowMessageBox(const char*, const char*, int)
{
  return 0;
}

void IGraphics::HostPath(WDL_String* pPath)
{
  if (pPath) pPath->Set("");
}

void IGraphics::PluginPath(WDL_String* pPath)
{
  if (pPath) pPath->Set("");
}

void IGraphics::DesktopPath(WDL_String* pPath)
{
  if (pPath) pPath->Set("");
}

void IGraphics::AppSupportPath(WDL_String* pPath, bool)
{
  if (pPath) pPath->Set("");
}

void IGraphics::SandboxSafeAppSupportPath(WDL_String* pPath)
{
  if (pPath) pPath->Set("");
}

void IGraphics::PromptForFile(WDL_String* pFilename, EFileAction, WDL_String*, const char*)
{
  if (pFilename) pFilename->Set("");
}

bool IGraphics::PromptForColor(IColor*, const char*)
{
  return false;
}

bool IGraphics::OpenURL(const char*, const char*, const char*, const char*)
{
  return false;
}

void* IGraphics::OpenWindow(void*, void*, short, short)
{
  return nullptr;
}

bool IGraphics::GetTextFromClipboard(WDL_String* pStr)
{
  if (pStr) pStr->Set("");
  return false;
}

// ---- Building -------------------------------------------------------------------------------

int IGraphics::AttachControl(IControl* pControl)
{
  if (!pControl) return -1;
  if (!mControls.Add(pControl))
  {
    delete pControl;
    return -1;
  }
  return mControls.GetSize() - 1;
}

namespace
{
// Inserting at the bottom moves every index up by one, the captured and hovered ones too.
void InsertAtBottom(WDL_PtrList<IControl>& controls, IControl* pControl, int* pCapture, int* pOver)
{
  if (!controls.Insert(0, pControl))
  {
    delete pControl;
    return;
  }
  if (*pCapture >= 0) ++*pCapture;
  if (*pOver >= 0) ++*pOver;
}
} // namespace

void IGraphics::AttachBackground(int id, const char* name)
{
  IBitmap bg = LoadIBitmap(id, name, 1, false);
  mHasBackground = true;
  InsertAtBottom(mControls, new IBitmapControl(mPlug, 0, 0, -1, &bg, IChannelBlend::kBlendCopy),
                 &mMouseCapture, &mMouseOver);
}

void IGraphics::AttachPanelBackground(const IColor* pColor)
{
  mHasBackground = true;
  InsertAtBottom(mControls, new IPanelControl(mPlug, IRECT(0, 0, mWidth, mHeight), pColor),
                 &mMouseCapture, &mMouseOver);
}

void IGraphics::AttachKeyCatcher(IControl* pControl)
{
  if (pControl == mKeyCatcher) return;
  delete mKeyCatcher;
  mKeyCatcher = pControl;
}

void IGraphics::PrepDraw()
{
  delete mDrawBitmap;
  delete mTmpBitmap;
  mDrawBitmap =
      new LICE_SysBitmap(std::max(ScaledWidth(mScale), 0), std::max(ScaledHeight(mScale), 0));
  mTmpBitmap = new LICE_MemBitmap(0, 0, 4);
}

LICE_IBitmap* IGraphics::GetDrawBitmap() const
{
  return mDrawBitmap;
}

// ---- Controls and parameters ----------------------------------------------------------------

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized)
{
  if (!normalized)
  {
    IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!param) return;
    value = param->GetNormalized(value);
  }
  for (int i = 0, n = NControls(); i < n; ++i)
  {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->SetValueFromPlug(value);
    const int aux = c->AuxParamIdx(paramIdx);
    if (aux >= 0) c->SetAuxParamValueFromPlug(aux, value);
  }
}

void IGraphics::SetControlFromPlug(int controlIdx, double normalizedValue)
{
  if (IControl* c = mControls.Get(controlIdx)) c->SetValueFromPlug(normalizedValue);
}

void IGraphics::SetParameterFromGUI(int paramIdx, double normalizedValue)
{
  for (int i = 0, n = NControls(); i < n; ++i)
  {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->SetValueFromUserInput(normalizedValue);
  }
}

void IGraphics::ClampControl(int paramIdx, double lo, double hi, bool normalized)
{
  if (!normalized)
  {
    IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!param) return;
    lo = param->GetNormalized(lo);
    hi = param->GetNormalized(hi);
  }
  for (int i = 0, n = NControls(); i < n; ++i)
  {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->Clamp(lo, hi);
  }
}

void IGraphics::HideControl(int paramIdx, bool hide)
{
  for (int i = 0, n = NControls(); i < n; ++i)
  {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->Hide(hide);
  }
}

void IGraphics::GrayOutControl(int paramIdx, bool gray)
{
  for (int i = 0, n = NControls(); i < n; ++i)
  {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->GrayOut(gray);
  }
}

void IGraphics::SetAllControlsDirty()
{
  for (int i = 0, n = NControls(); i < n; ++i) mControls.Get(i)->SetDirty(false);
}

void IGraphics::SetStrictDrawing(bool strict)
{
  mStrict = strict;
  SetAllControlsDirty();
}

void IGraphics::AssignParamNameToolTips()
{
  for (int i = 0, n = NControls(); i < n; ++i)
  {
    IControl* c = mControls.Get(i);
    IParam* param = (mPlug && c->ParamIdx() >= 0) ? mPlug->GetParam(c->ParamIdx()) : nullptr;
    if (param) c->SetTooltip(param->GetNameForHost());
  }
}

// ---- Redraw ---------------------------------------------------------------------------------

bool IGraphics::IsDirty(IRECT* pR)
{
  IRECT scratch;
  if (!pR) pR = &scratch;
  bool dirty = false;
  for (int i = 0, n = NControls(); i < n; ++i)
  {
    IControl* c = mControls.Get(i);
    if (c->IsDirty())
    {
      *pR = pR->Union(*c->GetRECT());
      dirty = true;
    }
  }
  if (mValueLabel.IsDirty(pR)) dirty = true;
  return dirty;
}

// Three strategies:
//   strict (default)        every visible control overlapping the region is drawn once, in
//                           z-order; every control is cleaned.
//   non-strict, background  the background is dirty: everything visible is drawn over it.
//   non-strict, otherwise   per dirty control j >= 1: j and every visible control overlapping j
//                           are drawn, clipped to j's rectangle; j is cleaned.
// A hidden control is never drawn. In the non-strict strategies hidden controls other than the
// background are not cleaned by the background pass, so they stay dirty until shown.
bool IGraphics::Draw(IRECT* pR)
{
  const int n = NControls();
  if (n == 0) return true;
  IRECT scratch;
  if (!pR) pR = &scratch;
  mValueLabel.BeforeDraw(pR, mStrict);

  if (mStrict)
  {
    mDrawRECT = *pR;
    for (int i = 0; i < n; ++i)
    {
      IControl* c = mControls.Get(i);
      if (!c->IsHidden() && pR->Intersects(*c->GetRECT())) c->Draw(this);
      c->SetClean();
    }
  }
  else
  {
    IControl* bg = mControls.Get(0);
    if (bg->IsDirty())
    {
      mDrawRECT = *bg->GetRECT();
      for (int i = 0; i < n; ++i)
      {
        IControl* c = mControls.Get(i);
        if (c->IsHidden() && i > 0) continue;
        if (!c->IsHidden()) c->Draw(this);
        c->SetClean();
      }
    }
    else
    {
      for (int j = 1; j < n; ++j)
      {
        IControl* cj = mControls.Get(j);
        if (!cj->IsDirty()) continue;
        mDrawRECT = *cj->GetRECT();
        for (int k = 0; k < n; ++k)
        {
          IControl* ck = mControls.Get(k);
          if (ck->IsHidden()) continue;
          if (k == j || ck->GetRECT()->Intersects(mDrawRECT)) ck->Draw(this);
        }
        cj->SetClean();
      }
    }
  }
  mValueLabel.Draw();
  return DrawScreen(pR);
}

void IGraphics::OnGUIIdle()
{
  for (int i = 0, n = NControls(); i < n; ++i) mControls.Get(i)->OnGUIIdle();
}

// ---- Input ----------------------------------------------------------------------------------

int IGraphics::HitTest(int x, int y, bool mouseOver) const
{
  for (int i = NControls() - 1; i >= 0; --i)
  {
    IControl* c = mControls.Get(i);
    if (c->IsHidden()) continue;
    if (c->IsGrayed() && !(mouseOver && c->GetMOWhenGrayed())) continue;
    if (c->IsHit(x, y)) return i;
  }
  return -1;
}

int IGraphics::Target(int x, int y, bool mouseOver) const
{
  if (mMouseCapture >= 0 && mMouseCapture < NControls()) return mMouseCapture;
  return HitTest(x, y, mouseOver);
}

bool IGraphics::IsAttached(const IControl* pControl) const
{
  return pControl && mControls.Find(pControl) >= 0;
}

void IGraphics::BeginEdit(int controlIdx)
{
  IControl* c = mControls.Get(controlIdx);
  const int param = c ? c->ParamIdx() : -1;
  if (param < 0 || !mPlug) return;
  mPlug->BeginInformHostOfParamChange(param);
  mEditParam = param;
}

void IGraphics::EndEdit()
{
  const int param = mEditParam;
  mEditParam = -1;
  if (param >= 0 && mPlug) mPlug->EndInformHostOfParamChange(param);
}

void IGraphics::ClearCapture()
{
  mMouseCapture = -1;
  mMouseX = mMouseY = -1;
}

void IGraphics::ReleaseMouseCapture()
{
  ClearCapture();
  EndEdit();
  mValueLabel.Released(-1);
}

void IGraphics::OnMouseDown(int x, int y, IMouseMod* pMod)
{
  IMouseMod none;
  if (!pMod) pMod = &none;
  ReleaseMouseCapture();
  const int i = HitTest(x, y, false);
  // A right-click on the panel itself, not on a control, is the editor's own menu.
  if (pMod->mR && (i < 0 || (i == 0 && mHasBackground)) && PopupPanelMenu(x, y)) return;
  if (i < 0) return;
  mMouseCapture = i;
  mMouseX = x;
  mMouseY = y;
  mValueLabel.Pressed(i);
  BeginEdit(i);
  mControls.Get(i)->OnMouseDown(x, y, pMod);
  // A modal prompt took the mouse and ate the release: its answer is in, the gesture is over.
  if (mMouseCapture != i) EndEdit();
}

void IGraphics::OnMouseUp(int x, int y, IMouseMod* pMod)
{
  IMouseMod none;
  if (!pMod) pMod = &none;
  const int i = Target(x, y, false);
  ClearCapture();
  if (IControl* c = mControls.Get(i)) c->OnMouseUp(x, y, pMod);
  EndEdit();
  // No motion need follow the release: what is under the pointer now is hovered already.
  mValueLabel.Released(mHandleMouseOver ? HitTest(x, y, true) : -1);
}

void IGraphics::OnMouseDrag(int x, int y, IMouseMod* pMod)
{
  IMouseMod none;
  if (!pMod) pMod = &none;
  IControl* c = mControls.Get(mMouseCapture);
  if (!c || (x == mMouseX && y == mMouseY)) return;
  const int dX = x - mMouseX, dY = y - mMouseY;
  mMouseX = x;
  mMouseY = y;
  c->OnMouseDrag(x, y, dX, dY, pMod);
}

bool IGraphics::OnMouseDblClick(int x, int y, IMouseMod* pMod)
{
  IMouseMod none;
  if (!pMod) pMod = &none;
  ReleaseMouseCapture();
  const int i = HitTest(x, y, false);
  if (i < 0) return false;
  IControl* c = mControls.Get(i);
  if (!c->MouseDblAsSingleClick())
  {
    // A gesture of its own (a reset to the default, a prompt's answer), bracketed for the host.
    BeginEdit(i);
    c->OnMouseDblClick(x, y, pMod);
    EndEdit();
    mValueLabel.Touched(i);
    return false;
  }
  mMouseCapture = i;
  mMouseX = x;
  mMouseY = y;
  mValueLabel.Pressed(i);
  // Routed as a press, so bracketed like one: the release that follows ends the edit.
  BeginEdit(i);
  c->OnMouseDown(x, y, pMod);
  return true;
}

void IGraphics::OnMouseWheel(int x, int y, IMouseMod* pMod, int delta)
{
  IMouseMod none;
  if (!pMod) pMod = &none;
  const int i = Target(x, y, false);
  if (IControl* c = mControls.Get(i)) c->OnMouseWheel(x, y, pMod, delta);
  mValueLabel.Touched(i);
}

bool IGraphics::OnMouseOver(int x, int y, IMouseMod* pMod)
{
  if (!mHandleMouseOver) return false;
  IMouseMod none;
  if (!pMod) pMod = &none;
  const int i = Target(x, y, true);
  mValueLabel.Hovered(i);
  if (i < 0) return true;
  mMouseX = x;
  mMouseY = y;
  mControls.Get(i)->OnMouseOver(x, y, pMod);
  if (mMouseOver >= 0 && mMouseOver != i)
    if (IControl* old = mControls.Get(mMouseOver)) old->OnMouseOut();
  mMouseOver = i;
  return true;
}

void IGraphics::OnMouseOut()
{
  for (int i = 0, n = NControls(); i < n; ++i) mControls.Get(i)->OnMouseOut();
  mMouseOver = -1;
  mValueLabel.Hovered(-1);
}

bool IGraphics::OnKeyDown(int x, int y, int key)
{
  const int i = Target(x, y, false);
  IControl* c = i > 0 ? mControls.Get(i) : mKeyCatcher;
  return c ? c->OnKeyDown(x, y, key) : false;
}

int IGraphics::GetMouseControlIdx(int x, int y, bool mouseOver)
{
  return Target(x, y, mouseOver);
}

int IGraphics::GetParamIdxForPTAutomation(int x, int y)
{
  const int i = Target(x, y, false);
  mLastClickedParam = i > 0 ? mControls.Get(i)->ParamIdx() : -1;
  return mLastClickedParam;
}

int IGraphics::GetLastClickedParamForPTAutomation()
{
  const int param = mLastClickedParam;
  mLastClickedParam = -1;
  return param;
}

// ---- Value prompts --------------------------------------------------------------------------

namespace
{
// Parameters answered by a menu of their display texts. An enum without any texts has nothing
// to list and gets a text entry for its number instead.
bool PromptsWithMenu(const IParam* pParam)
{
  const IParam::EParamType type = pParam->Type();
  return (type == IParam::kTypeEnum || type == IParam::kTypeBool) && pParam->GetNDisplayTexts() > 0;
}
} // namespace

void IGraphics::PromptUserInput(IControl* pControl, IParam* pParam, IRECT* pR)
{
  if (!pControl || !pParam || !pR) return;

  if (PromptsWithMenu(pParam))
  {
    char current[kParamTextLen];
    pParam->GetDisplayForHost(pParam->Value(), false, current, true);
    IPopupMenu menu;
    for (int v = 0, n = pParam->GetNDisplayTexts(); v < n; ++v)
    {
      const char* text = pParam->GetDisplayText(v);
      menu.AddItem(text, -1,
                   std::strcmp(text, current) == 0 ? IPopupMenuItem::kChecked
                                                   : IPopupMenuItem::kNoFlags);
    }
    IPopupMenu* chosen = CreateIPopupMenu(&menu, pR);
    // A platform answer outside the menu is no choice.
    if (chosen)
    {
      const int idx = chosen->GetChosenItemIdx();
      if (idx >= 0 && idx < chosen->GetNItems())
        pControl->SetValueFromUserInput(pParam->GetNormalized((double)idx));
    }
    return;
  }

  // What the host shows, so that Enter on it changes nothing.
  char current[kParamTextLen];
  pParam->GetDisplayForHost(pParam->Value(), false, current, true);
  CreateTextEntry(pControl, pControl->GetText(), pR, current, pParam);
}

void IGraphics::SetFromStringAfterPrompt(IControl* pControl, IParam* pParam, const char* txt)
{
  // A text entry can outlive its control (Resize while it was open): such an answer is dropped.
  if (!pParam || !txt || !IsAttached(pControl)) return;

  // Text the parameter does not read (empty, "abc", another unit) is a cancelled entry.
  double v = 0.0;
  if (!pParam->ParseText(txt, &v)) return;
  // The answer usually comes after the press that opened the entry was released: a gesture of
  // its own, unless it changes nothing. An entry answered inside that press is in its gesture.
  const double normalized = pParam->GetNormalized(v);
  const int param = pControl->ParamIdx();
  const bool gesture =
      mPlug && param >= 0 && param != mEditParam && normalized != pControl->GetValue();
  if (gesture) mPlug->BeginInformHostOfParamChange(param);
  pControl->SetValueFromUserInput(normalized);
  if (gesture) mPlug->EndInformHostOfParamChange(param);
}

// ---- Resize ---------------------------------------------------------------------------------

void IGraphics::Resize(int w, int h)
{
  // An open text entry would answer for a control about to go.
  ForceEndUserEdit();
  mWidth = w;
  mHeight = h;
  ReleaseMouseCapture();
  mMouseOver = -1;
  mControls.Empty(true);
  delete mDrawBitmap;
  delete mTmpBitmap;
  mDrawBitmap = nullptr;
  mTmpBitmap = nullptr;
  PrepDraw();
  if (mPlug) mPlug->ResizeGraphics(w, h);
}
