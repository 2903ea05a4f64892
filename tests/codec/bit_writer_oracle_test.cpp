// The word-at-a-time Rice writer against a writer that follows the bit-by-bit
// rules literally: same bytes, byte position, pending bits, growth and overflow.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "ffplugs/cvla/codec/rice_bit_writer.h"
#include "tests/codec/bit_oracle.h"

namespace {

using qla::RiceBitWriter;

// One bit at a time into a 32-bit accumulator; a completed byte past the end
// grows the buffer (4000 doubling, refused above 80000).
class BitByBitWriter {
 public:
  std::vector<uint8_t> buffer = std::vector<uint8_t>(4000, 0);
  int32_t bytePos = 0, bitCount = 0;
  uint32_t accumulator = 0;
  bool overflow = false;

  void Reset() { bytePos = bitCount = 0, accumulator = 0; }

  void Emit(uint32_t bit) {
    accumulator = accumulator * 2 + bit;
    bitCount += 1;
    if (bitCount != 8) return;
    if (bytePos >= static_cast<int32_t>(buffer.size())) Grow();
    if (overflow) return;
    buffer[bytePos++] = static_cast<uint8_t>(accumulator);
    accumulator = 0;
    bitCount = 0;
  }

  void Grow() {
    if (buffer.size() * 2 > 80000) {
      overflow = true;
      return;
    }
    buffer.resize(buffer.size() * 2, 0);
  }

  int32_t WriteRiceRun(const int32_t* values, int32_t k, int32_t count) {
    if (k < 1) k = 1;
    for (int32_t i = 0; i < count && !overflow; ++i) {  // nothing more is stored after an overflow
      const int32_t v = values[i];
      const uint32_t u = qlatest::RiceFold(v);
      const uint32_t q = u >> k;
      for (uint32_t z = 0; z < q && !overflow; ++z) Emit(0);
      Emit(1);
      for (int32_t b = k - 1; b >= 0; --b) Emit((u >> b) & 1u);
    }
    return bytePos + 1;
  }

  void Flush() {
    if (bytePos >= static_cast<int32_t>(buffer.size())) Grow();
    if (!overflow) buffer[bytePos] = static_cast<uint8_t>((accumulator & 0xFF) << (8 - bitCount));
  }
};

void ExpectSameState(const RiceBitWriter& fast, const BitByBitWriter& slow, const char* where) {
  SCOPED_TRACE(where);
  ASSERT_EQ(fast.Overflow(), slow.overflow);
  ASSERT_EQ(fast.BytePos(), slow.bytePos);
  ASSERT_EQ(fast.Capacity(), static_cast<int32_t>(slow.buffer.size()));
  if (!slow.overflow) {
    ASSERT_EQ(fast.BitCount(), slow.bitCount);
    ASSERT_EQ(fast.Accumulator(), slow.accumulator);
  }
  for (int32_t i = 0; i < slow.bytePos; ++i) ASSERT_EQ(fast.Data()[i], slow.buffer[i]) << "byte " << i;
}

TEST(RiceBitWriter, MatchesBitByBitWriterOnRandomRuns) {
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 60; ++trial) {
    RiceBitWriter fast;
    ASSERT_TRUE(fast.Create());
    BitByBitWriter slow;
    for (int run = 0; run < 40 && !slow.overflow; ++run) {
      const int32_t k = static_cast<int32_t>(rng() % 34) - 1;  // -1..32, includes the clamped ends
      const int32_t count = static_cast<int32_t>(rng() % 700);
      // Magnitudes from tiny to the 2^30 limit, relative to k so that quotients
      // range from 0 to thousands of bits.
      const int64_t span = int64_t{1} << (rng() % 31);
      std::vector<int32_t> values(static_cast<size_t>(count));
      for (auto& v : values) v = static_cast<int32_t>(static_cast<int64_t>(rng() % (2 * span)) - span);
      const int32_t slowK = k > 31 ? 31 : k;
      const int32_t expected = slow.WriteRiceRun(values.data(), slowK, count);
      ASSERT_EQ(fast.WriteRiceRun(values.data(), k, count), expected);
      ExpectSameState(fast, slow, "after run");
      if (rng() % 5 == 0 && !slow.overflow) {  // discard a run, as the block encoder does for channel 1
        const auto mark = fast.Position();
        const int32_t m = slow.bytePos, b = slow.bitCount;
        const uint32_t acc = slow.accumulator;
        fast.WriteRiceRun(values.data(), 7, count);
        slow.WriteRiceRun(values.data(), 7, count);
        if (!slow.overflow) {
          fast.Restore(mark);
          slow.bytePos = m, slow.bitCount = b, slow.accumulator = acc;
          ExpectSameState(fast, slow, "after restore");
        }
      }
      if (rng() % 7 == 0) {
        fast.Reset();
        slow.Reset();
      }
    }
    if (slow.overflow) {  // nothing more is stored after an overflow
      const int32_t one = 1;
      ASSERT_EQ(fast.WriteRiceRun(&one, 3, 1), slow.bytePos + 1);
    }
    fast.FlushPartialByte();
    slow.Flush();
    ExpectSameState(fast, slow, "after flush");
    if (!slow.overflow) {
      ASSERT_EQ(fast.Data()[slow.bytePos], slow.buffer[slow.bytePos]);
    }
  }
}

// A run that ends exactly at the capacity does not grow; the flush then has to
// grow for the pending byte.
TEST(RiceBitWriter, FlushGrowsForThePendingByte) {
  RiceBitWriter exact;
  ASSERT_TRUE(exact.Create());
  std::vector<int32_t> zeros(16000, 0);  // 2 bits each with k = 1: 4000 bytes exactly
  EXPECT_EQ(exact.WriteRiceRun(zeros.data(), 1, 16000), 4001);
  EXPECT_EQ(exact.Capacity(), 4000);
  exact.FlushPartialByte();
  EXPECT_EQ(exact.Capacity(), 8000);
  EXPECT_EQ(exact.Data()[4000], 0);
  EXPECT_EQ(exact.Data()[3999], 0xAA);
}

}  // namespace
