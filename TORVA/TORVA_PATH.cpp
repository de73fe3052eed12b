#include "TORVA/TORVA_PATH.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "TORVA/TORVA_CLIP.h"

#include "TORVA/TORVA_LANES.h"

// Both channels run in the two lanes of one SSE2 register; every x86-64 processor has it, and
// no other path exists that the tests could hold against the reference.
#if !defined(__SSE2__)
#error "the signal path needs SSE2"
#endif

namespace
{

bool SameKey(const double* a, const double* b)
{
  for (int i = 0; i < 4; ++i)
  {
    if (a[i] != a[i]) return false; // NaN
    if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i])) return false;
  }
  return true;
}

} // namespace

void TORVA_PATH::Design(double fs, const Settings& s)
{
  // Every filter's Calc runs once per call with the arguments it would get at every sample, so
  // the rate fields end as a per-sample evaluation leaves them.
  for (int ch = 0; ch < 2; ++ch)
  {
    mInput[ch].Calc(fs * 0.125);
    mAmp[ch].Calc(fs, 0.998);
    mTone[ch].Calc(fs);
    mPresence[ch].Calc(fs * 0.25);
  }

  const ToneKey inputKey = {{mInput[0].GetC(), 0.5, 0.0, 0.5}};
  const ToneKey toneKey = {{mTone[0].GetC(), s.treble, s.bass, s.middle}};
  const ToneKey presenceKey = {{mPresence[0].GetC(), s.presence, 0.5, 0.5}};
  auto refresh =
      [this](const TORVA_TONE& f, const ToneKey& now, ToneKey& was, TORVA_TONE::Coeffs& k)
  {
    if (mValid && SameKey(now.v, was.v)) return;
    k = f.Design(now.v[1], now.v[2], now.v[3]);
    was = now;
  };
  refresh(mInput[0], inputKey, mInputKey, mInputK);
  refresh(mTone[0], toneKey, mToneKey, mToneK);
  refresh(mPresence[0], presenceKey, mPresenceKey, mPresenceK);
  mValid = true;
}

namespace
{

using namespace torva::lanes;

struct Lanes
{
  ToneLanes input, tone, presence;
  AmpLanes amp;
  V drive1, drive2, master;
};

TORVA_LANE V Sanitize(V x)
{
  const V finite = _mm_cmple_pd(Abs(x), Splat(1.7976931348623157e308)); // false for NaN, +-inf
  return _mm_and_pd(x, finite);
}

// One pass over the block, software-pipelined: tick j feeds sample j to the input filter, and
// each later stage the sample its predecessor finished the tick before, so that the six stages
// of one tick are independent of each other and only each filter's own recurrence is serial.
//
//   tick j:  presence(j - 5)  tone(j - 4)  jtmpre2(j - 3)  sd1(j - 2)  coupling(j - 1)  input(j)
//
// Every sample still meets every stage in order, and the arithmetic is unchanged. The stages
// run latest first so that each reads its predecessor's value before it is replaced. Outputs
// are written five ticks after their input is read, which is safe in place: sample j - 5 has
// been read by then, and sample j is read before anything at j is written.
//
// The state is copied into locals for the pass: the outputs are written through double
// pointers, which the compiler must otherwise assume may point into the state.
//
// kOutput: 0 amplifier, 1 input copied, 2 nothing written.
template <int kOutput>
TORVA_LANE void RunPipeline(Lanes& lanes, const double* in0, const double* in1, double* out0,
                            double* out1, int frames)
{
  constexpr std::ptrdiff_t kDepth = 5;
  const std::ptrdiff_t n = frames; // wide enough for n + kDepth
  Lanes z = lanes;
  V u = _mm_setzero_pd(), a = u, b = u, c = u, d = u; // each stage's latest output

  // edge: some stages have no sample this tick (filling and draining the pipeline).
  auto tick = [&](std::ptrdiff_t j, auto edge) __attribute__((always_inline))
  {
    auto live = [&](std::ptrdiff_t stage)
    { return !decltype(edge)::value || (j - stage >= 0 && j - stage < n); };
    if constexpr (kOutput == 0)
    {
      if (live(5))
      {
        const V y = z.presence.Step(d) * z.master;
        out0[j - 5] = Lane0(y);
        out1[j - 5] = Lane1(y);
      }
    }
    if (live(4)) d = z.tone.Step(c);
    if (live(3)) c = Jtmpre2(b * z.drive2);
    if (live(2)) b = Sd1(a * z.drive1);
    if (live(1)) a = z.amp.Step(u);
    if (live(0))
    {
      const V raw = Pair(in0[j], in1[j]);
      u = z.input.Step(Sanitize(raw));
      if constexpr (kOutput == 1)
      {
        out0[j] = Lane0(raw);
        out1[j] = Lane1(raw);
      }
    }
  };

  std::ptrdiff_t j = 0;
  for (; j < kDepth && j < n; ++j) tick(j, std::true_type());
  for (; j < n; ++j) tick(j, std::false_type());
  for (; j < n + kDepth; ++j) tick(j, std::true_type());
  lanes = z;
}

TORVA_LANE void RunMode(Lanes& z, const double* in0, const double* in1, double* out0, double* out1,
                        int n, int mode)
{
  if (mode == TORVA_PATH::kProcess)
    RunPipeline<0>(z, in0, in1, out0, out1, n);
  else if (mode == TORVA_PATH::kBypass)
    RunPipeline<1>(z, in0, in1, out0, out1, n);
  else
    RunPipeline<2>(z, in0, in1, out0, out1, n);
}

// One copy of the loop per instruction set.
using Kernel = void (*)(Lanes&, const double*, const double*, double*, double*, int, int);

void RunSse2(Lanes& z, const double* in0, const double* in1, double* out0, double* out1, int n,
             int mode)
{
  RunMode(z, in0, in1, out0, out1, n, mode);
}

__attribute__((target("avx"))) void RunAvx(Lanes& z, const double* in0, const double* in1,
                                           double* out0, double* out1, int n, int mode)
{
  RunMode(z, in0, in1, out0, out1, n, mode);
}

__attribute__((target("avx512f,avx512vl"))) void RunAvx512(Lanes& z, const double* in0,
                                                           const double* in1, double* out0,
                                                           double* out1, int n, int mode)
{
  RunMode(z, in0, in1, out0, out1, n, mode);
}

struct Cpu
{
  bool avx, avx512;
  Cpu()
  {
    __builtin_cpu_init();
    avx = __builtin_cpu_supports("avx");
    avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
  }
};

const Cpu& GetCpu()
{
  static const Cpu cpu;
  return cpu;
}

Kernel KernelFor(TORVA_PATH::EKernel k)
{
  switch (k)
  {
  case TORVA_PATH::kKernelSse2:
    return RunSse2;
  case TORVA_PATH::kKernelAvx:
    return RunAvx;
  case TORVA_PATH::kKernelAvx512:
    return RunAvx512;
  default:
    break;
  }
  const Cpu& cpu = GetCpu();
  return cpu.avx512 ? RunAvx512 : cpu.avx ? RunAvx : RunSse2;
}

} // namespace

void TORVA_PATH::Process(const double* in0, const double* in1, double* out0, double* out1,
                         int nFrames, double fs, const Settings& s, int bypass)
{
  if (nFrames < 1) return;
  FloatModeScope mode;
  Design(fs, s);
  mode.Flush();

  Lanes z = {ToneLanes(mInputK, mInput[0], mInput[1]),
             ToneLanes(mToneK, mTone[0], mTone[1]),
             ToneLanes(mPresenceK, mPresence[0], mPresence[1]),
             AmpLanes(mAmp[0], mAmp[1]),
             Splat(s.drive1),
             Splat(s.drive2),
             Splat(s.masterGain)};
  KernelFor(mKernel)(z, in0, in1, out0, out1, nFrames, bypass);

  z.input.Store(mInput[0], mInput[1]);
  z.amp.Store(mAmp[0], mAmp[1]);
  z.tone.Store(mTone[0], mTone[1]);
  if (bypass == kProcess) z.presence.Store(mPresence[0], mPresence[1]);
}

bool TORVA_PATH::KernelSupported(EKernel k)
{
  switch (k)
  {
  case kKernelBest:
  case kKernelSse2:
    return true;
  case kKernelAvx:
    return GetCpu().avx;
  case kKernelAvx512:
    return GetCpu().avx512;
  default:
    return false;
  }
}

bool TORVA_PATH::SetKernel(EKernel k)
{
  if (!KernelSupported(k)) return false;
  mKernel = k;
  return true;
}
