#pragma once
// Small records shared by the plug-in base and the host adapters: short MIDI messages, system-
// exclusive message references and the transport state reported by the host.

#include <cstdint>

// One short (channel-voice) MIDI message, stamped with the sample frame it applies to.
// The Make... constructors do not mask their arguments: channel 0-15, data 0-127.
struct IMidiMsg
{
  // High nibble of a channel-voice status byte.
  enum EStatusMsg : int
  {
    kNone = 0,
    kNoteOff = 8,
    kNoteOn = 9,
    kPolyAftertouch = 10,
    kControlChange = 11,
    kProgramChange = 12,
    kChannelAftertouch = 13,
    kPitchWheel = 14
  };

  // A MIDI controller number, 0-127. The common ones are named; any other number may be cast.
  enum EControlChangeMsg : int
  {
    kBankSelect = 0,
    kModWheel = 1,
    kBreathController = 2,
    kFootController = 4,
    kPortamentoTime = 5,
    kDataEntry = 6,
    kChannelVolume = 7,
    kBalance = 8,
    kPan = 10,
    kExpressionController = 11,
    kSustainOnOff = 64,
    kPortamentoOnOff = 65,
    kSostenutoOnOff = 66,
    kSoftPedalOnOff = 67,
    kLegatoOnOff = 68,
    kHold2OnOff = 69,
    kAllSoundOff = 120,
    kResetAllControllers = 121,
    kLocalControlOnOff = 122,
    kAllNotesOff = 123
  };

  int mOffset; // sample frame within the current block
  uint8_t mStatus;
  uint8_t mData1;
  uint8_t mData2;

  IMidiMsg(int offset = 0, uint8_t status = 0, uint8_t data1 = 0, uint8_t data2 = 0)
      : mOffset(offset), mStatus(status), mData1(data1), mData2(data2)
  {
  }

  void Clear();

  void MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel = 0);
  void MakeNoteOffMsg(int noteNumber, int offset, int channel = 0);
  // value in -1..1: i = trunc(value * 8192) + 8192 clamped to 0..16383, sent low 7 bits first.
  void MakePitchWheelMsg(double value, int channel = 0);
  // value in 0..1: data byte trunc(value * 127), not clamped.
  void MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel = 0);

  int Channel() const;
  // kNone for anything but a channel-voice status byte (0x80-0xEF).
  EStatusMsg StatusMsg() const;
  int NoteNumber() const;                            // note off, note on, poly aftertouch; else -1
  int Velocity() const;                              // note on, note off; else -1
  int PolyAfterTouch() const;                        // else -1
  int ChannelAfterTouch() const;                     // else -1
  int Program() const;                               // else -1
  double PitchWheel() const;                         // -1 .. 1 - 1/8192; 0 for other messages
  EControlChangeMsg ControlChangeIdx() const;        // first data byte, whatever the kind
  double ControlChange(EControlChangeMsg idx) const; // 0..1, or -1 for another message

  static char const* StatusMsgStr(EStatusMsg msg);

  // Diagnostic hook; writes nothing.
  void LogMsg();
};

// A system-exclusive message: a view of bytes the caller owns.
struct ISysEx
{
  int mOffset;          // sample frame within the current block
  int mSize;            // byte count
  uint8_t const* mData; // not owned

  ISysEx(int offset = 0, uint8_t const* data = nullptr, int size = 0)
      : mOffset(offset), mSize(size), mData(data)
  {
  }

  void Clear();

  // Diagnostic hook; writes nothing.
  void LogMsg();
};

// Hex dump of a system-exclusive message into str (bufferLen bytes): "F0 7E 7F", as many whole
// bytes as fit (bufferLen / 3). Empty when there is nothing to show or no room; nothing is
// written when bufferLen < 1. Returns str.
char* SysExStr(char* str, int bufferLen, uint8_t const* data, int size);

// Transport state as the host reports it. The host fills only what it knows, so the caller
// initialises the record; these defaults read as "unknown position, 120 bpm, 4/4, stopped".
struct ITimeInfo
{
  double mTempo = 120.0; // beats per minute
  double mSamplePos = -1.0;
  double mPPQPos = -1.0;
  double mLastBar = -1.0; // in quarter notes
  double mCycleStart = -1.0;
  double mCycleEnd = -1.0;
  int mNumerator = 4;
  int mDenominator = 4;
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;
};
