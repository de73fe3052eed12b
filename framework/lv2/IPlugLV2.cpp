#include "framework/lv2/IPlugLV2.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>

#include "framework/WDL_Mutex.h"
#include "graphics/IGraphics.h"

namespace
{

void const* FindFeature(LV2_Feature const* const* features, char const* uri)
{
  for (int i = 0; features && features[i]; ++i)
    if (features[i]->URI && !std::strcmp(features[i]->URI, uri)) return features[i]->data;
  return nullptr;
}

// The host's ui:scaleFactor among the options, 0 when it gives none.
double HostScaleFactor(LV2_Feature const* const* features)
{
  auto const* options =
      static_cast<LV2_Options_Option const*>(FindFeature(features, LV2_OPTIONS__options));
  auto const* map = static_cast<LV2_URID_Map const*>(FindFeature(features, LV2_URID__map));
  if (!options || !map || !map->map) return 0.0;
  LV2_URID const key = map->map(map->handle, LV2_UI__scaleFactor);
  LV2_URID const floatType = map->map(map->handle, LV2_ATOM__Float);
  for (LV2_Options_Option const* o = options; o->key || o->value; ++o)
    if (o->key == key && o->type == floatType && o->size == sizeof(float) && o->value)
    {
      float f;
      std::memcpy(&f, o->value, sizeof f);
      return f;
    }
  return 0.0;
}

IPlugLV2* Plug(void* handle)
{
  return static_cast<IPlugLV2*>(handle);
}

// Hosts may create instances from several threads at once; the product's constructor and the
// preset filling run one at a time, as for the VST 2 entry.
IPlugLV2* Construct(IPlugInstanceInfo const& info)
{
  static WDL_Mutex sInstantiateMutex;
  WDL_MutexLock lock(&sInstantiateMutex);
  IPlugLV2* pPlug = MakePlug(info);
  if (pPlug) pPlug->EnsureDefaultPreset();
  return pPlug;
}

// ---- The plug-in descriptor's callbacks ----------------------------------------------------

LV2_Handle CbInstantiate(LV2_Descriptor const*, double rate, char const*,
                         LV2_Feature const* const* features)
{
  IPlugLV2* pPlug = Construct(IPlugInstanceInfo{});
  if (pPlug) pPlug->InitDSP(rate, features);
  return pPlug;
}

void CbConnectPort(LV2_Handle h, uint32_t port, void* data)
{
  Plug(h)->ConnectPort(port, data);
}

void CbActivate(LV2_Handle h)
{
  Plug(h)->Activate(true);
}

void CbRun(LV2_Handle h, uint32_t nFrames)
{
  Plug(h)->Run(nFrames);
}

void CbDeactivate(LV2_Handle h)
{
  Plug(h)->Activate(false);
}

// Both halves: the editor thread may wait for the plug-in mutex; it is not held here, so
// closing the window joins that thread before the object goes.
void CbCleanup(void* h)
{
  IPlugLV2* pPlug = Plug(h);
  if (IGraphics* pGraphics = pPlug->GetGUI()) pGraphics->CloseWindow();
  delete pPlug;
}

LV2_State_Status CbSave(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                        uint32_t, LV2_Feature const* const*)
{
  return Plug(h)->SaveState(store, handle);
}

LV2_State_Status CbRestore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                           LV2_State_Handle handle, uint32_t, LV2_Feature const* const*)
{
  return Plug(h)->RestoreState(retrieve, handle);
}

void const* CbExtensionData(char const* uri)
{
  static LV2_State_Interface const sState = {CbSave, CbRestore};
  if (uri && !std::strcmp(uri, LV2_STATE__interface)) return &sState;
  return nullptr;
}

// ---- The editor descriptor's callbacks -----------------------------------------------------

LV2UI_Handle CbInstantiateEditor(LV2UI_Descriptor const*, char const* pluginURI, char const*,
                                 LV2UI_Write_Function write, LV2UI_Controller controller,
                                 LV2UI_Widget* widget, LV2_Feature const* const* features)
{
  void* parent = const_cast<void*>(FindFeature(features, LV2_UI__parent));
  if (!pluginURI || std::strcmp(pluginURI, LV2PluginURI()) || !write || !widget || !parent)
    return nullptr;
  IPlugInstanceInfo info;
  info.mEditor = true;
  info.mWrite = write;
  info.mController = controller;
  info.mTouch = static_cast<LV2UI_Touch const*>(FindFeature(features, LV2_UI__touch));
  IPlugLV2* pPlug = Construct(info);
  if (!pPlug) return nullptr;
  pPlug->MapURIDs(static_cast<LV2_URID_Map const*>(FindFeature(features, LV2_URID__map)));
  if (IGraphics* pGraphics = pPlug->GetGUI()) pGraphics->SetHostScale(HostScaleFactor(features));
  auto const* pResize = static_cast<LV2UI_Resize const*>(FindFeature(features, LV2_UI__resize));
  uintptr_t const window = pPlug->OpenEditor(parent, pResize);
  if (!window)
  {
    delete pPlug;
    return nullptr;
  }
  *widget = reinterpret_cast<LV2UI_Widget>(window);
  return pPlug;
}

void CbPortEvent(LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, void const* buffer)
{
  Plug(h)->PortEvent(port, size, format, buffer);
}

int CbEditorIdle(LV2UI_Handle h)
{
  return Plug(h)->Idle();
}

void const* CbEditorExtensionData(char const* uri)
{
  static LV2UI_Idle_Interface const sIdle = {CbEditorIdle};
  if (uri && !std::strcmp(uri, LV2_UI__idleInterface)) return &sIdle;
  return nullptr;
}
} // namespace

// ---- Descriptors and URIs ------------------------------------------------------------------

LV2_Descriptor const* IPlugLV2::PluginDescriptor()
{
  static LV2_Descriptor const sDescriptor = {LV2PluginURI(), CbInstantiate,  CbConnectPort,
                                             CbActivate,     CbRun,          CbDeactivate,
                                             CbCleanup,      CbExtensionData};
  return &sDescriptor;
}

LV2UI_Descriptor const* IPlugLV2::EditorDescriptor()
{
  static LV2UI_Descriptor const sDescriptor = {EditorURI(), CbInstantiateEditor, CbCleanup,
                                               CbPortEvent, CbEditorExtensionData};
  return &sDescriptor;
}

char const* IPlugLV2::EditorURI()
{
  static std::string const sURI = std::string(LV2PluginURI()) + "#ui";
  return sURI.c_str();
}

char const* IPlugLV2::ChunkKeyURI()
{
  static std::string const sURI = std::string(LV2PluginURI()) + "#chunk";
  return sURI.c_str();
}

char const* IPlugLV2::FilePropertyURI()
{
  static std::string const sURI = std::string(LV2PluginURI()) + "#file";
  return sURI.c_str();
}

// ---- Construction --------------------------------------------------------------------------

IPlugLV2::IPlugLV2(IPlugInstanceInfo instanceInfo, int nParams, char const* channelIOStr,
                   int nPresets, char const* effectName, char const* productName,
                   char const* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency,
                   bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int)
    : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPILV2),
      mEditor(instanceInfo.mEditor), mWrite(instanceInfo.mWrite),
      mController(instanceInfo.mController), mTouch(instanceInfo.mTouch)
{
  int const nIn = NInChannels(), nOut = NOutChannels();
  mAudioIn.assign(static_cast<size_t>(nIn), nullptr);
  mAudioOut.assign(static_cast<size_t>(nOut), nullptr);
  mControls.assign(static_cast<size_t>(nParams), nullptr);
  mLastControl.assign(static_cast<size_t>(nParams), std::numeric_limits<float>::quiet_NaN());
  SetInputChannelConnections(0, nIn, true);
  SetOutputChannelConnections(0, nOut, true);
  if (mEditor) mDraining.reserve(256);
  mFileText.assign(kMaxPath + 1, '\0');
}

IPlugLV2::~IPlugLV2() = default;

int IPlugLV2::ParamOfPort(uint32_t port) const
{
  uint32_t const first = FirstParamPort();
  return port >= first && port < ControlPort() ? static_cast<int>(port - first) : -1;
}

bool IPlugLV2::IsToggle(IParam const& p)
{
  if (p.Type() == IParam::kTypeBool) return true;
  return (p.Type() == IParam::kTypeInt || p.Type() == IParam::kTypeEnum) && p.GetMin() == 0.0 &&
         p.GetMax() == 1.0 && p.GetNDisplayTexts() == 0;
}

void IPlugLV2::SetFromPort(int idx, float value)
{
  IParam const& p = *GetParam(idx);
  if (IsToggle(p)) value = value > 0.0f ? 1.0f : 0.0f;
  if (static_cast<float>(p.Value()) != value) SetParameterFromHost(idx, value);
}

void IPlugLV2::GetTimeSig(int* pNum, int* pDenom)
{
  if (pNum) *pNum = 0;
  if (pDenom) *pDenom = 0;
}

// ---- DSP side ------------------------------------------------------------------------------

void IPlugLV2::InitDSP(double sampleRate, LV2_Feature const* const* features)
{
  WDL_MutexLock lock(&mMutex);
  if (std::isfinite(sampleRate) && sampleRate > 0.0) SetSampleRate(sampleRate);
  SetBlockSize(kBlockSize);
  if (auto const* pMap = static_cast<LV2_URID_Map const*>(FindFeature(features, LV2_URID__map)))
  {
    mChunkKey = pMap->map(pMap->handle, ChunkKeyURI());
    mChunkType = pMap->map(pMap->handle, LV2_ATOM__Chunk);
    MapURIDs(pMap);
  }
  OnParamReset();
  Reset();
}

void IPlugLV2::ConnectPort(uint32_t port, void* data)
{
  int const nIn = NInChannels(), nOut = NOutChannels();
  if (port < static_cast<uint32_t>(nIn))
    mAudioIn[port] = static_cast<float*>(data);
  else if (port < static_cast<uint32_t>(nIn + nOut))
    mAudioOut[port - static_cast<uint32_t>(nIn)] = static_cast<float*>(data);
  else if (int const idx = ParamOfPort(port); idx >= 0)
    mControls[static_cast<size_t>(idx)] = static_cast<float const*>(data);
  else if (HasFileProperty() && port == ControlPort())
    mControlIn = static_cast<LV2_Atom_Sequence const*>(data);
  else if (HasFileProperty() && port == NotifyPort())
    mNotifyOut = static_cast<LV2_Atom_Sequence*>(data);
}

void IPlugLV2::MapURIDs(LV2_URID_Map const* pMap)
{
  if (!pMap || !pMap->map || !HasFileProperty()) return;
  auto const map = [pMap](char const* uri) { return pMap->map(pMap->handle, uri); };
  mURID.atomPath = map(LV2_ATOM__Path);
  mURID.atomObject = map(LV2_ATOM__Object);
  mURID.atomBlank = map(LV2_ATOM__Blank);
  mURID.atomURID = map(LV2_ATOM__URID);
  mURID.eventTransfer = map(LV2_ATOM__eventTransfer);
  mURID.patchSet = map(LV2_PATCH__Set);
  mURID.patchGet = map(LV2_PATCH__Get);
  mURID.patchProperty = map(LV2_PATCH__property);
  mURID.patchValue = map(LV2_PATCH__value);
  mURID.file = map(FilePropertyURI());
  lv2_atom_forge_init(&mForge, const_cast<LV2_URID_Map*>(pMap));
}

LV2_Atom const* IPlugLV2::FileOfSet(LV2_Atom const* pAtom) const
{
  if (!mURID.file || (pAtom->type != mURID.atomObject && pAtom->type != mURID.atomBlank))
    return nullptr;
  auto const* pObject = reinterpret_cast<LV2_Atom_Object const*>(pAtom);
  if (pObject->body.otype != mURID.patchSet) return nullptr;
  LV2_Atom const* pProperty = nullptr;
  LV2_Atom const* pValue = nullptr;
  lv2_atom_object_get(pObject, mURID.patchProperty, &pProperty, mURID.patchValue, &pValue, 0);
  if (!pProperty || pProperty->type != mURID.atomURID ||
      reinterpret_cast<LV2_Atom_URID const*>(pProperty)->body != mURID.file || !pValue ||
      pValue->type != mURID.atomPath)
    return nullptr;
  return pValue;
}

void IPlugLV2::HandleMessage(LV2_Atom const* pAtom)
{
  if (LV2_Atom const* pPath = FileOfSet(pAtom))
  {
    // The body holds the path and its terminator; a path with none ends with the body.
    auto const* text = static_cast<char const*>(LV2_ATOM_BODY_CONST(pPath));
    SetFileFromHost(text, strnlen(text, pPath->size));
  }
  else if ((pAtom->type == mURID.atomObject || pAtom->type == mURID.atomBlank) &&
           reinterpret_cast<LV2_Atom_Object const*>(pAtom)->body.otype == mURID.patchGet)
    mNotifyAsked = true;
}

void IPlugLV2::WriteNotifications()
{
  if (!mNotifyOut) return;
  uint32_t const capacity = mNotifyOut->atom.size;
  lv2_atom_forge_set_buffer(&mForge, reinterpret_cast<uint8_t*>(mNotifyOut), capacity);
  LV2_Atom_Forge_Frame sequence;
  if (capacity < sizeof(LV2_Atom_Sequence) || !lv2_atom_forge_sequence_head(&mForge, &sequence, 0))
    return;
  unsigned const generation = FileGeneration();
  if (generation != mNotifiedGeneration || mNotifyAsked)
  {
    size_t const n = GetFileForHost(mFileText.data(), mFileText.size());
    LV2_Atom_Forge_Frame object;
    // Told again in the next run when it did not fit.
    bool const written = lv2_atom_forge_frame_time(&mForge, 0) &&
                         lv2_atom_forge_object(&mForge, &object, 0, mURID.patchSet) &&
                         lv2_atom_forge_key(&mForge, mURID.patchProperty) &&
                         lv2_atom_forge_urid(&mForge, mURID.file) &&
                         lv2_atom_forge_key(&mForge, mURID.patchValue) &&
                         lv2_atom_forge_path(&mForge, mFileText.data(), static_cast<uint32_t>(n));
    if (written)
    {
      lv2_atom_forge_pop(&mForge, &object);
      mNotifiedGeneration = generation;
      mNotifyAsked = false;
    }
  }
  lv2_atom_forge_pop(&mForge, &sequence);
}

void IPlugLV2::Activate(bool active)
{
  WDL_MutexLock lock(&mMutex);
  OnActivate(active);
  if (!active) Reset();
}

void IPlugLV2::Run(uint32_t nFrames)
{
  WDL_MutexLock lock(&mMutex);
  if (mControlIn && mURID.file)
    LV2_ATOM_SEQUENCE_FOREACH(mControlIn, pEvent) HandleMessage(&pEvent->body);
  // Only a port whose value moved since the last run becomes a change (SetFromPort): a restored
  // state is not overwritten by ports the host left as they were.
  for (int i = 0, n = NParams(); i < n; ++i)
  {
    float const* pPort = mControls[static_cast<size_t>(i)];
    if (!pPort) continue;
    float const v = *pPort;
    float& last = mLastControl[static_cast<size_t>(i)];
    if (!std::isfinite(v) || v == last) continue;
    last = v;
    SetFromPort(i, v);
  }
  int const frames = nFrames > static_cast<uint32_t>(std::numeric_limits<int>::max())
                         ? 0
                         : static_cast<int>(nFrames);
  AttachInputBuffers(0, NInChannels(), mAudioIn.data(), frames);
  AttachOutputBuffers(0, NOutChannels(), mAudioOut.data());
  ProcessBuffers(0.0f, frames);
  if (mURID.file) WriteNotifications();
}

LV2_State_Status IPlugLV2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle)
{
  if (!store) return LV2_STATE_ERR_UNKNOWN;
  if (!mChunkKey || !mChunkType) return LV2_STATE_ERR_NO_FEATURE;
  ByteChunk chunk;
  {
    WDL_MutexLock lock(&mMutex);
    if (!GetHostChunk(&chunk, false) || chunk.Size() <= 0) return LV2_STATE_ERR_UNKNOWN;
  }
  return store(handle, mChunkKey, chunk.GetBytes(), static_cast<size_t>(chunk.Size()), mChunkType,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status IPlugLV2::RestoreState(LV2_State_Retrieve_Function retrieve,
                                        LV2_State_Handle handle)
{
  if (!retrieve) return LV2_STATE_ERR_UNKNOWN;
  if (!mChunkKey || !mChunkType) return LV2_STATE_ERR_NO_FEATURE;
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  void const* pData = retrieve(handle, mChunkKey, &size, &type, &flags);
  if (!pData) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != mChunkType) return LV2_STATE_ERR_BAD_TYPE;
  if (size > static_cast<size_t>(kMaxChunkSize)) return LV2_STATE_ERR_UNKNOWN;

  // Every chunk this adapter writes carries the version header; without it the bytes are not
  // ours (a VST 2 host may still hand over a bare state, a session never does).
  ByteChunk header;
  int const headerSize = size < 8 ? static_cast<int>(size) : 8;
  header.PutBytes(pData, headerSize);
  int pos = 0;
  if (GetIPlugVerFromChunk(&header, &pos) <= 0) return LV2_STATE_ERR_UNKNOWN;
  WDL_MutexLock lock(&mMutex);
  if (!LoadHostChunk(pData, static_cast<int>(size), false)) return LV2_STATE_ERR_UNKNOWN;
  // The ports as they stand were the old state's: only a port the host moves from here on
  // overrides the restored values (a host that restores its ports too sets the same values).
  for (size_t i = 0; i < mControls.size(); ++i)
    if (mControls[i]) mLastControl[i] = *mControls[i];
  return LV2_STATE_SUCCESS;
}

// ---- Editor side ---------------------------------------------------------------------------

uintptr_t IPlugLV2::OpenEditor(void* pParent, LV2UI_Resize const* pResize)
{
  IGraphics* pGraphics = GetGUI();
  if (!pGraphics) return 0;
  auto const window = reinterpret_cast<uintptr_t>(pGraphics->OpenWindow(pParent));
  mResize = pResize;
  if (window && pResize && pResize->ui_resize)
    pResize->ui_resize(pResize->handle, pGraphics->ScaledWidth(pGraphics->Scale()),
                       pGraphics->ScaledHeight(pGraphics->Scale()));
  return window;
}

void IPlugLV2::RequestEditorSize(int w, int h)
{
  if (mEditor) mGestures.Push(GestureQueue::Gesture::kEditorSize, w, h);
}

void IPlugLV2::SetFileFromGUI(char const* path)
{
  if (!mEditor) return IPlugBase::SetFileFromGUI(path);
  if (!path) return;
  std::lock_guard<std::mutex> lock(mFileQueueMutex);
  mQueuedFile = path;
  mFileQueued = true;
}

void IPlugLV2::PortEvent(uint32_t port, uint32_t bufferSize, uint32_t format, void const* pBuffer)
{
  if (mEditor && mURID.file && HasFileProperty() && port == NotifyPort() &&
      format == mURID.eventTransfer && pBuffer && bufferSize >= sizeof(LV2_Atom))
  {
    auto const* pAtom = static_cast<LV2_Atom const*>(pBuffer);
    if (sizeof(LV2_Atom) + pAtom->size > bufferSize) return;
    if (LV2_Atom const* pPath = FileOfSet(pAtom))
    {
      auto const* text = static_cast<char const*>(LV2_ATOM_BODY_CONST(pPath));
      OnFileInForce(std::string(text, strnlen(text, pPath->size)).c_str());
    }
    return;
  }
  int const idx = ParamOfPort(port);
  if (idx < 0 || format != 0 || bufferSize != sizeof(float) || !pBuffer) return;
  float v;
  std::memcpy(&v, pBuffer, sizeof v);
  if (!std::isfinite(v)) return;
  WDL_MutexLock lock(&mMutex);
  SetFromPort(idx, v);
}

void IPlugLV2::Queue(GestureQueue::Gesture::EKind kind, int idx, double plainValue)
{
  if (mEditor && idx >= 0 && idx < NParams()) mGestures.Push(kind, idx, plainValue);
}

void IPlugLV2::BeginInformHostOfParamChange(int idx)
{
  Queue(GestureQueue::Gesture::kBegin, idx, 0.0);
}

void IPlugLV2::InformHostOfParamChange(int idx, double normalizedValue)
{
  if (IParam const* pParam = GetParam(idx))
    Queue(GestureQueue::Gesture::kValue, idx, pParam->GetNonNormalized(normalizedValue));
}

void IPlugLV2::EndInformHostOfParamChange(int idx)
{
  Queue(GestureQueue::Gesture::kEnd, idx, 0.0);
}

int IPlugLV2::Idle()
{
  if (mURID.file && (!mFileAsked || mFileQueued))
  {
    std::string file;
    bool send = false;
    {
      std::lock_guard<std::mutex> lock(mFileQueueMutex);
      send = mFileQueued.exchange(false);
      file.swap(mQueuedFile);
    }
    // Without our locks, like every host call: asks once for the file in force, then sends the
    // editor's choice.
    std::vector<uint8_t> message(file.size() + 256);
    auto const sendMessage = [&](bool set)
    {
      lv2_atom_forge_set_buffer(&mForge, message.data(), message.size());
      LV2_Atom_Forge_Frame object;
      if (!lv2_atom_forge_object(&mForge, &object, 0, set ? mURID.patchSet : mURID.patchGet))
        return;
      if (set)
      {
        lv2_atom_forge_key(&mForge, mURID.patchProperty);
        lv2_atom_forge_urid(&mForge, mURID.file);
        lv2_atom_forge_key(&mForge, mURID.patchValue);
        lv2_atom_forge_path(&mForge, file.c_str(), static_cast<uint32_t>(file.size()));
      }
      lv2_atom_forge_pop(&mForge, &object);
      auto const* pAtom = reinterpret_cast<LV2_Atom const*>(message.data());
      mWrite(mController, ControlPort(), static_cast<uint32_t>(sizeof(LV2_Atom) + pAtom->size),
             mURID.eventTransfer, pAtom);
    };
    if (!mFileAsked) sendMessage(false), mFileAsked = true;
    if (send) sendMessage(true);
  }
  mGestures.TakeAll(&mDraining);
  // The host is called without our locks: it may answer with a port event at once.
  for (GestureQueue::Gesture const& g : mDraining)
  {
    if (g.mKind == GestureQueue::Gesture::kEditorSize)
    {
      int const w = g.mIdx, h = static_cast<int>(g.mValue);
      bool const resized =
          mResize && mResize->ui_resize && mResize->ui_resize(mResize->handle, w, h) == 0;
      if (IGraphics* pGraphics = GetGUI()) pGraphics->EditorSizeAnswered(w, h, resized);
      continue;
    }
    uint32_t const port = FirstParamPort() + static_cast<uint32_t>(g.mIdx);
    if (g.mKind == GestureQueue::Gesture::kValue)
    {
      float const value = static_cast<float>(g.mValue);
      mWrite(mController, port, sizeof(float), 0, &value);
    }
    else if (mTouch && mTouch->touch)
      mTouch->touch(mTouch->handle, port, g.mKind == GestureQueue::Gesture::kBegin);
  }
  mDraining.clear();
  IGraphics* pGraphics = GetGUI();
  return pGraphics && pGraphics->GetWindow() ? 0 : 1;
}
