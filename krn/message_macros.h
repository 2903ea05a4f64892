// MessageMacroTable: the process-wide table of (name, value) texts that message
// texts refer to as "$(name)". Names compare without regard to case. The host
// fills it, for example "AppName" with the application's display name. The
// table carries its own lock; any thread may use it.
#pragma once

#include "krn/platform/win_types.h"

#include <cstddef>

namespace cv {

constexpr size_t kMaxMacroNameLength = 260;

// Sets (or with a null value removes) the macro `name`. E_INVALIDARG for a null
// or empty name, a name longer than kMaxMacroNameLength or one holding ")";
// E_OUTOFMEMORY when there is no memory.
[[nodiscard]] HRESULT SetMessageMacro(const char* name, const char* value);

// Removes every macro.
void ClearMessageMacros();

// Copies the value of the macro whose name is the `nameLength` characters at
// `name` into `buffer` (cut to `bufferSize`, terminated). Returns false, with
// nothing written, when the name is unknown; otherwise true and the value's
// full length in *valueLength.
bool LookUpMessageMacro(const char* name, size_t nameLength, char* buffer, size_t bufferSize,
                        size_t* valueLength);

}  // namespace cv
