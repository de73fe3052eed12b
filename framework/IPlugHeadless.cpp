#include "framework/IPlugHeadless.h"

IPlugHeadless::IPlugHeadless(IPlugHeadlessInfo instanceInfo, int nParams, char const* channelIOStr,
                             int nPresets, char const* effectName, char const* productName,
                             char const* mfrName, int vendorVersion, int uniqueID, int mfrID,
                             int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
                             int plugScChans)
    // Stands in for the VST 2 adapter, so the product sees the same API.
    : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIVST2),
      mInstanceInfo(instanceInfo), mScChans(plugScChans)
{
  SetInputChannelConnections(0, NInChannels(), true);
  SetOutputChannelConnections(0, NOutChannels(), true);
  SetBlockSize(1024);
}

void IPlugHeadless::Record(EHostCall kind, int idx, double value)
{
  mHostCalls.push_back({kind, idx, value});
}

int IPlugHeadless::CountHostCalls(EHostCall kind) const
{
  int n = 0;
  for (HostCall const& call : mHostCalls) n += call.mKind == kind;
  return n;
}

void IPlugHeadless::BeginInformHostOfParamChange(int idx)
{
  Record(EHostCall::kBeginEdit, idx, 0.0);
}

void IPlugHeadless::InformHostOfParamChange(int idx, double normalizedValue)
{
  Record(EHostCall::kAutomate, idx, normalizedValue);
}

void IPlugHeadless::EndInformHostOfParamChange(int idx)
{
  Record(EHostCall::kEndEdit, idx, 0.0);
}

void IPlugHeadless::InformHostOfProgramChange()
{
  Record(EHostCall::kProgramChange, 0, 0.0);
}

void IPlugHeadless::GetTimeSig(int* pNum, int* pDenom)
{
  *pNum = mTimeSigNum;
  *pDenom = mTimeSigDenom;
}

void IPlugHeadless::GetTime(ITimeInfo* pTimeInfo)
{
  pTimeInfo->mSamplePos = mSamplePos;
  pTimeInfo->mTempo = mTempo;
  pTimeInfo->mNumerator = mTimeSigNum;
  pTimeInfo->mDenominator = mTimeSigDenom;
}

void IPlugHeadless::ResizeGraphics(int w, int h)
{
  Record(EHostCall::kResizeGraphics, w, h);
}

bool IPlugHeadless::SendMidiMsg(IMidiMsg* pMsg)
{
  Record(EHostCall::kMidi, pMsg ? pMsg->mOffset : 0, pMsg ? pMsg->mStatus : 0);
  return true;
}

bool IPlugHeadless::SendSysEx(ISysEx* pSysEx)
{
  Record(EHostCall::kSysEx, pSysEx ? pSysEx->mOffset : 0, pSysEx ? pSysEx->mSize : 0);
  return true;
}
