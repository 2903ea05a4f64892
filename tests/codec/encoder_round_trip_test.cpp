// Encode -> decode must give back every sample bit for bit, in every shape:
// synthetic edge signals, the payload-limit re-coding and every block length.
// Every encode is made twice, the second time hashing the PCM between the
// codes, which must give the same bytes and the digest of the PCM.
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

using enctest::Noise;

struct Shape {
  int channels, bits;
  bool lpc;
};
const Shape kShapes[] = {{1, 16, true}, {2, 16, true}, {1, 16, false}, {2, 16, false}, {1, 24, false}, {2, 24, false}};

// Encodes the first s.channels of the channels in blocks of the given lengths
// (cycled) under a payload limit (0: the real one), decodes the stream block
// by block and compares.
void RoundTrip(const Shape& s, std::vector<std::vector<int32_t>> channels, const std::vector<int32_t>& lengths,
               int32_t payloadLimit) {
  channels.resize(static_cast<size_t>(s.channels));
  const std::vector<uint8_t> pcm = enctest::Interleave(channels, s.bits);
  auto makeEncoder = [&] {
    auto encoder = std::make_unique<qla::BlockEncoder>();
    EXPECT_EQ(encoder->Create(enctest::PcmFormat(s.channels, s.bits), s.lpc), cv::kS_OK);
    if (payloadLimit) encoder->SetPayloadLimitForTesting(payloadLimit);
    return encoder;
  };
  const size_t frameBytes = static_cast<size_t>(s.channels * s.bits / 8);
  qlatest::MemoryBytes stream(enctest::EncodeBlocks(*makeEncoder(), pcm, frameBytes, lengths));
  cv::Md5 viaEncoder, reference;
  EXPECT_TRUE(enctest::EncodeBlocks(*makeEncoder(), pcm, frameBytes, lengths, &viaEncoder) == stream.bytes);
  reference.Update(pcm.data(), pcm.size());
  EXPECT_EQ(viaEncoder.Finish(), reference.Finish());

  auto decoder = std::make_unique<qla::BlockDecoder>();
  EXPECT_EQ(decoder->Initialize(static_cast<uint32_t>(s.channels), static_cast<uint32_t>(s.bits),
                                qla::kFlagMidSide | (s.lpc ? qla::kFlagLpc : 0)),
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

TEST(EncoderRoundTrip, EdgeSignalsInEveryShape) {
  const size_t n = 512 * 6 + 33;
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(testing::Message() << s.channels << " ch, " << s.bits << " bit, lpc " << s.lpc);
    const int32_t full = (1 << (s.bits - 1)) - 1;
    const std::vector<int32_t> zero(n, 0), smooth = Smooth(n, s.bits, 1), noise = Noise(n, full, 2);
    std::vector<int32_t> negated(n), signs(n), spikes(n, 0), squares(n), noisySide(n);
    enctest::Lcg rng(8);
    for (size_t i = 0; i < n; ++i) {
      negated[i] = -smooth[i];
      signs[i] = (noise[i] & 1) ? 1 : -1;
      squares[i] = (i / 7) % 2 ? full : -full - 1;
      noisySide[i] = enctest::Clamp(int64_t{smooth[i]} - rng.Uniform(4000), s.bits);
    }
    spikes[5] = full, spikes[700] = -full - 1, spikes[n - 1] = full;
    // Silent stretches between sound: histories reset and resume.
    std::vector<int32_t> gated = smooth;
    for (size_t i = 512; i < 1536; ++i) gated[i] = 0;
    // Silence, L = R, L = -R, full-scale noise, +-1, lone extremes on either
    // side, squares, faint noise (a side coded verbatim), gated sound.
    const std::vector<int32_t> pairs[][2] = {
        {zero, zero},   {smooth, smooth}, {smooth, negated}, {noise, Noise(n, full, 3)}, {signs, signs},
        {spikes, zero}, {zero, spikes},   {squares, smooth}, {Noise(n, 2, 4), zero},     {gated, noise}};
    for (const auto& pair : pairs) RoundTrip(s, {pair[0], pair[1]}, {512}, 0);
    // Payload limits that only re-coding in verbatim form can meet.
    for (int32_t limit : {1500, 900, 40}) RoundTrip(s, {smooth, noisySide}, {512}, limit);
    // Every block length from 1 to 512.
    std::vector<int32_t> lengths(512);
    for (int32_t i = 0; i < 512; ++i) lengths[static_cast<size_t>(i)] = i + 1;
    const size_t all = 512 * 513 / 2;
    RoundTrip(s, {Smooth(all, s.bits, 5), Noise(all, 300, 6)}, lengths, 0);
  }
}

}  // namespace
