// `torva editor` against the fake plug-in's editor under a private Xvfb: the host's requests in
// order, the window it gives the editor, the picture it takes, the ways a session ends, and the
// error line of every failure. Also the pixel conversion the picture goes through.

#include "framework/vst2/VstAbi.h"
#include "support/CliHarness.h"
#include "support/golden.h"
#include "tools/EditorWindow.h"
#include "x11/XvfbServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace
{
// The fake editor's looks (tests/tools/fake_plugin/FakeVst.cpp).
constexpr int kW = 160, kH = 100;
constexpr uint32_t kEditorColour = 0x3080C0, kPatchColour = 0xE05010;
constexpr int kPatchX = 10, kPatchY = 5, kPatchW = 20, kPatchH = 10;

const std::string kWithEditor =
    "TORVA_FAKE_FLAGS=" +
    std::to_string(effFlagsHasEditor | effFlagsCanReplacing | effFlagsCanDoubleReplacing);

class TorvaEditor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (x11test::SharedDisplay().empty()) GTEST_SKIP() << "no Xvfb";
  }

  RunResult Run(const std::vector<std::string>& args, const std::string& mode = {})
  {
    std::vector<std::string> env = {"DISPLAY=" + x11test::SharedDisplay(), "TORVA_FAKE_LOG=" + mLog,
                                    kWithEditor};
    if (!mode.empty()) env.push_back("TORVA_FAKE_EDITOR=" + mode);
    std::vector<std::string> all = {"editor", mFake};
    all.insert(all.end(), args.begin(), args.end());
    return RunTorva(all, env);
  }
  std::vector<std::string> Calls() { return Lines(ReadText(mLog)); }
  long Count(const std::string& call)
  {
    const auto calls = Calls();
    return std::count(calls.begin(), calls.end(), call);
  }

  TempDir mDir;
  std::string mFake = BinaryPath("FakeVst.so");
  std::string mLog = mDir / "calls.log";
};

// A picture of exactly the editor: its colour everywhere but the patch, the patch where the
// editor put it (a flipped, shifted or channel-swapped picture fails), and the requests of a
// host around it: settings and resume first, the size, the open with a top-level window of
// that size titled with the effect name, idles only while open, close before suspend and
// effClose.
TEST_F(TorvaEditor, PictureAndLifecycle)
{
  const std::string png = mDir / "editor.png";
  const RunResult r = Run({"--set", "Gain=0.25", "--png", png, "--after", "0.3"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_EQ(r.mErr, "");

  torva_test::Image image;
  std::string error;
  ASSERT_TRUE(torva_test::ReadPng(png, &image, &error)) << error;
  ASSERT_EQ(image.width, kW);
  ASSERT_EQ(image.height, kH);
  int wrong = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
    {
      const bool patch =
          x >= kPatchX && x < kPatchX + kPatchW && y >= kPatchY && y < kPatchY + kPatchH;
      const uint32_t want = 0xFF000000u | (patch ? kPatchColour : kEditorColour);
      if (image.pixels[size_t(y * kW + x)] != want && ++wrong <= 3)
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex
                      << image.pixels[size_t(y * kW + x)] << ", expected " << want;
    }
  EXPECT_EQ(wrong, 0);

  // Settings and resume before the size, then open, close, suspend and effClose last.
  const std::vector<std::string> calls = Calls();
  std::vector<long> at;
  for (const char* call :
       {"op 27 0 0.25", "op 12 1", "op 13", "op 14 window=set title=Fake size=160x100",
        "op 15 open", "op 12 0", "op 1"})
    at.push_back(std::find(calls.begin(), calls.end(), call) - calls.begin());
  const long n = long(calls.size()), open = at[3], close = at[4];
  ASSERT_LT(open, n) << ReadText(mLog);
  EXPECT_LT(at[0], at[2]);
  EXPECT_TRUE(std::is_sorted(at.begin() + 1, at.end()) && at.back() == n - 1) << ReadText(mLog);
  long idles = 0;
  for (long i = 0; i < n; ++i)
    if (calls[size_t(i)] == "op 19")
    {
      EXPECT_TRUE(i > open && i < close) << "idle outside the open editor at " << i;
      ++idles;
    }
  // 30 a second for at least 0.3 s; a loaded machine may lose a few, never gain many.
  EXPECT_GE(idles, 5);
  EXPECT_LE(idles, 200);
}

// Closing the window the way a window manager asks, and SIGTERM, both end the session as a
// host would: editor closed first, then the plug-in, exit 0.
TEST_F(TorvaEditor, ClosedByTheWindowOrASignal)
{
  for (const char* mode : {"close", "term"})
  {
    SCOPED_TRACE(mode);
    const RunResult r = Run({}, mode);
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    EXPECT_EQ(r.mErr, "");
    const auto calls = Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 4, calls.end()),
              (std::vector<std::string>{"op 15 open", "op 72", "op 12 0", "op 1"}));
    std::remove(mLog.c_str());
  }
}

// Every failure: one line, exit 1 (2 for a malformed command line), no picture left behind,
// and the plug-in still closed; an editor that opened is closed again.
TEST_F(TorvaEditor, Failures)
{
  const std::string png = mDir / "x.png";
  const struct
  {
    std::vector<std::string> args;
    const char* mode;
    std::string error;
    int exit;
    bool opened;
  } cases[] = {{{"--png", png}, "fail", mFake + " could not open its editor", 1, false},
               {{"--png", png, "--after", "0"},
                "wide",
                "(4000x100) does not fit on the 1024x768 screen",
                1,
                true},
               {{"--png", mDir / "no-such-dir/x.png", "--after", "0"}, "", "cannot write", 1, true},
               {{"--png", png, "--set", "Volume=1"}, "", "unknown parameter \"Volume\"", 1, false},
               {{"--after", "-1", "--png", png}, "", "--after needs seconds", 2, false},
               {{"--after", "1s"}, "", "--after needs seconds", 2, false},
               {{"--after", "nan"}, "", "--after needs seconds", 2, false},
               {{"--png"}, "", "--png needs a value", 2, false},
               {{"--size", "2"}, "", "unknown option --size", 2, false},
               {{"second.so"}, "", "at most one plug-in", 2, false}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.error);
    std::remove(mLog.c_str());
    ExpectOneErrorLine(Run(c.args, c.mode), c.error, c.exit);
    EXPECT_FALSE(Exists(png));
    if (c.exit == 2) continue; // refused before the plug-in is loaded
    EXPECT_EQ(Count("op 15 open"), c.opened ? 1 : 0);
    EXPECT_EQ(Count("op 15 not-open"), 0);
    EXPECT_EQ(Calls().back(), "op 1");
  }
}

// Without a display or without an editor nothing is shown; no Xvfb needed.
TEST(TorvaEditorNoDisplay, OneErrorLine)
{
  TempDir dir;
  const std::string fake = BinaryPath("FakeVst.so"), log = "TORVA_FAKE_LOG=" + dir / "calls.log";
  ExpectOneErrorLine(RunTorva({"editor", fake}, {"DISPLAY=", kWithEditor, log}),
                     "cannot open the display (DISPLAY is not set)");
  ExpectOneErrorLine(
      RunTorva({"editor", fake, "--png", dir / "x.png"}, {"DISPLAY=:9876", kWithEditor}),
      "cannot open the display :9876");
  EXPECT_FALSE(Exists(dir / "x.png"));
  // The fake's default flags lack the editor.
  ExpectOneErrorLine(RunTorva({"editor", fake}, {"DISPLAY=:9876", log}), fake + " has no editor");
  const auto calls = Lines(ReadText(dir / "calls.log"));
  for (const std::string& call : calls) EXPECT_NE(call.rfind("op 14", 0), 0u) << call;
  EXPECT_EQ(calls.back(), "op 1");
}

// Words of the server's image as RGB: both byte orders, row padding, masks of other widths
// (scaled to the full 0..255), and data too short for the picture.
TEST(PixelsToRgb, LayoutsAndBounds)
{
  // Two pixels a row, rows padded to 12 bytes; words 0x00112233 and 0x00FFFFFF.
  const uint8_t lsb[] = {0x33, 0x22, 0x11, 0,    0xFF, 0xFF, 0xFF, 0,    9,    9,
                         9,    9,    0xFF, 0xFF, 0xFF, 0,    0x33, 0x22, 0x11, 0};
  const std::vector<uint8_t> want = {0x11, 0x22, 0x33, 255,  255,  255,
                                     255,  255,  255,  0x11, 0x22, 0x33};
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(PixelsToRgb(lsb, sizeof lsb, 2, 2, 12, PixelLayout{}, rgb));
  EXPECT_EQ(rgb, want);
  uint8_t msb[sizeof lsb]; // the same words most significant byte first
  for (size_t i = 0; i < sizeof lsb; ++i) msb[i] = lsb[i / 4 * 4 + 3 - i % 4];
  ASSERT_TRUE(PixelsToRgb(msb, sizeof msb, 2, 2, 12, PixelLayout{true}, rgb));
  EXPECT_EQ(rgb, want);

  // One little-endian word under other masks: blue first, 10-bit channels (0x3FF scales to
  // 255, 0x200 to 128) and 5-6-5 (top values are full).
  const struct
  {
    PixelLayout layout;
    uint32_t word;
    std::vector<uint8_t> rgb;
  } masks[] = {
      {{false, 0x0000FF, 0x00FF00, 0xFF0000}, 0x00332211, {0x11, 0x22, 0x33}},
      {{false, 0x3FF00000, 0x000FFC00, 0x000003FF}, 0x3FFu << 20 | 0x200u << 10, {255, 128, 0}},
      {{false, 0xF800, 0x07E0, 0x001F}, 0xFFFF, {255, 255, 255}},
  };
  for (const auto& m : masks)
  {
    const uint8_t bytes[] = {uint8_t(m.word), uint8_t(m.word >> 8), uint8_t(m.word >> 16),
                             uint8_t(m.word >> 24)};
    ASSERT_TRUE(PixelsToRgb(bytes, 4, 1, 1, 4, m.layout, rgb)) << std::hex << m.word;
    EXPECT_EQ(rgb, m.rgb) << std::hex << m.word;
  }

  // The last row needs only its own pixels, not its padding; one byte less is refused.
  EXPECT_TRUE(PixelsToRgb(lsb, 20, 2, 2, 12, PixelLayout{}, rgb));
  EXPECT_FALSE(PixelsToRgb(lsb, 19, 2, 2, 12, PixelLayout{}, rgb));
  EXPECT_FALSE(PixelsToRgb(lsb, sizeof lsb, 2, 2, 7, PixelLayout{}, rgb)); // rows overlap
  EXPECT_FALSE(PixelsToRgb(lsb, sizeof lsb, 2, 2, 12, PixelLayout{false, 0, 0xFF00, 0xFF}, rgb));
}
} // namespace
