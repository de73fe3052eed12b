// `torva editor` against the fake plug-in's editor under a private Xvfb: the host's requests in
// order, the window it gives the editor, the picture it takes, the ways a session ends, and the
// error line of every failure. Also the pixel conversion the picture goes through.

#include "framework/vst2/VstAbi.h"
#include "support/CliHarness.h"
#include "support/golden.h"
#include "host/EditorWindow.h"
#include "x11/XvfbServer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
// The fake editor's looks (tests/host/fake_plugin/FakeVst.cpp).
constexpr int kW = 160, kH = 100;
constexpr uint32_t kEditorColour = 0x3080C0, kPatchColour = 0xE05010;
constexpr int kPatchX = 10, kPatchY = 5, kPatchW = 20, kPatchH = 10;

class TorvaEditor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (x11test::SharedDisplay().empty()) GTEST_SKIP() << "no Xvfb";
  }

  // `env` comes first, so it may override the display and the flags.
  RunResult Run(const std::vector<std::string>& args, std::vector<std::string> env = {})
  {
    std::vector<std::string> all = {"editor", mFake};
    all.insert(all.end(), args.begin(), args.end());
    env.insert(env.end(),
               {"DISPLAY=" + x11test::SharedDisplay(), "TORVA_FAKE_LOG=" + mLog,
                "TORVA_FAKE_FLAGS=" + std::to_string(effFlagsHasEditor | effFlagsCanReplacing)});
    return RunTorva(all, env);
  }
  std::vector<std::string> Calls() { return Lines(ReadText(mLog)); }
  long Count(const std::string& prefix)
  {
    const auto calls = Calls();
    return std::count_if(calls.begin(), calls.end(),
                         [&](const std::string& c) { return c.starts_with(prefix); });
  }

  TempDir mDir;
  std::string mFake = BinaryPath("FakeVst.so");
  std::string mLog = mDir / "calls.log";
};

// A picture of exactly the editor (a flipped, shifted or channel-swapped one fails), and the
// requests of a host around it, the open with a top-level window of the editor's size titled
// with the effect name.
TEST_F(TorvaEditor, PictureAndLifecycle)
{
  const std::string png = mDir / "editor.png";
  const RunResult r = Run({"--set", "Gain=0.25", "--png", png, "--after", "0.3"});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  EXPECT_EQ(r.mErr, "");

  torva_test::Image image;
  std::string error;
  ASSERT_TRUE(torva_test::ReadPng(png, &image, &error)) << error;
  ASSERT_EQ(std::pair(image.width, image.height), std::pair(kW, kH));
  std::vector<uint32_t> want(kW * kH, 0xFF000000u | kEditorColour);
  for (int y = kPatchY; y < kPatchY + kPatchH; ++y)
    std::fill_n(want.begin() + y * kW + kPatchX, kPatchW, 0xFF000000u | kPatchColour);
  const long bad =
      std::mismatch(want.begin(), want.end(), image.pixels.begin()).first - want.begin();
  EXPECT_EQ(bad, kW * kH) << "first wrong pixel " << bad % kW << "," << bad / kW;

  // Resume and settings before the size is asked, then the open, idles only while open, and
  // close, stop, suspend and effClose last.
  const std::string log = ReadText(mLog);
  const auto at = [&](const std::string& call) { return log.find("\n" + call + "\n"); };
  const size_t open = at("op 14 window=set title=Fake size=160x100"), close = at("op 15 open");
  EXPECT_TRUE(std::max(at("op 12 1"), at("op 27 0 0.25")) < at("op 13") && at("op 13") < open &&
              open < at("op 19") && log.rfind("\nop 19\n") < close)
      << log;
  EXPECT_TRUE(log.ends_with("op 15 open\nop 72\nop 12 0\nop 1\n")) << log;
  // 30 a second for at least 0.3 s; a loaded machine may lose a few, never gain many.
  EXPECT_TRUE(Count("op 19") >= 5 && Count("op 19") <= 200) << log;
}

// The amplifier itself at the size asked for, the way Linux hosts ask: the picture is the whole
// editor drawn at that size.
TEST_F(TorvaEditor, AmplifierAtAScale)
{
  const std::string png = mDir / "amp.png";
  const RunResult r = RunTorva(
      {"editor", BinaryPath("TORVA.so"), "--scale", "150", "--png", png, "--after", "0.5"},
      {"DISPLAY=" + x11test::SharedDisplay(), "XDG_CONFIG_HOME=" + mDir.Path(), "TORVA_SCALE="});
  ASSERT_EQ(r.mExit, 0) << r.mErr;
  torva_test::Image image;
  std::string error;
  ASSERT_TRUE(torva_test::ReadPng(png, &image, &error)) << error;
  ExpectMatchesGolden(image, "amp_editor_defaults_150");
}

// Closing the window the way a window manager asks, and SIGTERM, both end the session as a
// host would: editor closed first, then the plug-in, exit 0.
TEST_F(TorvaEditor, ClosedByTheWindowOrASignal)
{
  for (const char* mode : {"close", "term"})
  {
    SCOPED_TRACE(mode);
    const RunResult r = Run({}, {std::string("TORVA_FAKE_EDITOR=") + mode});
    EXPECT_EQ(r.mExit, 0) << r.mErr;
    EXPECT_EQ(r.mErr, "");
    EXPECT_TRUE(ReadText(mLog).ends_with("op 15 open\nop 72\nop 12 0\nop 1\n")) << ReadText(mLog);
    std::remove(mLog.c_str());
  }
}

// Every failure: one line, exit 1 (2 for a malformed command line), no picture left behind,
// and the plug-in still closed; the editor is asked to open only with a display and closed
// again only when it opened.
TEST_F(TorvaEditor, Failures)
{
  const std::string png = mDir / "x.png";
  const struct
  {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string error;
    int exit;
    int asked = 0, opened = 0; // calls of effEditOpen, and of effEditClose on an open editor
  } cases[] = {
      {{}, {"TORVA_FAKE_EDITOR=fail"}, mFake + " could not open its editor", 1, 1, 0},
      {{"--after", "0"}, {"TORVA_FAKE_EDITOR=wide"}, "does not fit on the 2560x1600", 1, 1, 1},
      {{"--after", "0", "--png", mDir / "no-such-dir/x.png"}, {}, "cannot write", 1, 1, 1},
      {{"--set", "Volume=1"}, {}, "unknown parameter \"Volume\"", 1, 0, 0},
      {{}, {"DISPLAY="}, "cannot open the display (DISPLAY is not set)", 1, 0, 0},
      {{}, {"DISPLAY=:9876"}, "cannot open the display :9876", 1, 0, 0},
      {{}, {"TORVA_FAKE_FLAGS=16"}, mFake + " has no editor", 1, 0, 0}, // replacing only
      {{"--after", "-1"}, {}, "--after needs seconds", 2},
      {{"--after", "1s"}, {}, "--after needs seconds", 2},
      {{"--after", "nan"}, {}, "--after needs seconds", 2},
      {{"--size", "2"}, {}, "unknown option --size", 2},
      {{"--scale", "175"}, {}, "--scale needs 100, 150 or 200", 2},
      {{"second.so"}, {}, "at most one plug-in", 2},
      {{"--png"}, {}, "--png needs a value", 2}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.error);
    std::remove(mLog.c_str());
    std::vector<std::string> args = {"--png", png};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ExpectOneErrorLine(Run(args, c.env), c.error, c.exit);
    EXPECT_FALSE(Exists(png));
    if (c.exit == 2) continue; // refused before the plug-in is loaded
    EXPECT_EQ(Count("op 14 "), c.asked);
    EXPECT_EQ(Count("op 15 open"), c.opened);
    EXPECT_EQ(Count("op 15 not-open"), 0);
    EXPECT_EQ(Calls().back(), "op 1");
  }
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
