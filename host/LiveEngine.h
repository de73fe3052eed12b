// LiveEngine: a chain of loaded VST 2 plug-ins run by an audio server's process callback.
//
// The audio thread calls Process once per period. It never allocates, waits, logs or touches
// files: the inputs are copied into buffers made once at the start (the first plug-in may write
// into its inputs, which belong to the server), the buffers between plug-ins are the chain's,
// reserved here for the largest period, the outputs are the server's own buffers, and a period
// longer than the block size is handed over in pieces of at most that size.
//
// Any other thread reconfigures the plug-ins the way a DAW does when the server's period or rate
// changes: suspend, the new rate and block size, resume. A gate keeps the two apart without a
// lock the audio thread could wait for: the audio thread only tries to pass it, and outputs
// silence for a period in which the plug-in is being reconfigured (JACK2 stops the graph for a
// change, so that never happens there; another server might call from a thread of its own).

#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

class PluginChain;

class LiveEngine
{
public:
  static constexpr int kMaxChannels = 32;
  static constexpr int kChunkFrames = 8192; // the largest period JACK servers offer

  // `chain` is loaded and planned; the engine calls the float process callbacks only.
  explicit LiveEngine(PluginChain& chain);

  // Resumes the plug-ins, already prepared at the server's rate and period; opens the gate.
  void Start(double sampleRate, int blockSize);
  // Audio thread: one period of `frames` samples per channel.
  void Process(const float* const* inputs, float* const* outputs, int frames);
  // Any thread but the audio thread; nothing happens when rate and size are unchanged.
  void Reconfigure(double sampleRate, int blockSize);
  // Closes the gate for good and suspends the plug-ins.
  void Stop();

  double SampleRate() const { return mRate.load(std::memory_order_relaxed); }
  int BlockSize() const { return mBlock.load(std::memory_order_relaxed); }
  uint64_t Periods() const { return mPeriods.load(std::memory_order_relaxed); }
  uint64_t SilencedPeriods() const { return mSilenced.load(std::memory_order_relaxed); }
  int Reconfigurations() const { return mReconfigurations.load(std::memory_order_relaxed); }
  // When the chain processed its first period; empty before that.
  bool FirstPeriod(std::chrono::steady_clock::time_point& at) const;

private:
  enum EGate : int
  {
    kOpen,
    kProcessing,
    kClosed
  };
  void Close();

  PluginChain& mChain;
  int mInputs = 0;
  int mOutputs = 0;
  std::vector<std::vector<float>> mInputCopies;
  float* mIn[kMaxChannels] = {};
  float* mOut[kMaxChannels] = {};
  std::atomic<int> mGate = kClosed;
  std::atomic<double> mRate = 0.0;
  std::atomic<int> mBlock = 0;
  std::atomic<uint64_t> mPeriods = 0;
  std::atomic<uint64_t> mSilenced = 0;
  std::atomic<int> mReconfigurations = 0;
  std::atomic<int64_t> mFirstPeriodNs = 0;
};
