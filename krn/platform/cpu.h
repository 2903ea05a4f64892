// The processor type as GetSystemInfo reports it (386, 486, 586, 8664, ...).
#pragma once

#include "krn/platform/win_types.h"

namespace cvplat {

DWORD ProcessorType();

}  // namespace cvplat
