#include "framework/vst2/IPlugVST.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "framework/Log.h"
#include "framework/TruncToInt.h"
#include "graphics/IGraphics.h"

namespace
{
IPlugVST* PlugOf(AEffect* pEffect)
{
  return pEffect ? static_cast<IPlugVST*>(pEffect->object) : nullptr;
}

// Decimal host version (2400) to the packed form (0x1800): v / 10000 . v % 10000 / 100 . v % 100.
int PackDecimalVersion(VstIntPtr v)
{
  int const d = v < 0 || v > 0x7fffffff ? 0 : static_cast<int>(v);
  return (d / 10000) * 65536 + ((d % 10000) / 100) * 256 + d % 100;
}

// A host whose last effEditIdle is this recent idles its editor: gestures wait for the next one.
// Hosts idle 10 to 60 times a second; one that stops gets them from the editor thread again.
constexpr int64_t kEditIdleGraceMs = 250;
} // namespace

IPlugVST::IPlugVST(IPlugInstanceInfo instanceInfo, int nParams, char const* channelIOStr,
                   int nPresets, char const* effectName, char const* productName,
                   char const* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency,
                   bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int plugScChans)
    : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIVST2),
      mHostCallback(instanceInfo.mVSTHostCallback), mScChans(plugScChans)
{
  Trace("IPlugVST", __LINE__, "%s", effectName ? effectName : "");

  int const nIn = NInChannels(), nOut = NOutChannels();

  mAEffect.magic = kEffectMagic;
  mAEffect.dispatcher = VSTDispatcher;
  mAEffect.process = VSTProcess;
  mAEffect.setParameter = VSTSetParameter;
  mAEffect.getParameter = VSTGetParameter;
  mAEffect.numPrograms = nPresets;
  mAEffect.numParams = nParams;
  mAEffect.numInputs = nIn;
  mAEffect.numOutputs = nOut;
  mAEffect.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (plugDoesChunks) mAEffect.flags |= effFlagsProgramChunks;
  if (LegalIO(1, -1)) mAEffect.flags |= effFlagsCanMono;
  if (plugIsInst) mAEffect.flags |= effFlagsIsSynth;
  mAEffect.initialDelay = latency;
  mAEffect.ioRatio = 1.0f;
  mAEffect.object = this;
  mAEffect.uniqueID = uniqueID;
  mAEffect.version = GetEffectVersion(true);
  mAEffect.processReplacing = VSTProcessReplacing;
  mAEffect.processDoubleReplacing = VSTProcessDoubleReplacing;

  mInputSpkrArr.numChannels = nIn;
  mInputSpkrArr.type = VSTSpkrArrType(nIn);
  mOutputSpkrArr.numChannels = nOut;
  mOutputSpkrArr.type = VSTSpkrArrType(nOut);

  SetInputChannelConnections(0, nIn, true);
  SetOutputChannelConnections(0, nOut, true);
  SetBlockSize(1024);
}

IPlugVST::~IPlugVST()
{
  // The record may outlive us in a careless host's hands: make its callbacks find nothing.
  mAEffect.object = nullptr;
}

VstInt32 IPlugVST::VSTSpkrArrType(int nChannels)
{
  // Compared as unsigned, so a negative count is user-defined too.
  unsigned const n = static_cast<unsigned>(nChannels);
  return n <= 2 ? static_cast<VstInt32>(n) - 1 : kSpeakerArrUserDefined;
}

VstIntPtr IPlugVST::HostCall(VstInt32 opcode, VstInt32 idx, VstIntPtr value, void* ptr, float opt)
{
  if (!mHostCallback) return 0;
  // Counted before the close flag is read, as Close sets the flag before it reads the count:
  // either the close sees this call or this call sees the close.
  mHostCallsInProgress.fetch_add(1);
  if (mClosed.load())
  {
    mHostCallsInProgress.fetch_sub(1);
    return 0;
  }
  IGraphics* pGraphics = GetGUI();
  if (pGraphics) pGraphics->SetInHostCall(true);
  VstIntPtr const result = mHostCallback(&mAEffect, opcode, idx, value, ptr, opt);
  if (pGraphics) pGraphics->SetInHostCall(false);
  mHostCallsInProgress.fetch_sub(1);
  return result;
}

bool IPlugVST::InUseOutsideTheLock() const
{
  return mHostCallsInProgress.load() > 0 || mUnlockedRequests.load() > 0 || mDelivering.load();
}

void IPlugVST::Close()
{
  mClosed.store(true);
  // Callers further up this thread's stack, or another request of ours, still use the object.
  bool const reentered = InUseOutsideTheLock();
  if (reentered) mAEffect.object = nullptr; // the record's callbacks find nothing from now on
  IGraphics* pGraphics = GetGUI();
  mMutex.Leave();
  // Joins the editor thread, unless this is that thread (closed from inside a callback) or it is
  // inside a call to the host: then it ends by itself and is joined before the delete.
  if (pGraphics) pGraphics->CloseWindow();
  if (!reentered)
  {
    delete this;
    return;
  }
  try
  {
    std::thread(DeleteWhenIdle, this).detach();
  }
  catch (...)
  {
    // No thread to wait with: leaking the object beats deleting it under its callers.
  }
}

void IPlugVST::DeleteWhenIdle(IPlugVST* pPlug)
{
  for (;;)
  {
    pPlug->mMutex.Enter();
    bool const idle = !pPlug->InUseOutsideTheLock();
    pPlug->mMutex.Leave();
    if (idle) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // An editor thread that was inside a host call is finishing its event: the product's part of
  // the object must outlive it.
  if (IGraphics* pGraphics = pPlug->GetGUI()) pGraphics->CloseWindow();
  delete pPlug;
}

// ---- Host notifications ------------------------------------------------------------------

int64_t IPlugVST::SteadyMs()
{
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool IPlugVST::OnEditorThread() const
{
  IGraphics const* pGraphics = GetGUI();
  return pGraphics && pGraphics->OnEditorThread();
}

void IPlugVST::BeginInformHostOfParamChange(int idx)
{
  if (OnEditorThread())
    QueueGesture(GestureQueue::Gesture::kBegin, idx, 0.0);
  else
    HostCall(audioMasterBeginEdit, idx);
}

void IPlugVST::InformHostOfParamChange(int idx, double normalizedValue)
{
  if (OnEditorThread())
    QueueGesture(GestureQueue::Gesture::kValue, idx, normalizedValue);
  else
    HostCall(audioMasterAutomate, idx, 0, nullptr, static_cast<float>(normalizedValue));
}

void IPlugVST::EndInformHostOfParamChange(int idx)
{
  if (OnEditorThread())
    QueueGesture(GestureQueue::Gesture::kEnd, idx, 0.0);
  else
    HostCall(audioMasterEndEdit, idx);
}

void IPlugVST::QueueGesture(GestureQueue::Gesture::EKind kind, int idx, double value)
{
  mGestures.Push(kind, idx, value);
  if (mEditorClosing.load()) return; // effEditClose delivers them once the thread has ended
  int64_t const lastIdle = mLastEditIdleMs.load();
  if (lastIdle != 0 && SteadyMs() - lastIdle < kEditIdleGraceMs) return;
  DeliverGestures();
}

void IPlugVST::RequestEditorSize(int w, int h)
{
  if (OnEditorThread())
    QueueGesture(GestureQueue::Gesture::kEditorSize, w, h);
  else
    AskHostForEditorSize(w, h);
}

void IPlugVST::AskHostForEditorSize(int w, int h)
{
  bool const accepted = HostCall(audioMasterSizeWindow, w, h) != 0;
  if (IGraphics* pGraphics = GetGUI()) pGraphics->EditorSizeAnswered(w, h, accepted);
}

void IPlugVST::DeliverGestures()
{
  // One deliverer at a time keeps the host's order; a thread that finds another at it leaves
  // the rest to that one, which looks again before it stops.
  while (!mDelivering.exchange(true))
  {
    mGestures.TakeAll(&mGestureBatch);
    for (GestureQueue::Gesture const& g : mGestureBatch)
    {
      if (mClosed.load()) break;
      if (g.mKind == GestureQueue::Gesture::kEditorSize)
        AskHostForEditorSize(g.mIdx, static_cast<int>(g.mValue));
      else if (g.mKind == GestureQueue::Gesture::kBegin)
        HostCall(audioMasterBeginEdit, g.mIdx);
      else if (g.mKind == GestureQueue::Gesture::kValue)
        HostCall(audioMasterAutomate, g.mIdx, 0, nullptr, static_cast<float>(g.mValue));
      else
        HostCall(audioMasterEndEdit, g.mIdx);
    }
    bool const closed = mClosed.load();
    mDelivering.store(false);
    // Closed: a helper may delete the object as soon as the flag is down.
    if (closed || mGestures.Empty()) return;
  }
}

void IPlugVST::InformHostOfProgramChange()
{
  HostCall(audioMasterUpdateDisplay);
}

// ---- Host queries ------------------------------------------------------------------------

bool IPlugVST::IsRenderingOffline()
{
  return HostCall(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline;
}

int IPlugVST::GetSamplePos()
{
  auto const* t = reinterpret_cast<VstTimeInfo const*>(HostCall(audioMasterGetTime));
  if (t && t->samplePos >= 0.0) return TruncToInt(t->samplePos + 0.5);
  return 0;
}

double IPlugVST::GetTempo()
{
  if (!mHostCallback) return 0.0;
  auto const* t =
      reinterpret_cast<VstTimeInfo const*>(HostCall(audioMasterGetTime, 0, kVstTempoValid));
  if (t && (t->flags & kVstTempoValid) && t->tempo >= 0.0) return t->tempo;
  return 0.0;
}

void IPlugVST::GetTimeSig(int* pNum, int* pDenom)
{
  int num = 0, denom = 0;
  auto const* t =
      reinterpret_cast<VstTimeInfo const*>(HostCall(audioMasterGetTime, 0, kVstTimeSigValid));
  if (t && (t->flags & kVstTimeSigValid) && t->timeSigNumerator >= 0 && t->timeSigDenominator >= 0)
  {
    num = t->timeSigNumerator;
    denom = t->timeSigDenominator;
  }
  if (pNum) *pNum = num;
  if (pDenom) *pDenom = denom;
}

void IPlugVST::GetTime(ITimeInfo* pTimeInfo)
{
  constexpr VstInt32 kWanted =
      kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  auto const* t = reinterpret_cast<VstTimeInfo const*>(HostCall(audioMasterGetTime, 0, kWanted));
  if (!pTimeInfo || !t || !(t->flags & kWanted)) return;

  pTimeInfo->mSamplePos = t->samplePos;
  if ((t->flags & kVstPpqPosValid) && t->ppqPos >= 0.0) pTimeInfo->mPPQPos = t->ppqPos;
  if ((t->flags & kVstTempoValid) && t->tempo > 0.0) pTimeInfo->mTempo = t->tempo;
  if ((t->flags & kVstBarsValid) && t->barStartPos >= 0.0) pTimeInfo->mLastBar = t->barStartPos;
  if ((t->flags & kVstCyclePosValid) && t->cycleStartPos >= 0.0 && t->cycleEndPos >= 0.0)
  {
    pTimeInfo->mCycleStart = t->cycleStartPos;
    pTimeInfo->mCycleEnd = t->cycleEndPos;
  }
  if ((t->flags & kVstTimeSigValid) && t->timeSigNumerator > 0 && t->timeSigDenominator > 0)
  {
    pTimeInfo->mNumerator = t->timeSigNumerator;
    pTimeInfo->mDenominator = t->timeSigDenominator;
  }
  pTimeInfo->mTransportIsRunning = (t->flags & kVstTransportPlaying) != 0;
  pTimeInfo->mTransportLoopEnabled = (t->flags & kVstTransportCycleActive) != 0;
}

EHost IPlugVST::GetHost()
{
  EHost const known = IPlugBase::GetHost();
  if (known != kHostUninit) return known;

  int state = kHostNotAsked;
  if (mHostQuery.compare_exchange_strong(state, kHostAsking))
  {
    mHostAsker.store(std::this_thread::get_id());
    // Room well beyond the published 64 characters, terminated whatever the host writes.
    char productStr[256] = {};
    HostCall(audioMasterGetProductString, 0, 0, productStr);
    productStr[sizeof productStr - 1] = '\0';
    int version = 0;
    if (productStr[0]) version = PackDecimalVersion(HostCall(audioMasterGetVendorVersion));
    SetHost(productStr, version);
    mHostQuery.store(kHostAnswered);
    mHostQuery.notify_all();
  }
  else if (state == kHostAsking && mHostAsker.load() != std::this_thread::get_id())
    mHostQuery.wait(kHostAsking);
  return IPlugBase::GetHost();
}

// ---- Editor and set-up -------------------------------------------------------------------

void IPlugVST::ResizeGraphics(int, int)
{
  if (IGraphics* pGraphics = GetGUI())
  {
    mEditRect.top = mEditRect.left = 0;
    mEditRect.right = static_cast<VstInt16>(pGraphics->Width());
    mEditRect.bottom = static_cast<VstInt16>(pGraphics->Height());
    OnWindowResize();
  }
}

void IPlugVST::HostSpecificInit()
{
  if (mHostSpecificInitDone) return;
  mHostSpecificInitDone = true;

  switch (GetHost())
  {
  case kHostForte:
  case kHostAudition:
  case kHostOrion:
  case kHostSAWStudio:
    LimitToStereoIO();
    break;
  default:
    break;
  }
  mInputSpkrArr.numChannels = mAEffect.numInputs = NInChannels();
  mOutputSpkrArr.numChannels = mAEffect.numOutputs = NOutChannels();
  OnHostIdentified();
}

void IPlugVST::AttachGraphics(IGraphics* pGraphics)
{
  if (!pGraphics) return;
  IPlugBase::AttachGraphics(pGraphics);
  mAEffect.flags |= effFlagsHasEditor;
  mEditRect.top = mEditRect.left = 0;
  mEditRect.right = static_cast<VstInt16>(pGraphics->Width());
  mEditRect.bottom = static_cast<VstInt16>(pGraphics->Height());
}

void IPlugVST::SetLatency(int samples)
{
  mAEffect.initialDelay = samples;
  IPlugBase::SetLatency(samples);
}

// ---- Events to the host ------------------------------------------------------------------

bool IPlugVST::SendVSTEvent(VstEvent* pEvent)
{
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = pEvent;
  return HostCall(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool IPlugVST::SendMidiMsg(IMidiMsg* pMsg)
{
  if (!pMsg) return false;
  VstMidiEvent ev{};
  ev.type = kVstMidiType;
  ev.byteSize = static_cast<VstInt32>(sizeof ev);
  ev.deltaFrames = pMsg->mOffset;
  ev.midiData[0] = static_cast<char>(pMsg->mStatus);
  ev.midiData[1] = static_cast<char>(pMsg->mData1);
  ev.midiData[2] = static_cast<char>(pMsg->mData2);
  return SendVSTEvent(reinterpret_cast<VstEvent*>(&ev));
}

bool IPlugVST::SendSysEx(ISysEx* pSysEx)
{
  if (!pSysEx) return false;
  VstMidiSysexEvent ev{};
  ev.type = kVstSysExType;
  ev.byteSize = static_cast<VstInt32>(sizeof ev);
  ev.deltaFrames = pSysEx->mOffset;
  ev.dumpBytes = pSysEx->mSize;
  ev.sysexDump = reinterpret_cast<char*>(const_cast<uint8_t*>(pSysEx->mData));
  return SendVSTEvent(reinterpret_cast<VstEvent*>(&ev));
}

// ---- Audio and parameter callbacks ---------------------------------------------------------
//
// The base records the host's buffers and runs the product in slices of at most the block size,
// so a host block longer than announced, a null buffer array or channel pointer, or zero frames
// never reaches outside a buffer.

void IPlugVST::VSTProcess(AEffect* pEffect, float** inputs, float** outputs, VstInt32 nFrames)
{
  IPlugVST* pPlug = PlugOf(pEffect);
  if (!pPlug) return;
  if (pPlug->DoesMIDI()) pPlug->HostCall(audioMasterWantMidi); // never under the lock
  WDL_MutexLock lock(&pPlug->mMutex);
  pPlug->AttachInputBuffers(0, pPlug->NInChannels(), inputs, nFrames);
  pPlug->AttachOutputBuffers(0, pPlug->NOutChannels(), outputs);
  pPlug->ProcessBuffersAccumulating(0.0f, nFrames);
}

void IPlugVST::VSTProcessReplacing(AEffect* pEffect, float** inputs, float** outputs,
                                   VstInt32 nFrames)
{
  IPlugVST* pPlug = PlugOf(pEffect);
  if (!pPlug) return;
  if (pPlug->DoesMIDI()) pPlug->HostCall(audioMasterWantMidi); // never under the lock
  WDL_MutexLock lock(&pPlug->mMutex);
  pPlug->AttachInputBuffers(0, pPlug->NInChannels(), inputs, nFrames);
  pPlug->AttachOutputBuffers(0, pPlug->NOutChannels(), outputs);
  pPlug->ProcessBuffers(0.0f, nFrames);
}

void IPlugVST::VSTProcessDoubleReplacing(AEffect* pEffect, double** inputs, double** outputs,
                                         VstInt32 nFrames)
{
  IPlugVST* pPlug = PlugOf(pEffect);
  if (!pPlug) return;
  if (pPlug->DoesMIDI()) pPlug->HostCall(audioMasterWantMidi); // never under the lock
  WDL_MutexLock lock(&pPlug->mMutex);
  pPlug->AttachInputBuffers(0, pPlug->NInChannels(), inputs);
  pPlug->AttachOutputBuffers(0, pPlug->NOutChannels(), outputs);
  pPlug->ProcessBuffers(0.0, nFrames);
}

float IPlugVST::VSTGetParameter(AEffect* pEffect, VstInt32 idx)
{
  Trace("VSTGetParameter", __LINE__, "%d", idx);
  IPlugVST* pPlug = PlugOf(pEffect);
  if (!pPlug) return 0.0f;
  WDL_MutexLock lock(&pPlug->mMutex);
  IParam const* pParam = pPlug->GetParam(idx);
  return pParam ? static_cast<float>(pParam->GetNormalized()) : 0.0f;
}

void IPlugVST::VSTSetParameter(AEffect* pEffect, VstInt32 idx, float value)
{
  Trace("VSTSetParameter", __LINE__, "%d:%f", idx, static_cast<double>(value));
  IPlugVST* pPlug = PlugOf(pEffect);
  if (!pPlug) return;
  WDL_MutexLock lock(&pPlug->mMutex);
  IParam* pParam = pPlug->GetParam(idx);
  // A NaN or infinite position from the host would end up in the gains and filter memories.
  if (!pParam || !std::isfinite(value)) return;
  if (IGraphics* pGraphics = pPlug->GetGUI()) pGraphics->SetParameterFromPlug(idx, value, true);
  pParam->SetNormalized(value);
  pPlug->OnParamChange(idx);
}
