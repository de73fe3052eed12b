// VstHost: one VST 2 plug-in loaded the way a DAW loads it, for the `torva` host.
//
// Lifecycle, in the order hosts use and plug-ins expect:
//
//   Load(path)          dlopen(RTLD_NOW | RTLD_LOCAL), entry `VSTPluginMain` (else `main`),
//                       entry(host callback) -> effect record, magic checked
//   Open()              effOpen
//   Prepare(rate, n)    effSetSampleRate, effSetBlockSize
//   SetChannels(i, o)   effSetSpeakerArrangement (inputs, outputs in use)
//   Resume(precision)   effSetProcessPrecision, effMainsChanged 1, effStartProcess
//   Process...(n)       processReplacing / process / processDoubleReplacing, n <= block size
//   Suspend()           effStopProcess, effMainsChanged 0
//   Unload()            effClose, dlclose (also done by the destructor)
//
// The host callback answers what plug-ins ask of a host: version 2400, the host's identity,
// sample rate and block size, a transport record (120 BPM 4/4, playing, positioned at the
// current block), the process level (offline while rendering) and a few capabilities.
// Requests arrive on the calling thread. Dispatcher calls take turns (one recursive lock), so
// that a live host may reconfigure the plug-in from its audio server's thread while the editor
// is idled from the main thread; the process calls take no lock of the host's.

#pragma once

#include "framework/vst2/VstAbi.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class VstHost
{
public:
  // What the host says about itself when asked.
  static constexpr const char* kVendor = "BrindleCircuits";
  static constexpr const char* kProduct = "torva";
  static constexpr int kVendorVersion = 10000; // 1.0.0 in decimal form
  static constexpr int kHostVstVersion = 2400;
  static constexpr double kTempo = 120.0;

  VstHost() = default;
  ~VstHost();
  VstHost(const VstHost&) = delete;
  VstHost& operator=(const VstHost&) = delete;

  // Loads the plug-in and calls its entry. On failure returns false with one line in `error`.
  bool Load(const std::string& path, std::string& error);
  // effClose (when opened) and dlclose. Safe to call more than once.
  void Unload();

  AEffect* Effect() const { return mEffect; }
  const char* EntryName() const { return mEntryName; }
  const std::string& Path() const { return mPath; }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  void Open();
  void Prepare(double sampleRate, int blockSize);
  void SetChannels(int inputs, int outputs);
  void Resume(bool doublePrecision);
  void Suspend();

  // Offline while rendering (the default), user level for `torva info`.
  void SetProcessLevel(int level) { mProcessLevel = level; }

  // Texts the plug-in reports, cut at the first NUL and at a generous buffer's end.
  std::string EffectName();
  std::string VendorString();
  std::string ProductString();
  std::string ParamName(int index);
  std::string ParamLabel(int index);
  std::string ParamDisplay(int index);
  std::string ProgramName();

  // Index of the parameter whose reported name is exactly `name`, else -1.
  int FindParam(const std::string& name);
  // effString2Parameter; true when the plug-in took the text.
  bool SetParamFromText(int index, const std::string& text);

  bool CanReplace() const;
  bool CanDoubleReplace() const;

  // One block; `frames` never exceeds the block size given to Prepare. The float path uses
  // processReplacing, or the accumulating process over zeroed outputs when the plug-in lacks
  // the replacing flag.
  void ProcessFloat(float** inputs, float** outputs, int frames);
  void ProcessDouble(double** inputs, double** outputs, int frames);

  // How often the plug-in called back with these requests (tests and summaries).
  int AutomateCalls() const { return mAutomateCalls; }
  // Answers audioMasterSizeWindow (width, height) while set; without one the host refuses.
  void SetSizeWindowHandler(std::function<bool(int, int)> handler)
  {
    mSizeWindow = std::move(handler);
  }

private:
  static VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt);
  VstIntPtr OnRequest(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  std::string Text(VstInt32 opcode, VstInt32 index);
  void Advance(int frames);
  VstTimeInfo* TimeInfo();

  void* mHandle = nullptr;
  AEffect* mEffect = nullptr;
  const char* mEntryName = "";
  std::string mPath;
  bool mOpened = false;
  bool mResumed = false;
  double mSampleRate = 44100.0;
  int mBlockSize = 512;
  int mProcessLevel = kVstProcessLevelOffline;
  double mSamplePos = 0.0;
  bool mTransportChanged = true;
  VstTimeInfo mTimeInfo = {};
  VstSpeakerArrangement mInputArrangement = {};
  VstSpeakerArrangement mOutputArrangement = {};
  int mAutomateCalls = 0;
  std::function<bool(int, int)> mSizeWindow;
  std::recursive_mutex mDispatchMutex;
};
