// The factory and URI the LV2 entry functions build TORVA Cab with. Compiled only into the LV2
// module and its Turtle generator.

#include "TORVACab/TORVACab.h"

char const* LV2PluginURI()
{
  return "urn:brindlecircuits:torva-cab";
}

IPlugLV2* MakePlug(IPlugInstanceInfo const& instanceInfo)
{
  return new TORVACab(instanceInfo);
}
