#include "krn/platform/tool_io.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cvplat {

#ifdef _WIN32

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }
UniqueFile CreateScratchFile() {
  char folder[MAX_PATH + 1] = {};
  char name[MAX_PATH + 1] = {};
  if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "qla", 0, name)) return UniqueFile();
  return UniqueFile(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

bool CopyStandardInput(HANDLE file) {
  _setmode(_fileno(stdin), _O_BINARY);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    size_t n = std::fread(buffer.data(), 1, buffer.size(), stdin);
    DWORD written = 0;
    if (n && (!WriteFile(file, buffer.data(), static_cast<DWORD>(n), &written, nullptr) || written != n)) return false;
    if (n < buffer.size()) return !std::ferror(stdin);
  }
}

unsigned TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
  return static_cast<unsigned>(info.srWindow.Right - info.srWindow.Left + 1);
}

static std::string SystemErrorText(DWORD error) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                           sizeof(buffer), nullptr);
  while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == ' ')) buffer[--n] = 0;
  return n ? std::string(buffer, n) : "error " + std::to_string(error);
}

bool MoveFileInto(const std::string& from, const std::string& to, bool replace, std::string* error) {
  DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
  if (MoveFileExA(from.c_str(), to.c_str(), flags)) return true;
  if (error) *error = SystemErrorText(GetLastError());
  return false;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string LastErrorText() { return SystemErrorText(GetLastError()); }

PathKind KindOfPath(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)
             ? PathKind::kOther
             : PathKind::kRegularFile;
}

static bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BOOL ok = GetFileInformationByHandle(h, info);
  CloseHandle(h);
  return ok != 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return FileIdentity(a, &x) && FileIdentity(b, &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

void CopyModeAndTime(const std::string& from, const std::string& to) {
  HANDLE source = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (source == INVALID_HANDLE_VALUE) return;
  FILETIME written;
  BOOL ok = GetFileTime(source, nullptr, nullptr, &written);
  CloseHandle(source);
  HANDLE target = CreateFileA(to.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (target == INVALID_HANDLE_VALUE) return;
  if (ok) SetFileTime(target, nullptr, nullptr, &written);
  CloseHandle(target);
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

#else

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }
void SetStdoutBinary() {}
UniqueFile CreateScratchFile() {
  const char* folder = std::getenv("TMPDIR");
  std::string name = std::string(folder && *folder ? folder : "/tmp") + "/qla-XXXXXX";
  int fd = mkstemp(&name[0]);
  if (fd < 0) return UniqueFile();
  unlink(name.c_str());
  return UniqueFile(reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)));
}

bool CopyStandardInput(HANDLE file) {
  const int out = static_cast<int>(reinterpret_cast<intptr_t>(file));
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;
    for (ssize_t done = 0; done < n;) {
      ssize_t put = write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
}

unsigned TerminalColumns() {
  struct winsize size;
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

bool MoveFileInto(const std::string& from, const std::string& to, bool replace, std::string* error) {
  if (replace) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  } else {
    // A hard link fails with EEXIST when the target exists, so nothing is
    // overwritten even if the target appeared after our own check.
    if (link(from.c_str(), to.c_str()) == 0) {
      unlink(from.c_str());
      return true;
    }
    // File systems without hard links: check, then rename.
    if ((errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP) && !PathExists(to)) {
      if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    }
  }
  if (error) *error = std::strerror(errno);
  return false;
}

bool PathExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::string LastErrorText() { return std::strerror(errno); }

PathKind KindOfPath(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return PathKind::kMissing;
  return S_ISREG(info.st_mode) ? PathKind::kRegularFile : PathKind::kOther;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

void CopyModeAndTime(const std::string& from, const std::string& to) {
  struct stat info;
  if (stat(from.c_str(), &info) != 0) return;
  (void)chmod(to.c_str(), info.st_mode & 07777);
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  (void)utimensat(AT_FDCWD, to.c_str(), times, 0);
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

#endif

void InstallStopSignals(void (*handler)(int)) {
  std::signal(SIGINT, handler);
  std::signal(SIGTERM, handler);
#ifdef _WIN32
  std::signal(SIGBREAK, handler);
#else
  std::signal(SIGHUP, handler);
  std::signal(SIGPIPE, handler);
#endif
}

void RestoreSignal(int signal) { std::signal(signal, SIG_DFL); }

bool IsBrokenPipeSignal(int signal) {
#ifdef _WIN32
  (void)signal;
  return false;
#else
  return signal == SIGPIPE;
#endif
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
#ifdef _WIN32
    case SIGBREAK: return "SIGBREAK";
#else
    case SIGHUP: return "SIGHUP";
    case SIGPIPE: return "SIGPIPE";
#endif
    default: return "a signal";
  }
}

unsigned ProcessorCount() {
  unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

}  // namespace cvplat
