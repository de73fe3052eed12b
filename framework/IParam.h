#pragma once
// One automatable parameter of the plug-in.
//
// Hosts see a parameter as a normalised position in [0, 1] and a display string; the signal
// path and the editor work with its plain value in [minimum, maximum]. The two are related by
// the shape exponent:
//
//   plain      = minimum + (maximum - minimum) * normalised^shape
//   normalised = ((clamp(plain) - minimum) / (maximum - minimum))^(1 / shape)
//
// and, for every kind but double, a position set from the host is rounded to the nearest step
// (halves up). The first Init... call fixes the kind for good.
//
// Text fields (name, label, group, display texts) hold at most kParamTextLen - 1 characters;
// longer texts are cut. A non-finite value (NaN, infinity), or one whose mapping is not finite,
// never reaches the parameter: it keeps the value it had.

#include <atomic>

#include "framework/WDL_HeapBuf.h"

constexpr int kParamTextLen = 32; // name, label, group and display-text fields, with terminator

// A double that one thread may read while another sets it (the editor draws a parameter's value
// while a host thread changes it under the plug-in lock): each read sees a whole value, and
// neither side waits. Copyable, so that parameters can be snapshotted.
class RelaxedDouble
{
public:
  RelaxedDouble(double v = 0.0) : mValue(v) {}
  RelaxedDouble(RelaxedDouble const& other) : mValue(double(other)) {}
  RelaxedDouble& operator=(RelaxedDouble const& other) { return *this = double(other); }
  RelaxedDouble& operator=(double v)
  {
    mValue.store(v, std::memory_order_relaxed);
    return *this;
  }
  operator double() const { return mValue.load(std::memory_order_relaxed); }

private:
  std::atomic<double> mValue;
};

class IParam
{
public:
  enum EParamType : int
  {
    kTypeNone = 0,
    kTypeBool = 1,
    kTypeInt = 2,
    kTypeEnum = 3,
    kTypeDouble = 4
  };

  struct DisplayText
  {
    int mValue;
    char mText[kParamTextLen];
  };

  IParam() = default;

  // Bool: 0/1 with display texts "off" and "on".
  void InitBool(char const* name, bool defaultValue, char const* label = "",
                char const* group = "");
  // Enum: 0 .. max(1, nEnums - 1).
  void InitEnum(char const* name, int defaultValue, int nEnums, char const* label = "",
                char const* group = "");
  // Int: minimum .. max(minimum + 1, maximum), step 1.
  void InitInt(char const* name, int defaultValue, int minVal, int maxVal, char const* label = "",
               char const* group = "");
  // Double: minimum .. max(minimum + step, maximum); display precision follows the step.
  void InitDouble(char const* name, double defaultValue, double minVal, double maxVal, double step,
                  char const* label = "", char const* group = "", double shape = 1.0);

  // Appends a value-to-text record; lookups take the first match.
  void SetDisplayText(int value, char const* text);
  // An exactly zero (or non-finite) shape leaves the previous one in force.
  void SetShape(double shape);
  // Shown values and values typed as text are negated.
  void NegateDisplay(bool negate = true) { mNegateDisplay = negate; }
  bool DisplayIsNegated() const { return mNegateDisplay; }

  // The value read as decibels, as a linear gain: exp(value * ln(10) / 20).
  double DBToAmp() const;

  // From a normalised position: shape curve, step rounding (not for double), upper clamp only.
  void SetNormalized(double normalizedValue);
  double GetNormalized() const;
  double GetNormalized(double nonNormalizedValue) const;
  // minimum + (maximum - minimum) * normalised^shape; no clamping, no rounding.
  double GetNonNormalized(double normalizedValue) const;

  // Plain value, clamped into [minimum, maximum]; no step rounding.
  void Set(double value);
  double Value() const { return mValue; }
  bool Bool() const { return mValue >= 0.5; }
  int Int() const; // truncated toward zero (saturating at the int range)

  // Writes the text shown for value (plain, or normalised when isNormalized) into rDisplay,
  // which holds kParamTextLen characters: a non-empty display text for the truncated value when
  // withDisplayText, else the number with the display precision ("%.*f"), or the truncated
  // integer when the precision is 0. Always '.' as the decimal point.
  void GetDisplayForHost(double value, bool isNormalized, char* rDisplay,
                         bool withDisplayText = true) const;
  void GetDisplayForHost(char* rDisplay, bool withDisplayText = true) const
  {
    GetDisplayForHost(mValue, false, rDisplay, withDisplayText);
  }

  char const* GetNameForHost() const { return mName; }
  // Empty when the current value has a non-empty display text: an enumerated value has no unit.
  char const* GetLabelForHost() const;
  char const* GetParamGroupForHost() const { return mParamGroup; }

  // The text of the first record for value, or "".
  char const* GetDisplayText(int value) const;
  int GetNDisplayTexts() const { return mDisplayTexts.GetSize(); }
  // The text of record idx ("" outside the table); its value into *pValue when given.
  char const* GetDisplayTextAtIdx(int idx, double* pValue = nullptr) const;
  // The value of the first record whose text equals str exactly; false (and *pValue untouched)
  // when there is none.
  bool MapDisplayText(char const* str, double* pValue) const;

  // Text typed for the parameter (by a host, or into the editor's text entry) as a plain value,
  // read the same way wherever it comes from. Blanks around the text are ignored. An enum or
  // bool with display texts takes one of them, exactly; any other parameter takes one of its
  // display texts or a decimal number ('.' as the point whatever the locale), optionally
  // followed by blanks and the parameter's own label ("-3.5", "+2", "3 dB", "3dB"). The number
  // is negated back when the display is, and clamped into the range: beyond the double range it
  // lands on a bound, below it reads 0. False, with *pPlainValue untouched, for anything else
  // ("", "abc", "3 apples", "inf", "3 Hz" for a parameter in dB).
  bool ParseText(char const* text, double* pPlainValue) const;

  void GetBounds(double* pMin, double* pMax) const;
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  double GetShape() const { return mShape; }
  double GetDefault() const { return mDefault; }
  int GetPrecision() const { return mDisplayPrecision; }
  EParamType Type() const { return mType; }

private:
  void SetType(EParamType type)
  {
    if (mType == kTypeNone) mType = type;
  }
  void SetTexts(char const* name, char const* label, char const* group);

  EParamType mType = kTypeNone;
  RelaxedDouble mValue = 0.0;
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mShape = 1.0;
  double mDefault = 0.0;
  int mDisplayPrecision = 0;
  char mName[kParamTextLen] = {};
  char mLabel[kParamTextLen] = {};
  char mParamGroup[kParamTextLen] = {};
  bool mNegateDisplay = false;
  WDL_TypedBuf<DisplayText> mDisplayTexts{256};
};

namespace detail
{
// strncpy that always terminates: copies at most capacity - 1 characters of src (null reads as
// empty) into dest and terminates it.
void CopyBounded(char* dest, char const* src, int capacity);

// "%.*f" of value into out (capacity characters with terminator, cut to fit), with '.' as the
// decimal point whatever the locale. precision 0..17.
void FormatFixed(double value, int precision, char* out, int capacity);
} // namespace detail
