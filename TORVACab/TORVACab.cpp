#include "TORVACab/TORVACab.h"
#include "TORVACab/CabPresets.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/linux/IGraphicsLinux.h"

namespace
{
constexpr int kVendorVersion = 0x10000; // 1.0.0
constexpr int kUniqueID = FourCC('T', 'O', 'R', 'C');
constexpr int kMfrID = FourCC('B', 'r', 'c', 'i');

std::string BaseName(std::string const& path)
{
  size_t const slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

TORVACab::TORVACab(IPlugInstanceInfo instanceInfo)
    : IPlugAdapter(instanceInfo, kNumParams, "1-1 2-2", 1, "TORVA Cab", "", "BrindleCircuits",
                   kVendorVersion, kUniqueID, kMfrID, 0, false, true, false, 0)
{
  sem_init(&mWake, 0, 0);
  IParam* cabinet = GetParam(kCabinet);
  cabinet->InitEnum("Cabinet", 0, kNumBuiltInCabinets + 1);
  for (int c = 0; c < kNumBuiltInCabinets; ++c)
    cabinet->SetDisplayText(c, kBuiltInCabinets[c].name);
  cabinet->SetDisplayText(kFileCabinet, "File");
  // The cut frequencies are spread as the ear hears them.
  GetParam(kLowCut)->InitDouble("Low cut", 60.0, 20.0, 500.0, 1.0, "Hz", "", 2.0);
  GetParam(kHighCut)->InitDouble("High cut", 12000.0, 1000.0, 20000.0, 10.0, "Hz", "", 2.0);
  GetParam(kMix)->InitDouble("Mix", 100.0, 0.0, 100.0, 0.1, "%");
  GetParam(kLevel)->InitDouble("Level", 0.0, -30.0, 12.0, 0.1, "dB");
  GetParam(kBypass)->InitInt("Bypass", 0, 0, 1, "", "");

  if (IGraphicsLinux* pGraphics = MakeCabEditor(this)) AttachGraphics(pGraphics);
  MakeDefaultPreset("-", 1);
  SetFactoryPresets(kCabPresets, kNumCabPresets);
  mLoader = std::thread(&TORVACab::LoaderMain, this);
}

TORVACab::~TORVACab()
{
  mQuit.store(true, std::memory_order_release);
  sem_post(&mWake);
  if (mLoader.joinable()) mLoader.join();
  sem_destroy(&mWake);
}

void TORVACab::Reset()
{
  WDL_MutexLock lock(&mMutex);
  if (!mEngine.Prepare(GetSampleRate()))
    std::fprintf(stderr, "TORVA Cab: cannot prepare the cabinets at %.0f Hz\n", GetSampleRate());
}

void TORVACab::OnParamChange(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  IParam const* p = GetParam(paramIdx);
  if (!p) return;
  double const v = p->Value();
  switch (paramIdx)
  {
  case kCabinet:
    mSettings.cabinet = p->Int();
    break;
  case kLowCut:
    mSettings.lowCutHz = v;
    break;
  case kHighCut:
    mSettings.highCutHz = v;
    break;
  case kMix:
    mSettings.mix = v / 100.0;
    break;
  case kLevel:
    mSettings.level = std::pow(10.0, v / 20.0);
    break;
  case kBypass:
    mSettings.bypass = p->Int() != 0;
    break;
  default:
    break;
  }
}

void TORVACab::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  bool const stereo = IsInChannelConnected(1) || IsOutChannelConnected(1);
  mEngine.Process(inputs, outputs, nFrames, stereo, mSettings);
  if (mEngine.TakeWakeUp()) sem_post(&mWake); // a kernel to free, or to prepare again
}

// ---- State ---------------------------------------------------------------------------------

bool TORVACab::SerializeState(ByteChunk* pChunk)
{
  WDL_MutexLock lock(&mMutex);
  return SerializeParams(pChunk) && pChunk->PutStr(mInForce) > 0;
}

int TORVACab::UnserializeState(ByteChunk* pChunk, int startPos)
{
  WDL_MutexLock lock(&mMutex);
  int pos = UnserializeParams(pChunk, startPos);
  if (pos < 0) return -1;
  // A state from before the file was part of it names none.
  WDL_String path;
  if (pos < pChunk->Size())
  {
    pos = pChunk->GetStr(&path, pos);
    // A path cut short is a damaged state, not a shorter path.
    if (pos < 0 || pos > pChunk->Size() || std::strlen(path.Get()) > kMaxFilePath) return -1;
  }
  if (std::strcmp(path.Get(), mInForce))
  {
    // In force at once, so that the state is kept whole even while the file cannot be read.
    std::size_t const len = std::strlen(path.Get());
    std::memcpy(mInForce, path.Get(), len + 1);
    mInForceLen = len;
    mGeneration.fetch_add(1, std::memory_order_acq_rel);
    RequestFile(path.Get(), len, true);
  }
  return pos;
}

// ---- The user's file -----------------------------------------------------------------------

bool TORVACab::SetFileFromHost(char const* path, size_t len)
{
  if (!path || len > kMaxFilePath) return false;
  RequestFile(path, len, false);
  return true;
}

size_t TORVACab::GetFileForHost(char* buf, size_t cap) const
{
  if (!cap) return 0;
  size_t const n = std::min(mInForceLen, cap - 1);
  std::memcpy(buf, mInForce, n);
  buf[n] = '\0';
  return n;
}

void TORVACab::OnFileInForce(char const* path)
{
  SetStatus(path ? path : "", "", false);
}

TORVACab::FileStatus TORVACab::GetFileStatus() const
{
  std::lock_guard<std::mutex> lock(mStatusMutex);
  return mStatus;
}

void TORVACab::SetStatus(std::string const& path, std::string const& message, bool missing)
{
  std::lock_guard<std::mutex> lock(mStatusMutex);
  mStatus.path = path;
  mStatus.name = BaseName(path);
  mStatus.message = message;
  mStatus.missing = missing;
}

bool TORVACab::WaitForFiles(double seconds)
{
  std::unique_lock<std::mutex> lock(mSettledMutex);
  return mSettled.wait_for(lock, std::chrono::duration<double>(seconds),
                           [this]
                           {
                             return mHandledCount.load(std::memory_order_acquire) ==
                                    mRequestCount.load(std::memory_order_acquire);
                           });
}

// Any thread, the audio one included: a copy under a lock held for nothing else, and a wake.
void TORVACab::RequestFile(char const* path, size_t len, bool fromState)
{
  {
    std::lock_guard<std::mutex> lock(mRequestMutex);
    std::memcpy(mRequested, path, len);
    mRequested[len] = '\0';
    mRequestedLen = len;
    mRequestFromState = fromState;
    ++mRequestSeq;
  }
  mRequestCount.fetch_add(1, std::memory_order_acq_rel);
  sem_post(&mWake);
}

void TORVACab::LoaderMain()
{
  unsigned handledSeq = 0;
  for (;;)
  {
    while (sem_wait(&mWake) != 0 && errno == EINTR)
    {
    }
    if (mQuit.load(std::memory_order_acquire)) return;
    CollectRetired();
    std::string path;
    bool fromState = false, requested = false;
    unsigned count = 0;
    {
      std::lock_guard<std::mutex> lock(mRequestMutex);
      if (mRequestSeq != handledSeq)
      {
        path.assign(mRequested, mRequestedLen);
        fromState = mRequestFromState;
        handledSeq = mRequestSeq;
        requested = true;
      }
      count = mRequestCount.load(std::memory_order_acquire);
    }
    if (requested) Load(path, fromState);
    {
      std::lock_guard<std::mutex> lock(mSettledMutex);
      mHandledCount.store(count, std::memory_order_release);
    }
    mSettled.notify_all();
  }
}

void TORVACab::CollectRetired()
{
  if (!mEngine.Stale()) return;
  std::unique_ptr<CabKernel> retired = mEngine.TakeRetired();
  double const rate = mEngine.Rate();
  if (!retired || retired->rate == rate || rate <= 0) return;
  // Made for the rate before a change: the same response at the new one.
  std::string why;
  if (auto kernel = MakeKernel(retired->source, rate, retired->name, retired->path, &why))
    mEngine.Deliver(std::move(kernel));
}

void TORVACab::Load(std::string const& path, bool fromState)
{
  double rate = mEngine.Rate();
  if (path.empty())
  {
    std::string why;
    mEngine.Deliver(MakeKernel(ImpulseResponse(), rate, "", "", &why));
    SetInForce("");
    SetStatus("", "", false);
    return;
  }
  ImpulseResponse raw;
  std::string why, note;
  std::unique_ptr<CabKernel> kernel;
  if (ReadImpulseFile(path, &raw, &why, &note))
    kernel = MakeKernel(raw, rate > 0 ? rate : raw.rate, BaseName(path), path, &why);
  if (!kernel)
  {
    if (fromState)
    {
      // The session keeps naming the file; the first cabinet plays until it can be read.
      std::fprintf(stderr, "TORVA Cab: %s; playing the built-in %s instead\n", why.c_str(),
                   kBuiltInCabinets[0].name);
      std::string empty;
      mEngine.Deliver(MakeKernel(ImpulseResponse(), rate, "", "", &empty));
      SetStatus(path, why, true);
    }
    else
    {
      std::fprintf(stderr, "TORVA Cab: %s\n", why.c_str());
      std::lock_guard<std::mutex> lock(mStatusMutex);
      mStatus.message = why; // the file in force stays
    }
    return;
  }
  if (!note.empty()) std::fprintf(stderr, "TORVA Cab: %s\n", note.c_str());
  mEngine.Deliver(std::move(kernel));
  if (!fromState) SetInForce(path);
  SetStatus(path, note, false);
}

void TORVACab::SetInForce(std::string const& path)
{
  WDL_MutexLock lock(&mMutex);
  if (path == mInForce) return;
  std::memcpy(mInForce, path.c_str(), path.size() + 1);
  mInForceLen = path.size();
  mGeneration.fetch_add(1, std::memory_order_acq_rel);
}
