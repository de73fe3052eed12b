// lilv's command-line tools on the built bundle: lv2ls finds it, lv2info reads every port's
// range and default from the generated Turtle, and lv2apply renders what `torva render` renders
// through TORVA.so, bit for bit.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "lv2/Lv2Host.h"
#include "support/CliHarness.h"
#include "support/Sanitized.h"

namespace
{

// Output and exit status of a shell command.
std::pair<std::string, int> Shell(std::string const& command)
{
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return {"", -1};
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  int const status = pclose(p);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

bool Have(char const* program)
{
  return Shell(std::string("command -v ") + program + " >/dev/null").second == 0;
}

std::string Lv2Path()
{
  std::string const bundle = lv2host::BundlePath();
  return "LV2_PATH='" + bundle.substr(0, bundle.rfind('/')) + "' ";
}

class Lv2Tools : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (torva_test::Sanitized())
      GTEST_SKIP() << "lilv's tools cannot load a module built with the sanitizers";
    for (char const* tool : {"lv2ls", "lv2info", "lv2apply"})
      if (!Have(tool)) GTEST_SKIP() << tool << " is not installed (lilv-utils)";
  }
};

TEST_F(Lv2Tools, Lv2lsFindsTheBundle)
{
  auto const [out, status] = Shell(Lv2Path() + "lv2ls");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "urn:brindlecircuits:torva\n");
}

// Every port as lv2info shows it: index, symbol, name, range, default and properties.
TEST_F(Lv2Tools, Lv2infoListsThePortsWithTheParametersRanges)
{
  auto const [out, status] = Shell(Lv2Path() + "lv2info urn:brindlecircuits:torva");
  ASSERT_EQ(status, 0) << out;
  EXPECT_TRUE(Contains(out, "Name:              TORVA")) << out;
  EXPECT_TRUE(Contains(out, "urn:brindlecircuits:torva#ui")) << out;
  EXPECT_TRUE(Contains(out, "http://lv2plug.in/ns/extensions/ui#X11UI")) << out;
  EXPECT_TRUE(Contains(out, "http://lv2plug.in/ns/ext/state#interface")) << out;

  // The port blocks, keyed by index: field -> text.
  std::map<int, std::map<std::string, std::string>> ports;
  std::istringstream lines(out);
  int current = -1;
  std::string lastField;
  for (std::string line; std::getline(lines, line);)
  {
    size_t const start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    std::string const text = line.substr(start);
    if (text.rfind("Port ", 0) == 0)
    {
      current = std::stoi(text.substr(5));
      continue;
    }
    if (current < 0) continue;
    size_t const colon = text.find(':');
    bool const field =
        colon != std::string::npos && colon + 1 < text.size() && text[colon + 1] == ' ';
    if (field) lastField = text.substr(0, colon);
    std::string const value = field ? text.substr(text.find_first_not_of(' ', colon + 1)) : text;
    std::string& slot = ports[current][lastField];
    slot += (slot.empty() ? "" : " ") + value;
  }

  struct Expected
  {
    int mIndex;
    char const* mSymbol;
    char const* mName;
    char const* mMin;
    char const* mMax;
    char const* mDefault;
    char const* mProperty;
  };
  Expected const expected[] = {
      {4, "bass", "Bass", "0.000000", "1.000000", "0.700000", ""},
      {5, "master", "Master", "-20.000000", "20.000000", "-4.000000", ""},
      {6, "middle", "Middle", "0.000000", "1.000000", "0.300000", ""},
      {7, "presence", "Presence", "0.000000", "1.000000", "0.300000", ""},
      {8, "treble", "Treble", "0.000000", "1.000000", "0.400000", ""},
      {9, "volume_1", "Volume 1", "0.000000", "50.000000", "10.000000", ""},
      {10, "volume_2", "Volume 2", "0.000000", "50.000000", "10.000000", ""},
      {11, "bypass", "Bypass", "0.000000", "1.000000", "0.000000", "lv2core#toggled"},
  };
  ASSERT_EQ(ports.size(), 12u) << out;
  for (int i = 0; i < 4; ++i)
  {
    EXPECT_TRUE(Contains(ports[i]["Type"], "lv2core#AudioPort")) << i;
    EXPECT_TRUE(Contains(ports[i]["Type"], i < 2 ? "lv2core#InputPort" : "lv2core#OutputPort"));
  }
  for (Expected const& e : expected)
  {
    auto& p = ports[e.mIndex];
    SCOPED_TRACE(e.mSymbol);
    EXPECT_TRUE(Contains(p["Type"], "lv2core#ControlPort"));
    EXPECT_TRUE(Contains(p["Type"], "lv2core#InputPort"));
    EXPECT_EQ(p["Symbol"], e.mSymbol);
    EXPECT_EQ(p["Name"], e.mName);
    EXPECT_EQ(p["Minimum"], e.mMin);
    EXPECT_EQ(p["Maximum"], e.mMax);
    EXPECT_EQ(p["Default"], e.mDefault);
    EXPECT_EQ(Contains(p["Properties"], "toggled"), e.mProperty[0] != '\0') << p["Properties"];
  }
}

// lv2apply runs the plug-in on a file with two controls changed; `torva render` with the same
// settings through TORVA.so in single precision gives the very same samples.
TEST_F(Lv2Tools, Lv2applyRendersWhatTorvaRenders)
{
  TempDir dir;
  std::string const in = dir / "in.wav", viaLv2 = dir / "lv2.wav", viaVst = dir / "vst.wav";
  WriteAudio(in, TestSignal(2, 48000, 30000));

  struct Settings
  {
    char const* mName;
    std::vector<std::pair<std::string, std::string>> mControls; // symbol, value
    std::vector<std::string> mVstSet;
  };
  Settings const runs[] = {
      {"defaults", {}, {}},
      {"master and treble",
       {{"master", "-7.5"}, {"treble", "0.75"}},
       {"Master=-7.5", "Treble=0.75"}},
      {"drive and bypass off",
       {{"volume_1", "42.5"}, {"bypass", "0"}},
       {"Volume 1=42.5", "Bypass=0"}},
  };
  for (Settings const& s : runs)
  {
    SCOPED_TRACE(s.mName);
    std::string cmd = Lv2Path() + "lv2apply -i '" + in + "' -o '" + viaLv2 + "'";
    for (auto const& [symbol, value] : s.mControls) cmd += " -c " + symbol + " " + value;
    auto const [out, status] = Shell(cmd + " urn:brindlecircuits:torva");
    ASSERT_EQ(status, 0) << out;

    std::vector<std::string> args = {"render", in, viaVst, "--precision", "float"};
    for (std::string const& set : s.mVstSet)
    {
      args.push_back("--set");
      args.push_back(set);
    }
    RunResult const r = RunTorva(args);
    ASSERT_EQ(r.mExit, 0) << r.mErr;

    Audio const a = ReadAudio(viaLv2), b = ReadAudio(viaVst);
    ASSERT_EQ(a.mChannels, 2);
    ASSERT_EQ(a.Frames(), 30000);
    EXPECT_EQ(MaxDiff(a, b), 0.0);
    EXPECT_GT(Peak(a), 0.01);
  }
}

} // namespace
