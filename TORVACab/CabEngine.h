#pragma once
// The cabinet's signal path: the impulse responses ready to play, and the audio thread's side.
//
// A CabKernel is one response prepared at one rate, with a convolver per output channel (a mono
// response feeds both). The built-in cabinets' kernels are made whenever the rate changes
// (Prepare, with the audio stopped); a user's file arrives from the loading thread as a kernel of
// its own through Deliver, and kernels the audio thread lets go come back through TakeRetired:
// the audio thread never allocates or frees one.
//
// Process runs the response of the chosen cabinet, then the low and high cut, then mixes dry and
// wet at the output level. A change of response is crossfaded over kFadeSeconds; gains and cut
// frequencies glide, so that turning a knob does not click. Bypass is the dry signal, exactly,
// once its glide has ended.

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "TORVACab/CabConvolver.h"
#include "TORVACab/ImpulseFile.h"

struct CabKernel
{
  std::string name;       // shown: the cabinet's or the file's base name
  std::string path;       // the file; empty for a built-in and for "no file"
  ImpulseResponse source; // as read, to prepare again at another rate; empty for "no file"
  double rate = 0;
  CabConvolver channel[2];

  bool Empty() const { return source.channels.empty(); }
  void Reset();
};

// The response prepared at the rate; null with *pWhy when it could not be.
std::unique_ptr<CabKernel> MakeKernel(const ImpulseResponse& source, double rate,
                                      const std::string& name, const std::string& path,
                                      std::string* pWhy);

// The built-in cabinets, in the order of the Cabinet parameter.
struct BuiltInCabinet
{
  const char* file; // base name of the embedded response
  const char* name; // shown
};
constexpr int kNumBuiltInCabinets = 4;
// Constant, so that the artwork generator prints the names on the panel without this library.
inline constexpr BuiltInCabinet kBuiltInCabinets[kNumBuiltInCabinets] = {
    {"closed_4x12", "4x12 closed"},
    {"open_2x12", "2x12 open"},
    {"combo_1x12", "1x12 combo"},
    {"small_1x10", "1x10 small"},
};
// The response of a built-in cabinet at its own rate (decoded once, on first use).
const ImpulseResponse& BuiltInResponse(int cabinet);

class CabEngine
{
public:
  static constexpr double kFadeSeconds = 0.02;
  static constexpr double kGlideSeconds = 0.01;

  struct Settings
  {
    int cabinet = 0; // a built-in, or kNumBuiltInCabinets for the file
    double lowCutHz = 20, highCutHz = 20000;
    double mix = 1;   // wet share, 0 to 1
    double level = 1; // output gain
    bool bypass = false;
  };

  CabEngine();
  ~CabEngine();
  CabEngine(const CabEngine&) = delete;
  CabEngine& operator=(const CabEngine&) = delete;

  // The built-ins, and the file's kernel, at the rate; the histories cleared and the glides
  // ended. Audio stopped (the plug-in lock held). False when a kernel could not be made.
  bool Prepare(double rate);
  double Rate() const { return mRate.load(std::memory_order_acquire); }

  // Loading thread: a user's kernel (Empty() for "no file") for the audio thread to take up. An
  // earlier one it has not taken is returned for freeing.
  std::unique_ptr<CabKernel> Deliver(std::unique_ptr<CabKernel> kernel);
  // Loading thread: a kernel the audio thread is done with, or null.
  std::unique_ptr<CabKernel> TakeRetired();
  // Set by the audio thread when it let go of a kernel (or refused one of another rate):
  // the loading thread should look (TakeRetired, and reload when Stale).
  bool Stale() { return mStale.exchange(false, std::memory_order_acq_rel); }
  // Audio thread, after Process: true once after a kernel was let go of (wake the loading thread).
  bool TakeWakeUp() { return mWakeUp && !(mWakeUp = false); }

  // Audio thread. in and out may be the same buffers; stereo false runs channel 0 only and
  // copies it to channel 1.
  void Process(const double* const* in, double* const* out, int nFrames, bool stereo,
               const Settings& settings);

  // The kernel heard now (for tests and the editor): its name, or "" before the first block.
  const CabKernel* Current() const { return mCurrent; }
  bool Fading() const { return mFading != nullptr; }
  bool HasFile() const { return mFile && !mFile->Empty(); }

private:
  struct Cut // a state-variable filter's memories
  {
    double s1 = 0, s2 = 0;
  };
  struct Tuning // a cut's coefficients and what they were computed for
  {
    double hz = -1, rate = 0;
    std::array<double, 3> k{};
  };
  void TakeDelivery();
  CabKernel* Wanted(int cabinet) const;
  void Retire(CabKernel* kernel);
  void Slice(const double* const* in, double* const* out, int offset, int n, int nch,
             const Settings& settings);

  std::atomic<double> mRate{0.0};
  std::vector<std::unique_ptr<CabKernel>> mBuiltIns;
  std::unique_ptr<CabKernel> mFileOwned; // the file's kernel while the audio thread holds it
  CabKernel* mFile = nullptr;
  CabKernel* mCurrent = nullptr;
  CabKernel* mFading = nullptr; // the response faded out, while it is
  CabKernel* mDoomed = nullptr; // a file's kernel replaced while heard: retired after the fade
  std::atomic<CabKernel*> mDelivered{nullptr};
  std::atomic<CabKernel*> mRetired{nullptr};
  std::atomic<bool> mStale{false};
  bool mWakeUp = false; // the audio thread's own
  int mFadeLength = 1, mFadePos = 0;
  bool mSnap = true; // the next block starts at the settings, with no glide
  double mDryGain = 1, mWetGain = 0, mLowCut = 20, mHighCut = 20000;
  double mGlide = 0; // per-sample coefficient of the gain glides
  Cut mLowState[2], mHighState[2];
  Tuning mLowTuning, mHighTuning;
  // Scratch of one slice, made with the engine.
  std::vector<double> mDry, mWet, mOld, mDryRamp, mWetRamp;
};
