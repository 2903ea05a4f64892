// Random and damaged blocks: the decoder must answer S_OK or CVERR_FILE_READ,
// never read or write out of bounds, and always finish. Run it under the
// sanitizers as well.
#include "ffplugs/cvla/codec/block_decoder.h"
#include "krn/results.h"
#include "tests/codec/decoder_block_builder.h"
#include "tests/codec/encoder_test_signals.h"
#include "tests/codec/memory_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using namespace qlatest;
using qla::BlockDecoder;

struct Shape {
  uint32_t channels, bits, flags;
};

Shape RandomShape(std::mt19937& rng) {
  return {1 + static_cast<uint32_t>(rng() % 2), rng() % 2 ? 16u : 24u, static_cast<uint32_t>(rng() % 8)};
}

// A valid random stream of blocks; signals[c] collects what each channel should decode to.
BlockSequence RandomStream(std::mt19937& rng, const Shape& shape, std::vector<std::vector<int32_t>>& signals) {
  BlockSequence seq(shape.channels, shape.flags);
  signals.assign(shape.channels, {});
  const int blocks = 1 + rng() % 6;
  for (int b = 0; b < blocks; ++b) {
    const uint32_t frames = rng() % 3 == 0 ? 1 + rng() % 512 : 512;
    std::vector<std::vector<int32_t>> block(shape.channels, std::vector<int32_t>(frames));
    uint8_t orders[2], ks[2], lpc[2][4];
    for (uint32_t c = 0; c < shape.channels; ++c) {
      orders[c] = static_cast<uint8_t>(rng() % 6);
      ks[c] = static_cast<uint8_t>(rng() % 14);
      for (uint8_t& coef : lpc[c]) coef = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 0);
      const int32_t amplitude = 1 << (rng() % 15);
      int32_t walk = 0;
      for (int32_t& v : block[c]) {
        if (orders[c] == qla::kSilentOrder) break;
        walk += static_cast<int32_t>(rng() % 65) - 32;
        v = (walk % amplitude);
      }
      signals[c].insert(signals[c].end(), block[c].begin(), block[c].end());
    }
    seq.Add(block, orders, ks, b % 3 == 0, lpc);
  }
  return seq;
}

// Decodes the stream from offset 0; after a failed block goes on one byte
// after where that block began (clearing nothing), as a resync would. With pcm,
// collects the output and stops at the first failure. Returns the number of
// blocks decoded.
int DecodeTolerantly(BlockDecoder& decoder, const std::vector<uint8_t>& stream, std::vector<uint8_t>* pcm) {
  MemoryBytes source(stream);
  uint8_t out[BlockDecoder::kMaxBlockBytes + 16];
  uint32_t blockStart = 0;
  decoder.SetNextBlockOffset(0);
  int decoded = 0;
  for (int guard = 0; blockStart < stream.size(); ++guard) {
    EXPECT_LT(guard, 200000);
    if (guard >= 200000) break;
    std::memset(out + BlockDecoder::kMaxBlockBytes, 0xCD, 16);
    uint32_t bytes = 12345;
    const HRESULT hr = decoder.DecodeBlock(source, out, &bytes);
    EXPECT_EQ(out[BlockDecoder::kMaxBlockBytes], 0xCD);
    if (hr == cv::kS_OK) {
      EXPECT_EQ(bytes, decoder.FrameCount() * decoder.BlockAlign());
      EXPECT_GT(decoder.NextBlockOffset(), blockStart);
      if (pcm) pcm->insert(pcm->end(), out, out + bytes);
      blockStart = decoder.NextBlockOffset();
      ++decoded;
      continue;
    }
    EXPECT_EQ(hr, cv::CVERR_FILE_READ);
    EXPECT_EQ(bytes, 0u);
    if (pcm) return decoded;
    ++blockStart;
    source.position = blockStart;
    decoder.SetNextBlockOffset(blockStart);
  }
  return decoded;
}

TEST(DecoderFuzz, RandomValidStreamsDecodeToTheirSignals) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 60; ++round) {
    Shape shape = RandomShape(rng);
    shape.flags &= ~qla::kFlagMidSide;  // channels come out as coded
    std::vector<std::vector<int32_t>> signals;
    const BlockSequence seq = RandomStream(rng, shape, signals);
    BlockDecoder decoder;
    ASSERT_EQ(decoder.Initialize(shape.channels, shape.bits, shape.flags), cv::kS_OK);
    std::vector<uint8_t> pcm;
    DecodeTolerantly(decoder, seq.Bytes(), &pcm);
    EXPECT_EQ(pcm, enctest::Interleave(signals, static_cast<int>(shape.bits))) << "round " << round;
  }
}

TEST(DecoderFuzz, DamagedStreamsFailCleanlyAndDecodeAlikeWhateverCameBefore) {
  std::mt19937 rng(77);
  for (int round = 0; round < 800; ++round) {
    const Shape shape = RandomShape(rng);
    std::vector<std::vector<int32_t>> signals;
    const BlockSequence seq = RandomStream(rng, shape, signals);
    std::vector<uint8_t> bytes = seq.Bytes();
    const int damage = 1 + rng() % 8;
    for (int i = 0; i < damage; ++i) {
      const size_t at = rng() % bytes.size();
      switch (rng() % 4) {
        case 0: bytes[at] = static_cast<uint8_t>(rng()); break;
        case 1: bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
        case 2: bytes[at] = 0xFF; break;
        default: bytes[at] = 0; break;
      }
    }
    if (rng() % 4 == 0) bytes.resize(rng() % bytes.size() + 1);

    BlockDecoder decoder;
    ASSERT_EQ(decoder.Initialize(shape.channels, shape.bits, shape.flags), cv::kS_OK);
    DecodeTolerantly(decoder, bytes, nullptr);

    // The first block, when it is (still) a sync block, decodes the same with a
    // fresh decoder and with one whose buffer holds another block's bytes.
    if (bytes.size() < 4 || qla::LoadU32(bytes.data()) != qla::kSyncMarker) continue;
    // The filler: a block of an order above 4 whose 3990 bytes of payload are
    // read before it fails.
    TestBlock filler;
    filler.fixedOrder[0] = 6;
    for (int i = 0; i < 3990; ++i) filler.payload.push_back(static_cast<uint8_t>(rng() | 1));
    std::vector<uint8_t> fillerFile, a, b;
    AppendBlock(fillerFile, filler, shape.channels, shape.flags);
    BlockDecoder fresh, used;
    for (BlockDecoder* d : {&fresh, &used})
      ASSERT_EQ(d->Initialize(shape.channels, shape.bits, shape.flags), cv::kS_OK);
    ASSERT_EQ(DecodeTolerantly(used, fillerFile, &b), 0);
    ASSERT_EQ(DecodeTolerantly(fresh, bytes, &a), DecodeTolerantly(used, bytes, &b)) << "round " << round;
    ASSERT_EQ(a, b) << "round " << round;
  }
}

}  // namespace
