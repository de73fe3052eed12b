// Repainting the amplifier's editor, side by side with memcpy of the same pixels: a 1024 x 285
// headless editor with a background, seven 31-frame film-strip knobs and a two-frame switch
// laid out as the product lays them out. Two cases, each one timer tick (dirty scan, draw,
// present):
//
//   full      every control dirty: the whole editor redrawn
//   one knob  one knob moved: its rectangle redrawn (the background under it, then the knob)
//   full 200  the whole editor at 200 % (2048 x 570 pixels, from its enlarged artwork), against
//             memcpy of those pixels
//
// Figures are Mpixel/s of the repainted area; the ratios after the table read as "the repaint
// costs this many memcpys of its pixels" (the target for the full repaint is at most 5).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/RatioReporter.h"
#include "framework/IPlugHeadless.h"
#include "graphics/IControl.h"
#include "graphics/IGraphicsHeadless.h"
#include "raster/lice.h"
#include "raster/lice_lines.h"

namespace
{
constexpr int kW = 1024, kH = 285;
constexpr int kKnob = 64, kFrames = 31;
constexpr int kSwitchW = 40, kSwitchH = 64;

class BenchPlug : public IPlugHeadless
{
public:
  BenchPlug()
      : IPlugHeadless(IPlugHeadlessInfo(), 8, "1-1 2-2", 1, "Bench", "", "Bench", 0x10000,
                      0x42656E31, 0x42656E63, 0, false, false, false, 0)
  {
    for (int i = 0; i < 7; ++i) GetParam(i)->InitDouble("Knob", 0.5, 0.0, 1.0, 0.01);
    GetParam(7)->InitBool("Bypass", false);
  }
};

// The editor of the product, with artwork drawn here: a shaded background, knob strips whose
// discs are opaque inside and clear outside (so source-alpha blending has real work), and a
// two-frame switch.
struct Editor
{
  BenchPlug plug;
  IGraphicsHeadless* gui = new IGraphicsHeadless(&plug, kW, kH);
  LICE_MemBitmap bg{kW, kH}, knobs{kKnob, kKnob*kFrames}, lamp{kSwitchW, kSwitchH * 2};
  IBitmap bgBitmap{&bg, kW, kH, 1}, knobBitmap{&knobs, kKnob, kKnob*kFrames, kFrames},
      lampBitmap{&lamp, kSwitchW, kSwitchH * 2, 2};
  IControl* knob = nullptr;

  explicit Editor(int scale = 100)
  {
    LICE_GradRect(&bg, 0, 0, kW, kH, 0.2f, 0.2f, 0.25f, 1.0f, 0.0002f, 0.0001f, 0.0f, 0.0f, 0.0f,
                  0.0005f, 0.0005f, 0.0f, LICE_COMBINE_COPY);
    LICE_Clear(&knobs, 0);
    for (int k = 0; k < kFrames; ++k)
    {
      float cx = kKnob * 0.5f, cy = k * kKnob + kKnob * 0.5f;
      LICE_FillCircle(&knobs, cx, cy, 28.0f, LICE_RGBA(60, 60, 70, 255), 1.0f, 0, true);
      double a = (-135.0 + 270.0 * k / (kFrames - 1)) * 3.14159265358979 / 180.0;
      LICE_FLine(&knobs, cx, cy, cx + 24.0f * (float)std::sin(a), cy - 24.0f * (float)std::cos(a),
                 LICE_RGBA(255, 200, 40, 255), 1.0f, 0, true);
    }
    LICE_FillRect(&lamp, 0, 0, kSwitchW, kSwitchH, LICE_RGBA(40, 40, 40, 255), 1.0f, 0);
    LICE_FillRect(&lamp, 0, kSwitchH, kSwitchW, kSwitchH, LICE_RGBA(220, 120, 20, 255), 1.0f, 0);

    gui->AttachControl(new IBitmapControl(&plug, 0, 0, -1, &bgBitmap, IChannelBlend::kBlendCopy));
    const int xs[7] = {514, 749, 436, 275, 357, 589, 670};
    for (int i = 0; i < 7; ++i)
    {
      IControl* c = new IKnobMultiControl(&plug, xs[i], 100, i, &knobBitmap);
      gui->AttachControl(c);
      if (i == 0) knob = c;
    }
    gui->AttachControl(new ISwitchControl(&plug, 127, 100, 7, &lampBitmap));
    plug.AttachGraphics(gui);
    gui->SetScale(scale);
    gui->RenderAll(); // the artwork for the size is made here, outside the timing
  }
};

void FullRepaint(benchmark::State& state, int scale)
{
  Editor ed(scale);
  for (auto _ : state)
  {
    ed.gui->SetAllControlsDirty();
    ed.gui->Tick();
    ed.gui->ClearPresented();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * ed.gui->ScaledWidth(scale) *
                          ed.gui->ScaledHeight(scale));
}
void BM_FullRepaint(benchmark::State& state)
{
  FullRepaint(state, 100);
}
BENCHMARK(BM_FullRepaint);
void BM_FullRepaint200(benchmark::State& state)
{
  FullRepaint(state, 200);
}
BENCHMARK(BM_FullRepaint200);

// The knob shows a new frame each tick; SetDirty(false) keeps it to one pass per change.
void BM_OneKnobRepaint(benchmark::State& state)
{
  Editor ed;
  int i = 0;
  for (auto _ : state)
  {
    ed.knob->SetValue((i++ % kFrames) / (double)(kFrames - 1));
    ed.knob->SetDirty(false);
    ed.gui->Tick();
    ed.gui->ClearPresented();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * kKnob * kKnob);
}
BENCHMARK(BM_OneKnobRepaint);

// memcpy of the same pixels: the whole back buffer, and the knob's 64 rows of 64 pixels at the
// back buffer's stride.
void MemcpyFull(benchmark::State& state, int w, int h)
{
  std::vector<uint32_t> src((size_t)w * h, 0x80402010u), dst((size_t)w * h);
  for (auto _ : state)
  {
    std::memcpy(dst.data(), src.data(), src.size() * 4);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * w * h);
}
void BM_MemcpyFull(benchmark::State& state)
{
  MemcpyFull(state, kW, kH);
}
BENCHMARK(BM_MemcpyFull);
void BM_MemcpyFull200(benchmark::State& state)
{
  MemcpyFull(state, 2 * kW, 2 * kH);
}
BENCHMARK(BM_MemcpyFull200);

void BM_MemcpyKnob(benchmark::State& state)
{
  std::vector<uint32_t> src((size_t)kW * kH, 0x80402010u), dst((size_t)kW * kH);
  for (auto _ : state)
  {
    for (int y = 100; y < 100 + kKnob; ++y)
      std::memcpy(&dst[(size_t)y * kW + 514], &src[(size_t)y * kW + 514], kKnob * 4);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * kKnob * kKnob);
}
BENCHMARK(BM_MemcpyKnob);
} // namespace

int main(int argc, char** argv)
{
  RatioReporter reporter(
      "Mpixel/s of the repainted area, and how many memcpys of the same pixels a repaint costs:",
      [](RatioReporter& r)
      {
        r.Ratio("memcpy 1024 x 285", "BM_MemcpyFull", "full repaint", "BM_FullRepaint");
        r.Ratio("memcpy 64 x 64 rows", "BM_MemcpyKnob", "one-knob repaint", "BM_OneKnobRepaint");
        r.Ratio("memcpy 2048 x 570", "BM_MemcpyFull200", "full repaint at 200 %",
                "BM_FullRepaint200");
      });
  return RunBenchmarksWithRatios(argc, argv, reporter);
}
