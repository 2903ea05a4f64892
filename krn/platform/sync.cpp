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

#else

RecursiveMutex::RecursiveMutex() = default;
RecursiveMutex::~RecursiveMutex() = default;
bool RecursiveMutex::IsValid() const { return true; }
void RecursiveMutex::Lock() { mutex_.lock(); }
void RecursiveMutex::Unlock() { mutex_.unlock(); }

#endif

}  // namespace cvplat
