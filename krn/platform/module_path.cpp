#include "krn/platform/module_path.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cvplat {

#ifdef _WIN32

std::string ModuleFileName(HMODULE module) {
  char path[MAX_PATH + 1] = {};
  DWORD n = ::GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(path, n);
}

std::string SharedHelpFolder() {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvane\\Shared Information", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::string();
  char value[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  DWORD type = 0;
  LONG rc = ::RegQueryValueExA(key, "HelpFolder", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
  value[MAX_PATH] = 0;
  return std::string(value);
}

bool FolderExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void* LoadPlugInExport(const std::string& modulePath, const char* exportName, HMODULE* module) {
  *module = nullptr;
  std::string folder = modulePath.substr(0, modulePath.find_last_of("\\/") + 1);
  char previous[MAX_PATH + 1] = {};
  DWORD hadPrevious = ::GetCurrentDirectoryA(MAX_PATH, previous);
  if (!folder.empty()) ::SetCurrentDirectoryA(folder.c_str());
  UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
  HMODULE loaded = ::LoadLibraryA(modulePath.c_str());
  ::SetErrorMode(oldMode);
  if (hadPrevious) ::SetCurrentDirectoryA(previous);
  if (!loaded) return nullptr;
  FARPROC address = ::GetProcAddress(loaded, exportName);
  if (!address) {
    ::FreeLibrary(loaded);
    return nullptr;
  }
  *module = loaded;
  return reinterpret_cast<void*>(address);
}

void FreePlugIn(HMODULE module) {
  if (module) ::FreeLibrary(module);
}

#else

void* LoadPlugInExport(const std::string&, const char*, HMODULE* module) {
  *module = nullptr;
  return nullptr;
}

void FreePlugIn(HMODULE) {}

std::string ModuleFileName(HMODULE) {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return std::string();
  return std::string(path, static_cast<size_t>(n));
}

std::string SharedHelpFolder() { return std::string(); }

bool FolderExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

#endif

}  // namespace cvplat
