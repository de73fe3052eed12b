#pragma once
// The host adapter a product derives from, chosen when its library is built: the LV2 adapter
// (IPlugLV2) when TORVA_LV2 is defined, the VST 3 adapter (IPlugVST3) when TORVA_VST3 is, the
// VST 2 adapter (IPlugVST) otherwise. All take the same constructor arguments, so a product's
// source is written once.

#if defined(TORVA_LV2)
#include "framework/lv2/IPlugLV2.h"
using IPlugAdapter = IPlugLV2;
#elif defined(TORVA_VST3)
#include "framework/vst3/IPlugVST3.h"
using IPlugAdapter = IPlugVST3;
#else
#include "framework/vst2/IPlugVST.h"
using IPlugAdapter = IPlugVST;
#endif
