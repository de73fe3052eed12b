// TORVA Cab's file as LV2 hosts reach it: a patch:Set on the control port loads the file, the
// notify port answers patch:Get and tells of the change, and the saved state carries the path
// into a new instance. The product is built on the LV2 adapter here, in-process.

#include <gtest/gtest.h>

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TORVACab/TORVACab.h"
#include "cab/CabFiles.h"
#include "support/TempFiles.h"

namespace
{
struct Map
{
  static LV2_URID Id(LV2_URID_Map_Handle h, const char* uri)
  {
    auto& ids = static_cast<Map*>(h)->ids;
    return ids.emplace(uri, (LV2_URID)ids.size() + 1).first->second;
  }
  LV2_URID operator()(const char* uri) { return Id(this, uri); }
  std::map<std::string, LV2_URID> ids;
  LV2_URID_Map map{this, Id};
  LV2_Feature feature{LV2_URID__map, &map};
};

using State = std::map<uint32_t, std::pair<std::vector<unsigned char>, uint32_t>>;

// One instance with its ports connected: silence in, the control and notify sequences.
class Host
{
public:
  explicit Host(Map& map) : mMap(map)
  {
    const LV2_Feature* features[] = {&map.feature, nullptr};
    mDesc = IPlugLV2::PluginDescriptor();
    mHandle = mDesc->instantiate(mDesc, 48000, "", features);
    mPlug = static_cast<TORVACab*>(static_cast<IPlugLV2*>(mHandle));
    for (uint32_t p = 0; p < 4; ++p) mDesc->connect_port(mHandle, p, mAudio[p].data());
    for (uint32_t i = 0; i < TORVACab::kNumParams; ++i)
    {
      mControls[i] = (float)mPlug->GetParam((int)i)->GetDefault();
      mDesc->connect_port(mHandle, 4 + i, &mControls[i]);
    }
    mDesc->connect_port(mHandle, mPlug->ControlPort(), mIn.data());
    mDesc->connect_port(mHandle, mPlug->NotifyPort(), mOut.data());
    mDesc->activate(mHandle);
  }
  ~Host()
  {
    mDesc->deactivate(mHandle);
    mDesc->cleanup(mHandle);
  }

  // Runs one block with the message (a patch:Set of path, or a patch:Get when null) on the
  // control port; returns the path the notify port tells of, or "-" when it tells nothing.
  std::string Run(const std::string* path, bool send = true)
  {
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &mMap.map);
    lv2_atom_forge_set_buffer(&forge, (uint8_t*)mIn.data(), mIn.size() * 8);
    LV2_Atom_Forge_Frame seq, obj;
    lv2_atom_forge_sequence_head(&forge, &seq, 0);
    if (send)
    {
      lv2_atom_forge_frame_time(&forge, 0);
      lv2_atom_forge_object(&forge, &obj, 0, mMap(path ? LV2_PATCH__Set : LV2_PATCH__Get));
      if (path)
      {
        lv2_atom_forge_key(&forge, mMap(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge, mMap(IPlugLV2::FilePropertyURI()));
        lv2_atom_forge_key(&forge, mMap(LV2_PATCH__value));
        lv2_atom_forge_path(&forge, path->c_str(), (uint32_t)path->size());
      }
      lv2_atom_forge_pop(&forge, &obj);
    }
    lv2_atom_forge_pop(&forge, &seq);
    auto* out = reinterpret_cast<LV2_Atom_Sequence*>(mOut.data());
    out->atom.size = (uint32_t)(mOut.size() * 8 - sizeof(LV2_Atom));
    mDesc->run(mHandle, 64);
    std::string told = "-";
    LV2_ATOM_SEQUENCE_FOREACH(out, ev)
    {
      const auto* o = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
      const LV2_Atom* value = nullptr;
      lv2_atom_object_get(o, mMap(LV2_PATCH__value), &value, 0);
      if (o->body.otype == mMap(LV2_PATCH__Set) && value && value->type == mMap(LV2_ATOM__Path))
        told = (const char*)LV2_ATOM_BODY_CONST(value);
    }
    return told;
  }

  State Save()
  {
    State state;
    auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type,
                    uint32_t)
    {
      auto* p = static_cast<const unsigned char*>(value);
      (*static_cast<State*>(h))[key] = {{p, p + size}, type};
      return LV2_STATE_SUCCESS;
    };
    Interface()->save(mHandle, store, &state, 0, nullptr);
    return state;
  }
  LV2_State_Status Restore(State& state)
  {
    auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                       uint32_t*) -> const void*
    {
      auto& all = *static_cast<State*>(h);
      auto it = all.find(key);
      if (it == all.end()) return nullptr;
      *size = it->second.first.size();
      *type = it->second.second;
      return it->second.first.data();
    };
    return Interface()->restore(mHandle, retrieve, &state, 0, nullptr);
  }

  TORVACab& Plug() { return *mPlug; }

private:
  const LV2_State_Interface* Interface()
  {
    return static_cast<const LV2_State_Interface*>(mDesc->extension_data(LV2_STATE__interface));
  }
  Map& mMap;
  const LV2_Descriptor* mDesc;
  LV2_Handle mHandle;
  TORVACab* mPlug;
  std::vector<float> mAudio[4] = {std::vector<float>(64), std::vector<float>(64),
                                  std::vector<float>(64), std::vector<float>(64)};
  float mControls[TORVACab::kNumParams];
  std::vector<uint64_t> mIn = std::vector<uint64_t>(1024), mOut = std::vector<uint64_t>(1024);
};

TEST(CabLv2, TheFileAsAPatchProperty)
{
  torva_test::TempDir dir;
  const std::string unit = dir / "unit.wav", bad = dir / "bad.wav";
  ASSERT_TRUE(cab_test::WriteTaps(unit, {1.0f}));
  ASSERT_TRUE(torva_test::WriteText(bad, "not a sound\n"));
  Map map;
  State saved;
  {
    Host host(map);
    EXPECT_EQ(host.Run(nullptr, false), ""); // the first run tells of the file: none
    EXPECT_EQ(host.Run(nullptr, false), "-");
    EXPECT_EQ(host.Run(nullptr), ""); // asked
    host.Run(&unit);
    ASSERT_TRUE(host.Plug().WaitForFiles(10));
    EXPECT_EQ(host.Run(nullptr, false), unit);
    host.Run(&bad); // refused: nothing changes, nothing to tell
    ASSERT_TRUE(host.Plug().WaitForFiles(10));
    EXPECT_EQ(host.Run(nullptr, false), "-");
    EXPECT_EQ(host.Plug().GetFileStatus().name, "unit.wav");
    saved = host.Save();
  }
  Host again(map);
  again.Run(nullptr, false);
  ASSERT_EQ(again.Restore(saved), LV2_STATE_SUCCESS);
  ASSERT_TRUE(again.Plug().WaitForFiles(10));
  EXPECT_EQ(again.Run(nullptr, false), unit);
  EXPECT_EQ(again.Plug().GetFileStatus().name, "unit.wav");
}
} // namespace
