// The factory and class subcategories the VST 3 entry builds TORVA Cab with. Compiled only into
// the VST 3 module.

#include "TORVACab/TORVACab.h"

char const* Vst3SubCategories()
{
  return "Fx";
}

IPlugVST3* MakePlug(IPlugInstanceInfo const& instanceInfo)
{
  return new TORVACab(instanceInfo);
}
