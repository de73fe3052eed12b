#include "framework/IPlugStructs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

TEST(Midi, NoteMessages)
{
  IMidiMsg m(99, 1, 2, 3);
  m.MakeNoteOnMsg(60, 100, 17, 5);
  EXPECT_EQ(m.mStatus, 0x95);
  EXPECT_EQ(m.mOffset, 17);
  EXPECT_EQ(m.Channel(), 5);
  EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNoteOn);
  EXPECT_EQ(m.NoteNumber(), 60);
  EXPECT_EQ(m.Velocity(), 100);
  EXPECT_EQ(m.Program(), -1);
  EXPECT_EQ(m.PolyAfterTouch(), -1);
  EXPECT_EQ(m.ChannelAfterTouch(), -1);
  EXPECT_EQ(m.PitchWheel(), 0.0);

  m.MakeNoteOffMsg(61, 3, 15);
  EXPECT_EQ(m.mStatus, 0x8F);
  EXPECT_EQ(m.mData2, 0); // velocity of a fresh note-off is 0, not left over
  EXPECT_EQ(m.NoteNumber(), 61);
  EXPECT_EQ(m.Velocity(), 0);
  EXPECT_EQ(m.mOffset, 3);

  m.Clear();
  EXPECT_EQ(m.mOffset, 0);
  EXPECT_EQ(m.mStatus | m.mData1 | m.mData2, 0);
  EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNone);
}

TEST(Midi, PitchWheelBytes)
{
  struct Case
  {
    double value;
    int lo, hi;
  };
  Case const cases[] = {
      {0.0, 0, 64},
      {1.0, 127, 127}, // 16384 clamps to 16383
      {-1.0, 0, 0},
      {0.5, 0, 96},  // 12288
      {-0.5, 0, 32}, // 4096
      {1.0 / 8192, 1, 64},
      {-0.9 / 8192, 0, 64}, // truncates toward zero, not down
      {5.0, 127, 127},
      {-5.0, 0, 0},
      {std::numeric_limits<double>::quiet_NaN(), 0, 0},
      {std::numeric_limits<double>::infinity(), 127, 127},
  };
  for (Case const& c : cases)
  {
    IMidiMsg m;
    m.MakePitchWheelMsg(c.value, 2);
    EXPECT_EQ(m.mStatus, 0xE2) << c.value;
    EXPECT_EQ(m.mData1, c.lo) << c.value;
    EXPECT_EQ(m.mData2, c.hi) << c.value;
  }

  IMidiMsg m;
  m.MakePitchWheelMsg(-1.0);
  EXPECT_EQ(m.PitchWheel(), -1.0);
  m.MakePitchWheelMsg(0.0);
  EXPECT_EQ(m.PitchWheel(), 0.0);
  m.MakePitchWheelMsg(1.0);
  EXPECT_EQ(m.PitchWheel(), 1.0 - 1.0 / 8192);
  // Round trip for values on the 1/8192 grid.
  for (int i = -8192; i < 8192; i += 37)
  {
    m.MakePitchWheelMsg(i / 8192.0);
    ASSERT_EQ(m.PitchWheel(), i / 8192.0);
  }
}

TEST(Midi, ControlChangeBytes)
{
  IMidiMsg m;
  m.MakeControlChangeMsg(IMidiMsg::kModWheel, 1.0, 9);
  EXPECT_EQ(m.mStatus, 0xB9);
  EXPECT_EQ(m.mData1, 1);
  EXPECT_EQ(m.mData2, 127);
  EXPECT_EQ(m.ControlChangeIdx(), IMidiMsg::kModWheel);
  EXPECT_EQ(m.ControlChange(IMidiMsg::kModWheel), 1.0);
  EXPECT_EQ(m.ControlChange(IMidiMsg::kPan), -1.0); // another controller

  m.MakeControlChangeMsg(IMidiMsg::kSustainOnOff, 0.999);
  EXPECT_EQ(m.mData2, 126); // truncated, not rounded
  m.MakeControlChangeMsg(IMidiMsg::kSustainOnOff, 0.5);
  EXPECT_EQ(m.mData2, 63);
  EXPECT_DOUBLE_EQ(m.ControlChange(IMidiMsg::kSustainOnOff), 63 / 127.0);

  // A note-on whose first byte matches is still not a control change.
  m.MakeNoteOnMsg(IMidiMsg::kSustainOnOff, 100, 0);
  EXPECT_EQ(m.ControlChange(IMidiMsg::kSustainOnOff), -1.0);
  EXPECT_EQ(m.ControlChangeIdx(), IMidiMsg::kSustainOnOff); // no kind check here
}

TEST(Midi, StatusDecoding)
{
  IMidiMsg m;
  m.mStatus = 0xF8; // clock: a system byte, not channel voice
  EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNone);
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(m.StatusMsg()), "none");
  m.mStatus = 0x7F; // a data byte
  EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNone);

  m = IMidiMsg(0, 0xA3, 40, 77);
  EXPECT_EQ(m.NoteNumber(), 40);
  EXPECT_EQ(m.PolyAfterTouch(), 77);
  EXPECT_EQ(m.Velocity(), -1);
  m = IMidiMsg(0, 0xC0, 12, 0);
  EXPECT_EQ(m.Program(), 12);
  EXPECT_EQ(m.NoteNumber(), -1);
  m = IMidiMsg(0, 0xD1, 90, 0);
  EXPECT_EQ(m.ChannelAfterTouch(), 90);
  EXPECT_EQ(m.Channel(), 1);

  EXPECT_STREQ(IMidiMsg::StatusMsgStr(static_cast<IMidiMsg::EStatusMsg>(3)), "unknown");
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(static_cast<IMidiMsg::EStatusMsg>(15)), "unknown");
  EXPECT_STREQ(IMidiMsg::StatusMsgStr(IMidiMsg::kPolyAftertouch), "aftertouch");
}

TEST(Midi, SysExHexDump)
{
  uint8_t const bytes[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

  struct Case
  {
    int bufferLen;
    int size;
    char const* expect;
  };
  Case const cases[] = {
      {64, 3, "F0 7E 7F"}, {6, 3, "F0 7E"},             // two bytes fit
      {9, 3, "F0 7E 7F"},                               // exactly three
      {8, 3, "F0 7E"},     {3, 6, "F0"},    {2, 6, ""}, // no room for a whole byte
      {1, 6, ""},          {64, 0, ""},     {64, -4, ""}, {64, 6, "F0 7E 7F 09 01 F7"},
  };
  for (Case const& c : cases)
  {
    // Fill with a guard so anything written past bufferLen shows up (and ASan sees the array).
    char buf[80];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(SysExStr(buf, c.bufferLen, bytes, c.size), buf);
    EXPECT_STREQ(buf, c.expect) << c.bufferLen << " " << c.size;
    for (int i = c.bufferLen; i < 80; ++i) ASSERT_EQ(buf[i], '#') << c.bufferLen << " at " << i;
  }

  char buf[8] = "xyz";
  SysExStr(buf, sizeof buf, nullptr, 3);
  EXPECT_STREQ(buf, "");
  buf[0] = 'q';
  SysExStr(buf, 0, bytes, 3); // no room even for the terminator: untouched
  EXPECT_EQ(buf[0], 'q');
  EXPECT_EQ(SysExStr(nullptr, 10, bytes, 3), nullptr);
}
