#include "support/PlugState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

namespace torva_test
{

void SetBytes(ByteChunk* pChunk, std::vector<unsigned char> const& bytes)
{
  pChunk->Resize(static_cast<int>(bytes.size()));
  if (!bytes.empty()) std::memcpy(pChunk->GetBytes(), bytes.data(), bytes.size());
}

std::vector<double> Values(IPlugBase const& plug)
{
  std::vector<double> v;
  for (int i = 0; i < plug.NParams(); ++i) v.push_back(plug.GetParam(i)->Value());
  return v;
}

void ExpectParamsInRange(IPlugBase const& plug)
{
  for (int i = 0; i < plug.NParams(); ++i)
  {
    IParam const* p = plug.GetParam(i);
    ASSERT_TRUE(std::isfinite(p->Value())) << "parameter " << i;
    ASSERT_GE(p->Value(), p->GetMin()) << "parameter " << i;
    ASSERT_LE(p->Value(), p->GetMax()) << "parameter " << i;
  }
}

std::string Fingerprint(IPlugBase const& plug)
{
  std::ostringstream s;
  s << std::hexfloat;
  for (int i = 0; i < plug.NParams(); ++i) s << plug.GetParam(i)->Value() << ' ';
  for (int k = 0; k < plug.NPresets(); ++k)
  {
    IPreset const* p = plug.GetPreset(k);
    s << '|' << (p->mInitialized ? "I " : "U ") << p->mName << ':' << std::hex;
    for (unsigned char b : Bytes(p->mChunk)) s << ' ' << int(b);
  }
  s << "|current " << std::dec << plug.GetCurrentPresetIdx();
  return s.str();
}

} // namespace torva_test
