// Fixed-order choice (ties and wrapped sums) and the rule that keeps LPC
// coefficients within their 7-bit magnitude. The recursion itself is
// pinned by the golden encoder streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "ffplugs/cvla/codec/prediction_analyzer.h"
#include "krn/platform/cpu.h"
#include "tests/codec/encoder_test_signals.h"

namespace {

using qla::PredictionAnalyzer;

PredictionAnalyzer MakeAnalyzer(bool lpc) {
  PredictionAnalyzer a;
  EXPECT_TRUE(a.Create(lpc));
  return a;
}

// The order whose sum of absolute residuals is smallest, ties to the higher
// order; sums that wrap negative count as the largest, and when all five do,
// order 0 is forced. Each case runs its blocks through one channel, with the
// processor's vector extensions and without.
TEST(PredictionAnalyzer, OrderFollowsTheSmallestSumWithTiesToTheHigherOrder) {
  std::vector<int32_t> ramp(1024), alternating(50), wrapping(512);
  for (int i = 0; i < 1024; ++i) ramp[i] = 3 * i - 700;
  for (int i = 0; i < 50; ++i) alternating[i] = (i % 2) ? -300 : 300;
  // |e_k| = 2^k * level, so S_k = 512 * 2^k * level modulo 2^32: bits 18..22 of
  // the level put bit 31 of every S_k on. A short first block leaves the history
  // that makes |e_k| exact from the first value on.
  for (int i = 0; i < 512; ++i) wrapping[i] = (i % 2) ? -0x7C0000 : 0x7C0000;
  const std::vector<int32_t> constant(100, 700), loud(512, 5000000);
  const struct {
    const char* what;
    std::vector<std::vector<int32_t>> blocks;
    int order;
    int32_t cost, maxAbs;
  } cases[] = {
      {"silence: all five sums tie", {std::vector<int32_t>(64, 0)}, 4, 0, 0},
      {"a constant after zero history: S1 = 700 < S2 = 1400", {constant}, 1, 700, 700},
      {"the constant again: every difference 0", {constant, constant}, 4, 0, 700},
      {"alternating signs grow under differencing", {alternating}, 0, 50 * 300, 300},
      {"a ramp continued from the history: S2 = S3 = S4 = 0",
       {{ramp.begin(), ramp.begin() + 512}, {ramp.begin() + 512, ramp.end()}}, 4, 0, 3 * 1023 - 700},
      {"all five sums wrap negative", {{wrapping.begin(), wrapping.begin() + 8}, wrapping}, 0, 0x7FFFFFFE, 0x7C0000},
      {"only S0 = 2.56e9 wraps: the largest sum, it loses", {loud}, 1, 5000000, 5000000},
  };
  for (bool extensions : {true, false}) {
    cvplat::AllowProcessorExtensions(extensions);
    for (const auto& c : cases) {
      auto a = MakeAnalyzer(false);
      for (const auto& block : c.blocks) a.SelectPredictor(0, block.data(), static_cast<int32_t>(block.size()));
      EXPECT_EQ(a.Order(), c.order) << c.what << ", extensions " << extensions;
      EXPECT_EQ(a.Cost(), c.cost) << c.what << ", extensions " << extensions;
      EXPECT_EQ(a.MaxAbs(), c.maxAbs) << c.what << ", extensions " << extensions;
    }
  }
  cvplat::AllowProcessorExtensions(true);
}

TEST(PredictionAnalyzer, CoefficientsBeyondSevenBitsDisableTheLpcStage) {
  // Two tones near the top of the band, 16040 and 17540 Hz at 44100 Hz: the
  // recursion asks for a coefficient of 130, which a byte's 7-bit magnitude
  // cannot hold (stored, it would read back as -2).
  enctest::Tone high(-0x1.4f7d373b90d26p+0, 3000, 1), higher(-0x1.99e315befbfeep+0, 2400, 2);
  std::vector<int32_t> x(512);
  for (int32_t& v : x) v = high.Next(0) + higher.Next(0);
  double a[5];
  PredictionAnalyzer::LevinsonDurbin(x.data(), 512, a, 4);
  int32_t largest = 0;
  for (int j = 1; j <= 4; ++j) largest = std::max(largest, std::abs(PredictionAnalyzer::QuantizeCoefficient(a[j])));
  ASSERT_EQ(largest, 130);
  EXPECT_FALSE(PredictionAnalyzer::QuantizedCoefficientsFit(a, 4));

  // After a block that kept its coefficients, the analyzer keeps the fixed
  // residual (order 0: the signal), its cost and zero coefficient bytes.
  auto fixed = MakeAnalyzer(false), lpc = MakeAnalyzer(true);
  std::vector<int32_t> alternating(64);
  for (int i = 0; i < 64; ++i) alternating[i] = (i % 2) ? -300 : 300;
  for (PredictionAnalyzer* analyzer : {&fixed, &lpc}) analyzer->SelectPredictor(0, alternating.data(), 64);
  ASSERT_NE(lpc.CoefficientBytes(0)[0], 0);
  fixed.SelectPredictor(0, x.data(), 512);
  const int32_t* r = lpc.SelectPredictor(0, x.data(), 512);
  ASSERT_EQ(fixed.Order(), 0);
  EXPECT_EQ(lpc.Order(), 0);
  EXPECT_EQ(lpc.Cost(), fixed.Cost());
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
      // Choice, cost, largest value, residual, coefficient bytes, then the recursion's error and polynomial.
      std::vector<double> results[2];
      for (int plain = 0; plain < 2; ++plain) {
        cvplat::AllowProcessorExtensions(plain == 0);
        auto analyzer = MakeAnalyzer(true);
        analyzer.SelectPredictor(0, x.data(), n);  // a history for the second block
        const int32_t* r = analyzer.SelectPredictor(0, x.data(), n);
        std::vector<double>& out = results[plain];
        out = {static_cast<double>(analyzer.Order()), static_cast<double>(analyzer.Cost()),
               static_cast<double>(analyzer.MaxAbs())};
        out.insert(out.end(), r, r + n);
        out.insert(out.end(), analyzer.CoefficientBytes(0), analyzer.CoefficientBytes(0) + 4);
        double a[5];
        out.push_back(PredictionAnalyzer::LevinsonDurbin(x.data(), n, a, 4));
        out.insert(out.end(), a, a + 5);
      }
      cvplat::AllowProcessorExtensions(true);
      EXPECT_EQ(results[0], results[1]) << "limit " << limit << " n " << n;
    }
  }
}

}  // namespace
