#include "krn/platform/tool_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cvplat {

#ifdef _WIN32

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

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

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

#else

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }
void SetStdoutBinary() {}

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

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

#endif

unsigned ProcessorCount() {
  unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

}  // namespace cvplat
