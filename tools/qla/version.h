#pragma once

namespace qlatool {
constexpr const char* kVersion = "1.0.0";
}
