#include "host/DemoPhrase.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr int kStrings = 6;
constexpr int kOpenNotes[kStrings] = {40, 45, 50, 55, 59, 64}; // E2 A2 D3 G3 B3 E4 (MIDI)
constexpr int kX = -1;                                         // string not played
constexpr double kBeat = 0.5;                                  // seconds at 120 BPM
constexpr double kMuteSeconds = 0.06; // T60 of a string damped by the next pluck on it

// Deterministic noise: a 32-bit linear congruential generator, uniform in [-1, 1).
struct Noise
{
  uint32_t mState;
  double Next()
  {
    mState = mState * 1664525u + 1013904223u;
    return (mState >> 8) * (2.0 / 16777216.0) - 1.0;
  }
};

double MidiToHz(int note)
{
  return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Seconds for a string's sound to fall by 60 dB: low strings ring longer.
double DecaySeconds(int note)
{
  return std::clamp(7.0 - 4.0 * (note - 40) / 27.0, 2.0, 7.0);
}

// One string from pluck to silence, added into `out` from frame `start`. From `muteAt` on
// (when another pluck takes the string) the loop loses energy fast.
//
// Loop per sample:  y = line[n - N];  a = (y + y1) / 2   (averager, +0.5 sample)
//                   ap = C * a + a1 - C * ap1            (allpass, +d samples)
//                   line[n] = g * ap
// with N + 0.5 + d = period, C = (1 - d) / (1 + d), g = 10^(-3 / (f * T60)).
void RenderPluck(std::vector<double>& out, long start, long muteAt, double frequency,
                 double velocity, int sampleRate, uint32_t seed)
{
  const double period = sampleRate / frequency;
  long n = static_cast<long>(std::floor(period - 0.5));
  double d = period - 0.5 - n;
  if (d < 0.1) // keep the allpass away from its poorly damped corner
  {
    --n;
    d += 1.0;
  }
  const double c = (1.0 - d) / (1.0 + d);
  const int note = static_cast<int>(std::lround(69.0 + 12.0 * std::log2(frequency / 440.0)));
  const double gRing = std::pow(10.0, -3.0 / (frequency * DecaySeconds(note)));
  const double gMute = std::pow(10.0, -3.0 / (frequency * kMuteSeconds));

  // Excitation: noise, darker for soft picking, through a comb for the pick position.
  std::vector<double> line(n);
  Noise noise{seed};
  const double smooth = 0.55 - 0.45 * std::clamp(velocity, 0.0, 1.0);
  double low = 0.0;
  for (long i = 0; i < n; ++i)
  {
    low += (1.0 - smooth) * (noise.Next() - low);
    line[i] = low;
  }
  const long pick = std::max(1L, std::lround(0.13 * n));
  for (long i = n - 1; i >= pick; --i) line[i] -= line[i - pick];
  double mean = 0.0;
  for (double v : line) mean += v;
  mean /= n;
  for (double& v : line) v = (v - mean) * velocity;

  const long end = std::min<long>(out.size(), std::max(muteAt, start) + sampleRate / 4);
  double y1 = 0.0, a1 = 0.0, ap1 = 0.0;
  long pos = 0;
  for (long t = start; t < end; ++t)
  {
    const double y = line[pos];
    const double a = 0.5 * (y + y1);
    const double ap = c * a + a1 - c * ap1;
    y1 = y;
    a1 = a;
    ap1 = ap;
    line[pos] = (t < muteAt ? gRing : gMute) * ap;
    if (++pos == n) pos = 0;
    out[t] += y;
  }
}

struct Stroke
{
  double mBeat;
  int mFrets[kStrings]; // low E to high E, kX where not played
  bool mUp;             // up-strokes start on the high string and sound lighter
  double mVelocity;
};

// Three bars of chords (Em, C, G then D), a bar of single notes, a final Em; beats at 120 BPM.
constexpr Stroke kScore[] = {
    {0.0, {0, 2, 2, 0, 0, 0}, false, 1.0}, // Em
    {2.0, {0, 2, 2, 0, 0, 0}, false, 0.75},
    {3.0, {kX, kX, 2, 0, 0, 0}, true, 0.6},
    {4.0, {kX, 3, 2, 0, 1, 0}, false, 0.95}, // C
    {6.0, {kX, 3, 2, 0, 1, 0}, false, 0.75},
    {7.0, {kX, kX, 2, 0, 1, 0}, true, 0.6},
    {8.0, {3, 2, 0, 0, 0, 3}, false, 0.95},   // G
    {10.0, {kX, kX, 0, 2, 3, 2}, false, 0.9}, // D
    {11.0, {kX, kX, 0, 2, 3, 2}, true, 0.65},
    // E minor pentatonic line, eighth notes
    {12.0, {kX, kX, kX, kX, 3, kX}, false, 0.85},
    {12.5, {kX, kX, kX, kX, kX, 0}, false, 0.8},
    {13.0, {kX, kX, kX, kX, kX, 3}, false, 0.9},
    {13.5, {kX, kX, kX, kX, kX, 5}, false, 0.95},
    {14.0, {kX, kX, kX, kX, kX, 3}, false, 0.8},
    {14.5, {kX, kX, kX, kX, kX, 0}, false, 0.8},
    {15.0, {kX, kX, kX, kX, 3, kX}, false, 0.85},
    {15.5, {kX, kX, kX, 2, kX, kX}, false, 0.9},
    {16.0, {0, 2, 2, 0, 0, 0}, false, 1.0}, // Em, left to ring
};
} // namespace

std::vector<float> PluckString(double frequency, double velocity, int sampleRate, int frames,
                               uint32_t seed)
{
  std::vector<double> mix(std::max(frames, 0), 0.0);
  RenderPluck(mix, 0, static_cast<long>(mix.size()), frequency, velocity, sampleRate, seed);
  return std::vector<float>(mix.begin(), mix.end());
}

std::vector<float> SynthesiseDemoTake(int sampleRate, int take)
{
  const long total = std::lround(kDemoSeconds * sampleRate);
  std::vector<double> mix(total, 0.0);
  Noise human{0x5EED0000u + static_cast<uint32_t>(take) * 7919u};

  // Pluck times per string first, so that every pluck knows when the next one damps it.
  struct Pluck
  {
    long mStart;
    int mNote;
    double mVelocity;
    uint32_t mSeed;
  };
  std::vector<Pluck> plucks[kStrings];
  for (const Stroke& stroke : kScore)
  {
    const double slop = take == 0 ? 0.0 : 0.006 * human.Next(); // the second take drifts
    const double spread = (stroke.mUp ? 0.008 : 0.014) * (1.2 - 0.4 * stroke.mVelocity);
    int order = 0;
    for (int k = 0; k < kStrings; ++k)
    {
      const int s = stroke.mUp ? kStrings - 1 - k : k;
      if (stroke.mFrets[s] == kX) continue;
      const double seconds = stroke.mBeat * kBeat + slop + spread * order++;
      const double velocity = std::clamp(
          stroke.mVelocity * (stroke.mUp ? 0.8 : 1.0) * (1.0 + 0.05 * human.Next()), 0.05, 1.0);
      const uint32_t seed =
          static_cast<uint32_t>(plucks[s].size() * 131 + s * 17 + take * 100003 + 1);
      plucks[s].push_back({std::lround(std::max(seconds, 0.0) * sampleRate),
                           kOpenNotes[s] + stroke.mFrets[s], velocity, seed});
    }
  }
  for (int s = 0; s < kStrings; ++s)
    for (size_t i = 0; i < plucks[s].size(); ++i)
    {
      const Pluck& p = plucks[s][i];
      const long muteAt = i + 1 < plucks[s].size() ? plucks[s][i + 1].mStart : total;
      if (p.mStart < total)
        RenderPluck(mix, p.mStart, muteAt, MidiToHz(p.mNote), p.mVelocity, sampleRate, p.mSeed);
    }

  // A pickup does not pass DC; a 20 Hz high-pass, then a short fade so the end is no click.
  //   y[n] = x[n] - x[n-1] + r * y[n-1],  r = exp(-2 pi 20 / rate)
  const double r = std::exp(-2.0 * M_PI * 20.0 / sampleRate);
  double x1 = 0.0, yPrev = 0.0, peak = 0.0;
  const long fade = sampleRate / 5;
  for (long t = 0; t < total; ++t)
  {
    const double y = mix[t] - x1 + r * yPrev;
    x1 = mix[t];
    yPrev = y;
    mix[t] = y * std::min(1.0, double(total - t) / fade);
    peak = std::max(peak, std::fabs(mix[t]));
  }
  const double scale = peak > 0.0 ? kDemoPeak / peak : 0.0;
  std::vector<float> result(total);
  for (long t = 0; t < total; ++t) result[t] = static_cast<float>(mix[t] * scale);
  return result;
}
