// `torva` finding presets by name: the factory files the build wrote beside TORVA.so, checked
// against the table in the sources, and the user's folder (a private XDG_DATA_HOME here).

#include "TORVA/TORVAPresets.h"
#include "host/VstHost.h"
#include "support/CliHarness.h"

#include <charconv>

namespace
{
class PresetNames : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (!Exists(mPlugin)) GTEST_SKIP() << "TORVA.so is not built";
    WriteAudio(mDir / "in.wav", TestSignal(2, 44100, 1500));
  }
  RunResult Run(std::vector<std::string> a)
  {
    return RunTorva(a, {"XDG_DATA_HOME=" + mDir / "data"});
  }
  // The bytes of `torva render` with these options.
  std::vector<unsigned char> Render(std::vector<std::string> options)
  {
    options.insert(options.begin(), {"render", mDir / "in.wav", mDir / "out.wav"});
    EXPECT_EQ(Run(options).mExit, 0);
    return torva_test::ReadFile(mDir / "out.wav");
  }
  std::string mPlugin = BinaryPath("TORVA.so"), mFactory = BinaryPath("TORVA.presets");
  TempDir mDir;
};
} // namespace

// A factory preset's name, its file, and its row's values typed in give the same file.
TEST_F(PresetNames, EveryFactoryPresetRendersAsItsRow)
{
  VstHost host;
  std::string error;
  ASSERT_TRUE(host.Load(mPlugin, error)) << error;
  host.Open();
  const std::vector<unsigned char> clean = Render({"--preset", "Clean"});
  for (const FactoryPreset& preset : std::vector(kTORVAPresets, kTORVAPresets + kNumTORVAPresets))
  {
    SCOPED_TRACE(preset.name);
    std::vector<std::string> settings;
    for (int i = 0; i < host.Effect()->numParams; ++i)
    {
      char buf[32];
      char* end = std::to_chars(buf, buf + sizeof buf, preset.values[i]).ptr;
      settings.insert(settings.end(), {"--set", host.ParamName(i) + "=" + std::string(buf, end)});
    }
    const std::vector<unsigned char> byName = Render({"--preset", preset.name});
    EXPECT_EQ(byName, Render(settings));
    EXPECT_EQ(byName, Render({"--preset", mFactory + "/" + preset.name + ".fxp"}));
    EXPECT_EQ(byName == clean, preset.name == std::string("Clean")); // else the check means nothing
  }
}

// Saved into a folder made for them, never overwritten unasked; a name nobody has or two
// plug-ins have is refused with what to write.
TEST_F(PresetNames, UserPresetsAndWrongNames)
{
  ASSERT_EQ(Run({"preset", "--name", "My Lead", "--preset", "crunch", "--set", "Master=-10"}).mExit,
            0);
  const std::vector<unsigned char> lead = Render({"--preset", "Crunch", "--set", "Master=-10"});
  EXPECT_EQ(Render({"--preset", "my lead"}), lead);
  // Found in any case, so saved in any case it is the same preset: refused, else replaced.
  ExpectOneErrorLine(Run({"preset", "--name", "MY LEAD"}), "\"MY LEAD\" exists already; --replace");
  ASSERT_EQ(Run({"preset", "--name", "MY LEAD", "--replace", "--preset", "Fuzz"}).mExit, 0);
  EXPECT_EQ(Render({"--preset", "My Lead"}), Render({"--preset", "Fuzz"}));
  ExpectOneErrorLine(RunTorva({"preset", "--name", "X"}, {"XDG_DATA_HOME=" + mDir / "in.wav"}),
                     "in.wav is not a folder");

  RunResult r = Run({"info"}); // the factory's in the bank's order, and the one user preset
  size_t at = r.mOut.find(std::to_string(kNumTORVAPresets) + " from the factory (" + mFactory);
  for (int k = 0; k < kNumTORVAPresets; ++k)
    EXPECT_NE(at = r.mOut.find(kTORVAPresets[k].name, at), std::string::npos) << k << r.mOut;
  EXPECT_TRUE(Contains(r.mOut, "user        1 preset (" + mDir / "data/torva/presets)\n"));

  const std::string in = mDir / "in.wav", out = mDir / "o.wav";
  r = Run({"render", in, out, "--preset", "Nope"});
  ExpectOneErrorLine(r, "no file or preset \"Nope\"; the presets are TORVA: Clean, Sparkle, ");
  EXPECT_TRUE(Contains(r.mErr, ", Bass and MY LEAD (user)\n"));
  ExpectOneErrorLine(Run({"render", mPlugin, mPlugin, in, out, "--preset", "Jazz"}),
                     "plug-ins: 1 TORVA, 2 TORVA; write --preset 1:Jazz or --preset 2:Jazz", 2);
  r = Run({"render", mPlugin, mPlugin, in, out, "--preset", "2:Jazz"});
  EXPECT_TRUE(Contains(r.mOut, "set      TORVA: factory preset Jazz (" + mFactory + "/Jazz.fxp)"));
}
