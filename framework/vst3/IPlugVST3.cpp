#include "framework/vst3/IPlugVST3.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "framework/WDL_Mutex.h"
#include "graphics/IGraphics.h"

using namespace vst3;

namespace
{

// UTF-8 into a terminated UTF-16 field of cap units; what does not fit is cut.
void ToUtf16(char const* s, char16* out, int cap)
{
  int n = 0;
  auto const* p = reinterpret_cast<unsigned char const*>(s ? s : "");
  while (*p && n < cap - 1)
  {
    uint32_t c = *p++;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    c &= more == 3 ? 0x07 : more == 2 ? 0x0F : more == 1 ? 0x1F : 0x7F;
    for (; more > 0 && (*p & 0xC0) == 0x80; --more) c = (c << 6) | (*p++ & 0x3F);
    if (more > 0 || c > 0xFFFF) c = u'?'; // cut short, or beyond the basic plane
    out[n++] = static_cast<char16>(c);
  }
  out[n] = 0;
}

// A terminated UTF-16 text into UTF-8 (cap bytes with terminator); false when it does not fit.
bool ToUtf8(char16 const* s, char* out, int cap)
{
  int n = 0;
  for (; s && *s; ++s)
  {
    uint32_t const c = *s;
    int const len = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (n + len >= cap) return false;
    if (len == 1)
      out[n++] = static_cast<char>(c);
    else if (len == 2)
      out[n++] = static_cast<char>(0xC0 | (c >> 6)),
      out[n++] = static_cast<char>(0x80 | (c & 0x3F));
    else
    {
      out[n++] = static_cast<char>(0xE0 | (c >> 12));
      out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out[n] = '\0';
  return true;
}

SpeakerArrangement ArrangementOf(int nChannels)
{
  if (nChannels == 1) return SpeakerArr::kMono;
  return nChannels <= 0 ? SpeakerArr::kEmpty : (SpeakerArrangement(1) << nChannels) - 1;
}

Sample32* const* Buffers(AudioBusBuffers const& bus, Sample32*)
{
  return bus.channelBuffers32;
}
Sample64* const* Buffers(AudioBusBuffers const& bus, Sample64*)
{
  return bus.channelBuffers64;
}

// A host channel from frame start on; null (silence in, nowhere out) where the host gives none.
template <class T> T* HostChannel(AudioBusBuffers const* pBus, int ch, int start)
{
  if (!pBus || ch >= pBus->numChannels) return nullptr;
  T* const* buffers = Buffers(*pBus, static_cast<T*>(nullptr));
  return buffers && buffers[ch] ? buffers[ch] + start : nullptr;
}

// The editor's size nearest to a factor, as the editor picks it (ties to the larger); the
// adapter reaches the editor only through its virtual table and inline code.
int NearestScale(double factor)
{
  int best = 100;
  if (!std::isfinite(factor) || factor <= 0.0) return best;
  for (int s : IGraphics::kScales)
    if (std::fabs(s - factor * 100.0) <= std::fabs(best - factor * 100.0)) best = s;
  return best;
}

// Reads the whole stream (at most cap + 1 bytes, so that a longer one shows).
bool ReadAll(IBStream* pStream, std::vector<uint8_t>* pOut, size_t cap)
{
  pOut->clear();
  uint8_t buffer[4096];
  for (;;)
  {
    int32_t got = 0;
    if (pStream->read(buffer, sizeof buffer, &got) != kResultOk || got <= 0) return true;
    if (got > static_cast<int32_t>(sizeof buffer)) return false;
    pOut->insert(pOut->end(), buffer, buffer + got);
    if (pOut->size() > cap) return false;
  }
}

} // namespace

// ---- The view ---------------------------------------------------------------------------------

// The editor in the host's X11 window. Holds a reference to the plug-in for as long as it lives;
// its window is opened in attached and closed in removed (or when the host lets go of the view
// without removing it). A timer of the host's run loop, on the host's UI thread, hands the
// editor's gestures over.
class IPlugVST3::View final : public IPlugView,
                              public IPlugViewContentScaleSupport,
                              public ITimerHandler
{
public:
  explicit View(IPlugVST3* pPlug) : mPlug(pPlug) { mPlug->addRef(); }

  tresult queryInterface(TUID const iid, void** obj) override
  {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (kFUnknownIID.Is(iid) || kIPlugViewIID.Is(iid))
      *obj = static_cast<IPlugView*>(this);
    else if (kIPlugViewContentScaleSupportIID.Is(iid))
      *obj = static_cast<IPlugViewContentScaleSupport*>(this);
    else if (kITimerHandlerIID.Is(iid))
      *obj = static_cast<ITimerHandler*>(this);
    else
      return kNoInterface;
    addRef();
    return kResultOk;
  }
  uint32_t addRef() override { return ++mRefCount; }
  uint32_t release() override
  {
    uint32_t const left = --mRefCount;
    if (left == 0) delete this;
    return left;
  }

  tresult isPlatformTypeSupported(FIDString type) override
  {
    return type && !std::strcmp(type, kPlatformTypeX11EmbedWindowID) ? kResultTrue : kResultFalse;
  }

  tresult attached(void* parent, FIDString type) override
  {
    if (!parent || isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
    IGraphics* pGraphics = mPlug->GetGUI();
    {
      std::lock_guard<std::recursive_mutex> lock(mPlug->mEditorMutex);
      if (mAttached || !pGraphics->OpenWindow(parent)) return kResultFalse;
      mAttached = true;
      WDL_MutexLock plugLock(&mPlug->mMutex);
      mPlug->OnGUIOpen();
    }
    // Host calls, without our locks.
    if (mFrame && mFrame->queryInterface(kIRunLoopIID.bytes, reinterpret_cast<void**>(&mRunLoop)) !=
                      kResultOk)
      mRunLoop = nullptr;
    if (mRunLoop && mRunLoop->registerTimer(this, kTimerMs) == kResultOk)
      mPlug->mTimerDelivers = true;
    return kResultOk;
  }

  tresult removed() override
  {
    if (!mAttached) return kResultFalse;
    {
      std::lock_guard<std::recursive_mutex> lock(mPlug->mEditorMutex);
      {
        WDL_MutexLock plugLock(&mPlug->mMutex);
        mPlug->OnGUIClose();
      }
      // The timer still takes what the closing editor queues (a drag cut short ends), so its
      // thread never calls the host while this one waits for it.
      mPlug->GetGUI()->CloseWindow();
      mAttached = false;
    }
    mPlug->mTimerDelivers = false;
    if (mRunLoop)
    {
      mRunLoop->unregisterTimer(this);
      mRunLoop->release();
      mRunLoop = nullptr;
    }
    mPlug->DeliverGestures(); // what the editor left, on the host's thread
    return kResultOk;
  }

  tresult onWheel(float) override { return kResultFalse; }
  tresult onKeyDown(char16, int16_t, int16_t) override { return kResultFalse; }
  tresult onKeyUp(char16, int16_t, int16_t) override { return kResultFalse; }
  tresult onFocus(TBool) override { return kResultOk; }

  // The size the editor opens at, or has while open.
  tresult getSize(ViewRect* size) override
  {
    if (!size) return kInvalidArgument;
    IGraphics* pGraphics = mPlug->GetGUI();
    int const scale = pGraphics->ResolveScale();
    *size = {0, 0, pGraphics->ScaledWidth(scale), pGraphics->ScaledHeight(scale)};
    return kResultOk;
  }

  // The editor has three sizes and takes another only when it asked for it (resizeView); any
  // other size is refused.
  tresult onSize(ViewRect* newSize) override
  {
    if (!newSize) return kInvalidArgument;
    IGraphics* pGraphics = mPlug->GetGUI();
    int const w = newSize->right - newSize->left, h = newSize->bottom - newSize->top;
    for (int s : IGraphics::kScales)
      if (w == pGraphics->ScaledWidth(s) && h == pGraphics->ScaledHeight(s)) return kResultTrue;
    return kResultFalse;
  }
  tresult canResize() override { return kResultFalse; }
  tresult checkSizeConstraint(ViewRect* rect) override
  {
    if (!rect) return kInvalidArgument;
    ViewRect size;
    getSize(&size);
    rect->right = rect->left + size.right;
    rect->bottom = rect->top + size.bottom;
    return kResultTrue;
  }

  tresult setFrame(IPlugFrame* frame) override
  {
    mFrame = frame; // the host's, kept for as long as it is attached to us
    return kResultOk;
  }

  // Taken for the next opening; an open editor keeps its size unless it already has that one.
  tresult setContentScaleFactor(float factor) override
  {
    IGraphics* pGraphics = mPlug->GetGUI();
    pGraphics->SetHostScale(factor);
    if (!pGraphics->WindowIsOpen()) return kResultTrue;
    return NearestScale(factor) == pGraphics->Scale() ? kResultTrue : kResultFalse;
  }

  void onTimer() override
  {
    addRef(); // the host may let go of us while it hears a gesture
    mPlug->DeliverGestures();
    release();
  }

  // The host's frame and ourselves, for a resize request; false without a frame.
  bool Resize(int w, int h)
  {
    if (!mFrame) return false;
    ViewRect r{0, 0, w, h};
    return mFrame->resizeView(this, &r) == kResultTrue;
  }

private:
  ~View()
  {
    if (mAttached) removed();
    {
      std::lock_guard<std::recursive_mutex> lock(mPlug->mEditorMutex);
      mPlug->mView = nullptr;
    }
    mPlug->release();
  }

  IPlugVST3* const mPlug;
  std::atomic<uint32_t> mRefCount{1};
  IPlugFrame* mFrame = nullptr;
  IRunLoop* mRunLoop = nullptr;
  bool mAttached = false;
};

// ---- Construction and identity ------------------------------------------------------------------

IPlugVST3::IPlugVST3(IPlugInstanceInfo, int nParams, char const* channelIOStr, int nPresets,
                     char const* effectName, char const* productName, char const* mfrName,
                     int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
                     bool plugDoesChunks, bool plugIsInst, int)
    : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIVST3),
      mInConnected(NInChannels()), mOutConnected(NOutChannels())
{
  SetInputChannelConnections(0, NInChannels(), true);
  SetOutputChannelConnections(0, NOutChannels(), true);
  mSeg32In.assign(static_cast<size_t>(NInChannels()), nullptr);
  mSeg32Out.assign(static_cast<size_t>(NOutChannels()), nullptr);
  mSeg64In.assign(static_cast<size_t>(NInChannels()), nullptr);
  mSeg64Out.assign(static_cast<size_t>(NOutChannels()), nullptr);
  mDraining.reserve(256);
  SetBlockSize(1024);
}

IPlugVST3::~IPlugVST3()
{
  if (mHandler) mHandler->release();
}

void IPlugVST3::ClassID(int mfrID, int uniqueID, char out[16])
{
  static constexpr char kTail[] = "VST3Plug";
  for (int i = 0; i < 4; ++i)
  {
    out[i] = static_cast<char>(static_cast<uint32_t>(mfrID) >> (24 - 8 * i));
    out[4 + i] = static_cast<char>(static_cast<uint32_t>(uniqueID) >> (24 - 8 * i));
  }
  std::memcpy(out + 8, kTail, 8);
}

// ---- FUnknown and IPluginBase ---------------------------------------------------------------

tresult IPlugVST3::queryInterface(TUID const iid, void** obj)
{
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (kFUnknownIID.Is(iid) || kIPluginBaseIID.Is(iid) || kIComponentIID.Is(iid))
    *obj = static_cast<IComponent*>(this);
  else if (kIAudioProcessorIID.Is(iid))
    *obj = static_cast<IAudioProcessor*>(this);
  else if (kIEditControllerIID.Is(iid))
    *obj = static_cast<IEditController*>(this);
  else if (kIConnectionPointIID.Is(iid))
    *obj = static_cast<IConnectionPoint*>(this);
  else
    return kNoInterface;
  addRef();
  return kResultOk;
}

uint32_t IPlugVST3::addRef()
{
  return ++mRefCount;
}

uint32_t IPlugVST3::release()
{
  uint32_t const left = --mRefCount;
  if (left != 0) return left;
  // The last reference went on the editor thread (the host let go while it heard a gesture from
  // it): that thread cannot join itself, so the object goes on another.
  if (OnEditorThread())
  {
    try
    {
      std::thread([this] { delete this; }).detach();
    }
    catch (...)
    {
      // No thread: leaking the object beats deleting it under its own editor thread.
    }
    return 0;
  }
  delete this;
  return 0;
}

tresult IPlugVST3::initialize(FUnknown* context)
{
  IHostApplication* pHost = nullptr;
  if (context &&
      context->queryInterface(kIHostApplicationIID.bytes, reinterpret_cast<void**>(&pHost)) ==
          kResultOk &&
      pHost)
  {
    String128 name{};
    char text[256];
    if (pHost->getName(name) == kResultOk && ToUtf8(name, text, sizeof text)) SetHost(text, 0);
    pHost->release();
  }
  return kResultOk;
}

tresult IPlugVST3::terminate()
{
  setComponentHandler(nullptr);
  return kResultOk;
}

// ---- IComponent -----------------------------------------------------------------------------

tresult IPlugVST3::getControllerClassId(TUID)
{
  return kResultFalse; // the component is its own controller
}

int32_t IPlugVST3::getBusCount(int32_t type, int32_t dir)
{
  if (type != kAudio) return 0;
  return (dir == kInput ? NInChannels() : NOutChannels()) > 0 ? 1 : 0;
}

tresult IPlugVST3::getBusInfo(int32_t type, int32_t dir, int32_t index, BusInfo& bus)
{
  if (type != kAudio || index != 0 || getBusCount(type, dir) == 0) return kInvalidArgument;
  WDL_MutexLock lock(&mMutex);
  bus.mediaType = kAudio;
  bus.direction = dir;
  bus.channelCount = dir == kInput ? mInConnected : mOutConnected;
  char const* label = dir == kInput ? GetInputBusLabel(0) : GetOutputBusLabel(0);
  ToUtf16(label && label[0] ? label : dir == kInput ? "Input" : "Output", bus.name, 128);
  bus.busType = kMain;
  bus.flags = BusInfo::kDefaultActive;
  return kResultOk;
}

tresult IPlugVST3::activateBus(int32_t type, int32_t dir, int32_t index, TBool)
{
  return type == kAudio && index == 0 && getBusCount(type, dir) ? kResultOk : kInvalidArgument;
}

tresult IPlugVST3::setActive(TBool state)
{
  WDL_MutexLock lock(&mMutex);
  OnActivate(state != 0);
  if (!state) Reset();
  return kResultOk;
}

tresult IPlugVST3::GetComponentState(IBStream* state)
{
  if (!state) return kInvalidArgument;
  ByteChunk chunk;
  {
    WDL_MutexLock lock(&mMutex);
    if (!GetHostChunk(&chunk, false) || chunk.Size() <= 0) return kResultFalse;
  }
  // The host's stream, without our lock.
  for (int32_t done = 0; done < chunk.Size();)
  {
    int32_t written = 0;
    if (state->write(chunk.GetBytes() + done, chunk.Size() - done, &written) != kResultOk ||
        written <= 0)
      return kResultFalse;
    done += written;
  }
  return kResultOk;
}

tresult IPlugVST3::SetComponentState(IBStream* state)
{
  if (!state) return kInvalidArgument;
  std::vector<uint8_t> data;
  if (!ReadAll(state, &data, kMaxChunkSize) || data.empty()) return kResultFalse;
  // Every chunk this adapter writes opens with the version header.
  ByteChunk header;
  header.PutBytes(data.data(), data.size() < 8 ? static_cast<int>(data.size()) : 8);
  int pos = 0;
  if (GetIPlugVerFromChunk(&header, &pos) <= 0) return kResultFalse;
  return LoadHostChunk(data.data(), static_cast<int>(data.size()), false) ? kResultOk
                                                                          : kResultFalse;
}

// ---- IAudioProcessor ------------------------------------------------------------------------

tresult IPlugVST3::setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                      SpeakerArrangement* outputs, int32_t numOuts)
{
  if (numIns != getBusCount(kAudio, kInput) || numOuts != getBusCount(kAudio, kOutput) ||
      (numIns && !inputs) || (numOuts && !outputs))
    return kResultFalse;
  int const nIn = numIns ? std::popcount(inputs[0]) : 0;
  int const nOut = numOuts ? std::popcount(outputs[0]) : 0;
  if (nIn > NInChannels() || nOut > NOutChannels() || !LegalIO(nIn, nOut)) return kResultFalse;
  WDL_MutexLock lock(&mMutex);
  mInConnected = nIn;
  mOutConnected = nOut;
  SetInputChannelConnections(0, nIn, true);
  SetInputChannelConnections(nIn, NInChannels() - nIn, false);
  SetOutputChannelConnections(0, nOut, true);
  SetOutputChannelConnections(nOut, NOutChannels() - nOut, false);
  return kResultTrue;
}

tresult IPlugVST3::getBusArrangement(int32_t dir, int32_t index, SpeakerArrangement& arr)
{
  if (index != 0 || getBusCount(kAudio, dir) == 0) return kInvalidArgument;
  WDL_MutexLock lock(&mMutex);
  arr = ArrangementOf(dir == kInput ? mInConnected : mOutConnected);
  return kResultOk;
}

tresult IPlugVST3::canProcessSampleSize(int32_t symbolicSampleSize)
{
  return symbolicSampleSize == kSample32 || symbolicSampleSize == kSample64 ? kResultTrue
                                                                            : kResultFalse;
}

tresult IPlugVST3::setupProcessing(ProcessSetup& setup)
{
  if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
  WDL_MutexLock lock(&mMutex);
  // A rate that is zero, negative or not a number would poison every filter.
  if (std::isfinite(setup.sampleRate) && setup.sampleRate > 0.0) SetSampleRate(setup.sampleRate);
  if (setup.maxSamplesPerBlock > 0)
    SetBlockSize(setup.maxSamplesPerBlock > kMaxBlockSize ? kMaxBlockSize
                                                          : setup.maxSamplesPerBlock);
  mSampleSize = setup.symbolicSampleSize;
  mProcessMode = setup.processMode;
  Reset();
  return kResultOk;
}

void IPlugVST3::ApplyPoint(ParamID id, double value)
{
  IParam* pParam = id <= static_cast<ParamID>(INT_MAX) ? GetParam(static_cast<int>(id)) : nullptr;
  if (!pParam || !std::isfinite(value)) return;
  value = value < 0.0 ? 0.0 : value > 1.0 ? 1.0 : value;
  int const idx = static_cast<int>(id);
  if (IGraphics* pGraphics = GetGUI()) pGraphics->SetParameterFromPlug(idx, value, true);
  pParam->SetNormalized(value);
  OnParamChange(idx);
}

void IPlugVST3::ApplyPoints(IParameterChanges* pChanges, int lo, int hi)
{
  int32_t const nQueues = pChanges ? pChanges->getParameterCount() : 0;
  for (int32_t q = 0; q < nQueues; ++q)
  {
    IParamValueQueue* pQueue = pChanges->getParameterData(q);
    if (!pQueue) continue;
    ParamID const id = pQueue->getParameterId();
    for (int32_t i = 0, n = pQueue->getPointCount(); i < n; ++i)
    {
      int32_t offset = 0;
      ParamValue value = 0.0;
      if (pQueue->getPoint(i, offset, value) == kResultOk && offset > lo && offset <= hi)
        ApplyPoint(id, value);
    }
  }
}

int IPlugVST3::NextOffset(IParameterChanges* pChanges, int after)
{
  int next = INT_MAX;
  int32_t const nQueues = pChanges ? pChanges->getParameterCount() : 0;
  for (int32_t q = 0; q < nQueues; ++q)
    if (IParamValueQueue* pQueue = pChanges->getParameterData(q))
      for (int32_t i = 0, n = pQueue->getPointCount(); i < n; ++i)
      {
        int32_t offset = 0;
        ParamValue value = 0.0;
        if (pQueue->getPoint(i, offset, value) == kResultOk && offset > after && offset < next)
          next = offset;
      }
  return next;
}

void IPlugVST3::RunSegment(ProcessData const& data, int start, int n)
{
  AudioBusBuffers const* pIn = data.numInputs > 0 ? data.inputs : nullptr;
  AudioBusBuffers const* pOut = data.numOutputs > 0 ? data.outputs : nullptr;
  bool const is64 = data.symbolicSampleSize == kSample64;
  if (is64)
  {
    for (int c = 0; c < mInConnected; ++c) mSeg64In[c] = HostChannel<Sample64>(pIn, c, start);
    for (int c = 0; c < mOutConnected; ++c) mSeg64Out[c] = HostChannel<Sample64>(pOut, c, start);
    AttachInputBuffers(0, NInChannels(), mSeg64In.data());
    AttachOutputBuffers(0, NOutChannels(), mSeg64Out.data());
    ProcessBuffers(0.0, n);
  }
  else
  {
    for (int c = 0; c < mInConnected; ++c) mSeg32In[c] = HostChannel<Sample32>(pIn, c, start);
    for (int c = 0; c < mOutConnected; ++c) mSeg32Out[c] = HostChannel<Sample32>(pOut, c, start);
    AttachInputBuffers(0, NInChannels(), mSeg32In.data(), n);
    AttachOutputBuffers(0, NOutChannels(), mSeg32Out.data());
    ProcessBuffers(0.0f, n);
  }
}

tresult IPlugVST3::process(ProcessData& data)
{
  if (data.symbolicSampleSize != kSample32 && data.symbolicSampleSize != kSample64)
    return kResultFalse;
  WDL_MutexLock lock(&mMutex);
  int const n = data.numSamples > 0 ? data.numSamples : 0;
  IParameterChanges* pChanges = data.inputParameterChanges;
  // The block is split at every offset a point has: each point takes effect on its sample.
  // Points before the block count from its start, points beyond it after its end.
  ApplyPoints(pChanges, INT_MIN, 0);
  int start = 0;
  while (start < n)
  {
    int const next = NextOffset(pChanges, start);
    int const end = next < n ? next : n;
    RunSegment(data, start, end - start);
    if (end >= n) break;
    ApplyPoints(pChanges, start, end);
    start = end;
  }
  ApplyPoints(pChanges, start, INT_MAX);
  for (int b = 0; b < data.numOutputs && data.outputs; ++b) data.outputs[b].silenceFlags = 0;
  return kResultOk;
}

// ---- IEditController ------------------------------------------------------------------------

bool IPlugVST3::IsBypass(IParam const& p) const
{
  return p.Type() != IParam::kTypeDouble && p.GetMin() == 0.0 && p.GetMax() == 1.0 &&
         !std::strcmp(p.GetNameForHost(), "Bypass");
}

tresult IPlugVST3::getParameterInfo(int32_t paramIndex, ParameterInfo& info)
{
  WDL_MutexLock lock(&mMutex);
  IParam const* pParam = GetParam(paramIndex);
  if (!pParam) return kInvalidArgument;
  info = ParameterInfo{};
  info.id = static_cast<ParamID>(paramIndex);
  ToUtf16(pParam->GetNameForHost(), info.title, 128);
  ToUtf16(pParam->GetNameForHost(), info.shortTitle, 128);
  ToUtf16(pParam->GetLabelForHost(), info.units, 128);
  bool const stepped = pParam->Type() != IParam::kTypeDouble;
  info.stepCount = stepped ? static_cast<int32_t>(pParam->GetMax() - pParam->GetMin()) : 0;
  info.defaultNormalizedValue = pParam->GetNormalized(pParam->GetDefault());
  info.unitId = 0; // the root unit
  info.flags = ParameterInfo::kCanAutomate;
  if (pParam->Type() == IParam::kTypeEnum && pParam->GetNDisplayTexts() > 0)
    info.flags |= ParameterInfo::kIsList;
  if (IsBypass(*pParam)) info.flags |= ParameterInfo::kIsBypass;
  return kResultOk;
}

tresult IPlugVST3::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string)
{
  IParam const* pParam = GetParam(static_cast<int>(id));
  if (!pParam || !string || !std::isfinite(valueNormalized)) return kInvalidArgument;
  char display[kParamTextLen];
  pParam->GetDisplayForHost(valueNormalized, true, display, true);
  ToUtf16(display, string, 128);
  return kResultOk;
}

tresult IPlugVST3::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized)
{
  IParam const* pParam = GetParam(static_cast<int>(id));
  char text[256];
  double plain = 0.0;
  if (!pParam || !ToUtf8(string, text, sizeof text) || !pParam->ParseText(text, &plain))
    return kResultFalse;
  valueNormalized = pParam->GetNormalized(plain);
  return kResultOk;
}

ParamValue IPlugVST3::normalizedParamToPlain(ParamID id, ParamValue v)
{
  IParam const* pParam = GetParam(static_cast<int>(id));
  if (!pParam || !std::isfinite(v)) return 0.0;
  v = v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v;
  double const plain = pParam->GetNonNormalized(v);
  // As SetNormalized: steps for every kind but double, halves up.
  return pParam->Type() == IParam::kTypeDouble ? plain : std::floor(plain + 0.5);
}

ParamValue IPlugVST3::plainParamToNormalized(ParamID id, ParamValue plain)
{
  IParam const* pParam = GetParam(static_cast<int>(id));
  return pParam && std::isfinite(plain) ? pParam->GetNormalized(plain) : 0.0;
}

ParamValue IPlugVST3::getParamNormalized(ParamID id)
{
  WDL_MutexLock lock(&mMutex);
  IParam const* pParam = GetParam(static_cast<int>(id));
  return pParam ? pParam->GetNormalized() : 0.0;
}

tresult IPlugVST3::setParamNormalized(ParamID id, ParamValue value)
{
  WDL_MutexLock lock(&mMutex);
  if (!GetParam(static_cast<int>(id)) || !std::isfinite(value)) return kResultFalse;
  ApplyPoint(id, value);
  return kResultOk;
}

tresult IPlugVST3::setComponentHandler(IComponentHandler* handler)
{
  if (handler) handler->addRef();
  IComponentHandler* old;
  {
    std::lock_guard<std::mutex> lock(mHandlerMutex);
    old = mHandler;
    mHandler = handler;
  }
  if (old) old->release(); // a host call, without the lock
  return kResultOk;
}

IComponentHandler* IPlugVST3::Handler()
{
  std::lock_guard<std::mutex> lock(mHandlerMutex);
  if (mHandler) mHandler->addRef();
  return mHandler;
}

IPlugView* IPlugVST3::createView(FIDString name)
{
  if (!GetGUI() || !name || std::strcmp(name, kEditorViewName)) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(mEditorMutex);
  if (mView) return nullptr;
  mView = new View(this);
  return mView;
}

// ---- Host notifications ---------------------------------------------------------------------

bool IPlugVST3::OnEditorThread() const
{
  IGraphics const* pGraphics = GetGUI();
  return pGraphics && pGraphics->OnEditorThread();
}

void IPlugVST3::Queue(GestureQueue::Gesture::EKind kind, int idx, double value)
{
  mGestures.Push(kind, idx, value);
  // Where the host's timer takes them, the editor thread leaves them; any other thread (or a
  // host without a run loop) delivers at once.
  if (!(mTimerDelivers && OnEditorThread())) DeliverGestures();
}

void IPlugVST3::BeginInformHostOfParamChange(int idx)
{
  Queue(GestureQueue::Gesture::kBegin, idx, 0.0);
}

void IPlugVST3::InformHostOfParamChange(int idx, double normalizedValue)
{
  Queue(GestureQueue::Gesture::kValue, idx, normalizedValue);
}

void IPlugVST3::EndInformHostOfParamChange(int idx)
{
  Queue(GestureQueue::Gesture::kEnd, idx, 0.0);
}

void IPlugVST3::RequestEditorSize(int w, int h)
{
  Queue(GestureQueue::Gesture::kEditorSize, w, h);
}

void IPlugVST3::AskHostForEditorSize(int w, int h)
{
  View* pView;
  {
    std::lock_guard<std::recursive_mutex> lock(mEditorMutex);
    pView = mView;
    if (pView) pView->addRef();
  }
  bool const accepted = pView && pView->Resize(w, h);
  if (pView) pView->release();
  if (IGraphics* pGraphics = GetGUI()) pGraphics->EditorSizeAnswered(w, h, accepted);
}

void IPlugVST3::DeliverGestures()
{
  // A reference of our own while the host hears them (it may let go of us meanwhile), unless it
  // already has: an editor thread that ends while the object is being deleted delivers nothing.
  uint32_t refs = mRefCount.load();
  while (refs != 0 && !mRefCount.compare_exchange_weak(refs, refs + 1))
  {
  }
  if (refs == 0) return;
  IGraphics* pGraphics = GetGUI();
  bool const editorThread = OnEditorThread();
  // One deliverer at a time keeps the host's order; a thread that finds another at it leaves
  // the rest to that one, which looks again before it stops.
  while (!mDelivering.exchange(true))
  {
    mGestures.TakeAll(&mDraining);
    IComponentHandler* pHandler = Handler();
    if (editorThread && pGraphics) pGraphics->SetInHostCall(true);
    for (GestureQueue::Gesture const& g : mDraining)
    {
      auto const id = static_cast<ParamID>(g.mIdx);
      if (g.mKind == GestureQueue::Gesture::kEditorSize)
        AskHostForEditorSize(g.mIdx, static_cast<int>(g.mValue));
      else if (!pHandler)
        continue;
      else if (g.mKind == GestureQueue::Gesture::kBegin)
        pHandler->beginEdit(id);
      else if (g.mKind == GestureQueue::Gesture::kValue)
        pHandler->performEdit(id, g.mValue);
      else
        pHandler->endEdit(id);
    }
    if (pHandler) pHandler->release();
    if (editorThread && pGraphics) pGraphics->SetInHostCall(false);
    mDraining.clear();
    mDelivering.store(false);
    if (mGestures.Empty()) break;
  }
  release();
}

void IPlugVST3::InformHostOfProgramChange()
{
  constexpr int32_t kParamValuesChanged = 1 << 2;
  if (IComponentHandler* pHandler = Handler())
  {
    pHandler->restartComponent(kParamValuesChanged);
    pHandler->release();
  }
}

void IPlugVST3::GetTimeSig(int* pNum, int* pDenom)
{
  if (pNum) *pNum = 0;
  if (pDenom) *pDenom = 0;
}
