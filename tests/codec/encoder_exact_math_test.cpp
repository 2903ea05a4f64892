// The portable logarithm: the same bits in every build, checked against a
// high-precision reference; and the two encoder formulas built on it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "ffplugs/cvla/codec/exact_math.h"

namespace {

using qla::ExactLog;

uint64_t Bits(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, 8);
  return bits;
}

double FromBits(uint64_t bits) {
  double x;
  std::memcpy(&x, &bits, 8);
  return x;
}

// FNV-1a over the bit patterns of the results.
struct ResultHash {
  uint64_t value = 0xcbf29ce484222325ull;
  void Add(double result) {
    const uint64_t bits = Bits(result);
    for (int i = 0; i < 64; i += 8) value = (value ^ ((bits >> i) & 0xFF)) * 0x100000001b3ull;
  }
};

// The encoder's choices, and so the bytes of every file, follow these results:
// the native and both Windows builds must compute exactly the same bits.
TEST(ExactLog, GivesTheSameBitsInEveryBuild) {
  ResultHash integers;
  for (uint32_t i = 1; i <= (1u << 24); ++i) integers.Add(ExactLog(static_cast<double>(i)));
  EXPECT_EQ(integers.value, 0x00a047fe95408be1ull);

  std::mt19937_64 random(42);  // the engine's sequence is fixed by the language
  ResultHash doubles;
  for (int i = 0; i < 1000000; ++i) doubles.Add(ExactLog(FromBits(random() & 0x7FEFFFFFFFFFFFFFull)));
  EXPECT_EQ(doubles.value, 0x5f9bdeaa3cb3b8b7ull);
}

// Correctly rounded natural logarithms, computed to 80 digits.
TEST(ExactLog, MatchesAHighPrecisionReference) {
  const struct {
    uint64_t x, ln;
  } kReference[] = {
    {0x4000000000000000ull, 0x3fe62e42fefa39efull},  // 2
    {0x4008000000000000ull, 0x3ff193ea7aad030bull},  // 3
    {0x4024000000000000ull, 0x40026bb1bbb55516ull},  // 10
    {0x408f400000000000ull, 0x401ba18a998fffa0ull},  // 1000
    {0x40efffe000000000ull, 0x40262e40fef939efull},  // 65535
    {0x416fffffe0000000ull, 0x4030a2b23e3bab73ull},  // 2^24 - 1
    {0x41dfffffffc00000ull, 0x40357cd0e7006820ull},  // 2^31 - 1
    {0x3ff0000000400000ull, 0x3e0fffffffc00000ull},  // 1 + 2^-30
    {0x3feffffe00000000ull, 0xbeb0000080000555ull},  // 1 - 2^-20
    {0x3ff0000000000001ull, 0x3cafffffffffffffull},  // 1 + 2^-52
    {0x3fe62e42fefa39efull, 0xbfd774f29bdd6b9full},  // ln 2
    {0x3ff6a09e667f3bcdull, 0x3fd62e42fefa39f0ull},  // sqrt 2
    {0x01a56e1fc2f8f359ull, 0xc085963447f87fb5ull},  // 1e-300
    {0x7e37e43c8800759cull, 0x4085963447f87fb5ull},  // 1e300
    {0x0000000000000001ull, 0xc0874385446d71c3ull},  // smallest subnormal
    {0x7fefffffffffffffull, 0x40862e42fefa39efull},  // largest finite
    {0x3fb999999999999aull, 0xc0026bb1bbb55515ull},  // 0.1
    {0x40fe240c9fbe76c9ull, 0x40277281cad8a844ull},  // 123456.789
    {0x58608fefcb91ce37ull, 0x4070f0e1a0dcce60ull},
    {0x43c85892ec1d7da0ull, 0x404559d32860c8e7ull},
  };
  for (const auto& entry : kReference)
    EXPECT_EQ(Bits(ExactLog(FromBits(entry.x))), entry.ln) << "x = " << FromBits(entry.x);
}

TEST(ExactLog, SpecialValues) {
  EXPECT_EQ(ExactLog(1.0), 0.0);
  EXPECT_EQ(ExactLog(0.0), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(ExactLog(-1.0)));
  EXPECT_TRUE(std::isnan(ExactLog(std::nan(""))));
  EXPECT_EQ(ExactLog(std::numeric_limits<double>::infinity()), std::numeric_limits<double>::infinity());
}

// The formulas answer without the logarithm away from their boundaries; these
// are the formulas computed with it, for every magnitude up to 2^20, the
// powers of two beyond, and every cost around each Rice boundary.
int32_t BitsByLogarithm(int32_t maxAbs) {
  if (maxAbs < 1) maxAbs = 1;
  return static_cast<int32_t>(std::ceil(ExactLog(static_cast<double>(maxAbs)) * 1.4426950408889634) + 1.0);
}

int32_t RiceByLogarithm(int32_t cost, int32_t n) {
  if (n < 1 || cost < n) return 1;
  const double mean = static_cast<double>(cost) * 0.6931471805599453 / static_cast<double>(n);
  const int32_t k = static_cast<int32_t>(ExactLog(mean) * 1.4426950408889634 + 1.5);
  return k < 1 ? 1 : k;
}

TEST(EncoderFormulas, ShortcutsGiveWhatTheLogarithmGives) {
  for (int32_t m = -1; m <= (1 << 20); ++m) ASSERT_EQ(qla::BitsForMagnitude(m), BitsByLogarithm(m)) << m;
  for (int j = 20; j <= 30; ++j) {
    for (int32_t d = -300; d <= 300; ++d) {
      const int32_t m = (int32_t{1} << j) + d;
      ASSERT_EQ(qla::BitsForMagnitude(m), BitsByLogarithm(m)) << m;
    }
  }
  ASSERT_EQ(qla::BitsForMagnitude(0x7FFFFFFF), BitsByLogarithm(0x7FFFFFFF));

  for (int32_t n = 1; n <= 512; ++n) {
    // Costs where cost * ln2 / n crosses sqrt(2) * 2^e, and some between.
    for (int e = -1; e <= 31; ++e) {
      const double boundary = 1.4142135623730951 * std::ldexp(1.0, e) * n / 0.6931471805599453;
      if (boundary > 2147483000.0) break;
      const int32_t centre = static_cast<int32_t>(boundary);
      for (int32_t cost = centre - 3; cost <= centre + 3; ++cost) {
        ASSERT_EQ(qla::RiceParameterForCost(cost, n), RiceByLogarithm(cost, n)) << cost << " " << n;
      }
      const int32_t between = static_cast<int32_t>(boundary * 1.3);
      ASSERT_EQ(qla::RiceParameterForCost(between, n), RiceByLogarithm(between, n)) << between << " " << n;
    }
  }
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i) {
    const int32_t n = 1 + static_cast<int32_t>(random() % 512);
    const int32_t cost = static_cast<int32_t>(random() & 0x7FFFFFFF);
    ASSERT_EQ(qla::RiceParameterForCost(cost, n), RiceByLogarithm(cost, n)) << cost << " " << n;
  }
}

}  // namespace
