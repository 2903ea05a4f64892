// The enumeration process's work, started through rundll32: enumerate the
// codecs, add every format tag to the registry cache, wake the waiting caller.
#include "ffplugs/cvla/acm/acm_list.h"

#include "krn/platform/windows_handles.h"

#include <new>
#include <vector>

namespace cvla {

namespace {

void WriteCache() {
  cvplat::RegistryKey key;
  if (::RegCreateKeyA(HKEY_LOCAL_MACHINE, kAcmCacheKey, key.Receive()) != ERROR_SUCCESS) return;
  std::vector<CVDRVFMT_DATAFMTS> list;
  try {
    list.resize(kFormatListCapacity);
  } catch (const std::bad_alloc&) {
    return;
  }
  uint32_t count = 0;
  (void)EnumerateFormats(&count, list.data());
  // A value per record, named after the tag: tag and driver id, 8 bytes.
  for (uint32_t i = 0; i < count; ++i)
    ::RegSetValueExA(key.Get(), list[i].name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&list[i].formatTag), 8);
}

}  // namespace

void RefreshCache(const char* eventName) {
  cvplat::KernelHandle event(eventName && *eventName ? ::CreateEventA(nullptr, TRUE, FALSE, eventName) : nullptr);
  WriteCache();
  if (event.Get()) ::SetEvent(event.Get());
}

}  // namespace cvla
