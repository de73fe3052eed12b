#pragma once
// Whether the suite runs in the AddressSanitizer/UndefinedBehaviorSanitizer build
// (TORVA_SANITIZED=1 in the environment, as the test script sets it), where loops of random
// cases run several times slower and so run fewer rounds.

#include <cstdlib>

namespace torva_test
{

inline bool Sanitized()
{
  char const* v = std::getenv("TORVA_SANITIZED");
  return v && v[0] && !(v[0] == '0' && v[1] == '\0');
}

// The loop count for this build: normal, or sanitized under the sanitizers.
inline int Scaled(int normal, int sanitized)
{
  return Sanitized() ? sanitized : normal;
}

} // namespace torva_test
