// Test seam: makes the n-th following file operation or allocation of one kind
// fail as the operating system would report it (a full disk, a read error, no
// memory). Counts the operations of every thread. Off unless a test arms it.
#pragma once

namespace cvplat {

enum class FaultPoint { kOpen, kRead, kWrite, kSeek, kSize, kAlloc, kCount };

// Arms the seam: the n-th following operation of `point` fails (1 = the next
// one); 0 switches it off. Re-arming clears the fired flag.
void FailNth(FaultPoint point, int n);
// Switches every point off.
void ClearFaults();
// True when the armed failure of `point` has happened since it was armed.
bool FaultFired(FaultPoint point);
// Called by the platform layer before each operation: true when this one must fail.
bool FaultDue(FaultPoint point);

}  // namespace cvplat
