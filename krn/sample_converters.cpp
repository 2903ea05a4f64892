#include "krn/sample_converters.h"

#include <array>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

namespace cv {

int32_t TruncateToInt32(double value) {
  // The range test is false for NaN as well.
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

namespace {

constexpr double kInvTwoPow31 = 1.0 / 2147483648.0;
constexpr double kInvTwoPow23 = 1.0 / 8388608.0;

// Full-scale 32-bit destinations saturate instead: a sample of exactly +1.0
// times 2^31 lies just outside the int32 range and must not turn into the most
// negative value.
int32_t SaturateToInt32(double value) {
  if (value != value) return INT32_MIN;
  if (value >= 2147483648.0) return INT32_MAX;
  if (value <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// Arithmetic right shift on the bit pattern, independent of how the compiler
// shifts negative numbers.
int32_t ShiftRightSigned(uint32_t word, unsigned bits) {
  if (bits == 0) return static_cast<int32_t>(word);
  uint32_t shifted = word >> bits;
  if (word & 0x80000000u) shifted |= ~(0xFFFFFFFFu >> bits);
  return static_cast<int32_t>(shifted);
}

double NormaliseAligned(uint32_t aligned) { return static_cast<double>(static_cast<int32_t>(aligned)) * kInvTwoPow31; }

uint32_t Load16LE(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8); }
uint32_t Load16BE(const uint8_t* p) { return static_cast<uint32_t>(p[1]) | (static_cast<uint32_t>(p[0]) << 8); }
uint32_t Load32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Load32BE(const uint8_t* p) {
  return static_cast<uint32_t>(p[3]) | (static_cast<uint32_t>(p[2]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[0]) << 24);
}

void Store16LE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Store16BE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
void Store24LE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
}
void Store24BE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 16);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v);
}
void Store32LE(uint8_t* p, uint32_t v) {
  Store16LE(p, v);
  Store16LE(p + 2, v >> 16);
}
void Store32BE(uint8_t* p, uint32_t v) {
  Store16BE(p, v >> 16);
  Store16BE(p + 2, v);
}

// Source layouts. Integer sources give Aligned(): the sample in the top bits of
// a 32-bit word, used for the exact bit paths at unit gain. Every source gives
// Value(): integers normalised to [-1, 1), floats as they are.
struct IntegerSource {
  static constexpr bool kIsFloat = false;
};

struct SrcU8 : IntegerSource {
  static constexpr SampleFormatId kId = kSampleU8;
  static constexpr size_t kBytes = 1;
  static uint32_t Aligned(const uint8_t* p) { return static_cast<uint32_t>(p[0] ^ 0x80u) << 24; }
  static double Value(const uint8_t* p) { return NormaliseAligned(Aligned(p)); }
};
struct SrcS8 : IntegerSource {
  static constexpr SampleFormatId kId = kSampleS8;
  static constexpr size_t kBytes = 1;
  static uint32_t Aligned(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24; }
  static double Value(const uint8_t* p) { return NormaliseAligned(Aligned(p)); }
};
struct SrcS16 : IntegerSource {
  static constexpr SampleFormatId kId = kSampleS16;
  static constexpr size_t kBytes = 2;
  static uint32_t Aligned(const uint8_t* p) { return Load16LE(p) << 16; }
  static double Value(const uint8_t* p) { return NormaliseAligned(Aligned(p)); }
};
struct SrcS16BE : IntegerSource {
  static constexpr SampleFormatId kId = kSampleS16BE;
  static constexpr size_t kBytes = 2;
  static uint32_t Aligned(const uint8_t* p) { return Load16BE(p) << 16; }
  static double Value(const uint8_t* p) { return NormaliseAligned(Aligned(p)); }
};
struct SrcS24 : IntegerSource {
  static constexpr SampleFormatId kId = kSampleS24;
  static constexpr size_t kBytes = 3;
  static uint32_t Aligned(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) | (static_cast<uint32_t>(p[2]) << 24);
  }
  static double Value(const uint8_t* p) { return NormaliseAligned(Aligned(p)); }
};
struct SrcS24BE : IntegerSource {
  static constexpr SampleFormatId kId = kSampleS24BE;
  static constexpr size_t kBytes = 3;
  static uint32_t Aligned(const uint8_t* p) {
    return (static_cast<uint32_t>(p[2]) << 8) | (static_cast<uint32_t>(p[1]) << 16) | (static_cast<uint32_t>(p[0]) << 24);
  }
  static double Value(const uint8_t* p) { return NormaliseAligned(Aligned(p)); }
};
struct SrcS32 : IntegerSource {
  static constexpr SampleFormatId kId = kSampleS32;
  static constexpr size_t kBytes = 4;
  static uint32_t Aligned(const uint8_t* p) { return Load32LE(p); }
  static double Value(const uint8_t* p) { return NormaliseAligned(Aligned(p)); }
};
struct SrcS32BE : IntegerSource {
  static constexpr SampleFormatId kId = kSampleS32BE;
  static constexpr size_t kBytes = 4;
  static uint32_t Aligned(const uint8_t* p) { return Load32BE(p); }
  static double Value(const uint8_t* p) { return NormaliseAligned(Aligned(p)); }
};
// The word may hold more than 24 significant bits; the bit path clips it to the
// 24-bit range, the scaled path takes it as it is.
struct SrcS24In32 : IntegerSource {
  static constexpr SampleFormatId kId = kSampleS24In32;
  static constexpr size_t kBytes = 4;
  static uint32_t Aligned(const uint8_t* p) {
    int32_t word = static_cast<int32_t>(Load32LE(p));
    if (word < -8388608) word = -8388608;
    if (word > 8388607) word = 8388607;
    return static_cast<uint32_t>(word) << 8;
  }
  static double Value(const uint8_t* p) { return static_cast<double>(static_cast<int32_t>(Load32LE(p))) * kInvTwoPow23; }
};
struct SrcF32 {
  static constexpr SampleFormatId kId = kSampleF32;
  static constexpr bool kIsFloat = true;
  static constexpr size_t kBytes = 4;
  static double Value(const uint8_t* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
};
struct SrcF64 {
  static constexpr SampleFormatId kId = kSampleF64;
  static constexpr bool kIsFloat = true;
  static constexpr size_t kBytes = 8;
  static double Value(const uint8_t* p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
};

// Integer destination layouts of kBits significant bits; Store() takes a value
// already in the destination's range.
template <SampleFormatId Id, unsigned Bits, size_t Bytes, void (*StoreWord)(uint8_t*, uint32_t)>
struct IntegerDestination {
  static constexpr SampleFormatId kId = Id;
  static constexpr bool kIsFloat = false;
  static constexpr size_t kBytes = Bytes;
  static constexpr int32_t kMax = static_cast<int32_t>((1u << (Bits - 1)) - 1u);
  static constexpr int32_t kMin = -kMax - 1;
  static constexpr float kFullScale = static_cast<float>(1u << (Bits - 1));

  static void StoreAligned(uint8_t* p, uint32_t aligned) { StoreWord(p, static_cast<uint32_t>(ShiftRightSigned(aligned, 32 - Bits))); }
  static void StoreScaled(uint8_t* p, double scaled) {
    int32_t v = Bits == 32 ? SaturateToInt32(scaled) : TruncateToInt32(scaled);
    if (v < kMin) v = kMin;
    if (v > kMax) v = kMax;
    StoreWord(p, static_cast<uint32_t>(v));
  }
};

void StoreU8(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v ^ 0x80u); }
void StoreS8(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v); }

using DstU8 = IntegerDestination<kSampleU8, 8, 1, StoreU8>;
using DstS8 = IntegerDestination<kSampleS8, 8, 1, StoreS8>;
using DstS16 = IntegerDestination<kSampleS16, 16, 2, Store16LE>;
using DstS16BE = IntegerDestination<kSampleS16BE, 16, 2, Store16BE>;
using DstS24 = IntegerDestination<kSampleS24, 24, 3, Store24LE>;
using DstS24BE = IntegerDestination<kSampleS24BE, 24, 3, Store24BE>;
using DstS32 = IntegerDestination<kSampleS32, 32, 4, Store32LE>;
using DstS32BE = IntegerDestination<kSampleS32BE, 32, 4, Store32BE>;
using DstS24In32 = IntegerDestination<kSampleS24In32, 24, 4, Store32LE>;

struct DstF32 {
  static constexpr SampleFormatId kId = kSampleF32;
  static constexpr bool kIsFloat = true;
  static constexpr size_t kBytes = 4;
  static void StoreValue(uint8_t* p, double value) {
    const float v = static_cast<float>(value);
    std::memcpy(p, &v, sizeof v);
  }
};
struct DstF64 {
  static constexpr SampleFormatId kId = kSampleF64;
  static constexpr bool kIsFloat = true;
  static constexpr size_t kBytes = 8;
  static void StoreValue(uint8_t* p, double value) { std::memcpy(p, &value, sizeof value); }
};

// Widening conversions walk from the last sample to the first and narrowing ones
// from the first, and each sample is read completely before its result is
// written: a buffer can be converted in place when both start at the same byte.
template <class D, class S, class Step>
void ForEachSample(uint8_t* dst, const uint8_t* src, uint32_t samples, Step step) {
  if constexpr (D::kBytes > S::kBytes) {
    for (uint32_t i = samples; i-- > 0;) step(dst + size_t{i} * D::kBytes, src + size_t{i} * S::kBytes);
  } else {
    for (uint32_t i = 0; i < samples; ++i) step(dst + size_t{i} * D::kBytes, src + size_t{i} * S::kBytes);
  }
}

template <class D, class S>
void ConvertPair(void* dstBuffer, const void* srcBuffer, uint32_t samples, float gain) {
  auto* dst = static_cast<uint8_t*>(dstBuffer);
  const auto* src = static_cast<const uint8_t*>(srcBuffer);
  if constexpr (D::kId == S::kId) {
    if (gain == 1.0f) {
      if (dst != src) std::memmove(dst, src, size_t{samples} * S::kBytes);
      return;
    }
  }
  if constexpr (!S::kIsFloat && !D::kIsFloat) {
    if (gain == 1.0f) {
      ForEachSample<D, S>(dst, src, samples, [](uint8_t* d, const uint8_t* s) { D::StoreAligned(d, S::Aligned(s)); });
      return;
    }
  }
  if constexpr (D::kIsFloat) {
    const double g = gain;
    ForEachSample<D, S>(dst, src, samples, [g](uint8_t* d, const uint8_t* s) { D::StoreValue(d, S::Value(s) * g); });
  } else {
    // gain x full scale is formed in single precision (exact but for overflow),
    // the product with the sample in double.
    const double factor = static_cast<double>(gain * D::kFullScale);
    ForEachSample<D, S>(dst, src, samples,
                        [factor](uint8_t* d, const uint8_t* s) { D::StoreScaled(d, S::Value(s) * factor); });
  }
}

// Layouts in the order of the table index.
using Sources = std::tuple<SrcU8, SrcS16, SrcS24, SrcS32, SrcF32, SrcF64, SrcS24In32, SrcS8, SrcS16BE, SrcS24BE, SrcS32BE>;
using Destinations =
    std::tuple<DstU8, DstS16, DstS24, DstS32, DstF32, DstF64, DstS24In32, DstS8, DstS16BE, DstS24BE, DstS32BE>;
constexpr SampleFormatId kLayouts[] = {kSampleU8,      kSampleS16, kSampleS24,   kSampleS32,   kSampleF32,  kSampleF64,
                                       kSampleS24In32, kSampleS8,  kSampleS16BE, kSampleS24BE, kSampleS32BE};
constexpr size_t kLayoutCount = sizeof kLayouts / sizeof kLayouts[0];

template <size_t... I>
constexpr std::array<SampleConverter, sizeof...(I)> MakeConverterTable(std::index_sequence<I...>) {
  return {{&ConvertPair<std::tuple_element_t<I / kLayoutCount, Destinations>,
                        std::tuple_element_t<I % kLayoutCount, Sources>>...}};
}
constexpr auto kAllConverters = MakeConverterTable(std::make_index_sequence<kLayoutCount * kLayoutCount>{});

constexpr uint64_t Bit(SampleFormatId id) { return uint64_t{1} << (id - kSampleU8); }
constexpr uint64_t kCommonSources = Bit(kSampleU8) | Bit(kSampleS16) | Bit(kSampleS24) | Bit(kSampleS32) |
                                    Bit(kSampleF32) | Bit(kSampleF64) | Bit(kSampleS24In32) | Bit(kSampleS8);

// The sources that have a converter to a destination.
uint64_t SourcesFor(SampleFormatId dst) {
  switch (dst) {
    case kSampleU8:
    case kSampleS24In32:
      return kCommonSources;
    case kSampleS16:
    case kSampleS8:
    case kSampleF64:
      return kCommonSources | Bit(kSampleS16BE) | Bit(kSampleS24BE);
    case kSampleS24:
      return kCommonSources | Bit(kSampleS24BE);
    case kSampleS32:
      return kCommonSources | Bit(kSampleS32BE);
    case kSampleF32:
      return kCommonSources | Bit(kSampleS16BE) | Bit(kSampleS24BE) | Bit(kSampleS32BE);
    case kSampleS16BE:
    case kSampleS24BE:
      return (kCommonSources & ~Bit(kSampleS24In32)) | Bit(kSampleS16BE) | Bit(kSampleS24BE);
    case kSampleS32BE:
      return Bit(kSampleS16) | Bit(kSampleS24) | Bit(kSampleS32) | Bit(kSampleF32) | Bit(kSampleF64) |
             Bit(kSampleS32BE);
    default:
      return 0;
  }
}

int LayoutIndex(SampleFormatId id) {
  for (size_t i = 0; i < kLayoutCount; ++i)
    if (kLayouts[i] == id) return static_cast<int>(i);
  return -1;
}

}  // namespace

SampleConverter PlainConverter(SampleFormatId dst, SampleFormatId src) {
  const int d = LayoutIndex(dst);
  const int s = LayoutIndex(src);
  if (d < 0 || s < 0) return nullptr;
  if ((SourcesFor(dst) & Bit(src)) == 0) return nullptr;
  return kAllConverters[static_cast<size_t>(d) * kLayoutCount + static_cast<size_t>(s)];
}

}  // namespace cv
