// PluginChain: VST 2 plug-ins run one after another, as the insert slots of a DAW's track.
//
// Audio goes into the first plug-in; the outputs each plug-in has in use are the next one's
// inputs; the last one's outputs are the chain's. Every plug-in gets the same rate, block size
// and precision, and the channels its plan gives it (a plug-in fed fewer channels than it has
// inputs, mono through one that runs mono, hears silence on the others). A chain of one calls
// its plug-in with the caller's buffers, as a host of one plug-in does.
//
//   Load(paths)          each plug-in loaded and opened, in order
//   PlanChannels(n)      n channels into the first; a ChannelPlan per plug-in (PlanChain)
//   Prepare(rate, n)     effSetSampleRate, effSetBlockSize on each
//   Resume(precision)    each plug-in's arrangement, then resume; the buffers between
//                        plug-ins are made here, for the largest block prepared or reserved
//   Process...(n)        n <= the block size, through every plug-in in turn
//   Suspend(), Unload()  each, the last plug-in first
//
// Processing allocates nothing and takes no lock of its own: the live engine calls it on the
// audio thread. Resume allocates only when the block has grown beyond the buffers, which the
// live engine rules out by reserving its largest period first.

#pragma once

#include "host/ChannelPlan.h"

#include <memory>
#include <string>
#include <vector>

class VstHost;

class PluginChain
{
public:
  PluginChain();
  ~PluginChain();
  PluginChain(const PluginChain&) = delete;
  PluginChain& operator=(const PluginChain&) = delete;

  // Loads and opens every plug-in at `processLevel`; false with the first failure's line.
  bool Load(const std::vector<std::string>& paths, int processLevel, std::string& error);
  void Unload();

  size_t Size() const { return mPlugins.size(); }
  VstHost& Plugin(size_t i) const { return *mPlugins[i]; }
  // The effect name (the file's stem when it gives none), the module file's stem ("TORVACab"),
  // and "plug-in 2 (TORVA Cab)" for messages; "the plug-in" in a chain of one.
  const std::string& Name(size_t i) const { return mNames[i]; }
  const std::string& Stem(size_t i) const { return mStems[i]; }
  std::string Who(size_t i) const;
  // The names joined in order: "TORVA -> TORVA Cab".
  std::string Names() const;

  int Inputs() const;  // the first plug-in's
  int Outputs() const; // the last plug-in's
  // The sum of the plug-ins' reported latencies (initialDelay), in frames.
  int Latency() const;

  bool PlanChannels(int channels, std::string& error);
  const std::vector<ChannelPlan>& Plans() const { return mPlans; }

  // Buffers for blocks of up to `frames`, whatever block the plug-ins are prepared for later.
  void ReserveFrames(int frames);
  void Prepare(double sampleRate, int blockSize);
  void Resume(bool doublePrecision);
  void Suspend();

  // `inputs` has Inputs() channels and `outputs` Outputs(); any thread, one at a time.
  void ProcessFloat(float** inputs, float** outputs, int frames);
  void ProcessDouble(double** inputs, double** outputs, int frames);

private:
  // The buffers between plug-ins in one precision, and each plug-in's channel pointers into
  // them (those of the first's inputs and the last's outputs are the caller's).
  template <typename T> struct Links
  {
    std::vector<std::vector<T>> mBuffers;
    std::vector<std::vector<T*>> mIns, mOuts, mSilent; // per plug-in; mSilent: inputs fed nothing
    int mFrames = 0;
  };
  template <typename T> void Build(Links<T>& links);
  template <typename T> void Run(Links<T>& links, T** inputs, T** outputs, int frames);

  std::vector<std::unique_ptr<VstHost>> mPlugins;
  std::vector<std::string> mNames, mStems;
  std::vector<ChannelPlan> mPlans;
  int mFrames = 0; // the largest block prepared or reserved
  Links<float> mFloat;
  Links<double> mDouble;
};
