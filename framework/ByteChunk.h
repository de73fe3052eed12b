#pragma once
// A growable little-endian byte buffer: the carrier of every state image the plug-in hands out.
//
// Values are appended in little-endian order (32-bit integers as two's complement, doubles as
// IEEE-754 binary64, bools as one byte 0 or 1). Every read takes a position and returns the
// position after the value, or -1 when the value does not lie wholly inside the chunk; a failed
// read leaves its destination unchanged. Reads never touch memory outside the chunk.
//
// A string is stored as a 32-bit length L and L characters, no terminator.

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "framework/WDL_HeapBuf.h"

class WDL_String;

class ByteChunk
{
public:
  ByteChunk() : mBytes(4096) {}

  // Appends the bytes of a value in little-endian order; returns the new size, or 0 (and the
  // chunk unchanged) when it could not grow.
  template <class T> int Put(T const* pVal)
  {
    static_assert(std::is_arithmetic_v<T>, "ByteChunk stores numbers, bools and strings");
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, pVal, sizeof(T));
    if constexpr (sizeof(T) > 1 && std::endian::native == std::endian::big)
      Reverse(bytes, sizeof(T));
    return PutBytes(bytes, static_cast<int>(sizeof(T)));
  }

  // Reads a value at startPos; returns startPos + sizeof(T), or -1 with *pVal untouched.
  template <class T> int Get(T* pVal, int startPos) const
  {
    static_assert(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>,
                  "bools are read with GetBool");
    unsigned char bytes[sizeof(T)];
    int const endPos = GetBytes(bytes, static_cast<int>(sizeof(T)), startPos);
    if (endPos < 0) return -1;
    if constexpr (sizeof(T) > 1 && std::endian::native == std::endian::big)
      Reverse(bytes, sizeof(T));
    std::memcpy(pVal, bytes, sizeof(T));
    return endPos;
  }

  // Appends the 32-bit length and the characters of str (null reads as empty).
  int PutStr(char const* str);

  // Reads a length L and L characters. When they lie inside the chunk, *pStr becomes those
  // characters up to the first NUL among them (empty for L = 0); when the characters run past
  // the end, *pStr is left unchanged but the end position is returned all the same, so the next
  // read fails. -1 when the length itself cannot be read, is negative, or points beyond any
  // possible chunk.
  int GetStr(WDL_String* pStr, int startPos) const;

  int PutBool(bool b);
  // One byte, any non-zero value reads as true.
  int GetBool(bool* pB, int startPos) const;

  // Appends another chunk's bytes raw, with no length.
  int PutChunk(ByteChunk const* pRHS);

  // Raw bytes.
  int PutBytes(void const* pSrc, int nBytesToCopy);
  int GetBytes(void* pDest, int nBytesToCopy, int startPos) const;

  void Clear() { mBytes.Resize(0); }
  int Size() const { return mBytes.GetSize(); }
  // Sets the size (new bytes are not initialised); returns the size after the call.
  int Resize(int newSize)
  {
    mBytes.Resize(newSize);
    return Size();
  }
  // The bytes, or null when the chunk is empty.
  unsigned char* GetBytes() const { return static_cast<unsigned char*>(mBytes.Get()); }

  bool IsEqual(ByteChunk const* pRHS) const
  {
    return pRHS && pRHS->Size() == Size() &&
           (Size() == 0 ||
            std::memcmp(pRHS->GetBytes(), GetBytes(), static_cast<size_t>(Size())) == 0);
  }

private:
  static void Reverse(unsigned char* p, size_t n)
  {
    for (size_t i = 0; i < n / 2; ++i)
    {
      unsigned char const t = p[i];
      p[i] = p[n - 1 - i];
      p[n - 1 - i] = t;
    }
  }

  WDL_HeapBuf mBytes;
};
