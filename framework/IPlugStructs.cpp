#include "framework/IPlugStructs.h"

void IMidiMsg::Clear()
{
  mOffset = 0;
  mStatus = mData1 = mData2 = 0;
}

void IMidiMsg::MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel)
{
  Clear();
  mStatus = static_cast<uint8_t>(channel | (kNoteOn << 4));
  mData1 = static_cast<uint8_t>(noteNumber);
  mData2 = static_cast<uint8_t>(velocity);
  mOffset = offset;
}

void IMidiMsg::MakeNoteOffMsg(int noteNumber, int offset, int channel)
{
  Clear();
  mStatus = static_cast<uint8_t>(channel | (kNoteOff << 4));
  mData1 = static_cast<uint8_t>(noteNumber);
  mOffset = offset;
}

void IMidiMsg::MakePitchWheelMsg(double value, int channel)
{
  Clear();
  mStatus = static_cast<uint8_t>(channel | (kPitchWheel << 4));
  // Clamp in double first: converting an out-of-range (or NaN) double to int is undefined.
  double const scaled = value * 8192.0;
  int i;
  if (!(scaled > -8192.0))
    i = 0; // NaN lands on the bottom too, never on garbage
  else if (scaled >= 8192.0)
    i = 16383;
  else
  {
    i = static_cast<int>(scaled) + 8192;
    if (i > 16383) i = 16383;
  }
  mData1 = static_cast<uint8_t>(i & 127);
  mData2 = static_cast<uint8_t>(i >> 7);
}

void IMidiMsg::MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel)
{
  Clear();
  mStatus = static_cast<uint8_t>(channel | (kControlChange << 4));
  mData1 = static_cast<uint8_t>(idx);
  // Truncation toward zero, as documented; the range guard only keeps the conversion defined.
  double const scaled = value * 127.0;
  int const v = (scaled >= -1.0e9 && scaled <= 1.0e9) ? static_cast<int>(scaled) : 0;
  mData2 = static_cast<uint8_t>(v);
}

int IMidiMsg::Channel() const
{
  return mStatus & 0x0F;
}

IMidiMsg::EStatusMsg IMidiMsg::StatusMsg() const
{
  unsigned const nibble = mStatus >> 4;
  if (nibble >= kNoteOff && nibble <= kPitchWheel) return static_cast<EStatusMsg>(nibble);
  return kNone;
}

int IMidiMsg::NoteNumber() const
{
  switch (StatusMsg())
  {
  case kNoteOn:
  case kNoteOff:
  case kPolyAftertouch:
    return mData1;
  default:
    return -1;
  }
}

int IMidiMsg::Velocity() const
{
  switch (StatusMsg())
  {
  case kNoteOn:
  case kNoteOff:
    return mData2;
  default:
    return -1;
  }
}

int IMidiMsg::PolyAfterTouch() const
{
  return StatusMsg() == kPolyAftertouch ? mData2 : -1;
}

int IMidiMsg::ChannelAfterTouch() const
{
  return StatusMsg() == kChannelAftertouch ? mData1 : -1;
}

int IMidiMsg::Program() const
{
  return StatusMsg() == kProgramChange ? mData1 : -1;
}

double IMidiMsg::PitchWheel() const
{
  if (StatusMsg() != kPitchWheel) return 0.0;
  int const i = (mData2 << 7) + mData1;
  return (i - 8192) / 8192.0;
}

IMidiMsg::EControlChangeMsg IMidiMsg::ControlChangeIdx() const
{
  return static_cast<EControlChangeMsg>(mData1);
}

double IMidiMsg::ControlChange(EControlChangeMsg idx) const
{
  if (StatusMsg() == kControlChange && ControlChangeIdx() == idx) return mData2 / 127.0;
  return -1.0;
}

char const* IMidiMsg::StatusMsgStr(EStatusMsg msg)
{
  switch (msg)
  {
  case kNone:
    return "none";
  case kNoteOff:
    return "noteoff";
  case kNoteOn:
    return "noteon";
  case kPolyAftertouch:
    return "aftertouch";
  case kControlChange:
    return "controlchange";
  case kProgramChange:
    return "programchange";
  case kChannelAftertouch:
    return "channelaftertouch";
  case kPitchWheel:
    return "pitchwheel";
  default:
    return "unknown";
  }
}

void IMidiMsg::LogMsg() {}

void ISysEx::Clear()
{
  mOffset = mSize = 0;
  mData = nullptr;
}

void ISysEx::LogMsg() {}

char* SysExStr(char* str, int bufferLen, uint8_t const* data, int size)
{
  if (!str || bufferLen < 1) return str;
  str[0] = '\0';
  if (!data || size <= 0) return str;

  // Each byte takes three characters: two digits and a space, the last space becoming the NUL.
  int const n = size < bufferLen / 3 ? size : bufferLen / 3;
  static char const kHex[] = "0123456789ABCDEF";
  char* p = str;
  for (int i = 0; i < n; ++i)
  {
    *p++ = kHex[data[i] >> 4];
    *p++ = kHex[data[i] & 0x0F];
    *p++ = ' ';
  }
  if (n > 0) p[-1] = '\0';
  return str;
}
