#include "framework/IParam.h"

#include "framework/TruncToInt.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace detail
{
void CopyBounded(char* dest, char const* src, int capacity)
{
  if (capacity <= 0) return;
  size_t n = 0;
  if (src)
  {
    void const* nul = std::memchr(src, 0, static_cast<size_t>(capacity - 1));
    n = nul ? static_cast<size_t>(static_cast<char const*>(nul) - src)
            : static_cast<size_t>(capacity - 1);
    std::memcpy(dest, src, n);
  }
  dest[n] = 0;
}

void FormatFixed(double value, int precision, char* out, int capacity)
{
  if (capacity <= 0) return;
  // Enough for the longest fixed-point double (309 digits) with sign, point and 17 decimals.
  char buf[400];
  precision = std::clamp(precision, 0, 17);
  char const* text = buf;
  size_t len = 0;
  if (!std::isfinite(value))
  {
    text = std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    len = std::strlen(text);
  }
  else
  {
    auto const r =
        std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, precision);
    len = r.ec == std::errc() ? static_cast<size_t>(r.ptr - buf) : 0;
  }
  len = std::min(len, static_cast<size_t>(capacity - 1));
  std::memcpy(out, text, len);
  out[len] = 0;
}
} // namespace detail

namespace
{
void FormatInt(int value, char* out, int capacity)
{
  char buf[16];
  auto const r = std::to_chars(buf, buf + sizeof(buf), value);
  size_t const len = std::min(static_cast<size_t>(r.ptr - buf), static_cast<size_t>(capacity - 1));
  std::memcpy(out, buf, len);
  out[len] = 0;
}
} // namespace

void IParam::SetTexts(char const* name, char const* label, char const* group)
{
  detail::CopyBounded(mName, name, kParamTextLen);
  detail::CopyBounded(mLabel, label, kParamTextLen);
  detail::CopyBounded(mParamGroup, group, kParamTextLen);
}

void IParam::InitBool(char const* name, bool defaultValue, char const* label, char const* group)
{
  SetType(kTypeBool);
  SetTexts(name, label, group);
  mValue = mDefault = defaultValue ? 1.0 : 0.0;
  mMin = 0.0;
  mMax = 1.0;
  mStep = 1.0;
  mShape = 1.0;
  mDisplayPrecision = 0;
  SetDisplayText(0, "off");
  SetDisplayText(1, "on");
}

void IParam::InitEnum(char const* name, int defaultValue, int nEnums, char const* label,
                      char const* group)
{
  SetType(kTypeEnum);
  SetTexts(name, label, group);
  mValue = mDefault = defaultValue;
  mMin = 0.0;
  mMax = std::max(1.0, static_cast<double>(nEnums) - 1.0);
  mStep = 1.0;
  mShape = 1.0;
  mDisplayPrecision = 0;
}

void IParam::InitInt(char const* name, int defaultValue, int minVal, int maxVal, char const* label,
                     char const* group)
{
  SetType(kTypeInt);
  SetTexts(name, label, group);
  mValue = mDefault = defaultValue;
  mMin = minVal;
  mMax = std::max(static_cast<double>(minVal) + 1.0, static_cast<double>(maxVal));
  mStep = 1.0;
  mShape = 1.0;
  mDisplayPrecision = 0;
}

void IParam::InitDouble(char const* name, double defaultValue, double minVal, double maxVal,
                        double step, char const* label, char const* group, double shape)
{
  SetType(kTypeDouble);
  SetTexts(name, label, group);
  mValue = mDefault = defaultValue;
  mMin = minVal;
  mMax = std::max(minVal + step, maxVal);
  mStep = step;

  // Decimals shown: as many as it takes to make the step whole, at most six.
  int precision = 0;
  for (double s = step; precision < 6 && s != std::floor(s); s *= 10.0) ++precision;
  mDisplayPrecision = precision;

  SetShape(shape);
}

void IParam::SetDisplayText(int value, char const* text)
{
  DisplayText record;
  record.mValue = value;
  detail::CopyBounded(record.mText, text, kParamTextLen);
  mDisplayTexts.Add(record);
}

void IParam::SetShape(double shape)
{
  if (shape != 0.0 && std::isfinite(shape)) mShape = shape;
}

double IParam::DBToAmp() const
{
  return std::exp(mValue * 0.1151292546497);
}

void IParam::Set(double value)
{
  if (std::isfinite(value)) mValue = std::clamp(value, mMin, mMax);
}

int IParam::Int() const
{
  return TruncToInt(mValue);
}

double IParam::GetNonNormalized(double normalizedValue) const
{
  return mMin + (mMax - mMin) * std::pow(normalizedValue, mShape);
}

void IParam::SetNormalized(double normalizedValue)
{
  if (!std::isfinite(normalizedValue)) return;
  double v = GetNonNormalized(normalizedValue);
  if (mType != kTypeDouble) v = std::floor(v / mStep + 0.5) * mStep;
  // No lower clamp: a position below 0 is the caller's business.
  v = std::min(v, mMax);
  if (std::isfinite(v)) mValue = v;
}

double IParam::GetNormalized() const
{
  return GetNormalized(mValue);
}

double IParam::GetNormalized(double nonNormalizedValue) const
{
  if (std::isnan(nonNormalizedValue) || !(mMax > mMin)) return 0.0;
  double const v = std::clamp(nonNormalizedValue, mMin, mMax);
  return std::pow((v - mMin) / (mMax - mMin), 1.0 / mShape);
}

void IParam::GetDisplayForHost(double value, bool isNormalized, char* rDisplay,
                               bool withDisplayText) const
{
  if (isNormalized) value = GetNonNormalized(value);

  if (withDisplayText)
  {
    char const* text = GetDisplayText(TruncToInt(value));
    if (*text)
    {
      detail::CopyBounded(rDisplay, text, kParamTextLen);
      return;
    }
  }

  if (mNegateDisplay) value = -value;

  if (mDisplayPrecision > 0)
    detail::FormatFixed(value, mDisplayPrecision, rDisplay, kParamTextLen);
  else
    FormatInt(TruncToInt(value), rDisplay, kParamTextLen);
}

char const* IParam::GetLabelForHost() const
{
  return *GetDisplayText(TruncToInt(mValue)) ? "" : mLabel;
}

char const* IParam::GetDisplayText(int value) const
{
  DisplayText const* records = mDisplayTexts.Get();
  for (int i = 0, n = mDisplayTexts.GetSize(); i < n; ++i)
    if (records[i].mValue == value) return records[i].mText;
  return "";
}

char const* IParam::GetDisplayTextAtIdx(int idx, double* pValue) const
{
  if (idx < 0 || idx >= mDisplayTexts.GetSize()) return "";
  DisplayText const* record = mDisplayTexts.Get() + idx;
  if (pValue) *pValue = record->mValue;
  return record->mText;
}

bool IParam::MapDisplayText(char const* str, double* pValue) const
{
  if (!str) return false;
  DisplayText const* records = mDisplayTexts.Get();
  for (int i = 0, n = mDisplayTexts.GetSize(); i < n; ++i)
  {
    if (std::strcmp(str, records[i].mText) == 0)
    {
      *pValue = records[i].mValue;
      return true;
    }
  }
  return false;
}

void IParam::GetBounds(double* pMin, double* pMax) const
{
  *pMin = mMin;
  *pMax = mMax;
}
