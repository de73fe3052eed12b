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

// The file's taps at its own rate, with the same checks and the same cut as LoadImpulseFile.
bool ReadImpulseFile(const std::string& path, ImpulseResponse* pOut, std::string* pWhy,
                     std::string* pNote);
// The same from a file's bytes in memory (a response compiled in); name is for the messages.
bool ReadImpulseBytes(const void* data, size_t size, const std::string& name, ImpulseResponse* pOut,
                      std::string* pWhy);
// The response at another rate (libsamplerate's best converter); pOut may be &in.
bool ResampleImpulse(const ImpulseResponse& in, double rate, ImpulseResponse* pOut,
                     std::string* pWhy);

// True with *pOut filled (and *pNote set when the file was cut short, else cleared); false with
// *pWhy set and *pOut untouched.
bool LoadImpulseFile(const std::string& path, double rate, ImpulseResponse* pOut, std::string* pWhy,
                     std::string* pNote);
