// Numbered string resources of a module, read as ANSI text. Natively modules
// carry no resources: both readers always answer false.
#pragma once

#include "krn/platform/win_types.h"

#include <cstddef>

namespace cvplat {

// Reads string `id` of `module` in `language` (string block id / 16 + 1, entry
// id % 16), converted from UTF-16 to the ANSI code page, cut to `size` bytes and
// terminated. False when the module has no such string or it is empty.
[[nodiscard]] bool LoadStringResourceInLanguage(HMODULE module, LANGID language, UINT id, char* buffer, size_t size);

// Reads string `id` of `module` in the thread's language (LoadStringA). False
// when the module is null, has no such string or it is empty.
[[nodiscard]] bool LoadModuleStringResource(HMODULE module, UINT id, char* buffer, size_t size);

// True when `c` starts a double-byte character in the ANSI code page (never
// natively, where the code page is Windows-1252).
bool IsAnsiLeadByte(unsigned char c);

}  // namespace cvplat
