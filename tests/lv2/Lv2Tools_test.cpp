// lilv's command-line tools on the built bundle: lv2ls finds it, lv2info reads every port's
// range and default from the generated Turtle, and lv2apply renders what `torva render` renders
// through TORVA.so, bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "lv2/Lv2Host.h"
#include "support/CliHarness.h"

namespace
{

// Output and exit status of a shell command run with the built bundle on LV2_PATH.
std::pair<std::string, int> Shell(std::string const& command)
{
  std::string out;
  FILE* p = popen(("LV2_PATH='" + lv2host::BundleDir() + "' " + command + " 2>&1").c_str(), "r");
  if (!p) return {"", -1};
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  int const status = pclose(p);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// lv2info's words one space apart (the column widths are its business), each port's "Type:"
// list sorted: lilv lists a port's classes in no fixed order.
std::string Flat(std::string const& out)
{
  std::istringstream in(out);
  std::string flat;
  std::vector<std::string> types;
  bool inTypes = false;
  for (std::string w; in >> w;)
  {
    if (inTypes && w != "Symbol:")
    {
      types.push_back(w);
      continue;
    }
    std::sort(types.begin(), types.end());
    for (std::string const& t : types) flat += t + " ";
    types.clear();
    inTypes = w == "Type:";
    flat += w + " ";
  }
  return flat;
}

class Lv2Tools : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string const why = lv2host::CannotRun({"lv2ls", "lv2info", "lv2apply"}, "lilv-utils");
    if (!why.empty()) GTEST_SKIP() << why;
  }
};

// lv2ls finds both products; lv2info shows every port in order: index, kind, symbol, name,
// and for the controls the range, default and the toggled property.
TEST_F(Lv2Tools, Lv2lsAndLv2infoDescribeTheBundle)
{
  auto const [list, listed] = Shell("lv2ls");
  EXPECT_EQ(listed, 0);
  EXPECT_EQ(list, std::string(lv2host::kURI) + "\n" + lv2host::kURI + "-cab\n");
  auto const [out, status] = Shell(std::string("lv2info ") + lv2host::kURI);
  ASSERT_EQ(status, 0) << out;
  std::string const flat = Flat(out);

  std::string const core = " http://lv2plug.in/ns/lv2core#";
  std::string ports;
  for (int i = 0; i < 4; ++i)
    ports += "Port " + std::to_string(i) + ": Type:" + core + "AudioPort" + core +
             (i < 2 ? "InputPort Symbol: in_" : "OutputPort Symbol: out_") +
             std::to_string(i % 2 + 1) + (i < 2 ? " Name: Input " : " Name: Output ") +
             std::to_string(i % 2 + 1) + " ";
  char const* const controls[][5] = {
      {"bass", "Bass", "0", "1", "0.7"},         {"master", "Master", "-20", "20", "-4"},
      {"middle", "Middle", "0", "1", "0.3"},     {"presence", "Presence", "0", "1", "0.3"},
      {"treble", "Treble", "0", "1", "0.4"},     {"volume_1", "Volume 1", "0", "50", "10"},
      {"volume_2", "Volume 2", "0", "50", "10"}, {"bypass", "Bypass", "0", "1", "0"},
  };
  auto six = [](char const* v) { return std::to_string(std::stod(v)); }; // "%f"
  for (int i = 0; i < 8; ++i)
  {
    auto const& c = controls[i];
    ports += "Port " + std::to_string(4 + i) + ": Type:" + core + "ControlPort" + core +
             "InputPort Symbol: " + c[0] + " Name: " + c[1] + " Minimum: " + six(c[2]) +
             " Maximum: " + six(c[3]) + " Default: " + six(c[4]) +
             (i == 7 ? " Properties:" + core + "toggled " : " ");
  }
  for (char const* part : {"Name: TORVA ",
                           "urn:brindlecircuits:torva#ui Class: "
                           "http://lv2plug.in/ns/extensions/ui#X11UI",
                           "Extension Data: http://lv2plug.in/ns/ext/state#interface"})
    EXPECT_TRUE(Contains(flat, part)) << part << "\n" << out;
  EXPECT_TRUE(flat.ends_with(ports)) << flat << "\n" << ports;
}

// lv2apply with two controls changed (the others at the Turtle's defaults) gives the very samples
// `torva render` gives through the VST 2 module in single precision, for both products.
TEST_F(Lv2Tools, Lv2applyRendersWhatTorvaRenders)
{
  struct Row
  {
    std::string uri, module;
    char const* controls; // lv2apply's
    char const* set[2];   // torva render's
  } const rows[] = {
      {lv2host::kURI, "TORVA.so", "-c master -7.5 -c treble 0.75", {"Master=-7.5", "Treble=0.75"}},
      {std::string(lv2host::kURI) + "-cab",
       "TORVACab.so",
       "-c cabinet 2 -c level -3",
       {"Cabinet=1x12 combo", "Level=-3"}},
  };
  TempDir dir;
  std::string const in = dir / "in.wav", viaLv2 = dir / "lv2.wav", viaVst = dir / "vst.wav";
  WriteAudio(in, TestSignal(2, 48000, 30000));
  for (Row const& row : rows)
  {
    SCOPED_TRACE(row.uri);
    auto const [out, status] =
        Shell("lv2apply -i '" + in + "' -o '" + viaLv2 + "' " + row.controls + " " + row.uri);
    ASSERT_EQ(status, 0) << out;
    RunResult const r =
        RunTorva({"render", torva_test::BinaryPath(row.module), in, viaVst, "--precision", "float",
                  "--set", row.set[0], "--set", row.set[1]});
    ASSERT_EQ(r.mExit, 0) << r.mErr;

    Audio const a = ReadAudio(viaLv2), b = ReadAudio(viaVst);
    ASSERT_EQ(a.mChannels, 2);
    ASSERT_EQ(a.Frames(), 30000);
    EXPECT_EQ(MaxDiff(a, b), 0.0);
    EXPECT_GT(Peak(a), 0.01);
  }
}

} // namespace
