#include "support/TestHost.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace vsthost
{

char const* PluginPath()
{
  // TORVA_PLUGIN lets a run try another build of the module.
  char const* path = std::getenv("TORVA_PLUGIN");
  return path && path[0] ? path : TORVA_PLUGIN_PATH;
}

namespace
{
Host* sLatest = nullptr; // answers for records whose user field is not set yet
}

Host::Host()
{
  sLatest = this;
}

Host::~Host()
{
  Unload();
  if (sLatest == this) sLatest = nullptr;
}

bool Host::Load(char const* path)
{
  Unload();
  mModule = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!mModule)
  {
    char const* err = dlerror();
    mError = err ? err : "dlopen failed";
    return false;
  }
  mEntry = reinterpret_cast<VstPluginMainProc>(dlsym(mModule, "VSTPluginMain"));
  mOldEntry = reinterpret_cast<VstPluginMainProc>(dlsym(mModule, "main"));
  if (!mEntry) mEntry = mOldEntry;
  if (!mEntry)
  {
    mError = "no VST 2 entry";
    Unload();
    return false;
  }
  return true;
}

void Host::Unload()
{
  if (mModule) dlclose(mModule);
  mModule = nullptr;
  mEntry = mOldEntry = nullptr;
}

AEffect* Host::Create()
{
  if (!mEntry) return nullptr;
  sLatest = this;
  AEffect* e = mEntry(&Host::Callback);
  if (e) e->user = this;
  return e;
}

VstIntPtr Host::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                         void* ptr, float opt)
{
  Host* host = effect && effect->user ? static_cast<Host*>(effect->user) : sLatest;
  if (opcode == audioMasterVersion) return kVstVersion;
  if (!host) return 0;
  host->mCalls.push_back({opcode, index, value, opt});
  if (host->mOnCall) host->mOnCall(effect, opcode);
  switch (opcode)
  {
  case audioMasterGetTime:
    return host->mHasTime ? reinterpret_cast<VstIntPtr>(&host->mTime) : 0;
  case audioMasterGetCurrentProcessLevel:
    return host->mProcessLevel;
  case audioMasterGetProductString:
    if (ptr)
      std::strncpy(static_cast<char*>(ptr), host->mProductString.c_str(), kVstMaxProductStrLen - 1);
    return 1;
  case audioMasterGetVendorVersion:
    return host->mVendorVersion;
  case audioMasterProcessEvents:
  {
    auto* events = static_cast<VstEvents*>(ptr);
    for (int i = 0; events && i < events->numEvents; ++i)
    {
      VstEvent* ev = events->events[i];
      if (!ev) continue;
      SentEvent sent{ev->type, ev->deltaFrames, {}};
      if (ev->type == kVstMidiType)
      {
        auto* midi = reinterpret_cast<VstMidiEvent*>(ev);
        sent.bytes.assign(midi->midiData, midi->midiData + 3);
      }
      else if (ev->type == kVstSysExType)
      {
        auto* sysex = reinterpret_cast<VstMidiSysexEvent*>(ev);
        sent.bytes.assign(sysex->sysexDump, sysex->sysexDump + sysex->dumpBytes);
      }
      host->mEvents.push_back(sent);
    }
    return host->mEventsAnswer;
  }
  default:
    return 0;
  }
}

int Host::Count(int opcode) const
{
  int n = 0;
  for (HostCall const& c : mCalls) n += c.opcode == opcode;
  return n;
}

std::vector<HostCall> Host::Calls(int opcode) const
{
  std::vector<HostCall> out;
  for (HostCall const& c : mCalls)
    if (c.opcode == opcode) out.push_back(c);
  return out;
}

Instance::Instance(Host& host, double sampleRate, int blockSize) : mEffect(host.Create())
{
  if (!mEffect) return;
  Dispatch(effOpen);
  Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  Dispatch(effSetBlockSize, 0, blockSize);
  Dispatch(effMainsChanged, 0, 1);
}

void Instance::Close()
{
  if (!mEffect) return;
  Dispatch(effMainsChanged, 0, 0);
  Dispatch(effClose);
  mEffect = nullptr;
}

namespace
{
// Hosts hand out generous buffers; the guard bytes after the published size show overruns.
std::string Text(Instance& inst, int opcode, int index)
{
  char buf[256];
  std::memset(buf, 0x7f, sizeof buf);
  buf[0] = '\0';
  inst.Dispatch(opcode, index, 0, buf);
  buf[sizeof buf - 1] = '\0';
  return buf;
}
} // namespace

std::string Instance::ParamName(int index)
{
  return Text(*this, effGetParamName, index);
}
std::string Instance::ParamDisplay(int index)
{
  return Text(*this, effGetParamDisplay, index);
}
std::string Instance::ParamLabel(int index)
{
  return Text(*this, effGetParamLabel, index);
}

} // namespace vsthost
