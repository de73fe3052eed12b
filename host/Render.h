// Rendering audio through a VST 2 plug-in: the core of `torva render` and `torva demo`.
//
// A render reads frames from a source, runs them through the plug-in block by block at the
// source's sample rate, and writes the plug-in's outputs to a file. Everything that can fail
// is checked before the output file is created; a failure later removes the partial file.

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
