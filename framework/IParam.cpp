#include "framework/IParam.h"

#include "framework/TruncToInt.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

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

bool IsBlank(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trimmed(std::string_view text)
{
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// For a number text [p, stop) out of the double range: the power of ten of its first non-zero
// digit, exponent included ("0.001e+5" gives 2, "1e-400" gives -400), saturating far beyond
// any range, so that overflow (positive) and underflow (zero or less) can be told apart.
long long DecimalExponent(char const* p, char const* stop)
{
  long long digits = 0; // place of the first non-zero digit relative to the point
  bool seen = false, afterPoint = false;
  char const* c = p;
  for (; c < stop && *c != 'e' && *c != 'E'; ++c)
  {
    if (*c == '.')
      afterPoint = true;
    else if (!seen && *c == '0')
      digits -= afterPoint ? 1 : 0;
    else if (!seen)
    {
      seen = true;
      digits = afterPoint ? digits - 1 : 0;
    }
    else if (!afterPoint)
      digits = std::min(digits + 1, 1LL << 40);
  }
  long long exponent = 0;
  if (c < stop)
  {
    ++c;
    bool const negative = c < stop && *c == '-';
    if (c < stop && (*c == '-' || *c == '+')) ++c;
    for (; c < stop; ++c) exponent = std::min(exponent * 10 + (*c - '0'), 1LL << 40);
    if (negative) exponent = -exponent;
  }
  return digits + exponent;
}

// The decimal number text starts with (optional sign, digits with '.' as the point, optional
// exponent) into *pValue; the characters it takes, 0 when there is none. Only a digit or a
// point may follow the sign, so "inf", "nan" and "+-1" are no numbers. Beyond the double range
// it reads as an infinity, below it as 0.
size_t ReadNumber(std::string_view text, double* pValue)
{
  size_t i = 0;
  bool const negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) ++i;
  if (i == text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return 0;
  char const* first = text.data() + i;
  double v = 0.0;
  auto const [stop, ec] =
      std::from_chars(first, text.data() + text.size(), v, std::chars_format::general);
  if (ec == std::errc::result_out_of_range)
    v = DecimalExponent(first, stop) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  else if (ec != std::errc())
    return 0;
  *pValue = negative ? -v : v;
  return static_cast<size_t>(stop - text.data());
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

bool IParam::ParseText(char const* text, double* pPlainValue) const
{
  if (!text) return false;
  std::string_view const typed = Trimmed(text);
  if (typed.empty()) return false;
  DisplayText const* records = mDisplayTexts.Get();
  int const nTexts = mDisplayTexts.GetSize();
  for (int i = 0; i < nTexts; ++i)
  {
    if (Trimmed(records[i].mText) == typed)
    {
      *pPlainValue = std::clamp(static_cast<double>(records[i].mValue), mMin, mMax);
      return true;
    }
  }
  // Every value of such a parameter is named: a number would be a guess at one of them.
  if ((mType == kTypeEnum || mType == kTypeBool) && nTexts > 0) return false;

  double v = 0.0;
  size_t const used = ReadNumber(typed, &v);
  if (used == 0) return false;
  std::string_view const unit = Trimmed(typed.substr(used));
  if (!unit.empty() && unit != Trimmed(mLabel)) return false;
  if (mNegateDisplay) v = -v;
  *pPlainValue = std::clamp(v, mMin, mMax);
  return true;
}

void IParam::GetBounds(double* pMin, double* pMax) const
{
  *pMin = mMin;
  *pMax = mMax;
}
