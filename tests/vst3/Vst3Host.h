#pragma once
// A small VST 3 host for tests, on our own ABI header only: loads the built bundle's module with
// dlopen, makes instances through its factory, and plays the host's side of streams, parameter
// changes, the component handler and the view's frame with its run loop.

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/vst3/Vst3Abi.h"

namespace vst3host
{
using namespace vst3;

// The module this build made (TORVA_VST3_MODULE in the environment overrides it).
inline std::string ModulePath()
{
  char const* env = std::getenv("TORVA_VST3_MODULE");
  return env && env[0] ? env : TORVA_VST3_MODULE_PATH;
}

// The module's factory, with a reference for the caller; null when it cannot be loaded. The
// module stays loaded: editor threads may end a little after a test.
inline IPluginFactory* Factory()
{
  static void* const sLib = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
  auto const get =
      sLib ? reinterpret_cast<IPluginFactory* (*)()>(dlsym(sLib, "GetPluginFactory")) : nullptr;
  return get ? get() : nullptr;
}

// Reference counting for host objects that live on the test's stack: counted, never deleted.
template <class... Interfaces> class Local : public Interfaces...
{
public:
  uint32_t addRef() override { return ++mRefs; }
  uint32_t release() override { return --mRefs; }
  tresult queryInterface(TUID const iid, void** obj) override
  {
    *obj = Find(iid);
    if (!*obj) return kNoInterface;
    addRef();
    return kResultOk;
  }
  int mRefs = 0;

protected:
  virtual void* Find(TUID const) { return nullptr; }
};

// A memory stream, read from the start.
class Stream : public Local<IBStream>
{
public:
  Stream() = default;
  explicit Stream(std::vector<uint8_t> bytes) : mBytes(std::move(bytes)) {}
  tresult read(void* buffer, int32_t n, int32_t* got) override
  {
    size_t const k = std::min<size_t>(static_cast<size_t>(n), mBytes.size() - mPos);
    if (k) std::memcpy(buffer, mBytes.data() + mPos, k);
    mPos += k;
    if (got) *got = static_cast<int32_t>(k);
    return kResultOk;
  }
  tresult write(void* buffer, int32_t n, int32_t* written) override
  {
    auto const* p = static_cast<uint8_t const*>(buffer);
    mBytes.insert(mBytes.end(), p, p + n);
    if (written) *written = n;
    return kResultOk;
  }
  tresult seek(int64_t, int32_t, int64_t*) override { return kNotImplemented; }
  tresult tell(int64_t*) override { return kNotImplemented; }
  std::vector<uint8_t> mBytes;

private:
  size_t mPos = 0;
};

// One parameter's points in a block.
class Queue : public Local<IParamValueQueue>
{
public:
  Queue(ParamID id, std::vector<std::pair<int32_t, double>> points) : mId(id), mPoints(points) {}
  ParamID getParameterId() override { return mId; }
  int32_t getPointCount() override { return static_cast<int32_t>(mPoints.size()); }
  tresult getPoint(int32_t i, int32_t& offset, ParamValue& value) override
  {
    if (i < 0 || i >= getPointCount()) return kInvalidArgument;
    offset = mPoints[static_cast<size_t>(i)].first;
    value = mPoints[static_cast<size_t>(i)].second;
    return kResultOk;
  }
  tresult addPoint(int32_t, ParamValue, int32_t&) override { return kResultFalse; }

private:
  ParamID mId;
  std::vector<std::pair<int32_t, double>> mPoints;
};

class Changes : public Local<IParameterChanges>
{
public:
  int32_t getParameterCount() override { return static_cast<int32_t>(mQueues.size()); }
  IParamValueQueue* getParameterData(int32_t i) override
  {
    return i >= 0 && i < getParameterCount() ? &mQueues[static_cast<size_t>(i)] : nullptr;
  }
  IParamValueQueue* addParameterData(ParamID const&, int32_t&) override { return nullptr; }
  std::vector<Queue> mQueues;
};

// The component handler: every call as a line, marked when not on the thread that made it.
class Handler : public Local<IComponentHandler>
{
public:
  static std::string Id(ParamID id) { return std::to_string(id); }
  tresult beginEdit(ParamID id) override { return Note("begin " + Id(id)); }
  tresult performEdit(ParamID id, ParamValue) override { return Note("perform " + Id(id)); }
  tresult endEdit(ParamID id) override { return Note("end " + Id(id)); }
  tresult restartComponent(int32_t) override { return Note("restart"); }
  std::vector<std::string> Lines()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return mLines;
  }

private:
  tresult Note(std::string line)
  {
    if (std::this_thread::get_id() != mThread) line += " elsewhere";
    std::lock_guard<std::mutex> lock(mMutex);
    mLines.push_back(line);
    return kResultOk;
  }
  std::thread::id const mThread = std::this_thread::get_id();
  std::mutex mMutex;
  std::vector<std::string> mLines;
};

// The view's frame with the host's run loop: a timer the test fires by hand (Tick) on its own
// thread, which plays the host's UI thread; resize requests go to the view as the host's own.
class Frame : public Local<IPlugFrame, IRunLoop>
{
public:
  tresult resizeView(IPlugView* view, ViewRect* r) override { return view->onSize(r); }
  tresult registerEventHandler(IEventHandler*, int) override { return kResultFalse; }
  tresult unregisterEventHandler(IEventHandler*) override { return kResultOk; }
  tresult registerTimer(ITimerHandler* h, uint64_t) override
  {
    mTimer = h;
    return kResultOk;
  }
  tresult unregisterTimer(ITimerHandler* h) override
  {
    if (h == mTimer) mTimer = nullptr;
    return kResultOk;
  }
  void Tick()
  {
    if (mTimer) mTimer->onTimer();
  }
  ITimerHandler* mTimer = nullptr;
  bool mNoRunLoop = false; // a host that offers none

private:
  void* Find(TUID const iid) override
  {
    if (kIPlugFrameIID.Is(iid) || kFUnknownIID.Is(iid)) return static_cast<IPlugFrame*>(this);
    return kIRunLoopIID.Is(iid) && !mNoRunLoop ? static_cast<IRunLoop*>(this) : nullptr;
  }
};

// One instance through the factory: the component, and the processor and controller it is too,
// initialised, set up and active. Each interface holds a reference until Release.
struct Plug
{
  explicit Plug(double rate = 44100.0, int32_t sampleSize = kSample32, int32_t maxBlock = 512)
  {
    IPluginFactory* pFactory = Factory();
    if (!pFactory) return;
    PClassInfo info{};
    if (pFactory->getClassInfo(0, &info) == kResultOk)
      pFactory->createInstance(info.cid, kIComponentIID.bytes, reinterpret_cast<void**>(&mComp));
    pFactory->release();
    if (!mComp) return;
    mComp->queryInterface(kIAudioProcessorIID.bytes, reinterpret_cast<void**>(&mProc));
    mComp->queryInterface(kIEditControllerIID.bytes, reinterpret_cast<void**>(&mCtrl));
    mComp->initialize(nullptr);
    ProcessSetup setup{kRealtime, sampleSize, maxBlock, rate};
    if (mProc) mProc->setupProcessing(setup);
    mComp->setActive(1);
  }
  ~Plug() { Release(); }
  Plug(Plug const&) = delete;
  Plug& operator=(Plug const&) = delete;
  void Release()
  {
    if (mComp) mComp->terminate();
    for (FUnknown* p : {static_cast<FUnknown*>(mProc), static_cast<FUnknown*>(mCtrl),
                        static_cast<FUnknown*>(mComp)})
      if (p) p->release();
    mComp = nullptr, mProc = nullptr, mCtrl = nullptr;
  }
  explicit operator bool() const { return mComp && mProc && mCtrl; }

  // n frames of stereo float or double buffers, with the block's parameter changes.
  template <class T> tresult Process(T** in, T** out, int n, Changes* pChanges = nullptr)
  {
    AudioBusBuffers inBus{}, outBus{};
    inBus.numChannels = outBus.numChannels = 2;
    if constexpr (sizeof(T) == 8)
      inBus.channelBuffers64 = in, outBus.channelBuffers64 = out;
    else
      inBus.channelBuffers32 = in, outBus.channelBuffers32 = out;
    ProcessData data{};
    data.symbolicSampleSize = sizeof(T) == 8 ? kSample64 : kSample32;
    data.numSamples = n;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = pChanges;
    return mProc->process(data);
  }

  std::vector<uint8_t> State()
  {
    Stream s;
    return mComp->getState(&s) == kResultOk ? s.mBytes : std::vector<uint8_t>{};
  }

  IComponent* mComp = nullptr;
  IAudioProcessor* mProc = nullptr;
  IEditController* mCtrl = nullptr;
};

} // namespace vst3host
