// Drawing a 40-character label: through the glyph cache (opaque copy, translucent colour,
// add rule) against the shim drawing the same text natively, into a bitmap with a drawing
// context and through the scratch copy for one without. Compare the times within one run.
#include <benchmark/benchmark.h>

#include "raster/lice_text.h"

namespace
{

const char kText[] = "Volume 1: 7.25 dB  Bass 5.0  Treble 6.5!"; // 40 characters
static_assert(sizeof(kText) == 41);

HFONT LabelFont()
{
  return CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
}

void Run(benchmark::State& state, LICE_IBitmap* bm, int fontFlags, LICE_pixel color,
         unsigned int drawFlags, int mode)
{
  LICE_CachedFont font;
  font.SetFromHFont(LabelFont(), fontFlags | LICE_FONT_OWNS_HFONT);
  font.SetTextColor(color);
  font.SetCombineMode(mode, 1.0f);
  LICE_Clear(bm, 0xFF202020);
  RECT r = {4, 4, bm->getWidth() - 4, bm->getHeight() - 4};
  font.DrawText(bm, kText, -1, &r, drawFlags); // renders every glyph once
  for (auto _ : state)
  {
    RECT rr = r;
    benchmark::DoNotOptimize(font.DrawText(bm, kText, -1, &rr, drawFlags));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 40);
}

void BM_GlyphCacheOpaque(benchmark::State& state)
{
  LICE_MemBitmap bm(320, 24);
  Run(state, &bm, 0, 0xFFF0E0C0, LICE_TEXT_HCENTER, LICE_COMBINE_COPY);
}
BENCHMARK(BM_GlyphCacheOpaque);

void BM_GlyphCacheTranslucent(benchmark::State& state)
{
  LICE_MemBitmap bm(320, 24);
  Run(state, &bm, 0, 0x80F0E0C0, LICE_TEXT_HCENTER | LICE_TEXT_USE_FG_ALPHA, LICE_COMBINE_COPY);
}
BENCHMARK(BM_GlyphCacheTranslucent);

void BM_GlyphCacheAdd(benchmark::State& state)
{
  LICE_MemBitmap bm(320, 24);
  Run(state, &bm, 0, 0xFFF0E0C0, LICE_TEXT_HCENTER, LICE_COMBINE_ADD);
}
BENCHMARK(BM_GlyphCacheAdd);

void BM_NativeIntoContext(benchmark::State& state)
{
  LICE_SysBitmap bm(320, 24);
  Run(state, &bm, LICE_FONT_NATIVE, 0xFFF0E0C0, LICE_TEXT_HCENTER, LICE_COMBINE_COPY);
}
BENCHMARK(BM_NativeIntoContext);

void BM_NativeThroughScratch(benchmark::State& state)
{
  LICE_MemBitmap bm(320, 24);
  Run(state, &bm, LICE_FONT_NATIVE, 0xFFF0E0C0, LICE_TEXT_HCENTER, LICE_COMBINE_COPY);
}
BENCHMARK(BM_NativeThroughScratch);

} // namespace

BENCHMARK_MAIN();
