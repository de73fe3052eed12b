#include "TORVACab/ImpulseFile.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
// Quieter than this everywhere is no response at all (-120 dB full scale).
constexpr double kSilence = 1e-6;

std::string BaseName(const std::string& path)
{
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

bool LoadImpulseFile(const std::string& path, double rate, ImpulseResponse* pOut, std::string* pWhy,
                     std::string* pNote)
{
  const std::string name = BaseName(path);
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file)
  {
    *pWhy = "cannot read " + name + " as audio (" + sf_strerror(nullptr) + ")";
    return false;
  }
  std::string note;
  const sf_count_t most = (sf_count_t)std::ceil(kMaxImpulseSeconds * info.samplerate);
  const sf_count_t frames = std::min(info.frames, most);
  bool ok = info.channels == 1 || info.channels == 2;
  if (!ok)
    *pWhy = name + " has " + std::to_string(info.channels) + " channels; a cabinet takes 1 or 2";
  else if (info.frames <= 0)
    *pWhy = name + " holds no audio", ok = false;
  std::vector<float> interleaved;
  if (ok)
  {
    interleaved.resize((size_t)frames * (size_t)info.channels);
    if (sf_readf_float(file, interleaved.data(), frames) != frames)
      *pWhy = "cannot read all of " + name + " (" + sf_strerror(file) + ")", ok = false;
  }
  sf_close(file);
  if (!ok) return false;
  if (info.frames > most)
  {
    char text[160];
    std::snprintf(text, sizeof text, "%s is %.1f s long; its first %.0f s are used", name.c_str(),
                  (double)info.frames / info.samplerate, kMaxImpulseSeconds);
    note = text;
  }
  float peak = 0;
  for (float v : interleaved) peak = std::max(peak, std::fabs(v));
  if (!(peak > kSilence)) // NaN too
  {
    *pWhy = name + " is silent";
    return false;
  }

  // To the rate asked for, the channels together.
  std::vector<float> resampled = interleaved;
  long outFrames = (long)frames;
  if (info.samplerate != rate)
  {
    const double ratio = rate / info.samplerate;
    outFrames = (long)std::ceil(frames * ratio) + 1;
    resampled.assign((size_t)outFrames * (size_t)info.channels, 0.0f);
    SRC_DATA data{};
    data.data_in = interleaved.data();
    data.input_frames = (long)frames;
    data.data_out = resampled.data();
    data.output_frames = outFrames;
    data.src_ratio = ratio;
    if (const int err = src_simple(&data, SRC_SINC_BEST_QUALITY, info.channels))
    {
      *pWhy = "cannot resample " + name + " (" + src_strerror(err) + ")";
      return false;
    }
    outFrames = data.output_frames_gen;
  }
  ImpulseResponse ir;
  ir.rate = rate;
  ir.channels.assign((size_t)info.channels, std::vector<double>((size_t)outFrames));
  for (long n = 0; n < outFrames; ++n)
    for (int c = 0; c < info.channels; ++c)
      ir.channels[(size_t)c][(size_t)n] = resampled[(size_t)n * info.channels + c];
  *pOut = std::move(ir);
  *pNote = note;
  return true;
}
