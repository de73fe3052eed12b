// Typed parameter values: effString2Parameter on the product with arbitrary text.
//
// Input: byte 0 picks the parameter (one past the last as well), the rest is the text, cut at
// its first zero byte as a C string is.

#include <string>

#include "TORVA/TORVA.h"
#include "tests/fuzz/FuzzCheck.h"

using torva_fuzz::PlugImage;

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
  if (size < 1 || size > 4096) return 0;
  TORVA plug{IPlugInstanceInfo()};
  AEffect* e = plug.GetAEffect();
  int const idx = data[0] % (TORVA::kNumParams + 1);
  std::string const text(reinterpret_cast<char const*>(data + 1), size - 1);

  PlugImage const before(plug);
  VstIntPtr const r =
      e->dispatcher(e, effString2Parameter, idx, 0, const_cast<char*>(text.c_str()), 0.0f);
  FUZZ_CHECK(r == 0 || r == 1);
  FUZZ_CHECK(torva_fuzz::ParamsInRange(plug));
  if (r == 0 || idx >= TORVA::kNumParams) FUZZ_CHECK(PlugImage(plug) == before);
  FUZZ_CHECK(torva_fuzz::SettingsFinite(plug));
  // What the host reads back is a number in 0..1.
  for (int i = 0; i < TORVA::kNumParams; ++i)
  {
    float const v = e->getParameter(e, i);
    FUZZ_CHECK(v >= 0.0f && v <= 1.0f);
  }
  return 0;
}
