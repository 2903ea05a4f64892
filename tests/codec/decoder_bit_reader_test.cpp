// The fast bit reader against a bit-at-a-time reader that follows the reading
// rules literally, on random buffers read in mixed calls up to and past the end;
// alternate rounds use the residual loop built for the processor's bit
// instructions (where it has them) and the plain one.
#include "ffplugs/cvla/codec/rice_bit_reader.h"
#include "krn/platform/cpu.h"
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

void Load(RiceBitReader& reader, const std::vector<uint8_t>& buf) {
  std::memcpy(reader.Data(), buf.data(), buf.size());
  reader.Reset();
}

TEST(DecoderBitReader, MixedReadsMatchTheBitRules) {
  std::mt19937 rng(99);
  RiceBitReader reader;
  ASSERT_TRUE(reader.Allocate());
  for (int round = 0; round < 60; ++round) {
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
          const uint32_t n = 1 + rng() % 64;
          std::vector<int32_t> out(n);
          static_cast<void>(reader.ReadResiduals(k, n, out.data()));  // false at the buffer end; the values still match
          for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(out[i], qlatest::RiceUnfold(slow.ReadRice(k)));
        }
      }
      ExpectSameState(reader, slow);
      if (reader.OnLastByte()) ++pastEnd;
    }
    EXPECT_TRUE(reader.OnLastByte());
  }
  cvplat::AllowProcessorExtensions(true);
}

}  // namespace
