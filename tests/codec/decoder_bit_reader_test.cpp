// The fast bit reader against a bit-at-a-time reader that follows the reading
// rules literally, on random streams that also run past the end of the buffer.
#include "ffplugs/cvla/codec/rice_bit_reader.h"
#include "tests/codec/bit_oracle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using qla::RiceBitReader;

using SlowReader = qlatest::BitReaderOracle;

void ExpectSameState(const RiceBitReader& fast, const SlowReader& slow) {
  ASSERT_EQ(fast.ByteIndex(), static_cast<uint32_t>(slow.index_));
  ASSERT_EQ(fast.BitPosition(), static_cast<uint32_t>(slow.bitPos_));
  ASSERT_EQ(fast.CurrentByte(), slow.byte_);
}

// A buffer of Rice codes with parameter k whose values follow a Laplace-like
// spread, then random or zero bytes to the end.
std::vector<uint8_t> RiceStream(std::mt19937& rng, uint32_t capacity, uint32_t k, uint32_t fillBytes) {
  std::geometric_distribution<uint32_t> spread(1.0 / (1u << (k < 20 ? k : 20)) / 2.0);
  qlatest::BitPacker bits;
  while (bits.BitCount() + 200 < uint64_t{fillBytes} * 8) {
    const uint32_t u = spread(rng);
    bits.PutZeros((u >> k) > 100 ? 100 : (u >> k));
    bits.PutBit(1);
    bits.Put(u, k);
  }
  std::vector<uint8_t> buf = bits.Bytes();
  buf.resize(capacity, 0);
  for (uint32_t i = fillBytes; i < capacity; ++i) buf[i] = static_cast<uint8_t>(rng());
  return buf;
}

void Load(RiceBitReader& reader, const std::vector<uint8_t>& buf) {
  std::memcpy(reader.Data(), buf.data(), buf.size());
  reader.Reset();
}

TEST(DecoderBitReader, ResidualsMatchTheBitRulesUpToAndPastTheEnd) {
  std::mt19937 rng(1234);
  RiceBitReader reader;
  ASSERT_TRUE(reader.Allocate());
  const uint32_t capacity = reader.Capacity();
  for (int round = 0; round < 120; ++round) {
    const uint32_t k = round % 3 == 0 ? rng() % 32 : rng() % 16;
    // Some streams end well inside the buffer, some right at its end.
    const uint32_t fill = round % 2 ? capacity - rng() % 8 : 1 + rng() % capacity;
    std::vector<uint8_t> buf = RiceStream(rng, capacity, k, fill);
    if (round % 4 == 1) buf.back() = 0;  // a last byte of zeros: unary runs stop on it
    Load(reader, buf);
    SlowReader slow(buf);
    std::vector<int32_t> fast(512), expected(512);
    bool fastOk = true;
    while (slow.index_ < static_cast<int32_t>(capacity) - 1 || fastOk) {
      const uint32_t n = 1 + rng() % 512;
      for (uint32_t i = 0; i < n; ++i) expected[i] = qlatest::RiceUnfold(slow.ReadRice(k));
      fastOk = reader.ReadResiduals(k, n, fast.data());
      ASSERT_EQ(std::vector<int32_t>(fast.begin(), fast.begin() + n),
                std::vector<int32_t>(expected.begin(), expected.begin() + n))
          << "round " << round << " k " << k;
      ExpectSameState(reader, slow);
      ASSERT_EQ(fastOk, slow.index_ < static_cast<int32_t>(capacity) - 1);
    }
  }
}

TEST(DecoderBitReader, MixedReadsMatchTheBitRules) {
  std::mt19937 rng(99);
  RiceBitReader reader;
  ASSERT_TRUE(reader.Allocate());
  for (int round = 0; round < 60; ++round) {
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
          const uint32_t n = 1 + rng() % 64;
          std::vector<int32_t> out(n);
          reader.ReadResiduals(k, n, out.data());
          for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(out[i], qlatest::RiceUnfold(slow.ReadRice(k)));
        }
      }
      ExpectSameState(reader, slow);
      if (reader.OnLastByte()) ++pastEnd;
    }
    EXPECT_TRUE(reader.OnLastByte());
  }
}

TEST(DecoderBitReader, GrowthDoublesKeepsContentsAndStopsAt64000) {
  RiceBitReader reader;
  ASSERT_TRUE(reader.Allocate());
  EXPECT_EQ(reader.Capacity(), 4000u);
  reader.Data()[0] = 0xA5;
  reader.Data()[3999] = 0x5A;
  for (uint32_t expected : {8000u, 16000u, 32000u, 64000u}) {
    ASSERT_TRUE(reader.Grow());
    EXPECT_EQ(reader.Capacity(), expected);
  }
  EXPECT_FALSE(reader.Grow());
  EXPECT_EQ(reader.Capacity(), 64000u);
  EXPECT_EQ(reader.Data()[0], 0xA5);
  EXPECT_EQ(reader.Data()[3999], 0x5A);
  EXPECT_EQ(reader.Data()[63999], 0);
}

}  // namespace
