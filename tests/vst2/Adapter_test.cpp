// The adapter with a small plug-in of its own (linked statically): the host calls it makes, the
// rules it applies to the host's answers, and the dispatcher paths TORVA does not take (MIDI,
// display texts, labels, an editor, several presets).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "TestHost.h"
#include "framework/vst2/IPlugVST.h"
#include "graphics/IGraphics.h"

using namespace vsthost;

namespace
{
// Records what the plug-in asks of its editor.
class FakeGraphics : public IGraphics
{
public:
  FakeGraphics(IPlugBase* pPlug, int w, int h) : IGraphics(pPlug, w, h) {}
  void SetParameterFromPlug(int idx, double value, bool normalized) override
  {
    mMoves.push_back({idx, value, normalized});
  }
  void PrepDraw() override { ++mPrepDraws; }
  void* OpenWindow(void* pParent) override
  {
    mParent = pParent;
    return mOpenResult;
  }
  void CloseWindow() override { ++mCloses; }
  // The rest of the platform half, unused here.
  bool DrawScreen(IRECT*) override { return true; }
  void ForceEndUserEdit() override {}
  IPopupMenu* CreateIPopupMenu(IPopupMenu*, IRECT*) override { return nullptr; }
  void CreateTextEntry(IControl*, IText*, IRECT*, const char*, IParam*) override {}
  void* GetWindow() override { return nullptr; }
  LICE_IBitmap* OSLoadBitmap(int, const char*) override { return nullptr; }
  void SetSize(int w, int h)
  {
    mWidth = w;
    mHeight = h;
  }

  struct Move
  {
    int idx;
    double value;
    bool normalized;
  };
  std::vector<Move> mMoves;
  int mPrepDraws = 0;
  int mCloses = 0;
  void* mParent = nullptr;
  void* mOpenResult = this;
};

struct ProbeOptions
{
  char const* channels = "1-1 2-2";
  int nPresets = 2;
  bool midi = false;
  bool chunks = false;
  bool inst = false;
  char const* effectName = "Probe";
};

// Three parameters: a continuous gain with a negated display, an enumerated mode and a switch.
class Probe : public IPlugVST
{
public:
  explicit Probe(ProbeOptions const& o = {})
      : IPlugVST(IPlugInstanceInfo{&Host::Callback}, 3, o.channels, o.nPresets, o.effectName,
                 "A product name that is far longer than the sixty-three characters hosts reserve",
                 "Maker", 0x010203, TORVA_VST_FOURCC('P', 'r', 'b', '1'),
                 TORVA_VST_FOURCC('M', 'k', 'r', '1'), 7, o.midi, o.chunks, o.inst)
  {
    GetParam(0)->InitDouble("Attenuation", 6.0, 0.0, 24.0, 0.1, "dB");
    GetParam(0)->NegateDisplay();
    GetParam(1)->InitEnum("Mode", 0, 3);
    GetParam(1)->SetDisplayText(0, "Clean");
    GetParam(1)->SetDisplayText(1, "Crunch");
    GetParam(1)->SetDisplayText(2, "Lead");
    GetParam(2)->InitBool("A switch whose name runs on and on", false);
    MakeDefaultPreset("first", 1);
  }

  void OnParamChange(int idx) override { mChanges.push_back(idx); }
  void OnHostIdentified() override { ++mHostIdentified; }
  void OnGUIOpen() override { ++mGUIOpens; }
  void OnGUIClose() override { ++mGUICloses; }
  void OnWindowResize() override { ++mResizes; }
  void ProcessMidiMsg(IMidiMsg* pMsg) override { mMidiIn.push_back(*pMsg); }
  void ProcessSysEx(ISysEx* pSysEx) override { mSysExIn.push_back(*pSysEx); }
  bool MidiNoteName(int note, char* rName) override
  {
    if (note != 60) return false;
    std::memset(rName, 'C', 100);
    rName[100] = '\0';
    return true;
  }

  std::vector<int> mChanges;
  std::vector<IMidiMsg> mMidiIn;
  std::vector<ISysEx> mSysExIn;
  int mHostIdentified = 0, mGUIOpens = 0, mGUICloses = 0, mResizes = 0;
};

// A probe the test host talks to through its record, as it would to a loaded module.
struct Fixture
{
  explicit Fixture(ProbeOptions const& o = {}) : plug(new Probe(o)), e(plug->GetAEffect())
  {
    e->user = &host;
  }
  ~Fixture()
  {
    if (plug) Dispatch(e, effClose);
  }
  Host host;
  Probe* plug;
  AEffect* e;
};

VstTimeInfo TimeWith(int flags)
{
  VstTimeInfo t{};
  t.samplePos = 99.5;
  t.sampleRate = 48000.0;
  t.ppqPos = 12.0;
  t.tempo = 140.0;
  t.barStartPos = 8.0;
  t.cycleStartPos = 4.0;
  t.cycleEndPos = 16.0;
  t.timeSigNumerator = 7;
  t.timeSigDenominator = 8;
  t.flags = flags;
  return t;
}
} // namespace

TEST(Adapter, RecordFlagsFollowTheConstructorArguments)
{
  Fixture plain;
  EXPECT_EQ(plain.e->flags, 0x1018); // replacing, double replacing, accepts one input
  EXPECT_EQ(plain.e->version, 10203);
  EXPECT_EQ(plain.e->initialDelay, 7);
  EXPECT_EQ(plain.e->numPrograms, 2);

  ProbeOptions synth;
  synth.channels = "0-2";
  synth.inst = synth.chunks = true;
  Fixture f(synth);
  EXPECT_EQ(f.e->flags, effFlagsCanReplacing | effFlagsCanDoubleReplacing | effFlagsProgramChunks |
                            effFlagsIsSynth);
  EXPECT_EQ(f.e->numInputs, 0);
  EXPECT_EQ(f.e->numOutputs, 2);
  EXPECT_EQ(Dispatch(f.e, effGetPlugCategory), kPlugCategSynth);
  EXPECT_EQ(f.plug->GetInputSpeakerArrangement().type, kSpeakerArrEmpty);
  EXPECT_EQ(f.plug->GetOutputSpeakerArrangement().type, kSpeakerArrStereo);

  f.plug->SetLatency(64);
  EXPECT_EQ(f.e->initialDelay, 64);
  EXPECT_EQ(f.plug->GetLatency(), 64);
}

TEST(Adapter, EditGesturesAndAutomationReachTheHost)
{
  Fixture f;
  f.plug->BeginInformHostOfParamChange(1);
  f.plug->SetParameterFromGUI(1, 0.505);
  f.plug->EndInformHostOfParamChange(1);
  f.plug->InformHostOfProgramChange();

  ASSERT_EQ(f.host.mCalls.size(), 4u);
  EXPECT_EQ(f.host.mCalls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(f.host.mCalls[0].index, 1);
  EXPECT_EQ(f.host.mCalls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(f.host.mCalls[1].index, 1);
  EXPECT_EQ(f.host.mCalls[1].opt, 0.505f); // as given, not the rounded enum position
  EXPECT_EQ(f.host.mCalls[2].opcode, audioMasterEndEdit);
  EXPECT_EQ(f.host.mCalls[3].opcode, audioMasterUpdateDisplay);
  EXPECT_EQ(f.plug->GetParam(1)->Value(), 1.0);

  // The host's own changes are not echoed back to it.
  f.host.ClearCalls();
  f.e->setParameter(f.e, 2, 1.0f);
  EXPECT_TRUE(f.host.mCalls.empty());
  EXPECT_EQ(f.plug->GetParam(2)->Value(), 1.0);
}

TEST(Adapter, TransportQueriesKeepOnlyValidFields)
{
  Fixture f;
  ITimeInfo info;

  // No answer, or none of the five wanted bits: the caller's values stay.
  f.plug->GetTime(&info);
  f.host.mHasTime = true;
  f.host.mTime = TimeWith(kVstTransportPlaying | kVstNanosValid);
  f.plug->GetTime(&info);
  EXPECT_EQ(info.mSamplePos, -1.0);
  EXPECT_FALSE(info.mTransportIsRunning);
  ASSERT_EQ(f.host.Count(audioMasterGetTime), 2);
  EXPECT_EQ(f.host.mCalls.back().value, 0x3E00);

  // A tempo of 0 is not taken; everything else valid is.
  f.host.mTime = TimeWith(0x3E00 | kVstTransportPlaying | kVstTransportCycleActive);
  f.host.mTime.tempo = 0.0;
  f.plug->GetTime(&info);
  EXPECT_EQ(info.mTempo, 120.0);
  EXPECT_EQ(info.mSamplePos, 99.5);
  EXPECT_EQ(info.mPPQPos, 12.0);
  EXPECT_EQ(info.mLastBar, 8.0);
  EXPECT_EQ(info.mCycleStart, 4.0);
  EXPECT_EQ(info.mCycleEnd, 16.0);
  EXPECT_EQ(info.mNumerator, 7);
  EXPECT_EQ(info.mDenominator, 8);
  EXPECT_TRUE(info.mTransportIsRunning);
  EXPECT_TRUE(info.mTransportLoopEnabled);

  // Fields whose bit is missing or whose value is negative are left alone.
  ITimeInfo partial;
  f.host.mTime = TimeWith(kVstPpqPosValid | kVstCyclePosValid | kVstTimeSigValid);
  f.host.mTime.ppqPos = -1.5;
  f.host.mTime.cycleEndPos = -2.0;
  f.host.mTime.timeSigDenominator = 0;
  f.plug->GetTime(&partial);
  EXPECT_EQ(partial.mSamplePos, 99.5);
  EXPECT_EQ(partial.mPPQPos, -1.0);
  EXPECT_EQ(partial.mTempo, 120.0);
  EXPECT_EQ(partial.mCycleStart, -1.0);
  EXPECT_EQ(partial.mNumerator, 4);
}

TEST(Adapter, SamplePosTempoAndTimeSignature)
{
  Fixture f;
  EXPECT_EQ(f.plug->GetSamplePos(), 0); // no time from the host
  f.host.mHasTime = true;
  f.host.mTime = TimeWith(0);
  EXPECT_EQ(f.plug->GetSamplePos(), 100); // 99.5 rounds up
  f.host.mTime.samplePos = -3.0;
  EXPECT_EQ(f.plug->GetSamplePos(), 0);
  f.host.mTime.samplePos = 1e300; // saturates instead of overflowing
  EXPECT_EQ(f.plug->GetSamplePos(), 2147483647);

  EXPECT_EQ(f.plug->GetTempo(), 0.0); // tempo bit not set
  f.host.mTime.flags = kVstTempoValid;
  EXPECT_EQ(f.plug->GetTempo(), 140.0);
  EXPECT_EQ(f.host.mCalls.back().value, kVstTempoValid);

  int num = -9, denom = -9;
  f.plug->GetTimeSig(&num, &denom);
  EXPECT_EQ(num, 0);
  EXPECT_EQ(denom, 0);
  f.host.mTime.flags = kVstTimeSigValid;
  f.plug->GetTimeSig(&num, &denom);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(denom, 8);

  EXPECT_FALSE(f.plug->IsRenderingOffline());
  f.host.mProcessLevel = kVstProcessLevelOffline;
  EXPECT_TRUE(f.plug->IsRenderingOffline());
}

TEST(Adapter, HostIsIdentifiedOnceWithItsPackedVersion)
{
  Fixture f;
  f.host.mProductString = "REAPER";
  f.host.mVendorVersion = 2400;
  EXPECT_EQ(f.plug->GetHost(), kHostReaper);
  EXPECT_EQ(f.plug->GetHostVersion(false), 0x1800);
  EXPECT_EQ(f.plug->GetHostVersion(true), 2400);
  f.plug->GetHost();
  EXPECT_EQ(f.host.Count(audioMasterGetProductString), 1);
  EXPECT_EQ(f.host.Count(audioMasterGetVendorVersion), 1);

  // A host without a name is "unknown", version 0, and is not asked its version.
  Fixture anonymous;
  anonymous.host.mProductString = "";
  EXPECT_EQ(anonymous.plug->GetHost(), kHostUnknown);
  EXPECT_EQ(anonymous.plug->GetHostVersion(false), 0);
  EXPECT_EQ(anonymous.host.Count(audioMasterGetVendorVersion), 0);
}

TEST(Adapter, OpenLimitsOldHostsToStereoOnce)
{
  ProbeOptions quad;
  quad.channels = "4-4";
  Fixture f(quad);
  f.host.mProductString = "Adobe Audition";
  f.plug->SetInputChannelConnections(0, 4, true);
  Dispatch(f.e, effOpen);
  EXPECT_EQ(f.plug->GetHost(), kHostAudition);
  EXPECT_TRUE(f.plug->IsInChannelConnected(1));
  EXPECT_FALSE(f.plug->IsInChannelConnected(2));
  EXPECT_FALSE(f.plug->IsInChannelConnected(3));
  EXPECT_EQ(f.e->numInputs, 4);
  EXPECT_EQ(f.plug->mHostIdentified, 1);
  EXPECT_EQ(f.plug->mChanges, (std::vector<int>{0, 1, 2})); // every parameter announced

  f.host.ClearCalls();
  f.plug->HostSpecificInit();
  EXPECT_TRUE(f.host.mCalls.empty());
  EXPECT_EQ(f.plug->mHostIdentified, 1);

  Fixture other(quad);
  other.host.mProductString = "Some Other Host";
  Dispatch(other.e, effOpen);
  EXPECT_TRUE(other.plug->IsInChannelConnected(3));
}

TEST(Adapter, MidiAndSysExGoOutAsEvents)
{
  Fixture f;
  IMidiMsg msg(17, 0x90, 60, 100);
  EXPECT_TRUE(f.plug->SendMidiMsg(&msg));
  unsigned char const dump[] = {0xF0, 0x7E, 0x7F, 0xF7};
  ISysEx sysex(5, dump, 4);
  EXPECT_TRUE(f.plug->SendSysEx(&sysex));
  ASSERT_EQ(f.host.mEvents.size(), 2u);
  EXPECT_EQ(f.host.mEvents[0].type, kVstMidiType);
  EXPECT_EQ(f.host.mEvents[0].deltaFrames, 17);
  EXPECT_EQ(f.host.mEvents[0].bytes, (std::vector<unsigned char>{0x90, 60, 100}));
  EXPECT_EQ(f.host.mEvents[1].type, kVstSysExType);
  EXPECT_EQ(f.host.mEvents[1].deltaFrames, 5);
  EXPECT_EQ(f.host.mEvents[1].bytes, (std::vector<unsigned char>(dump, dump + 4)));

  f.host.mEventsAnswer = 0;
  EXPECT_FALSE(f.plug->SendMidiMsg(&msg));
}

TEST(Adapter, EventsFromTheHost)
{
  ProbeOptions midi;
  midi.midi = true;
  Fixture f(midi);

  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof note;
  note.deltaFrames = 12;
  note.midiData[0] = static_cast<char>(0x91);
  note.midiData[1] = 64;
  note.midiData[2] = 127;
  char dump[] = {static_cast<char>(0xF0), 1, 2, static_cast<char>(0xF7)};
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof sysex;
  sysex.deltaFrames = 3;
  sysex.dumpBytes = 4;
  sysex.sysexDump = dump;
  VstEvent other{};
  other.type = kVstParameterType;

  // A list with room for four: MIDI, a hole, SysEx, and a kind the plug-in ignores.
  struct
  {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[4];
  } list{
      4,
      0,
      {reinterpret_cast<VstEvent*>(&note), nullptr, reinterpret_cast<VstEvent*>(&sysex), &other}};
  EXPECT_EQ(Dispatch(f.e, effProcessEvents, 0, 0, &list), 1);
  ASSERT_EQ(f.plug->mMidiIn.size(), 1u);
  EXPECT_EQ(f.plug->mMidiIn[0].mOffset, 12);
  EXPECT_EQ(f.plug->mMidiIn[0].mStatus, 0x91);
  EXPECT_EQ(f.plug->mMidiIn[0].mData2, 127);
  ASSERT_EQ(f.plug->mSysExIn.size(), 1u);
  EXPECT_EQ(f.plug->mSysExIn[0].mData, reinterpret_cast<uint8_t*>(dump)); // not copied
  EXPECT_EQ(f.plug->mSysExIn[0].mSize, 4);
  EXPECT_EQ(Dispatch(f.e, effProcessEvents), 0);

  // A MIDI plug-in says so, and asks for MIDI before each block.
  EXPECT_EQ(Dispatch(f.e, effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 1);
  EXPECT_EQ(Dispatch(f.e, effCanDo, 0, 0, const_cast<char*>("sendVstEvents")), 1);
  float in[2][8] = {}, out[2][8] = {};
  float* ins[] = {in[0], in[1]};
  float* outs[] = {out[0], out[1]};
  f.e->processReplacing(f.e, ins, outs, 8);
  EXPECT_EQ(f.host.Count(audioMasterWantMidi), 1);
}

TEST(Adapter, TextsAreCutToTheHostsRoom)
{
  ProbeOptions longName;
  longName.effectName = "An effect name that goes well past the thirty-one characters";
  Fixture f(longName);
  char buf[200];

  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(Dispatch(f.e, effGetEffectName, 0, 0, buf), 1);
  EXPECT_EQ(std::strlen(buf), 31u);
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(Dispatch(f.e, effGetProductString, 0, 0, buf), 1);
  EXPECT_EQ(std::strlen(buf), 63u);
  std::memset(buf, 'x', sizeof buf);
  Dispatch(f.e, effGetParamName, 2, 0, buf);
  EXPECT_STREQ(buf, "A switch whose name run"); // 23 characters

  Dispatch(f.e, effSetProgramName, 0, 0,
           const_cast<char*>("a program name longer than twenty-three"));
  std::memset(buf, 'x', sizeof buf);
  Dispatch(f.e, effGetProgramName, 0, 0, buf);
  EXPECT_STREQ(buf, "a program name longer t");
  EXPECT_STREQ(f.plug->GetPresetName(0), "a program name longer than twenty-three");

  MidiKeyName key{};
  key.thisKeyNumber = 60;
  EXPECT_EQ(Dispatch(f.e, effGetMidiKeyName, 0, 0, &key), 1);
  EXPECT_EQ(std::strlen(key.keyName), 63u);
  key.thisKeyNumber = 61;
  EXPECT_EQ(Dispatch(f.e, effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_STREQ(key.keyName, "");
}

TEST(Adapter, DisplayTextsLabelsAndNegatedValues)
{
  Fixture f;
  char buf[64];
  Dispatch(f.e, effGetParamDisplay, 0, 0, buf);
  EXPECT_STREQ(buf, "-6.0");
  Dispatch(f.e, effGetParamLabel, 0, 0, buf);
  EXPECT_STREQ(buf, "dB");
  Dispatch(f.e, effGetParamDisplay, 1, 0, buf);
  EXPECT_STREQ(buf, "Clean");
  Dispatch(f.e, effGetParamLabel, 2, 0, buf);
  EXPECT_STREQ(buf, ""); // "off" has a text, so no unit

  // Enumerated parameters take their texts, exactly; others a number, negated back.
  EXPECT_EQ(Dispatch(f.e, effString2Parameter, 1, 0, const_cast<char*>("Lead")), 1);
  EXPECT_EQ(f.plug->GetParam(1)->Value(), 2.0);
  EXPECT_EQ(Dispatch(f.e, effString2Parameter, 1, 0, const_cast<char*>("lead")), 0);
  EXPECT_EQ(f.plug->GetParam(1)->Value(), 2.0);
  EXPECT_EQ(Dispatch(f.e, effString2Parameter, 0, 0, const_cast<char*>("-12.5")), 1);
  EXPECT_EQ(f.plug->GetParam(0)->Value(), 12.5);
  EXPECT_EQ(f.plug->mChanges.back(), 0);

  // Display of an arbitrary position, without moving the parameter; kind query.
  std::memset(buf, 0, sizeof buf);
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 7, 1, buf, 0.5f), 0xBEEF);
  EXPECT_STREQ(buf, "Crunch");
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 7, 3, buf, 0.5f), 0xBEEF); // out of range
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 7, 1, nullptr, 0.5f), 0);
  EXPECT_EQ(f.plug->GetParam(1)->Value(), 2.0);
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 8, 0), 0xBEEF);
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 8, 1), 0);
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 8, 3), 0);
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 9, 0), 0);
}

TEST(Adapter, PinLabelsComeFromTheChannels)
{
  Fixture f;
  f.plug->SetOutputLabel(1, "Right out");
  VstPinProperties pin{};
  pin.arrangementType = 77; // the host's own fields stay
  EXPECT_EQ(Dispatch(f.e, effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Right out");
  EXPECT_EQ(pin.flags, kVstPinIsActive);
  EXPECT_EQ(pin.arrangementType, 77);
  EXPECT_EQ(Dispatch(f.e, effGetOutputProperties, 0, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Output 1");
  EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
}

TEST(Adapter, EditorRequests)
{
  Fixture f;
  ERect* rect = reinterpret_cast<ERect*>(0x1);
  EXPECT_EQ(Dispatch(f.e, effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1)); // untouched without an editor
  EXPECT_EQ(Dispatch(f.e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x42)), 0);
  EXPECT_EQ(Dispatch(f.e, effEditClose), 0);

  auto* gui = new FakeGraphics(f.plug, 300, 120);
  f.plug->AttachGraphics(gui);
  EXPECT_EQ(f.e->flags & effFlagsHasEditor, effFlagsHasEditor);
  EXPECT_EQ(gui->mPrepDraws, 1);
  ASSERT_EQ(Dispatch(f.e, effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->right, 300);
  EXPECT_EQ(rect->bottom, 120);

  EXPECT_EQ(Dispatch(f.e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x42)), 1);
  EXPECT_EQ(gui->mParent, reinterpret_cast<void*>(0x42));
  EXPECT_EQ(f.plug->mGUIOpens, 1);
  gui->mOpenResult = nullptr;
  EXPECT_EQ(Dispatch(f.e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x43)), 0);
  EXPECT_EQ(f.plug->mGUIOpens, 1);
  EXPECT_EQ(Dispatch(f.e, effEditClose), 1);
  EXPECT_EQ(gui->mCloses, 1);
  EXPECT_EQ(f.plug->mGUICloses, 1);

  // Host changes move the controls: normalised from the host, plain from text.
  gui->mMoves.clear();
  f.e->setParameter(f.e, 0, 0.25f);
  Dispatch(f.e, effString2Parameter, 0, 0, const_cast<char*>("-30")); // negated display
  ASSERT_EQ(gui->mMoves.size(), 2u);
  EXPECT_TRUE(gui->mMoves[0].normalized);
  EXPECT_EQ(gui->mMoves[0].value, 0.25);
  EXPECT_FALSE(gui->mMoves[1].normalized);
  EXPECT_EQ(gui->mMoves[1].value, 24.0); // clamped, like the parameter

  gui->SetSize(400, 150);
  f.plug->ResizeGraphics(1, 1);
  EXPECT_EQ(rect->right, 400);
  EXPECT_EQ(rect->bottom, 150);
  EXPECT_EQ(f.plug->mResizes, 1);
}

TEST(Adapter, FailedBankLeavesEveryPresetAsItWas)
{
  Fixture f;
  Dispatch(f.e, effOpen);
  f.e->setParameter(f.e, 0, 0.5f);
  Dispatch(f.e, effSetProgram, 0, 1); // slot 1 becomes "user preset 1"
  f.e->setParameter(f.e, 1, 1.0f);

  void* data = nullptr;
  VstIntPtr const size = Dispatch(f.e, effGetChunk, 0, 0, &data);
  ASSERT_GT(size, 8);
  std::vector<unsigned char> bank(static_cast<unsigned char*>(data),
                                  static_cast<unsigned char*>(data) + size);

  // Change everything, then offer every truncation of the bank.
  Dispatch(f.e, effSetProgramName, 0, 0, const_cast<char*>("renamed"));
  f.e->setParameter(f.e, 0, 1.0f);
  f.e->setParameter(f.e, 2, 1.0f);
  std::vector<double> values;
  for (int i = 0; i < 3; ++i) values.push_back(f.plug->GetParam(i)->Value());
  for (VstIntPtr cut = 0; cut < size; ++cut)
  {
    ASSERT_EQ(Dispatch(f.e, effSetChunk, 0, cut, bank.data()), 0) << cut;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(f.plug->GetParam(i)->Value(), values[i]) << cut;
    ASSERT_STREQ(f.plug->GetPresetName(1), "renamed") << cut;
    ASSERT_STREQ(f.plug->GetPresetName(0), "first") << cut;
    ASSERT_EQ(f.plug->GetCurrentPresetIdx(), 1) << cut;
  }

  // The whole bank brings back both slots.
  EXPECT_EQ(Dispatch(f.e, effSetChunk, 0, size, bank.data()), 1);
  EXPECT_STREQ(f.plug->GetPresetName(1), "user preset 1");
  EXPECT_EQ(f.plug->GetParam(2)->Value(), 0.0);
}
