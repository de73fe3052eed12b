#include "host/ChannelPlan.h"

bool PlanChannels(int fileChannels, int pluginInputs, int pluginOutputs, bool canMono,
                  ChannelPlan& plan, std::string& error)
{
  if (pluginInputs < 1 || pluginOutputs < 1)
  {
    error = "the plug-in has " + std::to_string(pluginInputs) + " inputs and " +
            std::to_string(pluginOutputs) + " outputs; it cannot process an audio file";
    return false;
  }
  if (fileChannels == pluginInputs)
  {
    plan = {pluginInputs, pluginOutputs, pluginOutputs};
    return true;
  }
  if (fileChannels == 1 && canMono)
  {
    plan = {1, 1, 1};
    return true;
  }
  error = "the input has " + std::to_string(fileChannels) + " channel" +
          (fileChannels == 1 ? "" : "s") + " but the plug-in takes " +
          std::to_string(pluginInputs) + (canMono && pluginInputs != 1 ? " or 1" : "");
  return false;
}
