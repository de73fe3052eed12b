// The editor among the host's threads, run for real through the VST 2 effect record, as a host
// drives it: a host thread changes parameters with setParameter (the adapter moves the editor's
// controls under the plug-in lock), an audio thread runs processDoubleReplacing, and an editor
// thread ticks and draws and drags knobs as the platform's timer and mouse would, without any
// lock. Built with -DTORVA_TSAN=ON this is the ThreadSanitizer check of that hand-off; in the
// other builds it checks that nothing breaks.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "GraphicsTestSupport.h"
#include "framework/vst2/IPlugVST.h"

namespace
{

// The ParamPlug parameters behind the VST 2 adapter, without a host callback; processing scales
// each input by the Level parameter.
class StressPlug : public IPlugVST
{
public:
  StressPlug()
      : IPlugVST(IPlugInstanceInfo(), gfxtest::kNParams, "1-1 2-2", 1, "Stress", "", "Test",
                 0x10000, 0x53747231, 0x54657374)
  {
    gfxtest::InitParams(this);
  }

  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override
  {
    const double level = GetParam(gfxtest::kLevel)->Value();
    for (int c = 0; c < NOutChannels(); ++c)
      for (int i = 0; i < nFrames; ++i) outputs[c][i] = inputs[c][i] * level;
  }
};

bool Sanitized()
{
  const char* s = std::getenv("TORVA_SANITIZED");
  return s && *s && *s != '0';
}

TEST(ThreadsStress, HostAudioAndEditorThreads)
{
  using namespace std::chrono;
  StressPlug plug;
  AEffect* effect = plug.GetAEffect();
  constexpr int kFrames = 256;
  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  effect->dispatcher(effect, effSetBlockSize, 0, kFrames, nullptr, 0.0f);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
  auto* gui = new IGraphicsHeadless(&plug, 200, 60);
  IColor panel(255, 40, 40, 44);
  gui->AttachPanelBackground(&panel);
  auto pixels = gfxtest::MakeKnobStrip(24, 31);
  IBitmap strip(pixels.get(), 24, 24 * 31, 31);
  const int params[] = {gfxtest::kGain, gfxtest::kLevel, gfxtest::kMode, gfxtest::kSteps};
  IKnobMultiControl* knobs[4];
  for (int i = 0; i < 4; ++i)
  {
    knobs[i] = new IKnobMultiControl(&plug, 10 + 40 * i, 10, params[i], &strip);
    gui->AttachControl(knobs[i]);
  }
  auto* lamp = new gfxtest::ProbeControl(&plug, IRECT(170, 10, 190, 30), gfxtest::kOnOff);
  gui->AttachControl(lamp);
  plug.AttachGraphics(gui);
  gui->OpenWindow(nullptr);

  const auto runFor = Sanitized() ? milliseconds(800) : milliseconds(2500);
  std::atomic<bool> stop{false};
  std::atomic<long> hostChanges{0}, blocks{0}, draws{0}, drags{0};

  std::thread host(
      [&]
      {
        unsigned seed = 12345;
        while (!stop.load(std::memory_order_relaxed))
        {
          seed = seed * 1664525u + 1013904223u;
          const int p = (int)((seed >> 8) % gfxtest::kNParams);
          effect->setParameter(effect, p, (float)((seed >> 12) % 1001) / 1000.0f);
          ++hostChanges;
        }
      });

  std::thread audio(
      [&]
      {
        std::vector<double> inL(kFrames, 0.5), inR(kFrames, -0.5), outL(kFrames), outR(kFrames);
        double* in[] = {inL.data(), inR.data()};
        double* out[] = {outL.data(), outR.data()};
        while (!stop.load(std::memory_order_relaxed))
        {
          effect->processDoubleReplacing(effect, in, out, kFrames);
          ++blocks;
        }
      });

  std::thread editor(
      [&]
      {
        IMouseMod left(true);
        int step = 0;
        while (!stop.load(std::memory_order_relaxed))
        {
          if (gui->Tick()) ++draws;
          // Every few ticks a small drag on one of the knobs.
          if (++step % 4 == 0)
          {
            const int x = 20 + 40 * (step / 4 % 4);
            gui->OnMouseDown(x, 20, &left);
            gui->OnMouseDrag(x, 20 - (step % 7) + 3, &left);
            gui->OnMouseUp(x, 20, &left);
            ++drags;
          }
          gui->ClearPresented();
        }
      });

  std::this_thread::sleep_for(runFor);
  stop = true;
  host.join();
  audio.join();
  editor.join();

  std::printf("%ld host changes, %ld audio blocks, %ld repaints, %ld drags in %lld ms\n",
              hostChanges.load(), blocks.load(), draws.load(), drags.load(),
              (long long)runFor.count());
  EXPECT_GT(hostChanges.load(), 1000);
  EXPECT_GT(blocks.load(), 10);
  EXPECT_GT(draws.load(), 10);
  EXPECT_GT(drags.load(), 10);
  for (IKnobMultiControl* k : knobs)
  {
    EXPECT_GE(k->GetValue(), 0.0);
    EXPECT_LE(k->GetValue(), 1.0);
  }

  // Quiet again: a host change is shown after the next ticks, and then all is clean.
  effect->setParameter(effect, gfxtest::kLevel, 1.0f);
  int ticks = 0;
  while (gui->Tick() && ticks < 10) ++ticks;
  EXPECT_LE(ticks, 2);
  EXPECT_DOUBLE_EQ(knobs[1]->GetValue(), 1.0);
  IRECT r;
  EXPECT_FALSE(gui->IsDirty(&r));
  EXPECT_EQ(plug.GetParam(gfxtest::kLevel)->Value(), 1.0);
  std::vector<double> in(kFrames, 0.5), out(kFrames, 0.0);
  double* ins[] = {in.data(), in.data()};
  double* outs[] = {out.data(), out.data()};
  effect->processDoubleReplacing(effect, ins, outs, kFrames);
  EXPECT_EQ(out[kFrames - 1], 0.5) << "the audio path ran with the host's last Level";
  gui->CloseWindow();
  effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
}

} // namespace
