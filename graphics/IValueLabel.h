#pragma once
// The value label: while a knob is dragged, wheeled or hovered, its parameter's display text and
// unit ("-4.00 dB", "0.70") in a small dark box just below it (above when there is no room),
// kept inside the editor. Once the knob is let go the box stays for kHold, fades in kFadeSteps
// steps and is gone.
//
// IGraphics owns one, off until ShowValueLabels(true), and draws it after the controls through
// its own drawing services in editor coordinates. It is no control: the control list and its
// indexes stay the product's. The input routing tells it what the pointer does; at each timer
// tick IsDirty works out what the box should show now and reports a region only when that
// differs from what is on screen (shown, new text, moved, a fade step, gone). The region covers
// the old box as well as the new one, so what lay under the old box is painted again.
//
// Editor thread only; the controls are named by index and looked up at every tick, so a
// rebuilt control list leaves nothing dangling. Time comes from a steady clock that tests
// replace.

#include <chrono>
#include <functional>
#include <string>

#include "graphics/IGraphicsStructs.h"

class IGraphics;
class IControl;

class IValueLabel
{
public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::chrono::milliseconds kHold{1000};
  static constexpr std::chrono::milliseconds kFadeStep{60};
  static constexpr int kFadeSteps = 4;

  explicit IValueLabel(IGraphics* pGraphics);

  void Enable(bool enable) { mEnabled = enable; }
  bool IsEnabled() const { return mEnabled; }
  // Null: the steady clock.
  void SetClock(std::function<Clock::time_point()> now) { mNow = std::move(now); }

  // ---- What the pointer does (control indexes, -1 for none) ----------------------------------

  // Shown for as long as the press lasts.
  void Pressed(int controlIdx);
  // The press is over; controlIdxUnderPointer is hovered from now on (-1: nothing tracked).
  void Released(int controlIdxUnderPointer);
  // Shown while the pointer rests on it; -1 when it rests on nothing.
  void Hovered(int controlIdx);
  // A single use (wheel, double-click): shown for the hold time from now.
  void Touched(int controlIdx);

  // ---- Redraw -----------------------------------------------------------------------------

  // Brings the box up to date; when it differs from what is on screen, unites the old and the
  // new box into *pR and returns true.
  bool IsDirty(IRECT* pR);
  // Before a Draw pass over *pR: brings the box up to date and, when the pass touches the box
  // or the box changed, widens *pR over the old and new box (fills and text do not clip, so the
  // box is only ever drawn onto freshly painted pixels). Drawing that is not strict repaints
  // only dirty controls: the first control (the background) is marked dirty instead.
  void BeforeDraw(IRECT* pR, bool strict);
  // After the controls of that pass: draws the box when BeforeDraw chose to.
  void Draw();

  // ---- What it shows ----------------------------------------------------------------------

  bool IsShown() const { return mShown.mVisible; }
  const IRECT& ShownRECT() const { return mShown.mBox; }
  const std::string& ShownText() const { return mShown.mText; }
  // 0 fully shown, 1 .. kFadeSteps fading.
  int ShownFadeStep() const { return mShown.mFadeStep; }

private:
  struct Look
  {
    bool mVisible = false;
    int mControl = -1;
    std::string mText;
    IRECT mBox;
    int mFadeStep = 0;
    bool operator==(const Look&) const = default;
  };

  Clock::time_point Now() const { return mNow ? mNow() : Clock::now(); }
  // The knob at idx that has a parameter to show, or null.
  IControl* Knob(int idx) const;
  void Update();
  IRECT BoxFor(IControl& knob, const std::string& text);

  IGraphics* mGraphics;
  std::function<Clock::time_point()> mNow;
  bool mEnabled = false;
  int mPressed = -1, mHovered = -1;
  // The knob whose value shows, and when it was last in use.
  int mSubject = -1;
  Clock::time_point mLastUse{};
  Look mWanted, mShown;
  bool mDrawThisPass = false;
  IText mStyle;
  // The last text measured, and its size.
  std::string mMeasuredText;
  int mMeasuredW = 0, mMeasuredH = 0;
};
