#include "ffplugs/cvla/reader/stream_entry.h"

namespace cvla {

uint64_t FramesToDuration(uint64_t frames, uint32_t sampleRate) {
  if (sampleRate == 0) return 0;
  const double duration = static_cast<double>(frames) / static_cast<double>(sampleRate) * 10000000.0;
  // A frame count from a damaged header can give more than 64 bits hold.
  if (duration >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<uint64_t>(duration);
}

}  // namespace cvla
