// The factory presets as an LV2 host finds them: lilv reads the bundles' presets, restores each
// into an instance of the built module, and what arrives (the port values lilv hands the host
// and the state the plug-in then saves) is the row of the product's table, exactly.

#include <lilv/lilv.h>
#include <lv2/presets/presets.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "TORVA/TORVAPresets.h"
#include "TORVACab/CabPresets.h"
#include "lv2/Lv2Host.h"

namespace
{
using lv2host::UridMap;

struct Product
{
  std::string uri, bundle;
  const FactoryPreset* rows;
  int nRows;
  std::vector<const char*> symbols; // the control ports, in parameter order
  bool stateIsParameters;           // else the presets leave the state (the file) alone
};

// What a host keeps of the port values a state hands it, and the control ports it writes them
// to, as the plug-in sees them at the next run.
struct Ports
{
  std::map<std::string, float> values;
  std::map<std::string, float*> controls;
};

void SetPort(const char* symbol, void* user, const void* value, uint32_t size, uint32_t)
{
  auto& ports = *static_cast<Ports*>(user);
  if (size != sizeof(float)) return;
  std::memcpy(&ports.values[symbol], value, size);
  if (float* control = ports.controls[symbol]) std::memcpy(control, value, size);
}

void ExpectPresetsGiveTheirRows(const Product& product)
{
  SCOPED_TRACE(product.uri);
  LilvWorld* world = lilv_world_new();
  LilvNode* bundle = lilv_new_file_uri(world, nullptr, (product.bundle + "/").c_str());
  lilv_world_load_bundle(world, bundle);
  LilvNode* uri = lilv_new_uri(world, product.uri.c_str());
  LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  ASSERT_NE(plugin, nullptr);
  LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
  EXPECT_EQ(lilv_nodes_size(presets), static_cast<unsigned>(product.nRows));

  UridMap map;
  const LV2_Feature* features[] = {&map.mFeature, nullptr};
  LilvInstance* instance = lilv_plugin_instantiate(plugin, 48000.0, features);
  ASSERT_NE(instance, nullptr);
  auto* state = static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(instance, LV2_STATE__interface));
  // Connected as a host connects them: audio buffers and every control port.
  Ports ports;
  std::vector<float> controls(product.symbols.size());
  float audio[4][64] = {};
  for (uint32_t c = 0; c < 4; ++c) lilv_instance_connect_port(instance, c, audio[c]);
  for (size_t i = 0; i < product.symbols.size(); ++i)
  {
    LilvNode* symbol = lilv_new_string(world, product.symbols[i]);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
    lilv_node_free(symbol);
    ASSERT_NE(port, nullptr) << product.symbols[i];
    lilv_instance_connect_port(instance, lilv_port_get_index(plugin, port), &controls[i]);
    controls[i] = static_cast<float>(product.rows[0].values[i] * 0.5); // an earlier setting
    ports.controls[product.symbols[i]] = &controls[i];
  }
  lilv_instance_activate(instance);
  lilv_instance_run(instance, 64);
  int found = 0;
  // All loaded first, as a host building its preset menu does.
  LILV_FOREACH(nodes, it, presets) lilv_world_load_resource(world, lilv_nodes_get(presets, it));
  LILV_FOREACH(nodes, it, presets)
  {
    const LilvNode* node = lilv_nodes_get(presets, it);
    LilvState* preset = lilv_state_new_from_world(world, &map.mMap, node);
    ASSERT_NE(preset, nullptr) << lilv_node_as_uri(node);
    const std::string label = lilv_state_get_label(preset);
    const FactoryPreset* row = nullptr;
    for (int k = 0; k < product.nRows; ++k)
      if (label == product.rows[k].name) row = &product.rows[k];
    ASSERT_NE(row, nullptr) << label;
    ++found;

    ports.values.clear();
    lilv_state_restore(preset, instance, SetPort, &ports, 0, features);
    ASSERT_EQ(ports.values.size(), product.symbols.size()) << label;
    for (size_t i = 0; i < product.symbols.size(); ++i)
      EXPECT_EQ(ports.values[product.symbols[i]], row->values[i])
          << label << " " << product.symbols[i];
    lilv_instance_run(instance, 64);

    // What the plug-in itself now holds: its saved state is the version header and the values.
    lv2host::Properties saved;
    ASSERT_EQ(state->save(
                  lilv_instance_get_handle(instance),
                  [](LV2_State_Handle h, uint32_t key, const void* value, size_t size,
                     uint32_t type, uint32_t)
                  {
                    auto const* p = static_cast<const unsigned char*>(value);
                    (*static_cast<lv2host::Properties*>(h))[key] = {{p, p + size}, type};
                    return LV2_STATE_SUCCESS;
                  },
                  &saved, LV2_STATE_IS_POD, nullptr),
              LV2_STATE_SUCCESS);
    const std::vector<unsigned char>& chunk = saved[map((product.uri + "#chunk").c_str())].mBytes;
    if (product.stateIsParameters)
    {
      ASSERT_EQ(chunk.size(), 8 + 8 * product.symbols.size()) << label;
      for (size_t i = 0; i < product.symbols.size(); ++i)
      {
        double v = 0.0;
        std::memcpy(&v, chunk.data() + 8 + 8 * i, sizeof v);
        EXPECT_EQ(v, row->values[i]) << label << " " << product.symbols[i];
      }
    }
    lilv_state_free(preset);
  }
  EXPECT_EQ(found, product.nRows);
  lilv_instance_deactivate(instance);
  lilv_instance_free(instance);
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
  lilv_node_free(uri);
  lilv_node_free(bundle);
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
       {"bass", "master", "middle", "presence", "treble", "volume_1", "volume_2", "bypass"},
       true});
  ExpectPresetsGiveTheirRows({std::string(lv2host::kURI) + "-cab",
                              dir + "/TORVACab.lv2",
                              kCabPresets,
                              kNumCabPresets,
                              {"cabinet", "low_cut", "high_cut", "mix", "level", "bypass"},
                              false});
}

} // namespace
