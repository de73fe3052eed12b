#include "TORVACab/CabEngine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

#include "TORVACab/EmbeddedImpulses.h"

namespace
{
constexpr int kSlice = 64; // frames the cut frequencies and the scratch are reckoned in
constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrt2 = 1.41421356237309504880;

// Close enough to be the target: a glide ends exactly where it was going.
double GlideTo(double value, double target, double coefficient)
{
  value += (target - value) * coefficient;
  return std::fabs(target - value) < 1e-9 ? target : value;
}
} // namespace

const ImpulseResponse& BuiltInResponse(int cabinet)
{
  static const std::vector<ImpulseResponse> sResponses = []
  {
    std::vector<ImpulseResponse> responses(kNumBuiltInCabinets);
    for (int c = 0; c < kNumBuiltInCabinets; ++c)
      for (int i = 0; i < torva_impulses::kCount; ++i)
        if (!std::strcmp(torva_impulses::kImages[i].mName, kBuiltInCabinets[c].file))
        {
          std::string why;
          const auto& image = torva_impulses::kImages[i];
          ReadImpulseBytes(image.mData, (size_t)image.mSize, image.mName, &responses[c], &why);
        }
    // A build without the responses still plays: a unit impulse.
    for (ImpulseResponse& r : responses)
      if (r.channels.empty()) r.channels = {{1.0}}, r.rate = 48000;
    return responses;
  }();
  return sResponses[(size_t)std::clamp(cabinet, 0, kNumBuiltInCabinets - 1)];
}

void CabKernel::Reset()
{
  channel[0].Reset();
  channel[1].Reset();
}

std::unique_ptr<CabKernel> MakeKernel(const ImpulseResponse& source, double rate,
                                      const std::string& name, const std::string& path,
                                      std::string* pWhy)
{
  auto kernel = std::make_unique<CabKernel>();
  kernel->name = name;
  kernel->path = path;
  kernel->source = source;
  kernel->rate = rate;
  if (source.channels.empty()) return kernel;
  ImpulseResponse atRate;
  if (!ResampleImpulse(source, rate, &atRate, pWhy)) return nullptr;
  for (int c = 0; c < 2; ++c)
  {
    const std::vector<double>& taps =
        atRate.channels[std::min<size_t>(c, atRate.channels.size() - 1)];
    if (!kernel->channel[c].Prepare((int)taps.size()))
    {
      *pWhy = "cannot set up the convolution for " + name;
      return nullptr;
    }
    kernel->channel[c].SetImpulse(taps.data(), (int)taps.size());
  }
  return kernel;
}

CabEngine::CabEngine()
    : mDry(kSlice), mWet(kSlice), mOld(kSlice), mDryRamp(kSlice), mWetRamp(kSlice)
{
}

CabEngine::~CabEngine()
{
  delete mDelivered.exchange(nullptr);
  delete mRetired.exchange(nullptr);
  delete mDoomed;
}

bool CabEngine::Prepare(double rate)
{
  bool ok = true;
  // The audio is stopped: a response waiting for its fade to end is heard no more.
  delete mDoomed;
  mDoomed = nullptr;
  if (rate != Rate())
  {
    std::vector<std::unique_ptr<CabKernel>> builtIns;
    for (int c = 0; c < kNumBuiltInCabinets; ++c)
    {
      std::string why;
      auto kernel = MakeKernel(BuiltInResponse(c), rate, kBuiltInCabinets[c].name, "", &why);
      if (!kernel) return false;
      builtIns.push_back(std::move(kernel));
    }
    std::unique_ptr<CabKernel> file;
    if (mFileOwned)
    {
      std::string why;
      file = MakeKernel(mFileOwned->source, rate, mFileOwned->name, mFileOwned->path, &why);
      ok = file != nullptr;
    }
    mBuiltIns = std::move(builtIns);
    mFileOwned = std::move(file);
    mFile = mFileOwned.get();
    mCurrent = mFading = nullptr;
    mRate.store(rate, std::memory_order_release);
    mFadeLength = std::max(1, (int)std::lround(kFadeSeconds * rate));
    mGlide = 1.0 - std::exp(-1.0 / (kGlideSeconds * rate));
  }
  for (auto& k : mBuiltIns) k->Reset();
  if (mFile) mFile->Reset();
  mCurrent = mFading = nullptr;
  mLowState[0] = mLowState[1] = mHighState[0] = mHighState[1] = Cut();
  mSnap = true;
  return ok;
}

std::unique_ptr<CabKernel> CabEngine::Deliver(std::unique_ptr<CabKernel> kernel)
{
  return std::unique_ptr<CabKernel>(
      mDelivered.exchange(kernel.release(), std::memory_order_acq_rel));
}

std::unique_ptr<CabKernel> CabEngine::TakeRetired()
{
  return std::unique_ptr<CabKernel>(mRetired.exchange(nullptr, std::memory_order_acq_rel));
}

void CabEngine::Retire(CabKernel* kernel)
{
  // Only called with the slot empty (TakeDelivery checks it first).
  mRetired.store(kernel, std::memory_order_release);
  mStale.store(true, std::memory_order_release);
  mWakeUp = true;
}

// A delivered kernel is taken up only between fades and with the retired slot free, so that the
// one it replaces always has somewhere to go.
void CabEngine::TakeDelivery()
{
  if (mFading || mRetired.load(std::memory_order_acquire)) return;
  CabKernel* kernel = mDelivered.exchange(nullptr, std::memory_order_acq_rel);
  if (!kernel) return;
  if (kernel->rate != Rate())
  {
    Retire(kernel); // made for the rate before a change; the loading thread makes another
    return;
  }
  CabKernel* old = mFileOwned.release();
  mFileOwned.reset(kernel);
  mFile = kernel;
  if (!old) return;
  if (old == mCurrent)
    mDoomed = old; // heard now: faded out first
  else
    Retire(old);
}

CabKernel* CabEngine::Wanted(int cabinet) const
{
  if (cabinet >= 0 && cabinet < kNumBuiltInCabinets) return mBuiltIns[(size_t)cabinet].get();
  // The file, or the first cabinet while there is none.
  return mFile && !mFile->Empty() ? mFile : mBuiltIns[0].get();
}

void CabEngine::Process(const double* const* in, double* const* out, int nFrames, bool stereo,
                        const Settings& settings)
{
  if (mBuiltIns.empty() || nFrames <= 0)
  {
    for (int c = 0; c < 2 && nFrames > 0; ++c)
      if (out[c] != in[c]) std::memmove(out[c], in[c], sizeof(double) * (size_t)nFrames);
    return;
  }
  TakeDelivery();
  CabKernel* wanted = Wanted(settings.cabinet);
  if (!mCurrent || mSnap)
  {
    if (mCurrent != wanted) wanted->Reset();
    mCurrent = wanted;
  }
  else if (!mFading && wanted != mCurrent)
  {
    wanted->Reset();
    mFading = mCurrent;
    mCurrent = wanted;
    mFadePos = 0;
  }
  if (mSnap)
  {
    mDryGain = settings.bypass ? 1.0 : settings.level * (1.0 - settings.mix);
    mWetGain = settings.bypass ? 0.0 : settings.level * settings.mix;
    mLowCut = settings.lowCutHz;
    mHighCut = settings.highCutHz;
    mSnap = false;
  }
  const int nch = stereo ? 2 : 1;
  for (int offset = 0; offset < nFrames; offset += kSlice)
    Slice(in, out, offset, std::min(kSlice, nFrames - offset), nch, settings);
  if (!stereo) std::memmove(out[1], out[0], sizeof(double) * (size_t)nFrames);
}

void CabEngine::Slice(const double* const* in, double* const* out, int offset, int n, int nch,
                      const Settings& settings)
{
  const double rate = Rate();
  // The cut frequencies glide once per slice (a filter's tuning is a tangent), the gains per
  // sample; both reach their targets exactly.
  const double sliceGlide = 1.0 - std::pow(1.0 - mGlide, n);
  mLowCut = GlideTo(mLowCut, settings.lowCutHz, sliceGlide);
  mHighCut = GlideTo(mHighCut, settings.highCutHz, sliceGlide);
  const double dryTarget = settings.bypass ? 1.0 : settings.level * (1.0 - settings.mix);
  const double wetTarget = settings.bypass ? 0.0 : settings.level * settings.mix;
  for (int i = 0; i < n; ++i)
  {
    mDryGain = GlideTo(mDryGain, dryTarget, mGlide);
    mWetGain = GlideTo(mWetGain, wetTarget, mGlide);
    mDryRamp[i] = mDryGain;
    mWetRamp[i] = mWetGain;
  }
  // Butterworth sections as state-variable filters, which stay calm while they are retuned.
  // Retuned only when the frequency or the rate moved: with the knobs at rest, no tangents.
  const auto tune = [rate](Tuning& t, double hz) -> const std::array<double, 3>&
  {
    if (hz != t.hz || rate != t.rate)
    {
      const double g = std::tan(kPi * std::clamp(hz, 10.0, 0.45 * rate) / rate);
      const double a1 = 1.0 / (1.0 + g * (g + kSqrt2));
      t = {hz, rate, {a1, g * a1, g * g * a1}};
    }
    return t.k;
  };
  const std::array<double, 3>& low = tune(mLowTuning, mLowCut);
  const std::array<double, 3>& high = tune(mHighTuning, mHighCut);
  const int fadeLeft = mFading ? mFadeLength - mFadePos : 0;
  for (int c = 0; c < nch; ++c)
  {
    const double* x = in[c] + offset;
    for (int i = 0; i < n; ++i)
      mDry[i] = std::isfinite(x[i]) ? x[i] : 0.0; // keeps the history sound
    mCurrent->channel[c].Process(mDry.data(), mWet.data(), n);
    if (mFading)
    {
      mFading->channel[c].Process(mDry.data(), mOld.data(), n);
      for (int i = 0; i < n; ++i)
      {
        const double t = i < fadeLeft ? (double)(mFadePos + i) / mFadeLength : 1.0;
        mWet[i] = mOld[i] + (mWet[i] - mOld[i]) * t;
      }
    }
    Cut& lo = mLowState[c];
    Cut& hi = mHighState[c];
    double* y = out[c] + offset;
    for (int i = 0; i < n; ++i)
    {
      // High-pass (the low cut), then low-pass (the high cut).
      double v = mWet[i];
      {
        const double v3 = v - lo.s2;
        const double v1 = low[0] * lo.s1 + low[1] * v3;
        const double v2 = lo.s2 + low[1] * lo.s1 + low[2] * v3;
        lo.s1 = 2 * v1 - lo.s1;
        lo.s2 = 2 * v2 - lo.s2;
        v = v - kSqrt2 * v1 - v2;
      }
      {
        const double v3 = v - hi.s2;
        const double v1 = high[0] * hi.s1 + high[1] * v3;
        const double v2 = hi.s2 + high[1] * hi.s1 + high[2] * v3;
        hi.s1 = 2 * v1 - hi.s1;
        hi.s2 = 2 * v2 - hi.s2;
        v = v2;
      }
      y[i] = mDryRamp[i] * mDry[i] + mWetRamp[i] * v;
    }
  }
  if (mFading && (mFadePos += n) >= mFadeLength)
  {
    if (mDoomed == mFading) Retire(mDoomed), mDoomed = nullptr;
    mFading = nullptr;
  }
}
