// Block encoder: format checks, the verbatim fallback and the payload limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "encoder_test_signals.h"
#include "ffplugs/cvla/codec/block_encoder.h"
#include "ffplugs/cvla/codec/exact_math.h"
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

TEST(BlockEncoder, VerbatimFallback) {
  // Faint noise does not compress: its Rice coding needs about 3 bits a value
  // where 2 bits hold it plainly, and it is coded verbatim.
  BlockEncoder e;
  ASSERT_EQ(e.Create(PcmFormat(1, 16), true), cv::kS_OK);
  auto x = Noise(512, 2, 11);
  ASSERT_EQ(e.EncodeBlock(512, Interleave({x}, 16).data()), cv::kS_OK);
  EXPECT_EQ(e.Header().fixedOrder[0], 0);
  EXPECT_EQ(e.Header().riceParam[0], 1);  // bits 2
  for (int j = 0; j < 4; ++j) EXPECT_EQ(e.Header().lpcCoef[0][j], 0);

  // Stereo with R = 0: mid is -1..1 (bits 1, never re-coded), side is the faint
  // noise and is re-coded after the writer is rewound to where channel 1 began.
  BlockEncoder s;
  ASSERT_EQ(s.Create(PcmFormat(2, 16), true), cv::kS_OK);
  ASSERT_EQ(s.EncodeBlock(512, Interleave({x, std::vector<int32_t>(512, 0)}, 16).data()), cv::kS_OK);
  EXPECT_EQ(s.Header().riceParam[0], 1);
  EXPECT_EQ(s.Header().fixedOrder[1], 0);
  EXPECT_EQ(s.Header().riceParam[1], 1);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(s.Header().lpcCoef[1][j], 0);

  // A channel of +-1 has bits = 1 and is never re-coded, though its Rice
  // coding (3 bits a value) is far above the 1-bit estimate.
  BlockEncoder m;
  ASSERT_EQ(m.Create(PcmFormat(1, 16), false), cv::kS_OK);
  auto signs = Noise(512, 1, 3);
  for (auto& s : signs) s = s >= 0 ? 1 : -1;
  ASSERT_EQ(m.EncodeBlock(512, Interleave({signs}, 16).data()), cv::kS_OK);
  EXPECT_EQ(m.Header().riceParam[0], 1);
  EXPECT_GT(m.PayloadSize(), 64u * 115 / 100);
}

TEST(BlockEncoder, ShortNoisyBlocksFallBackOnlyAboveFiveFrames) {
  // Each block is either coded as the analyzer chose (order, k from the cost,
  // coefficient bytes) or, with more than five frames, verbatim with order 0,
  // k = bits - 1 and zero coefficient bytes.
  int fallbacks = 0;
  for (uint32_t seed = 1; seed <= 3000; ++seed) {
    const int32_t n = 2 + static_cast<int32_t>(seed % 39);  // 2..40 frames
    auto x = Noise(static_cast<size_t>(n), 2 + static_cast<int32_t>(seed % 3), seed);
    x[seed % n] = 3;
    qla::PredictionAnalyzer reference;
    ASSERT_TRUE(reference.Create(true));
    reference.SelectPredictor(0, x.data(), n);
    BlockEncoder e;
    ASSERT_EQ(e.Create(PcmFormat(1, 16), true), cv::kS_OK);
    ASSERT_EQ(e.EncodeBlock(n, Interleave({x}, 16).data()), cv::kS_OK);
    const auto& h = e.Header();
    const bool asChosen = h.fixedOrder[0] == reference.Order() &&
                          h.riceParam[0] == qla::RiceParameterForCost(reference.Cost(), n) &&
                          std::equal(h.lpcCoef[0], h.lpcCoef[0] + 4, reference.CoefficientBytes(0));
    const bool verbatim = h.fixedOrder[0] == 0 && h.riceParam[0] == qla::BitsForMagnitude(reference.MaxAbs()) - 1 &&
                          (h.lpcCoef[0][0] | h.lpcCoef[0][1] | h.lpcCoef[0][2] | h.lpcCoef[0][3]) == 0;
    if (n <= 5) {
      ASSERT_TRUE(asChosen) << seed;
    } else {
      ASSERT_TRUE(asChosen || verbatim) << seed;
      fallbacks += !asChosen;
    }
  }
  EXPECT_GT(fallbacks, 0);
}

TEST(BlockEncoder, PayloadLimitRecodesVerbatim) {
  // Smooth mid, noisy side: lowering the limit below the payload forces the
  // re-coding that keeps every block within what a decoder can hold.
  std::vector<int32_t> l(512), r(512);
  enctest::Tone tone(1.99, 9000, 9);
  enctest::Lcg rng(77);
  for (int i = 0; i < 512; ++i) {
    l[i] = tone.Next(0);
    r[i] = l[i] - rng.Uniform(4000);  // side: uniform noise
  }
  const auto pcm = Interleave({l, r}, 16);
  BlockEncoder normal;
  ASSERT_EQ(normal.Create(PcmFormat(2, 16), true), cv::kS_OK);
  ASSERT_EQ(normal.EncodeBlock(512, pcm.data()), cv::kS_OK);
  const uint32_t full = normal.PayloadSize();
  ASSERT_NE(normal.Header().fixedOrder[0], 0);

  BlockEncoder limited;
  ASSERT_EQ(limited.Create(PcmFormat(2, 16), true), cv::kS_OK);
  limited.SetPayloadLimitForTesting(static_cast<int32_t>(full));
  ASSERT_EQ(limited.EncodeBlock(512, pcm.data()), cv::kS_OK);
  // Channel 1 is re-coded first; channel 0 only when that is not enough.
  EXPECT_EQ(limited.Header().fixedOrder[1], 0);
  if (limited.PayloadSize() < full) {
    EXPECT_EQ(limited.Header().fixedOrder[0], normal.Header().fixedOrder[0]);
    EXPECT_EQ(limited.Header().riceParam[0], normal.Header().riceParam[0]);
  } else {
    EXPECT_EQ(limited.Header().fixedOrder[0], 0);
  }

  // A limit nothing but verbatim coding of both channels can meet.
  BlockEncoder tight;
  ASSERT_EQ(tight.Create(PcmFormat(2, 16), true), cv::kS_OK);
  tight.SetPayloadLimitForTesting(50);
  ASSERT_EQ(tight.EncodeBlock(512, pcm.data()), cv::kS_OK);
  EXPECT_EQ(tight.Header().fixedOrder[0], 0);
  EXPECT_EQ(tight.Header().fixedOrder[1], 0);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(tight.Header().lpcCoef[0][j] | tight.Header().lpcCoef[1][j], 0);
}

}  // namespace
