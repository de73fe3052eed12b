#pragma once
// A plug-in base with no host behind it.
//
// IPlugHeadless takes the same constructor arguments, in the same order, as the VST 2 adapter's
// and does to the base what the adapter's constructor does: every channel connected and a block
// size of 1024. The host calls a plug-in makes are recorded instead of sent, so that tests can
// see what would have reached the host. Transport queries answer from fields a test may set.

#include <vector>

#include "framework/IPlugBase.h"

// Stands where the adapter takes its host's instance info. Headless: nothing the base needs.
struct IPlugHeadlessInfo
{
  void* mHostCallback = nullptr;
};

class IPlugHeadless : public IPlugBase
{
public:
  enum class EHostCall
  {
    kBeginEdit,
    kAutomate,
    kEndEdit,
    kProgramChange,
    kResizeGraphics,
    kMidi,
    kSysEx
  };

  struct HostCall
  {
    EHostCall mKind;
    int mIdx;      // parameter index; width for kResizeGraphics; message offset for MIDI
    double mValue; // normalised value for kAutomate; height for kResizeGraphics
  };

  IPlugHeadless(IPlugHeadlessInfo instanceInfo, int nParams, char const* channelIOStr, int nPresets,
                char const* effectName, char const* productName, char const* mfrName,
                int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
                bool plugDoesChunks, bool plugIsInst, int plugScChans);

  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  void InformHostOfProgramChange() override;
  int GetSamplePos() override { return mSamplePos; }
  double GetTempo() override { return mTempo; }
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  void ResizeGraphics(int w, int h) override;
  bool SendMidiMsg(IMidiMsg* pMsg) override;
  bool SendSysEx(ISysEx* pSysEx) override;

  IPlugHeadlessInfo const& GetInstanceInfo() const { return mInstanceInfo; }
  int GetSideChainChannels() const { return mScChans; }

  // Every host call so far, oldest first.
  std::vector<HostCall> const& HostCalls() const { return mHostCalls; }
  void ClearHostCalls() { mHostCalls.clear(); }
  // How many recorded calls are of this kind.
  int CountHostCalls(EHostCall kind) const;

  // The transport the "host" reports.
  int mSamplePos = 0;
  double mTempo = 120.0;
  int mTimeSigNum = 4;
  int mTimeSigDenom = 4;

private:
  void Record(EHostCall kind, int idx, double value);

  IPlugHeadlessInfo mInstanceInfo;
  int mScChans;
  std::vector<HostCall> mHostCalls;
};
