// Small operating-system services that the command-line tool needs beyond the
// plug-in's file API: terminal detection, binary standard output, renaming a
// finished file into place, and the processor count.
#pragma once

#include <string>

namespace cvplat {

// True when standard output (or standard error) is an interactive terminal.
bool StdoutIsTerminal();
bool StderrIsTerminal();
// Switches standard output to binary mode (no line-feed translation on Windows).
void SetStdoutBinary();

// Moves `from` to `to`. Without `replace` an existing `to` is left alone and the
// call fails (atomically: no window in which another file could be overwritten).
// On failure *error receives the system's error text.
bool MoveFileInto(const std::string& from, const std::string& to, bool replace, std::string* error);

// True when something (a file or a folder) exists under the name.
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// Number of processors this process may run on, at least 1.
unsigned ProcessorCount();

}  // namespace cvplat
