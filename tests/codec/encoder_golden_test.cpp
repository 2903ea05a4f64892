// Pins the exact bytes of encoded streams from deterministic signals, so that
// a change of any choice the encoder makes (order, k, coefficients, fallback,
// bit packing) shows up here.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "encoder_test_signals.h"
#include "ffplugs/cvla/codec/block_encoder.h"
#include "krn/platform/cpu.h"
#include "krn/results.h"
#include "tests/support/riff_test_files.h"

namespace {

// Channels mixing tones, noise, silence, steps and a short last block.
std::vector<std::vector<int32_t>> Signal(int channels, int bits, size_t frames) {
  const int32_t full = (1 << (bits - 1)) - 1;
  enctest::Tone low(1.998, full * 0.6, 1), high(-0.4, full * 0.3, 2);
  enctest::Lcg rng(99);
  std::vector<std::vector<int32_t>> out(static_cast<size_t>(channels), std::vector<int32_t>(frames));
  for (size_t i = 0; i < frames; ++i) {
    const size_t block = i / 512;
    const int32_t a = low.Next(full >> 10), b = high.Next(3);
    int32_t left = a, right = enctest::Clamp(int64_t{a} / 2 + b, bits);
    if (block % 7 == 3) left = right = 0;                          // digital silence
    if (block % 7 == 5) right = left;                              // side silent
    if (block % 11 == 8) left = rng.Uniform(full), right = rng.Uniform(full);  // full-scale noise
    if (block % 13 == 6) left = (i % 64 < 32) ? full : -full - 1;  // square wave
    out[0][i] = channels == 1 ? enctest::Clamp(int64_t{left} + b, bits) : left;
    if (channels == 2) out[1][i] = right;
  }
  return out;
}

std::vector<uint8_t> EncodeStream(int channels, int bits, bool lpc, size_t frames) {
  qla::BlockEncoder encoder;
  EXPECT_EQ(encoder.Create(enctest::PcmFormat(channels, bits), lpc), cv::kS_OK);
  const auto pcm = enctest::Interleave(Signal(channels, bits, frames), bits);
  return enctest::EncodeBlocks(encoder, pcm, static_cast<size_t>(channels * bits / 8), {512});
}

struct Golden {
  int channels, bits;
  bool lpc;
  size_t frames;
  size_t size;
  uint64_t hash;
};

TEST(EncoderGolden, StreamsKeepTheirExactBytes) {
  const Golden cases[] = {
      {1, 16, true, 30 * 512 + 77, 19899, 0xb9721b50e42e0cbaull},
      {2, 16, true, 30 * 512 + 300, 32255, 0x32b76113247a65caull},
      {2, 16, false, 12 * 512 + 1, 14757, 0x833cabbe4f489858ull},
      {1, 24, false, 15 * 512 + 5, 19564, 0x166178d0529f063full},
      {2, 24, false, 30 * 512 + 511, 65620, 0x320c91f26b49dfcbull},
  };
  // With the processor's vector extensions where it has them, and without.
  for (bool extensions : {true, false}) {
    cvplat::AllowProcessorExtensions(extensions);
    for (const auto& g : cases) {
      const auto bytes = EncodeStream(g.channels, g.bits, g.lpc, g.frames);
      EXPECT_EQ(bytes.size(), g.size);
      EXPECT_EQ(cvtest::Fnv1a(bytes), g.hash);
    }
  }
  cvplat::AllowProcessorExtensions(true);
}

}  // namespace
