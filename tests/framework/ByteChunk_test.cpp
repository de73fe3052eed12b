// Byte-exact values, bounds-checked reads and base64 coding.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Base64.h"
#include "framework/ByteChunk.h"
#include "framework/WDL_String.h"
#include "support/PlugState.h"
#include "support/Random.h"

using torva_test::Bytes;
using torva_test::SetBytes;
using Vec = std::vector<unsigned char>;

TEST(ByteChunk, ValuesAreLittleEndian)
{
  ByteChunk c;
  double const a = 0.7, b = -4.0;
  int32_t const i = 0x70666674;
  c.Put(&a);
  c.Put(&b);
  c.Put(&i);
  c.PutBool(true);
  c.PutStr("ab");
  EXPECT_EQ(Bytes(c), (Vec{0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0xE6, 0x3F, //
                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0xC0, //
                           0x74, 0x66, 0x66, 0x70, 0x01, 0x02, 0x00, 0x00, 0x00, 'a', 'b'}));
  ByteChunk d;
  d.PutChunk(&c);
  d.PutChunk(&d); // a chunk appended to itself
  EXPECT_EQ(d.Size(), 2 * c.Size());
  EXPECT_TRUE(std::equal(c.GetBytes(), c.GetBytes() + c.Size(), d.GetBytes() + c.Size()));
}

TEST(ByteChunk, ReadsStayInBounds)
{
  ByteChunk c;
  SetBytes(&c, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  double v = 42.0;
  EXPECT_EQ(c.Get(&v, 1), 9);
  EXPECT_EQ(c.Get(&v, 2), -1);
  EXPECT_EQ(c.Get(&v, -1), -1);
  EXPECT_EQ(c.Get(&v, 0x7FFFFFFF), -1);
  int32_t n = 7;
  EXPECT_EQ(c.Get(&n, 6), -1);
  EXPECT_EQ(n, 7) << "a failed read leaves the destination";
  EXPECT_EQ(c.Get(&n, 5), 9);
  EXPECT_EQ(n, 0x09080706);

  bool b = false;
  EXPECT_EQ(c.GetBool(&b, 8), 9);
  EXPECT_TRUE(b) << "any non-zero byte reads as true";
  b = false;
  EXPECT_EQ(c.GetBool(&b, 9), -1);
  EXPECT_FALSE(b);

  ByteChunk empty;
  EXPECT_EQ(empty.GetBytes(), nullptr);
  EXPECT_EQ(empty.Get(&n, 0), -1);
}

TEST(ByteChunk, StringReads)
{
  auto readStr = [](Vec const& bytes, int pos, char const* before, int* pEnd)
  {
    ByteChunk c;
    SetBytes(&c, bytes);
    WDL_String s(before);
    *pEnd = c.GetStr(&s, pos);
    return std::string(s.Get());
  };
  int end;
  EXPECT_EQ(readStr({3, 0, 0, 0, 'a', 'b', 'c', 'z'}, 0, "old", &end), "abc");
  EXPECT_EQ(end, 7);
  EXPECT_EQ(readStr({4, 0, 0, 0, 'a', 0, 'c', 'd'}, 0, "old", &end), "a") << "stops at a NUL";
  EXPECT_EQ(end, 8);
  EXPECT_EQ(readStr({0, 0, 0, 0}, 0, "old", &end), "");
  EXPECT_EQ(end, 4);
  // The characters run past the end: the string stays, the end position is still returned and
  // the next read fails.
  EXPECT_EQ(readStr({9, 0, 0, 0, 'a', 'b'}, 0, "old", &end), "old");
  EXPECT_EQ(end, 13);
  EXPECT_EQ(readStr({1, 0, 0}, 0, "old", &end), "old");
  EXPECT_EQ(end, -1);
  // A negative length or one no chunk can hold is a failed read, never a jump backwards or an
  // overflowing position.
  EXPECT_EQ(readStr({0xFC, 0xFF, 0xFF, 0xFF, 'a', 'b'}, 0, "old", &end), "old");
  EXPECT_EQ(end, -1);
  EXPECT_EQ(readStr({0xFF, 0xFF, 0xFF, 0x7F, 'a'}, 0, "old", &end), "old");
  EXPECT_EQ(end, -1);
}

TEST(Base64, KnownTexts)
{
  auto enc = [](std::string const& s)
  {
    WDL_String out;
    Base64Encode(s.data(), static_cast<int>(s.size()), &out);
    return std::string(out.Get());
  };
  EXPECT_EQ(enc(""), "");
  EXPECT_EQ(enc("M"), "TQ==");
  EXPECT_EQ(enc("Ma"), "TWE=");
  EXPECT_EQ(enc("Man"), "TWFu");
  EXPECT_EQ(enc("\xFF\xFE\xFD\xFC"), "//79/A==");
  EXPECT_EQ(Base64EncodedLength(1533), 2044);

  unsigned char out[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(Base64Decode("TWFu", out, 8), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "Man\x09");
  EXPECT_EQ(Base64Decode("TWE=TWFu", out, 8), 2) << "'=' ends the text";
  EXPECT_EQ(Base64Decode("TW E", out, 8), 1) << "so does any character outside the alphabet";
  EXPECT_EQ(Base64Decode("TWFuTWFu", out, 4), 4) << "no more than the room given";
  EXPECT_EQ(out[4], 9);
  EXPECT_EQ(Base64Decode(nullptr, out, 8), 0);
}

TEST(Base64, RoundTripsEveryLength)
{
  torva_test::Rng rng(7);
  for (int n = 0; n < 200; ++n)
  {
    Vec const data = rng.Bytes(static_cast<size_t>(n));
    std::string text(static_cast<size_t>(Base64EncodedLength(n)) + 1, '?');
    ASSERT_EQ(Base64Encode(data.data(), n, text.data()), Base64EncodedLength(n));
    ASSERT_EQ(text.back(), '\0');
    Vec back(static_cast<size_t>(n) + 1, 0xAA);
    ASSERT_EQ(Base64Decode(text.c_str(), back.data(), n + 1), n);
    back.pop_back();
    ASSERT_EQ(back, data) << n;
  }
}
