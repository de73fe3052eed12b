// cabgen.h - the built-in speaker cabinets of TORVA Cab: each an impulse response made here from
// what is published about such cabinets, speakers and microphone placements.
#pragma once

#include <string>
#include <vector>

namespace cabgen
{

constexpr int kRate = 48000; // every response is made at this rate and resampled on load
constexpr int kTaps = 4096;  // 85 ms: the cabinet's low resonance has died away by then

// One voicing, in the terms speaker and cabinet data sheets and recording guides use.
struct Voicing
{
  const char* file;       // base name in resources/ir
  const char* name;       // shown to the user
  const char* modelledOn; // the kind of cabinet it stands for
  double lowCutHz;        // where the cabinet's bass falls away
  int lowCutOrder;        // 2 (closed back: 12 dB/octave) or 4 (open back: 24 dB/octave)
  double resonanceHz, resonanceDb, resonanceQ; // the speaker in the box
  double cancelHz, cancelDb;             // an open back's front/rear cancellation (0 dB: none)
  double honkHz, honkDb;                 // a broad midrange colour of the cone
  double presenceHz, presenceDb;         // the presence peak
  double breakupHz[2], breakupDb[2];     // narrow cone break-up modes
  double rollOffHz;                      // the top end falls from here, 24 dB/octave
  double micReflectionMs, micReflection; // a reflection the microphone hears (floor, back)
};

extern const Voicing kVoicings[];
extern const int kNumVoicings;

// The response of a voicing: kTaps samples at kRate, its magnitude response peaking at 0 dB.
std::vector<double> Impulse(const Voicing& v);

// The magnitude of a response at a frequency, in dB.
double MagnitudeDb(const std::vector<double>& taps, double hz);

// The response as a 32-bit float mono WAV file's bytes, the same bytes every time.
std::vector<unsigned char> WavBytes(const std::vector<double>& taps);

} // namespace cabgen
