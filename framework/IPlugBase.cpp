// IPlugBase: construction, channels, the processing frame, parameter flow and identity.
// State chunks and presets are in IPlugBaseState.cpp, preset files in IPlugBasePresetFiles.cpp.

#include "framework/IPlugBase.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <xmmintrin.h>

#include "framework/Log.h"
#include "graphics/IGraphics.h"

namespace
{
// Reads a decimal int like "%d" (leading blanks, optional sign), saturating instead of
// overflowing. Returns the position after the number, or null when there is none.
char const* ScanInt(char const* p, int* pValue)
{
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  char* end = nullptr;
  errno = 0;
  long const v = std::strtol(p, &end, 10);
  if (end == p) return nullptr;
  *pValue = static_cast<int>(std::clamp(v, static_cast<long>(INT_MIN), static_cast<long>(INT_MAX)));
  return end;
}

// The channel range first .. first + count - 1 cut to 0 .. size - 1, as [begin, end).
void ClipRange(int first, int count, int size, int* pBegin, int* pEnd)
{
  long long const end =
      std::min(static_cast<long long>(first) + count, static_cast<long long>(size));
  *pBegin = std::max(first, 0);
  *pEnd = static_cast<int>(std::max(end, static_cast<long long>(*pBegin)));
}

void FillZero(double* p, int n)
{
  if (p && n > 0) std::memset(p, 0, static_cast<size_t>(n) * sizeof(double));
}

// The floating-point mode of one audio callback. Hosts run their audio threads with whatever
// they like (flush-to-zero, denormals-are-zero, another rounding); the product and the float
// conversions run in the standard mode (round to nearest, subnormals kept, exceptions masked)
// so that the output does not depend on the host, and the host gets its own mode back exactly.
class StandardFloatMode
{
public:
  static constexpr unsigned kStandard = 0x1F80;
  // The caller's word is put back whole, its exception flags included.
  StandardFloatMode() : mSaved(_mm_getcsr()) { _mm_setcsr(kStandard); }
  ~StandardFloatMode() { _mm_setcsr(mSaved); }
  StandardFloatMode(StandardFloatMode const&) = delete;
  StandardFloatMode& operator=(StandardFloatMode const&) = delete;

private:
  unsigned mSaved;
};

// A subnormal float as a zero of its sign: hosts that flush and hosts that do not must receive
// the same bits, and no host should have to process subnormals it did not make.
inline float FlushSubnormal(float f)
{
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  if ((bits & 0x7F800000u) == 0) bits &= 0x80000000u;
  std::memcpy(&f, &bits, sizeof bits);
  return f;
}
} // namespace

IPlugBase::IPlugBase(int nParams, char const* channelIOStr, int nPresets, char const* effectName,
                     char const* productName, char const* mfrName, int vendorVersion, int uniqueID,
                     int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks,
                     bool plugIsInst, EAPI plugAPI)
    : mUniqueID(uniqueID), mMfrID(mfrID), mVersion(vendorVersion), mAPI(plugAPI),
      mStateChunks(plugDoesChunks), mIsInst(plugIsInst), mDoesMIDI(plugDoesMidi), mLatency(latency)
{
  for (int i = 0; i < nParams; ++i)
  {
    IParam* p = new IParam;
    if (!mParams.Add(p)) delete p;
  }
  for (int i = 0; i < nPresets; ++i)
  {
    IPreset* p = new IPreset;
    if (!mPresets.Add(p)) delete p;
  }

  detail::CopyBounded(mEffectName, effectName, kMaxEffectNameLen);
  detail::CopyBounded(mProductName, productName, kMaxEffectNameLen);
  detail::CopyBounded(mMfrName, mfrName, kMaxEffectNameLen);

  // "1-1 2-2": one configuration per token; the channel counts are the maxima over all tokens.
  int nInputs = 0, nOutputs = 0;
  for (char const* token = channelIOStr; token;)
  {
    int in = 0, out = 0;
    char const* p = ScanInt(token, &in);
    if (p && *p == '-') ScanInt(p + 1, &out);
    ChannelIO* io = new ChannelIO{in, out};
    if (!mChannelIO.Add(io)) delete io;
    nInputs = std::max(nInputs, in);
    nOutputs = std::max(nOutputs, out);
    token = std::strchr(token, ' ');
    if (token) ++token;
  }

  mInData.Resize(nInputs);
  mOutData.Resize(nOutputs);
  nInputs = mInData.GetSize();
  nOutputs = mOutData.GetSize();
  for (int i = 0; i < nInputs; ++i) mInData.Get()[i] = nullptr;
  for (int i = 0; i < nOutputs; ++i) mOutData.Get()[i] = nullptr;

  for (int i = 0; i < nInputs; ++i)
  {
    InChannel* ch = new InChannel;
    ch->mSrc = mInData.Get() + i;
    if (!mInChannels.Add(ch)) delete ch;
  }
  for (int i = 0; i < nOutputs; ++i)
  {
    OutChannel* ch = new OutChannel;
    ch->mDest = mOutData.Get() + i;
    if (!mOutChannels.Add(ch)) delete ch;
  }

  Trace("IPlugBase", __LINE__, "%s:%s", mEffectName, CurrentTime());
}

IPlugBase::~IPlugBase()
{
  delete mGraphics;
  mGraphics = nullptr;
  mParams.Empty(true);
  mPresets.Empty(true);
  mInChannels.Empty(true);
  mOutChannels.Empty(true);
  mChannelIO.Empty(true);
  mInputBusLabels.Empty(true);
  mOutputBusLabels.Empty(true);
}

// ---- Virtual operations with base behaviour --------------------------------------------------

void IPlugBase::Reset()
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::OnParamChange(int)
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::OnActivate(bool)
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  int const nIn = NInChannels(), nOut = NOutChannels();
  int const nThrough = std::min(nIn, nOut);
  for (int i = 0; i < nOut; ++i)
  {
    double* out = outputs[i];
    if (!out || nFrames <= 0) continue;
    if (i < nThrough && inputs[i])
    {
      if (inputs[i] != out)
        std::memmove(out, inputs[i], static_cast<size_t>(nFrames) * sizeof(double));
    }
    else
      FillZero(out, nFrames);
  }
}

void IPlugBase::ProcessMidiMsg(IMidiMsg* pMsg)
{
  SendMidiMsg(pMsg);
}

bool IPlugBase::MidiNoteName(int, char* rName)
{
  if (rName) *rName = 0;
  return false;
}

void IPlugBase::SetParameterFromGUI(int idx, double normalizedValue)
{
  Trace("SetParameterFromGUI", __LINE__, "%d:%f", idx, normalizedValue);
  IParam* param = GetParam(idx);
  if (!param || !std::isfinite(normalizedValue)) return;
  {
    WDL_MutexLock lock(&mMutex);
    param->SetNormalized(normalizedValue);
    OnParamChange(idx);
  }
  // Told once the lock is let go: the host may answer on a thread that needs it.
  InformHostOfParamChange(idx, normalizedValue);
}

bool IPlugBase::SetParameterFromHost(int idx, double value)
{
  IParam* param = GetParam(idx);
  if (!param || std::isnan(value)) return false;
  double const lo = param->GetMin(), hi = param->GetMax();
  value = value < lo ? lo : value > hi ? hi : value;
  if (mGraphics) mGraphics->SetParameterFromPlug(idx, value, false);
  param->Set(value);
  OnParamChange(idx);
  return true;
}

void IPlugBase::AttachGraphics(IGraphics* pGraphics)
{
  if (!pGraphics) return;
  WDL_MutexLock lock(&mMutex);
  for (int i = 0, n = NParams(); i < n; ++i)
    pGraphics->SetParameterFromPlug(i, GetParam(i)->GetNormalized(), true);
  pGraphics->PrepDraw();
  if (mGraphics != pGraphics) delete mGraphics;
  mGraphics = pGraphics;
}

void IPlugBase::RequestEditorSize(int w, int h)
{
  if (mGraphics) mGraphics->EditorSizeAnswered(w, h, false);
}

size_t IPlugBase::GetFileForHost(char* buf, size_t cap) const
{
  if (cap) buf[0] = '\0';
  return 0;
}

void IPlugBase::SetFileFromGUI(char const* path)
{
  if (!path) return;
  WDL_MutexLock lock(&mMutex);
  SetFileFromHost(path, std::strlen(path));
}

void IPlugBase::SetLatency(int samples)
{
  mLatency = samples;
}

void IPlugBase::RedrawParamControls()
{
  if (!mGraphics) return;
  for (int i = 0, n = NParams(); i < n; ++i)
    mGraphics->SetParameterFromPlug(i, GetParam(i)->Value(), false);
}

void IPlugBase::SetBlockSize(int blockSize)
{
  blockSize = std::max(blockSize, 0);
  if (blockSize == mBlockSize) return;

  bool ok = true;
  for (int i = 0, n = NInChannels(); i < n && ok; ++i)
    ok = mInChannels.Get(i)->mScratchBuf.Resize(blockSize, true);
  for (int i = 0, n = NOutChannels(); i < n && ok; ++i)
    ok = mOutChannels.Get(i)->mScratchBuf.Resize(blockSize, true);
  if (!ok)
  {
    // All or nothing: buffers of mixed sizes would break the frame's promise.
    for (int i = 0, n = NInChannels(); i < n; ++i) mInChannels.Get(i)->mScratchBuf.Resize(0, true);
    for (int i = 0, n = NOutChannels(); i < n; ++i)
      mOutChannels.Get(i)->mScratchBuf.Resize(0, true);
    blockSize = 0;
  }
  mBlockSize = blockSize;
  ZeroScratchBuffers();

  // A disconnected channel's slot follows its (possibly moved) scratch buffer.
  for (int i = 0, n = NInChannels(); i < n; ++i)
  {
    InChannel* ch = mInChannels.Get(i);
    if (!ch->mConnected) *ch->mSrc = ch->mScratchBuf.Get();
  }
  for (int i = 0, n = NOutChannels(); i < n; ++i)
  {
    OutChannel* ch = mOutChannels.Get(i);
    if (!ch->mConnected) *ch->mDest = ch->mScratchBuf.Get();
  }
}

// ---- Identity --------------------------------------------------------------------------------

int IPlugBase::GetEffectVersion(bool decimal) const
{
  return decimal ? GetDecimalVersion(mVersion) : mVersion;
}

void IPlugBase::GetEffectVersionStr(char* rVersionStr) const
{
  GetVersionStr(mVersion, rVersionStr);
}

int IPlugBase::GetHostVersion(bool decimal)
{
  GetHost();
  int const version = HostVersionOf(mHostIdentity.load(std::memory_order_acquire));
  return decimal ? GetDecimalVersion(version) : version;
}

void IPlugBase::GetHostVersionStr(char* rVersionStr)
{
  GetHost();
  GetVersionStr(HostVersionOf(mHostIdentity.load(std::memory_order_acquire)), rVersionStr);
}

void IPlugBase::SetHost(char const* host, int version)
{
  EHost const code = LookUpHost(host);
  mHostIdentity.store(PackHost(code, version), std::memory_order_release);
  char versionStr[kVersionStrLen];
  GetVersionStr(version, versionStr);
  Trace("SetHost", __LINE__, "host_%sknown:%s:%s", code == kHostUnknown ? "un" : "",
        host ? host : "", versionStr);
}

char const* IPlugBase::GetAPIString()
{
  switch (GetAPI())
  {
  case kAPIVST2:
    return "VST2";
  case kAPIVST3:
    return "VST3";
  case kAPIAU:
    return "AU";
  case kAPIRTAS:
    return "RTAS";
  case kAPIAAX:
    return "AAX";
  case kAPISA:
    return "Standalone";
  case kAPILV2:
    return "LV2";
  default:
    return "";
  }
}

// ---- Parameters ------------------------------------------------------------------------------

void IPlugBase::DirtyParameters()
{
  // The values are read together under the lock, and sent without it.
  std::vector<double> values(static_cast<size_t>(NParams()));
  {
    WDL_MutexLock lock(&mMutex);
    for (size_t i = 0; i < values.size(); ++i) values[i] = GetParam((int)i)->GetNormalized();
  }
  for (size_t i = 0; i < values.size(); ++i) InformHostOfParamChange((int)i, values[i]);
}

void IPlugBase::OnParamReset()
{
  for (int i = 0, n = NParams(); i < n; ++i) OnParamChange(i);
}

// ---- Channels --------------------------------------------------------------------------------

bool IPlugBase::LegalIO(int nIn, int nOut) const
{
  bool legal = false;
  for (int i = 0, n = mChannelIO.GetSize(); i < n && !legal; ++i)
  {
    ChannelIO const* io = mChannelIO.Get(i);
    legal = (nIn < 0 || nIn == io->mIn) && (nOut < 0 || nOut == io->mOut);
  }
  Trace("LegalIO", __LINE__, "%d:%d:%s", nIn, nOut, legal ? "legal" : "illegal");
  return legal;
}

void IPlugBase::SetInputChannelConnections(int idx, int n, bool connected)
{
  int begin, end;
  ClipRange(idx, n, NInChannels(), &begin, &end);
  for (int i = begin; i < end; ++i)
  {
    InChannel* ch = mInChannels.Get(i);
    ch->mConnected = connected;
    if (!connected)
    {
      // Whatever the host last fed through this channel must not be heard again.
      ch->mHost64 = nullptr;
      ch->mHost32 = nullptr;
      FillZero(ch->mScratchBuf.Get(), ch->mScratchBuf.GetSize());
      *ch->mSrc = ch->mScratchBuf.Get();
    }
  }
}

void IPlugBase::SetOutputChannelConnections(int idx, int n, bool connected)
{
  int begin, end;
  ClipRange(idx, n, NOutChannels(), &begin, &end);
  for (int i = begin; i < end; ++i)
  {
    OutChannel* ch = mOutChannels.Get(i);
    ch->mConnected = connected;
    if (!connected)
    {
      ch->mHost64 = nullptr;
      ch->mFDest = nullptr;
      *ch->mDest = ch->mScratchBuf.Get();
    }
  }
}

void IPlugBase::LimitToStereoIO()
{
  if (NInChannels() > 2) SetInputChannelConnections(2, NInChannels() - 2, false);
  for (int i = 2, n = NOutChannels(); i < n; ++i) mOutChannels.Get(i)->mConnected = true;
}

bool IPlugBase::IsInChannelConnected(int chIdx) const
{
  InChannel const* ch = mInChannels.Get(chIdx);
  return ch && ch->mConnected;
}

bool IPlugBase::IsOutChannelConnected(int chIdx) const
{
  OutChannel const* ch = mOutChannels.Get(chIdx);
  return ch && ch->mConnected;
}

void IPlugBase::SetInputLabel(int idx, char const* label)
{
  if (InChannel* ch = mInChannels.Get(idx)) ch->mLabel.Set(label);
}

void IPlugBase::SetOutputLabel(int idx, char const* label)
{
  if (OutChannel* ch = mOutChannels.Get(idx)) ch->mLabel.Set(label);
}

char const* IPlugBase::GetInputLabel(int idx) const
{
  InChannel const* ch = mInChannels.Get(idx);
  return ch ? ch->mLabel.Get() : "";
}

char const* IPlugBase::GetOutputLabel(int idx) const
{
  OutChannel const* ch = mOutChannels.Get(idx);
  return ch ? ch->mLabel.Get() : "";
}

namespace
{
void SetBusLabel(WDL_PtrList<WDL_String>* labels, int idx, char const* label)
{
  labels->Delete(idx, true);
  WDL_String* s = new WDL_String(label);
  if (!labels->Insert(std::min(idx, labels->GetSize()), s)) delete s;
}
} // namespace

void IPlugBase::SetInputBusLabel(int idx, char const* label)
{
  if (idx == 0 || idx == 1) SetBusLabel(&mInputBusLabels, idx, label);
}

void IPlugBase::SetOutputBusLabel(int idx, char const* label)
{
  if (idx >= 0) SetBusLabel(&mOutputBusLabels, idx, label);
}

char const* IPlugBase::GetInputBusLabel(int idx) const
{
  WDL_String const* s = mInputBusLabels.Get(idx);
  return s ? s->Get() : "";
}

char const* IPlugBase::GetOutputBusLabel(int idx) const
{
  WDL_String const* s = mOutputBusLabels.Get(idx);
  return s ? s->Get() : "";
}

// ---- The processing frame --------------------------------------------------------------------

void IPlugBase::AttachInputBuffers(int idx, int n, double** ppData)
{
  int begin, end;
  ClipRange(idx, n, NInChannels(), &begin, &end);
  for (int i = begin; i < end; ++i)
  {
    InChannel* ch = mInChannels.Get(i);
    if (!ch->mConnected) continue;
    ch->mHost64 = ppData ? *ppData++ : nullptr;
    ch->mHost32 = nullptr;
    *ch->mSrc = ch->mHost64 ? ch->mHost64 : ch->mScratchBuf.Get();
  }
}

void IPlugBase::AttachInputBuffers(int idx, int n, float** ppData, int nFrames)
{
  int begin, end;
  ClipRange(idx, n, NInChannels(), &begin, &end);
  for (int i = begin; i < end; ++i)
  {
    InChannel* ch = mInChannels.Get(i);
    if (!ch->mConnected) continue;
    // The conversion itself happens slice by slice while processing.
    ch->mHost64 = nullptr;
    ch->mHost32 = ppData && nFrames > 0 ? *ppData++ : nullptr;
    *ch->mSrc = ch->mScratchBuf.Get();
  }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, double** ppData)
{
  int begin, end;
  ClipRange(idx, n, NOutChannels(), &begin, &end);
  for (int i = begin; i < end; ++i)
  {
    OutChannel* ch = mOutChannels.Get(i);
    if (!ch->mConnected) continue;
    ch->mHost64 = ppData ? *ppData++ : nullptr;
    ch->mFDest = nullptr;
    *ch->mDest = ch->mHost64 ? ch->mHost64 : ch->mScratchBuf.Get();
  }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, float** ppData)
{
  int begin, end;
  ClipRange(idx, n, NOutChannels(), &begin, &end);
  for (int i = begin; i < end; ++i)
  {
    OutChannel* ch = mOutChannels.Get(i);
    if (!ch->mConnected) continue;
    ch->mHost64 = nullptr;
    ch->mFDest = ppData ? *ppData++ : nullptr;
    *ch->mDest = ch->mScratchBuf.Get();
  }
}

void IPlugBase::PrepareSlice(int offset, int nFrames)
{
  for (int i = 0, n = NInChannels(); i < n; ++i)
  {
    InChannel* ch = mInChannels.Get(i);
    double* scratch = ch->mScratchBuf.Get();
    if (ch->mConnected && ch->mHost64)
      *ch->mSrc = ch->mHost64 + offset;
    else
    {
      if (ch->mConnected)
      {
        if (float const* src = ch->mHost32 ? ch->mHost32 + offset : nullptr)
          for (int s = 0; s < nFrames; ++s) scratch[s] = static_cast<double>(src[s]);
        else
          FillZero(scratch, nFrames); // connected, but the host gave no buffer
      }
      *ch->mSrc = scratch;
    }
  }
  for (int i = 0, n = NOutChannels(); i < n; ++i)
  {
    OutChannel* ch = mOutChannels.Get(i);
    *ch->mDest = ch->mConnected && ch->mHost64 ? ch->mHost64 + offset : ch->mScratchBuf.Get();
  }
}

void IPlugBase::WriteFloatOutputs(int offset, int nFrames, bool accumulate)
{
  for (int i = 0, n = NOutChannels(); i < n; ++i)
  {
    OutChannel* ch = mOutChannels.Get(i);
    if (!ch->mConnected || !ch->mFDest) continue;
    double const* src = ch->mScratchBuf.Get();
    float* dest = ch->mFDest + offset;
    // The nearest float, flushed; accumulating, a float addition as a float host mixes (the
    // sum flushed too: the host's own value or the sum may be subnormal).
    if (accumulate)
    {
      for (int s = 0; s < nFrames; ++s)
        dest[s] = FlushSubnormal(dest[s] + FlushSubnormal(static_cast<float>(src[s])));
    }
    else
    {
      for (int s = 0; s < nFrames; ++s) dest[s] = FlushSubnormal(static_cast<float>(src[s]));
    }
  }
}

void IPlugBase::SilenceHostOutputs(int nFrames, EProcessMode mode)
{
  if (mode == EProcessMode::kFloatAccumulating) return;
  for (int i = 0, n = NOutChannels(); i < n; ++i)
  {
    OutChannel* ch = mOutChannels.Get(i);
    if (!ch->mConnected) continue;
    if (mode == EProcessMode::kDouble)
      FillZero(ch->mHost64, nFrames);
    else if (ch->mFDest)
      std::memset(ch->mFDest, 0, static_cast<size_t>(nFrames) * sizeof(float));
  }
}

void IPlugBase::RunSliced(int nFrames, EProcessMode mode, bool passThrough)
{
  if (nFrames <= 0) return;
  StandardFloatMode fpMode;
  if (mBlockSize <= 0)
  {
    // No scratch buffers to work in: nothing can run, and a replacing host hears silence.
    SilenceHostOutputs(nFrames, mode);
    return;
  }

  double** inputs = mInData.Get();
  double** outputs = mOutData.Get();
  for (int offset = 0; offset < nFrames; offset += mBlockSize)
  {
    int const len = std::min(mBlockSize, nFrames - offset);
    PrepareSlice(offset, len);
    if (passThrough)
      IPlugBase::ProcessDoubleReplacing(inputs, outputs, len);
    else
      ProcessDoubleReplacing(inputs, outputs, len);
    if (mode != EProcessMode::kDouble)
      WriteFloatOutputs(offset, len, mode == EProcessMode::kFloatAccumulating);
  }
}

void IPlugBase::ProcessBuffers(double, int nFrames)
{
  RunSliced(nFrames, EProcessMode::kDouble, false);
}

void IPlugBase::ProcessBuffers(float, int nFrames)
{
  RunSliced(nFrames, EProcessMode::kFloatReplacing, false);
}

void IPlugBase::ProcessBuffersAccumulating(float, int nFrames)
{
  RunSliced(nFrames, EProcessMode::kFloatAccumulating, false);
}

void IPlugBase::PassThroughBuffers(double, int nFrames)
{
  RunSliced(nFrames, EProcessMode::kDouble, true);
}

void IPlugBase::PassThroughBuffers(float, int nFrames)
{
  RunSliced(nFrames, EProcessMode::kFloatReplacing, true);
}

void IPlugBase::ZeroScratchBuffers()
{
  for (int i = 0, n = NInChannels(); i < n; ++i)
    FillZero(mInChannels.Get(i)->mScratchBuf.Get(), mInChannels.Get(i)->mScratchBuf.GetSize());
  for (int i = 0, n = NOutChannels(); i < n; ++i)
    FillZero(mOutChannels.Get(i)->mScratchBuf.Get(), mOutChannels.Get(i)->mScratchBuf.GetSize());
}

double IPlugBase::GetSamplesPerBeat()
{
  double const tempo = GetTempo();
  return tempo > 0.0 ? mSampleRate * 60.0 / tempo : 0.0;
}

bool IPlugBase::SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* pMsgs)
{
  bool allSent = true;
  IMidiMsg* msgs = pMsgs->Get();
  for (int i = 0, n = pMsgs->GetSize(); i < n; ++i) allSent &= SendMidiMsg(msgs + i);
  return allSent;
}
