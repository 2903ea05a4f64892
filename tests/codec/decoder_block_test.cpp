// Hand-made blocks through BlockDecoder: header fields, end check, prediction
// stages, stereo reconstruction, output packing, sync blocks and failures.
#include "ffplugs/cvla/codec/block_decoder.h"
#include "ffplugs/cvla/codec/sample_reconstruction.h"
#include "krn/platform/cpu.h"
#include "krn/results.h"
#include "tests/codec/memory_bytes.h"
#include "tests/codec/decoder_block_builder.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>

namespace {

using namespace qlatest;
using qla::BlockDecoder;

struct Decoded {
  HRESULT hr;
  std::vector<uint8_t> pcm;
};

// Decodes the first block of the bytes.
Decoded DecodeFirstBlock(BlockDecoder& decoder, const std::vector<uint8_t>& bytes) {
  MemoryBytes source(bytes);
  std::vector<uint8_t> pcm(BlockDecoder::kMaxBlockBytes);
  uint32_t n = 0;
  const HRESULT hr = decoder.DecodeBlock(source, pcm.data(), &n);
  pcm.resize(n);
  return {hr, pcm};
}

Decoded DecodeMono(const std::vector<uint8_t>& bytes, uint32_t bits = 16) {
  BlockDecoder decoder;
  EXPECT_EQ(decoder.Initialize(1, bits, 0), cv::kS_OK);
  return DecodeFirstBlock(decoder, bytes);
}

// The mono samples of decoded output of the given width.
std::vector<int32_t> Samples(const std::vector<uint8_t>& pcm, uint32_t bits = 16) {
  std::vector<int32_t> out(pcm.size() / (bits / 8));
  for (uint32_t i = 0; i < out.size(); ++i) out[i] = bits == 16 ? Sample16(pcm.data(), i) : Sample24(pcm.data(), i);
  return out;
}

// One mono block of the given residuals, order 0, parameter k.
std::vector<uint8_t> MonoBlock(const std::vector<int32_t>& residuals, uint8_t k, int extraPayload = 0) {
  BitPacker bits;
  for (int32_t r : residuals) bits.PutRice(r, k);
  TestBlock b;
  b.sync = true;
  b.frameCount = static_cast<int16_t>(residuals.size());
  b.riceParam[0] = k;
  b.payload = bits.Bytes();
  b.payload.resize(b.payload.size() + extraPayload, 0);
  std::vector<uint8_t> out;
  AppendBlock(out, b, 1, qla::kFlagsVersion);
  return out;
}

// The reconstruction rules one by one, with plain integer division.
qla::StereoPair LiteralMidSide(int32_t m, int32_t s) {
  const int32_t a = static_cast<int32_t>(2u * static_cast<uint32_t>(m) + static_cast<uint32_t>(s));
  const int32_t b = static_cast<int32_t>(2u * static_cast<uint32_t>(m) - static_cast<uint32_t>(s));
  auto half = [](int32_t x) { return x / 2; };
  auto away = [](int32_t x) { return x % 2 == 0 ? x / 2 : (x > 0 ? x / 2 + 1 : x / 2 - 1); };
  if (!((a > 0 && b < 0) || (a < 0 && b > 0))) return {half(a), half(b)};
  if ((m > 0 && s > 0) || (m < 0 && s < 0)) return {half(a), away(b)};
  return {away(a), half(b)};
}

TEST(DecoderStereo, ReconstructionFollowsTheRulesForAnyValues) {
  std::mt19937 rng(3);
  const int32_t edges[] = {0, 1, -1, 2, -2, 0x3FFFFFFF, -0x40000000, 0x7FFFFFFF, -0x7FFFFFFF - 1};
  std::vector<int32_t> values(std::begin(edges), std::end(edges));
  for (int i = 0; i < 400; ++i) values.push_back(static_cast<int32_t>(rng()) >> (rng() % 32));
  for (int32_t m : values) {
    for (int32_t s : values) {
      const qla::StereoPair got = qla::MidSideToLeftRight(m, s), want = LiteralMidSide(m, s);
      ASSERT_EQ(got.left, want.left) << m << "," << s;
      ASSERT_EQ(got.right, want.right) << m << "," << s;
    }
  }
  // Whole blocks take a plainer inverse when no value reaches 2^29: the same
  // PCM either way, a mid of 0 with an odd side included, with the processor's
  // vector extensions and without.
  std::vector<int32_t> small;
  for (int32_t v : values)
    if (v > -(1 << 29) && v < (1 << 29)) small.push_back(v);
  for (bool extensions : {true, false}) {
    cvplat::AllowProcessorExtensions(extensions);
    for (const std::vector<int32_t>* side : {&values, &small}) {
      const uint32_t frames = static_cast<uint32_t>(side->size());
      ASSERT_LE(frames, qla::kFramesPerBlock);
      for (int32_t m : small) {
        const std::vector<int32_t> mid(frames, m);
        std::vector<uint8_t> pcm(frames * 4);
        qla::WritePcm16(mid.data(), side->data(), 2, true, frames, pcm.data());
        for (uint32_t i = 0; i < frames; ++i) {
          const qla::StereoPair want = LiteralMidSide(m, (*side)[i]);
          ASSERT_EQ(static_cast<uint16_t>(want.left), qla::LoadU16(&pcm[4 * i])) << m << "," << (*side)[i];
          ASSERT_EQ(static_cast<uint16_t>(want.right), qla::LoadU16(&pcm[4 * i + 2])) << m << "," << (*side)[i];
        }
      }
    }
  }
  cvplat::AllowProcessorExtensions(true);
}

TEST(DecoderBlock, LastChannelMustEndWithinOneByteOfThePayloadSize) {
  // Eight one-bit codes fill exactly one byte; the stream carries one more zero byte.
  const std::vector<int32_t> zeros(8, 0);
  EXPECT_EQ(DecodeMono(MonoBlock(zeros, 0)).hr, cv::kS_OK);
  const Decoded d = DecodeMono(MonoBlock(zeros, 0, 1));
  EXPECT_EQ(d.hr, cv::CVERR_FILE_READ);
  EXPECT_TRUE(d.pcm.empty());
  // Seven codes leave the position inside the first byte: payload 1 passes, 2 fails.
  const std::vector<int32_t> seven(7, 0);
  EXPECT_EQ(DecodeMono(MonoBlock(seven, 0)).hr, cv::kS_OK);
  EXPECT_EQ(DecodeMono(MonoBlock(seven, 0, 1)).hr, cv::CVERR_FILE_READ);
}

TEST(DecoderBlock, OutputPackingClampsTwentyFourBitAndWrapsSixteenBit) {
  const std::vector<int32_t> values = {8388608, -8388609, 8388607, -8388608, 65541, -32769, 0x3FFFFFFF};
  const uint8_t orders[2] = {0, 0}, ks[2] = {20, 0};
  BlockSequence seq(1, 0);
  seq.Add({values}, orders, ks, true);
  // A failed block delivers no samples, so the comparisons also catch a failure.
  EXPECT_EQ(Samples(DecodeMono(seq.Bytes(), 24).pcm, 24),
            (std::vector<int32_t>{8388607, -8388608, 8388607, -8388608, 65541, -32769, 8388607}));
  EXPECT_EQ(Samples(DecodeMono(seq.Bytes()).pcm), (std::vector<int32_t>{0, -1, -1, 0, 5, 32767, -1}));
}

TEST(DecoderBlock, HeaderFieldsOutsideTheirRangeFailTheBlock) {
  auto decodeWith = [](int16_t frameCount, uint8_t order) {
    TestBlock b;
    b.sync = true;
    b.frameCount = frameCount;
    b.fixedOrder[0] = order;
    BitPacker bits;
    const int frames = frameCount < 0 ? -frameCount : frameCount;
    for (int i = 0; i < frames && i < 512; ++i) bits.PutRice(i, 4);
    b.riceParam[0] = 4;
    b.payload = bits.Bytes();
    std::vector<uint8_t> file;
    AppendBlock(file, b, 1, 0);
    return DecodeMono(file);
  };
  const std::pair<int16_t, uint8_t> refused[] = {{0, 0}, {513, 0}, {-32768, 0}, {5, 6}, {5, 255}};
  for (const auto& [frames, order] : refused)
    EXPECT_EQ(decodeWith(frames, order).hr, cv::CVERR_FILE_READ) << frames << " order " << int{order};
  const Decoded negative = decodeWith(-512, 0);
  ASSERT_EQ(negative.hr, cv::kS_OK);
  ASSERT_EQ(negative.pcm.size(), 1024u);
  EXPECT_EQ(Samples(negative.pcm)[511], 511);
  const Decoded silent = decodeWith(5, 5);
  EXPECT_EQ(silent.hr, cv::kS_OK);  // a silent mono block has no end check
  EXPECT_EQ(silent.pcm, std::vector<uint8_t>(10, 0));
}

TEST(DecoderBlock, PayloadBufferGrowsTo64000AndNoFurther) {
  // Long unary parts make a large payload: 500 codes of about 1000 bits.
  const std::vector<int32_t> big(500, 500);
  std::vector<uint8_t> file = MonoBlock(big, 0);
  BlockDecoder decoder;
  ASSERT_EQ(decoder.Initialize(1, 16, 0), cv::kS_OK);
  EXPECT_EQ(Samples(DecodeFirstBlock(decoder, file).pcm), std::vector<int32_t>(500, 500));
  EXPECT_EQ(decoder.PayloadCapacity(), 64000u);

  TestBlock huge;
  huge.frameCount = 1;
  for (size_t size : {65535u, 64000u}) {
    huge.payload.assign(size, 0xFF);
    std::vector<uint8_t> hugeFile;
    AppendBlock(hugeFile, huge, 1, 0);
    EXPECT_EQ(DecodeMono(hugeFile).hr, cv::CVERR_FILE_READ) << size;
  }
}

}  // namespace
