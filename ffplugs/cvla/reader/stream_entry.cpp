#include "ffplugs/cvla/reader/stream_entry.h"

namespace cvla {

uint64_t FramesToDuration(uint64_t frames, uint32_t sampleRate) {
  if (sampleRate == 0) return 0;
  return static_cast<uint64_t>(static_cast<double>(frames) / static_cast<double>(sampleRate) * 10000000.0);
}

}  // namespace cvla
