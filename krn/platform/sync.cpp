#include "krn/platform/sync.h"

namespace cvplat {

#ifdef _WIN32

RecursiveMutex::RecursiveMutex() : handle_(::CreateMutexA(nullptr, FALSE, nullptr)) {}
RecursiveMutex::~RecursiveMutex() {
  if (handle_) ::CloseHandle(handle_);
}
bool RecursiveMutex::IsValid() const { return handle_ != nullptr; }
void RecursiveMutex::Lock() { ::WaitForSingleObject(handle_, INFINITE); }
void RecursiveMutex::Unlock() { ::ReleaseMutex(handle_); }

LONG AtomicIncrement(volatile LONG* value) { return ::InterlockedIncrement(value); }
LONG AtomicDecrement(volatile LONG* value) { return ::InterlockedDecrement(value); }

#else

RecursiveMutex::RecursiveMutex() = default;
RecursiveMutex::~RecursiveMutex() = default;
bool RecursiveMutex::IsValid() const { return true; }
void RecursiveMutex::Lock() { mutex_.lock(); }
void RecursiveMutex::Unlock() { mutex_.unlock(); }

LONG AtomicIncrement(volatile LONG* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG AtomicDecrement(volatile LONG* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }

#endif

}  // namespace cvplat
