// Where the Linux editor finds a size of its own, as text: TORVA_SCALE's forms, the X resource
// database's Xft.dpi, and the settings file with every way it can be wrong.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/linux/EditorScale.h"
#include "support/TempFiles.h"

namespace
{
using namespace editor_scale;

// TORVA_SCALE's forms and Xft.dpi, each rounded to the nearest size offered (ties to the larger).
TEST(EditorScaleText, EnvironmentAndXftDpi)
{
  const struct
  {
    const char* text;
    int scale;
  } env[] = {{"150", 150},  {"200%", 200}, {" 150 % ", 150}, {"1.5", 150}, {"2", 200},
             {"1.25", 150}, {"1.74", 150}, {"1.75", 200},    {"3", 200},   {"120", 100},
             {"0", 0},      {"-2", 0},     {"", 0},          {"big", 0},   {"2x", 0},
             {"1e2", 0},    {nullptr, 0}};
  for (const auto& c : env) EXPECT_EQ(ParseScaleText(c.text), c.scale) << (c.text ? c.text : "-");
  const struct
  {
    const char* resources;
    int scale;
  } xrdb[] = {{"Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n", 150},
              {"Xft.dpi: 192", 200},
              {"Xft.dpi:\t96\n", 100},
              {"*Xft.dpi:\t192\n", 0}, // not the resource itself
              {"Xft.dpix:\t192\n", 0},
              {"Xft.dpi:\tlots\n", 0},
              {"Xft.dpi:\t0\n", 0},
              {"", 0}};
  for (const auto& c : xrdb) EXPECT_EQ(ScaleFromResources(c.resources), c.scale) << c.resources;
}

// The file the size menu writes is read back; anything else is no answer (never a crash). Each
// setting rewrites its own line and keeps the others as they are.
TEST(EditorScaleText, SettingsFile)
{
  torva_test::TempDir dir;
  const std::string path = dir / "torva/editor";
  ASSERT_TRUE(WriteStoredScale(path, 150));
  EXPECT_EQ(torva_test::ReadText(path), "scale=150\n");
  EXPECT_EQ(ReadStoredScale(path), 150);

  const struct
  {
    const char* what;
    std::string text;
    int scale;
  } cases[] = {{"no trailing newline", "scale=200", 200},
               {"size not offered", "scale=175\n", 0},
               {"two lines", "scale=150\nscale=200\n", 0},
               {"another program's", "[editor]\nzoom=2\n", 0},
               {"binary", std::string("scale=150").insert(7, 1, '\0'), 0},
               {"beside other settings", "ir_folder=/a\nscale=150\nzoom=2\n", 150},
               {"too long", "scale=150" + std::string(100000, ' '), 0}};
  for (const auto& c : cases)
  {
    ASSERT_TRUE(torva_test::WriteText(path, c.text));
    EXPECT_EQ(ReadStoredScale(path), c.scale) << c.what;
  }
  ASSERT_TRUE(torva_test::WriteText(path, "zoom=2\nscale=150\n"));
  ASSERT_TRUE(WriteSetting(path, "ir_folder", "/home/me/irs"));
  ASSERT_TRUE(WriteStoredScale(path, 200));
  ASSERT_TRUE(WriteSetting(path, "ir_folder", "/home/me/more irs"));
  EXPECT_EQ(torva_test::ReadText(path), "zoom=2\nscale=200\nir_folder=/home/me/more irs\n");
  EXPECT_EQ(ReadSetting(path, "ir_folder"), "/home/me/more irs");
  EXPECT_FALSE(WriteSetting(path, "ir_folder", "two\nlines"));
  EXPECT_EQ(ReadSetting(path, "zoom"), "2");
  EXPECT_EQ(ReadStoredScale(dir / "none"), 0);
  EXPECT_EQ(ReadStoredScale(dir.Path()), 0); // a folder, not a file
  // A folder that cannot be made: refused, not a crash.
  EXPECT_FALSE(WriteStoredScale(path + "/inside", 150));
}

} // namespace
