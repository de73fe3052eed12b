#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "framework/TruncToInt.h"

// One rule for every double the framework, the adapter and the signal path convert.
TEST(TruncToInt, EveryDoubleHasAnAnswer)
{
  const double inf = std::numeric_limits<double>::infinity();
  const struct
  {
    double in;
    int out;
  } kCases[] = {{std::nan(""), 0},
                {-std::nan(""), 0},
                {inf, INT_MAX},
                {-inf, INT_MIN},
                {2147483647.9, INT_MAX},
                {2147483648.0, INT_MAX},
                {-2147483648.9, INT_MIN},
                {-2147483649.0, INT_MIN},
                {-0.9, 0},
                {0.9, 0},
                {-2.5, -2},
                {44100.99, 44100}};
  for (const auto& c : kCases) EXPECT_EQ(TruncToInt(c.in), c.out) << c.in;
}
