// The amplifier's production path against its literal reference, stereo at 48 kHz in blocks of
// 512 frames. Each benchmark reports "realtime": seconds of audio processed per second, i.e. the
// multiple of realtime. Compare within one run:
//   Production/Signal vs Reference/Signal             the speed-up of the production path
//   Production/Silence vs Production/Signal           silence after 30 s of silence should cost
//                                                     no more than signal (flush-to-zero at work)
//   Reference/Silence                                 what subnormal memories cost without it
//   Kernel/N                                          each instruction-set variant of the loop

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "TORVA/TORVA.h"
#include "tests/reference/AmpReference.h"
#include "tests/torva/AmpTestUtil.h"

namespace
{

constexpr double kFs = 48000.0;
constexpr int kBlock = 512;
constexpr int kSignalFrames = 480 * kBlock; // about 5 s, looped

struct Material
{
  std::vector<double> l, r;
  Material()
      : l(torva_test::MakeSignal(kSignalFrames, kFs, 40)),
        r(torva_test::MakeSignal(kSignalFrames, kFs, 41))
  {
  }
};

const Material& Signal()
{
  static const Material m;
  return m;
}

const double kDefaults[8] = {0.7, -4.0, 0.3, 0.3, 0.4, 10.0, 10.0, 0.0};

// Runs a processor over the looped material; silent = true feeds zeros after 1 s of signal and
// 30 s of silence.
template <typename Process> void Run(benchmark::State& state, Process&& process, bool silent)
{
  const Material& m = Signal();
  std::vector<double> zeros(kBlock, 0.0), out0(kBlock), out1(kBlock);
  if (silent)
  {
    for (int at = 0; at + kBlock <= static_cast<int>(kFs); at += kBlock)
      process(m.l.data() + at, m.r.data() + at, out0.data(), out1.data());
    for (int at = 0; at < 30 * static_cast<int>(kFs); at += kBlock)
      process(zeros.data(), zeros.data(), out0.data(), out1.data());
  }
  int at = 0;
  for (auto _ : state)
  {
    const double* in0 = silent ? zeros.data() : m.l.data() + at;
    const double* in1 = silent ? zeros.data() : m.r.data() + at;
    process(in0, in1, out0.data(), out1.data());
    benchmark::DoNotOptimize(out0.data());
    benchmark::DoNotOptimize(out1.data());
    at = (at + kBlock) % kSignalFrames;
  }
  state.counters["realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock / kFs, benchmark::Counter::kIsRate);
}

void Reference(benchmark::State& state)
{
  auto ref = std::make_unique<torva_ref::Amplifier>();
  Run(
      state,
      [&](const double* i0, const double* i1, double* o0, double* o1)
      {
        const double* in[2] = {i0, i1};
        double* out[2] = {o0, o1};
        ref->Process(in, out, kBlock, kFs, kDefaults);
      },
      state.range(0) != 0);
}

void Production(benchmark::State& state)
{
  auto plug = std::make_unique<TORVA>(IPlugInstanceInfo());
  plug->SetSampleRate(kFs);
  plug->OnParamReset();
  Run(
      state,
      [&](const double* i0, const double* i1, double* o0, double* o1)
      {
        double* in[2] = {const_cast<double*>(i0), const_cast<double*>(i1)};
        double* out[2] = {o0, o1};
        plug->ProcessDoubleReplacing(in, out, kBlock);
      },
      state.range(0) != 0);
}

// The production loop in each instruction-set variant the processor has, on signal.
void Kernel(benchmark::State& state)
{
  const auto kernel = static_cast<TORVA_PATH::EKernel>(state.range(0));
  auto path = std::make_unique<TORVA_PATH>();
  if (!path->SetKernel(kernel))
  {
    state.SkipWithError("not supported by this processor");
    return;
  }
  const TORVA_PATH::Settings s = {
      0.7, 0.6309573444801932, 0.3, 0.3, 0.4, 3.1622776601683795, 3.1622776601683795};
  Run(
      state,
      [&](const double* i0, const double* i1, double* o0, double* o1)
      { path->Process(i0, i1, o0, o1, kBlock, kFs, s, TORVA_PATH::kProcess); },
      false);
}

BENCHMARK(Reference)->ArgName("silence")->Arg(0)->Arg(1);
BENCHMARK(Production)->ArgName("silence")->Arg(0)->Arg(1);
BENCHMARK(Kernel)
    ->ArgName("sse2_avx_avx512")
    ->Arg(TORVA_PATH::kKernelSse2)
    ->Arg(TORVA_PATH::kKernelAvx)
    ->Arg(TORVA_PATH::kKernelAvx512);

} // namespace

BENCHMARK_MAIN();
