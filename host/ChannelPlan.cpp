#include "host/ChannelPlan.h"

namespace
{
// `from` says where the channels come from, `to` which plug-in takes them.
bool Plan(int channels, const PluginShape& plugin, const std::string& from, const std::string& to,
          ChannelPlan& plan, std::string& error)
{
  // An instrument (no inputs) fits only where no channels come: first in a live chain.
  if (channels == plugin.mInputs && plugin.mOutputs >= 1)
  {
    plan = {plugin.mInputs, plugin.mOutputs, plugin.mOutputs};
    return true;
  }
  if (plugin.mInputs < 1 || plugin.mOutputs < 1)
  {
    error = to + " has " + std::to_string(plugin.mInputs) + " inputs and " +
            std::to_string(plugin.mOutputs) + " outputs; it cannot process an audio file";
    return false;
  }
  if (channels == 1 && plugin.mCanMono)
  {
    plan = {1, 1, 1};
    return true;
  }
  error = from + " has " + std::to_string(channels) + " channel" + (channels == 1 ? "" : "s") +
          " but " + to + " takes " + std::to_string(plugin.mInputs) +
          (plugin.mCanMono && plugin.mInputs != 1 ? " or 1" : "");
  return false;
}
} // namespace

bool PlanChannels(int fileChannels, int pluginInputs, int pluginOutputs, bool canMono,
                  ChannelPlan& plan, std::string& error)
{
  return Plan(fileChannels, {pluginInputs, pluginOutputs, canMono, {}}, "the input", "the plug-in",
              plan, error);
}

bool PlanChain(int fileChannels, const std::vector<PluginShape>& chain,
               std::vector<ChannelPlan>& plans, std::string& error)
{
  plans.assign(chain.size(), {});
  int channels = fileChannels;
  for (size_t k = 0; k < chain.size(); ++k)
  {
    const std::string to = chain.size() == 1 ? "the plug-in" : chain[k].mWho;
    const std::string from = k == 0 ? "the input" : "the output of " + chain[k - 1].mWho;
    if (!Plan(channels, chain[k], from, to, plans[k], error)) return false;
    channels = plans[k].mOutputs;
  }
  return true;
}
