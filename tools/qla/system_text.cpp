#include "tools/qla/system_text.h"

#include "krn/platform/file.h"
#include "krn/results.h"

#include <cstdio>

namespace qlatool {

std::string ResultText(HRESULT result) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(result));
  return std::string("error ") + hex;
}

HRESULT ResultOfLastSystemError() { return cv::CVERR_FILE_OPEN; }

}  // namespace qlatool
