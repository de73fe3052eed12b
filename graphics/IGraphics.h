#pragma once
// The editor's graphics context: model and controller of one plug-in editor.
//
// IGraphics owns the ordered list of controls, keeps them in step with the plug-in's
// parameters, finds which parts of the editor need repainting, repaints them into an
// off-screen back bitmap and routes mouse and key input to the right control. Everything that
// touches the operating system (the native view, presenting the back bitmap, the timer, text
// entries, popup menus, image files, paths, clipboard, message boxes) is a virtual operation
// that one platform subclass supplies.
//
// The redraw cycle, driven by the platform's timer at FPS() ticks a second:
//
//   tick:   IRECT r;  if (IsDirty(&r)) ask the system to repaint r   (unites dirty controls)
//   paint:  Draw(&r)  -> each affected control's Draw(this), then SetClean() -> DrawScreen(&r)
//
// Z-order is list order: index 0 (the background) is drawn first; hit tests walk from the last
// index down, so the control attached last is on top.
//
// Threads. The control list is built before any window opens (AttachControl and friends, on
// the thread that constructs the plug-in) and stays fixed while the window is open. Host
// threads call SetParameterFromPlug with the plug-in mutex held: it only stores values and
// flags in the controls, which are atomics, so the editor thread's scan and draw never race
// with it and the audio thread never waits for drawing. Everything else (drawing, input,
// prompts, the timer) runs on the editor thread without the plug-in mutex: a user's change
// reaches the plug-in through SetParameterFromGUI, which takes the mutex for the change alone,
// and the parameter values the editor reads to show them are atomics too. Resize rebuilds the
// list and so must not run while host threads can reach the editor.
//
// Drawing services (images, lines, fills, text) are documented in IGraphicsDraw.cpp; the two
// process-wide caches for images and fonts are each guarded by their own mutex.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "framework/WDL_PtrList.h"
#include "framework/WDL_String.h"
#include "graphics/IGraphicsStructs.h"
#include "graphics/IValueLabel.h"

class IPlugBase;
class IParam;
class IControl;
class IPopupMenu;
class LICE_IBitmap;
class LICE_SysBitmap;
class LICE_MemBitmap;

// What a file dialog is asked for (kFileOpen, kFileSave; defined with the controls).
enum EFileAction : int;

class IGraphics
{
public:
  // pPlug: the plug-in the editor belongs to; w, h: editor size in pixels; fps: redraw checks
  // per second (25 when not positive). Creates no bitmaps: PrepDraw does.
  IGraphics(IPlugBase* pPlug, int w, int h, int fps = 0);
  // Deletes the key catcher, then every control from the last to the first, then the bitmaps.
  virtual ~IGraphics();
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // ---- Virtual operations, in slot order --------------------------------------------------
  // Editor thread unless stated otherwise. "Platform" operations are the subclass's.

  // Platform: presents the region of the back bitmap on screen; false when it could not.
  virtual bool DrawScreen(IRECT* pR) = 0;
  // DrawIText in measuring mode: sets pR's size to the text's (see IGraphicsDraw.cpp).
  virtual bool MeasureIText(IText* pTxt, const char* str, IRECT* pR);
  // Platform: closes an open text entry without committing it.
  virtual void ForceEndUserEdit() = 0;
  // Rebuilds the editor at a new size: capture released, open prompt closed, every control
  // deleted, bitmaps remade, then the plug-in's ResizeGraphics. The plug-in attaches its
  // controls again. Not while host threads can reach the editor (see above).
  virtual void Resize(int w, int h);
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  virtual const char* GetGUIAPI() { return ""; }
  // Platform: a message box; returns the button pressed. Base: 0 (nothing shown).
  virtual int ShowMessageBox(const char* text, const char* caption, int type);
  // Platform: runs the menu modally at pR; returns the menu with its chosen index set, or null
  // when nothing was chosen. The menu stays the caller's.
  virtual IPopupMenu* CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pR) = 0;
  // Platform: opens an editable text field over pR, initially holding str. The result arrives
  // later through SetFromStringAfterPrompt (pParam set) or pControl->TextFromTextEntry.
  virtual void CreateTextEntry(IControl* pControl, IText* pText, IRECT* pR, const char* str,
                               IParam* pParam) = 0;
  // Platform paths. Base: empty.
  virtual void HostPath(WDL_String* pPath);
  virtual void PluginPath(WDL_String* pPath);
  virtual void DesktopPath(WDL_String* pPath);
  virtual void AppSupportPath(WDL_String* pPath, bool isSystem = false);
  virtual void SandboxSafeAppSupportPath(WDL_String* pPath);
  // Platform: a file dialog. Base: the file comes back empty (cancelled).
  virtual void PromptForFile(WDL_String* pFilename, EFileAction action, WDL_String* pDir,
                             const char* extensions);
  // Platform: a colour dialog. Base: false (cancelled).
  virtual bool PromptForColor(IColor* pColor, const char* prompt);
  // Platform: opens the address; true when it was opened. Base: false.
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr,
                       const char* confirmMsg = nullptr, const char* errMsgOnFailure = nullptr);
  // Platform: creates the native view inside the host's parent; returns it, or null.
  virtual void* OpenWindow(void* pParentWnd) = 0;
  virtual void* OpenWindow(void* pParentWnd, void* pParentControl, short x, short y);
  virtual void AttachSubWindow(void*) {}
  virtual void RemoveSubWindow() {}
  // Platform: stops the timer and removes the view; controls and bitmaps stay.
  virtual void CloseWindow() = 0;
  // Platform: the native view, null while closed.
  virtual void* GetWindow() = 0;
  // Platform: clipboard text. Base: false.
  virtual bool GetTextFromClipboard(WDL_String* pStr);
  virtual void HideMouseCursor() {}
  virtual void ShowMouseCursor() {}
  // Platform: re-registers tooltips. Base: nothing.
  virtual void UpdateTooltips() {}
  // Platform: loads an image resource; null when there is none. The caller owns the result
  // (it goes into the image cache).
  virtual LICE_IBitmap* OSLoadBitmap(int id, const char* name) = 0;
  // Platform: the same image drawn for an editor size of scale percent; null when there is
  // none (the 100 % image is then enlarged). Base: null.
  virtual LICE_IBitmap* OSLoadBitmapAtScale(int, const char*, int) { return nullptr; }
  // Platform: what identifies the bytes OSLoadBitmapAtScale decodes (equal for equal bytes), or
  // null when it cannot say. Base: null.
  virtual const void* OSImageSource(const char*, int) { return nullptr; }
  // Platform: true on a thread that serves this editor's window. Base: false. Any thread.
  virtual bool OnEditorThread() const { return false; }
  // Platform: the plug-in's adapter brackets every call it makes to its host with these, on
  // whatever thread makes it. An editor thread inside one is not waited for by CloseWindow: the
  // host may be waiting for the thread that closes. Base: nothing.
  virtual void SetInHostCall(bool) {}

  // ---- Building the control list (before the window opens) --------------------------------

  // Appends; returns the control's index.
  int AttachControl(IControl* pControl);
  // The image (one frame) as an IBitmapControl at (0, 0) copying its pixels, at index 0.
  void AttachBackground(int id, const char* name);
  // An IPanelControl over the whole editor filled with the colour, at index 0.
  void AttachPanelBackground(const IColor* pColor);
  // Receives keys no control takes; owned (a previous catcher is deleted).
  void AttachKeyCatcher(IControl* pControl);
  // Creates the back and scratch bitmaps (again, at the current size, when they exist). Called
  // by the plug-in base from AttachGraphics after every parameter has been pushed.
  virtual void PrepDraw();

  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int NControls() const { return mControls.GetSize(); }
  IControl* GetKeyCatcher() const { return mKeyCatcher; }

  // ---- Controls and parameters ------------------------------------------------------------

  // Moves every control bound to paramIdx (or following it as an auxiliary parameter) to
  // value, a normalised position when normalized, else a plain value. Any host thread, plug-in
  // mutex held; stores values and flags only.
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  // SetValueFromPlug on one control; an index outside the list is ignored.
  void SetControlFromPlug(int controlIdx, double normalizedValue);
  // SetValueFromUserInput on every control bound to paramIdx (each pushes to the plug-in).
  void SetParameterFromGUI(int paramIdx, double normalizedValue);
  // Clamp range of every control bound to paramIdx (plain values unless normalized).
  void ClampControl(int paramIdx, double lo, double hi, bool normalized);
  void HideControl(int paramIdx, bool hide);
  void GrayOutControl(int paramIdx, bool gray);
  void SetAllControlsDirty();
  void SetStrictDrawing(bool strict);
  bool IsStrictDrawing() const { return mStrict; }
  // Tooltip of every control with a parameter = the parameter's name.
  void AssignParamNameToolTips();
  void EnableTooltips(bool enable) { mEnableTooltips = enable; }
  bool TooltipsEnabled() const { return mEnableTooltips; }

  // ---- Redraw -----------------------------------------------------------------------------

  // Unites the draw rectangles of every dirty control into *pR (in/out; the timer passes an
  // all-zero rectangle), and the value label's old and new box when it changed. True when
  // something was dirty. Cleans nothing.
  bool IsDirty(IRECT* pR);
  // Repaints *pR into the back bitmap and presents it (strict or non-strict, see the .cpp).
  bool Draw(IRECT* pR);
  // The rectangle being painted by the current Draw pass; bitmap drawing clips to it.
  const IRECT& GetDrawRECT() const { return mDrawRECT; }
  void OnGUIIdle();

  // ---- Input (editor coordinates, origin top-left) ----------------------------------------

  void OnMouseDown(int x, int y, IMouseMod* pMod);
  void OnMouseUp(int x, int y, IMouseMod* pMod);
  void OnMouseDrag(int x, int y, IMouseMod* pMod);
  // True when the double-click was routed as a press (the control then holds the capture).
  bool OnMouseDblClick(int x, int y, IMouseMod* pMod);
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int delta);
  // False when mouse-over tracking is off.
  bool OnMouseOver(int x, int y, IMouseMod* pMod);
  void OnMouseOut();
  // False when neither a control nor the key catcher took the key.
  bool OnKeyDown(int x, int y, int key);
  // Drops the capture; an edit begun by the press is ended (the host gets its end-edit).
  // The platform calls it when a window goes with a gesture open.
  void ReleaseMouseCapture();
  // The captured control, else the top control hit at (x, y); -1 for none.
  int GetMouseControlIdx(int x, int y, bool mouseOver = false);
  int GetCapturedControlIdx() const { return mMouseCapture; }
  int GetLastMouseX() const { return mMouseX; }
  int GetLastMouseY() const { return mMouseY; }
  int GetParamIdxForPTAutomation(int x, int y);
  int GetLastClickedParamForPTAutomation();
  void HandleMouseOver(bool canHandle) { mHandleMouseOver = canHandle; }
  bool CanHandleMouseOver() const { return mHandleMouseOver; }
  int GetMouseOverControlIdx() const { return mMouseOver; }
  // The label with the value of the knob in use, drawn over the controls (IValueLabel.h); off
  // until shown. Hovering shows it only with mouse-over tracking on.
  void ShowValueLabels(bool show) { mValueLabel.Enable(show); }
  IValueLabel& GetValueLabel() { return mValueLabel; }

  // ---- Value prompts ----------------------------------------------------------------------

  // A popup menu of the display texts (parameters that have them) or a text entry (the rest).
  // Ignored when an argument is null.
  void PromptUserInput(IControl* pControl, IParam* pParam, IRECT* pR);
  // The text entry's answer for pParam: display text or number. Empty, non-numeric or
  // non-finite text, a null parameter and a control no longer attached change nothing.
  void SetFromStringAfterPrompt(IControl* pControl, IParam* pParam, const char* txt);

  // ---- Drawing services (IGraphicsDraw.cpp) -----------------------------------------------
  // Every operation draws into the back bitmap and returns true (DrawIText: false when no font
  // could be made). Null blend: weight 1.0, source alpha.

  // The image with that id from the process-wide cache, loaded through OSLoadBitmap on first
  // use. A missing image is reported on stderr and replaced by a small placeholder.
  IBitmap LoadIBitmap(int id, const char* name, int nStates = 1, bool framesAreHorizontal = false);
  IBitmap ScaleBitmap(IBitmap* pBitmap, int destW, int destH);
  IBitmap CropBitmap(IBitmap* pBitmap, IRECT* pR);
  void RetainBitmap(IBitmap* pBitmap);
  void ReleaseBitmap(IBitmap* pBitmap);

  bool DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int srcX, int srcY,
                  const IChannelBlend* pBlend = nullptr);
  // frame counts from 1.
  bool DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int frame = 1,
                  const IChannelBlend* pBlend = nullptr);
  bool DrawRotatedBitmap(IBitmap* pBitmap, int destCtrX, int destCtrY, double angle,
                         int yOffsetZeroDeg = 0, const IChannelBlend* pBlend = nullptr);
  // angle in degrees.
  bool DrawRotatedMask(IBitmap* pBase, IBitmap* pMask, IBitmap* pTop, int x, int y, double angle,
                       const IChannelBlend* pBlend = nullptr);

  bool DrawPoint(const IColor* pColor, float x, float y, const IChannelBlend* pBlend = nullptr,
                 bool antiAlias = false);
  // Stores the colour word directly; a point outside the bitmap is ignored.
  bool ForcePixel(const IColor* pColor, int x, int y);
  IColor GetPoint(int x, int y);
  void* GetBits();

  bool DrawLine(const IColor* pColor, float x1, float y1, float x2, float y2,
                const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  bool DrawArc(const IColor* pColor, float cx, float cy, float r, float minAngle, float maxAngle,
               const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  bool DrawCircle(const IColor* pColor, float cx, float cy, float r,
                  const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  bool DrawRadialLine(const IColor* pColor, float cx, float cy, float angle, float rMin, float rMax,
                      const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  bool DrawVerticalLine(const IColor* pColor, int xi, int yLo, int yHi);
  bool DrawHorizontalLine(const IColor* pColor, int yi, int xLo, int xHi);
  bool DrawVerticalLine(const IColor* pColor, IRECT* pR, float x);
  bool DrawHorizontalLine(const IColor* pColor, IRECT* pR, float y);
  bool DrawRect(const IColor* pColor, IRECT* pR);
  bool RoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerradius,
                 bool aa);

  bool FillIRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend = nullptr);
  bool FillCircle(const IColor* pColor, int cx, int cy, float r,
                  const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  bool FillRoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerradius,
                     bool aa);
  bool FillTriangle(const IColor* pColor, int x1, int y1, int x2, int y2, int x3, int y3,
                    const IChannelBlend* pBlend = nullptr);
  bool FillIConvexPolygon(const IColor* pColor, int* x, int* y, int npoints,
                          const IChannelBlend* pBlend = nullptr);

  bool DrawIText(IText* pTxt, const char* str, IRECT* pR, bool measure = false);
  // The style's font from the process-wide font cache, made on first use; null when the system
  // has no font at all.
  LICE_CachedFont* CacheFont(IText* pTxt);

  // ---- Editor size ------------------------------------------------------------------------
  //
  // The adapters reach these through the editor's virtual table and inline code only, like the
  // rest of the framework. Layout, hit tests and drag gearing stay in the editor's own
  // Width() x Height() units at
  // every size. The back bitmap, the window and presentation are Scale() percent of that, drawn
  // from artwork made for the size; every drawing call below takes editor units and scales
  // them. Edges map by ToPhysical (v * scale / 100, halves up), which keeps every control's
  // rectangle, the dirty region and the clip on the same pixel boundaries; the platform maps
  // the pointer back with ToLogical.

  static constexpr int kScales[] = {100, 150, 200};
  // The offered size nearest to a factor (1.0 = 100 %), ties to the larger; 100 for anything
  // not finite or not positive.
  static int NearestScale(double factor);
  int Scale() const { return mScale; }
  int ScaledWidth(int scale) const { return ScaleEdge(mWidth, scale); }
  int ScaledHeight(int scale) const { return ScaleEdge(mHeight, scale); }
  static constexpr int ScaleEdge(int v, int scale)
  {
    // Floor division, so that edges left of or above the origin map as the others do.
    const long long n = (long long)v * scale + 50;
    return (int)(n >= 0 ? n / 100 : -((-n + 99) / 100));
  }
  int ToPhysical(int v) const { return ScaleEdge(v, mScale); }
  float Sf() const { return (float)mScale / 100.0f; }
  IRECT ToPhysical(const IRECT& r) const;
  // The editor unit whose pixels include physical pixel p.
  int ToLogical(int p) const;
  // Sets the size and remakes the back bitmap at it (every control dirty). On the editor's
  // thread, or while the window is closed.
  virtual void SetScale(int scale);
  // The size an editor opening now takes: the user's choice, else the host's, else the
  // platform's (PlatformScale), else 100. While the window is open: Scale().
  virtual int ResolveScale();
  // The host's scale factor (VST 2's vendor request, LV2's ui:scaleFactor); 0 for none. Any
  // thread.
  virtual void SetHostScale(double factor);
  // The user's choice of size (the panel menu), remembered by StoreUserScale. On the editor's
  // thread: stores it and asks the plug-in to have the host resize the window; the size
  // changes when the host agrees (EditorSizeAnswered).
  void ChooseUserScale(int scale);
  // The host's answer to the plug-in's request for a window of w x h. Any thread: an accepted
  // size is applied by the editor's thread (TakeAcceptedScale), a refused one changes nothing.
  virtual void EditorSizeAnswered(int w, int h, bool accepted);
  // The size the host accepted since the last call, or 0. The platform's editor thread polls it.
  int TakeAcceptedScale() { return mAcceptedScale.exchange(0); }
  // The panel's menu at (x, y): "Presets" (below) and "Size" with its sizes. True when it was
  // shown.
  bool PopupPanelMenu(int x, int y);

  // ---- Presets (IGraphicsPresets.cpp) -----------------------------------------------------
  //
  // The panel menu's "Presets": the product's factory table, the user's preset files of this
  // plug-in (fxfile/PresetFolder.h) and "Save as…". Editor thread; the files are listed, read and
  // written there with no lock held, and a preset reaches the plug-in as the user's gestures do.

  // What one item of the presets menu does.
  struct PresetChoice
  {
    enum EKind
    {
      kNothing,
      kFactory, // row mIndex of the product's table
      kUser,    // mValues, read when the menu was made
      kSaveAs
    };
    EKind mKind = kNothing;
    int mIndex = -1;
    std::vector<float> mValues;
  };
  // Appends the submenu's items to pMenu, and to pChoices what each does (in item order).
  void FillPresetsMenu(IPopupMenu* pMenu, std::vector<PresetChoice>* pChoices);
  // Does the choice; a Save as opens its text entry near (x, y).
  void TakePresetChoice(const PresetChoice& choice, int x, int y);
  // Every parameter to normalised[i] (as many as both have): a begin-edit, the change through
  // the controls and an end-edit for each that changes, nothing for the others. Values read
  // from a file (singlePrecision) change a parameter only beyond a float's precision.
  void ApplyPreset(const std::vector<double>& normalised, bool singlePrecision);
  // Saves every parameter's value as the user's preset typed. An existing file of that name is
  // replaced only when it is this plug-in's usable preset. False when refused or not written:
  // the reason is printed on stderr and shown atop the menu until the next save.
  bool SaveUserPresetAs(const char* typed);
  const std::string& PresetError() const { return mPresetError; }

  // ---- Geometry and bitmaps ---------------------------------------------------------------

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  IPlugBase* GetPlug() const { return mPlug; }
  // The back bitmap (null before PrepDraw), Scale() percent of the editor's size.
  LICE_IBitmap* GetDrawBitmap() const;
  // The pixels of b for the current size: its own at 100 %, else its copy for the size,
  // loaded (or enlarged from it) on first use.
  LICE_IBitmap* ScaledData(const IBitmap& b);

protected:
  IPlugBase* mPlug;
  WDL_PtrList<IControl> mControls;
  IRECT mDrawRECT;
  bool mCursorHidden = false;
  int mHiddenMousePointX = -1, mHiddenMousePointY = -1;
  LICE_SysBitmap* mDrawBitmap = nullptr;
  LICE_MemBitmap* mTmpBitmap = nullptr;
  int mWidth;
  int mHeight;
  int mFPS;
  int mMouseCapture = -1;
  int mMouseOver = -1;
  int mMouseX = 0, mMouseY = 0;
  int mLastClickedParam = -1;
  bool mHandleMouseOver = false;
  bool mStrict = true;
  bool mEnableTooltips = false;
  IControl* mKeyCatcher = nullptr;
  // Parameter whose begin-edit went to the host and whose end-edit is still owed; -1 for none.
  int mEditParam = -1;
  int mScale = 100;
  std::atomic<int> mShownScale{100};   // mScale, for host threads asking while the window is open
  bool mHasBackground = false;         // index 0 is the panel itself (AttachBackground and friends)
  std::atomic<int> mHostScale{0};      // percent, 0 for none
  std::atomic<int> mUserScale{0};      // percent chosen in this process, 0 for none
  std::atomic<int> mRequestedScale{0}; // asked of the host, not yet answered
  std::atomic<int> mAcceptedScale{0};  // answered yes, not yet applied
  std::shared_ptr<IControl> mPresetNameEntry; // takes the text entry of Save as… (never attached)
  std::string mPresetError;                   // why the last Save as failed, "" otherwise

  // Blits the part of src from (srcX, srcY), kept left of srcR and above srcB, into dest (back
  // bitmap pixels), clipped to the draw region.
  bool BlitScaled(LICE_IBitmap* src, const IRECT& dest, int srcX, int srcY, int srcR, int srcB,
                  const IChannelBlend* pBlend);
  // Platform: a size of its own choosing (environment, screen), 0 for none. Base: 0.
  virtual int PlatformScale() { return 0; }
  // Platform: the user's remembered choice (0 for none) and remembering a new one.
  virtual int StoredUserScale() { return 0; }
  virtual void StoreUserScale(int) {}
  // Platform: wakes the editor's thread after EditorSizeAnswered. Base: nothing.
  virtual void WakeEditor() {}
  IValueLabel mValueLabel{this};

  // Captured = -1, last position = (-1, -1); an open edit stays open. A modal prompt (a menu
  // over the control) takes the mouse this way, so that its answer lands inside the gesture.
  void ClearCapture();

private:
  // Top control hit at (x, y), skipping hidden and greyed ones (greyed ones allowed for
  // mouse-over when they ask for it); -1 for none.
  int HitTest(int x, int y, bool mouseOver) const;
  // Captured control, else HitTest.
  int Target(int x, int y, bool mouseOver) const;
  bool IsAttached(const IControl* pControl) const;
  // Begin-edit for the control's parameter (remembered for the matching end-edit).
  void BeginEdit(int controlIdx);
  // The end-edit still owed, if any.
  void EndEdit();
};

// Draws text from a film-strip font: character c is frame c - 31 of pBitmap (space = frame 1),
// each cell charWidth x charHeight, cells charOffset apart.
bool DrawBitmapedText(IGraphics* pGraphics, IBitmap* pBitmap, IRECT* pR, IText* pText,
                      IChannelBlend* pBlend, const char* str, bool vCenter = true,
                      bool multiline = false, int charWidth = 6, int charHeight = 12,
                      int charOffset = 0);
