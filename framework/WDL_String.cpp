#include "framework/WDL_String.h"

#include <cstdarg>
#include <cstdio>

namespace
{
// Length of str up to a NUL, looking at no more than maxLen characters when maxLen > 0.
int BoundedLength(char const* str, int maxLen)
{
  if (!str) return 0;
  if (maxLen <= 0) return static_cast<int>(std::strlen(str));
  void const* nul = std::memchr(str, 0, static_cast<size_t>(maxLen));
  return nul ? static_cast<int>(static_cast<char const*>(nul) - str) : maxLen;
}

// vsnprintf into a stack buffer, falling back to the heap for long results.
bool FormatInto(WDL_String* s, bool append, int maxLen, char const* fmt, va_list ap)
{
  char small[512];
  va_list ap2;
  va_copy(ap2, ap);
  int const n = std::vsnprintf(small, sizeof(small), fmt, ap);
  bool ok;
  if (n < 0)
    ok = false;
  else if (n < static_cast<int>(sizeof(small)))
    ok = append ? s->Append(small, maxLen) : s->Set(small, maxLen);
  else
  {
    WDL_HeapBuf big(128);
    ok = big.Resize(n + 1);
    if (ok)
    {
      std::vsnprintf(static_cast<char*>(big.Get()), static_cast<size_t>(n) + 1, fmt, ap2);
      char const* text = static_cast<char const*>(big.Get());
      ok = append ? s->Append(text, maxLen) : s->Set(text, maxLen);
    }
  }
  va_end(ap2);
  return ok;
}
} // namespace

WDL_String::WDL_String(char const* initial, int maxLen) : mHB(128)
{
  Set(initial, maxLen);
}

WDL_String::WDL_String(WDL_String const& other) : mHB(128)
{
  Set(other.Get());
}

WDL_String& WDL_String::operator=(WDL_String const& other)
{
  if (this != &other) Set(other.Get());
  return *this;
}

char const* WDL_String::Get() const
{
  char const* p = static_cast<char const*>(mHB.Get());
  return p ? p : "";
}

int WDL_String::GetLength() const
{
  return mHB.GetSize() > 0 ? mHB.GetSize() - 1 : 0;
}

bool WDL_String::AppendBytes(char const* str, int len, int at)
{
  if (static_cast<long long>(at) + len + 1 > WDL_HeapBuf::kMaxSize) return false;
  // str may point into our own buffer, which Resize can move: remember where it was.
  char const* old = static_cast<char const*>(mHB.Get());
  long long const inside = old && str >= old && str < old + mHB.GetSize() ? str - old : -1;
  if (!mHB.Resize(at + len + 1)) return false;
  char* p = static_cast<char*>(mHB.Get());
  char const* src = inside >= 0 ? p + inside : str;
  if (len > 0) std::memmove(p + at, src, static_cast<size_t>(len));
  p[at + len] = 0;
  return true;
}

bool WDL_String::Set(char const* str, int maxLen)
{
  int const len = BoundedLength(str, maxLen);
  if (len == 0)
  {
    mHB.Resize(0);
    return true;
  }
  return AppendBytes(str, len, 0);
}

bool WDL_String::Append(char const* str, int maxLen)
{
  int const len = BoundedLength(str, maxLen);
  if (len == 0) return true;
  return AppendBytes(str, len, GetLength());
}

bool WDL_String::SetFormatted(int maxLen, char const* fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  bool const ok = FormatInto(this, false, maxLen, fmt, ap);
  va_end(ap);
  return ok;
}

bool WDL_String::AppendFormatted(int maxLen, char const* fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  bool const ok = FormatInto(this, true, maxLen, fmt, ap);
  va_end(ap);
  return ok;
}

void WDL_String::SetLen(int length)
{
  if (length < 0) length = 0;
  if (length >= GetLength()) return;
  if (length == 0)
  {
    mHB.Resize(0);
    return;
  }
  mHB.Resize(length + 1);
  static_cast<char*>(mHB.Get())[length] = 0;
}
