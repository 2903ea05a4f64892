// The fast bit reader against a bit-at-a-time reader that follows the reading
// rules literally, on random buffers read in mixed calls up to and past the end;
// alternate rounds use the residual loop built for the processor's bit
// instructions (where it has them) and the plain one. Residuals are read with a
// digest run half of the time; the blocks the reader takes from it must hash
// as the same bytes given to Md5::Update do.
#include "ffplugs/cvla/codec/rice_bit_reader.h"
#include "krn/md5.h"
#include "krn/platform/cpu.h"
#include "tests/codec/bit_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using qla::RiceBitReader;

using SlowReader = qlatest::BitReaderOracle;

void Load(RiceBitReader& reader, const std::vector<uint8_t>& buf) {
  std::memcpy(reader.Data(), buf.data(), buf.size());
  reader.Reset();
}

// Random bytes to hash while reading.
std::vector<uint8_t> DigestMessage(size_t blocks, std::mt19937& rng) {
  std::vector<uint8_t> message(64 * blocks);
  for (uint8_t& b : message) b = static_cast<uint8_t>(rng());
  return message;
}

TEST(DecoderBitReader, MixedReadsMatchTheBitRules) {
  std::mt19937 rng(99);
  RiceBitReader reader;
  ASSERT_TRUE(reader.Allocate());
  const std::vector<uint8_t> message = DigestMessage(4096, rng);
  size_t blocksTaken = 0;
  for (int round = 0; round < 60; ++round) {
    cv::Md5 viaReader, reference;
    size_t nextBlock = 0;
    cvplat::AllowProcessorExtensions(round % 2 == 0);
    std::vector<uint8_t> buf(reader.Capacity());
    // Sparse ones make long unary runs; dense ones make short codes.
    const uint32_t density = 1 + rng() % 16;
    for (uint8_t& b : buf) b = (rng() % density == 0) ? static_cast<uint8_t>(rng()) : 0;
    if (round % 3 == 0) buf.back() = static_cast<uint8_t>(rng());
    Load(reader, buf);
    SlowReader slow(buf);
    int pastEnd = 0;
    for (int op = 0; op < 200000 && pastEnd < 300; ++op) {
      switch (rng() % 4) {
        case 0:
          ASSERT_EQ(reader.ReadBit(), slow.ReadBit());
          break;
        case 1: {
          const uint32_t n = rng() % 41;  // beyond 32 only the last 32 bits stay
          ASSERT_EQ(reader.ReadBits(n), slow.ReadBits(n)) << "n " << n;
          break;
        }
        case 2: {
          const uint32_t k = rng() % 4 == 0 ? rng() % 256 : rng() % 33;
          ASSERT_EQ(reader.ReadRice(k), slow.ReadRice(k)) << "k " << k;
          break;
        }
        default: {
          const uint32_t k = rng() % 4 == 0 ? 32 + rng() % 224 : rng() % 32;
          const bool hashing = rng() % 2 == 0;
          const uint32_t n = 1 + rng() % (hashing ? 300 : 64);
          std::vector<int32_t> out(n);
          const size_t offered = std::min<size_t>(rng() % 8, message.size() / 64 - nextBlock);
          cv::Md5BlockRun run = viaReader.BlockRun(message.data() + 64 * nextBlock, offered);
          // False at the buffer end; the values still match.
          static_cast<void>(reader.ReadResiduals(k, n, out.data(), hashing ? &run : nullptr));
          for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(out[i], qlatest::RiceUnfold(slow.ReadRice(k)));
          const size_t taken = offered - run.blocks;
          ASSERT_EQ(run.next, message.data() + 64 * (nextBlock + taken));
          viaReader.BlocksTaken(taken);
          reference.Update(message.data() + 64 * nextBlock, 64 * taken);
          nextBlock += taken;
          blocksTaken += taken;
        }
      }
      ASSERT_EQ(reader.ByteIndex(), static_cast<uint32_t>(slow.index_));
      ASSERT_EQ(reader.BitPosition(), static_cast<uint32_t>(slow.bitPos_));
      ASSERT_EQ(reader.CurrentByte(), slow.byte_);
      if (reader.OnLastByte()) ++pastEnd;
    }
    EXPECT_TRUE(reader.OnLastByte());
    EXPECT_EQ(viaReader.Finish(), reference.Finish());
  }
  cvplat::AllowProcessorExtensions(true);
  if (cvplat::UseBitInstructions()) {
    EXPECT_GT(blocksTaken, 20u);
  }
}

// Codes packed with lengths around a window's size, from every bit offset:
// the residual loops take several codes from one window without testing
// between them, and must notice each code that reaches past its known bits.
TEST(DecoderBitReader, CodesAroundTheWindowEdgeReadBackWithAndWithoutADigest) {
  std::mt19937 rng(7);
  RiceBitReader reader;
  ASSERT_TRUE(reader.Allocate());
  const std::vector<uint8_t> message = DigestMessage(8, rng);
  for (int trial = 0; trial < 3000; ++trial) {
    const uint32_t k = rng() % 24, offset = rng() % 8, n = 64 + rng() % 200;
    qlatest::BitPacker packer;
    packer.Put(0, offset);
    std::vector<int32_t> values(n);
    for (int32_t& v : values) {
      // Mostly short codes, about one per 64 of up to sixty bits of unary
      // count: groups that just fit their window and groups that reach past it.
      const uint32_t q = rng() % 50 == 0 ? rng() % 60 : rng() % 3;
      const uint32_t u = (q << k) | (k ? static_cast<uint32_t>(rng()) & ((1u << k) - 1u) : 0u);
      v = qlatest::RiceUnfold(u);
      packer.PutRice(v, k);
    }
    const std::vector<uint8_t> bytes = packer.Bytes();
    if (bytes.size() + 16 > reader.Capacity()) continue;
    std::vector<uint8_t> buf(reader.Capacity(), 0);
    std::copy(bytes.begin(), bytes.end(), buf.begin());
    cv::Md5 viaReader, reference;
    for (bool hashing : {false, true}) {
      Load(reader, buf);
      static_cast<void>(reader.ReadBits(offset));
      cv::Md5BlockRun run = viaReader.BlockRun(message.data(), 8);
      std::vector<int32_t> out(n);
      ASSERT_TRUE(reader.ReadResiduals(k, n, out.data(), hashing ? &run : nullptr));
      ASSERT_EQ(out, values) << "k " << k << " offset " << offset << " hashing " << hashing;
      viaReader.BlocksTaken(8 - run.blocks);
      reference.Update(message.data(), 64 * (8 - run.blocks));
    }
    ASSERT_EQ(viaReader.Finish(), reference.Finish()) << "k " << k;
  }
}

}  // namespace
