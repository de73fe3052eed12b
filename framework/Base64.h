#pragma once
// Base64 with the standard alphabet (A-Z, a-z, 0-9, '+', '/') and '=' padding.
//
// Presets can be written into source code as base64 text and read back (MakePresetFromBlob);
// the preset dumps write that text.

#include "framework/WDL_String.h"

// Characters Base64Encode writes for nBytes bytes: 4 * ceil(nBytes / 3), no terminator.
int Base64EncodedLength(int nBytes);

// Encodes nBytes bytes into dest, which holds Base64EncodedLength(nBytes) + 1 characters;
// the text is terminated. Returns the number of characters written (without the terminator).
int Base64Encode(void const* src, int nBytes, char* dest);

// Encodes into a string; false (string unchanged) when memory runs out.
bool Base64Encode(void const* src, int nBytes, WDL_String* pDest);

// Decodes text into dest, at most destSize bytes. Decoding stops at the end of the text or at
// the first character outside the alphabet ('=' included); once destSize bytes are produced
// the rest of the text is consumed without effect. Bytes of dest beyond those produced are left
// as they were. Returns the number of bytes produced. A null text decodes to nothing.
int Base64Decode(char const* text, unsigned char* dest, int destSize);
