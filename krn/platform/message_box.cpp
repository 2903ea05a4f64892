#include "krn/platform/message_box.h"

#include <atomic>
#include <cstdio>

namespace cvplat {

namespace {

int SystemMessageBox(HWND owner, const char* text, const char* caption, UINT flags) {
#ifdef _WIN32
  return ::MessageBoxA(owner, text, caption, flags);
#else
  (void)owner;
  (void)flags;
  std::fprintf(stderr, "%s: %s\n", caption, text);
  return kMessageAnswerOk;
#endif
}

std::atomic<MessageBoxSink> g_sink{&SystemMessageBox};

}  // namespace

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
  MessageBoxSink previous = g_sink.exchange(sink ? sink : &SystemMessageBox);
  return previous == &SystemMessageBox ? nullptr : previous;
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT flags) {
  return g_sink.load()(owner, text ? text : "", caption ? caption : "", flags);
}

}  // namespace cvplat
