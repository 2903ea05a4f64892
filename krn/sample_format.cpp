#include "krn/sample_format.h"

#include "krn/little_endian.h"
#include "krn/platform/cpu.h"
#include "krn/results.h"
#include "krn/sample_converters.h"

#include <cstring>

namespace cv {

namespace {

SampleFormatId ByBits(WORD bits, SampleFormatId eight, SampleFormatId sixteen, SampleFormatId twentyFour,
                      SampleFormatId thirtyTwo) {
  switch (bits) {
    case 8: return eight;
    case 16: return sixteen;
    case 24: return twentyFour;
    case 32: return thirtyTwo;
    default: return kSampleFormatUnsupported;
  }
}

// WAVEFORMATEXTENSIBLE after the 18-byte WAVEFORMATEX: valid bits (u16),
// channel mask (u32), sub-format GUID. 22 extra bytes in all.
constexpr WORD kExtensibleExtraBytes = 22;

GUID LoadGuid(const uint8_t* p) {
  GUID g{};
  g.Data1 = LoadU32(p);
  g.Data2 = LoadU16(p + 4);
  g.Data3 = LoadU16(p + 6);
  std::memcpy(g.Data4, p + 8, 8);
  return g;
}

SampleFormatId ClassifyExtensible(const WAVEFORMATEX* format) {
  if (format->cbSize < kExtensibleExtraBytes) return kSampleFormatUnsupported;
  const uint8_t* extra = reinterpret_cast<const uint8_t*>(format) + sizeof(WAVEFORMATEX);
  const WORD validBits = static_cast<WORD>(extra[0] | (extra[1] << 8));
  if (!(LoadGuid(extra + 6) == kSubtypePcm)) return kSampleFormatUnsupported;
  if (format->wBitsPerSample == 32)
    return validBits == 24 || validBits == 32 ? kSampleS32 : kSampleFormatUnsupported;
  return ByBits(format->wBitsPerSample, kSampleU8, kSampleS16, kSampleS24, kSampleFormatUnsupported);
}

// The float rows (float or double source, destination 8-bit unsigned, 16-bit or
// 24-bit) choose an implementation by processor class. All classes share the one
// plain implementation here, so every class gives the same samples.
constexpr int kVariantRows = 6;
constexpr int kProcessorClasses = 7;

struct ConverterVariantTable {
  SampleConverter entries[kVariantRows][kProcessorClasses];
};

const ConverterVariantTable& Variants() {
  static const ConverterVariantTable table = [] {
    ConverterVariantTable t{};
    const SampleFormatId sources[2] = {kSampleF32, kSampleF64};
    const SampleFormatId destinations[3] = {kSampleU8, kSampleS16, kSampleS24};
    for (int s = 0; s < 2; ++s)
      for (int d = 0; d < 3; ++d)
        for (int c = 0; c < kProcessorClasses; ++c)
          t.entries[s * 3 + d][c] = PlainConverter(destinations[d], sources[s]);
    return t;
  }();
  return table;
}

int VariantRow(SampleFormatId dst, SampleFormatId src) {
  if (src != kSampleF32 && src != kSampleF64) return -1;
  if (dst != kSampleU8 && dst != kSampleS16 && dst != kSampleS24) return -1;
  return (src == kSampleF64 ? 3 : 0) + static_cast<int>(dst - kSampleU8);
}

}  // namespace

SampleFormatId ClassifySampleFormat(const WAVEFORMATEX* format) {
  if (!format) return kSampleFormatUnsupported;
  const WORD bits = format->wBitsPerSample;
  switch (format->wFormatTag) {
    case kFormatTagPcm:
      return ByBits(bits, kSampleU8, kSampleS16, kSampleS24, kSampleS32);
    case kFormatTagSignedPcm:
      return ByBits(bits, kSampleS8, kSampleS16, kSampleS24, kSampleS32);
    case kFormatTagBigEndianPcm:
      return ByBits(bits, kSampleU8, kSampleS16BE, kSampleS24BE, kSampleS32BE);
    case kFormatTagIeeeFloat:
      if (bits == 32) return kSampleF32;
      if (bits == 64) return kSampleF64;
      return kSampleFormatUnsupported;
    case kFormatTag24In32:
      return bits == 24 || bits == 32 ? kSampleS24In32 : kSampleFormatUnsupported;
    case kFormatTagExtensible:
      return ClassifyExtensible(format);
    default:
      return kSampleFormatUnsupported;
  }
}

int ProcessorClass() {
  static const int processorClass = [] {
    switch (cvplat::ProcessorType()) {
      case 486: return 1;
      case 586: return 2;
      default: return 0;
    }
  }();
  return processorClass;
}

SampleConverter GetConverterForIds(SampleFormatId dst, SampleFormatId src) {
  const int row = VariantRow(dst, src);
  if (row < 0) return PlainConverter(dst, src);
  int processorClass = ProcessorClass();
  if (processorClass > kProcessorClasses - 1) processorClass = kProcessorClasses - 1;
  return Variants().entries[row][processorClass];
}

SampleConverter GetConverter(const WAVEFORMATEX* dstFormat, const WAVEFORMATEX* srcFormat) {
  return GetConverterForIds(ClassifySampleFormat(dstFormat), ClassifySampleFormat(srcFormat));
}

[[nodiscard]] HRESULT ConvertSamples(const WAVEFORMATEX* dstFormat, void* dst, const WAVEFORMATEX* srcFormat, const void* src,
                       uint32_t frames, float gain) {
  if (frames == 0) return kS_OK;
  const SampleConverter convert = GetConverter(dstFormat, srcFormat);
  if (!convert) return kE_NOTIMPL;
  if (!dst || !src) return kE_POINTER;
  const uint64_t samples = uint64_t{srcFormat->nChannels} * frames;
  if (samples > UINT32_MAX) return kE_INVALIDARG;
  convert(dst, src, static_cast<uint32_t>(samples), gain);
  return kS_OK;
}

}  // namespace cv
