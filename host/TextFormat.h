// Numbers as text for the `torva` host, always with '.' as the decimal point.
//
// Plug-ins are free to call setlocale() inside our process, so nothing here goes through
// printf or strtod: formatting and parsing use <charconv>, which ignores the locale.

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Fixed-point text with `decimals` digits after the point ("-3.10"); non-finite values give
// "nan", "inf" or "-inf".
std::string FormatFixed(double value, int decimals);

// A linear peak as decibels relative to full scale, one decimal ("-6.0"); 0 gives "-inf".
std::string FormatDecibels(double peak);

// A four-character code as the interface packs it ('TOR1'), non-printable bytes as '.'.
std::string FormatFourCC(int32_t code);

// ASCII letters in lower case, for names matched without regard to case.
std::string Lower(std::string text);

// Whole decimal number, nothing else around it; nullopt when the text is not exactly that or
// does not fit.
std::optional<long long> ParseInteger(std::string_view text);
