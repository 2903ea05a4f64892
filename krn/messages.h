// Result messages: the message text of a result code, the title of an operation
// context, their composition into one error text, run-time message tables and
// the mapping of Win32 error numbers to result codes.
//
// Text references in the tables: 0 means no text, 1 .. 0xFFFF is a string id
// of the message block (looked up with CvGetString2 in the process-wide string
// table), any larger value is the address of the text itself.
#pragma once

#include "krn/message_tables.h"
#include "krn/platform/win_types.h"

#include <cstddef>
#include <cstdint>

namespace cv {

// The result code for a Win32 error number: the row of Win32ErrorMap, E_FAIL for
// any number without one.
[[nodiscard]] HRESULT ResultFromWin32Error(DWORD win32Error);

// The message text of a result code, looked up in the registered tables (in
// registration order) and then in ErrorMessageTable; the first row with the
// code decides. Null when no row has the code or the row has no (or an empty)
// text.
const char* GetResultMessage(HRESULT code);

// The title of an operation context. A context above 0xFFFF is itself the
// title's address (hence uintptr_t). A context without a row gets the title of
// context 0.
const char* GetErrorTitle(uintptr_t context);

// Composes the title (with `argument`, or "" when null, for its "%s") and the
// message of `code` (or "Error 0x<code> (message missing)") into a buffer of
// kComposedTextSize bytes that belongs to the calling thread and is overwritten
// by its next composition. A title that fills the buffer gets no message.
const char* ComposeErrorText(uintptr_t context, HRESULT code, const char* argument);

// Registers a further table of `count` rows, searched before the built-in one.
// The rows must stay valid for the life of the process. Returns 0; 1, changing
// nothing, when kMaxMessageTables tables are registered already or the table
// is empty.
int AddResultMessageTable(const ResultMessageRow* rows, size_t count);

// Test seam: forgets every registered table. Not for use while other threads
// look up messages.
void ClearResultMessageTablesForTest();

}  // namespace cv
