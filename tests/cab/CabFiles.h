#pragma once
// Impulse response files for the cabinet's tests.

#include <sndfile.h>

#include <string>
#include <vector>

namespace cab_test
{
// A mono float WAV of the taps; false when it could not be written.
inline bool WriteTaps(const std::string& path, const std::vector<float>& taps, int rate = 48000)
{
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  const bool ok =
      sf_writef_float(f, taps.data(), (sf_count_t)taps.size()) == (sf_count_t)taps.size();
  return sf_close(f) == 0 && ok;
}
} // namespace cab_test
