// The portable logarithm against the native C library, and the two encoder
// formulas built on it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "ffplugs/cvla/codec/exact_math.h"

namespace {

using qla::ExactLog;

int64_t UlpDistance(double a, double b) {
  int64_t ia, ib;
  std::memcpy(&ia, &a, 8);
  std::memcpy(&ib, &b, 8);
  return ia > ib ? ia - ib : ib - ia;
}

TEST(ExactLog, AgreesWithLibraryOnAllIntegersUpTo2Pow24) {
  int64_t differing = 0;
  for (uint32_t i = 1; i <= (1u << 24); ++i) {
    const double x = static_cast<double>(i);
    const double mine = ExactLog(x), library = std::log(x);
    if (mine == library) continue;
    ++differing;
    ASSERT_LE(UlpDistance(mine, library), 1) << "x = " << i;
  }
  std::printf("ExactLog differs from std::log on %lld of 16777216 integers\n", static_cast<long long>(differing));
  EXPECT_LE(differing, 1000);  // where they differ, the library is the one off by one ulp
}

TEST(ExactLog, AgreesWithLibraryOnRandomDoubles) {
  std::mt19937_64 rng(42);
  int64_t differing = 0;
  const int kSamples = 4000000;
  for (int i = 0; i < kSamples; ++i) {
    // Uniform bit patterns of positive finite doubles (all exponents) and, half
    // of the time, values near 1 where the series is delicate.
    double x;
    if (i % 2 == 0) {
      uint64_t bits = rng() & 0x7FFFFFFFFFFFFFFFull;
      std::memcpy(&x, &bits, 8);
      if (!std::isfinite(x) || x == 0.0) continue;
    } else {
      x = 1.0 + std::ldexp(static_cast<double>(static_cast<int64_t>(rng() >> 11)) / 9007199254740992.0 - 0.5,
                           -static_cast<int>(rng() % 30));
    }
    const double mine = ExactLog(x), library = std::log(x);
    if (mine == library) continue;
    ++differing;
    ASSERT_LE(UlpDistance(mine, library), 1) << "x = " << x;
  }
  std::printf("ExactLog differs from std::log by one ulp on %lld of %d random doubles\n",
              static_cast<long long>(differing), kSamples);
  EXPECT_LT(differing, kSamples / 1000);  // the library's own misroundings
}

TEST(ExactLog, SpecialValues) {
  EXPECT_EQ(ExactLog(1.0), 0.0);
  EXPECT_EQ(ExactLog(0.0), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(ExactLog(-1.0)));
  EXPECT_TRUE(std::isnan(ExactLog(std::nan(""))));
  EXPECT_EQ(ExactLog(std::numeric_limits<double>::infinity()), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ExactLog(std::numeric_limits<double>::denorm_min()), std::log(std::numeric_limits<double>::denorm_min()));
  EXPECT_EQ(ExactLog(2.0), std::log(2.0));
}

TEST(EncoderFormulas, BitsForMagnitude) {
  // ceil(log2(m)) + 1, with the formula's own rounding at the powers of two.
  EXPECT_EQ(qla::BitsForMagnitude(1), 1);
  EXPECT_EQ(qla::BitsForMagnitude(2), 2);
  EXPECT_EQ(qla::BitsForMagnitude(3), 3);
  EXPECT_EQ(qla::BitsForMagnitude(32767), 16);
  EXPECT_EQ(qla::BitsForMagnitude(32769), 17);
  EXPECT_EQ(qla::BitsForMagnitude(8388607), 24);
  int powerMismatches = 0;
  for (int j = 1; j <= 30; ++j) {
    const int32_t p = int32_t{1} << j;
    EXPECT_EQ(qla::BitsForMagnitude(p + 1), j + 2) << j;
    EXPECT_EQ(qla::BitsForMagnitude(p - 1), j == 1 ? 1 : j + 1) << j;
    // At exact powers ln(2^j) * log2(e) may land one ulp above j.
    const double log2 = ExactLog(static_cast<double>(p)) * 1.4426950408889634;
    EXPECT_EQ(qla::BitsForMagnitude(p), static_cast<int32_t>(std::ceil(log2) + 1.0));
    powerMismatches += qla::BitsForMagnitude(p) != j + 1;
  }
  std::printf("BitsForMagnitude exceeds log2+1 at %d of 30 powers of two\n", powerMismatches);
}

TEST(EncoderFormulas, RiceParameterForCost) {
  EXPECT_EQ(qla::RiceParameterForCost(0, 512), 1);
  EXPECT_EQ(qla::RiceParameterForCost(511, 512), 1);
  EXPECT_EQ(qla::RiceParameterForCost(512, 512), 1);  // log2(0.69) + 1.5 = 0.97 -> 0 -> 1
  // mean 1000: log2(693.1) + 1.5 = 10.94 -> 10
  EXPECT_EQ(qla::RiceParameterForCost(512000, 512), 10);
  EXPECT_EQ(qla::RiceParameterForCost(0x7FFFFFFF, 1), 31);
  for (int32_t cost = 1; cost < 4000000; cost += 997) {
    const double expected = std::trunc(std::log2(cost * 0.6931471805599453 / 512) + 1.5);
    const int32_t k = qla::RiceParameterForCost(cost, 512);
    if (cost >= 512) {
      EXPECT_EQ(k, expected < 1 ? 1 : static_cast<int32_t>(expected)) << cost;
    }
  }
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
