// The factory presets as an LV2 host finds them: lilv reads the bundles' presets and restores
// each into an instance of the built module, the port values into its connected control ports,
// as a host does. What the plug-in then holds (the state it saves) is the row of the product's
// table, exactly, and so are the port values lilv handed over.

#include <lilv/lilv.h>
#include <lv2/presets/presets.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "TORVA/TORVAPresets.h"
#include "TORVACab/CabPresets.h"
#include "lv2/Lv2Host.h"

namespace
{
struct Product
{
  std::string uri, bundle;
  const FactoryPreset* rows;
  int nRows;
  std::vector<const char*> symbols; // the control ports, in parameter order
};

// A host's controls by symbol; lilv writes a state's port values into them.
using Controls = std::map<std::string, float>;
void SetPort(const char* symbol, void* controls, const void* value, uint32_t size, uint32_t)
{
  auto it = static_cast<Controls*>(controls)->find(symbol);
  if (size == sizeof(float) && it != static_cast<Controls*>(controls)->end())
    std::memcpy(&it->second, value, size);
}

void ExpectPresetsGiveTheirRows(const Product& product)
{
  SCOPED_TRACE(product.uri);
  LilvWorld* world = lilv_world_new();
  LilvNode* bundle = lilv_new_file_uri(world, nullptr, (product.bundle + "/").c_str());
  LilvNode* uri = lilv_new_uri(world, product.uri.c_str());
  LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
  lilv_world_load_bundle(world, bundle);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  ASSERT_NE(plugin, nullptr);
  LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
  for (LilvNode* n : {presetClass, uri, bundle}) lilv_node_free(n);
  EXPECT_EQ(lilv_nodes_size(presets), static_cast<unsigned>(product.nRows));

  lv2host::UridMap map;
  const LV2_Feature* features[] = {&map.mFeature, nullptr};
  LilvInstance* instance = lilv_plugin_instantiate(plugin, 48000.0, features);
  ASSERT_NE(instance, nullptr);
  float audio[4][64] = {};
  for (uint32_t c = 0; c < 4; ++c) lilv_instance_connect_port(instance, c, audio[c]);
  Controls controls;
  for (size_t i = 0; i < product.symbols.size(); ++i)
    lilv_instance_connect_port(instance, 4 + i, &controls[product.symbols[i]]);
  lilv_instance_activate(instance);
  lilv_instance_run(instance, 64); // the controls at 0, an earlier setting

  // All loaded first, as a host building its preset menu does.
  LILV_FOREACH(nodes, it, presets) lilv_world_load_resource(world, lilv_nodes_get(presets, it));
  LILV_FOREACH(nodes, it, presets)
  {
    LilvState* preset = lilv_state_new_from_world(world, &map.mMap, lilv_nodes_get(presets, it));
    ASSERT_NE(preset, nullptr);
    const std::string label = lilv_state_get_label(preset);
    const FactoryPreset* row =
        std::find_if(product.rows, product.rows + product.nRows,
                     [&](const FactoryPreset& r) { return label == r.name; });
    ASSERT_NE(row, product.rows + product.nRows) << label;
    lilv_state_restore(preset, instance, SetPort, &controls, 0, features);
    lilv_instance_run(instance, 64);
    lilv_state_free(preset);

    lv2host::Properties saved;
    ASSERT_EQ(
        lv2host::SaveState(static_cast<const LV2_State_Interface*>(
                               lilv_instance_get_extension_data(instance, LV2_STATE__interface)),
                           lilv_instance_get_handle(instance), saved),
        LV2_STATE_SUCCESS);
    // The state: the version header, then the values as doubles (TORVA Cab's file after them).
    const std::vector<unsigned char>& chunk = saved[map((product.uri + "#chunk").c_str())].mBytes;
    ASSERT_GE(chunk.size(), 8 + 8 * product.symbols.size()) << label;
    for (size_t i = 0; i < product.symbols.size(); ++i)
    {
      double v = 0.0;
      std::memcpy(&v, chunk.data() + 8 + 8 * i, sizeof v);
      EXPECT_EQ(v, row->values[i]) << label << " " << product.symbols[i];
      EXPECT_EQ(controls[product.symbols[i]], row->values[i]) << label << " " << product.symbols[i];
    }
  }
  lilv_instance_deactivate(instance);
  lilv_instance_free(instance);
  lilv_nodes_free(presets);
  lilv_world_free(world);
}

TEST(Lv2Presets, EveryFactoryPresetRestoresItsRow)
{
  const std::string dir = lv2host::BundleDir();
  ExpectPresetsGiveTheirRows(
      {lv2host::kURI,
       dir + "/TORVA.lv2",
       kTORVAPresets,
       kNumTORVAPresets,
       {"bass", "master", "middle", "presence", "treble", "volume_1", "volume_2", "bypass"}});
  ExpectPresetsGiveTheirRows({std::string(lv2host::kURI) + "-cab",
                              dir + "/TORVACab.lv2",
                              kCabPresets,
                              kNumCabPresets,
                              {"cabinet", "low_cut", "high_cut", "mix", "level", "bypass"}});
}

} // namespace
