#pragma once

// Helpers shared by the amplifier tests: deterministic test signals, bit comparison and control
// of the SSE control word.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "tests/support/Random.h" // from the source root: the benchmarks include this file too

namespace torva_test
{

// One channel of varied material: segments of 50 to 400 ms cycling through noise, sines (quiet
// to clipping hard), DC steps and silence, with random levels.
inline std::vector<double> MakeSignal(int n, double fs, uint64_t seed)
{
  Rng rng(seed);
  std::vector<double> x(n);
  int j = 0, kind = static_cast<int>(seed % 4);
  while (j < n)
  {
    const int len = std::min(n - j, static_cast<int>(fs * rng.Real(0.05, 0.4)));
    const double level = std::pow(10.0, rng.Real(-3.0, 0.3));
    const double freq = rng.Real(20.0, fs * 0.45);
    const double phase = rng.Real(0.0, 6.283185307179586);
    for (int k = 0; k < len; ++k, ++j)
    {
      switch (kind)
      {
      case 0:
        x[j] = level * rng.Real(-1.0, 1.0);
        break;
      case 1:
        x[j] = level * std::sin(phase + 6.283185307179586 * freq * k / fs);
        break;
      case 2:
        x[j] = (k < len / 2 ? level : -0.5 * level);
        break;
      default:
        x[j] = 0.0;
        break;
      }
    }
    kind = (kind + 1) % 4;
  }
  return x;
}

inline bool SameBits(double a, double b)
{
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// Index of the first sample whose bits differ, or -1.
inline long FirstMismatch(const std::vector<double>& a, const std::vector<double>& b)
{
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameBits(a[i], b[i])) return static_cast<long>(i);
  return -1;
}

#if defined(__SSE2__)
constexpr unsigned kMxcsrDefault = 0x1F80;
constexpr unsigned kMxcsrFlush = 0x1F80 | 0x8000 | 0x0040; // + flush-to-zero, denormals-are-zero

// Runs a scope under a given SSE control word.
class Mxcsr
{
public:
  explicit Mxcsr(unsigned csr) : mSaved(_mm_getcsr()) { _mm_setcsr(csr); }
  ~Mxcsr() { _mm_setcsr(mSaved); }

private:
  unsigned mSaved;
};
#endif

} // namespace torva_test
