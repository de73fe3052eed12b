#include "host/LiveEngine.h"

#include "host/PluginChain.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace
{
constexpr auto kGateRetry = std::chrono::microseconds(100);

int64_t NowNs()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
} // namespace

LiveEngine::LiveEngine(PluginChain& chain) : mChain(chain)
{
  mInputs = std::clamp(chain.Inputs(), 0, kMaxChannels);
  mOutputs = std::clamp(chain.Outputs(), 0, kMaxChannels);
  chain.ReserveFrames(kChunkFrames);
  mInputCopies.assign(size_t(mInputs), std::vector<float>(kChunkFrames, 0.0f));
  for (int c = 0; c < mInputs; ++c) mIn[c] = mInputCopies[size_t(c)].data();
}

void LiveEngine::Start(double sampleRate, int blockSize)
{
  Close();
  mChain.Resume(false);
  mRate.store(sampleRate);
  mBlock.store(blockSize);
  mGate.store(kOpen, std::memory_order_release);
}

void LiveEngine::Close()
{
  for (;;)
  {
    int expected = kOpen;
    if (mGate.compare_exchange_weak(expected, kClosed, std::memory_order_acquire)) return;
    if (expected == kClosed) return;
    std::this_thread::sleep_for(kGateRetry); // the audio thread is inside; a period is short
  }
}

void LiveEngine::Process(const float* const* inputs, float* const* outputs, int frames)
{
  int expected = kOpen;
  if (frames <= 0) return;
  if (!mGate.compare_exchange_strong(expected, kProcessing, std::memory_order_acquire))
  {
    for (int c = 0; c < mOutputs; ++c) std::fill(outputs[c], outputs[c] + frames, 0.0f);
    mSilenced.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  const int block = std::clamp(mBlock.load(std::memory_order_relaxed), 1, kChunkFrames);
  for (int at = 0; at < frames; at += block)
  {
    const int n = std::min(block, frames - at);
    for (int c = 0; c < mInputs; ++c)
      std::memcpy(mIn[c], inputs[c] + at, sizeof(float) * size_t(n));
    for (int c = 0; c < mOutputs; ++c) mOut[c] = outputs[c] + at;
    mChain.ProcessFloat(mIn, mOut, n);
  }
  // A NaN or infinity must not reach the speakers.
  constexpr float kMax = std::numeric_limits<float>::max();
  for (int c = 0; c < mOutputs; ++c)
    for (int i = 0; i < frames; ++i)
      if (!(std::fabs(outputs[c][i]) <= kMax)) outputs[c][i] = 0.0f;
  mGate.store(kOpen, std::memory_order_release);
  if (mPeriods.fetch_add(1, std::memory_order_relaxed) == 0)
    mFirstPeriodNs.store(NowNs(), std::memory_order_release);
}

void LiveEngine::Reconfigure(double sampleRate, int blockSize)
{
  if (sampleRate == mRate.load() && blockSize == mBlock.load()) return;
  Close();
  mChain.Suspend();
  mChain.Prepare(sampleRate, blockSize);
  mChain.Resume(false);
  mRate.store(sampleRate);
  mBlock.store(blockSize);
  mReconfigurations.fetch_add(1);
  mGate.store(kOpen, std::memory_order_release);
}

void LiveEngine::Stop()
{
  Close();
  mChain.Suspend();
}

bool LiveEngine::FirstPeriod(std::chrono::steady_clock::time_point& at) const
{
  const int64_t ns = mFirstPeriodNs.load(std::memory_order_acquire);
  if (ns == 0) return false;
  at = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
  return true;
}
