// Showing an error to the user: the composed text of (context, code, argument)
// goes to the installed message hook or, without one, to a message box.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>

namespace cv {

// Receives the text to show; answers -1 to let the message box show it after
// all, or any other value, which ShowErrorMessage returns.
using ErrorMessageHook = int (*)(HWND owner, UINT flags, const char* text);

// Installs the process-wide hook (null removes it); returns the previous one.
ErrorMessageHook SetErrorMessageHook(ErrorMessageHook hook);

// Sets the details text of the calling thread's next ShowErrorMessage (null:
// none). The hook receives it after the message between the markers
// "/r/n-----DETAILS START-----/r/n" and "/r/n-----DETAILS END-----".
void SetErrorMessageDetails(const char* details);

// Composes the error text (see ComposeErrorText), prefixed with "Warning: "
// when asWarning is set, and shows it. CVERR_CANCELLED is never shown: the
// answer is 1 at once. Returns the hook's or the message box's answer.
int ShowErrorMessage(HWND owner, UINT flags, uintptr_t context, HRESULT code, const char* argument,
                     BOOL asWarning);

}  // namespace cv
