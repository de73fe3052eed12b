// The headless editor's stand-ins for the platform: where images come from, what is presented,
// and the window's life.

#include "GraphicsTestSupport.h"

using namespace gfxtest;

namespace
{

TEST(Headless, ImagesFromBytesNamesAndFiles)
{
  const std::vector<char> png = PngBytes(*MakeIdStrip(3, 2, 1), "headless");
  const std::string folder = std::string(TORVA_BINARY_DIR);
  const std::string fileName = "gfx-headless-file-" + std::to_string((long)getpid()) + ".png";
  torva_test::WritePng(folder + "/" + fileName, torva_test::ImageOf(*MakeIdStrip(5, 4, 1)));

  IGraphicsHeadless::RegisterImage(880101, "by-id.png", png.data(), (int)png.size());
  IGraphicsHeadless::RegisterImage(-1, "by-name.png", png.data(), (int)png.size());
  IGraphicsHeadless::RegisterImage(880103, "garbage.png", "not a png", 9);
  IGraphicsHeadless::RegisterImage(880104, "nothing.png", nullptr, 10); // ignored
  IGraphicsHeadless::SetImageFolder(folder.c_str());

  struct Row
  {
    int id;
    std::string name;
    int w, h; // 0: the placeholder
  };
  const Row rows[] = {
      {880101, "by-id.png", 3, 2},
      {880102, "by-name.png", 3, 2},           // id not registered: found by name
      {880105, fileName, 5, 4},                // in the image folder
      {880106, folder + "/" + fileName, 5, 4}, // absolute
      {880103, "garbage.png", 0, 0},           // bytes that are no PNG
      {880104, "nothing.png", 0, 0},
      {880107, "", 0, 0},
  };
  for (const Row& row : rows)
  {
    Rig rig;
    testing::internal::CaptureStderr();
    IBitmap bm = rig.gui->LoadIBitmap(row.id, row.name.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_NE(bm.mData, nullptr) << row.name;
    if (row.w)
    {
      EXPECT_EQ(bm.mW, row.w) << row.name;
      EXPECT_EQ(bm.mH, row.h) << row.name;
      EXPECT_EQ(LICE_GetPixel(bm.mData, 0, 0), IdColor(1)) << row.name;
      EXPECT_EQ(err, "") << row.name;
    }
    else
    {
      EXPECT_EQ(bm.mW, 16) << row.name;
      EXPECT_NE(err.find(std::to_string(row.id)), std::string::npos) << row.name;
    }
  }
  IGraphicsHeadless::SetImageFolder("");
  std::remove((folder + "/" + fileName).c_str());
}

TEST(Headless, WindowTicksAndPresentedRegions)
{
  Rig rig(50, 40);
  IColor grey = COLOR_GRAY;
  rig.gui->AttachPanelBackground(&grey);
  auto* probe = rig.Probe(IRECT(5, 5, 15, 15), kLevel);
  rig.Open();
  EXPECT_FALSE(rig.gui->WindowIsOpen());
  EXPECT_NE(rig.gui->OpenWindow(nullptr), nullptr);
  EXPECT_TRUE(rig.gui->WindowIsOpen());

  EXPECT_TRUE(rig.gui->Tick());
  EXPECT_FALSE(rig.gui->Tick());
  rig.gui->SetParameterFromPlug(kLevel, 0.9, true);
  EXPECT_TRUE(rig.gui->Tick());
  ASSERT_EQ(rig.gui->Presented().size(), 2u);
  EXPECT_EQ(rig.gui->Presented()[0], IRECT(0, 0, 50, 40));
  EXPECT_EQ(rig.gui->Presented()[1], IRECT(5, 5, 15, 15));

  rig.gui->ClearPresented();
  probe->mDraws = 0;
  EXPECT_TRUE(rig.gui->RenderAll());
  EXPECT_EQ(probe->mDraws, 1);
  EXPECT_EQ(rig.gui->Presented().at(0), IRECT(0, 0, 50, 40));
  EXPECT_EQ(rig.gui->GetPoint(40, 30), COLOR_GRAY);
  EXPECT_EQ(rig.gui->GetPoint(6, 6), COLOR_RED);

  rig.gui->CloseWindow();
  EXPECT_EQ(rig.gui->GetWindow(), nullptr);
  // Closing keeps controls and bitmaps, so the editor can open again.
  EXPECT_EQ(rig.gui->NControls(), 2);
  EXPECT_NE(rig.gui->GetDrawBitmap(), nullptr);
  EXPECT_NE(rig.gui->OpenWindow(nullptr), nullptr);
}

} // namespace
