#include "tests/main/message_box_recorder.h"

#include "krn/platform/message_box.h"

#include <mutex>

namespace cvtest {

namespace {

std::mutex g_mutex;
int g_count = 0;
RecordedMessageBox g_last;

int RecordMessageBox(HWND, const char* text, const char* caption, UINT flags) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ++g_count;
  g_last = {text, caption, flags};
  return cvplat::kMessageAnswerOk;
}

// Installed before main() runs, so no test can reach the system's box.
const bool g_installed = (cvplat::SetMessageBoxSink(&RecordMessageBox), true);

}  // namespace

int MessageBoxCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_count;
}

RecordedMessageBox LastMessageBox() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_last;
}

}  // namespace cvtest
