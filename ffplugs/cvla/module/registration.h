// Self-registration: the shell association of ".qla" and the host's entry in
// its list of file-format plug-ins, which holds the module's path.
#pragma once

#include "krn/platform/win_types.h"

namespace cvla {

// Writes the shell association (its outcome is not reported) and the
// file-format entry; a failing entry write is the Windows error as 0x8007xxxx.
[[nodiscard]] HRESULT RegisterPlugIn();
// Removes the file-format entry with everything below it; the shell
// association stays. Always S_OK.
[[nodiscard]] HRESULT UnregisterPlugIn();

}  // namespace cvla
