// The INFO text fields that correspond to the host's summary fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cv {

struct InfoField {
  uint32_t id;      // four-character id, as FourCC("INAM")
  int fieldNumber;  // the host's summary field number
};

// The 24 ids with a summary field, numbered in alphabetical order of the ids
// with "DISP" last.
constexpr size_t kInfoFieldCount = 24;
extern const InfoField InfoFieldTable[kInfoFieldCount];

// The 27 ids asked for, in this order, when an INFO record list is built from
// the host's summary fields. Five of them have no summary field.
constexpr size_t kInfoEnumerationCount = 27;
extern const uint32_t InfoEnumerationOrder[kInfoEnumerationCount];

// The summary field number of an INFO id, or -1 when it has none.
int InfoFieldNumber(uint32_t id);

}  // namespace cv
