#pragma once
// A product's factory presets: one table in the product's sources. The build writes the LV2
// presets and the .fxp/.fxb files from it, and the editor's menu offers it.
//
// Values are plain (as the parameter shows them: dB, Hz, positions), in parameter index order,
// one for every parameter. Each is chosen so that its normalised value is exactly a
// single-precision float: the formats that carry normalised floats (.fxp, .fxb) or plain floats
// (LV2 ports) then hold the row itself, and every door gives the same sound. The build refuses
// a row that does not (FactoryValueIsExact).

class IParam;

constexpr int kMaxFactoryPresetParams = 16;

struct FactoryPreset
{
  const char* name;        // also the files' names, so no '/'
  const char* description; // one line
  double values[kMaxFactoryPresetParams];
};

// True when v survives every format: its normalised value is a float exactly, that float gives v
// back, and v itself is a float.
bool FactoryValueIsExact(const IParam& param, double v);
