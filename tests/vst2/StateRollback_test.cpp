// What the VST 2 adapter adds to a refused effSetChunk: sizes it must not believe, and a chunk
// that fails half way goes to the base's all-or-nothing load under the right kind, so that the
// plug-in is exactly as it was (also a value the host set below its minimum). The base's own
// rollback, entry by entry, is tests/framework/Rollback_test.cpp.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/PlugState.h"
#include "support/VstEightParamPlug.h"

namespace
{
using Bytes = std::vector<unsigned char>;

using torva_test::VstEightParamPlug;

// Three slots and chunks, on the 1-1 layout.
torva_test::VstPlugOptions const kThreeSlots{.channels = "1-1", .nPresets = 3, .chunks = true};
constexpr int kMaster = 1, kMiddle = 2; // Master's range a host can leave through setParameter

// Slots "A", "B", "C" holding different values, slot 1 current, and live values the host set
// afterwards: Master far below its minimum (normalised -0.123 gives -24.92).
void Prepare(VstEightParamPlug& plug, double tone, char const* prefix)
{
  AEffect* e = plug.GetAEffect();
  for (int k = 0; k < 3; ++k)
  {
    e->setParameter(e, kMiddle, static_cast<float>(tone + 0.1 * k));
    plug.MakeDefaultPreset((std::string(prefix) + char('A' + k)).c_str(), 1);
  }
  plug.RestorePreset(1);
  e->setParameter(e, kMaster, -0.123f);
  e->setParameter(e, kMiddle, static_cast<float>(tone / 3));
}

Bytes HostChunk(VstEightParamPlug& plug, bool bank)
{
  AEffect* e = plug.GetAEffect();
  void* data = nullptr;
  VstIntPtr const n = e->dispatcher(e, effGetChunk, bank ? 0 : 1, 0, &data, 0.0f);
  auto const* p = static_cast<unsigned char const*>(data);
  return n > 0 ? Bytes(p, p + n) : Bytes();
}
} // namespace

TEST(StateRollback, RefusedSetChunkChangesNothing)
{
  VstEightParamPlug donor(kThreeSlots);
  Prepare(donor, 0.9, "Other ");
  AEffect* d = donor.GetAEffect();
  EXPECT_EQ(d->dispatcher(d, effGetChunk, 1, 0, nullptr, 0.0f), 0) << "no pointer for the answer";
  Bytes const program = HostChunk(donor, false);
  Bytes const bank = HostChunk(donor, true);
  ASSERT_GT(program.size(), 16u);
  ASSERT_GT(bank.size(), 20u);
  unsigned char small[16] = {};

  struct Row
  {
    char const* what;
    bool bank;
    void const* data;
    VstIntPtr size;
  };
  Row const rows[] = {
      {"no data", false, nullptr, 24},
      {"negative size", true, small, -1},
      // Read whole, this would run far past small[] (the sanitizers see it; so may the MMU).
      {"one byte beyond the largest size believed", false, small, IPlugVST::kMaxHostChunkSize + 1},
      // Cut to 32 bits, the size would be the chunk's own and the chunk taken.
      {"a whole program's size plus 2^32", false, program.data(),
       (VstIntPtr{1} << 32) + VstIntPtr(program.size())},
      // Where the reader has already changed something: after the first value of a program,
      // inside the third slot of a bank (which, read as a program, would be taken).
      {"program cut after its first value", false, program.data(), 8 + 8 + 4},
      {"bank cut inside its third slot", true, bank.data(), VstIntPtr(bank.size()) - 4},
  };
  for (Row const& r : rows)
  {
    VstEightParamPlug plug(kThreeSlots);
    Prepare(plug, 0.3, "");
    ASSERT_LT(plug.GetParam(kMaster)->Value(), plug.GetParam(kMaster)->GetMin());
    std::string const before = torva_test::Fingerprint(plug);
    AEffect* e = plug.GetAEffect();
    EXPECT_EQ(
        e->dispatcher(e, effSetChunk, r.bank ? 0 : 1, r.size, const_cast<void*>(r.data), 0.0f), 0)
        << r.what;
    EXPECT_EQ(torva_test::Fingerprint(plug), before) << r.what;
  }
}
