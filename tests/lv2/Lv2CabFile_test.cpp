// TORVA Cab's impulse response as an LV2 host meets it: the patch ports after the controls are
// ports of their own (connecting them once wrote past the controls' table), a patch:Get is
// answered with the file in force, and a patch:Set of a file is told back once it is loaded.

#include <gtest/gtest.h>
#include <unistd.h>

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>

#include <cstring>
#include <string>

#include "lv2/Lv2Host.h"

namespace
{
constexpr uint32_t kControlIn = 10, kNotify = 11; // after 2 + 2 audio ports and 6 controls

TEST(Lv2CabFile, PatchPortsAnswerAndTakeTheFile)
{
  LV2_Descriptor const* d = lv2host::CabModule().mPlugin;
  ASSERT_TRUE(d) << dlerror();
  lv2host::UridMap map;
  LV2_Feature const* features[] = {&map.mFeature, nullptr};
  LV2_Handle h = d->instantiate(d, 48000.0, lv2host::BundleDir().c_str(), features);
  float audio[4][64] = {}, controls[6] = {0, 60, 12000, 100, 0, 0};
  alignas(8) uint8_t in[4096], out[4096];
  for (uint32_t p = 0; p < 10; ++p) d->connect_port(h, p, p < 4 ? audio[p] : &controls[p - 4]);
  d->connect_port(h, kControlIn, in);
  d->connect_port(h, kNotify, out);
  d->activate(h);

  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, &map.mMap);
  // One run with a message of that kind (none for null); the file it tells of, "-" for none.
  auto run = [&](char const* kind, std::string const& file = "")
  {
    lv2_atom_forge_set_buffer(&forge, in, sizeof in);
    LV2_Atom_Forge_Frame sequence, object;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    if (kind)
    {
      lv2_atom_forge_frame_time(&forge, 0);
      lv2_atom_forge_object(&forge, &object, 0, map(kind));
      if (!file.empty())
      {
        lv2_atom_forge_key(&forge, map(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge, map("urn:brindlecircuits:torva-cab#file"));
        lv2_atom_forge_key(&forge, map(LV2_PATCH__value));
        lv2_atom_forge_path(&forge, file.c_str(), static_cast<uint32_t>(file.size()));
      }
      lv2_atom_forge_pop(&forge, &object);
    }
    lv2_atom_forge_pop(&forge, &sequence);
    reinterpret_cast<LV2_Atom*>(out)->size = sizeof out - sizeof(LV2_Atom);
    d->run(h, 64);
    std::string told = "-";
    LV2_ATOM_SEQUENCE_FOREACH(reinterpret_cast<LV2_Atom_Sequence*>(out), ev)
    {
      LV2_Atom const* value = nullptr;
      lv2_atom_object_get(reinterpret_cast<LV2_Atom_Object const*>(&ev->body),
                          map(LV2_PATCH__value), &value, 0);
      auto const* body = value ? static_cast<char const*>(LV2_ATOM_BODY_CONST(value)) : nullptr;
      if (body && value->type == map(LV2_ATOM__Path)) told.assign(body, strnlen(body, value->size));
    }
    return told;
  };
  EXPECT_EQ(run(LV2_PATCH__Get), ""); // none in force yet
  EXPECT_EQ(run(nullptr), "-");       // told once
  std::string const file = TORVA_SOURCE_DIR "/resources/ir/open_2x12.wav";
  std::string told = run(LV2_PATCH__Set, file);
  for (int i = 0; i < 500 && told == "-"; ++i, usleep(10000)) told = run(nullptr);
  EXPECT_EQ(told, file);
  d->deactivate(h);
  d->cleanup(h);
}

} // namespace
