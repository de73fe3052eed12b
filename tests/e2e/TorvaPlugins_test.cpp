// `torva` on real plug-ins: TORVA.so as built beside it, and a third-party Linux VST 2 plug-in
// from the distribution, which shows the host follows the interface rather than our plug-in.
// Each suite skips when its plug-in is not there.

#include "framework/fxfile/FxFile.h"
#include "support/CliHarness.h"
#include "support/TempFiles.h"
#include "host/VstHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{
void ExpectFinite(const Audio& a)
{
  for (double v : a.mSamples) ASSERT_TRUE(std::isfinite(v));
}

// A preset file for TORVA ('TOR1', version 10000) of the given kind, named "Clean".
std::vector<unsigned char> PresetFile(FxFile::EKind kind, std::vector<float> values,
                                      std::string const& chunk = "")
{
  FxFile f;
  f.mKind = kind;
  f.mPluginId = 0x544F5231; // 'TOR1'
  f.mPluginVersion = 10000;
  f.mProgram.mName = "Clean";
  f.mProgram.mValues = std::move(values);
  f.mChunk.assign(chunk.begin(), chunk.end());
  std::vector<unsigned char> bytes;
  EXPECT_TRUE(WriteFxFile(f, bytes));
  return bytes;
}

class TorvaPlugin : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (!Exists(mPlugin)) GTEST_SKIP() << "TORVA.so is not built";
    mIn = TestSignal(2, 44100, 4410);
    WriteAudio(mDir / "in.wav", mIn);
  }
  // Renders in.wav (or `input`) through TORVA and returns the output.
  Audio Render(const std::string& name, std::vector<std::string> options = {},
               const std::string& input = "in.wav")
  {
    std::vector<std::string> args = {"render", mDir / input, mDir / name};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = RunTorva(args);
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    return ReadAudio(mDir / name);
  }

  std::string mPlugin = BinaryPath("TORVA.so");
  TempDir mDir;
  Audio mIn;
};
} // namespace

TEST_F(TorvaPlugin, InfoShowsIdentityAndEveryParameter)
{
  const RunResult r = RunTorva({"info"}); // no plug-in named: the TORVA.so beside torva
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  for (const char* part :
       {"(entry VSTPluginMain)", "name        TORVA\n", "vendor      BrindleCircuits\n", "'TOR1'",
        "channels    2 in, 2 out", "replacing", "double-replacing", "mono", "VST version 2400",
        "version     10000", "parameters  8"})
    EXPECT_TRUE(Contains(r.mOut, part)) << part << " missing from\n" << r.mOut;
  const char* names[] = {"Bass",   "Master",   "Middle",   "Presence",
                         "Treble", "Volume 1", "Volume 2", "Bypass"};
  size_t at = 0;
  for (int i = 0; i < 8; ++i)
  {
    at = r.mOut.find("\n  " + std::to_string(i) + "  " + names[i] + " ", at);
    EXPECT_NE(at, std::string::npos) << names[i] << " not listed in order";
  }
}

// Bypass hands the input back sample for sample: the file formats, the block loop with its
// partial last block and the channel order add nothing.
TEST_F(TorvaPlugin, BypassReturnsTheInputExactly)
{
  EXPECT_EQ(MaxDiff(Render("bypass.wav", {"--set", "Bypass=1", "--block", "1000"}), mIn), 0.0);

  Audio flac = mIn;
  flac.mFormat = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  WriteAudio(mDir / "in.flac", flac);
  const Audio out = Render("bypass.flac", {"--set", "Bypass=1"}, "in.flac");
  EXPECT_EQ(out.mFormat, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_EQ(MaxDiff(out, mIn), 0.0);
}

TEST_F(TorvaPlugin, OutputDoesNotDependOnBlockSizeOrPrecision)
{
  const Audio reference = Render("b512.wav");
  ExpectFinite(reference);
  EXPECT_GT(MaxDiff(reference, mIn), 0.01); // the amplifier does something
  EXPECT_GT(Peak(reference), 0.01);
  // The amplifier works sample by sample, so how the host cuts the file must not show.
  EXPECT_EQ(MaxDiff(Render("b1.wav", {"--block", "1"}), reference), 0.0);
  EXPECT_EQ(MaxDiff(Render("b4096.wav", {"--block", "4096"}), reference), 0.0);
  // Double precision differs from single only by the final rounding to float.
  EXPECT_LE(MaxDiff(Render("double.wav", {"--precision", "double"}), reference), 1e-6);
}

// Mono runs through the "1-1" configuration and equals the left channel of a stereo render
// with the same left input: the channels are independent.
TEST_F(TorvaPlugin, MonoMatchesTheLeftChannel)
{
  WriteAudio(mDir / "left.wav", Channel(mIn, 0));
  const Audio mono = Render("mono.wav", {}, "left.wav");
  ASSERT_EQ(mono.mChannels, 1);
  EXPECT_EQ(MaxDiff(mono, Channel(Render("stereo.wav"), 0)), 0.0);
}

// Values are the displayed ones, parsed by the plug-in: Master is the last gain of the chain,
// so +20 and -20 differ by exactly 40 dB, and 35 is held at the maximum of 20.
TEST_F(TorvaPlugin, SetsPlainValuesAsText)
{
  const Audio loud = Render("loud.wav", {"--set", "Master=20"});
  const Audio quiet = Render("quiet.wav", {"--set", "Master=-20"});
  EXPECT_NEAR(Peak(loud) / Peak(quiet), 100.0, 0.01);
  EXPECT_EQ(MaxDiff(Render("clamped.wav", {"--set", "Master=35"}), loud), 0.0);

  const RunResult r = RunTorva({"render", mDir / "in.wav", mDir / "x.wav", "--set", "Gain=3"});
  EXPECT_EQ(r.mExit, 1);
  EXPECT_TRUE(Contains(r.mErr, "valid names: \"Bass\", \"Master\", \"Middle\", \"Presence\", "
                               "\"Treble\", \"Volume 1\", \"Volume 2\", \"Bypass\"\n"))
      << r.mErr;

  // A value must be a number (its label may follow) or a text the parameter displays; the host
  // refuses anything else before the plug-in sees it.
  for (const char* bad : {"abc", "1e999", "", "-3 Hz", "20 %%"})
  {
    const RunResult e = RunTorva(
        {"render", mDir / "in.wav", mDir / "x.wav", "--set", std::string("Master=") + bad});
    EXPECT_EQ(e.mExit, 1) << bad;
    EXPECT_EQ(e.mErr, std::string("torva: --set Master=") + bad +
                          ": expected a number from -20.00 to 20.00 (dB)\n");
  }
  EXPECT_FALSE(Exists(mDir / "x.wav"));
  EXPECT_EQ(MaxDiff(Render("unit.wav", {"--set", "Master=20 dB"}), loud), 0.0);
  // "%" was the unit the parameters once showed: scripts with it still work.
  EXPECT_EQ(MaxDiff(Render("percent.wav", {"--set", "Master=20 %"}), loud), 0.0);
  EXPECT_EQ(MaxDiff(Render("shown.wav", {"--set", "Master=20.00"}), loud), 0.0);
}

// `torva preset` writes a program or bank that renders as the settings it was made with. The
// values are ones whose normalised form a float holds exactly, as a preset file stores it.
TEST_F(TorvaPlugin, WrittenPresetsRenderLikeTheirSettings)
{
  const std::vector<std::string> settings = {"--set", "Bass=0.25",     "--set", "Master=10",
                                             "--set", "Middle=0.5",    "--set", "Presence=0.5",
                                             "--set", "Treble=0.75",   "--set", "Volume 1=25",
                                             "--set", "Volume 2=12.5", "--set", "Bypass=0"};
  const Audio expected = Render("set.wav", settings);
  for (const char* file : {"tone.fxp", "tone.fxb"})
  {
    std::vector<std::string> args = {"preset", mDir / file};
    args.insert(args.end(), settings.begin(), settings.end());
    const RunResult r = RunTorva(args);
    ASSERT_EQ(r.mExit, 0) << r.mErr;
    EXPECT_EQ(MaxDiff(Render(std::string(file) + ".wav", {"--preset", mDir / file}), expected), 0.0)
        << file;
  }
  // A preset file written from a preset file and one more setting.
  ASSERT_EQ(
      RunTorva({"preset", mDir / "quiet.fxp", "--preset", mDir / "tone.fxb", "--set", "Master=-20"})
          .mExit,
      0);
  const Audio quiet = Render("quiet.wav", {"--preset", mDir / "quiet.fxp"});
  EXPECT_NEAR(Peak(expected) / Peak(quiet), std::pow(10.0, 1.5), 0.01);
}

// A regular preset sets normalised values; a chunk preset carries the plug-in's own state as
// it handed it out. Both here switch on Bypass.
TEST_F(TorvaPlugin, LoadsRegularAndChunkPresets)
{
  torva_test::WriteFile(
      mDir / "bypass.fxp",
      PresetFile(FxFile::kProgramValues, {0.7f, 0.4f, 0.3f, 0.3f, 0.4f, 0.2f, 0.2f, 1.0f}));
  EXPECT_EQ(MaxDiff(Render("fxp.wav", {"--preset", mDir / "bypass.fxp"}), mIn), 0.0);

  std::string chunk;
  {
    VstHost host;
    std::string error;
    ASSERT_TRUE(host.Load(mPlugin, error)) << error;
    host.Open();
    host.Effect()->setParameter(host.Effect(), 7, 1.0f);
    void* data = nullptr;
    const VstIntPtr size = host.Dispatch(effGetChunk, 1, 0, &data);
    ASSERT_GT(size, 0);
    chunk.assign(static_cast<const char*>(data), size_t(size));
  }
  torva_test::WriteFile(mDir / "bypass-chunk.fxp", PresetFile(FxFile::kProgramChunk, {}, chunk));
  EXPECT_EQ(MaxDiff(Render("fpch.wav", {"--preset", mDir / "bypass-chunk.fxp"}), mIn), 0.0);

  // State the plug-in refuses is an error, not a silent default render.
  torva_test::WriteFile(mDir / "bad.fxp", PresetFile(FxFile::kProgramChunk, {}, "junk!"));
  const RunResult r =
      RunTorva({"render", mDir / "in.wav", mDir / "bad.wav", "--preset", mDir / "bad.fxp"});
  EXPECT_EQ(r.mExit, 1);
  EXPECT_TRUE(Contains(r.mErr, "the plug-in rejected the state")) << r.mErr;
  EXPECT_FALSE(Exists(mDir / "bad.wav"));
}

// A chain is the plug-ins run one after the other: TORVA into TORVA, each with a setting of its
// own, gives the bits of two renders in sequence, in either precision (the file between them
// holds that precision, so it adds nothing).
TEST_F(TorvaPlugin, ChainEqualsRendersInSequence)
{
  for (const int format : {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE})
  {
    const std::string precision = format == SF_FORMAT_FLOAT ? "float" : "double";
    SCOPED_TRACE(precision);
    Audio in = mIn;
    in.mFormat = SF_FORMAT_WAV | format;
    WriteAudio(mDir / "in.wav", in);
    const std::vector<std::string> common = {"--block", "300", "--precision", precision};
    auto with = [&](std::vector<std::string> options)
    {
      options.insert(options.end(), common.begin(), common.end());
      return options;
    };
    Render("first.wav", with({"--set", "Volume 1=30"}));
    const Audio sequence = Render("second.wav", with({"--set", "Master=-6"}), "first.wav");
    const RunResult r = RunTorva({"render", mPlugin, mPlugin, mDir / "in.wav", mDir / "chain.wav",
                                  "--set", "1:Volume 1=30", "--set", "2:Master=-6", "--block",
                                  "300", "--precision", precision});
    ASSERT_EQ(r.mExit, 0) << r.mErr;
    const Audio chain = ReadAudio(mDir / "chain.wav");
    EXPECT_EQ(chain.mSamples, sequence.mSamples); // bit for bit
    EXPECT_GT(MaxDiff(chain, Render("once.wav", with({"--set", "Volume 1=30"}))), 0.01);
  }
}

TEST_F(TorvaPlugin, DemoRendersTheBuiltInPhrase)
{
  if (!Exists(BinaryPath("TORVACab.so"))) GTEST_SKIP() << "TORVACab.so is not built";
  const RunResult r = RunTorva({"demo", mDir / "demo.wav"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mOut, "built-in guitar phrase"));
  EXPECT_EQ(r.mErr, ""); // no progress bar off a terminal
  const Audio demo = ReadAudio(mDir / "demo.wav");
  EXPECT_EQ(demo.mRate, 48000);
  EXPECT_EQ(demo.mChannels, 2);
  EXPECT_EQ(demo.Frames(), 480000);
  ExpectFinite(demo);
  EXPECT_GT(Peak(demo), 0.05);
  EXPECT_GT(MaxDiff(Channel(demo, 0), Channel(demo, 1)), 0.01); // two takes, left and right
}

namespace
{
// A third-party plug-in from the distribution (dragonfly-reverb-vst), which exports only
// `main`, reads no values as text and cannot run in double precision or mono.
std::string ThirdPartyPlugin()
{
  for (const char* dir :
       {"/usr/lib/lxvst", "/usr/lib/vst", "/usr/local/lib/lxvst", "/usr/local/lib/vst"})
  {
    const std::string path = std::string(dir) + "/DragonflyRoomReverb-vst.so";
    if (Exists(path)) return path;
  }
  return {};
}
} // namespace

TEST(ThirdPartyPlugin, InfoAndRender)
{
  const std::string plugin = ThirdPartyPlugin();
  if (plugin.empty()) GTEST_SKIP() << "dragonfly-reverb-vst is not installed";
  // Leaks inside someone else's plug-in are not this host's to report.
  const std::vector<std::string> env = {"ASAN_OPTIONS=detect_leaks=0"};
  TempDir dir;

  RunResult r = RunTorva({"info", plugin}, env);
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mOut, "(entry main)"));
  EXPECT_TRUE(Contains(r.mOut, "channels    2 in, 2 out"));
  EXPECT_TRUE(Contains(r.mOut, "  Decay "));

  const Audio in = TestSignal(2, 48000, 24000);
  WriteAudio(dir / "in.wav", in);
  r = RunTorva(
      {"render", plugin, dir / "in.wav", dir / "out.wav", "--set", "Decay=1", "--block", "333"},
      env);
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_TRUE(Contains(r.mOut, "Decay = 1.0")) << r.mOut; // found on its display
  const Audio out = ReadAudio(dir / "out.wav");
  EXPECT_EQ(out.mChannels, 2);
  EXPECT_EQ(out.Frames(), in.Frames());
  ExpectFinite(out);
  EXPECT_GT(MaxDiff(out, in), 0.01);

  WriteAudio(dir / "mono.wav", Channel(in, 0));
  r = RunTorva({"render", plugin, dir / "mono.wav", dir / "m.wav"}, env);
  EXPECT_EQ(r.mExit, 1);
  EXPECT_TRUE(Contains(r.mErr, "the input has 1 channel but the plug-in takes 2")) << r.mErr;
  r = RunTorva({"render", plugin, dir / "in.wav", dir / "d.wav", "--precision", "double"}, env);
  EXPECT_EQ(r.mExit, 1);
  EXPECT_TRUE(Contains(r.mErr, "cannot process double precision")) << r.mErr;
}
