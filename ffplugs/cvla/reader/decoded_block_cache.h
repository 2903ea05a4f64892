// The frames of the block a stream decoded last, in the delivered PCM format.
#pragma once

#include "ffplugs/cvla/codec/block_decoder.h"

#include <cstdint>

namespace cvla {

struct DecodedBlockCache {
  static constexpr int64_t kEmpty = -2;

  int64_t first = kEmpty;  // first frame of the block decoded last
  int64_t last = kEmpty;   // its last frame
  // The block went straight into a caller's buffer: frames holds nothing of it.
  bool delivered = false;
  uint8_t frames[qla::BlockDecoder::kMaxBlockBytes] = {};

  void Clear() {
    first = last = kEmpty;
    delivered = false;
  }
  bool Holds(uint64_t position) const {
    return !delivered && first >= 0 && static_cast<int64_t>(position) >= first &&
           static_cast<int64_t>(position) <= last;
  }
};

}  // namespace cvla
