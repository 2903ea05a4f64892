// Logarithms computed in plain IEEE double arithmetic, so that the encoder's
// parameter choices (and therefore the bytes of every file) are the same in the
// native and the 32-bit Windows build, whose C libraries' log() differ.
#pragma once

#include <cstdint>

namespace qla {

// Natural logarithm, computed to about 100 bits and rounded once, so it is
// correctly rounded but for rare cases and always within one ulp.
// log(0) = -infinity, log(negative or NaN) = NaN, log(+infinity) = +infinity.
double ExactLog(double x);

// Bits needed to hold the magnitude maxAbs plus a sign:
// trunc(ceil(ln(maxAbs) * log2(e)) + 1.0). A magnitude of 0 counts as 1.
int32_t BitsForMagnitude(int32_t maxAbs);

// Rice parameter for n residuals whose absolute values add up to cost:
// 1 when cost < n, else trunc(log2(cost * ln2 / n) + 1.5), at least 1.
int32_t RiceParameterForCost(int32_t cost, int32_t n);

}  // namespace qla
