// Encode -> decode must give back every sample bit for bit: synthetic edge
// signals, every block length and the payload-limit re-coding. Every encode is
// made twice, the second time hashing the PCM between the codes, which must
// give the same bytes and the digest of the PCM.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "encoder_test_signals.h"
#include "ffplugs/cvla/codec/block_decoder.h"
#include "ffplugs/cvla/codec/block_encoder.h"
#include "krn/md5.h"
#include "krn/results.h"

namespace {

using enctest::Interleave;
using enctest::Noise;

struct RoundTripOptions {
  bool lpc = true;
  int32_t payloadLimit = 0;  // 0: the real one
};

// Encodes pcm in blocks of the given lengths (cycled), decodes the stream block
// by block and compares.
void RoundTrip(int channels, int bits, const std::vector<uint8_t>& pcm, const std::vector<int32_t>& lengths,
               RoundTripOptions options = {}) {
  auto makeEncoder = [&] {
    auto encoder = std::make_unique<qla::BlockEncoder>();
    EXPECT_EQ(encoder->Create(enctest::PcmFormat(channels, bits), options.lpc), cv::kS_OK);
    if (options.payloadLimit) encoder->SetPayloadLimitForTesting(options.payloadLimit);
    return encoder;
  };
  const size_t frameBytes = static_cast<size_t>(channels * bits / 8);
  qlatest::MemoryBytes stream(enctest::EncodeBlocks(*makeEncoder(), pcm, frameBytes, lengths));
  cv::Md5 viaEncoder, reference;
  EXPECT_TRUE(enctest::EncodeBlocks(*makeEncoder(), pcm, frameBytes, lengths, &viaEncoder) == stream.bytes);
  reference.Update(pcm.data(), pcm.size());
  EXPECT_EQ(viaEncoder.Finish(), reference.Finish());

  auto decoder = std::make_unique<qla::BlockDecoder>();
  EXPECT_EQ(decoder->Initialize(static_cast<uint32_t>(channels), static_cast<uint32_t>(bits),
                                qla::kFlagMidSide | (options.lpc ? qla::kFlagLpc : 0)),
            cv::kS_OK);
  std::vector<uint8_t> out(qla::BlockDecoder::kMaxBlockBytes);
  size_t offset = 0;
  for (size_t block = 0; offset < pcm.size(); ++block) {
    uint32_t bytes = 0;
    const HRESULT hr = decoder->DecodeBlock(stream, out.data(), &bytes);
    if (hr != cv::kS_OK || bytes == 0 || offset + bytes > pcm.size() ||
        std::memcmp(out.data(), pcm.data() + offset, bytes) != 0) {
      ADD_FAILURE() << "block " << block << " does not decode to its PCM";
      return;
    }
    offset += bytes;
  }
}

std::vector<int32_t> Smooth(size_t n, int bits, uint32_t seed) {
  const int32_t full = (1 << (bits - 1)) - 1;
  enctest::Tone tone(1.995 - 0.001 * seed, full * 0.7, seed);
  std::vector<int32_t> v(n);
  for (auto& s : v) s = enctest::Clamp(tone.Next(full >> 12), bits);
  return v;
}

struct Shape {
  int channels, bits;
  bool lpc;
};
const Shape kShapes[] = {{1, 16, true}, {2, 16, true}, {1, 16, false}, {2, 16, false}, {1, 24, false}, {2, 24, false}};

TEST(EncoderRoundTrip, EdgeSignalsInEveryShape) {
  const size_t n = 512 * 6 + 33;
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(testing::Message() << s.channels << " ch, " << s.bits << " bit, lpc " << s.lpc);
    const int32_t full = (1 << (s.bits - 1)) - 1;
    const std::vector<int32_t> zero(n, 0), smooth = Smooth(n, s.bits, 1), noise = Noise(n, full, 2);
    std::vector<int32_t> negated(n), signs(n), spikes(n, 0), squares(n);
    for (size_t i = 0; i < n; ++i) {
      negated[i] = -smooth[i];
      signs[i] = (noise[i] & 1) ? 1 : -1;
      squares[i] = (i / 7) % 2 ? full : -full - 1;
    }
    spikes[5] = full, spikes[700] = -full - 1, spikes[n - 1] = full;
    auto run = [&](const std::vector<int32_t>& l, const std::vector<int32_t>& r) {
      std::vector<std::vector<int32_t>> chans = {l};
      if (s.channels == 2) chans.push_back(r);
      RoundTrip(s.channels, s.bits, Interleave(chans, s.bits), {512}, {s.lpc});
    };
    run(zero, zero);
    run(smooth, smooth);    // L = R
    run(smooth, negated);   // L = -R
    run(noise, Noise(n, full, 3));
    run(signs, signs);
    run(spikes, zero);
    run(zero, spikes);
    run(squares, smooth);
    run(Noise(n, 2, 4), zero);  // faint noise: verbatim side
    // Silent stretches between sound: histories reset and resume.
    std::vector<int32_t> gated = smooth;
    for (size_t i = 512; i < 1536; ++i) gated[i] = 0;
    run(gated, noise);
  }
}

TEST(EncoderRoundTrip, EveryBlockLength) {
  std::vector<int32_t> lengths(512);
  for (int32_t i = 0; i < 512; ++i) lengths[static_cast<size_t>(i)] = i + 1;
  const size_t n = 512 * 513 / 2;
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(testing::Message() << s.channels << " ch, " << s.bits << " bit, lpc " << s.lpc);
    std::vector<std::vector<int32_t>> chans = {Smooth(n, s.bits, 5)};
    if (s.channels == 2) chans.push_back(Noise(n, 300, 6));
    RoundTrip(s.channels, s.bits, Interleave(chans, s.bits), lengths, {s.lpc});
  }
}

TEST(EncoderRoundTrip, PayloadLimitRecodingDecodes) {
  const size_t n = 512 * 8;
  for (int bits : {16, 24}) {
    std::vector<int32_t> l = Smooth(n, bits, 2), r(n);
    enctest::Lcg rng(8);
    for (size_t i = 0; i < n; ++i) r[i] = enctest::Clamp(int64_t{l[i]} - rng.Uniform(4000), bits);
    const auto pcm = Interleave({l, r}, bits);
    for (int32_t limit : {0, 1500, 900, 40}) RoundTrip(2, bits, pcm, {512}, {bits == 16, limit});
  }
}

}  // namespace
