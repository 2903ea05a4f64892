// The one-sample-per-step converters behind GetConverter, for every pair of
// sample layouts in the conversion matrix.
#pragma once

#include "krn/sample_format.h"

#include <cstdint>

namespace cv {

// Truncates toward zero like the processor's conversion to a 32-bit integer:
// a value outside the int32 range, or NaN, gives -2147483648.
int32_t TruncateToInt32(double value);

// The plain converter for a pair, or null when the matrix has no entry.
SampleConverter PlainConverter(SampleFormatId dst, SampleFormatId src);

}  // namespace cv
