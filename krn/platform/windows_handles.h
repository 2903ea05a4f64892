// Owners of Windows handles that close them when they go: registry keys and
// kernel objects (events, processes, threads). Windows only: the code that
// uses them is built for Windows alone.
#pragma once

#include "krn/platform/win_types.h"

#ifdef _WIN32

namespace cvplat {

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  // Closes any key held and hands out the slot for a call that opens one.
  HKEY* Receive() {
    Close();
    return &key_;
  }
  void Close() {
    if (key_) ::RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// A kernel object handle (null for none).
class KernelHandle {
 public:
  explicit KernelHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~KernelHandle() {
    if (handle_) ::CloseHandle(handle_);
  }
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace cvplat

#endif  // _WIN32
