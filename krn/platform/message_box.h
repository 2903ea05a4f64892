// A plain message box for error texts (MessageBoxA on Windows; natively the
// text goes to the standard error stream).
#pragma once

#include "krn/platform/win_types.h"

namespace cvplat {

// Icon bits of the flags, with the values of the Windows message box.
constexpr UINT kMessageIconMask = 0xF0;
constexpr UINT kMessageIconError = 0x10;
constexpr UINT kMessageIconWarning = 0x30;
constexpr int kMessageAnswerOk = 1;

// Shows `text` under `caption` and returns the button chosen (natively
// kMessageAnswerOk after writing "caption: text" to stderr).
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT flags);

}  // namespace cvplat
