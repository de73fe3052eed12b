#include "framework/FactoryPresets.h"

#include "framework/IParam.h"

bool FactoryValueIsExact(const IParam& param, double v)
{
  if (v < param.GetMin() || v > param.GetMax() || static_cast<double>(static_cast<float>(v)) != v)
    return false;
  const double normalized = param.GetNormalized(v);
  const float stored = static_cast<float>(normalized);
  return static_cast<double>(stored) == normalized && param.GetNonNormalized(stored) == v;
}
