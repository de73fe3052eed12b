// How an audio file's channels meet a plug-in's.

#pragma once

#include <string>

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
