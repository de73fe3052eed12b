// The factory and URI the LV2 entry functions build TORVA with. Compiled only into the LV2
// module and its Turtle generator, like the VST 2 factory.

#include "TORVA/TORVA.h"

char const* LV2PluginURI()
{
  return "urn:brindlecircuits:torva";
}

IPlugLV2* MakePlug(IPlugInstanceInfo const& instanceInfo)
{
  return new TORVA(instanceInfo);
}
