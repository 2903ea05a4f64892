// The built-in texts of the message block (internal to the message services).
#pragma once

#include "krn/platform/win_types.h"

namespace cv {

// The message block's texts, kMessageBlockCount entries for the ids from
// kMessageBlockFirstId; null entries have no built-in text.
const char* const* MessageBlockTexts();

}  // namespace cv
