// Conversion between the ANSI code page and UTF-16. Natively the ANSI code page
// is Windows-1252.
#pragma once

#include "krn/platform/win_types.h"

#include <string>

namespace cvplat {

using WideString = std::basic_string<wchar16>;

// Converts srcLen bytes (-1: up to and including the terminator) into at most
// dstLen UTF-16 units; returns the units written (0 on failure or no room).
// With dst null or dstLen 0 returns the units needed.
int AnsiToWide(const char* src, int srcLen, wchar16* dst, int dstLen);
// The reverse; unmappable characters become '?'.
int WideToAnsi(const wchar16* src, int srcLen, char* dst, int dstLen);

// Whole-string helpers (no terminators inside the results).
WideString AnsiToWideString(const std::string& text);
std::string WideToAnsiString(const wchar16* text);
std::string WideToAnsiString(const WideString& text);
// The ANSI form of a text when every character has one (it converts back to the
// same text); false when the code page cannot hold the text.
bool WideToAnsiExact(const wchar16* text, std::string* out);

// Copies an ANSI text into a UTF-16 buffer of `length` units, cut to fit and
// always terminated (nothing happens for a null buffer or length 0).
void CopyAnsiToWideBuffer(const char* text, wchar16* buffer, size_t length);

// Length of a zero-terminated UTF-16 text.
size_t WideLength(const wchar16* text);

// UTF-16 <-> UTF-8 for the command-line tool's file names on Linux.
std::string WideToUtf8(const WideString& text);
WideString Utf8ToWide(const std::string& text);

}  // namespace cvplat
