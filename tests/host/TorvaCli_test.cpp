// `torva` against the recording fake plug-in: the order of a host's requests, the callbacks it
// answers, the buffers it hands over, and the error line of every kind of failure.

#include "framework/fxfile/FxFile.h"
#include "support/CliHarness.h"
#include "support/TempFiles.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

namespace
{
class TorvaWithFake : public ::testing::Test
{
protected:
  TempDir mDir;
  std::string mFake = BinaryPath("FakeVst.so");
  std::string mLog = mDir / "calls.log";

  RunResult Run(const std::vector<std::string>& args, std::vector<std::string> env = {})
  {
    env.push_back("TORVA_FAKE_LOG=" + mLog);
    return RunTorva(args, env);
  }
  std::vector<std::string> Calls() { return Lines(ReadText(mLog)); }
  std::vector<std::string> Process()
  {
    std::vector<std::string> p;
    for (const std::string& c : Calls())
      if (c.rfind("process ", 0) == 0) p.push_back(c);
    return p;
  }
  std::vector<std::string> Requests() // everything but the audio
  {
    std::vector<std::string> r;
    for (const std::string& c : Calls())
      if (c.rfind("process ", 0) != 0) r.push_back(c);
    return r;
  }
};
} // namespace

// The whole life of a render, in the order DAWs use: open, rate, block size, arrangement,
// precision, resume, start, blocks, stop, suspend, close. Blocks tile the file exactly, each
// sees the transport at its first frame, offline.
TEST_F(TorvaWithFake, RendersWithTheLifecycleOfAHost)
{
  const Audio in = TestSignal(2, 44100, 1000);
  WriteAudio(mDir / "in.wav", in);
  const RunResult r = Run({"render", mFake, mDir / "in.wav", mDir / "out.wav", "--block", "300"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{"entry version=2400 host=torva", "op 0", "op 10 44100",
                                      "op 11 300", "op 42 in=2 out=2", "op 77 0", "op 12 1",
                                      "op 71", "op 72", "op 12 0", "op 1"}));
  EXPECT_EQ(Process(), (std::vector<std::string>{
                           "process float frames=300 level=4 pos=0 tempo=120 playing=1",
                           "process float frames=300 level=4 pos=300 tempo=120 playing=1",
                           "process float frames=300 level=4 pos=600 tempo=120 playing=1",
                           "process float frames=100 level=4 pos=900 tempo=120 playing=1"}));

  // The fake halves its input; in 32-bit float files that is exact.
  Audio expected = in;
  for (double& v : expected.mSamples) v *= 0.5;
  EXPECT_EQ(MaxDiff(ReadAudio(mDir / "out.wav"), expected), 0.0);

  EXPECT_TRUE(Contains(r.mOut, "1000 frames"));
  EXPECT_TRUE(Contains(r.mOut, "peak     in "));
  EXPECT_TRUE(Contains(r.mOut, "x realtime"));
  EXPECT_TRUE(r.mErr.empty()) << r.mErr; // no progress bar for a short file
}

// Reading and writing go in chunks of whole blocks on their own threads; the plug-in must still
// see one unbroken run of blocks, and every frame must come back in its place.
TEST_F(TorvaWithFake, BlocksTileLongFilesAcrossChunks)
{
  const Audio in = TestSignal(3, 8000, 20000);
  WriteAudio(mDir / "in.wav", in);
  const RunResult r = Run({"render", mFake, mDir / "in.wav", mDir / "out.wav", "--block", "3000"},
                          {"TORVA_FAKE_IO=3-3"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  const std::vector<std::string> process = Process();
  ASSERT_EQ(process.size(), 7u);
  for (size_t k = 0; k < process.size(); ++k)
    EXPECT_EQ(process[k], "process float frames=" + std::string(k < 6 ? "3000" : "2000") +
                              " level=4 pos=" + std::to_string(3000 * k) + " tempo=120 playing=1");
  Audio expected = in;
  for (double& v : expected.mSamples) v *= 0.5;
  EXPECT_EQ(MaxDiff(ReadAudio(mDir / "out.wav"), expected), 0.0);
}

// The callback the flags offer is the one used: double precision only when asked and offered,
// and the accumulating callback over cleared outputs when replacing is not offered.
TEST_F(TorvaWithFake, UsesTheProcessCallbackTheFlagsOffer)
{
  const Audio in = TestSignal(2, 22050, 700);
  WriteAudio(mDir / "in.wav", in);
  Audio expected = in;
  for (double& v : expected.mSamples) v *= 0.5;

  RunResult r =
      Run({"render", mFake, mDir / "in.wav", mDir / "d.wav", "--precision=double", "--block=256"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(ReadText(mLog), "op 77 1"));
  for (const std::string& p : Process()) EXPECT_EQ(p.rfind("process double", 0), 0u) << p;
  EXPECT_EQ(MaxDiff(ReadAudio(mDir / "d.wav"), expected), 0.0);

  // Several blocks run through the same buffers: without clearing, the accumulating callback
  // would add each block onto the one before.
  std::remove(mLog.c_str());
  r = Run({"render", mFake, mDir / "in.wav", mDir / "a.wav", "--block", "128"},
          {"TORVA_FAKE_FLAGS=0"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  ASSERT_FALSE(Process().empty());
  for (const std::string& p : Process()) EXPECT_EQ(p.rfind("process accumulate", 0), 0u) << p;
  EXPECT_EQ(MaxDiff(ReadAudio(mDir / "a.wav"), expected), 0.0);

  std::remove(mLog.c_str());
  r = Run({"render", mFake, mDir / "in.wav", mDir / "x.wav", "--precision", "double"},
          {"TORVA_FAKE_FLAGS=16"});
  ExpectOneErrorLine(r, "cannot process double precision");
  EXPECT_FALSE(Exists(mDir / "x.wav"));
}

// NaN from a plug-in would reach the file as garbage (or, in integer formats, as whatever the
// conversion makes of it); it is written as silence and counted.
TEST_F(TorvaWithFake, WritesNonFiniteOutputAsSilence)
{
  const Audio in = TestSignal(2, 8000, 1000);
  WriteAudio(mDir / "in.wav", in);
  const RunResult r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--block", "250"},
                          {"TORVA_FAKE_NAN=1"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mErr, "warning: 4 output samples were not finite and were written as 0"))
      << r.mErr;
  Audio expected = in;
  for (double& v : expected.mSamples) v *= 0.5;
  for (long block = 0; block < 4; ++block) expected.mSamples[block * 250 * 2] = 0.0;
  EXPECT_EQ(MaxDiff(ReadAudio(mDir / "o.wav"), expected), 0.0);
}

TEST_F(TorvaWithFake, MatchesChannelsToThePlugin)
{
  const Audio mono = TestSignal(1, 44100, 500);
  WriteAudio(mDir / "mono.wav", mono);
  Audio half = mono;
  for (double& v : half.mSamples) v *= 0.5;

  // Declared able to run mono: one channel in, one out.
  RunResult r = Run({"render", mFake, mDir / "mono.wav", mDir / "m.wav"}, {"TORVA_FAKE_FLAGS=24"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(ReadText(mLog), "op 42 in=1 out=1"));
  EXPECT_EQ(MaxDiff(ReadAudio(mDir / "m.wav"), half), 0.0);

  // A mono-in, stereo-out plug-in writes both outputs.
  r = Run({"render", mFake, mDir / "mono.wav", mDir / "ms.wav"}, {"TORVA_FAKE_IO=1-2"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  const Audio ms = ReadAudio(mDir / "ms.wav");
  ASSERT_EQ(ms.mChannels, 2);
  EXPECT_EQ(MaxDiff(Channel(ms, 1), half), 0.0);

  // Not declared: refused before any output exists.
  r = Run({"render", mFake, mDir / "mono.wav", mDir / "no.wav"});
  ExpectOneErrorLine(r, "the input has 1 channel but the plug-in takes 2");
  EXPECT_FALSE(Exists(mDir / "no.wav"));
  WriteAudio(mDir / "three.wav", TestSignal(3, 44100, 100));
  r = Run({"render", mFake, mDir / "three.wav", mDir / "no.wav"});
  ExpectOneErrorLine(r, "the input has 3 channels but the plug-in takes 2");
}

// Values go through effString2Parameter, matched by the names the plug-in reports, the
// longest name first ("Odd=Name" holds an '='); the preset is applied before them.
TEST_F(TorvaWithFake, SetsParametersByNameAndLoadsPresets)
{
  WriteAudio(mDir / "in.wav", TestSignal(2, 8000, 64));
  // A regular program for the fake ('Fake', two values) and a chunk program.
  FxFile f;
  f.mPluginId = 0x46616B65; // 'Fake'
  f.mPluginVersion = 1;
  f.mProgram = {"Quiet", {0.25f, 1.0f}};
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(WriteFxFile(f, bytes));
  torva_test::WriteFile(mDir / "quiet.fxp", bytes);
  f.mKind = FxFile::kProgramChunk;
  f.mChunk = {7, 8, 9};
  ASSERT_TRUE(WriteFxFile(f, bytes));
  torva_test::WriteFile(mDir / "chunk.fxp", bytes);

  RunResult r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--preset",
                     mDir / "quiet.fxp", "--set", "Odd=Name=0.75", "--set", "Gain=0.125"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  const std::vector<std::string> calls = Requests();
  const auto at = [&](const std::string& c)
  { return std::find(calls.begin(), calls.end(), c) - calls.begin(); };
  EXPECT_LT(at("set 0 0.250000"), at("op 27 1 0.75"));
  EXPECT_LT(at("set 1 1.000000"), at("op 27 1 0.75"));
  EXPECT_LT(at("op 4 Quiet"), at("op 27 0 0.125"));
  EXPECT_LT(at("op 27 0 0.125"), at("op 12 1"));
  EXPECT_TRUE(Contains(r.mOut, "Gain = 0.125"));
  EXPECT_TRUE(Contains(r.mOut, "Odd=Name = 0.750"));

  std::remove(mLog.c_str());
  r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--preset", mDir / "chunk.fxp"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(ReadText(mLog), "op 24 1 3 7 8 9"));

  r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--set", "Volume=3"});
  ExpectOneErrorLine(r, "unknown parameter \"Volume\"; valid names: \"Gain\", \"Odd=Name\"");
  r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--set", "Gain"});
  ExpectOneErrorLine(r, "--set needs NAME=VALUE");

  f.mKind = FxFile::kProgramValues;
  f.mPluginId = 0x544F5231; // 'TOR1'
  ASSERT_TRUE(WriteFxFile(f, bytes));
  torva_test::WriteFile(mDir / "other.fxp", bytes);
  r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--preset", mDir / "other.fxp"});
  ExpectOneErrorLine(r, "is for the plug-in 'TOR1', not for 'Fake'");
  WriteText(mDir / "junk.fxp", "not a preset at all, just some text");
  r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--preset", mDir / "junk.fxp"});
  ExpectOneErrorLine(r, "not a preset or bank file");
}

// Settings and presets go to the plug-in they name, or to the one that has the parameter;
// whatever leaves the choice open is refused with the ways to say it. "Fake" and "Fake Main"
// stand in for TORVA and TORVA Cab; the second parameter is named "Mix:L".
TEST_F(TorvaWithFake, ChainSettingsReachThePluginTheyName)
{
  WriteAudio(mDir / "in.wav", TestSignal(2, 8000, 64));
  FxFile f;
  f.mPluginId = 0x46616B65; // 'Fake', as both stand-ins are
  f.mProgram = {"Quiet", {0.25f, 1.0f}};
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(WriteFxFile(f, bytes));
  const std::string preset = mDir / "quiet.fxp", other = mDir / "other.fxp";
  torva_test::WriteFile(preset, bytes);
  f.mPluginId = 0x544F5231; // 'TOR1'
  ASSERT_TRUE(WriteFxFile(f, bytes));
  torva_test::WriteFile(other, bytes);

  const std::vector<std::string> pair = {mFake, BinaryPath("FakeVstMainOnly.so")};
  const std::string both = "1 Fake (FakeVst), 2 Fake Main (FakeVstMainOnly)";
  // The summary line of a render, or the error of a refused one.
  const struct
  {
    std::vector<std::string> mChain, mOptions;
    int mExit;
    std::string mOutcome;
  } rows[] = {
      {pair, {"--set", "Fake:Gain=0.25"}, 0, "set      Fake: Gain = 0.250"},
      {pair, {"--set", "FAKEVST:Gain=0.25"}, 0, "set      Fake: Gain = 0.250"},
      {pair, {"--set", "2:Gain=0.25"}, 0, "set      Fake Main: Gain = 0.250"},
      {pair, {"--set", "main:Gain=0.25"}, 0, "set      Fake Main: Gain = 0.250"},
      {pair, {"--set", "Only:Gain=0.25"}, 0, "set      Fake Main: Gain = 0.250"},
      {pair, {"--set", "Main:Mix:L=0.5"}, 0, "set      Fake Main: Mix:L = 0.500"},
      {{mFake}, {"--set", "Mix:L=0.5"}, 0, "set      Mix:L = 0.500"},
      {pair, {"--preset", "2:" + preset}, 0, "set      Fake Main: preset " + preset + " (Init)"},
      {pair,
       {"--set", "Gain=1"},
       2,
       "Gain is a parameter of Fake and Fake Main: write Fake:Gain or Main:Gain"},
      {pair,
       {"--set", "Mix:L=1"},
       2,
       "Mix:L is a parameter of Fake and Fake Main: write Fake:Mix:L or Main:Mix:L"},
      {{mFake, mFake},
       {"--set", "fake:Gain=1"},
       2,
       "\"fake\" names several plug-ins: 1 Fake (FakeVst), 2 Fake (FakeVst); write 1:Gain or "
       "2:Gain"},
      {pair, {"--set", "3:Gain=1"}, 2, "no plug-in \"3\" in the chain; it holds " + both},
      {pair,
       {"--set", "Nope=1"},
       1,
       "unknown parameter \"Nope\"; valid names: Fake: \"Gain\", \"Mix:L\"; Fake Main: "
       "\"Gain\", \"Mix:L\""},
      {pair,
       {"--preset", preset},
       2,
       preset + " is for several plug-ins: " + both + "; write --preset Fake:" + preset +
           " or --preset Main:" + preset},
      {pair, {"--preset", other}, 1, "is for the plug-in 'TOR1', not for 'Fake' or 'Fake'"},
  };
  for (const auto& row : rows)
  {
    SCOPED_TRACE(row.mOutcome);
    std::vector<std::string> args = {"render"};
    args.insert(args.end(), row.mChain.begin(), row.mChain.end());
    args.insert(args.end(), {mDir / "in.wav", mDir / "o.wav"});
    args.insert(args.end(), row.mOptions.begin(), row.mOptions.end());
    const RunResult r = Run(args, {"TORVA_FAKE_NAME1=Mix:L"});
    if (row.mExit == 0)
    {
      EXPECT_EQ(r.mExit, 0) << r.mErr;
      EXPECT_TRUE(Contains(r.mOut, row.mOutcome + "\n")) << r.mOut;
    }
    else
      ExpectOneErrorLine(r, row.mOutcome, row.mExit);
  }
}

// The fakes delay by 100 frames each and say so: the output is the input quartered (halved for
// one), in its place and at its length, also when the silence after the input crosses a chunk.
TEST_F(TorvaWithFake, ChainLatencyIsMadeGood)
{
  const Audio in = TestSignal(2, 8000, 32718); // 50 frames short of a chunk of 64-frame blocks
  WriteAudio(mDir / "in.wav", in);
  const struct
  {
    int mPlugins;
    const char* mBlock;
    const char* mPrecision;
  } rows[] = {{2, "64", "float"}, {2, "3000", "double"}, {1, "4096", "float"}};
  for (const auto& row : rows)
  {
    SCOPED_TRACE(row.mBlock);
    std::vector<std::string> args = {"render"};
    args.insert(args.end(), size_t(row.mPlugins), mFake);
    args.insert(args.end(), {mDir / "in.wav", mDir / "o.wav", "--block", row.mBlock, "--precision",
                             row.mPrecision});
    const RunResult r = RunTorva(args, {"TORVA_FAKE_LATENCY=100"});
    ASSERT_EQ(r.mExit, 0) << r.mErr;
    EXPECT_TRUE(Contains(r.mOut, "  latency  " + std::to_string(100 * row.mPlugins) + " samples (" +
                                     (row.mPlugins == 2 ? "25.0" : "12.5") + " ms), made good"))
        << r.mOut;
    Audio expected = in;
    for (double& v : expected.mSamples) v *= row.mPlugins == 2 ? 0.25 : 0.5;
    EXPECT_EQ(MaxDiff(ReadAudio(mDir / "o.wav"), expected), 0.0);
  }
}

// The demo plays through the TORVA.so and TORVACab.so beside the program, never through the
// amplifier alone: stand-ins beside a copy of torva show both found, and a missing one refused.
TEST(TorvaDemo, PlaysThroughBothModulesBesideTheProgram)
{
  TempDir dir;
  const std::string torva = dir / "torva";
  std::filesystem::copy_file(BinaryPath("torva"), torva);
  std::filesystem::create_symlink(BinaryPath("FakeVst.so"), dir / "TORVA.so");
  RunResult r = RunTorvaCopy(torva, {"demo", dir / "demo.wav"});
  ExpectOneErrorLine(r, "the demo plays through TORVA.so and TORVACab.so, and " +
                            dir / "TORVACab.so" +
                            " is missing (build the TORVACab target, or name the plug-ins)");
  EXPECT_FALSE(Exists(dir / "demo.wav"));

  std::filesystem::create_symlink(BinaryPath("FakeVstMainOnly.so"), dir / "TORVACab.so");
  r = RunTorvaCopy(torva, {"demo", dir / "demo.wav"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mOut, "built-in guitar phrase -> " + dir / "demo.wav" +
                                   " through Fake -> Fake Main\n  chain    1 Fake (" +
                                   dir / "TORVA.so" + ")\n           2 Fake Main (" +
                                   dir / "TORVACab.so" + ")\n"))
      << r.mOut;
  EXPECT_EQ(ReadAudio(dir / "demo.wav").Frames(), 480000);
}

TEST_F(TorvaWithFake, LooksUpMainWhenVSTPluginMainIsMissing)
{
  RunResult r = Run({"info", BinaryPath("FakeVstMainOnly.so")});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mOut, "(entry main)"));
  r = Run({"info", mFake});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mOut, "(entry VSTPluginMain)"));
  EXPECT_TRUE(Contains(r.mOut, "'Fake'"));
  EXPECT_TRUE(Contains(r.mOut, "  1  Odd=Name  0.0000  0.000"));
  // info asks at user level, never offline, and closes what it opened.
  const std::vector<std::string> calls = Requests();
  EXPECT_EQ(calls.front(), "entry version=2400 host=torva");
  EXPECT_EQ(calls.back(), "op 1");
  // Several: a block each, in order, a blank line between.
  r = Run({"info", mFake, BinaryPath("FakeVstMainOnly.so")});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(r.mOut.starts_with("plug-in     " + mFake + " (entry VSTPluginMain)\n")) << r.mOut;
  EXPECT_TRUE(Contains(r.mOut, ")\n\nplug-in     " + BinaryPath("FakeVstMainOnly.so") +
                                   " (entry main)\nname        Fake Main\n"))
      << r.mOut;
}

// The bar is for a person watching a terminal; a log or a pipe gets nothing of it.
TEST_F(TorvaWithFake, ShowsProgressForLongInputsOnATerminalOnly)
{
  WriteAudio(mDir / "long.wav", TestSignal(2, 8000, 8000 * 6));
  RunResult r = RunTorva({"render", mFake, mDir / "long.wav", mDir / "o.wav"}, {}, true);
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mErr, "rendering [") && Contains(r.mErr, "100%")) << r.mErr;
  r = Run({"render", mFake, mDir / "long.wav", mDir / "o.wav"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_EQ(r.mErr, "");
}

// A value is a number (its label may follow) or a text the parameter displays; anything else is
// one line saying what the parameter takes, before anything is rendered.
TEST_F(TorvaWithFake, SetTakesNumbersAndDisplayTextsOnly)
{
  WriteAudio(mDir / "in.wav", TestSignal(2, 8000, 64));
  const std::string range = "expected a number from 0.000 to 1.000";
  // Each setting with the line the summary shows for it, or else its error after "--set ...: ".
  const std::pair<const char*, std::string> rows[] = {
      {"Gain=abc", range},
      {"Gain=1e999", range},
      {"Gain=inf", range},
      {"Gain=", range},
      {"Gain=0.25 apples", range},
      {"Gain= +0.25 ", "set      Gain = 0.250"},
      {"Odd=Name=high", "set      Odd=Name = High"},
      {"Odd=Name=Low", "set      Odd=Name = Low"},
      {"Odd=Name=Loud", "expected a number or one of \"Off\", \"Low\", \"High\""},
  };
  for (const auto& [setting, outcome] : rows)
  {
    SCOPED_TRACE(setting);
    std::remove(mLog.c_str());
    std::remove((mDir / "o.wav").c_str());
    const RunResult r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--set", setting},
                            {"TORVA_FAKE_ENUM=1"});
    if (outcome.starts_with("set "))
    {
      EXPECT_EQ(r.mExit, 0) << r.mErr;
      EXPECT_TRUE(Contains(r.mOut, outcome)) << r.mOut;
      continue;
    }
    ExpectOneErrorLine(r, std::string("--set ") + setting + ": " + outcome);
    EXPECT_FALSE(Exists(mDir / "o.wav"));
    EXPECT_FALSE(Contains(ReadText(mLog), "op 27")); // nothing handed over as text
  }
}

// `torva preset` writes what `render --preset` reads back: values for a plug-in without
// chunks (program and bank), the plug-in's own state for one with them.
TEST_F(TorvaWithFake, WritesPresetsAndBanks)
{
  RunResult r = Run({"preset", mFake, mDir / "bank.fxb", "--set", "Gain=0.25"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mOut, "bank of 1 programs, 2 values each of Fake")) << r.mOut;
  FxFile file;
  std::string error;
  ASSERT_TRUE(ReadFxFile(mDir / "bank.fxb", file, error)) << error; // its id: see the render below
  EXPECT_EQ(file.mKind, FxFile::kBankValues);
  ASSERT_EQ(file.mBank.size(), 1u);
  EXPECT_EQ(file.mBank[0].mName, "Init");
  EXPECT_EQ(file.mBank[0].mValues, (std::vector<float>{0.25f, 0.0f}));

  WriteAudio(mDir / "in.wav", TestSignal(2, 8000, 64));
  std::remove(mLog.c_str());
  r = Run({"render", mFake, mDir / "in.wav", mDir / "o.wav", "--preset", mDir / "bank.fxb"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(ReadText(mLog), "set 0 0.250000"));

  r = Run({"preset", mFake, mDir / "p.FXP", "--preset", mDir / "bank.fxb"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  ASSERT_TRUE(ReadFxFile(mDir / "p.FXP", file, error)) << error;
  EXPECT_EQ(file.mKind, FxFile::kProgramValues);
  EXPECT_EQ(file.mProgram.mValues, (std::vector<float>{0.25f, 0.0f}));

  // Replacing, with program chunks (16 | 32): the chunk the plug-in hands out, as it is.
  r = Run({"preset", mFake, mDir / "chunk.fxp"}, {"TORVA_FAKE_FLAGS=48"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(ReadText(mLog), "op 23 1"));
  ASSERT_TRUE(ReadFxFile(mDir / "chunk.fxp", file, error)) << error;
  EXPECT_EQ(file.mKind, FxFile::kProgramChunk);
  EXPECT_EQ(file.mChunk, (std::vector<unsigned char>{7, 8, 9}));
  r = Run({"preset", mFake, mDir / "chunk.fxb"}, {"TORVA_FAKE_FLAGS=48"});
  ASSERT_TRUE(ReadFxFile(mDir / "chunk.fxb", file, error)) << error;
  EXPECT_EQ(file.mKind, FxFile::kBankChunk);
}

TEST(TorvaErrors, EveryFailureIsOneLine)
{
  TempDir dir;
  WriteAudio(dir / "in.wav", TestSignal(2, 8000, 64));
  WriteText(dir / "text.wav", "RIFF? no, just text pretending to be audio\n");
  WriteText(dir / "plugin.so", "not an ELF file");
  const std::string fake = BinaryPath("FakeVst.so");
  const std::string in = dir / "in.wav", out = dir / "out.wav";

  ExpectOneErrorLine(RunTorva({"render", fake, dir / "missing.wav", out}),
                     "cannot read " + dir / "missing.wav" + ": No such file or directory");
  ExpectOneErrorLine(RunTorva({"render", fake, dir / "text.wav", out}), "unsupported audio format");
  ExpectOneErrorLine(RunTorva({"render", fake, dir.operator/(""), out}), "is a directory");
  ExpectOneErrorLine(RunTorva({"render", dir / "plugin.so", in, out}), "is not a VST 2 plug-in");
  ExpectOneErrorLine(RunTorva({"info", dir / "nothing.so"}), "No such file or directory");
  // A real shared object that is no plug-in: the system's C math library.
  ExpectOneErrorLine(RunTorva({"info", "/lib/x86_64-linux-gnu/libm.so.6"}),
                     "exports neither VSTPluginMain nor main");
  ExpectOneErrorLine(RunTorva({"render", fake, in, dir / "no-such-dir/out.wav"}), "cannot write");
  // A full disk fails the render; the device given as output is not removed.
  ExpectOneErrorLine(RunTorva({"render", fake, in, "/dev/full"}), "cannot write /dev/full");
  EXPECT_TRUE(Exists("/dev/full"));
  // Rendering a file onto itself would destroy it while it is read.
  ExpectOneErrorLine(RunTorva({"render", fake, in, dir / "./in.wav"}), "is the input file");
  EXPECT_EQ(ReadAudio(in).Frames(), 64);
  EXPECT_FALSE(Exists(out));

  ExpectOneErrorLine(RunTorva({"render", fake, in, out, "--block", "0"}), "--block needs", 2);
  ExpectOneErrorLine(RunTorva({"render", fake, in, out, "--block", "12x"}), "--block needs", 2);
  ExpectOneErrorLine(RunTorva({"render", fake, in, out, "--precision", "half"}), "float or double",
                     2);
  ExpectOneErrorLine(RunTorva({"render", fake, in, out, "--loud"}), "unknown option --loud", 2);
  ExpectOneErrorLine(RunTorva({"render", fake, in, out, "--set"}), "--set needs a value", 2);
  ExpectOneErrorLine(RunTorva({"render", in}), "render needs", 2);
  ExpectOneErrorLine(RunTorva({"mix"}), "unknown command", 2);
  ExpectOneErrorLine(RunTorva({"preset", fake, dir / "p.txt"}), "a .fxp program or a .fxb bank", 2);
  ExpectOneErrorLine(RunTorva({"preset", fake, dir / "p.fxp", "--block", "64"}),
                     "only --set, --preset", 2);
  // Unwritable: no directory of that name, a directory in the way, a device. Nothing is left.
  ExpectOneErrorLine(RunTorva({"preset", fake, dir / "none/p.fxp"}),
                     "cannot write " + dir / "none/p.fxp" + ": No such file or directory");
  ExpectOneErrorLine(RunTorva({"preset", fake, dir.operator/("")}), "a .fxp program", 2);
  mkdir((dir / "d.fxb").c_str(), 0755);
  ExpectOneErrorLine(RunTorva({"preset", fake, dir / "d.fxb"}), "cannot write");
  ExpectOneErrorLine(RunTorva({"preset", fake, "/dev/null.fxp/x.fxp"}), "cannot write");
  // No temporary file stays behind either.
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
  {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "d.fxb" || name.find(".fx") == std::string::npos) << name;
  }
  EXPECT_FALSE(Exists(out));
}
