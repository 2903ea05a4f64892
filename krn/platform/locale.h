// The user's number formatting settings, as the text formatter uses them.
// Natively the settings of English (United States) apply.
#pragma once

#include <string>

namespace cvplat {

struct NumberFormatSettings {
  std::string thousandsSeparator;  // "," in English (United States)
  std::string decimalSeparator;    // "."
  int grouping;                    // digits per group, 3; 0 = no grouping
  std::string listSeparator;       // ","
};

// Read once per process and cached.
const NumberFormatSettings& UserNumberFormat();

}  // namespace cvplat
