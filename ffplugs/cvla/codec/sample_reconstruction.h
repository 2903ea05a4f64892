// The decoder's stages after the residuals: undoing the LPC stage and the fixed
// polynomial predictor, undoing the mid/side split, and packing PCM. All sample
// arithmetic wraps in 32 bits.
#pragma once

#include "ffplugs/cvla/qla_format.h"

#include <cstdint>

namespace qla {

// Sign-and-magnitude coefficient byte: bit 7 negative, bits 0 to 6 the magnitude.
inline int32_t LpcCoefficient(uint8_t b) {
  const int32_t magnitude = b & 0x7F;
  return (b & 0x80) ? -magnitude : magnitude;
}

// Undoes the LPC stage in place: from index 4 on, each value loses the
// prediction (>> 5) from the four values before it, which are already restored.
void UndoLpc(const uint8_t coef[kLpcOrder], int32_t* values, uint32_t count);

// Integrates the p-th differences in place, starting from history and leaving
// the last four values in it. False for an order above 4 (nothing changed).
bool UndoFixedPredictor(uint32_t order, PredictorHistory& history, int32_t* values, uint32_t count);

// Left and right from mid (rounded half away from zero) and side = left - right.
struct StereoPair {
  int32_t left, right;
};
StereoPair MidSideToLeftRight(int32_t mid, int32_t side);

// Interleaves one or two channels into little-endian PCM. 16-bit keeps the low
// 16 bits of each value; 24-bit clamps to -8388608..8388607 first.
// With midSide (two channels only) the channels are mid and side.
void WritePcm16(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                uint8_t* out);
void WritePcm24(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                uint8_t* out);

}  // namespace qla
