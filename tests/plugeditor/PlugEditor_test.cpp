// The plug-in base with an editor attached: what it pushes into the editor and when, and that
// it owns it.

#include <gtest/gtest.h>

#include "support/EightParamPlug.h"
#include "support/FakeEditor.h"

using torva_test::EightParamPlug;
using torva_test::FakeEditor;

TEST(PlugEditor, AttachGraphicsAndRedraw)
{
  bool deleted = false;
  {
    EightParamPlug plug;
    plug.AttachGraphics(nullptr);
    EXPECT_EQ(plug.GetGUI(), nullptr);

    auto* g = new FakeEditor(&plug, 300, 120, &deleted);
    plug.AttachGraphics(g);
    EXPECT_EQ(plug.GetGUI(), g);
    ASSERT_EQ(g->mPushes.size(), 8u);
    EXPECT_EQ(g->mPrepDraws, 1);
    EXPECT_EQ(g->mPrepDrawAt, 8) << "drawing is prepared after the values are pushed";
    EXPECT_DOUBLE_EQ(g->mPushes[1].mValue, 0.4);
    EXPECT_TRUE(g->mPushes[1].mNormalized);

    g->mPushes.clear();
    plug.RedrawParamControls();
    ASSERT_EQ(g->mPushes.size(), 8u);
    EXPECT_EQ(g->mPushes[1].mValue, -4.0);
    EXPECT_FALSE(g->mPushes[1].mNormalized);
    EXPECT_FALSE(deleted);
  }
  EXPECT_TRUE(deleted) << "the plug-in owns its editor";
}
