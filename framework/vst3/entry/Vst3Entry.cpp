// The three functions a VST 3 module exports on Linux.
//
// Compiled into each plug-in module rather than into the vst3 library, like the other formats'
// entries; the module's version script (exports.map) keeps every other symbol local.

#include "framework/vst3/IPlugVST3.h"

#define TORVA_VST3_EXPORT extern "C" __attribute__((visibility("default")))

// The factory with a reference for the caller; it is static, so no release ever deletes it.
TORVA_VST3_EXPORT vst3::IPluginFactory* GetPluginFactory()
{
  vst3::IPluginFactory* pFactory = IPlugVST3::Factory();
  pFactory->addRef();
  return pFactory;
}

// Nothing to set up or tear down: the factory and every instance live in the module's own data.
TORVA_VST3_EXPORT bool ModuleEntry(void*)
{
  return true;
}

TORVA_VST3_EXPORT bool ModuleExit()
{
  return true;
}
