// Fixed-order choice (ties and wrapped sums), coefficient rounding and the rule
// that keeps coefficients within their 7-bit magnitude. The recursion itself is
// pinned by the golden encoder streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ffplugs/cvla/codec/prediction_analyzer.h"
#include "krn/platform/cpu.h"

namespace {

using qla::PredictionAnalyzer;

PredictionAnalyzer MakeAnalyzer(bool lpc) {
  PredictionAnalyzer a;
  EXPECT_TRUE(a.Create(lpc));
  return a;
}

// Two tones near the top of the band, from an oscillator recurrence in plain
// double arithmetic (no C library), rounded half away from zero.
std::vector<int32_t> TwoToneSignal(int32_t n) {
  const double c1 = -0x1.4f7d373b90d26p+0, s1 = 0x1.79b481388510fp+12;  // 16040 Hz at 44100 Hz
  const double c2 = -0x1.99e315befbfeep+0, s2 = 0x1.2ba039257b093p+12;  // 17540 Hz
  double a0 = 0, a1 = s1, b0 = 0, b1 = s2;
  std::vector<int32_t> x(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    const double v = a0 + b0;
    x[static_cast<size_t>(i)] = static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
    const double a2 = c1 * a1 - a0, b2 = c2 * b1 - b0;
    a0 = a1, a1 = a2, b0 = b1, b1 = b2;
  }
  return x;
}

TEST(PredictionAnalyzer, OrderFollowsTheSmallestSumWithTiesToTheHigherOrder) {
  auto a = MakeAnalyzer(false);
  std::vector<int32_t> zeros(64, 0);
  a.SelectPredictor(0, zeros.data(), 64);
  EXPECT_EQ(a.Order(), 4);  // all five sums equal
  EXPECT_EQ(a.Cost(), 0);

  // A constant channel: the first block starts from zero history, so only the
  // first differences at i = 0..3 are nonzero; once the history holds the
  // constant every difference sum is 0 and the choice falls through to order 4.
  std::vector<int32_t> constant(100, 700);
  a.SelectPredictor(1, constant.data(), 100);
  EXPECT_EQ(a.Order(), 1);  // S1 = 700 < S2 = 1400
  const int32_t* r = a.SelectPredictor(1, constant.data(), 100);
  EXPECT_EQ(a.Order(), 4);
  EXPECT_EQ(a.Cost(), 0);
  EXPECT_EQ(a.MaxAbs(), 700);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(r[i], 0);

  // Alternating signs grow under differencing: order 0 returns the input itself.
  std::vector<int32_t> alternating(50);
  for (int i = 0; i < 50; ++i) alternating[i] = (i % 2) ? -300 : 300;
  EXPECT_EQ(a.SelectPredictor(0, alternating.data(), 50), alternating.data());
  EXPECT_EQ(a.Order(), 0);
  EXPECT_EQ(a.Cost(), 50 * 300);

  // A ramp continues across the block boundary through the history.
  auto b = MakeAnalyzer(false);
  std::vector<int32_t> ramp(512), next(512);
  for (int i = 0; i < 512; ++i) ramp[i] = 3 * i - 700, next[i] = 3 * (i + 512) - 700;
  b.SelectPredictor(0, ramp.data(), 512);
  r = b.SelectPredictor(0, next.data(), 512);
  EXPECT_EQ(b.Order(), 4);  // S2 = S3 = S4 = 0: ties go up
  EXPECT_EQ(b.Cost(), 0);
  const uint32_t* h = b.History(0);
  EXPECT_EQ(static_cast<int32_t>(h[0]), next[511]);
  EXPECT_EQ(static_cast<int32_t>(h[1]), 3);
  EXPECT_EQ(h[2], 0u);
}

TEST(PredictionAnalyzer, WrappedSums) {
  // Sums that wrap negative: with all five negative order 0 is forced. An
  // alternating signal of this level has |e_k| = 2^k * level, so S_k is
  // 512 * 2^k * level modulo 2^32; bits 18..22 of the level put bit 31 of
  // every S_k (k = 0..4) on.
  const int32_t level = 0x7C0000;
  std::vector<int32_t> x(512);
  for (int i = 0; i < 512; ++i) x[i] = (i % 2) ? -level : level;
  // A first short block leaves the history that makes |e_k| exact from i = 0.
  auto a = MakeAnalyzer(false);
  a.SelectPredictor(0, x.data(), 8);
  a.SelectPredictor(0, x.data(), 512);
  EXPECT_EQ(a.Order(), 0);
  EXPECT_EQ(a.Cost(), 0x7FFFFFFE);

  // Only S0 negative: it is replaced by the largest sum and loses.
  auto b = MakeAnalyzer(false);
  std::vector<int32_t> loud(512, 5000000);  // S0 = 2.56e9 wraps negative
  b.SelectPredictor(0, loud.data(), 512);
  EXPECT_EQ(b.Order(), 1);  // S1 = 5e6 (the first step), S2 = 1e7, ...; a raw negative S0 would have won
  EXPECT_EQ(b.Cost(), 5000000);
}

TEST(PredictionAnalyzer, CoefficientsBeyondSevenBitsDisableTheLpcStage) {
  const std::vector<int32_t> x = TwoToneSignal(512);
  // What the recursion asks for on this signal: a coefficient of 130.
  auto probe = MakeAnalyzer(false);
  const int32_t* y = probe.SelectPredictor(0, x.data(), 512);
  ASSERT_EQ(probe.Order(), 0);
  double a[5];
  PredictionAnalyzer::LevinsonDurbin(y, 512, a, 4);
  int32_t largest = 0;
  for (int j = 1; j <= 4; ++j) largest = std::max(largest, std::abs(PredictionAnalyzer::QuantizeCoefficient(a[j])));
  ASSERT_EQ(largest, 130);
  EXPECT_FALSE(PredictionAnalyzer::QuantizedCoefficientsFit(a, 4));
  // Stored as is, 130 would read back as -2.
  uint8_t unsafe[4];
  std::vector<int32_t> scratch(512);
  PredictionAnalyzer::QuantizeAndFilter(y, 512, a, 4, scratch.data(), unsafe);
  bool collides = false;
  for (int j = 0; j < 4; ++j) collides |= unsafe[j] == 0x82;
  EXPECT_TRUE(collides);

  // The analyzer keeps the fixed residual, its cost and zero coefficient bytes.
  auto lpc = MakeAnalyzer(true);
  const int32_t* r = lpc.SelectPredictor(0, x.data(), 512);
  EXPECT_EQ(lpc.Order(), 0);
  EXPECT_EQ(lpc.Cost(), probe.Cost());
  for (int i = 0; i < 512; ++i) ASSERT_EQ(r[i], x[i]);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(lpc.CoefficientBytes(0)[j], 0);
}

// The analysis has builds for processors with vector extensions (the
// differences and their sums; the recursion's autocorrelation on 16-bit lanes
// while every value fits them) and plain ones. Both must give the same choice,
// cost, largest value, residual and coefficients, to the bit: at every length
// around the vector steps, at the 16-bit limit and past it, and with values
// whose magnitudes and sums wrap.
TEST(PredictionAnalyzer, AnalysisIsTheSameWithAndWithoutVectorExtensions) {
  std::mt19937 rng(7);
  for (uint32_t limit : {1u, 300u, 32767u, 32768u, 1u << 20, 0x7FFFFFFFu, 0x80000000u}) {
    for (int32_t n : {6, 7, 15, 20, 21, 22, 36, 37, 100, 511, 512}) {
      std::vector<int32_t> x(static_cast<size_t>(n));
      for (int32_t& v : x) v = static_cast<int32_t>(rng() % (2ull * limit + 1) - limit);
      // Only -32768, 0 and 32768: one past the 16-bit lanes' limit, in every bit of the bound.
      if (limit == 32768u)
        for (int32_t& v : x) v = (static_cast<int32_t>(rng() % 3) - 1) * 32768;
      // The extremes side by side, where the recursion uses them.
      x[static_cast<size_t>(n) / 2] = static_cast<int32_t>(0u - limit);
      x[static_cast<size_t>(n) / 2 + 1] = static_cast<int32_t>(limit);
      // INT32_MIN has no positive magnitude: it must not hide a larger one
      // eight values on, where a vector build finds it in the same lane.
      if (limit == 1 && n > 16) x[0] = INT32_MIN, x[8] = 1000;
      struct Result {
        int order;
        int32_t cost, maxAbs;
        std::vector<int32_t> residual;
        std::vector<uint8_t> coefficients;
        double a[5], error;
      } results[2];
      for (int plain = 0; plain < 2; ++plain) {
        cvplat::AllowProcessorExtensions(plain == 0);
        auto analyzer = MakeAnalyzer(true);
        analyzer.SelectPredictor(0, x.data(), n);  // a history for the second block
        const int32_t* r = analyzer.SelectPredictor(0, x.data(), n);
        Result& out = results[plain];
        out = {analyzer.Order(), analyzer.Cost(), analyzer.MaxAbs(), {r, r + n},
               {analyzer.CoefficientBytes(0), analyzer.CoefficientBytes(0) + 4}, {}, 0};
        out.error = PredictionAnalyzer::LevinsonDurbin(x.data(), n, out.a, 4);
      }
      cvplat::AllowProcessorExtensions(true);
      const std::string where = "limit " + std::to_string(limit) + " n " + std::to_string(n);
      EXPECT_EQ(results[0].order, results[1].order) << where;
      EXPECT_EQ(results[0].cost, results[1].cost) << where;
      EXPECT_EQ(results[0].maxAbs, results[1].maxAbs) << where;
      EXPECT_EQ(results[0].residual, results[1].residual) << where;
      EXPECT_EQ(results[0].coefficients, results[1].coefficients) << where;
      EXPECT_EQ(results[0].error, results[1].error) << where;
      for (int j = 0; j < 5; ++j) EXPECT_EQ(results[0].a[j], results[1].a[j]) << where << " a" << j;
    }
  }
}

}  // namespace
