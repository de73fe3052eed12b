#include "host/ParamText.h"

#include "host/VstHost.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

namespace
{
std::string Quoted(const std::string& text)
{
  return "\"" + text + "\"";
}

// "Master = -4.00 dB" as the plug-in shows the parameter now.
std::string Describe(VstHost& host, int index)
{
  std::string text = host.ParamName(index) + " = " + host.ParamDisplay(index);
  const std::string label = host.ParamLabel(index);
  if (!label.empty()) text += " " + label;
  return text;
}

// The leading decimal number of a display text ("  -3.50 dB" -> -3.5), read without the locale.
std::optional<double> LeadingNumber(const std::string& text)
{
  const char* first = text.c_str();
  const char* last = first + text.size();
  while (first != last && *first == ' ') ++first;
  if (first != last && *first == '+') ++first;
  double value = 0.0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end == first || !std::isfinite(value)) return std::nullopt;
  return value;
}

// For plug-ins that do not read values as text: find the normalised value whose display shows
// `target`, by bisection over the display (assumed monotonic, as parameter displays are).
// Targets beyond the ends are clamped to them.
bool SetByDisplay(VstHost& host, int index, double target)
{
  AEffect* e = host.Effect();
  auto displayAt = [&](float v)
  {
    e->setParameter(e, index, v);
    return LeadingNumber(host.ParamDisplay(index));
  };
  const auto d0 = displayAt(0.0f);
  const auto d1 = displayAt(1.0f);
  if (!d0 || !d1) return false;
  const bool rising = *d1 >= *d0;
  float lo = 0.0f, hi = 1.0f;
  for (int i = 0; i < 40 && hi - lo > 1e-7f; ++i)
  {
    const float mid = 0.5f * (lo + hi);
    const auto d = displayAt(mid);
    if (!d) return false;
    if ((*d < target) == rising)
      lo = mid;
    else
      hi = mid;
  }
  // The closer end of the final interval (by display) wins.
  const auto dLo = displayAt(lo);
  const auto dHi = displayAt(hi);
  const bool useHi = dHi && (!dLo || std::fabs(*dHi - target) < std::fabs(*dLo - target));
  e->setParameter(e, index, useHi ? hi : lo);
  return true;
}

std::string Trim(const std::string& text)
{
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The number a --set value states: text that reads whole as a finite decimal number, optionally
// followed by the parameter's label ("-3.5", "+2", "3 dB", "3dB") or by "%", the unit TORVA's
// parameters once showed and scripts may still write; without the unit. nullopt for anything
// else ("abc", "3 apples", "1e999", "inf", "").
std::optional<std::string> NumberText(const std::string& value, const std::string& label)
{
  const std::string text = Trim(value);
  const char* first = text.c_str();
  const char* last = first + text.size();
  const char* start = first != last && *first == '+' ? first + 1 : first;
  if (start == last || *start == '-' || *start == '+') start = first; // "+-3" stays invalid
  double number = 0.0;
  auto [end, ec] = std::from_chars(start, last, number);
  if (ec != std::errc() || end == start || !std::isfinite(number)) return std::nullopt;
  if (!std::isdigit(static_cast<unsigned char>(*start)) && *start != '-' && *start != '.')
    return std::nullopt; // "inf", "nan"
  const std::string rest = Trim(std::string(end, last));
  const bool unit =
      rest.empty() || rest == "%" || (!label.empty() && SameIgnoringCase(rest, Trim(label)));
  if (!unit) return std::nullopt;
  return std::string(first, end);
}

// What the parameter displays across its range: the distinct texts with the first normalised
// value showing each, in order. The parameter is left as it was found.
struct DisplayStop
{
  std::string mText;
  float mValue;
};
std::vector<DisplayStop> ProbeDisplays(VstHost& host, int index)
{
  AEffect* e = host.Effect();
  const float saved = e->getParameter(e, index);
  constexpr int kSteps = 200;
  std::vector<DisplayStop> stops;
  for (int k = 0; k <= kSteps; ++k)
  {
    const float v = static_cast<float>(k) / kSteps;
    e->setParameter(e, index, v);
    const std::string text = Trim(host.ParamDisplay(index));
    if (std::none_of(stops.begin(), stops.end(),
                     [&](const DisplayStop& s) { return s.mText == text; }))
      stops.push_back({text, v});
  }
  e->setParameter(e, index, saved);
  return stops;
}

// The one-line account of what a parameter accepts, from what it displays.
std::string Accepted(VstHost& host, int index, const std::vector<DisplayStop>& stops)
{
  const std::string label = Trim(host.ParamLabel(index));
  bool numbers = !stops.empty();
  for (const DisplayStop& s : stops) numbers = numbers && NumberText(s.mText, label).has_value();
  if (numbers)
    return "expected a number from " + stops.front().mText + " to " + stops.back().mText +
           (label.empty() ? "" : " (" + label + ")");
  std::string list;
  for (const DisplayStop& s : stops) list += (list.empty() ? "" : ", ") + Quoted(s.mText);
  return "expected a number or one of " + list;
}

} // namespace

std::string ParamNames(VstHost& host)
{
  std::string list;
  for (int i = 0; i < host.Effect()->numParams; ++i)
    list += (i ? ", " : "") + Quoted(host.ParamName(i));
  return list.empty() ? "none" : list;
}

int SettingParam(VstHost& host, const std::string& setting, size_t* split)
{
  int index = -1;
  for (size_t eq = setting.rfind('='); eq != std::string::npos && index < 0;
       eq = eq ? setting.rfind('=', eq - 1) : std::string::npos)
  {
    index = host.FindParam(setting.substr(0, eq));
    if (split) *split = eq;
  }
  return index;
}

bool ApplySetting(VstHost& host, const std::string& setting, std::string& applied,
                  std::string& error)
{
  size_t split = std::string::npos;
  const int index = SettingParam(host, setting, &split);
  if (setting.find('=') == std::string::npos)
  {
    error = "--set needs NAME=VALUE, got " + Quoted(setting);
    return false;
  }
  if (index < 0)
  {
    error = "unknown parameter " + Quoted(setting.substr(0, setting.find('='))) +
            "; valid names: " + ParamNames(host);
    return false;
  }
  const std::string value = setting.substr(split + 1);
  // Many plug-ins read text leniently ("abc" as 0), so only a number or a text the parameter
  // itself displays is handed over; anything else is refused before it changes the parameter.
  if (const auto numberText = NumberText(value, host.ParamLabel(index)))
  {
    const auto number = LeadingNumber(*numberText);
    if (!host.SetParamFromText(index, *numberText) &&
        !(number && SetByDisplay(host, index, *number)))
    {
      error =
          "the plug-in did not accept " + Quoted(value) + " for " + Quoted(host.ParamName(index));
      return false;
    }
    applied = Describe(host, index);
    return true;
  }
  const std::vector<DisplayStop> stops = ProbeDisplays(host, index);
  const std::string text = Trim(value);
  for (const DisplayStop& s : stops)
    if (!text.empty() && SameIgnoringCase(s.mText, text))
    {
      host.Effect()->setParameter(host.Effect(), index, s.mValue);
      applied = Describe(host, index);
      return true;
    }
  error = "--set " + setting + ": " + Accepted(host, index, stops);
  return false;
}
