// Where the plug-in's help file "CVQLPLUG.HLP" is: in the shared help folder
// that the installation recorded under "HelpFolder", otherwise beside the
// module. The format property page reports it to the host.
#pragma once

#include <cstddef>
#include <string>

namespace cvla {

// The size of the caller's buffer: 260 bytes with the terminating zero.
constexpr size_t kHelpFileBufferSize = 260;

// The help file for a module path and the "HelpFolder" value; folderExists
// says whether the value names an existing folder. A missing value, one that
// names no folder, or a folder too long for the buffer falls back to the
// module's folder (cut to fit the buffer). The result is at most 259 bytes.
[[nodiscard]] std::string HelpFileFor(const std::string& modulePath, const std::string& helpFolder,
                                      bool folderExists);

// The help file of the loaded module, from the registry value and the module's
// path.
[[nodiscard]] std::string HelpFilePath();

// Fills a buffer of kHelpFileBufferSize bytes with HelpFilePath(), terminated.
void GetHelpFile(char* buffer);

}  // namespace cvla
