#include "krn/platform/file.h"

#include <atomic>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <vector>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cvplat {

namespace {
bool WriteMustFail() { return FaultDue(FaultPoint::kWrite); }
bool SeekMustFail() { return FaultDue(FaultPoint::kSeek); }

// An operation failed by the test seam: sets the error number and passes the failure value on.
template <typename T>
T Injected(DWORD error, T failure) {
  SetLastErrorCode(error);
  return failure;
}
}  // namespace

// A position of all ones is valid in 64 bits; only the error tells a failure.
bool SeekFile(HANDLE file, uint64_t position) {
  LONG high = static_cast<LONG>(position >> 32);
  SetLastErrorCode(0);
  const DWORD low = SetFilePosition(file, static_cast<LONG>(static_cast<uint32_t>(position)), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && LastError() != 0);
}

bool FilePosition(HANDLE file, uint64_t* position) {
  LONG high = 0;
  SetLastErrorCode(0);
  const DWORD low = SetFilePosition(file, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && LastError() != 0) return false;
  *position = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
  return true;
}

#ifdef _WIN32

HANDLE CreateFileAnsi(const char* name, DWORD access, DWORD share, DWORD creation, DWORD flags) {
  if (FaultDue(FaultPoint::kOpen)) return Injected(5, INVALID_HANDLE_VALUE);  // ERROR_ACCESS_DENIED
  return ::CreateFileA(name, access, share, nullptr, creation, flags | FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL ReadFileBytes(HANDLE file, void* buffer, DWORD count, DWORD* read) {
  if (FaultDue(FaultPoint::kRead)) {
    if (read) *read = 0;
    return Injected(30, FALSE);  // ERROR_READ_FAULT
  }
  DWORD got = 0;
  BOOL ok = ::ReadFile(file, buffer, count, &got, nullptr);
  if (read) *read = got;
  return ok;
}

BOOL WriteFileBytes(HANDLE file, const void* buffer, DWORD count, DWORD* written) {
  if (WriteMustFail()) {
    if (written) *written = 0;
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  DWORD put = 0;
  BOOL ok = ::WriteFile(file, buffer, count, &put, nullptr);
  if (written) *written = put;
  return ok && put == count;
}

void StartWriteBack(HANDLE, uint64_t, uint64_t) {}

bool ReserveFileSpace(HANDLE, uint64_t) { return false; }

DWORD SetFilePosition(HANDLE file, LONG distance, LONG* high, DWORD method) {
  if (SeekMustFail()) {
    ::SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  return ::SetFilePointer(file, distance, high, method);
}

BOOL SetEndOfFileHere(HANDLE file) { return ::SetEndOfFile(file); }

BOOL GetLastWriteTime(HANDLE file, FILETIME* time) { return ::GetFileTime(file, nullptr, nullptr, time); }

BOOL CloseFile(HANDLE file) { return ::CloseHandle(file); }

BOOL DeleteFileAnsi(const char* name) { return ::DeleteFileA(name); }

bool GetFileSize64(HANDLE file, uint64_t* size) {
  if (FaultDue(FaultPoint::kSize)) return Injected(30, false);
  LARGE_INTEGER li;
  if (!::GetFileSizeEx(file, &li)) return false;
  *size = static_cast<uint64_t>(li.QuadPart);
  return true;
}

DWORD LastError() { return ::GetLastError(); }
void SetLastErrorCode(DWORD error) { ::SetLastError(error); }

#else  // POSIX

namespace {
thread_local DWORD t_lastError = 0;

int Fd(HANDLE h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }
HANDLE FromFd(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }

DWORD Win32ErrorFromErrno(int e) {
  switch (e) {
    case 0: return 0;
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EMFILE: return 4;
    case EACCES:
    case EPERM: return 5;
    case EEXIST: return 80;
    case ENOSPC: return 112;
    case EINVAL:
    case ENAMETOOLONG: return 123;
    default: return 31;
  }
}

void SetErrorFromErrno() { t_lastError = Win32ErrorFromErrno(errno); }

constexpr DWORD kErrorSharingViolation = 32;

// The handles open in this process with their access and sharing, by file
// (device and inode), for the Windows sharing rules.
class ShareTable {
 public:
  struct Entry {
    int fd;
    dev_t device;
    ino_t inode;
    DWORD access;
    DWORD share;
  };

  std::mutex& Mutex() { return mutex_; }

  // Whether a new open of the file with `access` and `share` agrees with
  // every handle already open on it: each side must share what the other
  // side's access asks for. Call with the mutex held.
  bool Allows(const struct stat& st, DWORD access, DWORD share) const {
    for (const Entry& e : entries_) {
      if (e.device != st.st_dev || e.inode != st.st_ino) continue;
      if (!Covers(e.share, access) || !Covers(share, e.access)) return false;
    }
    return true;
  }

  // Whether every handle open on the file shares deletion. Mutex held.
  bool AllowsDelete(const struct stat& st) const {
    for (const Entry& e : entries_)
      if (e.device == st.st_dev && e.inode == st.st_ino && (e.share & FILE_SHARE_DELETE) == 0) return false;
    return true;
  }

  void Add(const Entry& entry) { entries_.push_back(entry); }

  void Remove(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].fd != fd) continue;
      entries_[i] = entries_.back();
      entries_.pop_back();
      return;
    }
  }

 private:
  static bool Covers(DWORD share, DWORD access) {
    if ((access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
    if ((access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
    return true;
  }

  std::mutex mutex_;
  std::vector<Entry> entries_;
};

ShareTable& Shares() {
  static ShareTable* table = new ShareTable;  // never destroyed: handles may outlive static objects
  return *table;
}

// Windows tells a missing folder (3) from a missing file (2); POSIX does not.
bool ParentFolderExists(const char* name) {
  std::string path(name);
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;
  std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  struct stat st;
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

HANDLE CreateFileAnsi(const char* name, DWORD access, DWORD share, DWORD creation, DWORD /*flags*/) {
  if (FaultDue(FaultPoint::kOpen)) return Injected(5, INVALID_HANDLE_VALUE);  // ERROR_ACCESS_DENIED
  if (name == nullptr || name[0] == '\0') {
    t_lastError = 3;  // ERROR_PATH_NOT_FOUND, as Windows answers for an empty name
    return INVALID_HANDLE_VALUE;
  }
  int mode = 0;
  bool wantRead = (access & GENERIC_READ) != 0;
  bool wantWrite = (access & GENERIC_WRITE) != 0;
  if (wantRead && wantWrite) mode = O_RDWR;
  else if (wantWrite) mode = O_WRONLY;
  else mode = O_RDONLY;
  switch (creation) {
    case CREATE_NEW: mode |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: mode |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: mode |= O_CREAT; break;
    case TRUNCATE_EXISTING: mode |= O_TRUNC; break;
    default:
      t_lastError = 87;  // ERROR_INVALID_PARAMETER
      return INVALID_HANDLE_VALUE;
  }
  // The check and the open happen under the table's lock, so that a refused
  // open never truncates or creates the file.
  ShareTable& shares = Shares();
  std::lock_guard<std::mutex> lock(shares.Mutex());
  struct stat st;
  if (::stat(name, &st) == 0 && !S_ISDIR(st.st_mode) && !shares.Allows(st, access, share)) {
    t_lastError = kErrorSharingViolation;
    return INVALID_HANDLE_VALUE;
  }
  int fd = ::open(name, mode | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetErrorFromErrno();
    if (errno == ENOENT && !ParentFolderExists(name)) t_lastError = 3;  // ERROR_PATH_NOT_FOUND
    return INVALID_HANDLE_VALUE;
  }
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    t_lastError = 5;  // a folder cannot be opened as a file: access denied
    return INVALID_HANDLE_VALUE;
  }
  shares.Add({fd, st.st_dev, st.st_ino, access, share});
  t_lastError = 0;
  return FromFd(fd);
}

BOOL ReadFileBytes(HANDLE file, void* buffer, DWORD count, DWORD* read) {
  if (FaultDue(FaultPoint::kRead)) {
    if (read) *read = 0;
    return Injected(30, FALSE);  // ERROR_READ_FAULT
  }
  DWORD total = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (total < count) {
    ssize_t got = ::read(Fd(file), out + total, count - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      SetErrorFromErrno();
      if (read) *read = total;
      return FALSE;
    }
    if (got == 0) break;
    total += static_cast<DWORD>(got);
  }
  if (read) *read = total;
  return TRUE;
}

BOOL WriteFileBytes(HANDLE file, const void* buffer, DWORD count, DWORD* written) {
  if (WriteMustFail()) {
    if (written) *written = 0;
    t_lastError = 112;
    return FALSE;
  }
  DWORD total = 0;
  auto* in = static_cast<const uint8_t*>(buffer);
  while (total < count) {
    ssize_t put = ::write(Fd(file), in + total, count - total);
    if (put < 0) {
      if (errno == EINTR) continue;
      SetErrorFromErrno();
      if (written) *written = total;
      return FALSE;
    }
    total += static_cast<DWORD>(put);
  }
  if (written) *written = total;
  return TRUE;
}

void StartWriteBack(HANDLE file, uint64_t offset, uint64_t length) {
#ifdef __linux__
  // Only a request: a failure leaves the writing to the system, as before.
  static_cast<void>(::sync_file_range(Fd(file), static_cast<off64_t>(offset), static_cast<off64_t>(length),
                                      SYNC_FILE_RANGE_WRITE));
#else
  static_cast<void>(file);
  static_cast<void>(offset);
  static_cast<void>(length);
#endif
}

bool ReserveFileSpace(HANDLE file, uint64_t length) {
#ifdef __linux__
  // A failure (a file system without reservations, a full disk) leaves the
  // allocation to the writes, which report it themselves.
  return length && ::fallocate(Fd(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off64_t>(length)) == 0;
#else
  static_cast<void>(file);
  static_cast<void>(length);
  return false;
#endif
}

DWORD SetFilePosition(HANDLE file, LONG distance, LONG* high, DWORD method) {
  if (SeekMustFail()) {
    t_lastError = 131;  // ERROR_NEGATIVE_SEEK
    return INVALID_SET_FILE_POINTER;
  }
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  int64_t offset;
  if (high) {
    offset = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32) |
                                  static_cast<uint32_t>(distance));
  } else {
    offset = distance;  // without a high part the distance is a signed 32-bit value
  }
  off_t pos = ::lseek(Fd(file), static_cast<off_t>(offset), whence);
  if (pos < 0) {
    t_lastError = 131;  // ERROR_NEGATIVE_SEEK
    return INVALID_SET_FILE_POINTER;
  }
  if (high) *high = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
  t_lastError = 0;
  return static_cast<DWORD>(static_cast<uint64_t>(pos));
}

BOOL SetEndOfFileHere(HANDLE file) {
  off_t pos = ::lseek(Fd(file), 0, SEEK_CUR);
  if (pos < 0 || ::ftruncate(Fd(file), pos) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL GetLastWriteTime(HANDLE file, FILETIME* time) {
  struct stat st;
  if (::fstat(Fd(file), &st) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  // 100 ns units since 1601, as Windows counts them.
  uint64_t t = (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
               static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  time->dwLowDateTime = static_cast<DWORD>(t);
  time->dwHighDateTime = static_cast<DWORD>(t >> 32);
  return TRUE;
}

BOOL CloseFile(HANDLE file) {
  Shares().Remove(Fd(file));
  return ::close(Fd(file)) == 0;
}

BOOL DeleteFileAnsi(const char* name) {
  ShareTable& shares = Shares();
  std::lock_guard<std::mutex> lock(shares.Mutex());
  struct stat st;
  if (::stat(name, &st) == 0 && !shares.AllowsDelete(st)) {
    t_lastError = kErrorSharingViolation;
    return FALSE;
  }
  if (::unlink(name) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

bool GetFileSize64(HANDLE file, uint64_t* size) {
  if (FaultDue(FaultPoint::kSize)) return Injected(30, false);
  struct stat st;
  if (::fstat(Fd(file), &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

DWORD LastError() { return t_lastError; }
void SetLastErrorCode(DWORD error) { t_lastError = error; }

#endif

}  // namespace cvplat
