// Deterministic PCM for the codec tests: integer noise and tones from plain
// double recurrences (no C library maths), so every build sees the same samples.
#pragma once

#include "ffplugs/cvla/codec/block_encoder.h"
#include "krn/md5.h"
#include "krn/platform/win_types.h"
#include "krn/results.h"
#include "tests/codec/memory_bytes.h"
#include "tests/support/pcm_test_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace enctest {

inline WAVEFORMATEX PcmFormat(int channels, int bits) {
  return cvtest::PcmFormat(static_cast<uint16_t>(channels), 44100, static_cast<uint16_t>(bits));
}

class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  // Uniform in [-amplitude, amplitude].
  int32_t Uniform(int32_t amplitude) {
    return static_cast<int32_t>(Next() % (2u * static_cast<uint32_t>(amplitude) + 1u)) - amplitude;
  }

 private:
  uint32_t state_;
};

// n values uniform in [-amplitude, amplitude].
inline std::vector<int32_t> Noise(size_t n, int32_t amplitude, uint32_t seed) {
  Lcg rng(seed);
  std::vector<int32_t> v(n);
  for (auto& s : v) s = rng.Uniform(amplitude);
  return v;
}

// A damped oscillator with a little noise: smooth, musical-looking material.
class Tone {
 public:
  Tone(double twoCos, double amplitude, uint32_t seed) : c_(twoCos), a1_(amplitude * 0.05), noise_(seed) {}
  int32_t Next(int32_t noiseAmplitude) {
    const double v = a0_;
    const double next = c_ * a1_ - a0_;
    a0_ = a1_, a1_ = next;
    const double r = v >= 0 ? v + 0.5 : v - 0.5;
    return static_cast<int32_t>(r) + (noiseAmplitude ? noise_.Uniform(noiseAmplitude) : 0);
  }

 private:
  double c_, a0_ = 0, a1_;
  Lcg noise_;
};

// Interleaves channel arrays into little-endian 16-bit or packed 24-bit PCM,
// keeping the low bits of each value.
inline std::vector<uint8_t> Interleave(const std::vector<std::vector<int32_t>>& channels, int bits) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < channels[0].size(); ++i)
    for (const auto& c : channels)
      for (int shift = 0; shift < bits; shift += 8) out.push_back(static_cast<uint8_t>(c[i] >> shift));
  return out;
}

inline int32_t Clamp(int64_t v, int bits) {
  const int64_t hi = (int64_t{1} << (bits - 1)) - 1, lo = -(int64_t{1} << (bits - 1));
  return static_cast<int32_t>(v > hi ? hi : v < lo ? lo : v);
}

// Encodes interleaved PCM in blocks of the given lengths (cycled), a sync block
// every 25 blocks, and returns the block stream.
// With md5, the PCM goes into it as a render hashes its source: the whole
// digest blocks of each encoded block while the encoder codes them.
inline std::vector<uint8_t> EncodeBlocks(qla::BlockEncoder& encoder, const std::vector<uint8_t>& pcm,
                                         size_t frameBytes, const std::vector<int32_t>& lengths,
                                         cv::Md5* md5 = nullptr) {
  qlatest::MemoryBytes out;
  const size_t frames = pcm.size() / frameBytes;
  for (size_t first = 0, block = 0; first < frames; ++block) {
    const int32_t n = static_cast<int32_t>(std::min<size_t>(lengths[block % lengths.size()], frames - first));
    const uint8_t* const begin = pcm.data() + first * frameBytes;
    const uint8_t* const end = begin + static_cast<size_t>(n) * frameBytes;
    if (md5) {
      const uint8_t* next = begin;
      EXPECT_EQ(md5->HashAlong(&next, end, [&](cv::Md5BlockRun* run) { return encoder.EncodeBlock(n, begin, run); }),
                cv::kS_OK);
      md5->Update(next, static_cast<size_t>(end - next));
    } else {
      EXPECT_EQ(encoder.EncodeBlock(n, begin), cv::kS_OK);
    }
    uint32_t headerBytes = 0;
    EXPECT_EQ(encoder.WriteBlockHeader(out, block % 25 == 0, false, &headerBytes), cv::kS_OK);
    EXPECT_LT(encoder.PayloadSize(), qla::kMaxPayloadCapacity);
    out.Write(encoder.Payload(), encoder.PayloadSize());
    first += static_cast<size_t>(n);
  }
  return out.bytes;
}

}  // namespace enctest
