#pragma once
// A small LV2 host for tests: loads a bundle's module with dlopen, maps URIDs, runs one instance
// on control values it owns, and keeps the state properties the plug-in stores. Also what the lv2
// tests share: the plug-in's URI, port defaults, editor geometry and when to skip.

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "support/Sanitized.h"

namespace lv2host
{

// The bundle this build made (TORVA_LV2_BUNDLE in the environment overrides it).
inline std::string BundlePath()
{
  char const* env = std::getenv("TORVA_LV2_BUNDLE");
  return env && env[0] ? env : TORVA_LV2_BUNDLE_DIR;
}
// The folder holding it, as LV2_PATH names it.
inline std::string BundleDir()
{
  std::string const bundle = BundlePath();
  return bundle.substr(0, bundle.rfind('/'));
}

constexpr char kURI[] = "urn:brindlecircuits:torva";

// Why tests running these programs on the module cannot run here; empty when they can.
inline std::string CannotRun(std::initializer_list<char const*> programs, char const* package)
{
  if (torva_test::Sanitized()) return "they cannot load a module built with the sanitizers";
  for (char const* p : programs)
    if (std::system((std::string("command -v ") + p + " >/dev/null 2>&1").c_str()) != 0)
      return std::string(p) + " is not installed (" + package + ")";
  return "";
}

// The control ports' defaults as the Turtle gives them: Bass, Master, Middle, Presence, Treble,
// Volume 1, Volume 2, Bypass (ports 4 to 11).
constexpr float kDefaults[] = {0.7f, -4.0f, 0.3f, 0.3f, 0.4f, 10.0f, 10.0f, 0.0f};
// The editor's size and where its Bass knob's centre is.
constexpr int kW = 1024, kH = 285, kBassX = 514 + 36, kKnobY = 100 + 36;

struct Module
{
  LV2_Descriptor const* mPlugin = nullptr;
  LV2UI_Descriptor const* mEditor = nullptr;
};

// A module's descriptors; nulls when it cannot be loaded.
inline Module LoadModule(std::string const& file)
{
  Module m;
  void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto entry =
      lib ? reinterpret_cast<LV2_Descriptor const* (*)(uint32_t)>(dlsym(lib, "lv2_descriptor"))
          : nullptr;
  auto uiEntry =
      lib ? reinterpret_cast<LV2UI_Descriptor const* (*)(uint32_t)>(dlsym(lib, "lv2ui_descriptor"))
          : nullptr;
  m.mPlugin = entry ? entry(0) : nullptr;
  m.mEditor = uiEntry ? uiEntry(0) : nullptr;
  return m;
}
// Loaded once for the program and never unloaded: editor threads may end a little after a test.
inline Module const& TheModule()
{
  static Module const sModule = LoadModule(BundlePath() + "/TORVA.so");
  return sModule;
}
// TORVA Cab's, which this build made beside TORVA.lv2.
inline Module const& CabModule()
{
  static Module const sModule = LoadModule(BundleDir() + "/TORVACab.lv2/TORVACab.so");
  return sModule;
}

struct UridMap
{
  static LV2_URID Map(LV2_URID_Map_Handle h, char const* uri)
  {
    auto& ids = static_cast<UridMap*>(h)->mIds;
    return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
  }
  LV2_URID operator()(char const* uri) { return Map(this, uri); }
  std::map<std::string, LV2_URID> mIds;
  LV2_URID_Map mMap{this, Map};
  LV2_Feature mFeature{LV2_URID__map, &mMap};
};

struct Property
{
  std::vector<unsigned char> mBytes;
  uint32_t mType = 0;
};
using Properties = std::map<uint32_t, Property>;

// Everything the instance's state interface stores, by key.
inline LV2_State_Status SaveState(LV2_State_Interface const* state, LV2_Handle handle,
                                  Properties& props)
{
  auto store =
      [](LV2_State_Handle h, uint32_t key, void const* value, size_t size, uint32_t type, uint32_t)
  {
    auto const* p = static_cast<unsigned char const*>(value);
    (*static_cast<Properties*>(h))[key] = {{p, p + size}, type};
    return LV2_STATE_SUCCESS;
  };
  return state->save(handle, store, &props, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
}

// One instance with two inputs, two outputs and its control ports at their defaults (as floats).
struct Instance
{
  Instance(UridMap& map, double rate = 44100.0, bool withMap = true)
  {
    LV2_Feature const* features[] = {withMap ? &map.mFeature : nullptr, nullptr};
    mHandle = mDesc->instantiate(mDesc, rate, BundlePath().c_str(), features);
    std::memcpy(mControls, kDefaults, sizeof kDefaults);
    for (uint32_t i = 0; i < 8; ++i) mDesc->connect_port(mHandle, 4 + i, &mControls[i]);
    mDesc->activate(mHandle);
  }
  ~Instance()
  {
    mDesc->deactivate(mHandle);
    mDesc->cleanup(mHandle);
  }
  Instance(Instance const&) = delete;
  Instance& operator=(Instance const&) = delete;

  void Run(float const* const* in, float* const* out, uint32_t n)
  {
    for (uint32_t c = 0; c < 2; ++c)
    {
      mDesc->connect_port(mHandle, c, const_cast<float*>(in[c]));
      mDesc->connect_port(mHandle, 2 + c, out[c]);
    }
    mDesc->run(mHandle, n);
  }

  LV2_State_Status Save(Properties& props) { return SaveState(State(), mHandle, props); }
  LV2_State_Status Restore(Properties& props)
  {
    auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                       uint32_t* flags) -> void const*
    {
      auto& all = *static_cast<Properties*>(h);
      auto it = all.find(key);
      if (it == all.end()) return nullptr;
      *size = it->second.mBytes.size();
      *type = it->second.mType;
      *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
      // A zero-length property still has an address.
      return it->second.mBytes.empty() ? &it->second
                                       : static_cast<void const*>(it->second.mBytes.data());
    };
    return State()->restore(mHandle, retrieve, &props, 0, nullptr);
  }
  LV2_State_Interface const* State() const
  {
    return static_cast<LV2_State_Interface const*>(mDesc->extension_data(LV2_STATE__interface));
  }

  LV2_Descriptor const* mDesc = TheModule().mPlugin;
  LV2_Handle mHandle = nullptr;
  float mControls[8] = {};
};

} // namespace lv2host
