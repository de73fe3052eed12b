#pragma once
// The tests' one random generator: seeded, and the same sequence on every machine and library
// (the standard distributions are not), so a failing seed fails again anywhere.
//
//   torva_test::Rng rng(42);
//   rng.Int(-3, 10);   // inclusive
//   rng.Real(0.5, 2);  // [0.5, 2)
//   rng.Chance(20);    // true one time in five

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torva_test
{

// xorshift64*.
class Rng
{
public:
  explicit Rng(uint64_t seed) : mState(seed * 0x9E3779B97F4A7C15ull + 1) {}

  uint64_t Next()
  {
    mState ^= mState >> 12;
    mState ^= mState << 25;
    mState ^= mState >> 27;
    return mState * 0x2545F4914F6CDD1Dull;
  }
  uint32_t U32() { return static_cast<uint32_t>(Next() >> 32); }
  unsigned char Byte() { return static_cast<unsigned char>(Next() >> 56); }
  std::vector<unsigned char> Bytes(size_t n)
  {
    std::vector<unsigned char> b(n);
    for (auto& c : b) c = Byte();
    return b;
  }

  // Uniform in [lo, hi], both included; lo <= hi.
  int Int(int lo, int hi)
  {
    return lo + static_cast<int>(Next() % static_cast<uint64_t>(int64_t(hi) - lo + 1));
  }
  // An index below n (n > 0).
  size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
  bool Chance(int percent) { return Int(0, 99) < percent; }

  // Uniform in [0, 1), 53 bits.
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // Uniform in [lo, hi).
  double Real(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

private:
  uint64_t mState;
};

} // namespace torva_test
