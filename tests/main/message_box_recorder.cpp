// Every test program shows its message boxes here instead of on screen: a modal
// box would stop an unattended run. Each box is answered with OK.
#include "krn/platform/message_box.h"

namespace {

int AnswerOk(HWND, const char*, const char*, UINT) { return cvplat::kMessageAnswerOk; }

// Installed before main() runs, so no test can reach the system's box.
const bool g_installed = (cvplat::SetMessageBoxSink(&AnswerOk), true);

}  // namespace
