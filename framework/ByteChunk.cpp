#include "framework/ByteChunk.h"

#include "framework/WDL_String.h"

int ByteChunk::PutBytes(void const* pSrc, int nBytesToCopy)
{
  int const n = Size();
  if (nBytesToCopy <= 0) return n;
  if (static_cast<long long>(n) + nBytesToCopy > WDL_HeapBuf::kMaxSize ||
      !mBytes.Resize(n + nBytesToCopy))
    return 0;
  std::memcpy(GetBytes() + n, pSrc, static_cast<size_t>(nBytesToCopy));
  return Size();
}

int ByteChunk::GetBytes(void* pDest, int nBytesToCopy, int startPos) const
{
  if (startPos < 0 || nBytesToCopy < 0) return -1;
  long long const endPos = static_cast<long long>(startPos) + nBytesToCopy;
  if (endPos > Size()) return -1;
  if (nBytesToCopy > 0)
    std::memcpy(pDest, GetBytes() + startPos, static_cast<size_t>(nBytesToCopy));
  return static_cast<int>(endPos);
}

int ByteChunk::PutStr(char const* str)
{
  int32_t const len = str ? static_cast<int32_t>(std::strlen(str)) : 0;
  int const before = Size();
  if (!Put(&len)) return 0;
  if (len > 0 && !PutBytes(str, len))
  {
    Resize(before);
    return 0;
  }
  return Size();
}

int ByteChunk::GetStr(WDL_String* pStr, int startPos) const
{
  int32_t len = 0;
  int const strStart = Get(&len, startPos);
  if (strStart < 0 || len < 0) return -1;
  long long const endPos = static_cast<long long>(strStart) + len;
  if (endPos > WDL_HeapBuf::kMaxSize)
    return -1; // no chunk is that long: the next read would fail anyway
  if (endPos <= Size())
  {
    if (len < 1)
      pStr->Set("");
    else
      pStr->Set(reinterpret_cast<char const*>(GetBytes()) + strStart, len);
  }
  return static_cast<int>(endPos);
}

int ByteChunk::PutBool(bool b)
{
  unsigned char const byte = b ? 1 : 0;
  return PutBytes(&byte, 1);
}

int ByteChunk::GetBool(bool* pB, int startPos) const
{
  unsigned char byte;
  int const endPos = GetBytes(&byte, 1, startPos);
  if (endPos >= 0) *pB = byte != 0;
  return endPos;
}

int ByteChunk::PutChunk(ByteChunk const* pRHS)
{
  if (!pRHS || pRHS == this)
  {
    if (pRHS != this || Size() == 0) return Size();
    // Appending a chunk to itself: copy first, since growing may move the bytes.
    ByteChunk copy;
    copy.PutBytes(GetBytes(), Size());
    return PutBytes(copy.GetBytes(), copy.Size());
  }
  return PutBytes(pRHS->GetBytes(), pRHS->Size());
}
