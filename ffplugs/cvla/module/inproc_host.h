// The plug-in as a program in the same process sees it (the qla tool, the
// tests): the module's start-up and shut-down without a loader, and the
// objects through the class factory, as a host obtains them from the DLL.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>

namespace cvla {

// The bytes of a file's start that a host reads and hands to CheckHeader.
constexpr uint32_t kHostHeaderBytes = 256;

// Process attach and detach, with no module handle natively.
void StartInProcess();
void StopInProcess();

// DllGetClassObject with CLSID_QuartzlinePlugIn, then CreateInstance with iid.
// The module must be started.
[[nodiscard]] HRESULT CreatePlugInObject(const IID& iid, void** out);

}  // namespace cvla
