// Where the module lives and where the shared help files are: the module's own
// path, the help folder the installation recorded, and a folder test.
#pragma once

#include "krn/platform/win_types.h"

#include <string>

namespace cvplat {

// The full path of a loaded module (natively the running program's path);
// empty when it cannot be had.
std::string ModuleFileName(HMODULE module);
// The "HelpFolder" value under HKLM "Software\Corvane\Shared Information";
// empty when it is missing (always natively).
std::string SharedHelpFolder();
bool FolderExists(const std::string& path);

// Loads a plug-in module as the host does (the current directory set to the
// module's folder for the load, critical-error boxes suppressed) and returns
// the address of an export; null when either fails (always natively, where
// Windows modules cannot be loaded). *module receives the handle to free.
void* LoadPlugInExport(const std::string& modulePath, const char* exportName, HMODULE* module);
void FreePlugIn(HMODULE module);

}  // namespace cvplat
