// The built-in guitar phrase `torva demo` plays through the plug-in: a dry DI signal, as a
// guitar straight into an audio interface would give it.
//
// Plucked strings (Karplus-Strong with a fractional-delay allpass for exact tuning, a pick
// position comb and per-string decay) strum three bars of chords (Em, C, G and D), play a bar
// of single notes and end on a ringing Em, 10 s at 120 BPM. Two takes differ in their
// micro-timing and pick noise, like a double-tracked part; left and right of the demo.
// Everything is computed from fixed seeds: the same sample rate gives the same samples.

#pragma once

#include <cstdint>
#include <vector>

constexpr double kDemoSeconds = 10.0;
constexpr int kDemoSampleRate = 48000;
constexpr double kDemoPeak = 0.5; // each take is scaled to this peak (-6 dBFS)

// One take (0 or 1) of the phrase, mono, kDemoSeconds long.
std::vector<float> SynthesiseDemoTake(int sampleRate, int take);

// A single plucked string, alone and undamped: `frames` samples of a string tuned to
// `frequency` Hz, plucked with `velocity` (0..1) using the noise seed `seed`.
std::vector<float> PluckString(double frequency, double velocity, int sampleRate, int frames,
                               uint32_t seed);
