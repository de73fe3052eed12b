#pragma once
// CabConvolver: one channel of zero-latency convolution with an impulse response, for the
// cabinet.
//
// The response is cut in two. Its first kBlock taps (the head) run in direct form, sample by
// sample, so the output needs no input that has not arrived. The rest (the tail) runs as a
// uniformly partitioned convolution in the frequency domain (FFTW, double precision): each time
// kBlock input samples are complete, their spectrum joins a delay line of spectra, and the tail's
// output for the next kBlock samples is computed at once, as it depends only on input that is
// already in. The host may call Process with any number of frames; nothing is allocated, locked
// or waited for there.
//
//   CabConvolver c;
//   c.Prepare(maxTaps);                 // any thread but the audio one: allocates, makes plans
//   c.SetImpulse(ir, n);                // the same; the response is copied (n <= maxTaps)
//   c.Process(in, out, nFrames);        // audio thread
//
// The output equals the direct convolution with the response to within the rounding of the
// FFT (about 1e-15 of the signal's level for responses of a few thousand taps).

#include <complex>
#include <vector>

class CabConvolver
{
public:
  static constexpr int kBlock = 64; // head length and tail partition, in samples

  CabConvolver();
  ~CabConvolver();
  CabConvolver(const CabConvolver&) = delete;
  CabConvolver& operator=(const CabConvolver&) = delete;

  // Room for responses up to maxTaps; the response becomes a unit impulse and the history
  // silence. False when the FFT could not be set up.
  bool Prepare(int maxTaps);
  // The response (taps beyond the prepared room are cut off) and a silent history.
  void SetImpulse(const double* taps, int n);
  // Forgets the input heard so far.
  void Reset();
  // in and out may be the same buffer.
  void Process(const float* in, float* out, int nFrames);
  void Process(const double* in, double* out, int nFrames);

  int MaxTaps() const { return mMaxTaps; }

private:
  using Complex = std::complex<double>;

  template <typename Sample> void Run(const Sample* in, Sample* out, int nFrames);
  void EndOfBlock();

  int mMaxTaps = 0;
  int mPartitions = 0;                // of the tail, room for
  int mActivePartitions = 0;          // of the tail, in the response
  std::vector<double> mHead;          // kBlock taps
  std::vector<Complex> mTailSpectra;  // mPartitions x (kBlock + 1)
  std::vector<Complex> mInputSpectra; // the same shape: a ring of the latest block spectra
  int mNewestSpectrum = 0;
  std::vector<double> mHistory; // the last 2 kBlock inputs, for the FFT and the head
  int mFill = 0;                // inputs of the current block so far
  std::vector<double> mTailOut; // the tail's output for the block being heard
  std::vector<Complex> mAccumulator;
  double* mFftIn = nullptr;   // FFTW's aligned buffers, 2 kBlock real
  Complex* mFftOut = nullptr; // kBlock + 1 complex
  void* mForward = nullptr;   // fftw_plan, r2c
  void* mBackward = nullptr;  // fftw_plan, c2r
};
