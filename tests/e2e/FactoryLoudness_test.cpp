// The factory presets' loudness: the built-in phrase through TORVA and TORVA Cab, as `torva demo`
// plays it, once per preset, measured as EBU R128 integrated loudness. Switching from one preset
// to another must not jump by more than 3 dB, nor clip. The table goes to stdout, the defaults
// first as a reference outside the band (TORVA's play 6 dB quieter than its presets).

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "TORVA/TORVAPresets.h"
#include "TORVACab/CabPresets.h"
#include "host/DemoPhrase.h"
#include "support/CliHarness.h"
#include "support/Sanitized.h"

namespace
{
constexpr double kBandDb = 3.0;

struct Loudness
{
  std::string name;
  double lufs = 0.0, peakDb = 0.0, truePeakDb = 0.0;
};

Loudness Measure(const std::string& name, const Audio& a)
{
  Loudness m{name};
  ebur128_state* st =
      ebur128_init(static_cast<unsigned>(a.mChannels), static_cast<unsigned long>(a.mRate),
                   EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK);
  EXPECT_NE(st, nullptr);
  if (!st) return m;
  EXPECT_EQ(ebur128_add_frames_double(st, a.mSamples.data(), static_cast<size_t>(a.Frames())),
            EBUR128_SUCCESS);
  EXPECT_EQ(ebur128_loudness_global(st, &m.lufs), EBUR128_SUCCESS);
  double peak = 0.0, truePeak = 0.0;
  for (unsigned c = 0; c < static_cast<unsigned>(a.mChannels); ++c)
  {
    double p = 0.0, t = 0.0;
    ebur128_sample_peak(st, c, &p);
    ebur128_true_peak(st, c, &t);
    peak = std::max(peak, p);
    truePeak = std::max(truePeak, t);
  }
  m.peakDb = 20.0 * std::log10(peak);
  m.truePeakDb = 20.0 * std::log10(truePeak);
  ebur128_destroy(&st);
  return m;
}

class FactoryLoudness : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (torva_test::Sanitized()) GTEST_SKIP() << "a level check, not a memory one";
    if (!Exists(mAmp) || !Exists(mCab)) GTEST_SKIP() << "TORVA.so and TORVACab.so are not built";
    Audio phrase;
    phrase.mChannels = 2;
    phrase.mRate = kDemoSampleRate;
    phrase.mFormat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    const std::vector<float> left = SynthesiseDemoTake(kDemoSampleRate, 0),
                             right = SynthesiseDemoTake(kDemoSampleRate, 1);
    for (size_t i = 0; i < left.size(); ++i)
      phrase.mSamples.insert(phrase.mSamples.end(), {left[i], right[i]});
    WriteAudio(mDir / "phrase.wav", phrase);
  }

  // The phrase through the amplifier and the cabinet with the given presets (none: defaults).
  Loudness Render(const std::string& name, const std::vector<std::string>& presets)
  {
    std::vector<std::string> args = {"render", mAmp, mCab, mDir / "phrase.wav", mDir / "out.wav"};
    for (const std::string& p : presets) args.insert(args.end(), {"--preset", p});
    const RunResult r = RunTorva(args);
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    if (r.mExit != 0) return Loudness{name, NAN, NAN, NAN};
    return Measure(name, ReadAudio(mDir / "out.wav"));
  }

  // Prints the table and checks that the loudest and the quietest are within the band.
  static void ExpectWithinBand(const char* title, const Loudness& reference,
                               const std::vector<Loudness>& rows)
  {
    std::printf("%s\n  %-18s %9s %9s %9s\n", title, "preset", "LUFS", "peak dB", "true pk");
    for (const Loudness& m : {reference})
      std::printf("  %-18s %9.2f %9.2f %9.2f\n", m.name.c_str(), m.lufs, m.peakDb, m.truePeakDb);
    for (const Loudness& m : rows)
      std::printf("  %-18s %9.2f %9.2f %9.2f\n", m.name.c_str(), m.lufs, m.peakDb, m.truePeakDb);
    const auto [lo, hi] =
        std::minmax_element(rows.begin(), rows.end(),
                            [](const Loudness& a, const Loudness& b) { return a.lufs < b.lufs; });
    std::printf("  spread %.2f dB\n", hi->lufs - lo->lufs);
    EXPECT_LE(hi->lufs - lo->lufs, kBandDb) << lo->name << " against " << hi->name;
    for (const Loudness& m : rows) EXPECT_LT(m.truePeakDb, 0.0) << m.name << " clips";
  }

  std::string mAmp = BinaryPath("TORVA.so"), mCab = BinaryPath("TORVACab.so");
  TempDir mDir;
};

TEST_F(FactoryLoudness, AmplifierPresetsStayWithinTheBand)
{
  std::vector<Loudness> rows;
  for (int k = 0; k < kNumTORVAPresets; ++k)
    rows.push_back(Render(kTORVAPresets[k].name,
                          {BinaryPath("TORVA.presets/") + kTORVAPresets[k].name + ".fxp"}));
  ExpectWithinBand("TORVA's presets, through TORVA Cab's defaults", Render("(defaults)", {}), rows);
}

TEST_F(FactoryLoudness, CabinetPresetsStayWithinTheBand)
{
  // The cabinet's presets keep the level a user set on the amplifier: the defaults in the band.
  std::vector<Loudness> rows = {Render("(defaults)", {})};
  for (int k = 0; k < kNumCabPresets; ++k)
    rows.push_back(Render(kCabPresets[k].name,
                          {BinaryPath("TORVACab.presets/") + kCabPresets[k].name + ".fxp"}));
  ExpectWithinBand("TORVA Cab's presets, after TORVA's defaults", rows.front(),
                   {rows.begin() + 1, rows.end()});
}

} // namespace
