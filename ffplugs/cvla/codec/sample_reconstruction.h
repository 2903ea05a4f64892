// The decoder's stages after the residuals: undoing the LPC stage and the fixed
// polynomial predictor, undoing the mid/side split, and packing PCM. All sample
// arithmetic wraps in 32 bits.
#pragma once

#include "ffplugs/cvla/qla_format.h"
#include "krn/md5_steps.h"

#include <cstdint>

namespace qla {

// Sign-and-magnitude coefficient byte: bit 7 negative, bits 0 to 6 the magnitude.
inline int32_t LpcCoefficient(uint8_t b) {
  const int32_t magnitude = b & 0x7F;
  return (b & 0x80) ? -magnitude : magnitude;
}

// Turns a channel's residuals back into its coded signal, in place: first the
// LPC stage is undone (lpcCoef non-null: from index 4 on, each value loses the
// prediction (>> 5) from the four values before it, already restored), then
// the p-th differences are integrated from history, which is left holding the
// last four values. Both run in one pass. False for an order above 4 (nothing
// changed). With a digest run, blocks of it are hashed between the values,
// digestStepsPerValue (1 or 2) of a block's 64 steps after each value, while
// the run has blocks: the two chains of work are independent, so the hashing
// costs little more than the reconstruction.
bool ReconstructChannel(uint32_t order, const uint8_t* lpcCoef, PredictorHistory& history, int32_t* values,
                        uint32_t count, cv::Md5BlockRun* digest = nullptr, uint32_t digestStepsPerValue = 2);

struct StereoPair {
  int32_t left, right;
};

// x / 2 (x read as signed) rounded toward zero: a negative odd x gets one added
// before the arithmetic shift.
inline uint32_t HalfTowardZero(uint32_t x) {
  const uint32_t t = x + (x >> 31);
  return (t >> 1) | (t & 0x80000000u);
}
// What x / 2 rounded away from zero adds to HalfTowardZero(x): +1 or -1 for odd x, else 0.
inline uint32_t AwayStep(uint32_t x) {
  const uint32_t sign = 0u - (x >> 31);  // all ones when negative
  return (sign | 1u) & (0u - (x & 1u));
}

// Left and right from mid (rounded half away from zero) and side = left - right.
inline StereoPair MidSideToLeftRight(int32_t mid, int32_t side) {
  // a = 2m + s = 2L (+-1), b = 2m - s = 2R (+-1). When a and b have strictly
  // opposite signs one of them is rounded away from zero: b when m and s share
  // their sign, else a. Written without branches: real audio makes these
  // conditions unpredictable.
  const uint32_t a = 2 * static_cast<uint32_t>(mid) + static_cast<uint32_t>(side);
  const uint32_t b = 2 * static_cast<uint32_t>(mid) - static_cast<uint32_t>(side);
  const int32_t sa = static_cast<int32_t>(a), sb = static_cast<int32_t>(b);
  const bool opposite = ((sa > 0) & (sb < 0)) | ((sa < 0) & (sb > 0));
  const bool sameSign = ((mid > 0) & (side > 0)) | ((mid < 0) & (side < 0));
  const uint32_t awayA = 0u - static_cast<uint32_t>(opposite & !sameSign);
  const uint32_t awayB = 0u - static_cast<uint32_t>(opposite & sameSign);
  return {static_cast<int32_t>(HalfTowardZero(a) + (AwayStep(a) & awayA)),
          static_cast<int32_t>(HalfTowardZero(b) + (AwayStep(b) & awayB))};
}

// Interleaves one or two channels into little-endian PCM. 16-bit keeps the low
// 16 bits of each value; 24-bit clamps to -8388608..8388607 first.
// With midSide (two channels only) the channels are mid and side.
void WritePcm16(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                uint8_t* out);
// A 24-bit block's values hide only two thirds of the digest blocks of the
// block before it (see ReconstructChannel); with a digest run the packing
// hashes further blocks of it, one per 64 samples.
void WritePcm24(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                uint8_t* out, cv::Md5BlockRun* digest);

}  // namespace qla
