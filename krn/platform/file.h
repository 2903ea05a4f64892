// Files with the Win32 semantics the plug-in relies on: access, sharing and
// creation modes, reads that return the count, 32-bit seeks, truncation and the
// last-write time. Natively they sit on POSIX descriptors, and the sharing
// rules are enforced among the handles of this process as Windows enforces
// them, so that a sharing mistake fails in the native build too.
#pragma once

#include "krn/platform/fault_injection.h"
#include "krn/platform/win_types.h"

#include <string>

#ifndef _WIN32
// The Win32 constants, with their Windows values, for the native build.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD FILE_SHARE_WRITE = 2;
constexpr DWORD FILE_SHARE_DELETE = 4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000u;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
#endif

namespace cvplat {


// Creates or opens a file by its ANSI name; INVALID_HANDLE_VALUE on failure
// (LastError() then tells why, as a Win32 error number). An open whose access
// or sharing conflicts with a handle already open on the file fails with
// ERROR_SHARING_VIOLATION (32) and leaves the file untouched.
HANDLE CreateFileAnsi(const char* name, DWORD access, DWORD share, DWORD creation, DWORD flags);
// Reads up to count bytes; *read receives what was read (0 at the end of the file).
[[nodiscard]] BOOL ReadFileBytes(HANDLE file, void* buffer, DWORD count, DWORD* read);
// Writes count bytes; fails as a whole if not all could be written.
[[nodiscard]] BOOL WriteFileBytes(HANDLE file, const void* buffer, DWORD count, DWORD* written);
// Asks the system to start writing `length` bytes of the file's data from
// `offset` on to the disk, without waiting for it: a file replaced or closed
// later then has little left to write. Does nothing where the system writes
// back on its own terms.
void StartWriteBack(HANDLE file, uint64_t offset, uint64_t length);
// Asks the system to set aside disk space for the first `length` bytes of a
// file about to be written front to back, without changing its size: the
// writes then land in space already allocated, which costs the system less per
// page than allocating as it goes. Only a request: true when the space was set
// aside, false where the system refused or offers no such thing.
bool ReserveFileSpace(HANDLE file, uint64_t length);

// Asks for the write-back of a file written front to back in stretches of
// 4 MB: the disk takes each stretch while the next is produced, rather than all
// of them when the finished file is closed or put in place.
class WriteBackPacer {
 public:
  // total: the bytes written to the file so far.
  void Written(HANDLE file, uint64_t total) {
    if (total - requested_ < kStretchBytes) return;
    StartWriteBack(file, requested_, total - requested_);
    requested_ = total;
  }

 private:
  static constexpr uint64_t kStretchBytes = 4u << 20;
  uint64_t requested_ = 0;  // bytes the disk was asked to take
};
// Moves the position like SetFilePointer: returns the low 32 bits of the new
// position, or INVALID_SET_FILE_POINTER on failure. high may be null.
[[nodiscard]] DWORD SetFilePosition(HANDLE file, LONG distance, LONG* high, DWORD method);
// Moves to `position` from the start of the file; false when the seek fails
// (the error is then LastError()).
[[nodiscard]] bool SeekFile(HANDLE file, uint64_t position);
// The current position from the start of the file; false when it cannot be had.
[[nodiscard]] bool FilePosition(HANDLE file, uint64_t* position);
[[nodiscard]] BOOL SetEndOfFileHere(HANDLE file);
[[nodiscard]] BOOL GetLastWriteTime(HANDLE file, FILETIME* time);
BOOL CloseFile(HANDLE file);
// Fails with ERROR_SHARING_VIOLATION while a handle without FILE_SHARE_DELETE
// is open on the file.
BOOL DeleteFileAnsi(const char* name);
// The size of an open file in bytes (64 bits).
[[nodiscard]] bool GetFileSize64(HANDLE file, uint64_t* size);

// The last OS error as a Win32 error number (natively mapped from errno).
DWORD LastError();
void SetLastErrorCode(DWORD error);

// Test seams (see fault_injection.h): the n-th following write fails as if the
// disk were full, the n-th following SetFilePosition with ERROR_NEGATIVE_SEEK.
inline void FailWriteAfter(int n) { FailNth(FaultPoint::kWrite, n); }
inline void FailSeekAfter(int n) { FailNth(FaultPoint::kSeek, n); }

// Owns a file handle and closes it.
class UniqueFile {
 public:
  UniqueFile() = default;
  explicit UniqueFile(HANDLE h) : handle_(h) {}
  ~UniqueFile() { Reset(); }
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  UniqueFile(UniqueFile&& other) noexcept : handle_(other.Release()) {}
  UniqueFile& operator=(UniqueFile&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  HANDLE Get() const { return handle_; }
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Release() {
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (IsValid()) CloseFile(handle_);
    handle_ = h;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace cvplat
