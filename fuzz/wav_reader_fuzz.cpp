// The WAV reader on arbitrary files: open (with the chunk sizes trusted or
// not), then frames read at positions and counts chosen by the input's first
// bytes, into a buffer of exactly the size asked for.
#include "fuzz/fuzz_support.h"
#include "krn/results.h"
#include "krn/wav_reader.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t steer = size < 12 ? size : 12;
  cvfuzz::Choices choices(data, steer);
  const std::string path = cvfuzz::WriteScratch("input.wav", data + steer, size - steer);
  cv::WavReader reader;
  cv::WavReadOptions options;
  options.ignoreChunkSizes = choices.Take(1) & 1;
  std::string problem;
  if (reader.Open(path, options, &problem) != cv::kS_OK) return 0;
  for (int i = 0; i < 3; ++i) {
    const uint64_t frame = choices.Take(2) % (reader.Frames() + 2);
    // At most 4 MiB asked for: a huge block size alone makes reads slow, not wrong.
    const uint32_t count = choices.Take(2) % (1 + (4u << 20) / (reader.FrameBytes() + 1u));
    std::vector<uint8_t> buffer(static_cast<size_t>(count) * reader.FrameBytes());
    uint32_t got = 0;
    if (reader.ReadFrames(frame, count, buffer.data(), &got) == cv::kS_OK && got > count) std::abort();
  }
  return 0;
}
