#include "host/RenderPipeline.h"

#include "host/PluginChain.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>
#include <type_traits>

namespace
{
constexpr int kChunkFrames = 32768; // frames per read and write, rounded up to whole blocks

// The largest finite |x| of n samples; `nonFinite` tells whether any was NaN or infinite.
// The common all-finite case runs four lanes without branches (the compiler turns them into
// vector max and add); x * 0 is NaN exactly for NaN and infinity, so a zero sum proves the
// block clean. Otherwise a plain loop skips the bad samples.
template <typename T> double Peak(const T* x, size_t n, bool& nonFinite)
{
  T m[4] = {0, 0, 0, 0};
  T z[4] = {0, 0, 0, 0};
  size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (int k = 0; k < 4; ++k)
    {
      const T a = std::fabs(x[i + k]);
      m[k] = a > m[k] ? a : m[k];
      z[k] += x[i + k] * T(0);
    }
  for (; i < n; ++i)
  {
    const T a = std::fabs(x[i]);
    m[0] = a > m[0] ? a : m[0];
    z[0] += x[i] * T(0);
  }
  nonFinite = !((z[0] + z[1]) + (z[2] + z[3]) == T(0));
  if (!nonFinite) return static_cast<double>(std::max(std::max(m[0], m[1]), std::max(m[2], m[3])));
  double peak = 0.0;
  for (i = 0; i < n; ++i)
    if (std::fabs(x[i]) <= std::numeric_limits<T>::max())
      peak = std::max(peak, static_cast<double>(std::fabs(x[i])));
  return peak;
}

// Chunks of audio travelling reader -> plug-in -> writer. Reading and writing run on their own
// threads a few chunks ahead of and behind the plug-in, so file I/O and the conversion between
// interleaved and planar samples overlap the processing instead of adding to it (a DAW's disk
// threads do the same); the rendering thread only calls the plug-ins, on the chunk's own planar
// buffers. Each stage takes the chunks in order; chunk `seq` lives in slot seq % kSlots and
// moves free -> filled -> processed -> free. A chunk of no frames marks the end. The reader
// follows the source with `tail` frames of silence in the same chunks, so that the blocks stay
// whole; the writer drops the first `skip` frames.
template <typename T> class Pipeline
{
public:
  enum EState
  {
    kFree,
    kFilled,
    kProcessed
  };
  struct Slot
  {
    std::vector<std::vector<T>> mIn, mOut; // every input and output the plug-in has
    long mFrames = 0;
    EState mState = kFree;
  };
  static constexpr int kSlots = 4;

  Pipeline(long chunkFrames, int fileIn, int pluginIn, int fileOut, int pluginOut, long long tail,
           long long skip)
      : mChunkFrames(chunkFrames), mFileIn(fileIn), mFileOut(fileOut), mTail(tail), mSkip(skip),
        mReadBuffer(static_cast<size_t>(chunkFrames) * fileIn),
        mWriteBuffer(static_cast<size_t>(chunkFrames) * fileOut)
  {
    for (Slot& slot : mSlots)
    {
      slot.mIn.assign(pluginIn, std::vector<T>(chunkFrames, T(0)));
      slot.mOut.assign(pluginOut, std::vector<T>(chunkFrames, T(0)));
    }
  }

  // The slot of chunk `seq` once it is in `state`; null when the pipeline stopped.
  Slot* Wait(long seq, EState state)
  {
    std::unique_lock<std::mutex> lock(mMutex);
    Slot& slot = mSlots[seq % kSlots];
    mChanged.wait(lock, [&] { return mStopped || slot.mState == state; });
    return mStopped ? nullptr : &slot;
  }
  void Pass(Slot* slot, EState state)
  {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      slot->mState = state;
    }
    mChanged.notify_all();
  }
  void Stop(const std::string& error = {})
  {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mStopped = true;
      if (mError.empty()) mError = error;
    }
    mChanged.notify_all();
  }
  std::string Error()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return mError;
  }

  void RunReader(FrameSource& source)
  {
    for (long seq = 0;; ++seq)
    {
      Slot* slot = Wait(seq, kFree);
      if (!slot) return;
      long frames = 0;
      while (!mSourceEnded && frames < mChunkFrames)
      {
        const long n =
            source.Read(mReadBuffer.data() + size_t(frames) * mFileIn, mChunkFrames - frames);
        mSourceEnded = n <= 0;
        frames += std::max(n, 0L);
      }
      if (mSourceEnded)
      {
        const long silence = static_cast<long>(std::min<long long>(mTail, mChunkFrames - frames));
        std::fill_n(mReadBuffer.data() + size_t(frames) * mFileIn, size_t(silence) * mFileIn, T(0));
        mTail -= silence;
        frames += silence;
      }
      bool nonFinite = false;
      mPeakIn = std::max(mPeakIn, Peak(mReadBuffer.data(), size_t(frames) * mFileIn, nonFinite));
      for (int c = 0; c < mFileIn; ++c)
      {
        T* dst = slot->mIn[c].data();
        const T* src = mReadBuffer.data() + c;
        for (long i = 0; i < frames; ++i) dst[i] = src[i * mFileIn];
      }
      // Inputs the file does not feed are silent, even if the plug-in wrote into them.
      for (size_t c = mFileIn; c < slot->mIn.size(); ++c)
        std::fill(slot->mIn[c].begin(), slot->mIn[c].end(), T(0));
      slot->mFrames = frames;
      Pass(slot, kFilled);
      if (frames == 0) return;
    }
  }

  void RunWriter(AudioFileWriter& writer)
  {
    for (long seq = 0;; ++seq)
    {
      Slot* slot = Wait(seq, kProcessed);
      if (!slot || slot->mFrames == 0) return;
      const long skipped = static_cast<long>(std::min<long long>(mSkip, slot->mFrames));
      mSkip -= skipped;
      const long frames = slot->mFrames - skipped;
      for (int c = 0; c < mFileOut; ++c)
      {
        const T* src = slot->mOut[c].data() + skipped;
        T* dst = mWriteBuffer.data() + c;
        for (long i = 0; i < frames; ++i) dst[i * mFileOut] = src[i];
      }
      Pass(slot, kFree);
      mWritten += frames;
      const size_t n = static_cast<size_t>(frames) * mFileOut;
      bool nonFinite = false;
      mPeakOut = std::max(mPeakOut, Peak(mWriteBuffer.data(), n, nonFinite));
      if (nonFinite) // rare: NaN or infinity would poison the file, so they become 0
        for (size_t i = 0; i < n; ++i)
          if (!(std::fabs(mWriteBuffer[i]) <= std::numeric_limits<T>::max()))
          {
            ++mNonFinite;
            mWriteBuffer[i] = T(0);
          }
      std::string error;
      if (!writer.Write(mWriteBuffer.data(), frames, error))
      {
        Stop(error);
        return;
      }
    }
  }

  // Owned by the reader and the writer thread; read once both have been joined.
  double mPeakIn = 0.0;
  double mPeakOut = 0.0;
  long long mNonFinite = 0;
  long long mWritten = 0;

private:
  const long mChunkFrames;
  const int mFileIn, mFileOut;
  long long mTail;             // reader's: silence still to follow the source
  long long mSkip;             // writer's: frames still to drop
  bool mSourceEnded = false;   // reader's
  std::vector<T> mReadBuffer;  // the reader's interleaved frames
  std::vector<T> mWriteBuffer; // the writer's
  Slot mSlots[kSlots];
  std::mutex mMutex;
  std::condition_variable mChanged;
  bool mStopped = false;
  std::string mError;
};

template <typename T>
bool Stream(PluginChain& chain, FrameSource& source, AudioFileWriter& writer, int block,
            const std::function<void(long long)>& progress, StreamTotals& totals,
            std::string& error)
{
  // Whole blocks per chunk, so that the plug-ins see the same blocks as without chunks.
  const long chunkFrames =
      static_cast<long>(block) * std::max(1, (kChunkFrames + block - 1) / block);
  const int latency = chain.Latency();
  Pipeline<T> pipeline(chunkFrames, source.Channels(), chain.Inputs(),
                       chain.Plans().back().mFileOutputs, chain.Outputs(), latency, latency);
  std::vector<T*> ins(size_t(chain.Inputs())), outs(size_t(chain.Outputs()));
  long long processed = 0;
  std::thread readerThread([&] { pipeline.RunReader(source); });
  std::thread writerThread([&] { pipeline.RunWriter(writer); });
  for (long seq = 0;; ++seq)
  {
    typename Pipeline<T>::Slot* slot = pipeline.Wait(seq, Pipeline<T>::kFilled);
    if (!slot) break; // the writer failed
    for (long at = 0; at < slot->mFrames; at += block)
    {
      const int n = static_cast<int>(std::min<long>(block, slot->mFrames - at));
      for (size_t c = 0; c < ins.size(); ++c) ins[c] = slot->mIn[c].data() + at;
      for (size_t c = 0; c < outs.size(); ++c) outs[c] = slot->mOut[c].data() + at;
      if constexpr (std::is_same_v<T, float>)
        chain.ProcessFloat(ins.data(), outs.data(), n);
      else
        chain.ProcessDouble(ins.data(), outs.data(), n);
    }
    processed += slot->mFrames;
    const bool end = slot->mFrames == 0;
    pipeline.Pass(slot, Pipeline<T>::kProcessed); // the end marker too: it stops the writer
    if (end) break;
    progress(processed);
  }
  writerThread.join();
  pipeline.Stop();
  readerThread.join();
  totals.mFrames = pipeline.mWritten;
  totals.mPeakIn = pipeline.mPeakIn;
  totals.mPeakOut = pipeline.mPeakOut;
  totals.mNonFinite = pipeline.mNonFinite;
  error = pipeline.Error();
  return error.empty();
}
} // namespace

MemorySource::MemorySource(std::vector<std::vector<float>> channels, int sampleRate)
    : mChannels(std::move(channels)), mSampleRate(sampleRate)
{
  if (!mChannels.empty())
  {
    mFrames = static_cast<long long>(mChannels[0].size());
    for (const auto& c : mChannels) mFrames = std::min<long long>(mFrames, c.size());
  }
}

template <typename T> long MemorySource::ReadAs(T* interleaved, long frames)
{
  const long n = static_cast<long>(std::min<long long>(frames, mFrames - mPosition));
  const int channels = Channels();
  for (long i = 0; i < n; ++i)
    for (int c = 0; c < channels; ++c)
      interleaved[i * channels + c] = static_cast<T>(mChannels[c][mPosition + i]);
  mPosition += std::max(n, 0L);
  return std::max(n, 0L);
}

long MemorySource::Read(double* interleaved, long frames)
{
  return ReadAs(interleaved, frames);
}

long MemorySource::Read(float* interleaved, long frames)
{
  return ReadAs(interleaved, frames);
}

bool StreamThrough(PluginChain& chain, FrameSource& source, AudioFileWriter& writer, int block,
                   bool useDouble, const std::function<void(long long)>& progress,
                   StreamTotals& totals, std::string& error)
{
  totals = StreamTotals();
  return useDouble ? Stream<double>(chain, source, writer, block, progress, totals, error)
                   : Stream<float>(chain, source, writer, block, progress, totals, error);
}
