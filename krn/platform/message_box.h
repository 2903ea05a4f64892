// A plain message box for error texts. Every box goes through one replaceable
// sink: by default MessageBoxA on Windows and the standard error stream
// natively; test programs install their own so that nothing modal ever opens.
#pragma once

#include "krn/platform/win_types.h"

namespace cvplat {

// Icon bits of the flags, with the values of the Windows message box.
constexpr UINT kMessageIconMask = 0xF0;
constexpr UINT kMessageIconError = 0x10;
constexpr UINT kMessageIconWarning = 0x30;
constexpr int kMessageAnswerOk = 1;

// Shows a box and returns the button chosen.
using MessageBoxSink = int (*)(HWND owner, const char* text, const char* caption, UINT flags);

// Installs the process-wide sink (null restores the default one); returns the
// previous sink.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

// Shows `text` under `caption` through the sink and returns its answer (the
// default sink natively writes "caption: text" to stderr and answers
// kMessageAnswerOk). Null texts are shown as empty ones.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT flags);

}  // namespace cvplat
