// The two functions a VST 2 plug-in module exports.
//
// This file is compiled into each plug-in module rather than into the vst2 library, so a test or
// tool that links the adapter exports nothing and needs no product. The module's version script
// (exports.map) keeps every other symbol local.

#include "framework/WDL_Mutex.h"
#include "framework/vst2/IPlugVST.h"

#define TORVA_VST_EXPORT extern "C" __attribute__((visibility("default")))

// Hosts may create instances from several threads at once; the product's constructor and the
// preset filling run one at a time. The lock is not the plug-in's own mutex.
TORVA_VST_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback)
{
  static WDL_Mutex sInstantiateMutex;
  WDL_MutexLock lock(&sInstantiateMutex);

  IPlugInstanceInfo info;
  info.mVSTHostCallback = hostCallback;
  IPlugVST* pPlug = MakePlug(info);
  if (!pPlug) return nullptr;
  pPlug->EnsureDefaultPreset();
  AEffect* pEffect = pPlug->GetAEffect();
  if (pEffect->numPrograms < 1) pEffect->numPrograms = 1;
  return pEffect;
}

// Older hosts look the entry up as "main". C++ reserves that name for the program's entry, so
// the function gets another name in the source and the linker sees "main".
TORVA_VST_EXPORT AEffect* VSTPluginMainCompat(audioMasterCallback hostCallback) __asm__("main");

AEffect* VSTPluginMainCompat(audioMasterCallback hostCallback)
{
  return VSTPluginMain(hostCallback);
}
