#pragma once
// A plug-in's state as tests look at it: chunk bytes as vectors, every parameter's value, a
// check that no parameter left its range, and a print of everything a refused load must keep.

#include <string>
#include <vector>

#include "framework/ByteChunk.h"
#include "framework/IPlugBase.h"

namespace torva_test
{

// A chunk's bytes, and back. (Bytes is inline: the fuzz targets use it without gtest.)
inline std::vector<unsigned char> Bytes(ByteChunk const& chunk)
{
  unsigned char const* p = chunk.GetBytes();
  return p ? std::vector<unsigned char>(p, p + chunk.Size()) : std::vector<unsigned char>();
}
void SetBytes(ByteChunk* pChunk, std::vector<unsigned char> const& bytes);

// Every parameter's plain value, in order.
std::vector<double> Values(IPlugBase const& plug);

// Adds a test failure for the first parameter whose value is not finite or lies outside its
// bounds.
void ExpectParamsInRange(IPlugBase const& plug);

// Everything a refused chunk or preset file has to leave as it was, readably: every value as a
// hexadecimal float (exact, also below its minimum), every slot's flag, name and bytes, and the
// current slot. Equal prints, equal states.
std::string Fingerprint(IPlugBase const& plug);

} // namespace torva_test
