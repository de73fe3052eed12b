#pragma once
// One preset slot: whether it holds a state, its name, and the state itself as the chunk that
// SerializeState wrote. Slots are created uninitialised, named "empty", with an empty chunk.

#include "framework/ByteChunk.h"
#include "framework/IParam.h"

constexpr int kPresetNameLen = 256; // name field, with terminator: longer names are cut

struct IPreset
{
  bool mInitialized = false;
  char mName[kPresetNameLen] = "empty";
  ByteChunk mChunk;

  void SetName(char const* name) { detail::CopyBounded(mName, name, kPresetNameLen); }
};
