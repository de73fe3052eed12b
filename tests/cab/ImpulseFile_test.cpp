// Users' impulse response files, one row each: what is refused (and the line saying why), what
// is taken, how long it comes out at 48 kHz, and what is said about a file cut short.

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <vector>

#include "TORVACab/ImpulseFile.h"
#include "support/TempFiles.h"

namespace
{
// A decaying noise burst of the given length, rate, channels and format; silent when asked.
void WriteResponse(const std::string& path, int rate, int channels, double seconds, int format,
                   bool silent = false)
{
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  const sf_count_t frames = (sf_count_t)std::lround(seconds * rate);
  std::vector<float> data((size_t)frames * channels);
  for (size_t i = 0; i < data.size() && !silent; ++i)
    data[i] = (float)(std::sin(i * 12.9898) * std::exp(-3.0 * (double)i / data.size()) * 0.5);
  sf_writef_float(f, data.data(), frames);
  sf_close(f);
}

TEST(ImpulseFile, FailureTable)
{
  torva_test::TempDir dir;
  const int wav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  const struct
  {
    const char* file;
    int rate, channels;
    double seconds;
    int format;          // 0: not written by libsndfile (see below)
    const char* refused; // part of the reason, null when taken
    int frames;          // at 48 kHz when taken
    const char* note;    // part of the note, null for none
  } rows[] = {
      {"missing.wav", 0, 0, 0, -1, "cannot read missing.wav", 0, nullptr},
      {"empty.wav", 48000, 1, 0, wav, "holds no audio", 0, nullptr},
      {"silent.wav", 48000, 1, 0.1, wav, "is silent", 0, nullptr},
      {"notes.wav", 0, 0, 0, 0, "cannot read notes.wav as audio", 0, nullptr},
      {"six.wav", 48000, 6, 0.1, wav, "6 channels", 0, nullptr},
      {"mono.flac", 48000, 1, 0.5, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, nullptr, 24000, nullptr},
      {"stereo.aiff", 48000, 2, 0.5, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, nullptr, 24000, nullptr},
      {"eight-bit.wav", 48000, 1, 0.5, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, nullptr, 24000, nullptr},
      {"long.wav", 48000, 1, 10, wav, nullptr, 96000, "is 10.0 s long; its first 2 s are used"},
      {"low.wav", 8000, 1, 0.5, wav, nullptr, 24000, nullptr},
      {"high.wav", 192000, 2, 0.5, wav, nullptr, 24000, nullptr},
  };
  for (const auto& row : rows)
  {
    SCOPED_TRACE(row.file);
    const std::string path = dir / row.file;
    if (row.format > 0)
      WriteResponse(path, row.rate, row.channels, row.seconds, row.format,
                    std::string(row.file) == "silent.wav");
    if (row.format == 0) torva_test::WriteText(path, "not a sound\n");
    ImpulseResponse ir;
    ir.rate = -1;
    std::string why, note = "stale";
    const bool ok = LoadImpulseFile(path, 48000, &ir, &why, &note);
    ASSERT_EQ(ok, row.refused == nullptr) << why;
    if (!ok)
    {
      EXPECT_NE(why.find(row.refused), std::string::npos) << why;
      EXPECT_EQ(ir.rate, -1); // untouched
      continue;
    }
    ASSERT_EQ(ir.channels.size(), (size_t)row.channels);
    EXPECT_EQ(ir.rate, 48000);
    EXPECT_NEAR((double)ir.channels[0].size(), row.frames, 2);
    EXPECT_EQ(ir.channels.back().size(), ir.channels[0].size());
    if (row.note)
      EXPECT_NE(note.find(row.note), std::string::npos) << note;
    else
      EXPECT_EQ(note, "");
  }
}
} // namespace
