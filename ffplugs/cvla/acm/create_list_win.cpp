// The list the host asks for: read from the registry cache, refreshed by an
// enumeration process that runs this module's _CvAcm_Grovel@16 through
// rundll32, or enumerated in the calling process.
#include "ffplugs/cvla/acm/acm_list.h"

#include "ffplugs/cvla/module/module_state.h"
#include "krn/platform/module_path.h"
#include "krn/platform/windows_handles.h"

#include <cstring>
#include <string>
#include <vector>

namespace cvla {

namespace {

constexpr DWORD kWaitWithEvent = 30000;
constexpr DWORD kWaitForProcess = 5000;

// Reads cache value after value straight into the records, up to the first
// that does not fit one (a name of 128 characters or more, data over 8 bytes)
// or a full list. Values shorter than 8 bytes leave the rest zero. Returns
// false when the cache is missing or empty; the list and count then stay.
bool ReadCache(uint32_t* count, CVDRVFMT_DATAFMTS* list) {
  cvplat::RegistryKey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAcmCacheKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
  uint32_t read = 0;
  for (; read < kFormatListCapacity; ++read) {
    CVDRVFMT_DATAFMTS& record = list[read];
    DWORD nameLength = sizeof(record.name);
    DWORD dataLength = 8;
    record.formatTag = 0;
    record.driverId = 0;
    if (::RegEnumValueA(key.Get(), read, record.name, &nameLength, nullptr, nullptr,
                        reinterpret_cast<BYTE*>(&record.formatTag), &dataLength) != ERROR_SUCCESS)
      break;
  }
  if (read == 0) return false;
  *count = read;
  return true;
}

// Starts the enumeration process and waits until it signals the shared event
// or ends (at most 30 s), or without an event until it ends (at most 5 s). A
// process that hangs is left running. False when it could not be started.
bool RunEnumerationProcess() {
  cvplat::KernelHandle event(::CreateEventA(nullptr, TRUE, FALSE, kAcmEventName));
  // The event is opened, not created, while an earlier enumeration process
  // still holds it, and may then be signalled already: the wait would end
  // before this enumeration wrote anything.
  if (event.Get()) ::ResetEvent(event.Get());

  std::string modulePath = cvplat::ModuleFileName(Module().module);
  if (modulePath.empty()) return false;
  std::string commandLine = GrovelCommandLine(modulePath, kAcmEventName);
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back(0);
  std::string folder = ModuleFolder(modulePath);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return false;
  cvplat::KernelHandle processHandle(process.hProcess);
  cvplat::KernelHandle threadHandle(process.hThread);
  if (event.Get()) {
    HANDLE waitFor[2] = {event.Get(), process.hProcess};
    ::WaitForMultipleObjects(2, waitFor, FALSE, kWaitWithEvent);
  } else {
    ::WaitForSingleObject(process.hProcess, kWaitForProcess);
  }
  return true;
}

}  // namespace

uint32_t CreateFormatList(uint32_t* count, CVDRVFMT_DATAFMTS* list, uint32_t flags) {
  if (!count || !list) return MMSYSERR_INVALPARAM;
  uint32_t status = kAcmListNothingRead;
  if (!(flags & kAcmListNoCacheRead) && ReadCache(count, list)) status = kAcmListProduced;
  // When the enumeration process cannot start, the first read stands.
  if (!(flags & kAcmListNoRefresh) && RunEnumerationProcess() && ReadCache(count, list)) status = kAcmListProduced;
  if ((flags & kAcmListNoCacheRead) && (flags & kAcmListInProcess)) status = EnumerateFormats(count, list);
  return status;
}

}  // namespace cvla
