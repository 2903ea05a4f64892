// Small operating-system services that the command-line tool needs beyond the
// plug-in's file API: terminal detection, binary standard output, renaming a
// finished file into place, and the processor count.
#pragma once

#include "krn/platform/file.h"

#include <string>

namespace cvplat {

// True when standard output (or standard error) is an interactive terminal.
bool StdoutIsTerminal();
bool StderrIsTerminal();
// A new empty file, open for reading and writing, that disappears when it is
// closed (also when the process is killed where the system allows it).
UniqueFile CreateScratchFile();
// Copies standard input to the end of a file; false on a read or write failure.
[[nodiscard]] bool CopyStandardInput(HANDLE file);

// Columns of the terminal on standard error; 80 when it cannot be told.
unsigned TerminalColumns();
// Switches standard output to binary mode (no line-feed translation on Windows).
void SetStdoutBinary();

// Moves `from` to `to`. Without `replace` an existing `to` is left alone and the
// call fails (atomically: no window in which another file could be overwritten).
// On failure *error receives the system's error text.
bool MoveFileInto(const std::string& from, const std::string& to, bool replace, std::string* error);

// True when something (a file or a folder) exists under the name.
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// The operating system's words for the error of the last failed call
// ("Permission denied"); read it before any other call.
std::string LastErrorText();

// What a name stands for, without following a symbolic link.
enum class PathKind { kMissing, kRegularFile, kOther };
PathKind KindOfPath(const std::string& path);
// True when both names reach the same file (links included).
bool SameFile(const std::string& a, const std::string& b);
// Gives `to` the permission bits and modification time of `from`; best effort.
void CopyModeAndTime(const std::string& from, const std::string& to);

// Routes every signal that asks a process to stop (interrupt, termination,
// hang-up, and a write to a closed pipe where the system has them) to handler.
// A closed pipe then makes writes fail instead of ending the process.
void InstallStopSignals(void (*handler)(int));
// Puts the default action back for a signal (a second Ctrl+C ends at once).
void RestoreSignal(int signal);
// True for the signal of a write to a closed pipe.
bool IsBrokenPipeSignal(int signal);
// "SIGTERM" and the like.
const char* SignalName(int signal);

// Number of processors this process may run on, at least 1.
unsigned ProcessorCount();

}  // namespace cvplat
