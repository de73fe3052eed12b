#pragma once
// IPlugVST3: the plug-in base as a VST 3 component.
//
// One object serves both halves the format separates: it is the component and audio processor
// (buses, processing, the state hosts store) and the edit controller (parameters, texts, the
// editor's view); hosts find the controller by asking the component for it, so there is no
// controller class and no messages between the halves. The view is an object of its own that
// keeps the plug-in alive while the host holds it.
//
// Processing runs through the base's frame (ProcessBuffers: slices, conversions, floating-point
// mode), 32- or 64-bit samples as the host's setup says. Parameter changes arrive as points at
// sample offsets; the block is split at each offset, so a change lands on exactly the sample the
// host gave. Parameters are the base's normalised values; a two-valued parameter named "Bypass"
// is the host's bypass switch.
//
// State: getState writes exactly the program chunk a VST 2 host stores (GetHostChunk), setState
// takes one with its version header through LoadHostChunk, all or nothing. The controller's own
// state is empty, and setComponentState changes nothing: it is the state the component already
// took.
//
// Threads and locks: process on the host's audio thread under the plug-in mutex for the block;
// the other requests on the host's main or UI thread, under the plug-in mutex only while state
// changes or is read. No host call is made with it held. The editor thread's gestures and size
// requests are queued and handed to the host on its UI thread from a timer of the host's run
// loop (the view's frame offers one); a host without one hears them from the editor thread.

#include <atomic>
#include <mutex>
#include <vector>

#include "framework/GestureQueue.h"
#include "framework/IPlugBase.h"
#include "framework/vst3/Vst3Abi.h"

// What the factory hands the product's constructor: nothing.
struct IPlugInstanceInfo
{
};

namespace vst3detail
{
// The component's and the controller's getState and setState share names and signatures; these
// give each its own, so that one object can be both.
class ComponentSide : public vst3::IComponent
{
public:
  vst3::tresult setState(vst3::IBStream* state) final { return SetComponentState(state); }
  vst3::tresult getState(vst3::IBStream* state) final { return GetComponentState(state); }

protected:
  virtual vst3::tresult SetComponentState(vst3::IBStream* state) = 0;
  virtual vst3::tresult GetComponentState(vst3::IBStream* state) = 0;
};

class ControllerSide : public vst3::IEditController
{
public:
  vst3::tresult setState(vst3::IBStream*) final { return vst3::kResultOk; }
  vst3::tresult getState(vst3::IBStream*) final { return vst3::kResultOk; }
};
} // namespace vst3detail

class IPlugVST3 : public IPlugBase,
                  public vst3detail::ComponentSide,
                  public vst3::IAudioProcessor,
                  public vst3detail::ControllerSide,
                  public vst3::IConnectionPoint
{
public:
  // Same arguments as the other adapters'. Every channel connected, a block size of 1024 until
  // the host's setup. The reference count starts at 1, the creator's.
  IPlugVST3(IPlugInstanceInfo instanceInfo, int nParams, char const* channelIOStr, int nPresets,
            char const* effectName, char const* productName, char const* mfrName, int vendorVersion,
            int uniqueID, int mfrID, int latency = 0, bool plugDoesMidi = false,
            bool plugDoesChunks = false, bool plugIsInst = false, int plugScChans = 0);
  ~IPlugVST3() override;

  // The class identifier of a product: its manufacturer ID and unique ID as their four
  // characters each, then "VST3Plug". Stable as long as the two IDs are.
  static void ClassID(int mfrID, int uniqueID, char out[16]);
  // The module's factory (static: the host's releases never delete it).
  static vst3::IPluginFactory* Factory();

  // Largest frames per slice of the base's frame; longer host blocks are sliced.
  static constexpr int kMaxBlockSize = 65536;
  // Largest state setState reads (bytes); a longer stream is refused.
  static constexpr int kMaxChunkSize = 16 << 20;
  // How often the host's run loop hands the editor's gestures over (ms).
  static constexpr int kTimerMs = 16;

  // ---- FUnknown ---------------------------------------------------------------------------
  vst3::tresult queryInterface(vst3::TUID const iid, void** obj) override;
  uint32_t addRef() override;
  uint32_t release() override;

  // ---- IPluginBase ------------------------------------------------------------------------
  // The host's name (IHostApplication) identifies it. terminate lets go of the handler.
  vst3::tresult initialize(vst3::FUnknown* context) override;
  vst3::tresult terminate() override;

  // ---- IComponent -------------------------------------------------------------------------
  vst3::tresult getControllerClassId(vst3::TUID classId) override;
  vst3::tresult setIoMode(int32_t) override { return vst3::kResultOk; }
  int32_t getBusCount(int32_t type, int32_t dir) override;
  vst3::tresult getBusInfo(int32_t type, int32_t dir, int32_t index, vst3::BusInfo& bus) override;
  vst3::tresult getRoutingInfo(vst3::RoutingInfo&, vst3::RoutingInfo&) override
  {
    return vst3::kNotImplemented;
  }
  vst3::tresult activateBus(int32_t type, int32_t dir, int32_t index, vst3::TBool) override;
  vst3::tresult setActive(vst3::TBool state) override;

  // ---- IAudioProcessor --------------------------------------------------------------------
  // One main bus each way; any channel counts the configuration string allows.
  vst3::tresult setBusArrangements(vst3::SpeakerArrangement* inputs, int32_t numIns,
                                   vst3::SpeakerArrangement* outputs, int32_t numOuts) override;
  vst3::tresult getBusArrangement(int32_t dir, int32_t index,
                                  vst3::SpeakerArrangement& arr) override;
  vst3::tresult canProcessSampleSize(int32_t symbolicSampleSize) override;
  uint32_t getLatencySamples() override { return static_cast<uint32_t>(GetLatency()); }
  vst3::tresult setupProcessing(vst3::ProcessSetup& setup) override;
  vst3::tresult setProcessing(vst3::TBool) override { return vst3::kResultOk; }
  vst3::tresult process(vst3::ProcessData& data) override;
  uint32_t getTailSamples() override { return 0; }

  // ---- IEditController --------------------------------------------------------------------
  vst3::tresult setComponentState(vst3::IBStream*) override { return vst3::kResultOk; }
  int32_t getParameterCount() override { return NParams(); }
  vst3::tresult getParameterInfo(int32_t paramIndex, vst3::ParameterInfo& info) override;
  vst3::tresult getParamStringByValue(vst3::ParamID id, vst3::ParamValue valueNormalized,
                                      vst3::String128 string) override;
  vst3::tresult getParamValueByString(vst3::ParamID id, vst3::TChar* string,
                                      vst3::ParamValue& valueNormalized) override;
  vst3::ParamValue normalizedParamToPlain(vst3::ParamID id, vst3::ParamValue v) override;
  vst3::ParamValue plainParamToNormalized(vst3::ParamID id, vst3::ParamValue plain) override;
  vst3::ParamValue getParamNormalized(vst3::ParamID id) override;
  vst3::tresult setParamNormalized(vst3::ParamID id, vst3::ParamValue value) override;
  vst3::tresult setComponentHandler(vst3::IComponentHandler* handler) override;
  // "editor", once at a time, for a product with an editor.
  vst3::IPlugView* createView(vst3::FIDString name) override;

  // ---- IConnectionPoint: nothing to say to ourselves ---------------------------------------
  vst3::tresult connect(vst3::IConnectionPoint*) override { return vst3::kResultOk; }
  vst3::tresult disconnect(vst3::IConnectionPoint*) override { return vst3::kResultOk; }
  vst3::tresult notify(vst3::IMessage*) override { return vst3::kResultOk; }

  // ---- The base's host calls --------------------------------------------------------------
  // beginEdit / performEdit / endEdit of the host's component handler, never with a lock held.
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  // restartComponent: every parameter's value may have changed.
  void InformHostOfProgramChange() override;
  bool IsRenderingOffline() override { return mProcessMode == vst3::kOffline; }
  // No process context is read: zeros, as from a host that reports nothing.
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  // The view's frame is asked to resize (resizeView) where the gestures go to the host.
  void RequestEditorSize(int w, int h) override;
  bool SendMidiMsg(IMidiMsg*) override { return false; }

protected:
  vst3::tresult SetComponentState(vst3::IBStream* state) override;
  vst3::tresult GetComponentState(vst3::IBStream* state) override;

private:
  class View;

  // A point of the host's automation: normalised value into parameter id. Lock held.
  void ApplyPoint(vst3::ParamID id, double value);
  // Applies every point of the block with lo < offset <= hi, queues in order.
  void ApplyPoints(vst3::IParameterChanges* pChanges, int lo, int hi);
  // The smallest offset of a point after `after`, or INT_MAX.
  static int NextOffset(vst3::IParameterChanges* pChanges, int after);
  // Frames start .. start + n - 1 of the host's buffers through the base's frame.
  void RunSegment(vst3::ProcessData const& data, int start, int n);

  bool IsBypass(IParam const& param) const;
  bool OnEditorThread() const;
  void Queue(GestureQueue::Gesture::EKind kind, int idx, double value);
  // Hands the queued gestures to the host, one thread at a time, on the calling thread.
  void DeliverGestures();
  void AskHostForEditorSize(int w, int h);
  // The host's component handler with a reference of ours, or null.
  vst3::IComponentHandler* Handler();

  std::atomic<uint32_t> mRefCount{1};
  int32_t mSampleSize = vst3::kSample32;
  int32_t mProcessMode = vst3::kRealtime;
  int mInConnected, mOutConnected;
  // The host's channel pointers, offset to the segment; made at construction.
  std::vector<float*> mSeg32In, mSeg32Out;
  std::vector<double*> mSeg64In, mSeg64Out;

  std::mutex mHandlerMutex; // only to copy the pointer in or out
  vst3::IComponentHandler* mHandler = nullptr;

  // The view: created and dropped one at a time; its window opened and closed under it.
  std::recursive_mutex mEditorMutex;
  View* mView = nullptr;
  std::atomic<bool> mTimerDelivers{false}; // the view's timer takes the gestures to the host
  GestureQueue mGestures;
  std::vector<GestureQueue::Gesture> mDraining; // the deliverer's, while mDelivering
  std::atomic<bool> mDelivering{false};
};

// Defined by each plug-in module, like the other adapters' factories: the product, and the
// subcategories its class shows hosts ("Fx|Distortion").
IPlugVST3* MakePlug(IPlugInstanceInfo const& instanceInfo);
char const* Vst3SubCategories();
