#pragma once
// IPlugVST: the plug-in base as a VST 2 effect.
//
// The adapter fills the effect record the host talks to and implements the base's host calls
// through the callback the host passed to the entry function. Every callback in the record
// (dispatcher, the three process forms, parameter get and set) finds the plug-in through the
// record's object field.
//
// Threads and locks: the process callbacks run on the host's audio thread; the dispatcher and
// the parameter callbacks usually on its main thread; editor gestures on the editor thread. The
// plug-in mutex is held only while the plug-in's state changes or is read: a block, a parameter
// get or set, a chunk, a request that changes settings. The editor requests (effEditGetRect,
// effEditOpen, effEditClose, effEditIdle) do their window work without it; opening and closing
// take a lock of their own that nothing on the audio path takes. No call to the host is made
// with the plug-in mutex held: a host may answer on another thread that needs it.
//
// Gestures. Begin-edit, automate and end-edit from the editor thread are queued. A host that
// calls effEditIdle hears them there, on its GUI thread, in the order the user made them; one
// that does not idle hears them from the editor thread as they happen. What an editor leaves
// behind when it closes is delivered by effEditClose.
//
// Texts handed to the host are cut to what hosts reserve in practice: parameter name, label and
// display 23 characters, program names 23, effect name 31, vendor and product 63 (each plus the
// terminator).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/ByteChunk.h"
#include "framework/GestureQueue.h"
#include "framework/IPlugBase.h"
#include "framework/vst2/VstAbi.h"

// What the entry function hands the product's constructor.
struct IPlugInstanceInfo
{
  audioMasterCallback mVSTHostCallback = nullptr;
};

class IPlugVST : public IPlugBase
{
public:
  // Builds the base (API VST 2), fills the effect record, connects every channel and sets a
  // block size of 1024. The manufacturer ID and side-chain channels are not part of the record.
  IPlugVST(IPlugInstanceInfo instanceInfo, int nParams, char const* channelIOStr, int nPresets,
           char const* effectName, char const* productName, char const* mfrName, int vendorVersion,
           int uniqueID, int mfrID, int latency = 0, bool plugDoesMidi = false,
           bool plugDoesChunks = false, bool plugIsInst = false, int plugScChans = 0);
  ~IPlugVST() override;

  // audioMasterBeginEdit / audioMasterAutomate / audioMasterEndEdit, never with the lock held.
  // On the editor thread they are queued (see Gestures above); from any other thread the host
  // is told at once.
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  // audioMasterUpdateDisplay.
  void InformHostOfProgramChange() override;

  // Transport and render state from the host (audioMasterGetTime, audioMasterGetCurrent-
  // ProcessLevel). Audio thread, lock held; fields the host marks invalid are not used.
  bool IsRenderingOffline() override;
  int GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  // Identifies the host once, by its product string and decimal version. Any thread: the host
  // is asked exactly once, holding no lock of ours (only what the caller holds), since the host
  // may call back into the plug-in while it answers. Other threads wait for that answer; a call
  // from inside it (the host calling back on the asking thread) gets kHostUninit rather than
  // asking again or waiting for itself.
  EHost GetHost() override;

  // The edit rectangle follows the editor's size; the host is not asked to resize its window.
  void ResizeGraphics(int w, int h) override;
  // Asked of the host (audioMasterSizeWindow) on the thread that delivers the editor's gestures.
  void RequestEditorSize(int w, int h) override;
  // Once per object, from effOpen: identifies the host, limits a few old hosts to stereo and
  // publishes the channel counts.
  void HostSpecificInit() override;
  // The base's attach, then the record announces an editor of the context's size.
  void AttachGraphics(IGraphics* pGraphics) override;
  // Writes the record's initialDelay too; the host is not notified.
  void SetLatency(int samples) override;

  // audioMasterProcessEvents with one event; true when the host returns 1.
  bool SendMidiMsg(IMidiMsg* pMsg) override;
  bool SendSysEx(ISysEx* pSysEx) override;
  bool SendVSTEvent(VstEvent* pEvent);

  audioMasterCallback GetHostCallback() const { return mHostCallback; }
  // Accepted from the product, not announced to the host.
  int GetSideChainChannels() const { return mScChans; }
  AEffect* GetAEffect() { return &mAEffect; }
  ERect const& GetEditRect() const { return mEditRect; }
  // Bit 0: the host asked for "hasCockosExtensions"; bit 1: for "hasCockosViewAsConfig".
  int GetHostExtensionFlags() const { return mHasVSTExtensions; }
  VstSpeakerArrangement const& GetInputSpeakerArrangement() const { return mInputSpkrArr; }
  VstSpeakerArrangement const& GetOutputSpeakerArrangement() const { return mOutputSpkrArr; }

  // The arrangement type of n channels: -1 empty, 0 mono, 1 stereo, -2 user-defined otherwise.
  static VstInt32 VSTSpkrArrType(int nChannels);

  // Largest host chunk effSetChunk accepts (bytes); bigger sizes are refused unread.
  static constexpr VstIntPtr kMaxHostChunkSize = 16 << 20;
  // effSetBlockSize keeps the scratch buffers within this many frames; bigger host blocks are
  // processed in slices by the base.
  static constexpr int kMaxBlockSize = 65536;

private:
  // effClose, entered with the lock held once by the dispatcher. The host is not called again;
  // the editor window is closed once the lock is let go, then the object is deleted. When the
  // host closes from inside one of our calls to it (a gesture's automate or begin-edit, the
  // host query of effOpen) or while another request of ours runs without the lock, the code
  // that made that call still runs on this object: a helper thread deletes it once the lock is
  // free, no such call is in progress and the editor's threads have ended.
  void Close();
  bool InUseOutsideTheLock() const;
  static void DeleteWhenIdle(IPlugVST* pPlug);

  // Any call to the host. Counted, so that a close from inside it waits; an editor thread inside
  // one is not waited for by a closer (the host may be waiting for the closer).
  VstIntPtr HostCall(VstInt32 opcode, VstInt32 idx = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  // The editor requests, served without the plug-in mutex.
  VstIntPtr DoEditorRequest(VstInt32 opCode, void* ptr);
  // A gesture from the editor thread into the queue, delivered at once unless the host idles
  // the editor or the editor is closing.
  void QueueGesture(GestureQueue::Gesture::EKind kind, int idx, double value);
  // Hands the queued gestures to the host, one thread at a time, on the calling thread.
  void DeliverGestures();
  void AskHostForEditorSize(int w, int h);
  bool OnEditorThread() const;
  static int64_t SteadyMs();

  // The record's callbacks.
  static VstIntPtr VSTDispatcher(AEffect* pEffect, VstInt32 opCode, VstInt32 idx, VstIntPtr value,
                                 void* ptr, float opt);
  static void VSTProcess(AEffect* pEffect, float** inputs, float** outputs, VstInt32 nFrames);
  static void VSTProcessReplacing(AEffect* pEffect, float** inputs, float** outputs,
                                  VstInt32 nFrames);
  static void VSTProcessDoubleReplacing(AEffect* pEffect, double** inputs, double** outputs,
                                        VstInt32 nFrames);
  static float VSTGetParameter(AEffect* pEffect, VstInt32 idx);
  static void VSTSetParameter(AEffect* pEffect, VstInt32 idx, float value);

  // The dispatcher's longer state requests (VSTDispatcher.cpp); all run with the lock held.
  VstIntPtr DoSetChunk(void const* pData, VstIntPtr size, bool isBank);
  VstIntPtr DoProcessEvents(VstEvents const* pEvents);
  VstIntPtr DoString2Parameter(int idx, char const* text);
  VstIntPtr DoPinProperties(int idx, VstPinProperties* pProps, bool isInput);
  VstIntPtr DoSetSpeakerArrangement(VstSpeakerArrangement const* pIn,
                                    VstSpeakerArrangement const* pOut);
  VstIntPtr DoCanDo(char const* str);
  VstIntPtr DoVendorSpecific(int idx, VstIntPtr value, void* ptr, float opt);

  ERect mEditRect{};
  audioMasterCallback mHostCallback;
  std::atomic<int> mHostCallsInProgress{0};
  std::atomic<int> mUnlockedRequests{0}; // dispatcher requests running without the lock
  std::atomic<bool> mClosed{false};      // effClose seen: the host is not called any more

  // Editor window lifetime: effEditOpen and effEditClose one at a time.
  std::recursive_mutex mEditorMutex;
  GestureQueue mGestures;
  std::vector<GestureQueue::Gesture> mGestureBatch; // the deliverer's, while mDelivering
  std::atomic<bool> mDelivering{false};
  std::atomic<bool> mEditorClosing{false};
  std::atomic<int64_t> mLastEditIdleMs{0}; // steady clock; 0 before any effEditIdle
  VstSpeakerArrangement mInputSpkrArr{};
  VstSpeakerArrangement mOutputSpkrArr{};
  bool mHostSpecificInitDone = false;
  // Lazy identification: not asked, being asked (by mHostAsker), answered.
  enum EHostQuery : int
  {
    kHostNotAsked,
    kHostAsking,
    kHostAnswered
  };
  std::atomic<int> mHostQuery{kHostNotAsked};
  std::atomic<std::thread::id> mHostAsker{};
  int mScChans;
  int mHasVSTExtensions = 0;
  ByteChunk mState;     // program chunk handed to the host
  ByteChunk mBankState; // bank chunk handed to the host
  AEffect mAEffect{};
};

// The product's factory, defined by each plug-in module: the entry function constructs the
// plug-in through it so that the adapter needs no product header.
IPlugVST* MakePlug(IPlugInstanceInfo const& instanceInfo);
