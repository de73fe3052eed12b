#include "TORVACab/CabConvolver.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace
{
constexpr int kB = CabConvolver::kBlock;
constexpr int kFft = 2 * kB;  // overlap-save: the previous block and the new one
constexpr int kBins = kB + 1; // of a real FFT of kFft points

// FFTW's planner is not thread-safe; running plans on our own buffers is.
std::mutex& PlannerMutex()
{
  static std::mutex sMutex;
  return sMutex;
}

fftw_complex* AsFftw(std::complex<double>* p)
{
  return reinterpret_cast<fftw_complex*>(p); // the same layout, as FFTW documents
}
} // namespace

CabConvolver::CabConvolver() = default;

CabConvolver::~CabConvolver()
{
  std::lock_guard<std::mutex> lock(PlannerMutex());
  if (mForward) fftw_destroy_plan(static_cast<fftw_plan>(mForward));
  if (mBackward) fftw_destroy_plan(static_cast<fftw_plan>(mBackward));
  fftw_free(mFftIn);
  fftw_free(mFftOut);
}

bool CabConvolver::Prepare(int maxTaps)
{
  mMaxTaps = std::max(maxTaps, 1);
  mPartitions = std::max(0, (mMaxTaps - kB + kB - 1) / kB);
  mHead.assign(kB, 0.0);
  mTailSpectra.assign((size_t)mPartitions * kBins, Complex());
  mInputSpectra.assign((size_t)mPartitions * kBins, Complex());
  mHistory.assign(kFft, 0.0);
  mTailOut.assign(kB, 0.0);
  mAccumulator.assign(kBins, Complex());
  if (!mFftIn)
  {
    std::lock_guard<std::mutex> lock(PlannerMutex());
    mFftIn = static_cast<double*>(fftw_malloc(sizeof(double) * kFft));
    mFftOut = reinterpret_cast<Complex*>(fftw_malloc(sizeof(fftw_complex) * kBins));
    if (mFftIn && mFftOut)
    {
      mForward = fftw_plan_dft_r2c_1d(kFft, mFftIn, AsFftw(mFftOut), FFTW_ESTIMATE);
      mBackward = fftw_plan_dft_c2r_1d(kFft, AsFftw(mFftOut), mFftIn, FFTW_ESTIMATE);
    }
  }
  if (!mForward || !mBackward) return false;
  const double unit = 1.0;
  SetImpulse(&unit, 1);
  return true;
}

void CabConvolver::SetImpulse(const double* taps, int n)
{
  n = std::clamp(n, 0, mMaxTaps);
  std::fill(mHead.begin(), mHead.end(), 0.0);
  std::copy_n(taps, std::min(n, kB), mHead.begin());
  mActivePartitions = std::max(0, (n - kB + kB - 1) / kB);
  // Each partition's spectrum, with the inverse FFT's 1 / kFft folded in.
  for (int p = 0; p < mActivePartitions; ++p)
  {
    std::fill_n(mFftIn, kFft, 0.0);
    const int first = kB + p * kB, count = std::min(kB, n - first);
    for (int i = 0; i < count; ++i) mFftIn[i] = taps[first + i] / kFft;
    fftw_execute_dft_r2c(static_cast<fftw_plan>(mForward), mFftIn, AsFftw(mFftOut));
    std::copy_n(mFftOut, kBins, mTailSpectra.begin() + (size_t)p * kBins);
  }
  Reset();
}

void CabConvolver::Reset()
{
  std::fill(mInputSpectra.begin(), mInputSpectra.end(), Complex());
  std::fill(mHistory.begin(), mHistory.end(), 0.0);
  std::fill(mTailOut.begin(), mTailOut.end(), 0.0);
  mNewestSpectrum = 0;
  mFill = 0;
}

void CabConvolver::Process(const float* in, float* out, int nFrames)
{
  Run(in, out, nFrames);
}

void CabConvolver::Process(const double* in, double* out, int nFrames)
{
  Run(in, out, nFrames);
}

template <typename Sample> void CabConvolver::Run(const Sample* in, Sample* out, int nFrames)
{
  for (int i = 0; i < nFrames; ++i)
  {
    const double x = in[i];
    double* now = &mHistory[kB + mFill];
    *now = x;
    // The head: the last kB inputs, newest first, all inside the history.
    double y = 0.0;
    for (int m = 0; m < kB; ++m) y += mHead[m] * now[-m];
    out[i] = (Sample)(y + mTailOut[mFill]);
    if (++mFill == kB) EndOfBlock();
  }
}

// The block is complete: its spectrum (with the block before) joins the ring, and the tail's
// output for the next block is every partition against the block spectrum as old as it is deep.
void CabConvolver::EndOfBlock()
{
  mFill = 0;
  if (mActivePartitions > 0)
  {
    std::copy(mHistory.begin(), mHistory.end(), mFftIn);
    fftw_execute_dft_r2c(static_cast<fftw_plan>(mForward), mFftIn, AsFftw(mFftOut));
    mNewestSpectrum = (mNewestSpectrum + 1) % mPartitions;
    std::copy_n(mFftOut, kBins, mInputSpectra.begin() + (size_t)mNewestSpectrum * kBins);
    std::fill(mAccumulator.begin(), mAccumulator.end(), Complex());
    for (int p = 0; p < mActivePartitions; ++p)
    {
      const Complex* h = &mTailSpectra[(size_t)p * kBins];
      const Complex* x =
          &mInputSpectra[(size_t)((mNewestSpectrum - p + mPartitions) % mPartitions) * kBins];
      // Written out: std::complex's product checks for infinities on every bin.
      for (int k = 0; k < kBins; ++k)
      {
        const double re = h[k].real() * x[k].real() - h[k].imag() * x[k].imag();
        const double im = h[k].real() * x[k].imag() + h[k].imag() * x[k].real();
        mAccumulator[k] += Complex(re, im);
      }
    }
    std::copy(mAccumulator.begin(), mAccumulator.end(), mFftOut);
    fftw_execute_dft_c2r(static_cast<fftw_plan>(mBackward), AsFftw(mFftOut), mFftIn);
    std::copy_n(mFftIn + kB, kB, mTailOut.begin()); // the half that wrapped around is not ours
  }
  // The block just heard becomes the one before.
  std::copy_n(mHistory.begin() + kB, kB, mHistory.begin());
}
