// Rendering audio through a VST 2 plug-in: the core of `torva render` and `torva demo`.
//
// A render reads frames from a source, runs them through the plug-in block by block at the
// source's sample rate, and writes the plug-in's outputs to a file. Everything that can fail
// is checked before the output file is created; a failure later removes the partial file.

#pragma once

#include "host/AudioFile.h"

#include <string>
#include <vector>

class VstHost;

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

// How the file's channels meet the plug-in's: the arrangement announced to the plug-in and the
// number of channels written out.
struct ChannelPlan
{
  int mInputs = 0;      // channels announced as connected inputs
  int mOutputs = 0;     // channels announced as connected outputs
  int mFileOutputs = 0; // channels of the output file
};

// A file with the plug-in's own input count is taken whole and all outputs are written. A
// mono file also suits a plug-in that declares it can run mono (one in, one out); any other
// count is refused with a one-line reason.
bool PlanChannels(int fileChannels, int pluginInputs, int pluginOutputs, bool canMono,
                  ChannelPlan& plan, std::string& error);

enum class EPrecision
{
  kFloat,
  kDouble
};

struct RenderJob
{
  std::string mPluginPath;
  std::string mOutputPath;
  int mOutputFormat = 0;              // libsndfile format word for the output
  std::vector<std::string> mSettings; // "NAME=VALUE", applied after the preset
  std::string mPresetPath;            // .fxp or .fxb; empty for none
  int mBlockSize = 512;
  EPrecision mPrecision = EPrecision::kFloat;
  bool mProgress = false; // draw a progress bar on stderr
};

struct RenderReport
{
  std::string mEffectName;
  std::string mEntryName;
  ChannelPlan mPlan;
  long long mFrames = 0;
  int mSampleRate = 0;
  double mPeakIn = 0.0;
  double mPeakOut = 0.0;
  double mSeconds = 0.0;             // wall time of the read-process-write loop
  long long mNonFinite = 0;          // output samples that were NaN or infinite, written as 0
  std::vector<std::string> mApplied; // "NAME = display label" for every --set and the preset
  std::vector<std::string> mWarnings;
};

// Loads, configures and runs the plug-in over the whole source, then closes it. Returns false
// with a one-line error (nothing left on disk) when anything fails.
bool Render(const RenderJob& job, FrameSource& source, RenderReport& report, std::string& error);

// Applies a preset or bank file to an opened plug-in. Returns false with a one-line error.
bool ApplyPresetFile(VstHost& host, const std::string& path, std::vector<std::string>& notes,
                     std::string& error);

// Writes the opened plug-in's current program (bank false, .fxp) or all its programs (bank
// true, .fxb) to `path` the way DAWs read them: the plug-in's own chunk when it declares
// effFlagsProgramChunks, else every parameter's normalised value (getParameter) and the program
// names. The file appears whole or not at all. `what` says what was written. Returns false with
// a one-line error.
bool WritePresetFile(VstHost& host, const std::string& path, bool bank, std::string& what,
                     std::string& error);

// Applies one "NAME=VALUE" through effString2Parameter. The name is the longest prefix before
// an '=' that the plug-in reports as a parameter name, so names holding '=' still work. An
// unknown name is refused with the list of valid ones. VALUE is a number, optionally followed by
// the parameter's label ("3 dB"), or one of the texts the parameter displays (matched without
// regard to case, set by the value that shows it); anything else is refused with what the
// parameter accepts, and the parameter is left as it was. When the plug-in does not read text
// (many answer effString2Parameter with 0), a number is found on its display instead.
bool ApplySetting(VstHost& host, const std::string& setting, std::string& applied,
                  std::string& error);
