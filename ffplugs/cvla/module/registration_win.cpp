#include "ffplugs/cvla/module/registration.h"

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/module/module_state.h"
#include "krn/platform/windows_handles.h"
#include "krn/results.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace cvla {

namespace {

constexpr char kFileFormatsKey[] = "Software\\Corvane\\File Formats 2";
constexpr char kEntryName[] = "Corvane Quartzline Audio File Format";
constexpr DWORD kAccessReadAndWrite = 0x30;  // a file type (0x10) and a renderer (0x20)
constexpr DWORD kStreamTypeAudio = 1;
constexpr unsigned kIconIndex = 0;

// The values of one file-format entry; the writer stores nothing else.
struct FileFormatEntry {
  const CLSID* classId;
  const char* name;
  DWORD access;
  DWORD streamType;
  DWORD beta;
  DWORD flags;
};

[[nodiscard]] HRESULT FromWin32(LONG error) {
  return error == ERROR_SUCCESS ? cv::kS_OK : cv::Code(0x80070000u | (static_cast<DWORD>(error) & 0xFFFF));
}

// The module's full path, or the error that kept it from us. A path cut to the
// buffer or an error the system left unnamed still count as failures.
[[nodiscard]] HRESULT ModulePath(std::string* path) {
  char buffer[MAX_PATH + 1] = {};
  ::SetLastError(ERROR_SUCCESS);
  DWORD length = ::GetModuleFileNameA(Module().module, buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    path->assign(buffer, length);
    return cv::kS_OK;
  }
  DWORD error = ::GetLastError();
  if (error == ERROR_SUCCESS) error = length ? ERROR_INSUFFICIENT_BUFFER : ERROR_GEN_FAILURE;
  return FromWin32(static_cast<LONG>(error));
}

LONG SetString(HKEY key, const char* name, const std::string& value) {
  return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
}

LONG SetNumber(HKEY key, const char* name, DWORD value) {
  return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void WriteShellAssociation(unsigned iconIndex) {
  cvplat::RegistryKey extension;
  if (::RegCreateKeyA(HKEY_CLASSES_ROOT, ".qla", extension.Receive()) != ERROR_SUCCESS) return;
  (void)SetString(extension.Get(), nullptr, "qlafile");
  (void)SetString(extension.Get(), "ContentType", "audio/qla");
  extension.Close();

  cvplat::RegistryKey fileType;
  if (::RegCreateKeyA(HKEY_CLASSES_ROOT, "qlafile", fileType.Receive()) != ERROR_SUCCESS) return;
  (void)SetString(fileType.Get(), nullptr, "Corvane Quartzline Audio");
  std::string modulePath;
  if (cv::Failed(ModulePath(&modulePath))) return;
  std::string icon = modulePath + "," + std::to_string(iconIndex);
  ::RegSetValueA(fileType.Get(), "DefaultIcon", REG_SZ, icon.c_str(), static_cast<DWORD>(icon.size()));
}

std::string EntryKeyPath(const CLSID& classId) {
  wchar_t guid[40] = {};
  ::StringFromGUID2(classId, guid, 40);
  char path[MAX_PATH] = {};
  std::snprintf(path, sizeof(path), "%s\\%ls", kFileFormatsKey, guid);
  return path;
}

[[nodiscard]] HRESULT WriteFileFormatEntry(const FileFormatEntry& entry) {
  cvplat::RegistryKey key;
  LONG error = ::RegCreateKeyA(HKEY_LOCAL_MACHINE, EntryKeyPath(*entry.classId).c_str(), key.Receive());
  if (error != ERROR_SUCCESS) return FromWin32(error);
  error = SetString(key.Get(), nullptr, entry.name);
  if (error != ERROR_SUCCESS) return FromWin32(error);
  std::string modulePath;
  HRESULT hr = ModulePath(&modulePath);
  if (cv::Failed(hr)) return hr;
  error = SetString(key.Get(), "Path", modulePath);
  if (error != ERROR_SUCCESS) return FromWin32(error);
  // The remaining values are advisory; their writes are not checked.
  if (entry.beta)
    (void)SetNumber(key.Get(), "BetaBuild", entry.beta);
  else
    ::RegDeleteValueA(key.Get(), "BetaBuild");
  (void)SetNumber(key.Get(), "Flags", entry.flags);
  (void)SetNumber(key.Get(), "Access", entry.access);
  (void)SetNumber(key.Get(), "StreamType", entry.streamType);
  return cv::kS_OK;
}

// Deletes a key and everything below it. False when something could not be
// deleted, which ends the walk instead of retrying the same subkey forever.
bool DeleteKeyTree(HKEY root, const std::string& path) {
  cvplat::RegistryKey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) return true;
  for (;;) {
    char subkey[256];
    DWORD length = sizeof(subkey);
    if (::RegEnumKeyExA(key.Get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (!DeleteKeyTree(key.Get(), subkey)) return false;
  }
  key.Close();
  return ::RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS;
}

[[nodiscard]] HRESULT RemoveKeyTree(HKEY root, const std::string& path) {
  // An empty path would name the root itself.
  if (path.empty()) return cv::kE_FAIL;
  (void)DeleteKeyTree(root, path);
  return cv::kS_OK;
}

}  // namespace

[[nodiscard]] HRESULT RegisterPlugIn() {
  WriteShellAssociation(kIconIndex);
  FileFormatEntry entry{&cv::CLSID_QuartzlinePlugIn, kEntryName, kAccessReadAndWrite, kStreamTypeAudio, 0, 0};
  return WriteFileFormatEntry(entry);
}

[[nodiscard]] HRESULT UnregisterPlugIn() {
  (void)RemoveKeyTree(HKEY_LOCAL_MACHINE, EntryKeyPath(cv::CLSID_QuartzlinePlugIn));
  return cv::kS_OK;
}

}  // namespace cvla
