// The effect record's dispatcher: every non-audio request of the host.
//
// State requests run under the plug-in mutex; the editor requests do their window work without
// it (see IPlugVST.h). Each answers with the result the published interface gives it; opcodes
// the plug-in does not handle answer 0. Texts written into host buffers are cut to the sizes
// hosts reserve (see IPlugVST.h); numbers go out and come in with '.' as the decimal point
// whatever the host's locale.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "framework/Log.h"
#include "framework/vst2/IPlugVST.h"
#include "graphics/IGraphics.h"

namespace
{
// Buffer sizes (with terminator) for the texts the dispatcher hands out. Hosts reserve 24 bytes
// or more for parameter texts in practice; the published 8 would cut "Presence".
constexpr int kParamTextOut = 24;
constexpr int kProgNameOut = kVstMaxProgNameLen;
constexpr int kEffectNameOut = kVstMaxEffectNameLen;
constexpr int kVendorOut = kVstMaxVendorStrLen;
constexpr int kProductOut = kVstMaxProductStrLen;

constexpr VstIntPtr kEffIdentify = TORVA_VST_FOURCC('N', 'v', 'E', 'f');
constexpr VstIntPtr kVendorSpecificYes = 0xBEEF;
// The vendor request some Linux hosts send before effEditOpen: index 'PreS', value 'AeCs', the
// scale factor as the float argument.
constexpr VstInt32 kHostScaleRequest = 0x50726553;
constexpr VstIntPtr kHostScaleValue = 0x41654373;
constexpr VstIntPtr kCockosYes = static_cast<VstIntPtr>(0xBEEF0000u);

// A pointer-sized request value as an index; anything outside the int range is no index.
int ToIndex(VstIntPtr value)
{
  return value < 0 || value > std::numeric_limits<int>::max() ? -1 : static_cast<int>(value);
}
} // namespace

VstIntPtr IPlugVST::VSTDispatcher(AEffect* pEffect, VstInt32 opCode, VstInt32 idx, VstIntPtr value,
                                  void* ptr, float opt)
{
  IPlugVST* _this = pEffect ? static_cast<IPlugVST*>(pEffect->object) : nullptr;
  if (!_this) return 0;

  if (opCode != effEditIdle && opCode != effIdle)
    Trace("VSTDispatcher", __LINE__, "%d(%s):%d:%d", opCode, VSTOpcodeStr(opCode), idx,
          static_cast<int>(value));
  if (opCode == effEditGetRect || opCode == effEditOpen || opCode == effEditClose ||
      opCode == effEditIdle)
    return _this->DoEditorRequest(opCode, ptr);

  if (opCode == effOpen)
  {
    // The host is asked who it is before the lock is taken: it may call back into the plug-in
    // from another thread while it answers. Counted until the lock is held, so that a close
    // from inside the answer does not delete the object under this request.
    _this->mUnlockedRequests.fetch_add(1);
    _this->GetHost();
    _this->mMutex.Enter();
    _this->mUnlockedRequests.fetch_sub(1);
  }
  else
    _this->mMutex.Enter();

  char* const str = static_cast<char*>(ptr);
  IParam* const pParam = _this->GetParam(idx); // null when idx is out of range
  VstIntPtr result = 0;

  switch (opCode)
  {
  case effOpen:
    _this->HostSpecificInit();
    _this->OnParamReset();
    break;

  case effClose:
    _this->Close();
    return 0;

  case effSetProgram:
    if (!_this->DoesStateChunks()) _this->ModifyCurrentPreset();
    _this->RestorePreset(ToIndex(value));
    break;

  case effGetProgram:
    result = _this->GetCurrentPresetIdx();
    break;

  case effSetProgramName:
    if (str)
    {
      _this->ModifyCurrentPreset(str);
      _this->PresetsChangedByHost();
    }
    break;

  case effGetProgramName:
    if (str)
      detail::CopyBounded(str, _this->GetPresetName(_this->GetCurrentPresetIdx()), kProgNameOut);
    break;

  case effGetParamLabel:
    if (pParam && str) detail::CopyBounded(str, pParam->GetLabelForHost(), kParamTextOut);
    break;

  case effGetParamDisplay:
    if (pParam && str)
    {
      char display[kParamTextLen];
      pParam->GetDisplayForHost(pParam->Value(), false, display, true);
      detail::CopyBounded(str, display, kParamTextOut);
    }
    break;

  case effGetParamName:
    if (pParam && str) detail::CopyBounded(str, pParam->GetNameForHost(), kParamTextOut);
    break;

  case effSetSampleRate:
    // A rate of zero, below zero or not a number would poison every filter.
    if (std::isfinite(opt) && opt > 0.0f)
    {
      _this->SetSampleRate(static_cast<double>(opt));
      _this->Reset();
    }
    break;

  case effSetBlockSize:
    // Zero or less keeps the current size (the base would go silent); bigger host blocks than
    // kMaxBlockSize are sliced by the base.
    if (value > 0)
      _this->SetBlockSize(value > kMaxBlockSize ? kMaxBlockSize : static_cast<int>(value));
    _this->Reset();
    break;

  case effMainsChanged:
    if (value)
      _this->OnActivate(true);
    else
    {
      _this->OnActivate(false);
      _this->Reset();
    }
    break;

  case effIdentify:
    result = kEffIdentify;
    break;

  case effGetChunk:
    if (ptr)
    {
      bool const isBank = idx == 0;
      ByteChunk* pChunk = isBank ? &_this->mBankState : &_this->mState;
      if (_this->GetHostChunk(pChunk, isBank) && pChunk->Size() > 0)
      {
        *static_cast<void**>(ptr) = pChunk->GetBytes();
        result = pChunk->Size();
      }
    }
    break;

  case effSetChunk:
    result = _this->DoSetChunk(ptr, value, idx == 0);
    break;

  case effProcessEvents:
    result = _this->DoProcessEvents(static_cast<VstEvents const*>(ptr));
    break;

  case effCanBeAutomated:
    result = 1;
    break;

  case effString2Parameter:
    result = _this->DoString2Parameter(idx, str);
    break;

  case effGetProgramNameIndexed:
    if (str)
    {
      detail::CopyBounded(str, _this->GetPresetName(idx), kProgNameOut);
      result = str[0] != '\0';
    }
    break;

  case effGetInputProperties:
  case effGetOutputProperties:
    result = _this->DoPinProperties(idx, static_cast<VstPinProperties*>(ptr),
                                    opCode == effGetInputProperties);
    break;

  case effGetPlugCategory:
    result = _this->IsInst() ? kPlugCategSynth : kPlugCategEffect;
    break;

  case effSetSpeakerArrangement:
    result = _this->DoSetSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement const*>(value),
                                            static_cast<VstSpeakerArrangement const*>(ptr));
    break;

  case effGetEffectName:
    if (str)
    {
      detail::CopyBounded(str, _this->GetEffectName(), kEffectNameOut);
      result = 1;
    }
    break;

  case effGetVendorString:
    if (str)
    {
      detail::CopyBounded(str, _this->GetMfrName(), kVendorOut);
      result = 1;
    }
    break;

  case effGetProductString:
    if (str)
    {
      detail::CopyBounded(str, _this->GetProductName(), kProductOut);
      result = 1;
    }
    break;

  case effGetVendorVersion:
    result = _this->GetEffectVersion(true);
    break;

  case effVendorSpecific:
    result = _this->DoVendorSpecific(idx, value, ptr, opt);
    break;

  case effCanDo:
    result = _this->DoCanDo(str);
    break;

  case effGetTailSize:
    result = _this->GetTailSize();
    break;

  case effGetVstVersion:
    result = kVstVersion;
    break;

  case effGetMidiKeyName:
    if (auto* pKey = static_cast<MidiKeyName*>(ptr))
    {
      // The product writes into our room; the host gets what fits its field.
      char name[256] = {};
      bool const named = _this->MidiNoteName(pKey->thisKeyNumber, name);
      name[sizeof name - 1] = '\0';
      detail::CopyBounded(pKey->keyName, name, kVstMaxNameLen);
      result = named ? 1 : 0;
    }
    break;

  case effGetSpeakerArrangement:
    if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &_this->mInputSpkrArr;
    if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &_this->mOutputSpkrArr;
    result = 1;
    break;

  default: // effIdle, effProcessVarIo and everything not handled
    break;
  }

  _this->mMutex.Leave();
  return result;
}

VstIntPtr IPlugVST::DoEditorRequest(VstInt32 opCode, void* ptr)
{
  mUnlockedRequests.fetch_add(1);
  IGraphics* const pGraphics = GetGUI();
  VstIntPtr result = 0;
  switch (opCode)
  {
  case effEditGetRect:
    if (ptr && pGraphics)
    {
      // The size the editor opens at (or has, while open).
      int const scale = pGraphics->ResolveScale();
      mEditRect.top = mEditRect.left = 0;
      mEditRect.right = static_cast<VstInt16>(pGraphics->ScaledWidth(scale));
      mEditRect.bottom = static_cast<VstInt16>(pGraphics->ScaledHeight(scale));
      *static_cast<ERect**>(ptr) = &mEditRect;
      result = 1;
    }
    break;

  case effEditOpen:
    if (pGraphics)
    {
      std::lock_guard<std::recursive_mutex> lock(mEditorMutex);
      mLastEditIdleMs.store(0); // until this host idles the new editor, gestures go at once
      if (pGraphics->OpenWindow(ptr))
      {
        WDL_MutexLock plugLock(&mMutex);
        OnGUIOpen();
        result = 1;
      }
    }
    break;

  case effEditClose:
    if (pGraphics)
    {
      std::lock_guard<std::recursive_mutex> lock(mEditorMutex);
      {
        WDL_MutexLock plugLock(&mMutex);
        OnGUIClose();
      }
      mEditorClosing.store(true);
      pGraphics->CloseWindow();
      mEditorClosing.store(false);
      result = 1;
    }
    DeliverGestures(); // what the editor left (a drag cut short ends here), on the host's thread
    break;

  case effEditIdle:
    mLastEditIdleMs.store(SteadyMs());
    DeliverGestures();
    break;

  default:
    break;
  }
  // A close from inside one of the host calls above waits for this count: nothing of the object
  // is touched after it.
  mUnlockedRequests.fetch_sub(1);
  return result;
}

VstIntPtr IPlugVST::DoSetChunk(void const* pData, VstIntPtr size, bool isBank)
{
  // Nothing is read unless the whole claimed size is plausible.
  if (!pData || size < 0 || size > kMaxHostChunkSize) return 0;
  return LoadHostChunk(pData, static_cast<int>(size), isBank) ? 1 : 0;
}

VstIntPtr IPlugVST::DoProcessEvents(VstEvents const* pEvents)
{
  if (!pEvents) return 0;
  for (int i = 0; i < pEvents->numEvents; ++i)
  {
    VstEvent const* pEvent = pEvents->events[i];
    if (!pEvent) continue;
    if (pEvent->type == kVstMidiType)
    {
      auto const* pMidi = reinterpret_cast<VstMidiEvent const*>(pEvent);
      IMidiMsg msg(pMidi->deltaFrames, static_cast<uint8_t>(pMidi->midiData[0]),
                   static_cast<uint8_t>(pMidi->midiData[1]),
                   static_cast<uint8_t>(pMidi->midiData[2]));
      ProcessMidiMsg(&msg);
    }
    else if (pEvent->type == kVstSysExType)
    {
      auto const* pSysex = reinterpret_cast<VstMidiSysexEvent const*>(pEvent);
      ISysEx msg(pSysex->deltaFrames, reinterpret_cast<uint8_t const*>(pSysex->sysexDump),
                 pSysex->dumpBytes);
      ProcessSysEx(&msg);
    }
  }
  return 1;
}

VstIntPtr IPlugVST::DoString2Parameter(int idx, char const* text)
{
  IParam* pParam = GetParam(idx);
  if (!pParam) return 0;
  if (!text) return 1; // "yes, this parameter takes text"

  // Text the parameter does not read changes nothing: "abc" is no 0.
  double v = 0.0;
  if (!pParam->ParseText(text, &v)) return 0;
  SetParameterFromHost(idx, v);
  return 1;
}

VstIntPtr IPlugVST::DoPinProperties(int idx, VstPinProperties* pProps, bool isInput)
{
  int const nChannels = isInput ? NInChannels() : NOutChannels();
  if (idx < 0 || !pProps || idx >= nChannels) return 0;
  pProps->flags = kVstPinIsActive;
  if (idx % 2 == 0 && idx + 1 < nChannels) pProps->flags |= kVstPinIsStereo;
  char const* label = isInput ? GetInputLabel(idx) : GetOutputLabel(idx);
  if (label && label[0])
    detail::CopyBounded(pProps->label, label, kVstMaxLabelLen);
  else
    std::snprintf(pProps->label, kVstMaxLabelLen, isInput ? "Input %d" : "Output %d", idx + 1);
  return 1;
}

VstIntPtr IPlugVST::DoSetSpeakerArrangement(VstSpeakerArrangement const* pIn,
                                            VstSpeakerArrangement const* pOut)
{
  // The host's count connects that many channels from the first; the rest are disconnected.
  // A count outside 0 .. channels is taken as the nearest bound.
  if (pIn)
  {
    int const nCh = NInChannels();
    int const n = pIn->numChannels < 0 ? 0 : pIn->numChannels > nCh ? nCh : pIn->numChannels;
    SetInputChannelConnections(0, n, true);
    SetInputChannelConnections(n, nCh - n, false);
  }
  if (!pOut) return 1;
  int const nCh = NOutChannels();
  int const n = pOut->numChannels < 0 ? 0 : pOut->numChannels > nCh ? nCh : pOut->numChannels;
  SetOutputChannelConnections(0, n, true);
  SetOutputChannelConnections(n, nCh - n, false);
  return 1;
}

VstIntPtr IPlugVST::DoCanDo(char const* str)
{
  if (!str) return 0;
  Trace("VSTDispatcher", __LINE__, "VSTCanDo(%s)", str);
  if (!std::strcmp(str, "receiveVstTimeInfo")) return 1;
  if (DoesMIDI() &&
      (!std::strcmp(str, "sendVstEvents") || !std::strcmp(str, "sendVstMidiEvent") ||
       !std::strcmp(str, "receiveVstEvents") || !std::strcmp(str, "receiveVstMidiEvent")))
    return 1;
  if (!std::strcmp(str, "hasCockosExtensions"))
  {
    mHasVSTExtensions |= 1;
    return kCockosYes;
  }
  if (!std::strcmp(str, "hasCockosViewAsConfig"))
  {
    mHasVSTExtensions |= 2;
    return kCockosYes;
  }
  return 0;
}

VstIntPtr IPlugVST::DoVendorSpecific(int idx, VstIntPtr value, void* ptr, float opt)
{
  // 7: the display of an arbitrary normalised value, without touching the parameter.
  if (idx == 7 && ptr)
  {
    if (IParam const* pParam = GetParam(ToIndex(value)))
    {
      char display[kParamTextLen];
      pParam->GetDisplayForHost(static_cast<double>(opt), true, display, true);
      detail::CopyBounded(static_cast<char*>(ptr), display, kParamTextOut);
    }
    return kVendorSpecificYes;
  }
  // 'PreS' with 'AeCs': the host's scale factor for the editor, asked before it opens.
  if (idx == kHostScaleRequest && value == kHostScaleValue)
  {
    if (IGraphics* pGraphics = GetGUI()) pGraphics->SetHostScale(static_cast<double>(opt));
    return 1;
  }
  // 8: whether the parameter is continuous.
  if (idx == 8)
  {
    IParam const* pParam = GetParam(ToIndex(value));
    return pParam && pParam->Type() == IParam::kTypeDouble ? kVendorSpecificYes : 0;
  }
  return 0;
}
