// cabgen.cpp - speaker cabinets as cascades of biquads (the usual audio-EQ forms), rendered to
// impulse responses.
#include "tools/cabgen/cabgen.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

namespace cabgen
{

// Published figures for each kind: resonances of 12" guitar speakers in the 70-110 Hz range, a
// presence peak at 2-4 kHz, steep loss above 5-6 kHz; closed boxes keep their bass, open backs
// lose it to the rear wave and dip where front and back cancel; a close microphone hears a
// reflection from the floor or the room a millisecond or two late.
const Voicing kVoicings[] = {
    {"closed_4x12",
     "4x12 closed",
     "a closed-back 4x12 with 25 W ceramic 12\" speakers",
     70,
     2,
     95,
     5.0,
     1.4,
     0,
     0,
     800,
     1.0,
     2500,
     5.0,
     {1500, 3600},
     {2.5, 3.5},
     5000,
     1.6,
     0.18},
    {"open_2x12",
     "2x12 open",
     "an open-back 2x12 with alnico 12\" speakers",
     95,
     4,
     110,
     3.0,
     1.2,
     190,
     -4.0,
     1000,
     1.5,
     3000,
     4.0,
     {1800, 4200},
     {2.0, 3.0},
     6000,
     2.3,
     0.22},
    {"combo_1x12",
     "1x12 combo",
     "an open-back 1x12 combo",
     100,
     4,
     115,
     3.5,
     1.3,
     230,
     -3.0,
     800,
     3.0,
     2200,
     4.5,
     {1300, 3300},
     {2.5, 2.5},
     5500,
     1.2,
     0.25},
    {"small_1x10",
     "1x10 small",
     "a small open-back 1x10",
     125,
     4,
     140,
     3.0,
     1.5,
     280,
     -2.5,
     1200,
     2.0,
     3200,
     3.5,
     {2000, 4800},
     {2.0, 3.0},
     6500,
     0.9,
     0.28},
};
const int kNumVoicings = (int)(sizeof kVoicings / sizeof kVoicings[0]);

namespace
{

constexpr double kPi = 3.14159265358979323846;

struct Biquad
{
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
  double Run(double x)
  {
    const double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
  }
};

Biquad Normalised(double b0, double b1, double b2, double a0, double a1, double a2)
{
  Biquad f;
  f.b0 = b0 / a0, f.b1 = b1 / a0, f.b2 = b2 / a0, f.a1 = a1 / a0, f.a2 = a2 / a0;
  return f;
}

Biquad Peak(double hz, double db, double q)
{
  const double a = std::pow(10.0, db / 40.0), w = 2 * kPi * hz / kRate;
  const double alpha = std::sin(w) / (2 * q), c = std::cos(w);
  return Normalised(1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a);
}

Biquad Pass(double hz, double q, bool high)
{
  const double w = 2 * kPi * hz / kRate, alpha = std::sin(w) / (2 * q), c = std::cos(w);
  const double g = high ? (1 + c) / 2 : (1 - c) / 2;
  return Normalised(g, high ? -(1 + c) : 1 - c, g, 1 + alpha, -2 * c, 1 - alpha);
}

} // namespace

std::vector<double> Impulse(const Voicing& v)
{
  std::vector<Biquad> chain;
  // Butterworth sections: one for 2nd order, two (Q 0.54 and 1.31) for 4th.
  const std::vector<double> lowQs =
      v.lowCutOrder == 2 ? std::vector<double>{0.7071} : std::vector<double>{0.5412, 1.3066};
  for (double q : lowQs) chain.push_back(Pass(v.lowCutHz, q, true));
  chain.push_back(Peak(v.resonanceHz, v.resonanceDb, v.resonanceQ));
  if (v.cancelDb != 0) chain.push_back(Peak(v.cancelHz, v.cancelDb, 1.2));
  chain.push_back(Peak(v.honkHz, v.honkDb, 0.8));
  chain.push_back(Peak(v.presenceHz, v.presenceDb, 1.6));
  for (int i = 0; i < 2; ++i) chain.push_back(Peak(v.breakupHz[i], v.breakupDb[i], 5.0));
  for (double q : {0.5412, 1.3066}) chain.push_back(Pass(v.rollOffHz, q, false));

  std::vector<double> taps(kTaps);
  for (int n = 0; n < kTaps; ++n)
  {
    double x = n == 0 ? 1.0 : 0.0;
    for (Biquad& f : chain) x = f.Run(x);
    taps[n] = x;
  }
  // The reflection, then a fade over the last quarter so the response ends in silence.
  const int delay = (int)std::lround(v.micReflectionMs * kRate / 1000.0);
  for (int n = kTaps - 1; n >= delay; --n) taps[n] += v.micReflection * taps[n - delay];
  const int fade = kTaps / 4;
  for (int n = kTaps - fade; n < kTaps; ++n)
    taps[n] *= 0.5 + 0.5 * std::cos(kPi * (n - (kTaps - fade)) / fade);
  // 0 dB at the loudest frequency, found on a fine logarithmic grid.
  double peak = 0;
  for (double hz = 20; hz < 20000; hz *= 1.005) peak = std::max(peak, MagnitudeDb(taps, hz));
  const double scale = std::pow(10.0, -peak / 20.0);
  for (double& t : taps) t *= scale;
  return taps;
}

double MagnitudeDb(const std::vector<double>& taps, double hz)
{
  std::complex<double> sum;
  const double w = 2 * kPi * hz / kRate;
  for (size_t n = 0; n < taps.size(); ++n) sum += taps[n] * std::polar(1.0, -w * (double)n);
  return 20.0 * std::log10(std::max(std::abs(sum), 1e-12));
}

std::vector<unsigned char> WavBytes(const std::vector<double>& taps)
{
  const uint32_t data = (uint32_t)taps.size() * 4;
  std::vector<unsigned char> out(44 + (size_t)data);
  size_t at = 0;
  auto put = [&](uint32_t v, int bytes)
  {
    for (int i = 0; i < bytes; ++i) out[at++] = (unsigned char)(v >> (8 * i));
  };
  auto tag = [&](const char* t)
  {
    std::memcpy(&out[at], t, 4);
    at += 4;
  };
  tag("RIFF");
  put(36 + data, 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(3, 2); // IEEE float
  put(1, 2); // mono
  put(kRate, 4);
  put(kRate * 4, 4);
  put(4, 2);
  put(32, 2);
  tag("data");
  put(data, 4);
  for (double t : taps)
  {
    const float f = (float)t;
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put(bits, 4);
  }
  return out;
}

} // namespace cabgen
