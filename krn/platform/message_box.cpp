#include "krn/platform/message_box.h"

#include <cstdio>

namespace cvplat {

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT flags) {
  if (!text) text = "";
  if (!caption) caption = "";
#ifdef _WIN32
  return ::MessageBoxA(owner, text, caption, flags);
#else
  (void)owner;
  (void)flags;
  std::fprintf(stderr, "%s: %s\n", caption, text);
  return kMessageAnswerOk;
#endif
}

}  // namespace cvplat
