#pragma once
// Controls: the elements an editor is built from, and the stock ones.
//
// A control has a place on the editor (a draw rectangle, and a target rectangle that takes the
// mouse), may be bound to one plug-in parameter, and shows that parameter as a normalised value
// in [0, 1]. IGraphics owns the controls, asks them whether they are dirty, calls Draw and then
// SetClean, and routes mouse and key events to them.
//
// Threads. The value, the default and the dirty and redraw flags are atomics: host threads move
// a control with SetValueFromPlug / SetAuxParamValueFromPlug (plug-in lock held by the caller)
// while the editor thread scans, draws and handles input without a lock. Everything else is
// editor thread only.
//
// Redraw bookkeeping, the words used below:
//   dirty   the control must be drawn on the next pass.
//   redraw  its value was changed through a setter (SetValueFromPlug, SetValueFromUserInput,
//           SetAuxParamValueFromPlug, Hide) since the last clean; SetClean moves redraw into
//           dirty, so such a control is drawn on two consecutive passes. A change made by the
//           control itself (a knob drag) draws once.
//
// Values. Normalised values only: whatever a setter receives is clamped to [0, 1], and a
// non-finite value is ignored, so drawing never sees NaN.

#include <atomic>
#include <deque>

#include "framework/WDL_String.h"
#include "graphics/IGraphicsStructs.h"

class IGraphics;
class IParam;
class IPlugBase;
class ITextControl;

// Which way a knob or fader is dragged, and how radio buttons are laid out.
enum EDirection : int
{
  kVertical = 0,
  kHorizontal = 1
};

class IControl
{
public:
  // One further parameter followed by the control; the value arrives from the plug-in.
  struct AuxParam
  {
    explicit AuxParam(int paramIdx) : mParamIdx(paramIdx) {}
    std::atomic<double> mValue{0.0};
    int mParamIdx;
  };

  // paramIdx -1: no parameter. The draw and target rectangles are both pR.
  IControl(IPlugBase* pPlug, IRECT pR, int paramIdx = -1,
           IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendSourceAlpha);
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;
  virtual ~IControl();

  // ---- Virtual operations, in slot order. Editor thread unless stated -----------------------

  // Base: a right press opens the value prompt.
  virtual void OnMouseDown(int x, int y, IMouseMod* pMod);
  virtual void OnMouseUp(int, int, IMouseMod*) {}
  virtual void OnMouseDrag(int, int, int, int, IMouseMod*) {}
  // Base: back to the default value (when one is known), pushed to the plug-in.
  virtual void OnMouseDblClick(int x, int y, IMouseMod* pMod);
  virtual void OnMouseWheel(int, int, IMouseMod*, int) {}
  // False: the key was not used.
  virtual bool OnKeyDown(int, int, int) { return false; }
  virtual void OnMouseOver(int, int, IMouseMod*) {}
  virtual void OnMouseOut() {}
  // Draws into the editor's back bitmap; called by IGraphics::Draw, which cleans afterwards.
  virtual bool Draw(IGraphics* pGraphics) = 0;
  // A normalised value from the plug-in. Any host thread, plug-in lock held by the caller. The
  // first call fixes the default value and marks nothing dirty.
  virtual void SetValueFromPlug(double value);
  // A value the user chose (menu, text entry): pushed to the plug-in when it differs.
  virtual void SetValueFromUserInput(double value);
  // A text entry opened for a control without a parameter ended with this text.
  virtual void TextFromTextEntry(const char*) {}
  virtual void Hide(bool hide);
  // Greyed: takes no mouse (mouse-over only when allowed), drawn at a quarter weight.
  virtual void GrayOut(bool gray);
  // Within the target rectangle.
  virtual bool IsHit(int x, int y);
  // Clamps the value into the clamp range and marks the control dirty; with pushParamToPlug
  // (editor thread only) the value also goes to the plug-in and the display controls follow.
  virtual void SetDirty(bool pushParamToPlug = true);
  // After a draw: dirty = redraw, redraw = false.
  virtual void SetClean();
  // Dirty, or a setter's change not yet drawn.
  virtual bool IsDirty();
  virtual void OnGUIIdle() {}
  // The value of auxiliary entry auxParamIdx from the plug-in; same threads as SetValueFromPlug.
  virtual void SetAuxParamValueFromPlug(int auxParamIdx, double value);

  // ---- Value and parameter -----------------------------------------------------------------

  int ParamIdx() const { return mParamIdx; }
  // The bound parameter, or null.
  IParam* GetParam() const;
  IPlugBase* GetPlug() const { return mPlug; }
  // The plug-in's editor, or null.
  IGraphics* GetGUI() const;

  double GetValue() const { return mValue.load(); }
  // Stores a normalised value without marking or pushing anything (non-finite: ignored).
  void SetValue(double value);
  // -1 while unset.
  double GetDefaultValue() const { return mDefaultValue.load(); }
  // lo and hi are normalised; the range is kept inside [0, 1] and put in order.
  void Clamp(double lo, double hi);
  double GetClampLow() const { return mClampLo; }
  double GetClampHigh() const { return mClampHi; }

  // ---- Place ---------------------------------------------------------------------------------

  IRECT* GetRECT() { return &mRECT; }
  IRECT* GetTargetRECT() { return &mTargetRECT; }
  void SetTargetArea(IRECT r) { mTargetRECT = r; }

  // ---- Flags -------------------------------------------------------------------------------

  bool IsHidden() const { return mHide; }
  bool IsGrayed() const { return mGrayed; }
  bool GetMOWhenGrayed() const { return mMOWhenGrayed; }
  void SetMOWhenGrayed(bool allow) { mMOWhenGrayed = allow; }
  bool MouseDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetMouseDblAsSingleClick(bool on) { mDblAsSingleClick = on; }
  bool IsPromptDisabled() const { return mDisablePrompt; }
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }
  // The redraw flag as it stands (the one-extra-pass bookkeeping).
  bool IsRedrawPending() const { return mRedraw.load(); }

  // ---- Text --------------------------------------------------------------------------------

  IText* GetText() { return &mText; }
  void SetText(const IText* pText)
  {
    if (pText) mText = *pText;
  }
  // Characters the text entry for this control accepts; at least 1.
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int len) { mTextEntryLength = len < 1 ? 1 : len; }

  // ---- Blend -------------------------------------------------------------------------------

  IChannelBlend* GetBlend() { return &mBlend; }

  // ---- Value prompt ------------------------------------------------------------------------

  // Opens the editor's prompt for the bound parameter (a menu of its display texts, or a text
  // entry): over the draw rectangle when the parameter has display texts, else in a 40 x 16 box
  // around the centre. Nothing without a parameter or while the prompt is disabled.
  void PromptUserInput();
  void PromptUserInput(IRECT* pTextRect);

  // ---- Auxiliary parameters ----------------------------------------------------------------

  void AddAuxParam(int paramIdx);
  // Position of the first entry for paramIdx, or -1.
  int AuxParamIdx(int paramIdx) const;
  // The entry, or null outside the list.
  AuxParam* GetAuxParam(int auxParamIdx);
  int NAuxParams() const { return (int)mAuxParams.size(); }
  // Every entry's value to the plug-in, in order.
  void SetAllAuxParamsFromGUI();

  // ---- Display controls (not owned) --------------------------------------------------------

  // Text controls that show the parameter's value text ("display label") and its name; they
  // follow every push to the plug-in.
  void SetValDisplayControl(ITextControl* pControl) { mValDisplayControl = pControl; }
  void SetNameDisplayControl(ITextControl* pControl) { mNameDisplayControl = pControl; }

  // ---- Tooltip -----------------------------------------------------------------------------

  void SetTooltip(const char* tooltip) { mTooltip.Set(tooltip); }
  const char* GetTooltip() const { return mTooltip.Get(); }

protected:
  // The value clamped into the clamp range (NaN becomes the low end).
  double Clamped(double value) const;
  // Marks a setter's change: redraw first, then dirty (a clean racing with it keeps one of the
  // two, so the change is drawn).
  void MarkChanged();
  // value += delta, atomically (a drag racing with the host never tears the value).
  void AddToValue(double delta);

  int mTextEntryLength = 7;
  IText mText;
  IPlugBase* mPlug;
  IRECT mRECT;
  IRECT mTargetRECT;
  int mParamIdx;
  std::deque<AuxParam> mAuxParams;
  std::atomic<double> mValue{0.0};
  std::atomic<double> mDefaultValue{-1.0};
  double mClampLo = 0.0;
  double mClampHi = 1.0;
  std::atomic<bool> mDirty{true};
  std::atomic<bool> mHide{false}; // set from host threads (OnParamChange), read while drawing
  std::atomic<bool> mGrayed{false};
  std::atomic<bool> mRedraw{false};
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMOWhenGrayed = false;
  IChannelBlend mBlend;
  ITextControl* mValDisplayControl = nullptr;
  ITextControl* mNameDisplayControl = nullptr;
  WDL_String mTooltip;
};

// ================================================================================================
// Stock controls
// ================================================================================================

// A rectangle filled with one colour.
class IPanelControl : public IControl
{
public:
  IPanelControl(IPlugBase* pPlug, IRECT pR, const IColor* pColor);
  bool Draw(IGraphics* pGraphics) override;

protected:
  IColor mColor;
};

// A film strip showing the frame that matches the value; placed at (x, y), one frame in size.
class IBitmapControl : public IControl
{
public:
  IBitmapControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                 IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendSourceAlpha);
  // Without a parameter.
  IBitmapControl(IPlugBase* pPlug, int x, int y, IBitmap* pBitmap,
                 IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendSourceAlpha)
      : IBitmapControl(pPlug, x, y, -1, pBitmap, blendMethod)
  {
  }
  bool Draw(IGraphics* pGraphics) override;

  IBitmap* GetBitmap() { return &mBitmap; }

protected:
  IBitmap mBitmap;
};

// Each press steps one frame on and wraps after the last; a double-click is one more press.
class ISwitchControl : public IBitmapControl
{
public:
  ISwitchControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                 IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendSourceAlpha)
      : IBitmapControl(pPlug, x, y, paramIdx, pBitmap, blendMethod)
  {
  }
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override;
};

// A switch whose press opens the parameter's menu (or text entry) instead of stepping.
class ISwitchPopUpControl : public ISwitchControl
{
public:
  ISwitchPopUpControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                      IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendSourceAlpha);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
};

// A momentary switch: on while pressed, back to 0 on release.
class IContactControl : public ISwitchControl
{
public:
  IContactControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                  IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendSourceAlpha)
      : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod)
  {
  }
  void OnMouseUp(int x, int y, IMouseMod* pMod) override;
};

// A switch that shows its bitmap only while on; while off it takes the mouse in targetArea.
class IBitmapOverlayControl : public ISwitchControl
{
public:
  IBitmapOverlayControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                        IRECT targetArea,
                        IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendSourceAlpha);
  // Without a parameter.
  IBitmapOverlayControl(IPlugBase* pPlug, int x, int y, IBitmap* pBitmap, IRECT targetArea)
      : IBitmapOverlayControl(pPlug, x, y, -1, pBitmap, targetArea)
  {
  }
  bool Draw(IGraphics* pGraphics) override;

protected:
  IRECT mTargetArea;
};

// A switch cut into one hit area per frame: pressing area i selects frame i.
class ISwitchFramesControl : public ISwitchControl
{
public:
  ISwitchFramesControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                       bool imagesAreHorizontal = false,
                       IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendSourceAlpha);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;

  int NAreas() const { return (int)mRECTs.size(); }
  const IRECT& GetArea(int i) const { return mRECTs[i]; }

protected:
  std::deque<IRECT> mRECTs;
};

// An on/off area that draws nothing.
class IInvisibleSwitchControl : public IControl
{
public:
  IInvisibleSwitchControl(IPlugBase* pPlug, IRECT pR, int paramIdx);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics*) override { return true; }
};

// nButtons buttons from a two-frame bitmap (frame 2 = active); button i stands for the value
// i / (nButtons - 1).
class IRadioButtonsControl : public IControl
{
public:
  IRadioButtonsControl(IPlugBase* pPlug, IRECT pR, int paramIdx, int nButtons, IBitmap* pBitmap,
                       EDirection direction = kVertical, bool reverse = false);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;

  int NButtons() const { return (int)mRECTs.size(); }
  const IRECT& GetButton(int i) const { return mRECTs[i]; }

protected:
  std::deque<IRECT> mRECTs;
  IBitmap mBitmap;
};

// A handle bitmap sliding along a track of the given length; the handle follows the pointer.
class IFaderControl : public IControl
{
public:
  IFaderControl(IPlugBase* pPlug, int x, int y, int len, int paramIdx, IBitmap* pBitmap,
                EDirection direction = kVertical, bool onlyHandle = false);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) override;
  bool Draw(IGraphics* pGraphics) override;
  bool IsHit(int x, int y) override;
  // Centres the handle on (x, y) and pushes the value.
  virtual void SnapToMouse(int x, int y);

  int GetLength() const { return mLen; }
  int GetHandleHeadroom() const { return mHandleHeadroom; }
  // The handle's rectangle at value (a negative value: the current one).
  IRECT GetHandleRECT(double value = -1.0) const;

protected:
  int mLen;
  int mHandleHeadroom;
  IBitmap mBitmap;
  EDirection mDirection;
  bool mOnlyHandle;
};

// Knobs: dragging along the direction moves the value (a sweep of gearing times the extent
// covers the range; ten times finer with shift or control, a hundred times with both); the
// wheel moves it by 0.01 (0.001). A right press opens a text entry for the value, a
// double-click goes back to the default. While one is in use the editor's value label (when
// shown) tells its value.
class IKnobControl : public IControl
{
public:
  IKnobControl(IPlugBase* pPlug, IRECT pR, int paramIdx, EDirection direction = kVertical,
               double gearing = kDefaultGearing)
      : IControl(pPlug, pR, paramIdx), mDirection(direction), mGearing(gearing)
  {
    mDisablePrompt = false;
    mTextEntryLength = kKnobTextEntryLength;
  }
  // The drag of a right press, which opened the text entry, moves nothing.
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) override;

  void SetGearing(double gearing) { mGearing = gearing; }
  double GetGearing() const { return mGearing; }

  static constexpr double kDefaultGearing = 4.0;
  // A number and its unit ("-12.50 dB").
  static constexpr int kKnobTextEntryLength = 12;

protected:
  EDirection mDirection;
  double mGearing;
};

// A line from the centre outwards, at an angle between minAngle and maxAngle (radians, 0 up,
// clockwise).
class IKnobLineControl : public IKnobControl
{
public:
  IKnobLineControl(IPlugBase* pPlug, IRECT pR, int paramIdx, const IColor* pColor,
                   double innerRadius = 0.0, double outerRadius = 0.0,
                   double minAngle = -0.75 * kPi, double maxAngle = 0.75 * kPi,
                   EDirection direction = kVertical, double gearing = kDefaultGearing);
  bool Draw(IGraphics* pGraphics) override;

  static constexpr double kPi = 3.14159265358979323846;

protected:
  IColor mColor;
  float mMinAngle, mMaxAngle, mInnerRadius, mOuterRadius;
};

// A bitmap rotated about the centre of the draw rectangle (angles in radians).
class IKnobRotaterControl : public IKnobControl
{
public:
  IKnobRotaterControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                      double minAngle = -0.75 * IKnobLineControl::kPi,
                      double maxAngle = 0.75 * IKnobLineControl::kPi, int yOffsetZeroDeg = 0,
                      EDirection direction = kVertical, double gearing = kDefaultGearing);
  bool Draw(IGraphics* pGraphics) override;

protected:
  IBitmap mBitmap;
  double mMinAngle, mMaxAngle;
  int mYOffset;
};

// A film-strip knob: the frame that matches the value.
class IKnobMultiControl : public IKnobControl
{
public:
  IKnobMultiControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                    EDirection direction = kVertical, double gearing = kDefaultGearing);
  bool Draw(IGraphics* pGraphics) override;

  IBitmap* GetBitmap() { return &mBitmap; }

protected:
  IBitmap mBitmap;
};

// A base image whose mask and top images turn with the value (angles in degrees).
class IKnobRotatingMaskControl : public IKnobControl
{
public:
  IKnobRotatingMaskControl(IPlugBase* pPlug, int x, int y, int paramIdx, IBitmap* pBase,
                           IBitmap* pMask, IBitmap* pTop, double minAngle = -135.0,
                           double maxAngle = 135.0, EDirection direction = kVertical,
                           double gearing = kDefaultGearing);
  bool Draw(IGraphics* pGraphics) override;

protected:
  IBitmap mBase, mMask, mTop;
  double mMinAngle, mMaxAngle;
};

// Text drawn from a film-strip font: frame c - 31 for character c.
class IBitmapTextControl : public IControl
{
public:
  IBitmapTextControl(IPlugBase* pPlug, IRECT pR, IBitmap* pFont, const char* str = "",
                     IText* pText = nullptr, int charWidth = 6, int charHeight = 12,
                     int charOffset = 0, bool multiLine = false, bool vCenter = true);
  bool Draw(IGraphics* pGraphics) override;
  // When the text differs: marked dirty, then replaced.
  void SetTextFromPlug(const char* str);
  const char* GetTextForPlug() const { return mStr.Get(); }
  void ClearTextFromPlug() { SetTextFromPlug(""); }

protected:
  WDL_String mStr;
  int mCharWidth, mCharHeight, mCharOffset;
  IBitmap mTextBitmap;
  bool mMultiLine;
  bool mVCentre;
};

// A text in the control's style.
class ITextControl : public IControl
{
public:
  ITextControl(IPlugBase* pPlug, IRECT pR, IText* pText, const char* str = "");
  bool Draw(IGraphics* pGraphics) override;
  // When the text differs: marked dirty, then replaced.
  void SetTextFromPlug(const char* str);
  const char* GetTextForPlug() const { return mStr.Get(); }
  void ClearTextFromPlug() { SetTextFromPlug(""); }

protected:
  WDL_String mStr;
};

// The bound parameter's display text (and label); a press opens the prompt when enabled.
class ICaptionControl : public ITextControl
{
public:
  ICaptionControl(IPlugBase* pPlug, IRECT pR, int paramIdx, IText* pText,
                  bool showParamLabel = true);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;

protected:
  bool mShowParamLabel;
};

// An invisible area that opens a web address (or its backup) when pressed.
class IURLControl : public IControl
{
public:
  static constexpr int kMaxURLLen = 512; // with the terminator

  // Texts longer than kMaxURLLen - 1 characters are cut.
  IURLControl(IPlugBase* pPlug, IRECT pR, const char* url, const char* backupURL = nullptr,
              const char* errMsgOnFailure = nullptr);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics*) override { return true; }

  const char* GetURL() const { return mURL; }
  const char* GetBackupURL() const { return mBackupURL; }
  const char* GetErrorMessage() const { return mErrMsg; }

protected:
  char mURL[kMaxURLLen] = {};
  char mBackupURL[kMaxURLLen] = {};
  char mErrMsg[kMaxURLLen] = {};
};

// What a file dialog is asked for.
enum EFileAction : int
{
  kFileOpen = 0,
  kFileSave = 1
};

// A press opens the platform's file dialog; the bitmap is shown while it is open.
class IFileSelectorControl : public IControl
{
public:
  enum EFileSelectorState : int
  {
    kFSNone = 0,
    kFSSelecting = 1,
    kFSDone = 2
  };

  IFileSelectorControl(IPlugBase* pPlug, IRECT pR, int paramIdx, IBitmap* pBitmap,
                       EFileAction action, const char* dir = "", const char* extensions = "");
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;
  // Dirty, or once after the dialog closed.
  bool IsDirty() override;

  void GetLastSelectedFileForPlug(WDL_String* pStr) const;
  void SetLastSelectedFileFromPlug(const char* file);
  EFileSelectorState GetState() const { return mState; }

protected:
  IBitmap mBitmap;
  WDL_String mDir, mFile, mExtensions;
  EFileAction mFileAction;
  EFileSelectorState mState = kFSNone;
};
