// How an audio file's channels meet a plug-in's, and a plug-in's outputs the next one's inputs.

#pragma once

#include <string>
#include <vector>

// The arrangement announced to the plug-in and the number of channels written out.
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

// What a plug-in of a chain offers, and how messages call it ("plug-in 2 (TORVA Cab)").
struct PluginShape
{
  int mInputs = 0;
  int mOutputs = 0;
  bool mCanMono = false;
  std::string mWho;
};

// One plan per plug-in, by the rule above: the file's channels into the first, then the
// outputs each plug-in has in use into the next. A chain of one is refused in the words of
// PlanChannels; a longer one names the plug-ins that do not fit together.
bool PlanChain(int fileChannels, const std::vector<PluginShape>& chain,
               std::vector<ChannelPlan>& plans, std::string& error);
