#include "krn/platform/string_resources.h"

namespace cvplat {

#ifdef _WIN32

namespace {
// A string block holds 16 entries, each a WORD length followed by that many
// UTF-16 units.
const WCHAR* FindBlockEntry(const WCHAR* block, size_t blockUnits, UINT entry, size_t* length) {
  size_t pos = 0;
  for (UINT i = 0; i < 16; ++i) {
    if (pos >= blockUnits) return nullptr;
    const size_t n = block[pos];
    if (pos + 1 + n > blockUnits) return nullptr;
    if (i == entry) {
      *length = n;
      return block + pos + 1;
    }
    pos += 1 + n;
  }
  return nullptr;
}
}  // namespace

bool LoadStringResourceInLanguage(HMODULE module, LANGID language, UINT id, char* buffer, size_t size) {
  if (!module || !buffer || size == 0) return false;
  buffer[0] = '\0';
  HRSRC info = ::FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_STRING),
                                 MAKEINTRESOURCEA(id / 16 + 1), language);
  if (!info) return false;
  HGLOBAL loaded = ::LoadResource(module, info);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return false;
  const size_t units = ::SizeofResource(module, info) / sizeof(WCHAR);
  size_t length = 0;
  const WCHAR* text = FindBlockEntry(static_cast<const WCHAR*>(data), units, id % 16, &length);
  if (!text || length == 0) return false;
  const int written = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), buffer,
                                            static_cast<int>(size - 1), nullptr, nullptr);
  if (written <= 0) {
    buffer[0] = '\0';
    return false;
  }
  buffer[written] = '\0';
  return true;
}

bool LoadModuleStringResource(HMODULE module, UINT id, char* buffer, size_t size) {
  if (!module || !buffer || size == 0) return false;
  buffer[0] = '\0';
  return ::LoadStringA(module, id, buffer, static_cast<int>(size)) > 0;
}

bool IsAnsiLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

#else

bool LoadStringResourceInLanguage(HMODULE, LANGID, UINT, char* buffer, size_t size) {
  if (buffer && size) buffer[0] = '\0';
  return false;
}

bool LoadModuleStringResource(HMODULE, UINT, char* buffer, size_t size) {
  if (buffer && size) buffer[0] = '\0';
  return false;
}

bool IsAnsiLeadByte(unsigned char) { return false; }

#endif

}  // namespace cvplat
