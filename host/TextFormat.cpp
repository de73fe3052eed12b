#include "host/TextFormat.h"

#include <cctype>
#include <charconv>
#include <cmath>

std::string FormatFixed(double value, int decimals)
{
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0.0 ? "-inf" : "inf";
  char buf[400]; // the largest double in fixed notation has 309 digits before the point
  auto [end, ec] = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "?";
  std::string text(buf, end);
  // "-0.0" reads as a sign error to people; the value rounded to zero anyway.
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

std::string FormatDecibels(double peak)
{
  if (!(peak > 0.0)) return "-inf";
  return FormatFixed(20.0 * std::log10(peak), 1);
}

std::string FormatFourCC(int32_t code)
{
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8)
  {
    const unsigned char c = static_cast<unsigned char>(static_cast<uint32_t>(code) >> shift);
    text += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '.';
  }
  return text;
}

std::optional<long long> ParseInteger(std::string_view text)
{
  long long value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') // from_chars takes '-' but not '+'
  {
    ++first;
    if (first != last && *first == '-') return std::nullopt;
  }
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

std::string Lower(std::string text)
{
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
