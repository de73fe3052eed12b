// Host state chunks handed to the product itself through the VST 2 dispatcher (effSetChunk),
// as a host restoring a project does.
//
// Input: byte 0 bit 0 picks a bank chunk, the rest is the chunk.

#include <cmath>
#include <cstring>

#include "TORVA/TORVA.h"
#include "tests/fuzz/FuzzCheck.h"

using torva_fuzz::PlugImage;

namespace
{
std::vector<unsigned char> GetChunk(AEffect* e, bool isBank)
{
  void* p = nullptr;
  VstIntPtr const n = e->dispatcher(e, effGetChunk, isBank ? 0 : 1, 0, &p, 0.0f);
  FUZZ_CHECK(n > 0 && p);
  auto const* b = static_cast<unsigned char const*>(p);
  return std::vector<unsigned char>(b, b + n);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
  if (size < 1 || size > (1 << 20)) return 0;
  bool const isBank = data[0] & 1;
  TORVA plug{IPlugInstanceInfo()};
  AEffect* e = plug.GetAEffect();

  // The host's buffer is its own: the plug-in must not need more than the size it was told.
  std::vector<unsigned char> buffer(data + 1, data + size);
  PlugImage const before(plug);
  VstIntPtr const r = e->dispatcher(e, effSetChunk, isBank ? 0 : 1,
                                    static_cast<VstIntPtr>(buffer.size()), buffer.data(), 0.0f);
  FUZZ_CHECK(r == 0 || r == 1);
  FUZZ_CHECK(torva_fuzz::ParamsInRange(plug));
  FUZZ_CHECK(torva_fuzz::SettingsFinite(plug));
  if (r == 0)
  {
    FUZZ_CHECK(PlugImage(plug) == before);
    return 0;
  }

  std::vector<unsigned char> const first = GetChunk(e, isBank);
  FUZZ_CHECK(e->dispatcher(e, effSetChunk, isBank ? 0 : 1, static_cast<VstIntPtr>(first.size()),
                           const_cast<unsigned char*>(first.data()), 0.0f) == 1);
  FUZZ_CHECK(GetChunk(e, isBank) == first);

  // Whatever state was taken, the plug-in still processes: silence in, finite samples out.
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  e->dispatcher(e, effSetBlockSize, 0, 32, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  double zeros[2][32] = {}, out[2][32];
  double* ins[] = {zeros[0], zeros[1]};
  double* outs[] = {out[0], out[1]};
  e->processDoubleReplacing(e, ins, outs, 32);
  for (auto const& channel : out)
    for (double v : channel) FUZZ_CHECK(std::isfinite(v));
  return 0;
}
