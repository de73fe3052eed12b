// Preset files and preset dumps.
//
// The plug-in can write its current program as a VST 2 preset file (.fxp) and all its slots as a
// bank file (.fxb), read both back, and print presets as source lines a developer pastes into a
// product's constructor. Hosts never reach any of this; it serves tools and developers.
//
// File layouts (all integers big-endian, magics as four ASCII characters, N parameters):
//
//   .fxp  0 "CcnK" | 4 size | 8 kind | 12 version 1 | 16 unique id | 20 plug-in version (decimal)
//         | 24 N | 28 name, 28 bytes NUL-padded | 56 data
//         kind "FxCk": size 0, data = N normalised values as big-endian IEEE singles (88 bytes
//                      for 8 parameters)
//         kind "FPCh": size S + 60, data = S, then S bytes: version header + state chunk
//
//   .fxb  0 "CcnK" | 4 size | 8 kind | 12 version 2 | 16 unique id | 20 plug-in version
//         | 24 slot count | 28 current slot | 32 124 zero bytes | 156 data
//         kind "FxBk": size 0, data = one "FxCk" program record (as the .fxp) per slot
//         kind "FBCh": size S + 160, data = S, then S bytes: version header + bank chunk
//
// Saving writes a new file beside the target and renames it into place, so a failed save never
// destroys the file it was replacing.
//
// Loading reads the whole file and applies it under the plug-in lock. Whatever the bytes, a
// rejected file leaves the plug-in exactly as it was: headers, counts, sizes and every bank
// record are checked before anything changes, and an embedded chunk (whose format is the
// product's own) is tried and undone if its reader fails. What is accepted:
//   - a program whose count is below the plug-in's sets those parameters and keeps the rest;
//     a count beyond the values the file holds is rejected;
//   - values are clamped into 0..1, and a non-finite value leaves its parameter alone;
//   - a bank with more records than slots fills the slots; one with fewer fills those;
//   - a chunk file needs a plug-in that keeps its state as chunks.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "framework/Base64.h"
#include "framework/IPlugBase.h"

namespace
{
// File magics and kinds, as their four ASCII characters read big-endian.
constexpr uint32_t FourCC(char const (&s)[5])
{
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
         (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}
constexpr uint32_t kCcnK = FourCC("CcnK");
constexpr uint32_t kFxCk = FourCC("FxCk");
constexpr uint32_t kFPCh = FourCC("FPCh");
constexpr uint32_t kFxBk = FourCC("FxBk");
constexpr uint32_t kFBCh = FourCC("FBCh");

// Layout of a program (.fxp) and a bank (.fxb).
constexpr int kNameLen = 28;          // 27 characters and a terminator
constexpr int kProgramHeader = 56;    // up to the parameter values
constexpr int kProgramChunkData = 60; // after the chunk size
constexpr int kBankHeader = 156;      // up to the first program record
constexpr int kBankChunkData = 160;
constexpr int kBankReserved = 124;

// Files beyond this are not presets; refusing them early keeps reads and sizes sane.
constexpr long kMaxFileSize = 64L << 20;

// Big-endian writer over a ByteChunk. ByteChunk itself is little-endian, so bytes go in one by one.
class BEWriter
{
public:
  explicit BEWriter(ByteChunk* pChunk) : mChunk(pChunk) {}
  void U32(uint32_t v)
  {
    unsigned char b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    Bytes(b, 4);
  }
  void I32(int v) { U32(static_cast<uint32_t>(v)); }
  void F32(float f)
  {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    U32(bits);
  }
  void Name(char const* name)
  {
    char field[kNameLen] = {};
    if (name)
    {
      size_t const n = strnlen(name, kNameLen - 1);
      std::memcpy(field, name, n);
    }
    Bytes(field, kNameLen);
  }
  void Zeros(int n)
  {
    static unsigned char const zeros[256] = {};
    while (n > 0)
    {
      int const k = n < 256 ? n : 256;
      Bytes(zeros, k);
      n -= k;
    }
  }
  void Bytes(void const* p, int n)
  {
    if (mOK && n > 0 && mChunk->PutBytes(p, n) == 0) mOK = false;
  }
  bool OK() const { return mOK; }

private:
  ByteChunk* mChunk;
  bool mOK = true;
};

// Bounds-checked big-endian reads from a file image; every read outside the image fails.
class BEReader
{
public:
  BEReader(unsigned char const* data, int size) : mData(data), mSize(size) {}
  bool Has(int pos, int n) const { return pos >= 0 && n >= 0 && pos <= mSize && n <= mSize - pos; }
  bool U32(int pos, uint32_t* v) const
  {
    if (!Has(pos, 4)) return false;
    unsigned char const* p = mData + pos;
    *v = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    return true;
  }
  bool I32(int pos, int* v) const
  {
    uint32_t u;
    if (!U32(pos, &u)) return false;
    *v = static_cast<int>(u);
    return true;
  }
  bool F32(int pos, float* f) const
  {
    uint32_t u;
    if (!U32(pos, &u)) return false;
    std::memcpy(f, &u, 4);
    return true;
  }
  // The NUL-terminated name field at pos (at most kNameLen characters).
  bool Name(int pos, WDL_String* name) const
  {
    if (!Has(pos, kNameLen)) return false;
    char const* p = reinterpret_cast<char const*>(mData + pos);
    name->Set(p, static_cast<int>(strnlen(p, kNameLen)));
    return true;
  }
  unsigned char const* At(int pos) const { return mData + pos; }
  int Size() const { return mSize; }

private:
  unsigned char const* mData;
  int mSize;
};

// Reads a whole file in binary mode; false when it cannot be opened or read, or is too large.
bool ReadWholeFile(char const* path, WDL_HeapBuf* pBuf)
{
  FILE* fp = std::fopen(path, "rb");
  if (!fp) return false;
  bool ok = false;
  if (std::fseek(fp, 0, SEEK_END) == 0)
  {
    long const size = std::ftell(fp);
    if (size >= 0 && size <= kMaxFileSize && std::fseek(fp, 0, SEEK_SET) == 0 &&
        pBuf->Resize(static_cast<int>(size)))
    {
      ok = size == 0 ||
           std::fread(pBuf->Get(), 1, static_cast<size_t>(size), fp) == static_cast<size_t>(size);
    }
  }
  std::fclose(fp);
  return ok;
}

// Writes the bytes to a new file beside path and renames it over path, so that a failed save
// leaves any existing file as it was. The new file gets the usual permissions (0666 less umask).
bool WriteFileReplacing(char const* path, void const* data, int size)
{
  static std::atomic<unsigned> sCounter{0};
  char tmp[PATH_MAX];
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt)
  {
    int const n = std::snprintf(tmp, sizeof tmp, "%s.tmp-%ld-%u", path, static_cast<long>(getpid()),
                                sCounter.fetch_add(1));
    if (n < 0 || n >= static_cast<int>(sizeof tmp)) return false;
    fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = true;
  auto const* p = static_cast<unsigned char const*>(data);
  for (int left = size; ok && left > 0;)
  {
    ssize_t const w = write(fd, p, static_cast<size_t>(left));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0)
      ok = false;
    else
    {
      p += w;
      left -= static_cast<int>(w);
    }
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(tmp, path) != 0) ok = false;
  if (!ok) unlink(tmp);
  return ok;
}
} // namespace

namespace
{
// Everything a failed load has to put back: the live state, every slot and the current index.
class StateSnapshot
{
public:
  explicit StateSnapshot(IPlugBase* pPlug) : mPlug(pPlug), mCurrentIdx(pPlug->GetCurrentPresetIdx())
  {
    mPlug->SerializeState(&mLive);
    mPresets.reserve(static_cast<size_t>(mPlug->NPresets()));
    for (int i = 0; i < mPlug->NPresets(); ++i) mPresets.push_back(*mPlug->GetPreset(i));
  }

  // Slots as they were; then the live state, which also tells the product (OnParamChange).
  // Returns the current index the caller must put back.
  int Restore()
  {
    for (int i = 0; i < mPlug->NPresets() && i < static_cast<int>(mPresets.size()); ++i)
      *mPlug->GetPreset(i) = mPresets[static_cast<size_t>(i)];
    mPlug->UnserializeState(&mLive, 0);
    return mCurrentIdx;
  }

private:
  IPlugBase* mPlug;
  int mCurrentIdx;
  ByteChunk mLive;
  std::vector<IPreset> mPresets;
};

// A normalised value read from a file, made safe for SetNormalized (which does not clamp below
// and must never see NaN). False for a value to skip.
bool SaneNormalized(float f, double* pValue)
{
  double const v = f;
  if (!std::isfinite(v)) return false;
  *pValue = v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
  return true;
}

// The normalised value a regular bank record stores for a plain value from a slot's chunk.
float StoredNormalized(IParam const* pParam, double plain)
{
  if (!std::isfinite(plain)) plain = 0.0;
  double const n = pParam->GetNormalized(plain);
  return std::isfinite(n) ? static_cast<float>(n) : 0.0f;
}

// The S bytes that follow the 32-bit size S at sizePos; false when S is negative or runs past
// the end of the file.
bool ReadEmbeddedChunk(BEReader const& r, int sizePos, ByteChunk* pChunk)
{
  int size = 0;
  if (!r.I32(sizePos, &size) || size < 0 || !r.Has(sizePos + 4, size)) return false;
  pChunk->Clear();
  return size == 0 || pChunk->PutBytes(r.At(sizePos + 4), size) == size;
}

// Appends text, escaping what would end a C string literal early.
void AppendQuoted(WDL_String* pOut, char const* text)
{
  for (char const* p = text; *p; ++p)
  {
    if (*p == '"' || *p == '\\') pOut->Append("\\", 1);
    pOut->Append(p, 1);
  }
}

// One "MakePresetFromBlob(name, base64, size);" line.
void AppendBlobLine(WDL_String* pOut, char const* name, ByteChunk const& chunk)
{
  pOut->Append("MakePresetFromBlob(\"");
  AppendQuoted(pOut, name);
  pOut->Append("\", \"");
  WDL_String blob;
  if (chunk.Size() > 0) Base64Encode(chunk.GetBytes(), chunk.Size(), &blob);
  pOut->Append(blob.Get());
  pOut->AppendFormatted(32, "\", %i);\n", chunk.Size());
}

// Writes a dump in text mode; a file that cannot be opened gets nothing.
void WriteText(char const* path, WDL_String const& text)
{
  if (!path) return;
  FILE* fp = std::fopen(path, "w");
  if (!fp) return;
  std::fwrite(text.Get(), 1, static_cast<size_t>(text.GetLength()), fp);
  std::fclose(fp);
}
} // namespace

// ---- Dumps --------------------------------------------------------------------------------

void IPlugBase::DumpPresetSrcCode(char const* file, char const* paramEnumNames[])
{
  WDL_MutexLock lock(&mMutex);
  WDL_String out;
  int const n = NParams();
  out.SetFormatted(128, "  MakePresetFromNamedParams(\"name\", %d", n);
  for (int i = 0; i < n; ++i)
  {
    IParam const* pParam = GetParam(i);
    char value[64];
    switch (pParam->Type())
    {
    case IParam::kTypeBool:
      std::snprintf(value, sizeof value, "%s", pParam->Bool() ? "true" : "false");
      break;
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
      std::snprintf(value, sizeof value, "%d", pParam->Int());
      break;
    default:
      detail::FormatFixed(pParam->Value(), 6, value, sizeof value);
      break;
    }
    char const* name = paramEnumNames && paramEnumNames[i] ? paramEnumNames[i] : "";
    out.Append(",\n    ");
    out.Append(name);
    out.Append(", ");
    out.Append(value);
  }
  out.Append(");\n");
  WriteText(file, out);
}

void IPlugBase::DumpPresetBlob(char const* file)
{
  WDL_MutexLock lock(&mMutex);
  IPreset const* pPreset = GetPreset(mCurrentPresetIdx);
  if (!pPreset) return;
  WDL_String out;
  AppendBlobLine(&out, "name", pPreset->mChunk);
  WriteText(file, out);
}

void IPlugBase::DumpBankBlob(char const* file)
{
  WDL_MutexLock lock(&mMutex);
  WDL_String out;
  for (int i = 0; i < NPresets(); ++i)
  {
    IPreset const* pPreset = GetPreset(i);
    AppendBlobLine(&out, pPreset->mName, pPreset->mChunk);
  }
  WriteText(file, out);
}

// ---- Saving -------------------------------------------------------------------------------

bool IPlugBase::SaveProgramAsFXP(WDL_String* pFileName)
{
  if (!pFileName || !pFileName->GetLength()) return false;

  ByteChunk file;
  BEWriter w(&file);
  {
    WDL_MutexLock lock(&mMutex);
    bool const chunks = DoesStateChunks();
    ByteChunk state;
    if (chunks)
    {
      InitChunkWithIPlugVer(&state);
      SerializeState(&state);
    }
    w.U32(kCcnK);
    w.I32(chunks ? state.Size() + kProgramChunkData : 0);
    w.U32(chunks ? kFPCh : kFxCk);
    w.I32(1);
    w.I32(GetUniqueID());
    w.I32(GetEffectVersion(true));
    w.I32(NParams());
    w.Name(GetPresetName(mCurrentPresetIdx));
    if (chunks)
    {
      w.I32(state.Size());
      w.Bytes(state.GetBytes(), state.Size());
    }
    else
    {
      for (int i = 0; i < NParams(); ++i) w.F32(static_cast<float>(GetParam(i)->GetNormalized()));
    }
  }
  return w.OK() && WriteFileReplacing(pFileName->Get(), file.GetBytes(), file.Size());
}

bool IPlugBase::SaveBankAsFXB(WDL_String* pFileName)
{
  if (!pFileName || !pFileName->GetLength()) return false;

  ByteChunk file;
  BEWriter w(&file);
  {
    WDL_MutexLock lock(&mMutex);
    bool const chunks = DoesStateChunks();
    ByteChunk bank;
    if (chunks)
    {
      // The slots as stored: the live state is not folded into the current slot first.
      InitChunkWithIPlugVer(&bank);
      SerializePresets(&bank);
    }
    w.U32(kCcnK);
    w.I32(chunks ? bank.Size() + kBankChunkData : 0);
    w.U32(chunks ? kFBCh : kFxBk);
    w.I32(2);
    w.I32(GetUniqueID());
    w.I32(GetEffectVersion(true));
    w.I32(NPresets());
    w.I32(mCurrentPresetIdx);
    w.Zeros(kBankReserved);
    if (chunks)
    {
      w.I32(bank.Size());
      w.Bytes(bank.GetBytes(), bank.Size());
    }
    else
    {
      for (int i = 0; i < NPresets(); ++i)
      {
        IPreset const* pPreset = GetPreset(i);
        w.U32(kCcnK);
        w.I32(0);
        w.U32(kFxCk);
        w.I32(1);
        w.I32(GetUniqueID());
        w.I32(GetEffectVersion(true));
        w.I32(NParams());
        w.Name(pPreset->mName);
        // The slot's stored plain values; once they run out, 0.0 stands for the rest.
        int pos = 0;
        for (int j = 0; j < NParams(); ++j)
        {
          double v = 0.0; // a failed read leaves it
          if (pos >= 0) pos = pPreset->mChunk.Get(&v, pos);
          w.F32(StoredNormalized(GetParam(j), v));
        }
      }
    }
  }
  return w.OK() && WriteFileReplacing(pFileName->Get(), file.GetBytes(), file.Size());
}

// ---- Loading ------------------------------------------------------------------------------

bool IPlugBase::LoadProgramFromFXP(WDL_String* pFileName)
{
  if (!pFileName || !pFileName->GetLength()) return false;
  WDL_HeapBuf buf;
  if (!ReadWholeFile(pFileName->Get(), &buf)) return false;
  BEReader const r(static_cast<unsigned char const*>(buf.Get()), buf.GetSize());

  uint32_t magic = 0, kind = 0;
  int version = 0, id = 0, nStored = 0;
  WDL_String name;
  if (!r.U32(0, &magic) || magic != kCcnK || !r.U32(8, &kind) || !r.I32(12, &version) ||
      version != 1 || !r.I32(16, &id) || id != GetUniqueID() || !r.I32(24, &nStored) ||
      !r.Name(28, &name))
    return false;

  WDL_MutexLock lock(&mMutex);
  if (kind == kFPCh && DoesStateChunks())
  {
    ByteChunk chunk;
    if (!ReadEmbeddedChunk(r, kProgramHeader, &chunk)) return false;
    int pos = 0;
    GetIPlugVerFromChunk(&chunk, &pos); // skips the version header when there is one
    if (pos < 0) return false;
    // The product's state format is its own: try it, and put everything back if it fails.
    StateSnapshot before(this);
    if (UnserializeState(&chunk, pos) < 0)
    {
      mCurrentPresetIdx = before.Restore();
      RedrawParamControls();
      return false;
    }
  }
  else if (kind == kFxCk)
  {
    // Values for the parameters both sides know; the file must hold every one it claims to
    // give us. Parameters beyond the file's count keep their values.
    if (nStored < 0 || kProgramHeader + 4LL * nStored > r.Size()) return false;
    int const n = nStored < NParams() ? nStored : NParams();
    for (int i = 0; i < n; ++i)
    {
      float f = 0.0f;
      double v;
      r.F32(kProgramHeader + 4 * i, &f);
      if (SaneNormalized(f, &v)) GetParam(i)->SetNormalized(v);
    }
  }
  else
  {
    return false; // a chunk program for a plug-in without chunks, or no program at all
  }

  ModifyCurrentPreset(name.Get());
  // Restoring the current slot tells the product about every parameter. Without any slot
  // there is nothing to restore, so tell it directly.
  if (!RestorePreset(mCurrentPresetIdx)) OnParamReset();
  InformHostOfProgramChange();
  return true;
}

bool IPlugBase::LoadBankFromFXB(WDL_String* pFileName)
{
  if (!pFileName || !pFileName->GetLength()) return false;
  WDL_HeapBuf buf;
  if (!ReadWholeFile(pFileName->Get(), &buf)) return false;
  BEReader const r(static_cast<unsigned char const*>(buf.Get()), buf.GetSize());

  uint32_t magic = 0, kind = 0;
  int id = 0, nStored = 0, storedIdx = 0;
  if (!r.U32(0, &magic) || magic != kCcnK || !r.U32(8, &kind) || !r.I32(16, &id) ||
      id != GetUniqueID() || !r.I32(24, &nStored) || !r.I32(28, &storedIdx) ||
      !r.Has(0, kBankHeader))
    return false;

  WDL_MutexLock lock(&mMutex);
  if (kind == kFBCh && DoesStateChunks())
  {
    ByteChunk chunk;
    if (!ReadEmbeddedChunk(r, kBankHeader, &chunk)) return false;
    int pos = 0;
    GetIPlugVerFromChunk(&chunk, &pos);
    if (pos < 0) return false;
    StateSnapshot before(this);
    if (UnserializePresets(&chunk, pos) < 0)
    {
      mCurrentPresetIdx = before.Restore();
      RedrawParamControls();
      return false;
    }
    // The bank chunk does not carry the current slot; the file header does, as in a regular bank.
    if (storedIdx != mCurrentPresetIdx && GetPreset(storedIdx)) RestorePreset(storedIdx);
    InformHostOfProgramChange();
    return true;
  }
  if (kind != kFxBk || nStored < 0) return false;

  // Check every record this plug-in will take before touching anything. Records for slots it
  // does not have are ignored.
  int const nParams = NParams();
  int const nLoad = nStored < NPresets() ? nStored : NPresets();
  long long const recordSize = kProgramHeader + 4LL * nParams;
  if (kBankHeader + recordSize * nLoad > r.Size()) return false;
  for (int k = 0; k < nLoad; ++k)
  {
    int const at = kBankHeader + static_cast<int>(recordSize) * k;
    uint32_t recMagic = 0, recKind = 0;
    int recVersion = 0, recParams = 0;
    r.U32(at, &recMagic);
    r.U32(at + 8, &recKind);
    r.I32(at + 12, &recVersion);
    r.I32(at + 24, &recParams);
    if (recMagic != kCcnK || recKind != kFxCk || recVersion != 1 || recParams != nParams)
      return false;
  }

  for (int k = 0; k < nLoad; ++k)
  {
    int const at = kBankHeader + static_cast<int>(recordSize) * k;
    RestorePreset(k);
    for (int i = 0; i < nParams; ++i)
    {
      float f = 0.0f;
      double v;
      r.F32(at + kProgramHeader + 4 * i, &f);
      if (SaneNormalized(f, &v)) GetParam(i)->SetNormalized(v);
    }
    // Slot k takes the live state and the record's name. Written directly rather than through
    // the current slot, which is k only when restoring it succeeded.
    WDL_String name;
    r.Name(at + 28, &name);
    IPreset* pPreset = GetPreset(k);
    pPreset->mInitialized = true;
    pPreset->mChunk.Clear();
    SerializeState(&pPreset->mChunk);
    if (name.GetLength()) pPreset->SetName(name.Get());
  }

  if (!RestorePreset(storedIdx) && !RestorePreset(mCurrentPresetIdx)) OnParamReset();
  InformHostOfProgramChange();
  return true;
}
