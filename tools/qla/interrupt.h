// Ctrl+C: the first interrupt asks every running job to stop (each removes its
// unfinished output); a second one ends the process at once.
#pragma once

namespace qlatool {

void InstallInterruptHandler();
bool Interrupted();
// Test seam and programmatic stop: behaves like a received interrupt.
void RequestInterrupt();

}  // namespace qlatool
