// The system's own words for result codes, as the tool prints them after the
// name of the file that failed.
#pragma once

#include "krn/platform/win_types.h"

#include <string>

namespace qlatool {

// The message text of a result code without the leading line feeds; a code
// without a message is shown as its hexadecimal value.
std::string ResultText(HRESULT result);
// The result code of the last operating-system error (a failed open or create).
[[nodiscard]] HRESULT ResultOfLastSystemError();

}  // namespace qlatool
