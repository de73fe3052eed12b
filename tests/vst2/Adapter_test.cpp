// The adapter with the eight-parameter stand-in (linked statically): the host calls it makes, the
// rules it applies to the host's answers, and the dispatcher paths TORVA does not take (MIDI,
// display texts, labels, an editor, several presets).

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/FakeEditor.h"
#include "support/TestHost.h"
#include "support/VstEightParamPlug.h"

using namespace vsthost;
using torva_test::FakeEditor;
using torva_test::VstEightParamPlug;
using torva_test::VstPlugOptions;

namespace
{
constexpr int kMaster = 1, kMode = 5, kSwitch = 7; // a double, an enumeration, a switch

// Two slots, a product name too long for hosts, a digit in each byte of the version, latency 7.
VstPlugOptions Probe()
{
  return {.host = &Host::Callback,
          .nPresets = 2,
          .productName =
              "A product name that is far longer than the sixty-three characters hosts reserve",
          .vendorVersion = 0x010203,
          .latency = 7};
}

// The stand-in the test host talks to through its record, as it would to a loaded module, with
// the parameter shapes the dispatcher treats apart: Master shown negated, Mode with texts, a
// switch whose name runs long; the first slot "first".
struct Fixture
{
  explicit Fixture(VstPlugOptions const& o = Probe())
      : plug(new VstEightParamPlug(o)), e(plug->GetAEffect())
  {
    e->user = &host;
    plug->GetParam(kMaster)->NegateDisplay();
    int n = 0;
    for (char const* text : {"Clean", "Crunch", "Lead", "Solo"})
      plug->GetParam(kMode)->SetDisplayText(n++, text);
    plug->GetParam(kSwitch)->InitBool("A switch whose name runs on and on", false);
    plug->MakeDefaultPreset("first", 1);
  }
  ~Fixture()
  {
    if (plug) Dispatch(e, effClose);
  }
  Host host;
  VstEightParamPlug* plug;
  AEffect* e;
};

std::vector<int> Opcodes(Host const& host)
{
  std::vector<int> opcodes;
  for (HostCall const& call : host.mCalls) opcodes.push_back(call.opcode);
  return opcodes;
}

// At 99.5 frames (48 kHz), quarter note 12 at 140 bpm, the bar at 8, a cycle 4 to 16, in 7/8.
VstTimeInfo TimeWith(int flags)
{
  return {99.5, 48000.0, 0.0, 12.0, 140.0, 8.0, 4.0, 16.0, 7, 8, 0, 0, 0, flags};
}

// What the product got, as one row (the base starts it at -1, 120 bpm, 4/4, stopped).
std::vector<double> Fields(ITimeInfo const& t)
{
  std::vector<double> v{t.mSamplePos, t.mPPQPos, t.mLastBar, t.mCycleStart, t.mCycleEnd, t.mTempo};
  for (int i :
       {t.mNumerator, t.mDenominator, int{t.mTransportIsRunning}, int{t.mTransportLoopEnabled}})
    v.push_back(i);
  return v;
}
} // namespace

TEST(Adapter, RecordFlagsFollowTheConstructorArguments)
{
  Fixture plain;
  // Flags: replacing, double replacing, accepts one input.
  AEffect const& e = *plain.e;
  EXPECT_EQ((std::vector<int>{e.flags, e.version, e.initialDelay, e.numPrograms}),
            (std::vector<int>{0x1018, 10203, 7, 2}));

  VstPlugOptions synth = Probe();
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
  f.plug->BeginInformHostOfParamChange(kMode);
  f.plug->SetParameterFromGUI(kMode, 0.505);
  f.plug->EndInformHostOfParamChange(kMode);
  f.plug->InformHostOfProgramChange();

  ASSERT_EQ(Opcodes(f.host), (std::vector<int>{audioMasterBeginEdit, audioMasterAutomate,
                                               audioMasterEndEdit, audioMasterUpdateDisplay}));
  EXPECT_EQ(f.host.mCalls[0].index, kMode);
  EXPECT_EQ(f.host.mCalls[1].index, kMode);
  EXPECT_EQ(f.host.mCalls[1].opt, 0.505f); // as given, not the rounded enum position
  EXPECT_EQ(f.plug->GetParam(kMode)->Value(), 2.0);

  // The host's own changes are not echoed back to it.
  f.host.ClearCalls();
  f.e->setParameter(f.e, kSwitch, 1.0f);
  EXPECT_TRUE(f.host.mCalls.empty());
  EXPECT_EQ(f.plug->GetParam(kSwitch)->Value(), 1.0);
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
  EXPECT_EQ(Fields(info), Fields(ITimeInfo()));
  ASSERT_EQ(f.host.Count(audioMasterGetTime), 2);
  EXPECT_EQ(f.host.mCalls.back().value, 0x3E00);

  // A tempo of 0 is not taken; everything else valid is.
  f.host.mTime = TimeWith(0x3E00 | kVstTransportPlaying | kVstTransportCycleActive);
  f.host.mTime.tempo = 0.0;
  f.plug->GetTime(&info);
  EXPECT_EQ(Fields(info), (std::vector<double>{99.5, 12, 8, 4, 16, 120, 7, 8, 1, 1}));

  // Fields whose bit is missing or whose value is negative are left alone, with their pair.
  ITimeInfo partial;
  f.host.mTime = TimeWith(kVstPpqPosValid | kVstCyclePosValid | kVstTimeSigValid);
  f.host.mTime.ppqPos = -1.5;
  f.host.mTime.cycleEndPos = -2.0;
  f.host.mTime.timeSigDenominator = 0;
  f.plug->GetTime(&partial);
  EXPECT_EQ(Fields(partial), (std::vector<double>{99.5, -1, -1, -1, -1, 120, 4, 4, 0, 0}));
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
  EXPECT_EQ(std::pair(num, denom), std::pair(0, 0));
  f.host.mTime.flags = kVstTimeSigValid;
  f.plug->GetTimeSig(&num, &denom);
  EXPECT_EQ(std::pair(num, denom), std::pair(7, 8));

  EXPECT_FALSE(f.plug->IsRenderingOffline());
  f.host.mProcessLevel = kVstProcessLevelOffline;
  EXPECT_TRUE(f.plug->IsRenderingOffline());
}

TEST(Adapter, HostIsIdentifiedOnceWithItsPackedVersion)
{
  Fixture f;
  f.host.mProductString = "REAPER";
  f.host.mVendorVersion = 2400;
  int nested = -2; // a host asking who it is while it answers: not known yet, and no deadlock
  f.host.mOnCall = [&](AEffect*, int opcode)
  {
    if (opcode == audioMasterGetProductString) nested = f.plug->GetHost();
  };
  EXPECT_EQ(f.plug->GetHost(), kHostReaper);
  EXPECT_EQ(nested, kHostUninit);
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
  VstPlugOptions quad = Probe();
  quad.channels = "4-4";
  Fixture f(quad);
  f.host.mProductString = "Adobe Audition";
  f.plug->SetInputChannelConnections(0, 4, true);
  Dispatch(f.e, effOpen);
  EXPECT_EQ(f.plug->GetHost(), kHostAudition);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(f.plug->IsInChannelConnected(c), c < 2) << c;
  EXPECT_EQ(f.e->numInputs, 4);
  EXPECT_EQ(f.plug->mHostIdentified, 1);
  EXPECT_EQ(f.plug->mParamChanges,
            (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7})); // every parameter announced

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
  VstPlugOptions midi = Probe();
  midi.midi = true;
  Fixture f(midi);

  VstMidiEvent note{
      kVstMidiType, sizeof(VstMidiEvent), 12, 0, 0, 0, {char(0x91), 64, 127}, 0, 0, 0, 0};
  char dump[] = {char(0xF0), 1, 2, char(0xF7)};
  VstMidiSysexEvent sysex{kVstSysExType, sizeof(VstMidiSysexEvent), 3, 0, 4, 0, dump, 0};
  VstEvent other{kVstParameterType, 0, 0, 0, {}};

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
  std::string const effect = "An effect name that goes well past the thirty-one characters";
  std::string const program = "a program name longer than twenty-three";
  VstPlugOptions longName = Probe();
  longName.effectName = effect.c_str();
  Fixture f(longName);
  Dispatch(f.e, effSetProgramName, 0, 0, const_cast<char*>(program.c_str()));
  EXPECT_EQ(f.plug->GetPresetName(0), program); // kept whole

  struct
  {
    int opcode, index;
    std::string full;
    size_t room;
    VstIntPtr result;
  } const texts[] = {{effGetEffectName, 0, effect, 31, 1},
                     {effGetProductString, 0, Probe().productName, 63, 1},
                     {effGetParamName, kSwitch, "A switch whose name runs on and on", 23, 0},
                     {effGetProgramName, 0, program, 23, 0}};
  for (auto const& t : texts)
  {
    char buf[200];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(Dispatch(f.e, t.opcode, t.index, 0, buf), t.result) << t.opcode;
    EXPECT_EQ(std::string(buf), t.full.substr(0, t.room)) << t.opcode;
  }

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
  Dispatch(f.e, effGetParamDisplay, kMaster, 0, buf);
  EXPECT_STREQ(buf, "4.00");
  Dispatch(f.e, effGetParamLabel, kMaster, 0, buf);
  EXPECT_STREQ(buf, "dB");
  Dispatch(f.e, effGetParamDisplay, kMode, 0, buf);
  EXPECT_STREQ(buf, "Crunch");
  Dispatch(f.e, effGetParamLabel, kSwitch, 0, buf);
  EXPECT_STREQ(buf, ""); // "off" has a text, so no unit

  // Enumerated parameters take their texts, exactly; others a number, negated back.
  EXPECT_EQ(Dispatch(f.e, effString2Parameter, kMode, 0, const_cast<char*>("Lead")), 1);
  EXPECT_EQ(f.plug->GetParam(kMode)->Value(), 2.0);
  EXPECT_EQ(Dispatch(f.e, effString2Parameter, kMode, 0, const_cast<char*>("lead")), 0);
  EXPECT_EQ(f.plug->GetParam(kMode)->Value(), 2.0);
  EXPECT_EQ(Dispatch(f.e, effString2Parameter, kMaster, 0, const_cast<char*>("-12.5")), 1);
  EXPECT_EQ(f.plug->GetParam(kMaster)->Value(), 12.5);
  EXPECT_EQ(f.plug->mParamChanges.back(), kMaster);
  // Text the parameter does not read (IParam::ParseText) is refused and changes nothing: no
  // "abc" read as 0.
  const size_t changes = f.plug->mParamChanges.size();
  for (const char* refused : {"", "abc", "3 apples", "-3 Hz", "inf"})
  {
    EXPECT_EQ(Dispatch(f.e, effString2Parameter, kMaster, 0, const_cast<char*>(refused)), 0)
        << refused;
    EXPECT_EQ(f.plug->GetParam(kMaster)->Value(), 12.5) << refused;
  }
  EXPECT_EQ(f.plug->mParamChanges.size(), changes);

  // Display of an arbitrary position, without moving the parameter; kind query.
  std::memset(buf, 0, sizeof buf);
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 7, kMode, buf, 0.34f), 0xBEEF);
  EXPECT_STREQ(buf, "Crunch");
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 7, 8, buf, 0.5f), 0xBEEF); // out of range
  EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 7, kMode, nullptr, 0.5f), 0);
  EXPECT_EQ(f.plug->GetParam(kMode)->Value(), 2.0);
  for (int i = 0; i <= 8; ++i) // the doubles are continuous; 8 is past the last
    EXPECT_EQ(Dispatch(f.e, effVendorSpecific, 8, i), i <= 3 || i == 6 ? 0xBEEF : 0) << i;
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
}

TEST(Adapter, EditorRequests)
{
  Fixture f;
  ERect* rect = reinterpret_cast<ERect*>(0x1);
  EXPECT_EQ(Dispatch(f.e, effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1)); // untouched without an editor
  EXPECT_EQ(Dispatch(f.e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x42)), 0);
  EXPECT_EQ(Dispatch(f.e, effEditClose), 0);

  auto* gui = new FakeEditor(f.plug, 300, 120);
  f.plug->AttachGraphics(gui);
  EXPECT_EQ(f.e->flags & effFlagsHasEditor, effFlagsHasEditor);
  EXPECT_EQ(gui->mPrepDraws, 1);
  ASSERT_EQ(Dispatch(f.e, effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ((std::vector<int>{rect->top, rect->left, rect->bottom, rect->right}),
            (std::vector<int>{0, 0, 120, 300}));

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
  gui->mPushes.clear();
  f.e->setParameter(f.e, kMaster, 0.25f);
  Dispatch(f.e, effString2Parameter, kMaster, 0, const_cast<char*>("-30")); // negated display
  ASSERT_EQ(gui->mPushes.size(), 2u);
  EXPECT_TRUE(gui->mPushes[0].mNormalized);
  EXPECT_EQ(gui->mPushes[0].mValue, 0.25);
  EXPECT_FALSE(gui->mPushes[1].mNormalized);
  EXPECT_EQ(gui->mPushes[1].mValue, 20.0); // clamped, like the parameter

  gui->SetSize(400, 150);
  f.plug->ResizeGraphics(1, 1);
  EXPECT_EQ(rect->right, 400);
  EXPECT_EQ(rect->bottom, 150);
  EXPECT_EQ(f.plug->mResizes, 1);
}
