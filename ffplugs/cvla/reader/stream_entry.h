// One entry of a reader's stream table.
#pragma once

#include <cstdint>

namespace cvla {

class QlaStream;

constexpr uint32_t kStreamTypeAudio = 1;

struct StreamEntry {
  uint32_t type;          // kStreamTypeAudio
  uint32_t second;        // 0
  uint64_t duration;      // 100 ns units
  uint32_t totalFrames;
  uint32_t dataSize;
  uint32_t reserved[2];
  QlaStream* stream;      // null until created
};

// Frames to 100 ns units as the host expects them: in double precision,
// truncated. 0 for a rate of 0.
uint64_t FramesToDuration(uint64_t frames, uint32_t sampleRate);

}  // namespace cvla
