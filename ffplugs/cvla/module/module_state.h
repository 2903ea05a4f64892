// The module-wide state that the plug-in's objects share, and the module's
// start-up and shut-down (process attach and detach).
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>
#include <string>

namespace cvla {

constexpr uint32_t kFileTypeFlagBit = 0x10;
constexpr uint32_t kRendererFlagsCleared = 0x119;
constexpr uint32_t kRendererFlagsSet = 0x426;

// One instance per loaded module; zero before the attach.
struct ModuleState {
  HMODULE module;
  int32_t serverLocks;             // changed by LockServer, read by nothing
  uint32_t fileTypeFlags;          // 0x10 once a file type was created
  uint32_t rendererFlags;          // 0x426 once a renderer was created
};

ModuleState& Module();

// Process attach: records the module, starts the shared services (the
// process-wide string table with the message block and the template texts),
// creates the plug-in string table and determines the help file. Failures leave
// the missing parts null; later lookups then give empty or diagnostic texts.
void ModuleAttach(HMODULE module);
// Process detach: destroys the plug-in string table, stops the shared services
// and clears the module handle.
void ModuleDetach();

// The help file chosen at the attach.
const std::string& ModuleHelpPath();
// The help file for a module path and the shared help folder (empty or not a
// folder: the module path with its extension changed to ".hlp").
std::string HelpPathFor(const std::string& modulePath, const std::string& helpFolder, bool helpFolderExists);

}  // namespace cvla
