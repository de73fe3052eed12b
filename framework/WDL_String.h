#pragma once
// NUL-terminated growable text on a WDL_HeapBuf (granularity 128).
//
// Set and Append copy at most maxLen characters of their source (0 or less: all of it) and stop
// early at a NUL. Get never returns null: an empty string reads as "". When memory runs out the
// text keeps its previous contents and the call returns false.

#include "framework/WDL_HeapBuf.h"

class WDL_String
{
public:
  explicit WDL_String(char const* initial = nullptr, int maxLen = 0);
  WDL_String(WDL_String const& other);
  WDL_String& operator=(WDL_String const& other);

  char const* Get() const;
  int GetLength() const;

  bool Set(char const* str, int maxLen = 0);
  bool Append(char const* str, int maxLen = 0);

  // printf-style, the result cut to at most maxLen characters (maxLen > 0). Numbers with a
  // fractional part are locale-dependent under printf: format those elsewhere.
  bool SetFormatted(int maxLen, char const* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  bool AppendFormatted(int maxLen, char const* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;

  // Cuts the text to at most length characters; a longer length does nothing.
  void SetLen(int length);

private:
  bool AppendBytes(char const* str, int len, int at);

  WDL_HeapBuf mHB;
};
