#include "TORVACab/TORVACab.h"

IGraphicsLinux* MakeCabEditor(TORVACab*)
{
  return nullptr;
}
