// The factory the VST 2 entry function builds TORVA with. Compiled only into TORVA.so, so the
// product library stays usable on its own (tests, benchmarks).

#include "TORVA/TORVA.h"

IPlugVST* MakePlug(IPlugInstanceInfo const& instanceInfo)
{
  return new TORVA(instanceInfo);
}
