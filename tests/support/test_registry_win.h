// Registry helpers for the Windows-only tests (files ending in _win.cpp): they
// run in a throw-away Wine prefix, so they may write anywhere.
#pragma once

#include "krn/platform/win_types.h"
#include "krn/platform/windows_handles.h"

#include <shlwapi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cvtest {

struct RegistryValue {
  bool found = false;
  DWORD type = 0;
  std::vector<uint8_t> data;
};

inline RegistryValue ReadRegistryValue(HKEY root, const std::string& key, const char* name) {
  RegistryValue value;
  cvplat::RegistryKey open;
  if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, open.Receive()) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (::RegQueryValueExA(open.Get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
  value.data.resize(size);
  value.found = ::RegQueryValueExA(open.Get(), name, nullptr, &value.type, value.data.data(), &size) == ERROR_SUCCESS;
  return value;
}

inline bool RegistryKeyExists(HKEY root, const std::string& key) {
  cvplat::RegistryKey open;
  return ::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, open.Receive()) == ERROR_SUCCESS;
}

inline void DeleteRegistryTree(HKEY root, const std::string& key) { ::SHDeleteKeyA(root, key.c_str()); }

inline bool SetRegistryValue(HKEY root, const std::string& key, const char* name, DWORD type, const void* data,
                             DWORD size) {
  cvplat::RegistryKey open;
  if (::RegCreateKeyA(root, key.c_str(), open.Receive()) != ERROR_SUCCESS) return false;
  return ::RegSetValueExA(open.Get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

// Runs a command line and returns its exit code; -1 when it could not start or
// did not end within the timeout (it is then terminated).
inline int RunProcess(const std::string& commandLine, DWORD timeoutMs) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  cvplat::KernelHandle processHandle(process.hProcess);
  cvplat::KernelHandle threadHandle(process.hThread);
  DWORD exitCode = 0;
  if (::WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 1);
    return -1;
  }
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  return static_cast<int>(exitCode);
}

}  // namespace cvtest
