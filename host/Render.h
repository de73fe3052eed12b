// Rendering audio through a chain of VST 2 plug-ins: the core of `torva render` and `torva demo`.
//
// A render reads frames from a source, runs them through the plug-ins in turn, block by block at
// the source's sample rate, and writes the last one's outputs to a file. The chain's latency is
// made good: the source is followed by as many frames of silence as the plug-ins report, and as
// many are dropped from the start of the output, so that it lines up with the input and has its
// length. Everything that can fail is checked before the output file is created; a failure later
// removes the partial file.

#pragma once

#include "host/ChannelPlan.h"
#include "host/RenderPipeline.h"

#include <string>
#include <vector>

enum class EPrecision
{
  kFloat,
  kDouble
};

struct RenderJob
{
  std::vector<std::string> mPluginPaths; // in the order the audio goes through them
  std::string mOutputPath;
  int mOutputFormat = 0;                 // libsndfile format word for the output
  std::vector<std::string> mSettings;    // "[PLUG-IN:]NAME=VALUE", applied after the presets
  std::vector<std::string> mPresetPaths; // "[PLUG-IN:]FILE", .fxp or .fxb
  int mBlockSize = 512;
  EPrecision mPrecision = EPrecision::kFloat;
  bool mProgress = false; // draw a progress bar on stderr
};

struct RenderReport
{
  std::vector<std::string> mEffectNames; // in chain order
  ChannelPlan mPlan;                     // the file's view: its channels in and out
  long long mFrames = 0;
  int mSampleRate = 0;
  double mPeakIn = 0.0;
  double mPeakOut = 0.0;
  double mSeconds = 0.0;             // wall time of the read-process-write loop
  long long mNonFinite = 0;          // output samples that were NaN or infinite, written as 0
  int mLatency = 0;                  // frames the output was moved back by
  std::vector<std::string> mApplied; // "NAME = display label" for every --set and preset
  std::vector<std::string> mWarnings;
  bool mUsageError = false; // the failure was the command line's (a plug-in not said clearly)
};

// Loads, configures and runs the plug-ins over the whole source, then closes them. Returns false
// with a one-line error (nothing left on disk) when anything fails.
bool Render(const RenderJob& job, FrameSource& source, RenderReport& report, std::string& error);
