#pragma once
// The eight-parameter stand-in (support/EightParamPlug.h) as a VST 2 effect, built from
// VstPlugOptions, recording what the adapter hands the product. Note 60 alone has a name, 100
// characters long. A header: its users link the vst2 library, the rest of the support does not.

#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

#include "framework/vst2/IPlugVST.h"
#include "support/EightParamPlug.h"

namespace torva_test
{

struct VstPlugOptions
{
  audioMasterCallback host = nullptr;
  char const* channels = "1-1 2-2";
  int nPresets = 1;
  char const* effectName = "TORVA";
  char const* productName = "";
  int vendorVersion = 0x10000;
  int latency = 0;
  bool midi = false, chunks = false, inst = false;
};

class VstEightParamPlug : public IPlugVST
{
public:
  explicit VstEightParamPlug(VstPlugOptions const& o = {})
      : IPlugVST(IPlugInstanceInfo{o.host}, 8, o.channels, o.nPresets, o.effectName, o.productName,
                 "BrindleCircuits", o.vendorVersion, EightParamPlug::kUniqueID,
                 0x42726369 /* 'Brci' */, o.latency, o.midi, o.chunks, o.inst)
  {
    InitEightParams(*this);
  }
  ~VstEightParamPlug() override
  {
    if (mDeleted) *mDeleted = true;
  }

  void OnParamChange(int idx) override
  {
    mParamChanges.push_back(idx);
    if (mOnParamChange) mOnParamChange(idx);
  }
  void OnHostIdentified() override { ++mHostIdentified; }
  void OnGUIOpen() override { ++mGUIOpens; }
  void OnGUIClose() override { ++mGUICloses; }
  void OnWindowResize() override { ++mResizes; }
  void ProcessMidiMsg(IMidiMsg* pMsg) override { mMidiIn.push_back(*pMsg); }
  void ProcessSysEx(ISysEx* pSysEx) override { mSysExIn.push_back(*pSysEx); }
  bool MidiNoteName(int note, char* rName) override
  {
    if (note != 60) return false;
    std::memset(rName, 'C', 100);
    rName[100] = '\0';
    return true;
  }

  std::vector<int> mParamChanges; // indices, in order
  std::vector<IMidiMsg> mMidiIn;
  std::vector<ISysEx> mSysExIn;
  int mHostIdentified = 0, mGUIOpens = 0, mGUICloses = 0, mResizes = 0;
  std::function<void(int)> mOnParamChange; // after the record above
  std::atomic<bool>* mDeleted = nullptr;   // set by the destructor
};

} // namespace torva_test
