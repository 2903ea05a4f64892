// The tool's WAV reader on arbitrary files: open, then frames read at positions
// and counts chosen by the input's first bytes, into a buffer of exactly the
// size asked for.
#include "fuzz/fuzz_support.h"
#include "krn/results.h"
#include "tools/qla/wav_file.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t steer = size < 12 ? size : 12;
  cvfuzz::Choices choices(data, steer);
  const std::string path = cvfuzz::WriteScratch("input.wav", data + steer, size - steer);
  qlatool::WavReader reader;
  std::string problem;
  if (reader.Open(path, &problem) != cv::kS_OK) return 0;
  for (int i = 0; i < 3; ++i) {
    const uint64_t frame = choices.Take(2) % (reader.Frames() + 2);
    // At most 4 MiB asked for: a huge block size alone makes reads slow, not wrong.
    const uint32_t count = choices.Take(2) % (1 + (4u << 20) / (reader.FrameBytes() + 1u));
    std::vector<uint8_t> buffer(static_cast<size_t>(count) * reader.FrameBytes());
    uint32_t got = ~0u;
    if (reader.ReadFrames(frame, count, buffer.data(), &got) == cv::kS_OK && got > count) std::abort();
  }
  return 0;
}
