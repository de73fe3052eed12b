// Preset files and preset dumps.
//
// The plug-in can write its current program as a VST 2 preset file (.fxp) and all its slots as a
// bank file (.fxb), read both back, and print presets as source lines a developer pastes into a
// product's constructor. Hosts never reach any of this; it serves tools and developers.
//
// The file layouts and their checks are the preset-file library's (framework/fxfile); this file
// decides what a file means to the plug-in.
//
// Saving writes a new file beside the target and renames it into place, so a failed save never
// destroys the file it was replacing.
//
// Loading reads the whole file and applies it under the plug-in lock; the host hears of it after
// the lock is let go. Whatever the bytes, a rejected file leaves the plug-in exactly as it was:
// headers, counts, sizes and every bank record are checked before anything changes, and an embedded
// chunk (whose format is the product's own) is tried and undone if its reader fails. What is
// accepted:
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
#include <string>
#include <vector>

#include "framework/Base64.h"
#include "framework/IPlugBase.h"
#include "framework/fxfile/FxFile.h"

namespace
{
// Files beyond this are not presets; refusing them early keeps reads and sizes sane.
constexpr size_t kMaxFileSize = size_t(64) << 20;

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

// A file's chunk bytes as a ByteChunk; false when there is no room for them.
bool ToChunk(std::vector<unsigned char> const& bytes, ByteChunk* pChunk)
{
  int const size = static_cast<int>(bytes.size());
  pChunk->Clear();
  return size == 0 || pChunk->PutBytes(bytes.data(), size) == size;
}

// Reads and parses a preset or bank file; of a regular bank at most maxBankPrograms records.
bool ReadPresetFile(WDL_String const* pFileName, FxFile* pFile, size_t maxBankPrograms)
{
  if (!pFileName || !pFileName->GetLength()) return false;
  std::vector<unsigned char> bytes;
  std::string error;
  return ReadFileBytes(pFileName->Get(), bytes, error, kMaxFileSize) &&
         ParseFxFile(bytes, *pFile, error, maxBankPrograms);
}

// Writes the file's bytes over path (see WriteFileReplacing).
bool WritePresetFile(WDL_String const* pFileName, FxFile const& file)
{
  std::vector<unsigned char> bytes;
  return WriteFxFile(file, bytes) &&
         WriteFileReplacing(pFileName->Get(), bytes.data(), static_cast<int>(bytes.size()));
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

  FxFile file;
  {
    WDL_MutexLock lock(&mMutex);
    file.mPluginId = GetUniqueID();
    file.mPluginVersion = GetEffectVersion(true);
    file.mProgram.mName = GetPresetName(mCurrentPresetIdx);
    if (DoesStateChunks())
    {
      ByteChunk state;
      InitChunkWithIPlugVer(&state);
      SerializeState(&state);
      file.mKind = FxFile::kProgramChunk;
      file.mCount = NParams();
      file.mChunk.assign(state.GetBytes(), state.GetBytes() + state.Size());
    }
    else
    {
      file.mKind = FxFile::kProgramValues;
      for (int i = 0; i < NParams(); ++i)
        file.mProgram.mValues.push_back(static_cast<float>(GetParam(i)->GetNormalized()));
    }
  }
  return WritePresetFile(pFileName, file);
}

bool IPlugBase::SaveBankAsFXB(WDL_String* pFileName)
{
  if (!pFileName || !pFileName->GetLength()) return false;

  FxFile file;
  {
    WDL_MutexLock lock(&mMutex);
    file.mPluginId = GetUniqueID();
    file.mPluginVersion = GetEffectVersion(true);
    file.mCurrentProgram = mCurrentPresetIdx;
    if (DoesStateChunks())
    {
      // The slots as stored: the live state is not folded into the current slot first.
      ByteChunk bank;
      InitChunkWithIPlugVer(&bank);
      SerializePresets(&bank);
      file.mKind = FxFile::kBankChunk;
      file.mCount = NPresets();
      file.mChunk.assign(bank.GetBytes(), bank.GetBytes() + bank.Size());
    }
    else
    {
      file.mKind = FxFile::kBankValues;
      file.mBank.resize(static_cast<size_t>(NPresets()));
      for (int i = 0; i < NPresets(); ++i)
      {
        IPreset const* pPreset = GetPreset(i);
        FxProgram& program = file.mBank[static_cast<size_t>(i)];
        program.mName = pPreset->mName;
        // The slot's stored plain values; once they run out, 0.0 stands for the rest.
        int pos = 0;
        for (int j = 0; j < NParams(); ++j)
        {
          double v = 0.0; // a failed read leaves it
          if (pos >= 0) pos = pPreset->mChunk.Get(&v, pos);
          program.mValues.push_back(StoredNormalized(GetParam(j), v));
        }
      }
    }
  }
  return WritePresetFile(pFileName, file);
}

// ---- Loading ------------------------------------------------------------------------------

bool IPlugBase::LoadProgramFromFXP(WDL_String* pFileName)
{
  FxFile file;
  if (!ReadPresetFile(pFileName, &file, 0) || file.mVersion != kFxProgramVersion ||
      file.mPluginId != GetUniqueID())
    return false;

  {
    WDL_MutexLock lock(&mMutex);
    if (file.mKind == FxFile::kProgramChunk && DoesStateChunks())
    {
      ByteChunk chunk;
      if (!ToChunk(file.mChunk, &chunk)) return false;
      int pos = 0;
      GetIPlugVerFromChunk(&chunk, &pos); // skips the version header when there is one
      if (pos < 0) return false;
      // The product's state format is its own: try it, and put everything back if it fails.
      StateSnapshot before(this);
      if (!before.Ok()) return false;
      if (UnserializeState(&chunk, pos) < 0)
      {
        before.Restore();
        return false;
      }
    }
    else if (file.mKind == FxFile::kProgramValues)
    {
      // Values for the parameters both sides know; parameters beyond the file's count keep
      // their values.
      std::vector<float> const& values = file.mProgram.mValues;
      int const n =
          static_cast<int>(values.size()) < NParams() ? static_cast<int>(values.size()) : NParams();
      for (int i = 0; i < n; ++i)
      {
        double v;
        if (SaneNormalized(values[static_cast<size_t>(i)], &v)) GetParam(i)->SetNormalized(v);
      }
    }
    else
    {
      return false; // a chunk program for a plug-in without chunks, or no program at all
    }

    ModifyCurrentPreset(file.mProgram.mName.c_str());
    // Restoring the current slot tells the product about every parameter. Without any slot
    // there is nothing to restore, so tell it directly.
    if (!RestorePreset(mCurrentPresetIdx)) OnParamReset();
  }
  InformHostOfProgramChange();
  return true;
}

bool IPlugBase::LoadBankFromFXB(WDL_String* pFileName)
{
  FxFile file;
  // Records for slots this plug-in does not have are not looked at.
  if (!ReadPresetFile(pFileName, &file, static_cast<size_t>(NPresets())) ||
      file.mPluginId != GetUniqueID())
    return false;

  {
    WDL_MutexLock lock(&mMutex);
    if (file.mKind == FxFile::kBankChunk && DoesStateChunks())
    {
      ByteChunk chunk;
      if (!ToChunk(file.mChunk, &chunk)) return false;
      int pos = 0;
      GetIPlugVerFromChunk(&chunk, &pos);
      if (pos < 0) return false;
      StateSnapshot before(this);
      if (!before.Ok()) return false;
      if (UnserializePresets(&chunk, pos) < 0)
      {
        before.Restore();
        return false;
      }
      // The bank chunk does not carry the current slot; the file header does, as in a regular
      // bank.
      int const storedIdx = file.mCurrentProgram;
      if (storedIdx != mCurrentPresetIdx && GetPreset(storedIdx)) RestorePreset(storedIdx);
    }
    else if (file.mKind == FxFile::kBankValues)
    {
      // Every record this plug-in takes must be a program of its parameters before anything
      // changes.
      int const nParams = NParams();
      int const nLoad = static_cast<int>(file.mBank.size()) < NPresets()
                            ? static_cast<int>(file.mBank.size())
                            : NPresets();
      for (int k = 0; k < nLoad; ++k)
      {
        FxProgram const& record = file.mBank[static_cast<size_t>(k)];
        if (record.mVersion != kFxProgramVersion ||
            record.mValues.size() != static_cast<size_t>(nParams))
          return false;
      }

      for (int k = 0; k < nLoad; ++k)
      {
        FxProgram const& record = file.mBank[static_cast<size_t>(k)];
        RestorePreset(k);
        for (int i = 0; i < nParams; ++i)
        {
          double v;
          if (SaneNormalized(record.mValues[static_cast<size_t>(i)], &v))
            GetParam(i)->SetNormalized(v);
        }
        // Slot k takes the live state and the record's name. Written directly rather than
        // through the current slot, which is k only when restoring it succeeded.
        IPreset* pPreset = GetPreset(k);
        pPreset->mInitialized = true;
        pPreset->mChunk.Clear();
        SerializeState(&pPreset->mChunk);
        if (!record.mName.empty()) pPreset->SetName(record.mName.c_str());
      }

      if (!RestorePreset(file.mCurrentProgram) && !RestorePreset(mCurrentPresetIdx)) OnParamReset();
    }
    else
    {
      return false; // a chunk bank for a plug-in without chunks, or no bank at all
    }
  }
  InformHostOfProgramChange();
  return true;
}
