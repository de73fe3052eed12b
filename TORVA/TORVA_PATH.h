#pragma once

// TORVA_PATH: the amplifier's stereo signal path, independent of the plug-in framework.
//
// Per channel, identically and independently for channels 0 and 1:
//
//   x -> input filter (TORVA_TONE at fs / 8, positions 0.5, 0.0, 0.5)
//     -> coupling stage (TORVA_AMP at fs, k = 0.998)
//     -> * drive gain 1 -> sd1nonlin
//     -> * drive gain 2 -> jtmpre2nonlin
//     -> tone stack (TORVA_TONE at fs; treble, bass, middle)
//     -> presence filter (TORVA_TONE at fs / 4; presence, 0.5, 0.5)
//     -> * master gain -> y
//
// The result is defined as if every coefficient were recomputed every sample from the settings
// and fs. Within a call the settings cannot change, so Process designs each filter once (and
// not at all while its inputs stay the same), then runs both channels together in one pass.
// The bits are those of the per-sample evaluation.
//
// Two things differ from a plain evaluation, both for the sake of the host:
// - Flush-to-zero and denormals-are-zero are on while samples are processed (the caller's
//   floating-point control word is restored before returning). Decaying filter memories would
//   otherwise sit in subnormal numbers for ever after the input falls silent and make each block
//   many times as expensive. Only values of the order of the smallest normal number are
//   affected: the outputs differ from the plain evaluation only where both are below 1e-300.
// - A non-finite input sample enters the filters as 0.0, so a NaN or infinity does not poison
//   the memories for good. Bypass still copies the input as it is.
//
// The memories start at zero and are never cleared.

#include "TORVA/TORVA_AMP.h"
#include "TORVA/TORVA_TONE.h"

class TORVA_PATH
{
public:
  // Gains are linear; positions are the knobs' plain values, nominally 0..1.
  struct Settings
  {
    double bass;
    double masterGain;
    double middle;
    double presence;
    double treble;
    double drive1;
    double drive2;
  };

  // What reaches the outputs, from the Bypass value truncated to an integer: 0 the amplifier,
  // 1 the input unchanged, anything else nothing at all (the outputs are left as they are).
  // The filters up to the tone stack run in every case; the presence filters only for 0.
  static constexpr int kProcess = 0;
  static constexpr int kBypass = 1;

  // Instruction-set variants of the processing loop; all give the same bits. A new path uses
  // the best one the processor supports; tests and benchmarks may choose another.
  enum EKernel
  {
    kKernelBest = 0,
    kKernelSse2,
    kKernelAvx,    // the same loop in 3-operand encoding
    kKernelAvx512, // ...with 32 registers (AVX-512 VL)
    kNumKernels
  };

  TORVA_PATH() = default;

  static bool KernelSupported(EKernel k);
  // False, and no change, for a kernel the processor lacks.
  bool SetKernel(EKernel k);

  // Processes nFrames samples (nothing when nFrames < 1). Inputs and outputs may be the same
  // buffers. Audio thread; does not allocate.
  void Process(const double* in0, const double* in1, double* out0, double* out1, int nFrames,
               double fs, const Settings& s, int bypass);

  // The filters, for inspection. Index 0 is the left channel.
  const TORVA_TONE& GetToneStack(int ch) const { return mTone[ch]; }
  const TORVA_TONE& GetPresence(int ch) const { return mPresence[ch]; }
  const TORVA_TONE& GetInputFilter(int ch) const { return mInput[ch]; }
  const TORVA_AMP& GetCoupling(int ch) const { return mAmp[ch]; }

private:
  // The inputs a filter's coefficients were last designed from. Keys are compared bit for bit
  // (-0.0 is not 0.0 here, and a NaN key never matches).
  struct ToneKey
  {
    double v[4]; // c, t, L, m
  };

  void Design(double fs, const Settings& s);

  EKernel mKernel = kKernelBest;
  TORVA_TONE mTone[2];
  TORVA_TONE mPresence[2];
  TORVA_TONE mInput[2];
  TORVA_AMP mAmp[2];

  // Coefficient caches, shared by both channels; stale until the first design.
  bool mValid = false;
  ToneKey mInputKey = {}, mToneKey = {}, mPresenceKey = {};
  TORVA_TONE::Coeffs mInputK = {}, mToneK = {}, mPresenceK = {};
};
