#pragma once
// A stand-in for a DAW: loads a plug-in module the way hosts do (dlopen, the entry, the
// dispatcher, the callbacks in the effect record) and records every request the plug-in makes
// of it. Tests set what the host answers (transport, host name, process level) beforehand.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/vst2/VstAbi.h"

namespace vsthost
{

// The TORVA.so this build made (TORVA_PLUGIN in the environment overrides it).
char const* PluginPath();

// One host request as the plug-in made it.
struct HostCall
{
  int opcode;
  int index;
  VstIntPtr value;
  float opt;
};

// Events the plug-in sent with audioMasterProcessEvents, copied out of the call.
struct SentEvent
{
  int type;
  int deltaFrames;
  std::vector<unsigned char> bytes; // MIDI data bytes, or the SysEx dump
};

class Host
{
public:
  Host();
  ~Host();
  Host(Host const&) = delete;
  Host& operator=(Host const&) = delete;

  // dlopen(RTLD_NOW | RTLD_LOCAL) and find VSTPluginMain (or main). False with mError set.
  bool Load(char const* path);
  void Unload();
  VstPluginMainProc Entry() const { return mEntry; }
  VstPluginMainProc OldEntry() const { return mOldEntry; }

  // Calls the entry with this host's callback; the record's user field points back here.
  AEffect* Create();

  // The callback every plug-in created by Create (or given it) calls; it finds its host through
  // effect->user, or the most recently constructed Host while the record is still being built.
  static VstIntPtr Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt);

  int Count(int opcode) const;
  std::vector<HostCall> Calls(int opcode) const;
  void ClearCalls()
  {
    mCalls.clear();
    mEvents.clear();
  }

  std::string mError;
  std::vector<HostCall> mCalls;
  // Runs on every recorded request before the host answers it (a host that calls back).
  std::function<void(AEffect*, int opcode)> mOnCall;
  std::vector<SentEvent> mEvents;

  // What the host answers.
  bool mHasTime = false;
  VstTimeInfo mTime{};
  VstIntPtr mProcessLevel = kVstProcessLevelRealtime;
  std::string mProductString = "torva test host";
  VstIntPtr mVendorVersion = 1000;
  VstIntPtr mEventsAnswer = 1;

private:
  void* mModule = nullptr;
  VstPluginMainProc mEntry = nullptr;
  VstPluginMainProc mOldEntry = nullptr;
};

// Dispatcher shorthand.
inline VstIntPtr Dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                          void* ptr = nullptr, float opt = 0.0f)
{
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// A plug-in opened the way hosts start one: effOpen, sample rate, block size, resume. The
// destructor suspends and closes it unless Close was called.
class Instance
{
public:
  Instance(Host& host, double sampleRate = 44100.0, int blockSize = 512);
  ~Instance() { Close(); }
  Instance(Instance const&) = delete;
  Instance& operator=(Instance const&) = delete;

  AEffect* operator->() const { return mEffect; }
  AEffect* Get() const { return mEffect; }
  explicit operator bool() const { return mEffect != nullptr; }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f)
  {
    return vsthost::Dispatch(mEffect, opcode, index, value, ptr, opt);
  }
  std::string ParamName(int index);
  std::string ParamDisplay(int index);
  std::string ParamLabel(int index);
  void Close();

private:
  AEffect* mEffect = nullptr;
};

} // namespace vsthost
