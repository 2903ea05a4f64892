// The built-in message tables: result codes to message texts, operation
// contexts to titles, Win32 errors to result codes, and the ids of the message
// block that their texts occupy.
//
// Text references in the tables: 0 means no text, 1 .. 0xFFFF is a string id
// of the message block, any larger value is the address of the text itself.
#pragma once

#include "krn/platform/win_types.h"

#include <cstddef>
#include <cstdint>

namespace cv {

struct ResultMessageRow {
  uint32_t code;   // the HRESULT's bits
  uintptr_t text;  // text reference
};

struct ErrorTitleRow {
  uint32_t context;  // operation context number
  uintptr_t text;    // text reference; the title may hold one "%s"
};

struct Win32ErrorRow {
  uint32_t win32Error;
  uint32_t result;
};

// The built-in tables. Message texts of the block begin with "\n\n".
extern const ResultMessageRow* const ErrorMessageTable;
constexpr size_t kErrorMessageTableRows = 98;
extern const ErrorTitleRow* const ErrorTitleTable;
constexpr size_t kErrorTitleTableRows = 43;
extern const Win32ErrorRow* const Win32ErrorMap;
constexpr size_t kWin32ErrorMapRows = 18;

constexpr UINT kFirstTitleId = 4100;     // "An error occurred during the current operation."
constexpr UINT kMissingMessageId = 4316;  // "Error 0x%08x (message missing)"
constexpr size_t kComposedTextSize = 2048;
constexpr size_t kMaxMessageTables = 32;

}  // namespace cv
