// Runs code that this module does not control (a codec driver, for instance)
// so that a processor fault or other structured exception raised inside it
// ends that code instead of the process.
#pragma once

namespace cvplat {

// Calls work(context). Returns false when a structured exception escaped from
// it: the work then stopped where it failed, its stack frames abandoned (not
// unwound), and the floating-point unit was reset. Natively there are no
// structured exceptions; the work simply runs.
[[nodiscard]] bool RunGuarded(void (*work)(void*), void* context);

}  // namespace cvplat
