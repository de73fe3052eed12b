#pragma once
// What the fuzz targets share: an invariant check that stops the run (libFuzzer keeps the input
// that broke it) and a plug-in's whole state taken without side effects, to compare before and
// after an input.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/IPlugBase.h"
#include "support/PlugState.h"

#define FUZZ_CHECK(cond)                                                                           \
  do                                                                                               \
  {                                                                                                \
    if (!(cond))                                                                                   \
    {                                                                                              \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond);            \
      std::abort();                                                                                \
    }                                                                                              \
  } while (0)

namespace torva_fuzz
{

inline std::vector<unsigned char> ReadAll(char const* path)
{
  std::vector<unsigned char> bytes;
  if (FILE* f = std::fopen(path, "rb"))
  {
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
  }
  return bytes;
}

// Everything a load may change, read directly: values bit for bit, the slots, the current slot.
struct PlugImage
{
  std::vector<uint64_t> mValueBits;
  std::vector<std::string> mNames;
  std::vector<bool> mInitialized;
  std::vector<std::vector<unsigned char>> mSlotChunks;
  int mCurrent = 0;

  explicit PlugImage(IPlugBase const& plug)
  {
    for (int i = 0; i < plug.NParams(); ++i)
    {
      double const v = plug.GetParam(i)->Value();
      uint64_t bits;
      std::memcpy(&bits, &v, sizeof bits);
      mValueBits.push_back(bits);
    }
    for (int i = 0; i < plug.NPresets(); ++i)
    {
      IPreset const* p = plug.GetPreset(i);
      mNames.emplace_back(p->mName);
      mInitialized.push_back(p->mInitialized);
      mSlotChunks.push_back(torva_test::Bytes(p->mChunk));
    }
    mCurrent = plug.GetCurrentPresetIdx();
  }
  bool operator==(PlugImage const&) const = default;
};

// Every parameter finite and inside its bounds.
inline bool ParamsInRange(IPlugBase const& plug)
{
  for (int i = 0; i < plug.NParams(); ++i)
  {
    IParam const* p = plug.GetParam(i);
    double const v = p->Value();
    if (!(v >= p->GetMin() && v <= p->GetMax())) return false;
  }
  return true;
}

// The product's signal-path settings all finite (the product's own type, given by its users).
template <class Product> bool SettingsFinite(Product const& plug)
{
  auto const& s = plug.GetSettings();
  for (double v : {s.bass, s.masterGain, s.middle, s.presence, s.treble, s.drive1, s.drive2})
    if (!std::isfinite(v)) return false;
  return true;
}

} // namespace torva_fuzz
