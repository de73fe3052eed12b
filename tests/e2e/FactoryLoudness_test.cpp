// The factory presets' loudness: the built-in phrase through TORVA and TORVA Cab, as `torva demo`
// plays it, once per preset, measured as EBU R128 integrated loudness. Switching from one preset
// to another must not jump by more than 3 dB, nor clip. The tables go to stdout, the defaults
// first (TORVA's play 6 dB quieter than its presets, a reference; TORVA Cab's are in its band).

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
struct Loudness
{
  std::string name;
  double lufs = NAN, peakDb = NAN; // integrated; sample peak
};

class FactoryLoudness : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (torva_test::Sanitized()) GTEST_SKIP() << "a level check, not a memory one";
    if (!Exists(mAmp) || !Exists(mCab)) GTEST_SKIP() << "TORVA.so and TORVACab.so are not built";
    Audio phrase{2, kDemoSampleRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {}};
    const std::vector<float> left = SynthesiseDemoTake(kDemoSampleRate, 0),
                             right = SynthesiseDemoTake(kDemoSampleRate, 1);
    for (size_t i = 0; i < left.size(); ++i)
      phrase.mSamples.insert(phrase.mSamples.end(), {left[i], right[i]});
    WriteAudio(mDir / "phrase.wav", phrase);
  }

  // The phrase through the amplifier and the cabinet with the given preset files (none: the
  // defaults), measured.
  Loudness Render(const std::string& name, const std::vector<std::string>& presets)
  {
    std::vector<std::string> args = {"render", mAmp, mCab, mDir / "phrase.wav", mDir / "out.wav"};
    for (const std::string& p : presets) args.insert(args.end(), {"--preset", p});
    const RunResult r = RunTorva(args);
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    const Audio a = ReadAudio(mDir / "out.wav");
    Loudness m{name, NAN, 20.0 * std::log10(Peak(a))};
    ebur128_state* st =
        r.mExit ? nullptr
                : ebur128_init((unsigned)a.mChannels, (unsigned long)a.mRate, EBUR128_MODE_I);
    if (!st) return m;
    ebur128_add_frames_double(st, a.mSamples.data(), (size_t)a.Frames());
    ebur128_loudness_global(st, &m.lufs);
    ebur128_destroy(&st);
    return m;
  }

  // Prints the table; the loudest and the quietest of rows within 3 dB, none clipping.
  static void ExpectWithinBand(const char* title, const std::vector<Loudness>& rows)
  {
    std::printf("%s\n  %-18s %8s %8s\n", title, "preset", "LUFS", "peak dB");
    for (const Loudness& m : rows)
      std::printf("  %-18s %8.2f %8.2f\n", m.name.c_str(), m.lufs, m.peakDb);
    const auto [lo, hi] = std::minmax_element(rows.begin(), rows.end(),
                                              [](auto& a, auto& b) { return a.lufs < b.lufs; });
    std::printf("  spread %.2f dB\n", hi->lufs - lo->lufs);
    EXPECT_LE(hi->lufs - lo->lufs, 3.0) << lo->name << " against " << hi->name;
    for (const Loudness& m : rows) EXPECT_LT(m.peakDb, 0.0) << m.name << " clips";
  }

  std::string mAmp = BinaryPath("TORVA.so"), mCab = BinaryPath("TORVACab.so");
  torva_test::TempDir mDir;
};

TEST_F(FactoryLoudness, EveryProductsPresetsStayWithinTheBand)
{
  const Loudness defaults = Render("(defaults)", {});
  std::printf("  %-18s %8.2f %8.2f\n", defaults.name.c_str(), defaults.lufs, defaults.peakDb);
  std::vector<Loudness> amp, cab = {defaults};
  for (int k = 0; k < kNumTORVAPresets; ++k)
    amp.push_back(Render(kTORVAPresets[k].name,
                         {BinaryPath("TORVA.presets/") + kTORVAPresets[k].name + ".fxp"}));
  ExpectWithinBand("TORVA's presets, through TORVA Cab's defaults", amp);
  // The cabinet's presets keep the level a user set on the amplifier: the defaults in the band.
  for (int k = 0; k < kNumCabPresets; ++k)
    cab.push_back(Render(kCabPresets[k].name,
                         {BinaryPath("TORVACab.presets/") + kCabPresets[k].name + ".fxp"}));
  ExpectWithinBand("TORVA Cab's presets, after TORVA's defaults", cab);
}

} // namespace
