// Host state chunks (program and bank) applied through the plug-in base, on the eight-parameter
// stand-in in several shapes, rolled back on refusal the way the VST 2 adapter does.
//
// Input: byte 0 picks the shape (bit 0 bank, bit 1 three slots, bit 2 padded state, bit 3 the
// slots made up front), the rest is the chunk.

#include "support/EightParamPlug.h"
#include "tests/fuzz/FuzzCheck.h"

using torva_fuzz::PlugImage;
using torva_test::Bytes;

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
  if (size < 1 || size > (1 << 20)) return 0;
  unsigned const shape = data[0];
  bool const isBank = shape & 1;
  torva_test::EightParamPlug plug((shape & 2) ? 3 : 1, true, (shape & 4) ? 5 : 0);
  if (shape & 8)
  {
    plug.MakePreset("warm", 0.2, -3.0, 0.7, 1.5, 7, 2, 25.5, 1);
    plug.MakeDefaultPreset("rest", 2);
  }

  ByteChunk chunk;
  int const n = static_cast<int>(size - 1);
  FUZZ_CHECK(chunk.PutBytes(data + 1, n) == n || n == 0);

  PlugImage const before(plug);
  IPlugBase::StateSnapshot snapshot(&plug);
  FUZZ_CHECK(snapshot.Ok());
  bool const accepted = plug.SetHostChunk(&chunk, isBank);
  FUZZ_CHECK(torva_fuzz::ParamsInRange(plug));
  if (!accepted)
  {
    snapshot.Restore();
    FUZZ_CHECK(PlugImage(plug) == before);
    return 0;
  }

  // Whatever was taken saves to a chunk that loads back to the very same chunk.
  ByteChunk first, second;
  FUZZ_CHECK(plug.GetHostChunk(&first, isBank));
  FUZZ_CHECK(plug.SetHostChunk(&first, isBank));
  FUZZ_CHECK(torva_fuzz::ParamsInRange(plug));
  FUZZ_CHECK(plug.GetHostChunk(&second, isBank));
  FUZZ_CHECK(Bytes(first) == Bytes(second));
  return 0;
}
