#include "host/AudioFile.h"
#include "host/ChainSettings.h"
#include "host/ChannelPlan.h"
#include "host/DemoPhrase.h"
#include "host/RenderPipeline.h"
#include "host/TextFormat.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/locale.h"

TEST(OutputFormat, FollowsTheInputUnlessTheExtensionSaysOtherwise)
{
  const int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  const int wavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  const int flac24 = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  const struct
  {
    int mInput;
    const char* mPath;
    int mExpected;
  } cases[] = {
      {wav16, "out.wav", wav16},
      {wav16, "out", wav16}, // no extension: the input's format
      {wav16, "out.unknownext", wav16},
      {wav16, "dir.flac/out", wav16}, // a dot in a folder is no extension
      {wav16, "OUT.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {wavFloat, "out.flac", flac24}, // FLAC holds no floats
      {flac24, "out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {wavFloat, "out.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
      {wav16, "out.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "out.flac", flac24}, // unsigned 8-bit is WAV's own
  };
  for (const auto& c : cases)
    EXPECT_EQ(ChooseOutputFormat(c.mInput, c.mPath, 2, 44100), c.mExpected) << c.mPath;
}

TEST(ChannelPlan, TakesWhatThePluginTakes)
{
  ChannelPlan plan;
  std::string error;
  ASSERT_TRUE(PlanChannels(2, 2, 2, false, plan, error));
  EXPECT_EQ(plan.mInputs, 2);
  EXPECT_EQ(plan.mFileOutputs, 2);
  // A mono-to-stereo plug-in writes both of its outputs.
  ASSERT_TRUE(PlanChannels(1, 1, 2, false, plan, error));
  EXPECT_EQ(plan.mOutputs, 2);
  EXPECT_EQ(plan.mFileOutputs, 2);
  // Mono into a stereo plug-in that declares it can run mono: one in, one out.
  ASSERT_TRUE(PlanChannels(1, 2, 2, true, plan, error));
  EXPECT_EQ(plan.mInputs, 1);
  EXPECT_EQ(plan.mOutputs, 1);
  EXPECT_EQ(plan.mFileOutputs, 1);

  EXPECT_FALSE(PlanChannels(1, 2, 2, false, plan, error));
  EXPECT_EQ(error, "the input has 1 channel but the plug-in takes 2");
  EXPECT_FALSE(PlanChannels(3, 2, 2, true, plan, error));
  EXPECT_EQ(error, "the input has 3 channels but the plug-in takes 2 or 1");
  EXPECT_FALSE(PlanChannels(2, 0, 2, false, plan, error)); // an instrument
  EXPECT_NE(error.find("0 inputs"), std::string::npos);
}

// Each plug-in takes the channels the one before it has in use: mono stays mono through
// plug-ins that run mono, a mono-to-stereo plug-in widens what follows, a stereo-to-mono one
// narrows it; what does not fit names both plug-ins.
TEST(ChannelPlan, ChainsPlanFromOnePluginToTheNext)
{
  const PluginShape amp{2, 2, true, "plug-in 1 (A)"}, widen{1, 2, false, "plug-in 1 (W)"},
      narrow{2, 1, false, "plug-in 1 (N)"}, monoOnly{1, 1, false, "plug-in 2 (M)"},
      cab{2, 2, true, "plug-in 2 (C)"};
  const struct
  {
    int mFile;
    std::vector<PluginShape> mChain;
    std::vector<std::vector<int>> mPlans; // inputs, outputs, file outputs; empty: refused
    std::string mError;
  } rows[] = {
      {1, {amp, cab}, {{1, 1, 1}, {1, 1, 1}}, ""},
      {2, {amp, cab}, {{2, 2, 2}, {2, 2, 2}}, ""},
      {1, {widen, cab}, {{1, 2, 2}, {2, 2, 2}}, ""},
      {2, {narrow, cab}, {{2, 1, 1}, {1, 1, 1}}, ""},
      {0, {{0, 2, false, "plug-in 1 (S)"}, cab}, {{0, 2, 2}, {2, 2, 2}}, ""}, // live, an instrument
      {2,
       {amp, monoOnly},
       {},
       "the output of plug-in 1 (A) has 2 channels but plug-in 2 (M) takes 1"},
      {3, {amp, cab}, {}, "the input has 3 channels but plug-in 1 (A) takes 2 or 1"},
      {3, {amp}, {}, "the input has 3 channels but the plug-in takes 2 or 1"},
  };
  for (const auto& row : rows)
  {
    SCOPED_TRACE(row.mError);
    std::vector<ChannelPlan> plans;
    std::string error;
    ASSERT_EQ(PlanChain(row.mFile, row.mChain, plans, error), row.mError.empty()) << error;
    EXPECT_EQ(error, row.mError);
    for (size_t k = 0; k < row.mPlans.size(); ++k)
      EXPECT_EQ((std::vector<int>{plans[k].mInputs, plans[k].mOutputs, plans[k].mFileOutputs}),
                row.mPlans[k])
          << "plug-in " << k + 1;
  }
}

// A plug-in prefix picks by position, then by whole name or stem, then by a word or suffix of
// either; an earlier rule that picks any decides, so "TORVA" is the amplifier beside the cabinet.
TEST(ChainSettings, PrefixesPickPlugins)
{
  const std::vector<PluginLabel> ampCab = {{"TORVA", "TORVA"}, {"TORVA Cab", "TORVACab"}};
  const std::vector<PluginLabel> twice = {{"TORVA", "TORVA"}, {"TORVA", "TORVA"}};
  const struct
  {
    const std::vector<PluginLabel>& mChain;
    const char* mPrefix;
    std::vector<size_t> mPicks;
  } rows[] = {
      {ampCab, "2", {1}},        {ampCab, "01", {0}},    {ampCab, "3", {}},
      {ampCab, "0", {}},         {ampCab, "TORVA", {0}}, {ampCab, "torva cab", {1}},
      {ampCab, "torvacab", {1}}, {ampCab, "Cab", {1}},   {ampCab, "vacab", {1}},
      {ampCab, "Amp", {}},       {ampCab, "", {}},       {ampCab, "ORV", {}},
      {twice, "torva", {0, 1}},  {twice, "VA", {0, 1}},  {twice, "2", {1}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(PickPlugins(row.mPrefix, row.mChain), row.mPicks) << '"' << row.mPrefix << '"';
}

TEST(TextFormat, NumbersIgnoreTheLocale)
{
  // A plug-in may switch the process to a comma locale; our numbers must not follow.
  const bool comma = torva_test::UseCommaLocale(); // without one, the C locale is checked

  EXPECT_EQ(FormatFixed(0.5, 2), "0.50");
  EXPECT_EQ(FormatFixed(-3.14159, 3), "-3.142");
  EXPECT_EQ(FormatFixed(-0.0004, 3), "0.000"); // no "-0.000"
  EXPECT_EQ(FormatFixed(2.5, 0), "2");         // ties to even, as printf does
  EXPECT_EQ(FormatFixed(NAN, 2), "nan");
  EXPECT_EQ(FormatFixed(-INFINITY, 2), "-inf");
  EXPECT_EQ(FormatDecibels(0.5), "-6.0");
  EXPECT_EQ(FormatDecibels(1.0), "0.0");
  EXPECT_EQ(FormatDecibels(0.0), "-inf");
  EXPECT_EQ(FormatFourCC(0x544F5231), "TOR1");
  EXPECT_EQ(FormatFourCC(0x0A414243), ".ABC");

  EXPECT_EQ(ParseInteger("512"), 512);
  EXPECT_EQ(ParseInteger("+64"), 64);
  EXPECT_EQ(ParseInteger("-1"), -1);
  for (const char* bad : {"", "+", "+-5", "12a", " 12", "1.5", "99999999999999999999"})
    EXPECT_FALSE(ParseInteger(bad).has_value()) << bad;

  if (comma) torva_test::RestoreCLocale();
}

TEST(DemoPhrase, IsTheSameEveryTimeAndTheTakesDiffer)
{
  const std::vector<float> a = SynthesiseDemoTake(kDemoSampleRate, 0);
  ASSERT_EQ(a.size(), size_t(kDemoSeconds * kDemoSampleRate));
  EXPECT_EQ(a, SynthesiseDemoTake(kDemoSampleRate, 0));
  const std::vector<float> b = SynthesiseDemoTake(kDemoSampleRate, 1);
  EXPECT_NE(a, b);

  double peak = 0.0, tailPeak = 0.0;
  for (size_t i = 0; i < a.size(); ++i)
  {
    ASSERT_TRUE(std::isfinite(a[i]));
    peak = std::max(peak, double(std::fabs(a[i])));
  }
  EXPECT_NEAR(peak, kDemoPeak, 1e-6);
  // It plays throughout: every half second carries sound, and the last sample is faded out.
  for (size_t start = 0; start + kDemoSampleRate / 2 <= a.size(); start += kDemoSampleRate / 2)
  {
    double p = 0.0;
    for (size_t i = start; i < start + kDemoSampleRate / 2; ++i)
      p = std::max(p, double(std::fabs(a[i])));
    EXPECT_GT(p, 0.01) << "silence at " << double(start) / kDemoSampleRate << " s";
    tailPeak = p;
  }
  EXPECT_GT(tailPeak, 0.01);
  EXPECT_LT(std::fabs(a.back()), 1e-4);
}

// The fractional delay must tune the string exactly; a plain delay line is off by up to half
// a sample, several cents at high pitches.
TEST(DemoPhrase, StringsAreInTune)
{
  const int rate = 48000;
  for (double f : {82.41, 110.0, 196.0, 329.63, 440.0, 987.77})
  {
    const std::vector<float> s = PluckString(f, 1.0, rate, rate / 2, 7);
    // The period by autocorrelation over 0.1 s after the attack, refined by a parabola.
    const int from = rate / 20, span = rate / 10;
    auto corr = [&](int lag)
    {
      double sum = 0.0;
      for (int i = from; i < from + span; ++i) sum += double(s[i]) * s[i + lag];
      return sum;
    };
    const int expected = int(std::lround(rate / f));
    int best = expected - 3;
    for (int lag = expected - 3; lag <= expected + 3; ++lag)
      if (corr(lag) > corr(best)) best = lag;
    const double l = corr(best - 1), c = corr(best), r = corr(best + 1);
    const double period = best + 0.5 * (l - r) / (l - 2 * c + r);
    const double cents = 1200.0 * std::log2((rate / period) / f);
    EXPECT_LT(std::fabs(cents), 3.0) << f << " Hz is off by " << cents << " cents";
  }
}

TEST(MemorySource, InterleavesAcrossUnevenReads)
{
  MemorySource source({{1, 2, 3, 4, 5}, {10, 20, 30, 40, 50}}, 8000);
  EXPECT_EQ(source.Frames(), 5);
  double buf[8];
  ASSERT_EQ(source.Read(buf, 3), 3);
  EXPECT_EQ(std::vector<double>(buf, buf + 6), (std::vector<double>{1, 10, 2, 20, 3, 30}));
  ASSERT_EQ(source.Read(buf, 3), 2);
  EXPECT_EQ(std::vector<double>(buf, buf + 4), (std::vector<double>{4, 40, 5, 50}));
  EXPECT_EQ(source.Read(buf, 3), 0);
}
