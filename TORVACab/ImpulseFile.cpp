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

namespace
{
// An impulse response held in memory, for libsndfile's virtual I/O.
struct MemoryFile
{
  const unsigned char* data;
  sf_count_t size, pos;
};

sf_count_t MemoryLength(void* user)
{
  return static_cast<MemoryFile*>(user)->size;
}

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user)
{
  auto* f = static_cast<MemoryFile*>(user);
  const sf_count_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
  f->pos = std::clamp<sf_count_t>(base + offset, 0, f->size);
  return f->pos;
}

sf_count_t MemoryRead(void* out, sf_count_t count, void* user)
{
  auto* f = static_cast<MemoryFile*>(user);
  const sf_count_t n = std::clamp<sf_count_t>(count, 0, f->size - f->pos);
  std::copy_n(f->data + f->pos, n, static_cast<unsigned char*>(out));
  f->pos += n;
  return n;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*)
{
  return 0;
}

sf_count_t MemoryTell(void* user)
{
  return static_cast<MemoryFile*>(user)->pos;
}

// The taps of an opened sound at its own rate; closes it.
bool ReadOpened(SNDFILE* file, const SF_INFO& info, const std::string& name, ImpulseResponse* pOut,
                std::string* pWhy, std::string* pNote)
{
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
  ImpulseResponse ir;
  ir.rate = info.samplerate;
  ir.channels.assign((size_t)info.channels, std::vector<double>((size_t)frames));
  for (sf_count_t n = 0; n < frames; ++n)
    for (int c = 0; c < info.channels; ++c)
      ir.channels[(size_t)c][(size_t)n] = interleaved[(size_t)n * info.channels + c];
  *pOut = std::move(ir);
  *pNote = note;
  return true;
}
} // namespace

bool ReadImpulseFile(const std::string& path, ImpulseResponse* pOut, std::string* pWhy,
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
  return ReadOpened(file, info, name, pOut, pWhy, pNote);
}

bool ReadImpulseBytes(const void* data, size_t size, const std::string& name, ImpulseResponse* pOut,
                      std::string* pWhy)
{
  MemoryFile memory{static_cast<const unsigned char*>(data), (sf_count_t)size, 0};
  SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
  SF_INFO info{};
  SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
  if (!file)
  {
    *pWhy = "cannot read " + name + " as audio (" + sf_strerror(nullptr) + ")";
    return false;
  }
  std::string note;
  return ReadOpened(file, info, name, pOut, pWhy, &note);
}

bool ResampleImpulse(const ImpulseResponse& in, double rate, ImpulseResponse* pOut,
                     std::string* pWhy)
{
  const int nch = (int)in.channels.size();
  const long frames = nch ? (long)in.channels[0].size() : 0;
  if (in.rate == rate || nch == 0 || frames == 0)
  {
    *pOut = in;
    pOut->rate = rate;
    return true;
  }
  // Together, as libsamplerate takes interleaved channels.
  std::vector<float> interleaved((size_t)frames * nch);
  for (long n = 0; n < frames; ++n)
    for (int c = 0; c < nch; ++c) interleaved[(size_t)n * nch + c] = (float)in.channels[c][n];
  const double ratio = rate / in.rate;
  long outFrames = (long)std::ceil(frames * ratio) + 1;
  std::vector<float> resampled((size_t)outFrames * nch, 0.0f);
  SRC_DATA data{};
  data.data_in = interleaved.data();
  data.input_frames = frames;
  data.data_out = resampled.data();
  data.output_frames = outFrames;
  data.src_ratio = ratio;
  if (const int err = src_simple(&data, SRC_SINC_BEST_QUALITY, nch))
  {
    *pWhy = std::string("cannot resample (") + src_strerror(err) + ")";
    return false;
  }
  outFrames = data.output_frames_gen;
  // The same response sampled more (or less) densely sums more (or fewer) taps: scaled, so that
  // it sounds as loud at every rate.
  const double gain = in.rate / rate;
  ImpulseResponse ir;
  ir.rate = rate;
  ir.channels.assign((size_t)nch, std::vector<double>((size_t)outFrames));
  for (long n = 0; n < outFrames; ++n)
    for (int c = 0; c < nch; ++c) ir.channels[c][n] = resampled[(size_t)n * nch + c] * gain;
  *pOut = std::move(ir);
  return true;
}

bool LoadImpulseFile(const std::string& path, double rate, ImpulseResponse* pOut, std::string* pWhy,
                     std::string* pNote)
{
  ImpulseResponse raw;
  std::string note;
  if (!ReadImpulseFile(path, &raw, pWhy, &note)) return false;
  if (!ResampleImpulse(raw, rate, &raw, pWhy))
  {
    *pWhy = BaseName(path) + ": " + *pWhy;
    return false;
  }
  *pOut = std::move(raw);
  *pNote = note;
  return true;
}
