// Block encoder: format checks, the verbatim fallback and the payload limit.
// Whether what it chooses decodes is left to the round trip tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "encoder_test_signals.h"
#include "ffplugs/cvla/codec/block_encoder.h"
#include "ffplugs/cvla/codec/exact_math.h"
#include "ffplugs/cvla/codec/rice_bit_writer.h"
#include "krn/results.h"

namespace {

using enctest::Interleave;
using enctest::Noise;
using enctest::PcmFormat;
using qla::BlockEncoder;

TEST(BlockEncoder, CreateAcceptsOneOrTwoChannelsOf16Or24Bits) {
  BlockEncoder e;
  EXPECT_EQ(e.Create(PcmFormat(2, 24), false), cv::kS_OK);
  WAVEFORMATEX floatFormat = PcmFormat(1, 16);
  floatFormat.wFormatTag = 3;
  // Samples of other widths would be read past the caller's frames.
  for (const WAVEFORMATEX& f : {PcmFormat(3, 16), PcmFormat(0, 16), PcmFormat(2, 8), PcmFormat(2, 32), floatFormat})
    EXPECT_EQ(e.Create(f, false), cv::CVERR_UNSUPPORTED_FORMAT);
  ASSERT_EQ(e.Create(PcmFormat(1, 16), false), cv::kS_OK);
  const int16_t one = 1;
  EXPECT_EQ(e.EncodeBlock(0, &one), cv::kE_INVALIDARG);
  EXPECT_EQ(e.EncodeBlock(513, &one), cv::kE_INVALIDARG);
  EXPECT_EQ(e.EncodeBlock(1, &one), cv::kS_OK);
}

TEST(BlockEncoder, ShortNoisyBlocksFallBackExactlyWhenTheRuleSays) {
  // Each block is coded as the analyzer chose (order, k from the cost,
  // coefficient bytes) unless its Rice run is over 1.15 times the plain
  // estimate, over 10 bytes, with more than five frames and values of more
  // than one bit: then verbatim with order 0, k = bits - 1 and zero
  // coefficient bytes. The blocks reach both sides of each bound.
  int fallbacks = 0, heldBySize = 0;
  for (uint32_t seed = 1; seed <= 3000; ++seed) {
    const int32_t n = 2 + static_cast<int32_t>(seed % 39);  // 2..40 frames
    auto x = Noise(static_cast<size_t>(n), 2 + static_cast<int32_t>(seed % 3), seed);
    x[seed % n] = 3;
    qla::PredictionAnalyzer reference;
    ASSERT_TRUE(reference.Create(true));
    const int32_t* residual = reference.SelectPredictor(0, x.data(), n);
    const int32_t k = qla::RiceParameterForCost(reference.Cost(), n);
    qla::RiceBitWriter run;
    ASSERT_TRUE(run.Create());
    const int32_t coded = run.WriteRiceRun(residual, k, n);
    const int32_t bits = qla::BitsForMagnitude(reference.MaxAbs());
    const bool oversized = coded > 1.15 * ((bits * n) / 8);
    const bool expectVerbatim = oversized && coded > 10 && n > 5 && bits > 1;
    BlockEncoder e;
    ASSERT_EQ(e.Create(PcmFormat(1, 16), true), cv::kS_OK);
    ASSERT_EQ(e.EncodeBlock(n, Interleave({x}, 16).data()), cv::kS_OK);
    const auto& h = e.Header();
    const bool asChosen = h.fixedOrder[0] == reference.Order() && h.riceParam[0] == k &&
                          std::equal(h.lpcCoef[0], h.lpcCoef[0] + 4, reference.CoefficientBytes(0));
    const bool verbatim = h.fixedOrder[0] == 0 && h.riceParam[0] == bits - 1 &&
                          (h.lpcCoef[0][0] | h.lpcCoef[0][1] | h.lpcCoef[0][2] | h.lpcCoef[0][3]) == 0;
    ASSERT_TRUE(expectVerbatim ? verbatim : asChosen) << seed;
    fallbacks += expectVerbatim;
    heldBySize += oversized && coded <= 10 && n > 5;
  }
  EXPECT_GT(fallbacks, 0);
  EXPECT_GT(heldBySize, 0);
}

// A payload that reaches the limit is re-coded in verbatim form: channel 1
// first, and channel 0 as well only when that is not enough.
TEST(BlockEncoder, PayloadLimitRecodesChannelOneFirstThenBoth) {
  // A side of 211, 211, -211, -211, -211, ...: order 1 wins, and its residual
  // of 0 and +-422 takes about 10.2 bits a value in Rice codes, where the
  // side's own values take 10 in verbatim form.
  std::vector<int32_t> l(512), r(512);
  enctest::Tone tone(1.99, 9000, 9);
  for (int i = 0; i < 512; ++i) {
    l[i] = tone.Next(0);
    r[i] = l[i] - (i % 5 < 2 ? 211 : -211);
  }
  const auto pcm = Interleave({l, r}, 16);
  BlockEncoder normal, limited, tight;
  auto encode = [&pcm](BlockEncoder& e, int32_t limit) {
    EXPECT_EQ(e.Create(PcmFormat(2, 16), false), cv::kS_OK);
    if (limit) e.SetPayloadLimitForTesting(limit);
    EXPECT_EQ(e.EncodeBlock(512, pcm.data()), cv::kS_OK);
  };
  encode(normal, 0);
  encode(limited, static_cast<int32_t>(normal.PayloadSize()));
  encode(tight, 50);
  ASSERT_NE(normal.Header().fixedOrder[0], 0);
  ASSERT_NE(normal.Header().fixedOrder[1], 0);
  EXPECT_LT(limited.PayloadSize(), normal.PayloadSize());
  EXPECT_EQ(limited.Header().fixedOrder[0], normal.Header().fixedOrder[0]);
  EXPECT_EQ(limited.Header().riceParam[0], normal.Header().riceParam[0]);
  EXPECT_EQ(limited.Header().fixedOrder[1], 0);
  // A limit that nothing but verbatim coding of both channels can meet.
  EXPECT_EQ(tight.Header().fixedOrder[0] | tight.Header().fixedOrder[1], 0);
}

}  // namespace
