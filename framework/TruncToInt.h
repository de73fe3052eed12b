#pragma once
// Conversion of a double to int that is defined for every input.
//
// A plain cast is undefined for NaN and for values beyond the int range; parameters, rates and
// sample positions can be any of those when a host hands over garbage. Truncates toward zero,
// saturates at INT_MIN and INT_MAX, and gives 0 for NaN. Header-only and dependency-free, so the
// product's signal path can use it without the rest of the framework.

#include <climits>

inline int TruncToInt(double v)
{
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}
