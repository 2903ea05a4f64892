// The texts and values that describe a reader's stream to the host.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>
#include <string>

namespace cvla {

constexpr uint32_t kStreamTextName = 1;
constexpr uint32_t kStreamTextFormat = 2;
constexpr uint32_t kStreamTextBitRate = 3;
constexpr uint32_t kStreamValueBitRate = 2;
constexpr size_t kStreamTextMax = 260;

// The ANSI text of a kind for a PCM format; *result is S_OK, or S_FALSE for the
// bit rate and for unknown kinds (whose text is empty).
std::string StreamText(uint32_t kind, const WAVEFORMATEX& format, HRESULT* result);

}  // namespace cvla
