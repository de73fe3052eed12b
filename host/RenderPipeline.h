// The reader -> plug-ins -> writer pipeline under `torva render`: where frames come from, and
// streaming a whole source through a chain of opened plug-ins into an audio file.

#pragma once

#include "host/AudioFile.h"

#include <functional>
#include <string>
#include <vector>

class PluginChain;

// Where input frames come from: an audio file, or samples made in memory.
class FrameSource
{
public:
  virtual ~FrameSource() = default;
  virtual int Channels() const = 0;
  virtual int SampleRate() const = 0;
  virtual long long Frames() const = 0; // may be 0 when unknown
  // Up to `frames` interleaved frames; returns the number read, 0 at the end. A source is read
  // in one precision only.
  virtual long Read(double* interleaved, long frames) = 0;
  virtual long Read(float* interleaved, long frames) = 0;
};

// Planar float channels held in memory (the demo phrase).
class MemorySource : public FrameSource
{
public:
  MemorySource(std::vector<std::vector<float>> channels, int sampleRate);
  int Channels() const override { return static_cast<int>(mChannels.size()); }
  int SampleRate() const override { return mSampleRate; }
  long long Frames() const override { return mFrames; }
  long Read(double* interleaved, long frames) override;
  long Read(float* interleaved, long frames) override;

private:
  template <typename T> long ReadAs(T* interleaved, long frames);

  std::vector<std::vector<float>> mChannels;
  int mSampleRate;
  long long mFrames = 0;
  long long mPosition = 0;
};

// Frames of an audio file opened for reading.
class FileSource : public FrameSource
{
public:
  explicit FileSource(AudioFileReader& reader) : mReader(reader) {}
  int Channels() const override { return mReader.Channels(); }
  int SampleRate() const override { return mReader.SampleRate(); }
  long long Frames() const override { return mReader.Frames(); }
  long Read(double* interleaved, long frames) override { return mReader.Read(interleaved, frames); }
  long Read(float* interleaved, long frames) override { return mReader.Read(interleaved, frames); }

private:
  AudioFileReader& mReader;
};

// What a stream saw on its way through.
struct StreamTotals
{
  long long mFrames = 0; // written
  double mPeakIn = 0.0;
  double mPeakOut = 0.0;
  long long mNonFinite = 0; // output samples that were NaN or infinite, written as 0
};

// Runs the whole source through the planned, resumed chain in blocks of `block` frames (in
// double precision when `useDouble`) and writes the outputs its last plan keeps. The chain's
// latency is made good: that many frames of silence follow the source, and as many are dropped
// from the start of the output. `progress` hears the frames processed so far. False with a
// one-line error when writing failed.
bool StreamThrough(PluginChain& chain, FrameSource& source, AudioFileWriter& writer, int block,
                   bool useDouble, const std::function<void(long long)>& progress,
                   StreamTotals& totals, std::string& error);
