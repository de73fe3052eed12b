// The factory the VST 2 entry function builds TORVA Cab with. Compiled only into TORVACab.so.

#include "TORVACab/TORVACab.h"

IPlugVST* MakePlug(IPlugInstanceInfo const& instanceInfo)
{
  return new TORVACab(instanceInfo);
}
