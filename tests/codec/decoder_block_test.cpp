// Hand-made blocks through BlockDecoder: header fields, end check, output
// packing, payload growth and failures; and the stereo reconstruction rules.
#include "ffplugs/cvla/codec/block_decoder.h"
#include "ffplugs/cvla/codec/sample_reconstruction.h"
#include "krn/platform/cpu.h"
#include "krn/results.h"
#include "tests/codec/decoder_block_builder.h"
#include "tests/codec/encoder_test_signals.h"
#include "tests/codec/memory_bytes.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

namespace {

using namespace qlatest;
using qla::BlockDecoder;

// A mono sync block (zero histories) of the codes with parameter k; the payload
// is cut or padded to payloadSize when one is given.
std::vector<uint8_t> MonoBlock(int16_t frameCount, uint8_t order, uint8_t k, const std::vector<int32_t>& codes,
                               size_t payloadSize) {
  TestBlock b;
  b.sync = true;
  b.frameCount = frameCount;
  b.fixedOrder[0] = order;
  b.riceParam[0] = k;
  BitPacker bits;
  for (int32_t r : codes) bits.PutRice(r, k);
  b.payload = bits.Bytes();
  if (payloadSize) b.payload.resize(payloadSize, 0);
  std::vector<uint8_t> out;
  AppendBlock(out, b, 1, 0);
  return out;
}

std::vector<int32_t> Ramp(int32_t n) {
  std::vector<int32_t> v(static_cast<size_t>(n));
  std::iota(v.begin(), v.end(), 0);
  return v;
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

// Every pair of edge and random values follows the rules, alone and in whole
// blocks of 16-bit output. Blocks take a plainer inverse when no value reaches
// 2^29: the same PCM either way, a mid of 0 with an odd side included, with the
// processor's vector extensions and without.
TEST(DecoderStereo, ReconstructionFollowsTheRulesForAnyValues) {
  std::mt19937 rng(3);
  std::vector<int32_t> values = {0, 1, -1, 2, -2, 0x3FFFFFFF, -0x40000000, 0x7FFFFFFF, -0x7FFFFFFF - 1}, small;
  for (int i = 0; i < 400; ++i) values.push_back(static_cast<int32_t>(rng()) >> (rng() % 32));
  for (int32_t v : values)
    if (v > -(1 << 29) && v < (1 << 29)) small.push_back(v);
  for (bool extensions : {true, false}) {
    cvplat::AllowProcessorExtensions(extensions);
    for (int32_t m : values) {
      for (const std::vector<int32_t>& side : {values, small}) {
        std::vector<int32_t> left, right;
        for (int32_t s : side) {
          const qla::StereoPair got = qla::MidSideToLeftRight(m, s), want = LiteralMidSide(m, s);
          ASSERT_EQ(got.left, want.left) << m << "," << s;
          ASSERT_EQ(got.right, want.right) << m << "," << s;
          left.push_back(want.left), right.push_back(want.right);
        }
        const std::vector<int32_t> mid(side.size(), m);
        std::vector<uint8_t> pcm(side.size() * 4);
        qla::WritePcm16(mid.data(), side.data(), 2, true, static_cast<uint32_t>(side.size()), pcm.data());
        ASSERT_EQ(pcm, enctest::Interleave({left, right}, 16)) << "mid " << m << ", extensions " << extensions;
      }
    }
  }
  cvplat::AllowProcessorExtensions(true);
}

TEST(DecoderBlock, MonoBlocksDecodeOrFailAsTheirFieldsSay) {
  const std::vector<int32_t> wide = {8388608, -8388609, 8388607, -8388608, 65541, -32769, 0x3FFFFFFF};
  const std::vector<int32_t> eight(8, 0), seven(7, 0), long8(8, 1999), long500(500, 500);
  const struct {
    const char* what;
    int16_t frameCount;
    uint8_t order, k;
    std::vector<int32_t> codes;
    size_t payloadSize;  // 0: as packed, with the zero byte after codes that end on a byte boundary
    uint32_t bits;
    std::vector<int32_t> want;  // no samples: the block fails
    uint32_t capacity;          // of the payload buffer afterwards
  } cases[] = {
      // The last channel must end within one byte of the payload size.
      {"8 one-bit codes in 2 bytes", 8, 0, 0, eight, 0, 16, eight, 4000},
      {"8 one-bit codes in 3 bytes", 8, 0, 0, eight, 3, 16, {}, 4000},
      {"7 one-bit codes in 1 byte", 7, 0, 0, seven, 0, 16, seven, 4000},
      {"7 one-bit codes in 2 bytes", 7, 0, 0, seven, 2, 16, {}, 4000},
      {"a 25-bit code in 2 bytes", 1, 0, 24, {0}, 2, 16, {0}, 4000},
      {"a 25-bit code in 1 byte", 1, 0, 24, {0}, 1, 16, {}, 4000},
      // 24-bit output clamps, 16-bit output keeps the low 16 bits.
      {"24-bit output", 7, 0, 20, wide, 0, 24, {8388607, -8388608, 8388607, -8388608, 65541, -32769, 8388607}, 4000},
      {"16-bit output", 7, 0, 20, wide, 0, 16, {0, -1, -1, 0, 5, 32767, -1}, 4000},
      // 1 to 512 frames; a negative count stands for its magnitude.
      {"-512 frames", -512, 0, 4, Ramp(512), 0, 16, Ramp(512), 4000},
      {"-32768 frames", -32768, 0, 4, Ramp(512), 0, 16, {}, 4000},
      // A silent channel reads no codes: only the header check can refuse these.
      {"513 frames of a silent channel", 513, qla::kSilentOrder, 4, {}, 0, 16, {}, 4000},
      {"0 frames of a silent channel", 0, qla::kSilentOrder, 4, {}, 0, 16, {}, 4000},
      // Orders above 4 fail, but for the silent channel's, which reads no codes and has no end check.
      {"order 6", 5, 6, 4, Ramp(5), 0, 16, {}, 4000},
      {"order 255", 5, 255, 4, Ramp(5), 0, 16, {}, 4000},
      {"silent", 5, qla::kSilentOrder, 4, Ramp(5), 0, 16, std::vector<int32_t>(5, 0), 4000},
      // The buffer grows until it holds the payload and a byte more, to at most 64000 bytes.
      {"8 codes of 3999 bits in 4000 bytes", 8, 0, 0, long8, 0, 16, long8, 8000},
      {"500 codes of 1001 bits", 500, 0, 0, long500, 0, 16, long500, 64000},
      {"64000 bytes", 1, 0, 0, {0}, 64000, 16, {}, 64000},
      {"65535 bytes", 1, 0, 0, {0}, 65535, 16, {}, 64000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BlockDecoder decoder;
    ASSERT_EQ(decoder.Initialize(1, c.bits, 0), cv::kS_OK);
    MemoryBytes source(MonoBlock(c.frameCount, c.order, c.k, c.codes, c.payloadSize));
    std::vector<uint8_t> pcm(BlockDecoder::kMaxBlockBytes);
    uint32_t bytes = 12345;
    EXPECT_EQ(decoder.DecodeBlock(source, pcm.data(), &bytes), c.want.empty() ? cv::CVERR_FILE_READ : cv::kS_OK);
    // A failed block delivers no bytes.
    ASSERT_EQ(bytes, c.want.size() * c.bits / 8);
    pcm.resize(bytes);
    EXPECT_EQ(pcm, enctest::Interleave({c.want}, static_cast<int>(c.bits)));
    EXPECT_EQ(decoder.PayloadCapacity(), c.capacity);
  }
}

}  // namespace
