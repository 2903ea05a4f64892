// Win32ErrorMap: the Win32 error numbers that map to something other than
// E_FAIL.
#include "krn/messages.h"
#include "krn/results.h"

namespace cv {

namespace {
constexpr Win32ErrorRow kWin32Rows[kWin32ErrorMapRows] = {
    {0, 0},              // ERROR_SUCCESS
    {1, 0x80070057},     // ERROR_INVALID_FUNCTION
    {2, 0x8004E00A},     // ERROR_FILE_NOT_FOUND
    {3, 0x8004E00A},     // ERROR_PATH_NOT_FOUND
    {4, 0x8004E026},     // ERROR_TOO_MANY_OPEN_FILES
    {6, 0x80070006},     // ERROR_INVALID_HANDLE
    {14, 0x8007000E},    // ERROR_OUTOFMEMORY
    {15, 0x800404B0},    // ERROR_INVALID_DRIVE
    {39, 0x8004E002},    // ERROR_HANDLE_DISK_FULL
    {80, 0x8004E032},    // ERROR_FILE_EXISTS
    {84, 0x8007000E},    // ERROR_OUT_OF_STRUCTURES
    {110, 0x8004E007},   // ERROR_OPEN_FAILED
    {112, 0x8004E002},   // ERROR_DISK_FULL
    {120, 0x80004001},   // ERROR_CALL_NOT_IMPLEMENTED
    {123, 0x8004E00D},   // ERROR_INVALID_NAME
    {126, 0x8004E00A},   // ERROR_MOD_NOT_FOUND
    {127, 0x8004E00A},   // ERROR_PROC_NOT_FOUND
    {170, 0x8004E005},   // ERROR_BUSY
};
}  // namespace

const Win32ErrorRow* const Win32ErrorMap = kWin32Rows;

[[nodiscard]] HRESULT ResultFromWin32Error(DWORD win32Error) {
  for (const Win32ErrorRow& row : kWin32Rows)
    if (row.win32Error == win32Error) return Code(row.result);
  return kE_FAIL;
}

}  // namespace cv
