// The shared services of the process: the process-wide string table with the
// message block (ids 4000 .. 4356: messages from 4000, titles from 4100, the
// missing-message text at 4316). The module starts them when it is loaded and
// stops them when it is unloaded.
#pragma once

#include "krn/message_texts.h"
#include "krn/platform/win_types.h"
#include "krn/string_table.h"

namespace cv {

// Creates the process-wide string table bound to `module` (nullptr natively)
// with the message block. S_FALSE when it exists already; E_OUTOFMEMORY.
[[nodiscard]] HRESULT StartSharedServices(HMODULE module);

// Destroys the process-wide string table and its cached texts.
void StopSharedServices();

// The process-wide string table, or null when the services are not started.
StringTable* ProcessStringTable();

// A text of the process-wide table; while the services are not started, the
// built-in text of the message block ("" for an entry without one) or, for an
// id outside the block, the diagnostic of CvGetString2.
const char* SharedString(UINT id);

}  // namespace cv
