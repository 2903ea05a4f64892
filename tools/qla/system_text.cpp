#include "tools/qla/system_text.h"

#include "krn/messages.h"
#include "krn/platform/file.h"
#include "krn/results.h"

#include <cstdio>

namespace qlatool {

std::string ResultText(HRESULT result) {
  const char* text = cv::GetResultMessage(result);
  if (!text) {
    char hex[48];
    std::snprintf(hex, sizeof hex, "error 0x%08X", static_cast<unsigned>(result));
    return hex;
  }
  while (*text == '\n' || *text == '\r') ++text;
  return text;
}

HRESULT ResultOfLastSystemError() { return cv::ResultFromWin32Error(cvplat::LastError()); }

}  // namespace qlatool
