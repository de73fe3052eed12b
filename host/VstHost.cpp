#include "host/VstHost.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

namespace
{
// Plug-ins call back with their effect record, or with none while their entry runs. The
// table finds the host object for a record; `gLoading` answers for the entry call. Lookups
// take no lock: a plug-in asks from its audio thread too, which must never wait. Entries only
// change while their plug-in makes no calls (before its first, after its last).
constexpr int kMaxHosts = 16;
std::mutex gTableMutex; // between writers
std::atomic<AEffect*> gEffects[kMaxHosts] = {};
std::atomic<VstHost*> gHosts[kMaxHosts] = {};
std::atomic<VstHost*> gLoading = nullptr;

VstHost* HostFor(AEffect* effect)
{
  if (effect)
    for (int i = 0; i < kMaxHosts; ++i)
      if (gEffects[i].load(std::memory_order_acquire) == effect)
        return gHosts[i].load(std::memory_order_acquire);
  return gLoading.load(std::memory_order_acquire);
}

void Register(AEffect* effect, VstHost* host)
{
  std::lock_guard<std::mutex> lock(gTableMutex);
  for (int i = 0; i < kMaxHosts; ++i)
    if (!gEffects[i].load())
    {
      gHosts[i].store(host, std::memory_order_release);
      gEffects[i].store(effect, std::memory_order_release);
      return;
    }
}

void Unregister(const VstHost* host)
{
  std::lock_guard<std::mutex> lock(gTableMutex);
  for (int i = 0; i < kMaxHosts; ++i)
    if (gHosts[i].load() == host)
    {
      gEffects[i].store(nullptr, std::memory_order_release);
      gHosts[i].store(nullptr, std::memory_order_release);
    }
}

// Bounded copy into a plug-in's buffer of `size` bytes, always terminated.
void CopyText(void* dest, const char* text, size_t size)
{
  if (!dest || size == 0) return;
  const size_t n = std::min(std::strlen(text), size - 1);
  std::memcpy(dest, text, n);
  static_cast<char*>(dest)[n] = '\0';
}

// The exported symbol only counts when the plug-in itself defines it: dlsym on a handle also
// searches the libraries the plug-in depends on.
void* OwnSymbol(void* handle, const char* name)
{
  void* symbol = dlsym(handle, name);
  if (!symbol) return nullptr;
  link_map* map = nullptr;
  Dl_info info = {};
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return symbol;
  if (!dladdr(symbol, &info) || !info.dli_fname) return nullptr;
  return std::strcmp(info.dli_fname, map->l_name) == 0 ? symbol : nullptr;
}

void FillArrangement(VstSpeakerArrangement& arrangement, int channels)
{
  arrangement = {};
  arrangement.numChannels = channels;
  arrangement.type = channels == 1   ? kSpeakerArrMono
                     : channels == 2 ? kSpeakerArrStereo
                     : channels == 0 ? kSpeakerArrEmpty
                                     : kSpeakerArrUserDefined;
  for (int i = 0; i < std::min(channels, 8); ++i)
  {
    VstSpeakerProperties& speaker = arrangement.speakers[i];
    speaker.type = channels == 1   ? kSpeakerM
                   : channels == 2 ? (i == 0 ? kSpeakerL : kSpeakerR)
                                   : kSpeakerUndefined;
    CopyText(speaker.name,
             channels == 1   ? "M"
             : channels == 2 ? (i == 0 ? "L" : "R")
                             : "",
             sizeof(speaker.name));
  }
}
} // namespace

VstHost::~VstHost()
{
  Unload();
}

bool VstHost::Load(const std::string& path, std::string& error)
{
  Unload();
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || access(path.c_str(), R_OK) != 0)
  {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode))
  {
    error = "cannot read " + path + ": is a directory";
    return false;
  }
  // Without a slash dlopen would search the library path instead of opening this file.
  const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
  dlerror();
  mHandle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mHandle)
  {
    const char* why = dlerror();
    error = path + " is not a VST 2 plug-in (cannot load it: " + (why ? why : "unknown") + ")";
    return false;
  }
  void* entry = OwnSymbol(mHandle, "VSTPluginMain");
  mEntryName = "VSTPluginMain";
  if (!entry)
  {
    entry = OwnSymbol(mHandle, "main");
    mEntryName = "main";
  }
  if (!entry)
  {
    error = path + " is not a VST 2 plug-in (it exports neither VSTPluginMain nor main)";
    Unload();
    return false;
  }
  mPath = path;
  std::unique_lock<std::mutex> loading(gTableMutex);
  gLoading.store(this, std::memory_order_release);
  AEffect* effect = reinterpret_cast<VstPluginMainProc>(entry)(&VstHost::HostCallback);
  gLoading.store(nullptr, std::memory_order_release);
  loading.unlock();
  if (!effect || effect->magic != kEffectMagic || !effect->dispatcher)
  {
    error = path + " is not a VST 2 plug-in (its " + mEntryName + " returned " +
            (effect ? "a record without the effect magic)" : "no effect)");
    Unload();
    return false;
  }
  mEffect = effect;
  Register(effect, this);
  return true;
}

void VstHost::Unload()
{
  if (mEffect)
  {
    if (mResumed) Suspend();
    // effClose destroys the plug-in object; the record is gone afterwards.
    std::lock_guard<std::recursive_mutex> lock(mDispatchMutex);
    mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.0f);
    Unregister(this);
    mEffect = nullptr;
  }
  mOpened = false;
  if (mHandle)
  {
    dlclose(mHandle);
    mHandle = nullptr;
  }
}

VstIntPtr VstHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (!mEffect) return 0;
  std::lock_guard<std::recursive_mutex> lock(mDispatchMutex);
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

void VstHost::Open()
{
  if (mOpened) return;
  Dispatch(effOpen);
  mOpened = true;
}

void VstHost::Prepare(double sampleRate, int blockSize)
{
  mSampleRate = sampleRate;
  mBlockSize = blockSize;
  Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  Dispatch(effSetBlockSize, 0, blockSize);
}

void VstHost::SetChannels(int inputs, int outputs)
{
  FillArrangement(mInputArrangement, inputs);
  FillArrangement(mOutputArrangement, outputs);
  Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mInputArrangement),
           &mOutputArrangement);
}

void VstHost::Resume(bool doublePrecision)
{
  Dispatch(effSetProcessPrecision, 0,
           doublePrecision ? kVstProcessPrecision64 : kVstProcessPrecision32);
  Dispatch(effMainsChanged, 0, 1);
  Dispatch(effStartProcess);
  mResumed = true;
  mSamplePos = 0.0;
  mTransportChanged = true;
}

void VstHost::Suspend()
{
  if (!mResumed) return;
  Dispatch(effStopProcess);
  Dispatch(effMainsChanged, 0, 0);
  mResumed = false;
}

std::string VstHost::Text(VstInt32 opcode, VstInt32 index)
{
  // Far larger than any published limit: plug-ins routinely write past those.
  char buf[512] = {};
  Dispatch(opcode, index, 0, buf);
  buf[sizeof(buf) - 1] = '\0';
  return buf;
}

std::string VstHost::EffectName()
{
  return Text(effGetEffectName, 0);
}
std::string VstHost::VendorString()
{
  return Text(effGetVendorString, 0);
}
std::string VstHost::ProductString()
{
  return Text(effGetProductString, 0);
}
std::string VstHost::ParamName(int index)
{
  return Text(effGetParamName, index);
}
std::string VstHost::ParamLabel(int index)
{
  return Text(effGetParamLabel, index);
}
std::string VstHost::ParamDisplay(int index)
{
  return Text(effGetParamDisplay, index);
}
std::string VstHost::ProgramName()
{
  return Text(effGetProgramName, 0);
}

int VstHost::FindParam(const std::string& name)
{
  if (!mEffect) return -1;
  for (int i = 0; i < mEffect->numParams; ++i)
    if (ParamName(i) == name) return i;
  return -1;
}

bool VstHost::SetParamFromText(int index, const std::string& text)
{
  std::string copy = text; // the interface takes a non-const pointer
  return Dispatch(effString2Parameter, index, 0, copy.data()) != 0;
}

bool VstHost::CanReplace() const
{
  return mEffect && (mEffect->flags & effFlagsCanReplacing) && mEffect->processReplacing;
}

bool VstHost::CanDoubleReplace() const
{
  return mEffect && (mEffect->flags & effFlagsCanDoubleReplacing) &&
         mEffect->processDoubleReplacing;
}

void VstHost::ProcessFloat(float** inputs, float** outputs, int frames)
{
  if (!mEffect || frames <= 0) return;
  if (CanReplace())
  {
    mEffect->processReplacing(mEffect, inputs, outputs, frames);
  }
  else if (mEffect->process)
  {
    for (int c = 0; c < mEffect->numOutputs; ++c) std::fill(outputs[c], outputs[c] + frames, 0.0f);
    mEffect->process(mEffect, inputs, outputs, frames);
  }
  Advance(frames);
}

void VstHost::ProcessDouble(double** inputs, double** outputs, int frames)
{
  if (!mEffect || frames <= 0 || !CanDoubleReplace()) return;
  mEffect->processDoubleReplacing(mEffect, inputs, outputs, frames);
  Advance(frames);
}

void VstHost::Advance(int frames)
{
  mSamplePos += frames;
  mTransportChanged = false;
}

VstTimeInfo* VstHost::TimeInfo()
{
  VstTimeInfo& t = mTimeInfo;
  t = {};
  t.samplePos = mSamplePos;
  t.sampleRate = mSampleRate;
  const double seconds = mSamplePos / mSampleRate;
  // Offline: the render's own clock, so that repeated renders see the same transport.
  t.nanoSeconds = seconds * 1e9;
  t.tempo = kTempo;
  t.ppqPos = seconds * kTempo / 60.0;
  t.timeSigNumerator = 4;
  t.timeSigDenominator = 4;
  t.barStartPos = std::floor(t.ppqPos / 4.0) * 4.0;
  t.flags = kVstTransportPlaying | kVstNanosValid | kVstPpqPosValid | kVstTempoValid |
            kVstBarsValid | kVstTimeSigValid | (mTransportChanged ? kVstTransportChanged : 0);
  return &t;
}

VstIntPtr VstHost::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt)
{
  VstHost* host = HostFor(effect);
  if (opcode == audioMasterVersion) return kHostVstVersion; // asked before anything else
  return host ? host->OnRequest(opcode, index, value, ptr, opt) : 0;
}

VstIntPtr VstHost::OnRequest(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
  switch (opcode)
  {
  case audioMasterAutomate:
    ++mAutomateCalls;
    return 0;
  case audioMasterCurrentId:
    return mEffect ? mEffect->uniqueID : 0;
  case audioMasterIdle:
    return 0;
  case audioMasterGetTime:
    return reinterpret_cast<VstIntPtr>(TimeInfo());
  case audioMasterProcessEvents:
    return 0; // events from the plug-in are not taken
  case audioMasterIOChanged:
    return 0; // channels are fixed for a render
  case audioMasterSizeWindow:
    return mSizeWindow && mSizeWindow(index, static_cast<int>(value)) ? 1 : 0;
  case audioMasterGetSampleRate:
    return static_cast<VstIntPtr>(mSampleRate);
  case audioMasterGetBlockSize:
    return mBlockSize;
  case audioMasterGetInputLatency:
  case audioMasterGetOutputLatency:
    return 0;
  case audioMasterGetCurrentProcessLevel:
    return mProcessLevel;
  case audioMasterGetAutomationState:
    return 1; // off
  case audioMasterGetVendorString:
    CopyText(ptr, kVendor, kVstMaxVendorStrLen);
    return 1;
  case audioMasterGetProductString:
    CopyText(ptr, kProduct, kVstMaxProductStrLen);
    return 1;
  case audioMasterGetVendorVersion:
    return kVendorVersion;
  case audioMasterCanDo:
  {
    if (!ptr) return 0;
    const char* what = static_cast<const char*>(ptr);
    for (const char* yes : {"sendVstTimeInfo", "startStopProcess"})
      if (std::strcmp(what, yes) == 0) return 1;
    return -1;
  }
  case audioMasterGetLanguage:
    return 1; // English
  case audioMasterUpdateDisplay:
    return 1;
  case audioMasterBeginEdit:
  case audioMasterEndEdit:
    return 1;
  default:
    return 0;
  }
}
