#include "krn/sample_format.h"

#include "krn/results.h"
#include "tests/support/pcm_test_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using namespace cv;
using Bytes = std::vector<uint8_t>;
using Int16s = std::vector<int16_t>;
using Int32s = std::vector<int32_t>;
using Floats = std::vector<float>;
using Doubles = std::vector<double>;

WAVEFORMATEX Format(WORD tag, WORD bits, WORD channels = 1) {
  WAVEFORMATEX f = cvtest::PcmFormat(channels, 44100, bits);
  f.wFormatTag = tag;
  return f;
}

// A WAVEFORMATEXTENSIBLE as raw bytes: 18-byte WAVEFORMATEX, valid bits,
// channel mask, sub-format GUID.
struct Extensible {
  alignas(4) uint8_t bytes[40] = {};
  const WAVEFORMATEX* Get() const { return reinterpret_cast<const WAVEFORMATEX*>(bytes); }
};

Extensible MakeExtensible(WORD bits, WORD validBits, const GUID& subtype, WORD cbSize = 22) {
  Extensible e;
  WAVEFORMATEX f = Format(kFormatTagExtensible, bits);
  f.cbSize = cbSize;
  std::memcpy(e.bytes, &f, sizeof f);
  std::memcpy(e.bytes + 18, &validBits, sizeof validBits);
  std::memcpy(e.bytes + 24, &subtype, sizeof subtype);  // GUIDs are stored little-endian
  return e;
}

// Converts with the converter of a pair of layouts, which must exist, into a
// buffer of its own and in place (the source at the start of a buffer large
// enough for the result): widening conversions walk backward, narrowing ones
// forward, so both give the same samples.
template <typename D, typename S>
std::vector<D> Convert(SampleFormatId dst, SampleFormatId src, const std::vector<S>& in, float gain = 1.0f) {
  SampleConverter convert = GetConverterForIds(dst, src);
  EXPECT_NE(convert, nullptr) << dst << " <- " << src;
  const auto n = static_cast<uint32_t>(in.size());
  std::vector<D> out(n);
  Bytes buffer(std::max(n * sizeof(S), n * sizeof(D)), 0xEE);
  std::memcpy(buffer.data(), in.data(), n * sizeof(S));
  if (!convert) return out;
  convert(out.data(), in.data(), n, gain);
  convert(buffer.data(), buffer.data(), n, gain);
  EXPECT_EQ(std::memcmp(buffer.data(), out.data(), n * sizeof(D)), 0) << "in place " << dst << " <- " << src;
  return out;
}

TEST(ClassifySampleFormat, TagsAndBitDepths) {
  struct Case {
    WORD tag, bits;
    SampleFormatId expected;
  };
  const Case cases[] = {
      {1, 8, kSampleU8},         {1, 16, kSampleS16},         {1, 24, kSampleS24},
      {1, 32, kSampleS32},       {1, 12, kSampleFormatUnsupported}, {1, 64, kSampleFormatUnsupported},
      {0xFE01, 8, kSampleS8},    {0xFE01, 16, kSampleS16},    {0xFE01, 32, kSampleS32},
      {0xFE02, 8, kSampleU8},    {0xFE02, 16, kSampleS16BE},  {0xFE02, 24, kSampleS24BE},
      {0xFE02, 32, kSampleS32BE}, {3, 32, kSampleF32},        {3, 64, kSampleF64},
      {3, 16, kSampleFormatUnsupported}, {0xFE00, 24, kSampleS24In32}, {0xFE00, 32, kSampleS24In32},
      {0xFE00, 16, kSampleFormatUnsupported}, {0x1971, 16, kSampleFormatUnsupported},
  };
  for (const Case& c : cases) {
    WAVEFORMATEX f = Format(c.tag, c.bits);
    EXPECT_EQ(ClassifySampleFormat(&f), c.expected) << "tag " << c.tag << " bits " << c.bits;
  }
  EXPECT_EQ(ClassifySampleFormat(nullptr), kSampleFormatUnsupported);
}

TEST(ClassifySampleFormat, ExtensibleNeedsPcmSubtypeAndValidBits) {
  const GUID floatSubtype = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(8, 8, kSubtypePcm).Get()), kSampleU8);
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(16, 16, kSubtypePcm).Get()), kSampleS16);
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(24, 20, kSubtypePcm).Get()), kSampleS24);
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(32, 24, kSubtypePcm).Get()), kSampleS32);
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(32, 32, kSubtypePcm).Get()), kSampleS32);
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(32, 20, kSubtypePcm).Get()), kSampleFormatUnsupported);
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(32, 32, floatSubtype).Get()), kSampleFormatUnsupported);
  // A record too short to hold the extension is not read past its end.
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(16, 16, kSubtypePcm, 0).Get()), kSampleFormatUnsupported);
  EXPECT_EQ(ClassifySampleFormat(MakeExtensible(16, 16, kSubtypePcm, 21).Get()), kSampleFormatUnsupported);
}

TEST(ConvertSamples, ResultsAndSampleCount) {
  WAVEFORMATEX stereo16 = Format(1, 16, 2), stereo24 = Format(1, 24, 2), pcm12 = Format(1, 12, 2);
  const int16_t in[6] = {1, -2, 3, -4, 5, -6};
  uint8_t out[6 * 3 + 3] = {};
  std::memset(out, 0xAA, sizeof out);
  EXPECT_EQ(ConvertSamples(&stereo24, out, &stereo16, in, 3, 1.0f), kS_OK);
  EXPECT_EQ(out[3 * 5 + 1], 0xFA);  // last sample -6 -> 0xFFFA00
  EXPECT_EQ(out[18], 0xAA);         // channels x frames samples, not one more
  EXPECT_EQ(ConvertSamples(&stereo24, out, &pcm12, in, 3, 1.0f), kE_NOTIMPL);  // no converter for 12 bits
  EXPECT_EQ(ConvertSamples(&pcm12, out, &stereo16, in, 3, 1.0f), kE_NOTIMPL);
  EXPECT_EQ(ConvertSamples(&stereo24, out, &pcm12, in, 0, 1.0f), kS_OK);
  EXPECT_EQ(ConvertSamples(&stereo24, nullptr, &stereo16, in, 3, 1.0f), kE_POINTER);
}

TEST(FloatTo16, TruncatesAndClips) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Floats in = {1.0f, -1.0f, 0.99999f, -0.00001f, 0.5f, -0.50001f, nan, 1e10f, -1e10f, 1.5f};
  const Int16s expected = {32767, -32768, 32767, 0, 16384, -16384, -32768, -32768, -32768, 32767};
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleF32, in), expected);
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleF64, Doubles(in.begin(), in.end())), expected);
  // Huge values keep the same rule through a gain.
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleF32, Floats{1e6f, 0.25f}, 2.0f), (Int16s{-32768, 16384}));
}

TEST(IntegerTo16, BitPathsAtUnitGain) {
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleU8, Bytes{0x80, 0xFF, 0x00, 0x81, 0x01, 0xC0}),
            (Int16s{0, 0x7F00, -32768, 0x0100, -32512, 0x4000}));
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleS8, Bytes{0x7F, 0x80, 0xFF}), (Int16s{0x7F00, -32768, -256}));
  EXPECT_EQ(Convert<int32_t>(kSampleS32, kSampleS8, Bytes{0x7F, 0x80, 0x01}),
            (Int32s{0x7F000000, INT32_MIN, 0x01000000}));
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleS24In32,
                             Int32s{0x00800000, -8388609, 0x00123456, -0x00123456, 0x7FFFFFFF}),
            (Int16s{32767, -32768, 0x1234, -0x1235, 32767}));
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleS32,
                             Int32s{0x7FFFFFFF, INT32_MIN, -1, 0x10000, 0x12345678, -0x10000, 0x7FFF0000}),
            (Int16s{32767, -32768, -1, 1, 0x1234, -1, 0x7FFF}));
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleS16BE, std::vector<uint16_t>{0x3412, 0xFEFF}), (Int16s{0x1234, -2}));
  // Packed 24-bit samples, little- and big-endian.
  const uint8_t packed[2][6] = {{0x56, 0x34, 0x12, 0x00, 0x00, 0x80}, {0x12, 0x34, 0x56, 0x80, 0x00, 0x00}};
  for (int bigEndian : {0, 1}) {
    int16_t out[2] = {};
    GetConverterForIds(kSampleS16, bigEndian ? kSampleS24BE : kSampleS24)(out, packed[bigEndian], 2, 1.0f);
    EXPECT_EQ(Int16s(out, out + 2), (Int16s{0x1234, -32768})) << bigEndian;
  }
}

// 16-bit samples through every layout that holds them and back, at unit gain.
TEST(RoundTrips, SixteenBitSamplesSurviveEveryWiderLayout) {
  Int16s s16 = {32767, -32768, 0, -1};
  uint32_t seed = 12345;
  for (int i = 0; i < 1000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    s16.push_back(static_cast<int16_t>(seed >> 16));
  }
  const uint32_t n = static_cast<uint32_t>(s16.size());
  const std::pair<SampleFormatId, size_t> layouts[] = {{kSampleS24, 3},     {kSampleS32, 4},    {kSampleF32, 4},
                                                       {kSampleF64, 8},     {kSampleS24In32, 4}, {kSampleS16BE, 2},
                                                       {kSampleS24BE, 3}};
  for (const auto& [id, bytes] : layouts) {
    Bytes wide(n * bytes);
    Int16s back(n);
    const SampleConverter to = GetConverterForIds(id, kSampleS16), from = GetConverterForIds(kSampleS16, id);
    ASSERT_TRUE(to && from) << id;
    to(wide.data(), s16.data(), n, 1.0f);
    from(back.data(), wide.data(), n, 1.0f);
    EXPECT_EQ(back, s16) << id;
  }
  // Between the wide layouts the low bits come along.
  Int32s s32(n), again(n);
  Bytes s24(n * 3);
  for (uint32_t i = 0; i < n; ++i) s32[i] = static_cast<int32_t>(static_cast<uint32_t>(s16[i]) << 16 | (i & 0xFF) << 8);
  GetConverterForIds(kSampleS24, kSampleS32)(s24.data(), s32.data(), n, 1.0f);
  GetConverterForIds(kSampleS32, kSampleS24)(again.data(), s24.data(), n, 1.0f);
  EXPECT_EQ(again, s32);
}

TEST(Gain, ScalesAndTruncatesTowardZero) {
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleS16, Int16s{1000, -1001, 20000, -20000, 3}, 0.5f),
            (Int16s{500, -500, 10000, -10000, 1}));
  // 8-bit: offset removed, then 127/128 x 0.5 x 32768.
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleU8, Bytes{0xFF, 0x00, 0x80}, 0.5f), (Int16s{16256, -16384, 0}));
  // 24 in 32 normalises by 2^23 without clipping the word first.
  EXPECT_EQ(Convert<int16_t>(kSampleS16, kSampleS24In32, Int32s{0x00800000, 0x00400000}, 0.25f), (Int16s{8192, 4096}));
  EXPECT_EQ(Convert<float>(kSampleF32, kSampleS16, Int16s{16384, -32768}, 0.5f), (Floats{0.25f, -0.5f}));
}

TEST(OtherDestinations, FullScaleAndClipping) {
  // Full-scale float saturates in 32-bit destinations rather than wrapping.
  EXPECT_EQ(Convert<int32_t>(kSampleS32, kSampleF32, Floats{1.0f, -1.0f, 0.5f, 4.0f}),
            (Int32s{INT32_MAX, INT32_MIN, 0x40000000, INT32_MAX}));
  EXPECT_EQ(Convert<int32_t>(kSampleS24In32, kSampleF64, Doubles{1.0, -1.0, -0.5}),
            (Int32s{8388607, -8388608, -4194304}));
  EXPECT_EQ(Convert<int32_t>(kSampleS24In32, kSampleS16, Int16s{-1, 0x1234}), (Int32s{-256, 0x123400}));
  EXPECT_EQ(Convert<uint8_t>(kSampleU8, kSampleS16, Int16s{0, -32768, 32767, -1}), (Bytes{0x80, 0x00, 0xFF, 0x7F}));
  EXPECT_EQ(Convert<uint8_t>(kSampleU8, kSampleF32, Floats{1.0f, -1.0f, 0.0f}), (Bytes{0xFF, 0x00, 0x80}));
  EXPECT_EQ(Convert<double>(kSampleF64, kSampleS8, Bytes{0x80, 0x40}), (Doubles{-1.0, 0.5}));
}

}  // namespace
