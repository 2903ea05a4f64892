// A mutex that its owner may re-enter (a Win32 mutex on Windows) and
// interlocked counters.
#pragma once

#include "krn/platform/win_types.h"

#ifndef _WIN32
#include <mutex>
#endif

namespace cvplat {

class RecursiveMutex {
 public:
  RecursiveMutex();
  ~RecursiveMutex();
  RecursiveMutex(const RecursiveMutex&) = delete;
  RecursiveMutex& operator=(const RecursiveMutex&) = delete;
  bool IsValid() const;
  void Lock();  // waits without timeout
  void Unlock();

 private:
#ifdef _WIN32
  HANDLE handle_;
#else
  std::recursive_mutex mutex_;
#endif
};

class MutexLock {
 public:
  explicit MutexLock(RecursiveMutex& m) : mutex_(m) { mutex_.Lock(); }
  ~MutexLock() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  RecursiveMutex& mutex_;
};

}  // namespace cvplat
