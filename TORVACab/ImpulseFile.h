#pragma once
// Reading a user's impulse response for the cabinet: WAV, FLAC, AIFF and whatever else
// libsndfile reads, mono or stereo, at any rate (resampled with libsamplerate to the rate asked
// for), at most kMaxSeconds long (the rest is dropped, and said). Broken, empty, silent and
// non-audio files, and other channel counts, are refused with one line saying why. Not for the
// audio thread: it reads a file and allocates.

#include <string>
#include <vector>

struct ImpulseResponse
{
  std::vector<std::vector<double>> channels; // one or two, equally long
  double rate = 0;                           // of the taps
};

constexpr double kMaxImpulseSeconds = 2.0;

// True with *pOut filled (and *pNote set when the file was cut short, else cleared); false with
// *pWhy set and *pOut untouched.
bool LoadImpulseFile(const std::string& path, double rate, ImpulseResponse* pOut, std::string* pWhy,
                     std::string* pNote);
