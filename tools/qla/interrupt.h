// Stopping a run: Ctrl+C, termination, hang-up and a closed output pipe ask
// every running job to stop (each removes its unfinished output); a second
// Ctrl+C ends the process at once. The exit code then says which signal it was.
#pragma once

#include <string>

namespace qlatool {

void InstallInterruptHandler();
bool Interrupted();
// Test seam and programmatic stop: behaves like a received interrupt.
void RequestInterrupt();
// 128 + the signal's number, as shells report a process ended by it.
int InterruptExitCode();
// What stopped the run, for the closing line.
std::string InterruptReason();

}  // namespace qlatool
