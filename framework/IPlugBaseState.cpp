// IPlugBase: state chunks, the chunks handed to a host, and the preset slots.
//
// Byte layouts (all little-endian; a host stores these verbatim, so they never change):
//   state chunk   one double per parameter, plain values in index order (8 * N bytes)
//   version header  int32 0x70666674, int32 0x00010000
//   bank chunk    per slot: int32 L, L name bytes, 1 initialised byte, then (only when
//                 initialised) the slot's stored state chunk with no length
//   host program chunk = version header + state chunk
//   host bank chunk    = version header + bank chunk

#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "framework/Base64.h"
#include "framework/IPlugBase.h"
#include "framework/Log.h"

namespace
{
// Stands for "not named" in MakePresetFromNamedParams.
constexpr double kUnnamedMarker = 9.999e-8;

double ReadLittleEndianDouble(unsigned char const* p)
{
  unsigned char bytes[8];
  std::memcpy(bytes, p, 8);
  if constexpr (std::endian::native == std::endian::big)
    for (int i = 0; i < 4; ++i) std::swap(bytes[i], bytes[7 - i]);
  double v;
  std::memcpy(&v, bytes, 8);
  return v;
}
} // namespace

// ---- State chunks ----------------------------------------------------------------------------

bool IPlugBase::SerializeParams(ByteChunk* pChunk)
{
  WDL_MutexLock lock(&mMutex);
  bool ok = true;
  for (int i = 0, n = NParams(); i < n; ++i)
  {
    IParam* param = GetParam(i);
    double const v = param->Value();
    Trace("SerializeParams", __LINE__, "%d %s %f", i, param->GetNameForHost(), v);
    ok = pChunk->Put(&v) > 0 && ok;
  }
  return ok;
}

int IPlugBase::UnserializeParams(ByteChunk* pChunk, int startPos)
{
  WDL_MutexLock lock(&mMutex);
  int pos = startPos;
  for (int i = 0, n = NParams(); i < n && pos >= 0; ++i)
  {
    IParam* param = GetParam(i);
    double v = 0.0;
    pos = pChunk->Get(&v, pos);
    param->Set(v); // clamped; a non-finite value is refused
    Trace("UnserializeParams", __LINE__, "%d %s %f", i, param->GetNameForHost(), v);
  }
  OnParamReset();
  return pos;
}

bool IPlugBase::SerializeState(ByteChunk* pChunk)
{
  return SerializeParams(pChunk);
}

int IPlugBase::UnserializeState(ByteChunk* pChunk, int startPos)
{
  return UnserializeParams(pChunk, startPos);
}

bool IPlugBase::CompareState(unsigned char const* incomingState, int startPos)
{
  for (int i = 0, n = NParams(); i < n; ++i)
  {
    size_t const offset = (static_cast<size_t>(startPos) + static_cast<size_t>(i)) * sizeof(double);
    float const stored = static_cast<float>(ReadLittleEndianDouble(incomingState + offset));
    float const live = static_cast<float>(GetParam(i)->Value());
    if (!(static_cast<double>(std::fabs(live - stored)) < 0.00001)) return false;
  }
  return true;
}

void IPlugBase::InitChunkWithIPlugVer(ByteChunk* pChunk)
{
  pChunk->Clear();
  int32_t const magic = kIPlugVersionMagic;
  int32_t const version = kIPlugChunkVersion;
  pChunk->Put(&magic);
  pChunk->Put(&version);
}

int IPlugBase::GetIPlugVerFromChunk(ByteChunk* pChunk, int* pPos)
{
  int32_t magic = 0;
  int const afterMagic = pChunk->Get(&magic, *pPos);
  if (afterMagic < 0 || magic != kIPlugVersionMagic) return 0;
  int32_t version = 0;
  *pPos = pChunk->Get(&version, afterMagic);
  return *pPos < 0 ? 0 : version;
}

bool IPlugBase::GetHostChunk(ByteChunk* pChunk, bool isBank)
{
  WDL_MutexLock lock(&mMutex);
  InitChunkWithIPlugVer(pChunk);
  bool ok;
  if (isBank)
  {
    ModifyCurrentPreset();
    ok = SerializePresets(pChunk);
  }
  else
    ok = SerializeState(pChunk);
  return ok && pChunk->Size() > 0;
}

bool IPlugBase::SetHostChunk(ByteChunk* pChunk, bool isBank)
{
  WDL_MutexLock lock(&mMutex);
  int pos = 0;
  int const version = GetIPlugVerFromChunk(pChunk, &pos);
  if (!isBank || version < kIPlugChunkVersion)
  {
    pos = UnserializeState(pChunk, pos);
    ModifyCurrentPreset();
  }
  else
    pos = UnserializePresets(pChunk, pos);
  if (pos < 0) return false;
  RedrawParamControls();
  return true;
}

bool IPlugBase::LoadHostChunk(void const* pData, int size, bool isBank)
{
  if (!pData || size < 0) return false;
  ByteChunk chunk;
  if (chunk.Resize(size) != size) return false;
  if (size > 0) std::memcpy(chunk.GetBytes(), pData, static_cast<size_t>(size));

  WDL_MutexLock lock(&mMutex);
  // A chunk that runs out half way would leave half a state behind: roll back instead.
  StateSnapshot before(this);
  if (!before.Ok()) return false;
  if (!SetHostChunk(&chunk, isBank))
  {
    before.Restore();
    return false;
  }
  return true;
}

// ---- Rollback --------------------------------------------------------------------------------

IPlugBase::StateSnapshot::StateSnapshot(IPlugBase* pPlug)
    : mPlug(pPlug), mCurrentPresetIdx(pPlug->mCurrentPresetIdx)
{
  // The product's own state, for whatever it keeps beside the parameters. Its result is not
  // trusted to mean anything more: the parameters below are restored in any case.
  pPlug->SerializeState(&mLive);
  // Whole parameters, since a value is only settable through clamping or normalising paths.
  for (int i = 0, n = pPlug->NParams(); mOk && i < n; ++i)
  {
    IParam* pCopy = new (std::nothrow) IParam(*pPlug->GetParam(i));
    mOk = pCopy && mParams.Add(pCopy);
    if (!mOk) delete pCopy;
  }
  for (int i = 0, n = pPlug->NPresets(); mOk && i < n; ++i)
  {
    IPreset* pCopy = new (std::nothrow) IPreset(*pPlug->GetPreset(i));
    mOk = pCopy && mPresets.Add(pCopy);
    if (!mOk) delete pCopy;
  }
}

IPlugBase::StateSnapshot::~StateSnapshot()
{
  mParams.Empty(true);
  mPresets.Empty(true);
}

void IPlugBase::StateSnapshot::Restore()
{
  for (int i = 0, n = mPresets.GetSize(); i < n && i < mPlug->NPresets(); ++i)
    *mPlug->GetPreset(i) = *mPresets.Get(i);
  mPlug->UnserializeState(&mLive, 0);
  for (int i = 0, n = mParams.GetSize(); i < n && i < mPlug->NParams(); ++i)
  {
    IParam* pParam = mPlug->GetParam(i);
    IParam const* pSaved = mParams.Get(i);
    double const now = pParam->Value(), was = pSaved->Value();
    if (std::memcmp(&now, &was, sizeof now) == 0) continue;
    *pParam = *pSaved;
    mPlug->OnParamChange(i);
  }
  mPlug->mCurrentPresetIdx = mCurrentPresetIdx;
  mPlug->RedrawParamControls();
}

// ---- Presets ---------------------------------------------------------------------------------

IPreset* IPlugBase::FirstUninitializedPreset() const
{
  for (int i = 0, n = NPresets(); i < n; ++i)
    if (!mPresets.Get(i)->mInitialized) return mPresets.Get(i);
  return nullptr;
}

namespace
{
// A slot being filled starts from an empty chunk, so that bytes it held while uninitialised
// (a bank can clear the flag and leave the bytes) never come before the new state.
void FillSlot(IPreset* preset, char const* name)
{
  preset->mInitialized = true;
  preset->SetName(name);
  preset->mChunk.Clear();
}
} // namespace

char const* IPlugBase::GetPresetName(int idx) const
{
  IPreset const* preset = GetPreset(idx);
  return preset ? preset->mName : "";
}

void IPlugBase::MakeDefaultPreset(char const* name, int nPresets)
{
  for (int i = 0; i < nPresets; ++i)
  {
    IPreset* preset = FirstUninitializedPreset();
    if (!preset) break;
    FillSlot(preset, name ? name : "Empty");
    SerializeState(&preset->mChunk);
  }
}

void IPlugBase::EnsureDefaultPreset()
{
  MakeDefaultPreset("Empty", NPresets());
}

void IPlugBase::MakePreset(char const* name, ...)
{
  IPreset* preset = FirstUninitializedPreset();
  if (!preset) return;
  FillSlot(preset, name);

  va_list vp;
  va_start(vp, name);
  for (int i = 0, n = NParams(); i < n; ++i)
  {
    IParam::EParamType const type = GetParam(i)->Type();
    bool const isInt =
        type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum;
    double const v = isInt ? static_cast<double>(va_arg(vp, int)) : va_arg(vp, double);
    preset->mChunk.Put(&v);
  }
  va_end(vp);
  AppendStateBeyondParams(&preset->mChunk);
}

void IPlugBase::MakePresetFromNamedParams(char const* name, int nParamsNamed, ...)
{
  IPreset* preset = FirstUninitializedPreset();
  if (!preset) return;
  int const n = NParams();
  WDL_TypedBuf<double> values;
  if (!values.Resize(n)) return;
  FillSlot(preset, name);
  double* v = values.Get();
  for (int i = 0; i < n; ++i) v[i] = kUnnamedMarker;

  va_list vp;
  va_start(vp, nParamsNamed);
  for (int k = 0; k < nParamsNamed; ++k)
  {
    int const idx = va_arg(vp, int);
    IParam const* param = GetParam(idx);
    if (!param) break; // the value's type depends on the parameter: nothing after this can be read
    IParam::EParamType const type = param->Type();
    bool const isInt =
        type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum;
    v[idx] = isInt ? static_cast<double>(va_arg(vp, int)) : va_arg(vp, double);
  }
  va_end(vp);

  for (int i = 0; i < n; ++i)
  {
    if (v[i] == kUnnamedMarker) v[i] = GetParam(i)->Value();
    preset->mChunk.Put(v + i);
  }
  AppendStateBeyondParams(&preset->mChunk);
}

void IPlugBase::AppendStateBeyondParams(ByteChunk* pChunk)
{
  // A product that keeps state beyond its parameters reads it after them in every slot; a slot
  // of values alone would make each bank chunk holding it unreadable.
  ByteChunk params, state;
  if (!SerializeParams(&params) || !SerializeState(&state)) return;
  if (state.Size() > params.Size())
    pChunk->PutBytes(state.GetBytes() + params.Size(), state.Size() - params.Size());
}

void IPlugBase::MakePresetFromChunk(char const* name, ByteChunk* pChunk)
{
  IPreset* preset = FirstUninitializedPreset();
  if (!preset) return;
  FillSlot(preset, name);
  preset->mChunk.PutChunk(pChunk);
}

void IPlugBase::MakePresetFromBlob(char const* name, char const* blob, int sizeOfChunk)
{
  if (sizeOfChunk < 0) return;
  ByteChunk decoded;
  if (decoded.Resize(sizeOfChunk) != sizeOfChunk) return;
  if (sizeOfChunk > 0)
  {
    std::memset(decoded.GetBytes(), 0, static_cast<size_t>(sizeOfChunk));
    Base64Decode(blob, decoded.GetBytes(), sizeOfChunk);
  }
  MakePresetFromChunk(name, &decoded);
}

void IPlugBase::PruneUninitializedPresets()
{
  for (int i = NPresets() - 1; i >= 0; --i)
    if (!mPresets.Get(i)->mInitialized) mPresets.Delete(i, true);
}

bool IPlugBase::RestorePreset(int idx)
{
  IPreset* preset = GetPreset(idx);
  if (!preset) return false;

  if (!preset->mInitialized)
  {
    int n = 1;
    for (int i = 0, count = NPresets(); i < count; ++i)
      if (std::strstr(mPresets.Get(i)->mName, "user preset")) ++n;
    char name[kPresetNameLen];
    std::snprintf(name, sizeof(name), "%s %d", "user preset", n);
    FillSlot(preset, name);
    if (!SerializeState(&preset->mChunk)) return false;
  }
  else if (UnserializeState(&preset->mChunk, 0) < 1)
    return false;

  mCurrentPresetIdx = idx;
  PresetsChangedByHost();
  RedrawParamControls();
  return true;
}

bool IPlugBase::RestorePreset(char const* name)
{
  if (!name || !*name) return false;
  for (int i = 0, n = NPresets(); i < n; ++i)
    if (std::strcmp(mPresets.Get(i)->mName, name) == 0) return RestorePreset(i);
  return false;
}

void IPlugBase::ModifyCurrentPreset(char const* name)
{
  IPreset* preset = GetPreset(mCurrentPresetIdx);
  if (!preset) return;
  preset->mChunk.Clear();
  Trace("ModifyCurrentPreset", __LINE__, "%d %s", mCurrentPresetIdx, preset->mName);
  SerializeState(&preset->mChunk);
  // The slot now holds a state: a bank must carry it, or the live values it took are lost.
  preset->mInitialized = true;
  if (name && *name) preset->SetName(name);
}

bool IPlugBase::SerializePresets(ByteChunk* pChunk)
{
  bool ok = true;
  for (int i = 0, n = NPresets(); i < n; ++i)
  {
    IPreset* preset = mPresets.Get(i);
    Trace("SerializePresets", __LINE__, "%d %s", i, preset->mName);
    ok = pChunk->PutStr(preset->mName) > 0 && ok;
    ok = pChunk->PutBool(preset->mInitialized) > 0 && ok;
    if (preset->mInitialized) ok = pChunk->PutChunk(&preset->mChunk) > 0 && ok;
  }
  return ok;
}

int IPlugBase::UnserializePresets(ByteChunk* pChunk, int startPos)
{
  int pos = startPos;
  for (int i = 0, n = NPresets(); i < n && pos >= 0; ++i)
  {
    IPreset* preset = mPresets.Get(i);
    // A name cut off by the end of the data leaves the slot's name as it was.
    WDL_String name(preset->mName);
    pos = pChunk->GetStr(&name, pos);
    preset->SetName(name.Get());
    pos = pChunk->GetBool(&preset->mInitialized, pos);
    Trace("UnserializePresets", __LINE__, "%d %s", i, preset->mName);
    if (pos >= 0 && preset->mInitialized)
    {
      pos = UnserializeState(pChunk, pos);
      if (pos > 0)
      {
        preset->mChunk.Clear();
        SerializeState(&preset->mChunk);
      }
    }
  }
  RestorePreset(mCurrentPresetIdx);
  return pos;
}
