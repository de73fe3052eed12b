// VstAbi.h: the VST 2 binary interface as TORVA uses it, plug-in side and host side.
//
// Written from the published interface: names, numbers and record layouts only. It declares
// what the adapter (IPlugVST, VSTDispatcher) and the `torva` command-line host use, nothing
// more. The file is plain C-compatible C++ so that either side can include it alone.
//
// Words:
//   effect record   the `AEffect` the plug-in's entry returns; the host talks to the plug-in
//                   only through its function pointers.
//   dispatcher      the effect's request callback, (effect, eff... opcode, index, value, ptr,
//                   opt) -> pointer-sized result.
//   host callback   the host's request callback, same shape, audioMaster... opcodes.
//
// Layouts are the 64-bit ones: `VstIntPtr` is pointer-sized and records use natural
// alignment. The static_asserts at the end pin every size and offset hosts rely on.

#ifndef TORVA_FRAMEWORK_VST2_VSTABI_H
#define TORVA_FRAMEWORK_VST2_VSTABI_H

#include <stddef.h>
#include <stdint.h>

typedef int16_t VstInt16;
typedef int32_t VstInt32;
typedef int64_t VstInt64;
typedef intptr_t VstIntPtr;

// Four-character codes as the interface packs them: first character in the top byte.
#define TORVA_VST_FOURCC(a, b, c, d)                                                               \
  ((VstInt32)(((uint32_t)(unsigned char)(a) << 24) | ((uint32_t)(unsigned char)(b) << 16) |        \
              ((uint32_t)(unsigned char)(c) << 8) | (uint32_t)(unsigned char)(d)))

#ifdef __cplusplus
extern "C"
{
#endif

  struct AEffect;

  // The host's callback, handed to the entry function.
  typedef VstIntPtr (*audioMasterCallback)(struct AEffect* effect, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt);
  // The callbacks stored in the effect record.
  typedef VstIntPtr (*AEffectDispatcherProc)(struct AEffect* effect, VstInt32 opcode,
                                             VstInt32 index, VstIntPtr value, void* ptr, float opt);
  typedef void (*AEffectProcessProc)(struct AEffect* effect, float** inputs, float** outputs,
                                     VstInt32 sampleFrames);
  typedef void (*AEffectProcessDoubleProc)(struct AEffect* effect, double** inputs,
                                           double** outputs, VstInt32 sampleFrames);
  typedef void (*AEffectSetParameterProc)(struct AEffect* effect, VstInt32 index, float parameter);
  typedef float (*AEffectGetParameterProc)(struct AEffect* effect, VstInt32 index);
  // The entry function a plug-in exports as `VSTPluginMain` (and as `main` for older hosts).
  typedef struct AEffect* (*VstPluginMainProc)(audioMasterCallback host);

  // ---------------------------------------------------------------------------------------------
  // Effect record

  enum
  {
    kEffectMagic = TORVA_VST_FOURCC('V', 's', 't', 'P'),
    kVstVersion = 2400
  };

  struct AEffect
  {
    VstInt32 magic; // kEffectMagic
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process; // accumulating; deprecated but still called by old hosts
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags; // effFlags...
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    VstInt32 initialDelay; // latency in samples
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object; // the plug-in object behind the record
    void* user;   // free for the host
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
  };

  enum VstAEffectFlags
  {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1, // deprecated
    effFlagsHasVu = 1 << 2,   // deprecated
    effFlagsCanMono = 1 << 3, // deprecated
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,   // deprecated
    effFlagsExtHasBuffer = 1 << 11, // deprecated
    effFlagsCanDoubleReplacing = 1 << 12
  };

  // ---------------------------------------------------------------------------------------------
  // Requests from the plug-in to the host (host callback opcodes)

  enum AudioMasterOpcodes
  {
    audioMasterAutomate = 0, // index, opt = normalised value
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,  // deprecated
    audioMasterWantMidi = 6,      // deprecated
    audioMasterGetTime = 7,       // value = wanted kVst...Valid flags; returns VstTimeInfo* or 0
    audioMasterProcessEvents = 8, // ptr = VstEvents*
    audioMasterSetTime = 9,       // deprecated
    audioMasterTempoAt = 10,      // deprecated
    audioMasterGetNumAutomatableParameters = 11, // deprecated
    audioMasterGetParameterQuantization = 12,    // deprecated
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,   // deprecated
    audioMasterSizeWindow = 15, // index = width, value = height
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,         // deprecated
    audioMasterGetNextPlug = 21,             // deprecated
    audioMasterWillReplaceOrAccumulate = 22, // deprecated
    audioMasterGetCurrentProcessLevel = 23,  // returns kVstProcessLevel...
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,         // deprecated
    audioMasterGetOutputSpeakerArrangement = 31, // deprecated
    audioMasterGetVendorString = 32,             // ptr = char[kVstMaxVendorStrLen]
    audioMasterGetProductString = 33,            // ptr = char[kVstMaxProductStrLen]
    audioMasterGetVendorVersion = 34,            // decimal, e.g. 2400
    audioMasterVendorSpecific = 35,
    audioMasterSetIcon = 36, // deprecated
    audioMasterCanDo = 37,   // ptr = capability string
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,  // deprecated
    audioMasterCloseWindow = 40, // deprecated
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43, // index
    audioMasterEndEdit = 44,   // index
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterEditFile = 47,                  // deprecated
    audioMasterGetChunkFile = 48,              // deprecated
    audioMasterGetInputSpeakerArrangement = 49 // deprecated
  };

  enum VstProcessLevels
  {
    kVstProcessLevelUnknown = 0,
    kVstProcessLevelUser = 1,
    kVstProcessLevelRealtime = 2,
    kVstProcessLevelPrefetch = 3,
    kVstProcessLevelOffline = 4
  };

  // ---------------------------------------------------------------------------------------------
  // Requests from the host to the plug-in (dispatcher opcodes)

  enum AEffectOpcodes
  {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2, // value = program
    effGetProgram = 3,
    effSetProgramName = 4, // ptr = char[kVstMaxProgNameLen]
    effGetProgramName = 5, // ptr = char[kVstMaxProgNameLen]
    effGetParamLabel = 6,  // index, ptr = char buffer
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,          // deprecated
    effSetSampleRate = 10, // opt = rate
    effSetBlockSize = 11,  // value = frames
    effMainsChanged = 12,  // value = 0 off (suspend), 1 on (resume)
    effEditGetRect = 13,   // ptr = ERect**
    effEditOpen = 14,      // ptr = parent window (an X11 Window id on Linux)
    effEditClose = 15,
    effEditDraw = 16,  // deprecated
    effEditMouse = 17, // deprecated
    effEditKey = 18,   // deprecated
    effEditIdle = 19,
    effEditTop = 20,       // deprecated
    effEditSleep = 21,     // deprecated
    effIdentify = 22,      // deprecated; answered 'NvEf'
    effGetChunk = 23,      // index 0 bank, else program; ptr = void**; returns size
    effSetChunk = 24,      // index as above; value = size; ptr = data
    effProcessEvents = 25, // ptr = VstEvents*
    effCanBeAutomated = 26,
    effString2Parameter = 27,        // index, ptr = text
    effGetNumProgramCategories = 28, // deprecated
    effGetProgramNameIndexed = 29,   // index, ptr = char[kVstMaxProgNameLen]
    effCopyProgram = 30,             // deprecated
    effConnectInput = 31,            // deprecated
    effConnectOutput = 32,           // deprecated
    effGetInputProperties = 33,      // index, ptr = VstPinProperties*
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effGetCurrentPosition = 36,   // deprecated
    effGetDestinationBuffer = 37, // deprecated
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,     // value = input VstSpeakerArrangement*, ptr = output one
    effSetBlockSizeAndSampleRate = 43, // deprecated
    effSetBypass = 44,
    effGetEffectName = 45,    // ptr = char[kVstMaxEffectNameLen]
    effGetErrorText = 46,     // deprecated
    effGetVendorString = 47,  // ptr = char[kVstMaxVendorStrLen]
    effGetProductString = 48, // ptr = char[kVstMaxProductStrLen]
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51, // ptr = capability string; 1 yes, -1 no, 0 don't know
    effGetTailSize = 52,
    effIdle = 53,            // deprecated
    effGetIcon = 54,         // deprecated
    effSetViewPosition = 55, // deprecated
    effGetParameterProperties = 56,
    effKeysRequired = 57, // deprecated
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66, // ptr = MidiKeyName*
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69, // value = input VstSpeakerArrangement**, ptr = output one
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77, // value = kVstProcessPrecision...
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79
  };

  enum VstProcessPrecision
  {
    kVstProcessPrecision32 = 0,
    kVstProcessPrecision64 = 1
  };

  enum VstPlugCategory
  {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
    kPlugCategAnalysis = 3,
    kPlugCategMastering = 4,
    kPlugCategSpacializer = 5,
    kPlugCategRoomFx = 6,
    kPlugSurroundFx = 7,
    kPlugCategRestoration = 8,
    kPlugCategOfflineProcess = 9,
    kPlugCategShell = 10,
    kPlugCategGenerator = 11
  };

  // Published buffer sizes, terminator included. Hosts commonly pass larger buffers than the
  // parameter-string one; see the adapter for the limits it actually writes to.
  enum VstStringConstants
  {
    kVstMaxProgNameLen = 24,
    kVstMaxParamStrLen = 8,
    kVstMaxVendorStrLen = 64,
    kVstMaxProductStrLen = 64,
    kVstMaxEffectNameLen = 32,
    kVstMaxNameLen = 64,
    kVstMaxLabelLen = 64,
    kVstMaxShortLabelLen = 8,
    kVstMaxCategLen = 24,
    kVstMaxFileNameLen = 100
  };

  // ---------------------------------------------------------------------------------------------
  // Editor rectangle

  struct ERect
  {
    VstInt16 top;
    VstInt16 left;
    VstInt16 bottom;
    VstInt16 right;
  };

  // ---------------------------------------------------------------------------------------------
  // Transport (audioMasterGetTime)

  struct VstTimeInfo
  {
    double samplePos; // current position of the block's first frame, in frames
    double sampleRate;
    double nanoSeconds;          // system time, kVstNanosValid
    double ppqPos;               // in quarter notes, kVstPpqPosValid
    double tempo;                // beats per minute, kVstTempoValid
    double barStartPos;          // last bar start in quarter notes, kVstBarsValid
    double cycleStartPos;        // kVstCyclePosValid
    double cycleEndPos;          // kVstCyclePosValid
    VstInt32 timeSigNumerator;   // kVstTimeSigValid
    VstInt32 timeSigDenominator; // kVstTimeSigValid
    VstInt32 smpteOffset;
    VstInt32 smpteFrameRate;
    VstInt32 samplesToNextClock;
    VstInt32 flags; // VstTimeInfoFlags
  };

  enum VstTimeInfoFlags
  {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstTransportCycleActive = 1 << 2,
    kVstTransportRecording = 1 << 3,
    kVstAutomationWriting = 1 << 6,
    kVstAutomationReading = 1 << 7,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstCyclePosValid = 1 << 12,
    kVstTimeSigValid = 1 << 13,
    kVstSmpteValid = 1 << 14,
    kVstClockValid = 1 << 15
  };

  // ---------------------------------------------------------------------------------------------
  // Events (effProcessEvents, audioMasterProcessEvents)

  enum VstEventTypes
  {
    kVstMidiType = 1,
    kVstAudioType = 2,     // deprecated
    kVstVideoType = 3,     // deprecated
    kVstParameterType = 4, // deprecated
    kVstTriggerType = 5,   // deprecated
    kVstSysExType = 6
  };

  // The common head of every event; byteSize is the size of the whole record.
  struct VstEvent
  {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames; // offset into the current block
    VstInt32 flags;
    char data[16];
  };

  // A list of events. The array is declared with two entries; hosts allocate as many as
  // numEvents says.
  struct VstEvents
  {
    VstInt32 numEvents;
    VstIntPtr reserved;
    struct VstEvent* events[2];
  };

  enum VstMidiEventFlags
  {
    kVstMidiEventIsRealtime = 1
  };

  struct VstMidiEvent
  {
    VstInt32 type; // kVstMidiType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags; // VstMidiEventFlags
    VstInt32 noteLength;
    VstInt32 noteOffset;
    char midiData[4]; // status, data 1, data 2, 0
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
  };

  struct VstMidiSysexEvent
  {
    VstInt32 type; // kVstSysExType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 dumpBytes;
    VstIntPtr resvd1;
    char* sysexDump; // not owned; valid for the call
    VstIntPtr resvd2;
  };

  // ---------------------------------------------------------------------------------------------
  // Pins and speakers

  enum VstPinPropertiesFlags
  {
    kVstPinIsActive = 1,
    kVstPinIsStereo = 1 << 1,
    kVstPinUseSpeaker = 1 << 2
  };

  struct VstPinProperties
  {
    char label[kVstMaxLabelLen];
    VstInt32 flags; // VstPinPropertiesFlags
    VstInt32 arrangementType;
    char shortLabel[kVstMaxShortLabelLen];
    char future[48];
  };

  enum VstSpeakerArrangementType
  {
    kSpeakerArrUserDefined = -2,
    kSpeakerArrEmpty = -1,
    kSpeakerArrMono = 0,
    kSpeakerArrStereo = 1,
    kSpeakerArrStereoSurround = 2,
    kSpeakerArrStereoCenter = 3,
    kSpeakerArrStereoSide = 4,
    kSpeakerArrStereoCLfe = 5,
    kSpeakerArr30Cine = 6,
    kSpeakerArr30Music = 7,
    kSpeakerArr31Cine = 8,
    kSpeakerArr31Music = 9,
    kSpeakerArr40Cine = 10,
    kSpeakerArr40Music = 11,
    kSpeakerArr41Cine = 12,
    kSpeakerArr41Music = 13,
    kSpeakerArr50 = 14,
    kSpeakerArr51 = 15
  };

  enum VstSpeakerType
  {
    kSpeakerUndefined = 0x7fffffff,
    kSpeakerM = 0,
    kSpeakerL = 1,
    kSpeakerR = 2,
    kSpeakerC = 3,
    kSpeakerLfe = 4,
    kSpeakerLs = 5,
    kSpeakerRs = 6
  };

  struct VstSpeakerProperties
  {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[kVstMaxNameLen];
    VstInt32 type; // VstSpeakerType
    char future[28];
  };

  // Declared with eight speakers; hosts may allocate more behind it.
  struct VstSpeakerArrangement
  {
    VstInt32 type; // VstSpeakerArrangementType
    VstInt32 numChannels;
    struct VstSpeakerProperties speakers[8];
  };

  // ---------------------------------------------------------------------------------------------
  // MIDI key names (effGetMidiKeyName)

  struct MidiKeyName
  {
    VstInt32 thisProgramIndex;
    VstInt32 thisKeyNumber;
    char keyName[kVstMaxNameLen];
    VstInt32 reserved;
    VstInt32 flags;
  };

#ifdef __cplusplus
} // extern "C"
#endif

// Layouts hosts and plug-ins built elsewhere rely on (64-bit, natural alignment).
#ifdef __cplusplus
#define TORVA_VST_ASSERT(cond) static_assert(cond, #cond)
#else
#define TORVA_VST_ASSERT(cond) _Static_assert(cond, #cond)
#endif
TORVA_VST_ASSERT(sizeof(VstIntPtr) == sizeof(void*));
TORVA_VST_ASSERT(kEffectMagic == 0x56737450);
#if UINTPTR_MAX == 0xffffffffffffffffu
TORVA_VST_ASSERT(sizeof(struct AEffect) == 192);
TORVA_VST_ASSERT(offsetof(struct AEffect, dispatcher) == 8);
TORVA_VST_ASSERT(offsetof(struct AEffect, numPrograms) == 40);
TORVA_VST_ASSERT(offsetof(struct AEffect, flags) == 56);
TORVA_VST_ASSERT(offsetof(struct AEffect, initialDelay) == 80);
TORVA_VST_ASSERT(offsetof(struct AEffect, ioRatio) == 92);
TORVA_VST_ASSERT(offsetof(struct AEffect, object) == 96);
TORVA_VST_ASSERT(offsetof(struct AEffect, uniqueID) == 112);
TORVA_VST_ASSERT(offsetof(struct AEffect, processReplacing) == 120);
TORVA_VST_ASSERT(offsetof(struct AEffect, processDoubleReplacing) == 128);
TORVA_VST_ASSERT(offsetof(struct AEffect, future) == 136);
TORVA_VST_ASSERT(sizeof(struct VstEvents) == 32);
TORVA_VST_ASSERT(offsetof(struct VstEvents, events) == 16);
TORVA_VST_ASSERT(sizeof(struct VstMidiSysexEvent) == 48);
TORVA_VST_ASSERT(offsetof(struct VstMidiSysexEvent, sysexDump) == 32);
#endif
TORVA_VST_ASSERT(sizeof(struct ERect) == 8);
TORVA_VST_ASSERT(sizeof(struct VstTimeInfo) == 88);
TORVA_VST_ASSERT(offsetof(struct VstTimeInfo, timeSigNumerator) == 64);
TORVA_VST_ASSERT(offsetof(struct VstTimeInfo, flags) == 84);
TORVA_VST_ASSERT(sizeof(struct VstEvent) == 32);
TORVA_VST_ASSERT(sizeof(struct VstMidiEvent) == 32);
TORVA_VST_ASSERT(offsetof(struct VstMidiEvent, midiData) == 24);
TORVA_VST_ASSERT(sizeof(struct VstPinProperties) == 128);
TORVA_VST_ASSERT(offsetof(struct VstPinProperties, flags) == 64);
TORVA_VST_ASSERT(sizeof(struct VstSpeakerProperties) == 112);
TORVA_VST_ASSERT(sizeof(struct VstSpeakerArrangement) == 8 + 8 * 112);
TORVA_VST_ASSERT(sizeof(struct MidiKeyName) == 80);
TORVA_VST_ASSERT(offsetof(struct MidiKeyName, keyName) == 8);
#undef TORVA_VST_ASSERT

#endif // TORVA_FRAMEWORK_VST2_VSTABI_H
