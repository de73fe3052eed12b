#include "framework/Base64.h"

#include "framework/WDL_HeapBuf.h"

namespace
{
char const kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0..63 for an alphabet character, -1 for anything else.
int SextetOf(unsigned char c)
{
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
} // namespace

int Base64EncodedLength(int nBytes)
{
  return nBytes > 0 ? (nBytes + 2) / 3 * 4 : 0;
}

int Base64Encode(void const* src, int nBytes, char* dest)
{
  unsigned char const* in = static_cast<unsigned char const*>(src);
  int out = 0;
  for (int i = 0; i < nBytes; i += 3)
  {
    int const remain = nBytes - i;
    // Three bytes make 24 bits, written as four 6-bit digits; missing bytes count as zero.
    unsigned const b0 = in[i];
    unsigned const b1 = remain > 1 ? in[i + 1] : 0;
    unsigned const b2 = remain > 2 ? in[i + 2] : 0;
    unsigned const bits = b0 << 16 | b1 << 8 | b2;
    dest[out++] = kAlphabet[bits >> 18 & 63];
    dest[out++] = kAlphabet[bits >> 12 & 63];
    dest[out++] = remain > 1 ? kAlphabet[bits >> 6 & 63] : '=';
    dest[out++] = remain > 2 ? kAlphabet[bits & 63] : '=';
  }
  dest[out] = 0;
  return out;
}

bool Base64Encode(void const* src, int nBytes, WDL_String* pDest)
{
  if (nBytes <= 0) return pDest->Set("");
  long long const len = Base64EncodedLength(nBytes);
  WDL_HeapBuf buf(4096);
  if (len + 1 > WDL_HeapBuf::kMaxSize || !buf.Resize(static_cast<int>(len) + 1)) return false;
  Base64Encode(src, nBytes, static_cast<char*>(buf.Get()));
  return pDest->Set(static_cast<char const*>(buf.Get()));
}

int Base64Decode(char const* text, unsigned char* dest, int destSize)
{
  if (!text) return 0;
  int produced = 0;
  unsigned accum = 0;
  int nBits = 0;
  for (unsigned char const* p = reinterpret_cast<unsigned char const*>(text); *p; ++p)
  {
    int const v = SextetOf(*p);
    if (v < 0) break;
    accum = (accum << 6 | static_cast<unsigned>(v)) & 0xFFFFFF;
    nBits += 6;
    if (nBits >= 8)
    {
      nBits -= 8;
      if (produced < destSize) dest[produced++] = static_cast<unsigned char>(accum >> nBits);
    }
  }
  return produced;
}
