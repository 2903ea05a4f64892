// Test helpers for the block decoder tests: a block serializer for hand-made
// payloads (packed with the bit oracle) and sequences of coded blocks.
#pragma once

#include "ffplugs/cvla/qla_format.h"
#include "tests/codec/bit_oracle.h"
#include "tests/support/riff_test_files.h"

#include <cstdint>
#include <algorithm>
#include <vector>

namespace qlatest {

struct TestBlock {
  bool sync = false;
  qla::PredictorHistory history[2] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
  int16_t frameCount = 1;
  uint8_t riceParam[2] = {0, 0};
  uint8_t fixedOrder[2] = {0, 0};
  uint8_t lpcCoef[2][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
  std::vector<uint8_t> payload;
};

// Residuals that make the decoder rebuild signal with the given fixed order,
// history and LPC coefficients (lpc may be null): p-th differences, then the
// LPC stage from index 4 on. Wrapping 32-bit arithmetic.
inline std::vector<int32_t> ForwardResiduals(const std::vector<int32_t>& signal, uint32_t order,
                                             qla::PredictorHistory h, const uint8_t* lpc) {
  uint32_t x1 = static_cast<uint32_t>(h.x1), x2 = static_cast<uint32_t>(h.x2);
  uint32_t x3 = static_cast<uint32_t>(h.x3), x4 = static_cast<uint32_t>(h.x4);
  std::vector<int32_t> y(signal.size());
  for (size_t i = 0; i < signal.size(); ++i) {
    const uint32_t x = static_cast<uint32_t>(signal[i]);
    const uint32_t predicted = order == 0   ? 0
                               : order == 1 ? x1
                               : order == 2 ? 2 * x1 - x2
                               : order == 3 ? 3 * (x1 - x2) + x3
                                            : 4 * (x1 + x3) - 6 * x2 - x4;
    y[i] = static_cast<int32_t>(x - predicted);
    x4 = x3, x3 = x2, x2 = x1, x1 = x;
  }
  if (!lpc) return y;
  std::vector<int32_t> r = y;
  auto coef = [](uint8_t b) { return static_cast<uint32_t>((b & 0x80) ? -(b & 0x7F) : (b & 0x7F)); };
  for (size_t i = 4; i < y.size(); ++i) {
    const uint32_t sum = coef(lpc[0]) * static_cast<uint32_t>(y[i - 1]) + coef(lpc[1]) * static_cast<uint32_t>(y[i - 2]) +
                         coef(lpc[2]) * static_cast<uint32_t>(y[i - 3]) + coef(lpc[3]) * static_cast<uint32_t>(y[i - 4]);
    r[i] = static_cast<int32_t>(static_cast<uint32_t>(y[i]) + static_cast<uint32_t>(static_cast<int32_t>(sum) >> 5));
  }
  return r;
}

inline void AppendBlock(std::vector<uint8_t>& out, const TestBlock& b, uint32_t channels, uint32_t flags) {
  if (b.sync) {
    cvtest::PutU32(out, qla::kSyncMarker);
    for (uint32_t c = 0; c < channels; ++c) {
      const qla::PredictorHistory& h = b.history[c];
      for (int32_t v : {h.x1, h.x2, h.x3, h.x4}) cvtest::PutU32(out, static_cast<uint32_t>(v));
    }
  }
  cvtest::PutU16(out, static_cast<uint16_t>(b.frameCount));
  cvtest::PutU16(out, static_cast<uint16_t>(b.payload.size()));
  for (uint32_t c = 0; c < channels; ++c) out.push_back(b.riceParam[c]);
  for (uint32_t c = 0; c < channels; ++c) out.push_back(b.fixedOrder[c]);
  if (flags & qla::kFlagLpc)
    for (uint32_t c = 0; c < channels; ++c) out.insert(out.end(), b.lpcCoef[c], b.lpcCoef[c] + 4);
  if (flags & qla::kFlagExtraWord) cvtest::PutU32(out, 0xDEADBEEFu);
  out.insert(out.end(), b.payload.begin(), b.payload.end());
}

// Builds consecutive blocks from coded channel signals (mid/side already split,
// if wanted), carrying the predictor histories from block to block the way the
// decoder does, so that the blocks decode back to exactly these signals.
class BlockSequence {
 public:
  BlockSequence(uint32_t channels, uint32_t flags) : channels_(channels), flags_(flags) {}

  // signals[c] holds the block's values of channel c; order kSilentOrder needs all zeros.
  void Add(const std::vector<std::vector<int32_t>>& signals, const uint8_t orders[2], const uint8_t ks[2],
           bool sync, const uint8_t (*lpc)[4] = nullptr) {
    TestBlock b;
    b.sync = sync;
    b.frameCount = static_cast<int16_t>(signals[0].size());
    BitPacker bits;
    for (uint32_t c = 0; c < channels_; ++c) {
      b.history[c] = history_[c];
      b.riceParam[c] = ks[c];
      b.fixedOrder[c] = orders[c];
      if (lpc) std::copy(lpc[c], lpc[c] + 4, b.lpcCoef[c]);
      if (orders[c] == qla::kSilentOrder) {
        history_[c] = {0, 0, 0, 0};
        continue;
      }
      const bool useLpc = lpc && (flags_ & qla::kFlagLpc);
      for (int32_t r : ForwardResiduals(signals[c], orders[c], history_[c], useLpc ? lpc[c] : nullptr))
        bits.PutRice(r, ks[c]);
      for (int32_t v : signals[c]) history_[c] = {v, history_[c].x1, history_[c].x2, history_[c].x3};
    }
    b.payload = bits.Bytes();
    AppendBlock(bytes_, b, channels_, flags_);
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  uint32_t channels_;
  uint32_t flags_;
  qla::PredictorHistory history_[2] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
  std::vector<uint8_t> bytes_;
};

}  // namespace qlatest
