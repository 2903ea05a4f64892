// Sample formats: classifies a WAVEFORMATEX into one of eleven sample layouts and
// hands out converters between them, with an optional gain.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>

namespace cv {

enum SampleFormatId : uint32_t {
  kSampleFormatUnsupported = 0,
  kSampleU8 = 16,       // 8-bit unsigned (0x80 is silence)
  kSampleS16 = 17,      // 16-bit signed, little-endian
  kSampleS24 = 18,      // 24-bit signed packed in 3 bytes, little-endian
  kSampleS32 = 19,      // 32-bit signed, little-endian
  kSampleF32 = 32,      // 32-bit IEEE float
  kSampleF64 = 33,      // 64-bit IEEE float
  kSampleS24In32 = 48,  // 24-bit signed in the low three bytes of a 32-bit little-endian word
  kSampleS8 = 49,       // 8-bit signed
  kSampleS16BE = 64,    // 16-bit signed, big-endian
  kSampleS24BE = 65,    // 24-bit signed packed, big-endian
  kSampleS32BE = 66,    // 32-bit signed, big-endian
};

// Format tags recognised besides PCM (1) and IEEE float (3).
constexpr WORD kFormatTagPcm = 1;
constexpr WORD kFormatTagIeeeFloat = 3;
constexpr WORD kFormatTag24In32 = 0xFE00;
constexpr WORD kFormatTagSignedPcm = 0xFE01;
constexpr WORD kFormatTagBigEndianPcm = 0xFE02;
constexpr WORD kFormatTagExtensible = 0xFFFE;

// KSDATAFORMAT_SUBTYPE_PCM, the only accepted sub-format of the extensible tag.
constexpr GUID kSubtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// Converts `samples` interleaved samples (channels x frames) from src to dst.
// A gain of exactly 1.0 copies bits where the formats allow it.
using SampleConverter = void (*)(void* dst, const void* src, uint32_t samples, float gain);

// The layout of a format; kSampleFormatUnsupported for null or unknown formats.
// For the extensible tag the record must carry the full extension (cbSize >= 22).
SampleFormatId ClassifySampleFormat(const WAVEFORMATEX* format);

// The converter between two classified layouts, or null when there is none.
SampleConverter GetConverterForIds(SampleFormatId dst, SampleFormatId src);

// The converter between two formats, or null when either is unsupported or the
// pair has no converter.
SampleConverter GetConverter(const WAVEFORMATEX* dstFormat, const WAVEFORMATEX* srcFormat);

// Converts srcFormat->nChannels x frames samples. 0 frames: S_OK without effect.
// No converter: E_NOTIMPL. Null buffers: E_POINTER. A sample count beyond 32 bits:
// E_INVALIDARG.
[[nodiscard]] HRESULT ConvertSamples(const WAVEFORMATEX* dstFormat, void* dst, const WAVEFORMATEX* srcFormat, const void* src,
                       uint32_t frames, float gain);

// Processor class used to pick among converter implementations: 1 for a 486,
// 2 for a 586, 0 otherwise; computed once per process.
int ProcessorClass();

}  // namespace cv
