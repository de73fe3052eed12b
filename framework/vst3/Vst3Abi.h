#pragma once
// Our own VST 3 ABI header: the part of the published interface the adapter and our test host
// use, written from the interface's documentation (identifiers, method order, result codes and
// struct layouts). Linux form: plain C++ virtual tables (no calling-convention attribute), and
// interface identifiers stored as the bytes of their four 32-bit words in big-endian order (the
// layout that is not COM-compatible).
//
// Interfaces are abstract classes without data or destructors, so that their virtual tables are
// exactly the published method order. Every method returns tresult unless it says otherwise.

#include <cstdint>
#include <cstring>

namespace vst3
{

using tresult = int32_t;
using TBool = uint8_t;
using char16 = char16_t;
using TChar = char16;
using String128 = TChar[128];
using FIDString = char const*;
using ParamID = uint32_t;
using ParamValue = double;
using SpeakerArrangement = uint64_t;
using Sample32 = float;
using Sample64 = double;

// An interface or class identifier: 16 bytes.
using TUID = char[16];

constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kNoInterface = -1;

// An identifier from its four words, as the interface's documentation writes them.
struct Uid
{
  char bytes[16];
  constexpr Uid(uint32_t a, uint32_t b, uint32_t c, uint32_t d) : bytes{}
  {
    uint32_t const w[4] = {a, b, c, d};
    for (int i = 0; i < 16; ++i)
      bytes[i] = static_cast<char>(static_cast<uint8_t>(w[i / 4] >> (24 - 8 * (i % 4))));
  }
  bool Is(void const* other) const { return other && std::memcmp(bytes, other, 16) == 0; }
};

inline constexpr Uid kFUnknownIID{0x00000000, 0x00000000, 0xC0000000, 0x00000046};
inline constexpr Uid kIPluginBaseIID{0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625};
inline constexpr Uid kIPluginFactoryIID{0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F};
inline constexpr Uid kIPluginFactory2IID{0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB};
inline constexpr Uid kIPluginFactory3IID{0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931};
inline constexpr Uid kIComponentIID{0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802};
inline constexpr Uid kIAudioProcessorIID{0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D};
inline constexpr Uid kIEditControllerIID{0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E};
inline constexpr Uid kIConnectionPointIID{0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1};
inline constexpr Uid kIComponentHandlerIID{0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6};
inline constexpr Uid kIHostApplicationIID{0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5};
inline constexpr Uid kIParameterChangesIID{0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D};
inline constexpr Uid kIParamValueQueueIID{0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA};
inline constexpr Uid kIBStreamIID{0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B};
inline constexpr Uid kIPlugViewIID{0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29};
inline constexpr Uid kIPlugFrameIID{0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3};
inline constexpr Uid kIPlugViewContentScaleSupportIID{0x65ED9690, 0x8AC44525, 0x8AADEF7A,
                                                      0x72EA703F};
inline constexpr Uid kIRunLoopIID{0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389};
inline constexpr Uid kIEventHandlerIID{0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983};
inline constexpr Uid kITimerHandlerIID{0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9};

constexpr char kPlatformTypeX11EmbedWindowID[] = "X11EmbedWindowID";
constexpr char kVstAudioEffectClass[] = "Audio Module Class";
constexpr char kEditorViewName[] = "editor";

class FUnknown
{
public:
  virtual tresult queryInterface(TUID const iid, void** obj) = 0;
  virtual uint32_t addRef() = 0;
  virtual uint32_t release() = 0;
};

class IPluginBase : public FUnknown
{
public:
  virtual tresult initialize(FUnknown* context) = 0;
  virtual tresult terminate() = 0;
};

// ---- Factory --------------------------------------------------------------------------------

struct PFactoryInfo
{
  enum : int32_t
  {
    kNoFlags = 0,
    kUnicode = 1 << 4
  };
  char vendor[64];
  char url[256];
  char email[128];
  int32_t flags;
};

constexpr int32_t kManyInstances = 0x7FFFFFFF;

struct PClassInfo
{
  TUID cid;
  int32_t cardinality;
  char category[32];
  char name[64];
};

struct PClassInfo2
{
  TUID cid;
  int32_t cardinality;
  char category[32];
  char name[64];
  uint32_t classFlags;
  char subCategories[128];
  char vendor[64];
  char version[64];
  char sdkVersion[64];
};

struct PClassInfoW
{
  TUID cid;
  int32_t cardinality;
  char category[32];
  char16 name[64];
  uint32_t classFlags;
  char subCategories[128];
  char16 vendor[64];
  char16 version[64];
  char16 sdkVersion[64];
};

class IPluginFactory : public FUnknown
{
public:
  virtual tresult getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32_t countClasses() = 0;
  virtual tresult getClassInfo(int32_t index, PClassInfo* info) = 0;
  virtual tresult createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

class IPluginFactory2 : public IPluginFactory
{
public:
  virtual tresult getClassInfo2(int32_t index, PClassInfo2* info) = 0;
};

class IPluginFactory3 : public IPluginFactory2
{
public:
  virtual tresult getClassInfoUnicode(int32_t index, PClassInfoW* info) = 0;
  virtual tresult setHostContext(FUnknown* context) = 0;
};

class IHostApplication : public FUnknown
{
public:
  virtual tresult getName(String128 name) = 0;
  virtual tresult createInstance(TUID cid, TUID iid, void** obj) = 0;
};

// ---- Streams --------------------------------------------------------------------------------

class IBStream : public FUnknown
{
public:
  enum : int32_t
  {
    kIBSeekSet = 0,
    kIBSeekCur = 1,
    kIBSeekEnd = 2
  };
  virtual tresult read(void* buffer, int32_t numBytes, int32_t* numBytesRead) = 0;
  virtual tresult write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) = 0;
  virtual tresult seek(int64_t pos, int32_t mode, int64_t* result) = 0;
  virtual tresult tell(int64_t* pos) = 0;
};

// ---- Component and processor ----------------------------------------------------------------

enum MediaTypes : int32_t
{
  kAudio = 0,
  kEvent = 1
};
enum BusDirections : int32_t
{
  kInput = 0,
  kOutput = 1
};
enum BusTypes : int32_t
{
  kMain = 0,
  kAux = 1
};
enum IoModes : int32_t
{
  kSimple = 0
};

struct BusInfo
{
  enum : uint32_t
  {
    kDefaultActive = 1
  };
  int32_t mediaType;
  int32_t direction;
  int32_t channelCount;
  String128 name;
  int32_t busType;
  uint32_t flags;
};

struct RoutingInfo
{
  int32_t mediaType;
  int32_t busIndex;
  int32_t channel;
};

class IComponent : public IPluginBase
{
public:
  virtual tresult getControllerClassId(TUID classId) = 0;
  virtual tresult setIoMode(int32_t mode) = 0;
  virtual int32_t getBusCount(int32_t type, int32_t dir) = 0;
  virtual tresult getBusInfo(int32_t type, int32_t dir, int32_t index, BusInfo& bus) = 0;
  virtual tresult getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
  virtual tresult activateBus(int32_t type, int32_t dir, int32_t index, TBool state) = 0;
  virtual tresult setActive(TBool state) = 0;
  virtual tresult setState(IBStream* state) = 0;
  virtual tresult getState(IBStream* state) = 0;
};

namespace SpeakerArr
{
constexpr SpeakerArrangement kEmpty = 0;
constexpr SpeakerArrangement kMono = 1ull << 19; // the centre speaker
constexpr SpeakerArrangement kStereo = 3;        // left and right
} // namespace SpeakerArr

enum SymbolicSampleSizes : int32_t
{
  kSample32 = 0,
  kSample64 = 1
};
enum ProcessModes : int32_t
{
  kRealtime = 0,
  kPrefetch = 1,
  kOffline = 2
};

struct ProcessSetup
{
  int32_t processMode;
  int32_t symbolicSampleSize;
  int32_t maxSamplesPerBlock;
  double sampleRate;
};

struct AudioBusBuffers
{
  int32_t numChannels;
  uint64_t silenceFlags;
  union
  {
    Sample32** channelBuffers32;
    Sample64** channelBuffers64;
  };
};

class IParamValueQueue : public FUnknown
{
public:
  virtual ParamID getParameterId() = 0;
  virtual int32_t getPointCount() = 0;
  virtual tresult getPoint(int32_t index, int32_t& sampleOffset, ParamValue& value) = 0;
  virtual tresult addPoint(int32_t sampleOffset, ParamValue value, int32_t& index) = 0;
};

class IParameterChanges : public FUnknown
{
public:
  virtual int32_t getParameterCount() = 0;
  virtual IParamValueQueue* getParameterData(int32_t index) = 0;
  virtual IParamValueQueue* addParameterData(ParamID const& id, int32_t& index) = 0;
};

class IEventList;      // not used: no MIDI
struct ProcessContext; // not used: no transport

struct ProcessData
{
  int32_t processMode;
  int32_t symbolicSampleSize;
  int32_t numSamples;
  int32_t numInputs;
  int32_t numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown
{
public:
  virtual tresult setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                     SpeakerArrangement* outputs, int32_t numOuts) = 0;
  virtual tresult getBusArrangement(int32_t dir, int32_t index, SpeakerArrangement& arr) = 0;
  virtual tresult canProcessSampleSize(int32_t symbolicSampleSize) = 0;
  virtual uint32_t getLatencySamples() = 0;
  virtual tresult setupProcessing(ProcessSetup& setup) = 0;
  virtual tresult setProcessing(TBool state) = 0;
  virtual tresult process(ProcessData& data) = 0;
  virtual uint32_t getTailSamples() = 0;
};

// ---- Controller -----------------------------------------------------------------------------

struct ParameterInfo
{
  enum : int32_t
  {
    kNoFlags = 0,
    kCanAutomate = 1 << 0,
    kIsReadOnly = 1 << 1,
    kIsWrapAround = 1 << 2,
    kIsList = 1 << 3,
    kIsHidden = 1 << 4,
    kIsProgramChange = 1 << 15,
    kIsBypass = 1 << 16
  };
  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32_t stepCount;
  ParamValue defaultNormalizedValue;
  int32_t unitId;
  int32_t flags;
};

class IComponentHandler : public FUnknown
{
public:
  virtual tresult beginEdit(ParamID id) = 0;
  virtual tresult performEdit(ParamID id, ParamValue valueNormalized) = 0;
  virtual tresult endEdit(ParamID id) = 0;
  virtual tresult restartComponent(int32_t flags) = 0;
};

class IPlugView;

class IEditController : public IPluginBase
{
public:
  virtual tresult setComponentState(IBStream* state) = 0;
  virtual tresult setState(IBStream* state) = 0;
  virtual tresult getState(IBStream* state) = 0;
  virtual int32_t getParameterCount() = 0;
  virtual tresult getParameterInfo(int32_t paramIndex, ParameterInfo& info) = 0;
  virtual tresult getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                        String128 string) = 0;
  virtual tresult getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) = 0;
  virtual ParamValue normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
  virtual ParamValue plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
  virtual ParamValue getParamNormalized(ParamID id) = 0;
  virtual tresult setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult setComponentHandler(IComponentHandler* handler) = 0;
  virtual IPlugView* createView(FIDString name) = 0;
};

class IMessage; // not used: one object serves both halves

class IConnectionPoint : public FUnknown
{
public:
  virtual tresult connect(IConnectionPoint* other) = 0;
  virtual tresult disconnect(IConnectionPoint* other) = 0;
  virtual tresult notify(IMessage* message) = 0;
};

// ---- Editor view ----------------------------------------------------------------------------

struct ViewRect
{
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

class IPlugFrame : public FUnknown
{
public:
  virtual tresult resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

class IPlugView : public FUnknown
{
public:
  virtual tresult isPlatformTypeSupported(FIDString type) = 0;
  virtual tresult attached(void* parent, FIDString type) = 0;
  virtual tresult removed() = 0;
  virtual tresult onWheel(float distance) = 0;
  virtual tresult onKeyDown(char16 key, int16_t keyCode, int16_t modifiers) = 0;
  virtual tresult onKeyUp(char16 key, int16_t keyCode, int16_t modifiers) = 0;
  virtual tresult getSize(ViewRect* size) = 0;
  virtual tresult onSize(ViewRect* newSize) = 0;
  virtual tresult onFocus(TBool state) = 0;
  virtual tresult setFrame(IPlugFrame* frame) = 0;
  virtual tresult canResize() = 0;
  virtual tresult checkSizeConstraint(ViewRect* rect) = 0;
};

class IPlugViewContentScaleSupport : public FUnknown
{
public:
  virtual tresult setContentScaleFactor(float factor) = 0;
};

class IEventHandler : public FUnknown
{
public:
  virtual void onFDIsSet(int fd) = 0;
};

class ITimerHandler : public FUnknown
{
public:
  virtual void onTimer() = 0;
};

class IRunLoop : public FUnknown
{
public:
  virtual tresult registerEventHandler(IEventHandler* handler, int fd) = 0;
  virtual tresult unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult registerTimer(ITimerHandler* handler, uint64_t milliseconds) = 0;
  virtual tresult unregisterTimer(ITimerHandler* handler) = 0;
};

// Layouts the host relies on, checked where the compiler can.
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(sizeof(PClassInfo2) == 440);
static_assert(sizeof(BusInfo) == 276);
static_assert(sizeof(ProcessSetup) == 24);
static_assert(sizeof(AudioBusBuffers) == 24);
static_assert(sizeof(ProcessData) == 80);
static_assert(sizeof(ParameterInfo) == 792);
static_assert(sizeof(ViewRect) == 16);

} // namespace vst3
