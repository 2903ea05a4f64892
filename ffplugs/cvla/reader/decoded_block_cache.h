// The frames of the block a stream decoded last, in the delivered PCM format.
#pragma once

#include "ffplugs/cvla/codec/block_decoder.h"

#include <cstdint>

namespace cvla {

struct DecodedBlockCache {
  static constexpr int64_t kEmpty = -2;

  int64_t first = kEmpty;  // first frame held
  int64_t last = kEmpty;   // last frame held
  uint8_t frames[qla::BlockDecoder::kMaxBlockBytes] = {};

  void Clear() { first = last = kEmpty; }
  bool Holds(uint64_t position) const {
    return first >= 0 && static_cast<int64_t>(position) >= first && static_cast<int64_t>(position) <= last;
  }
};

}  // namespace cvla
