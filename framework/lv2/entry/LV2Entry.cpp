// The two functions an LV2 plug-in module with its editor exports.
//
// Compiled into each plug-in module rather than into the lv2 library, like the VST 2 entry; the
// module's version script (exports.map) keeps every other symbol local. Plug-in and editor live
// in one module, one descriptor each.

#include "framework/lv2/IPlugLV2.h"

#define TORVA_LV2_EXPORT extern "C" __attribute__((visibility("default")))

TORVA_LV2_EXPORT LV2_Descriptor const* lv2_descriptor(uint32_t index)
{
  return index == 0 ? IPlugLV2::PluginDescriptor() : nullptr;
}

TORVA_LV2_EXPORT LV2UI_Descriptor const* lv2ui_descriptor(uint32_t index)
{
  return index == 0 ? IPlugLV2::EditorDescriptor() : nullptr;
}
