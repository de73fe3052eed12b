// The editor at 150 and 200 %: the mapping between editor units and pixels, film-strip frames
// drawn from their enlarged copies, and copies shared between images of equal bytes.

#include <cmath>

#include "GraphicsTestSupport.h"
#include "graphics/IGraphicsCaches.h"

namespace
{
using namespace gfxtest;

// The pixel edge of every unit is increasing and ToLogical finds the unit back from any pixel,
// at every size (negative edges too, for controls placed off the editor).
TEST(EditorScale, EdgesAndTheirInverse)
{
  for (int scale : IGraphics::kScales)
  {
    Editor ed;
    ed.gui->SetScale(scale);
    ASSERT_EQ(ed.gui->Scale(), scale);
    for (int v = -20; v < 1100; ++v)
    {
      const int p = ed.gui->ToPhysical(v), next = ed.gui->ToPhysical(v + 1);
      ASSERT_LT(p, next) << scale << "% at " << v;
      EXPECT_EQ(p, (int)std::floor(v * scale / 100.0 + 0.5)) << scale << "% at " << v;
      for (int q = p; q < next; ++q) ASSERT_EQ(ed.gui->ToLogical(q), v) << scale << "% pixel " << q;
    }
  }
  EXPECT_EQ(IGraphics::ScaleEdge(285, 150), 428); // a 1024 x 285 editor is 1536 x 428
}

// A frame of a strip with no artwork for the size is its 100 % frame enlarged on its own: frame 2
// of a 4 x 4 strip fills the knob's 8 x 8 pixels at 200 % with its colour alone, the rest of the
// back bitmap untouched; a redraw clipped to another control's area leaves the knob alone.
TEST(EditorScale, FramesDrawnAtTheSize)
{
  Editor ed(40, 20);
  auto* knob = ed.Knob(5, 3, kGain, 4, 3);
  ed.Open();
  ed.gui->SetScale(200);
  LICE_IBitmap* back = ed.gui->GetDrawBitmap();
  ASSERT_EQ(back->getWidth(), 80);
  ASSERT_EQ(back->getHeight(), 40);
  LICE_Clear(back, 0);
  knob->SetValueFromPlug(0.5); // the middle one of three frames
  IRECT all(0, 0, 40, 20);
  ed.gui->Draw(&all);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 80; ++x)
    {
      const bool inKnob = x >= 10 && x < 18 && y >= 6 && y < 14;
      ASSERT_EQ(LICE_GetPixel(back, x, y), inKnob ? IdColor(2) : 0u) << x << "," << y;
    }
  LICE_Clear(back, 0);
  IRECT elsewhere(20, 0, 40, 20);
  ed.gui->Draw(&elsewhere);
  EXPECT_EQ(LICE_GetPixel(back, 12, 8), 0u);
}

// Two images loaded from equal bytes share one copy for a size: it outlives the first image's
// removal and goes with the second (and a storage torn down with shared copies frees each once,
// which the sanitizer builds check).
TEST(EditorScale, SharedCopiesLiveAsLongAsTheirImages)
{
  const int bytes = 0; // any address stands for the platform's bytes
  for (bool removeBoth : {true, false})
  {
    BitmapStorage cache;
    auto* a = cache.Add(new LICE_MemBitmap(2, 2), 1, "a.png");
    auto* b = cache.Add(new LICE_MemBitmap(2, 2), 2, "b.png");
    auto* copy = cache.AddScaled(a, 200, new LICE_MemBitmap(4, 4), &bytes);
    EXPECT_EQ(cache.FindShared(&bytes, 200), copy);
    EXPECT_EQ(cache.FindShared(&bytes, 150), nullptr);
    EXPECT_EQ(cache.AddScaled(b, 200, copy, &bytes), copy);
    EXPECT_TRUE(cache.Remove(a));
    EXPECT_EQ(cache.FindScaled(b, 200), copy);
    if (!removeBoth) continue;
    EXPECT_TRUE(cache.Remove(b));
    EXPECT_EQ(cache.FindShared(&bytes, 200), nullptr);
    EXPECT_EQ(cache.Size(), 0);
  }
}

} // namespace
