#include "krn/show_error.h"

#include "krn/messages.h"
#include "krn/platform/message_box.h"
#include "krn/results.h"

#include <atomic>
#include <new>
#include <string>

namespace cv {

namespace {

constexpr const char* kDetailsStart = "/r/n-----DETAILS START-----/r/n";
constexpr const char* kDetailsEnd = "/r/n-----DETAILS END-----";
constexpr int kHookDeclined = -1;

std::atomic<ErrorMessageHook> g_hook{nullptr};
thread_local std::string t_details;

// Shows `text` through the hook, with the details between their markers when
// there are any (left out when there is no memory for them).
int CallHook(ErrorMessageHook hook, HWND owner, UINT flags, const char* text, const std::string& details) {
  if (details.empty()) return hook(owner, flags, text);
  std::string full;
  try {
    full = std::string(text) + kDetailsStart + details + kDetailsEnd;
  } catch (const std::bad_alloc&) {
    return hook(owner, flags, text);
  }
  return hook(owner, flags, full.c_str());
}

}  // namespace

ErrorMessageHook SetErrorMessageHook(ErrorMessageHook hook) { return g_hook.exchange(hook); }

void SetErrorMessageDetails(const char* details) {
  try {
    t_details = details ? details : "";
  } catch (const std::bad_alloc&) {
    t_details.clear();
  }
}

int ShowErrorMessage(HWND owner, UINT flags, uintptr_t context, HRESULT code, const char* argument,
                     BOOL asWarning) {
  std::string details;
  details.swap(t_details);  // the details belong to this message only
  if (code == CVERR_CANCELLED) return 1;

  std::string message;
  try {
    message = asWarning ? "Warning: " : "";
    message += ComposeErrorText(context, code, argument);
  } catch (const std::bad_alloc&) {
    message.clear();
  }
  const char* text = message.empty() ? ComposeErrorText(context, code, argument) : message.c_str();

  if (ErrorMessageHook hook = g_hook.load()) {
    const int answer = CallHook(hook, owner, flags, text, details);
    if (answer != kHookDeclined) return answer;
  }
  UINT boxFlags = flags;
  if ((boxFlags & cvplat::kMessageIconMask) == 0)
    boxFlags |= asWarning ? cvplat::kMessageIconWarning : cvplat::kMessageIconError;
  return cvplat::ShowMessageBox(owner, text, asWarning ? "Warning" : "Error", boxFlags);
}

}  // namespace cv
