// Ardour 7, headless (ardour7-lua on its Dummy backend), finds the bundles' factory presets in its
// preset list, and loading one sets its controls to that row. Runs where Ardour is installed.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "TORVA/TORVAPresets.h"
#include "TORVACab/CabPresets.h"
#include "lv2/Lv2Host.h"
#include "support/CliHarness.h"

namespace
{
// For each product: its presets' labels, then the last row's controls after loading it.
const char kScript[] = R"lua(
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start(false)
create_session(arg[1], "presets", 48000)
for _, uri in ipairs({"urn:brindlecircuits:torva", "urn:brindlecircuits:torva-cab"}) do
  local proc = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType.LV2, "")
  local plug = proc:to_insert():plugin(0)
  for pr in ARDOUR.LuaAPI.new_plugin_info(uri, ARDOUR.PluginType.LV2):get_presets(false):iter() do
    print("preset " .. uri .. " " .. pr.label)
  end
  plug:load_preset(plug:preset_by_label(arg[uri == "urn:brindlecircuits:torva" and 2 or 3]))
  local values = ""
  for i = 0, plug:parameter_count() - 1 do
    values = values .. string.format(" %.9g", ARDOUR.LuaAPI.get_processor_param(proc, i, true))
  end
  print("loaded " .. uri .. values)
end
close_session()
)lua";

TEST(Lv2Ardour, PresetListOffersTheFactoryPresetsAndOneLoads)
{
  std::string const why = lv2host::CannotRun({"ardour7-lua"}, "ardour");
  if (!why.empty()) GTEST_SKIP() << why;
  TempDir dir;
  WriteText(dir / "presets.lua", kScript);
  const FactoryPreset& amp = kTORVAPresets[kNumTORVAPresets - 1];
  const FactoryPreset& cab = kCabPresets[kNumCabPresets - 1];
  // A home of its own, so that Ardour's configuration and caches stay out of the user's.
  const std::string command = "HOME='" + dir.Path() + "' XDG_CONFIG_HOME='" + dir.Path() +
                              "/config' XDG_CACHE_HOME='" + dir.Path() + "/cache' LV2_PATH='" +
                              lv2host::BundleDir() + "' ardour7-lua '" + (dir / "presets.lua") +
                              "' '" + (dir / "session") + "' '" + amp.name + "' '" + cab.name +
                              "' 2>&1";
  std::string out;
  if (FILE* p = popen(command.c_str(), "r"))
  {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << out;
  }
  struct Expected
  {
    std::string uri;
    const FactoryPreset* rows;
    int n;
    const FactoryPreset& loaded;
  };
  for (const Expected& e :
       {Expected{lv2host::kURI, kTORVAPresets, kNumTORVAPresets, amp},
        Expected{std::string(lv2host::kURI) + "-cab", kCabPresets, kNumCabPresets, cab}})
  {
    for (int k = 0; k < e.n; ++k)
      EXPECT_TRUE(Contains(out, "preset " + e.uri + " " + e.rows[k].name + "\n")) << out;
    // Its controls first, in parameter order, then Ardour's other parameters.
    std::string values = "loaded " + e.uri;
    for (int i = 0; i < (e.rows == kTORVAPresets ? 8 : 6); ++i)
    {
      char v[32];
      std::snprintf(v, sizeof v, " %.9g", e.loaded.values[i]);
      values += v;
    }
    EXPECT_TRUE(Contains(out, values + " ") || Contains(out, values + "\n")) << values << "\n"
                                                                             << out;
  }
}

} // namespace
