// The factory and class subcategories the VST 3 entry builds TORVA with. Compiled only into the
// VST 3 module, like the other formats' factories.

#include "TORVA/TORVA.h"

char const* Vst3SubCategories()
{
  return "Fx|Distortion";
}

IPlugVST3* MakePlug(IPlugInstanceInfo const& instanceInfo)
{
  return new TORVA(instanceInfo);
}
