// The built-in texts of the message block (internal to the message services).
#pragma once

#include "krn/platform/win_types.h"

namespace cv {

// The message block: messages from 4000, titles from 4100, the missing-message
// text at 4316.
constexpr UINT kMessageBlockFirstId = 4000;
constexpr UINT kMessageBlockCount = 357;

// The message block's texts, kMessageBlockCount entries for the ids from
// kMessageBlockFirstId; null entries have no built-in text.
const char* const* MessageBlockTexts();

}  // namespace cv
