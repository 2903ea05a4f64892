#include "tests/support/pcm_test_stream.h"

#include "krn/results.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace cvtest {

WAVEFORMATEX PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  WAVEFORMATEX f{};
  f.wFormatTag = 1;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.nBlockAlign = static_cast<WORD>(channels * (bits / 8));
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  f.wBitsPerSample = bits;
  return f;
}

namespace {

void PutSample(uint8_t* p, int32_t value, uint16_t bits) {
  uint32_t u = static_cast<uint32_t>(value);
  for (int i = 0; i < bits / 8; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
}

}  // namespace

PcmAudio SyntheticAudio(uint16_t channels, uint32_t rate, uint16_t bits, uint64_t frames, uint32_t seed) {
  PcmAudio audio;
  audio.format = PcmFormat(channels, rate, bits);
  audio.bytes.resize(static_cast<size_t>(frames) * audio.format.nBlockAlign);
  const double full = bits == 24 ? 8388607.0 : (bits == 8 ? 127.0 : 32767.0);
  uint32_t lcg = seed * 2654435761u + 12345u;
  uint8_t* out = audio.bytes.data();
  for (uint64_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    for (uint16_t c = 0; c < channels; ++c) {
      lcg = lcg * 1664525u + 1013904223u;
      const double noise = (static_cast<double>(lcg >> 8) / 16777216.0 - 0.5) * 0.02;
      const double v = 0.45 * std::sin(2 * 3.14159265358979 * (220.0 + 110.0 * c) * t) +
                       0.2 * std::sin(2 * 3.14159265358979 * 1375.0 * t + c) + noise;
      int32_t s = static_cast<int32_t>(v * full);
      if (bits == 8) s = s + 128;  // unsigned bytes
      PutSample(out, s, bits);
      out += bits / 8;
    }
  }
  return audio;
}

PcmTestStream::PcmTestStream(PcmAudio audio)
    : audio_(std::move(audio)), reported_(audio_.format), announced_(audio_.Frames()) {}

HRESULT CV_STDCALL PcmTestStream::QueryInterface(REFIID iid, void** out) {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  const bool stream = iid == cv::IID_ICvAudioStream || iid == cv::IID_ICvAudioStreamEx;
  if ((stream && !hideInterface_) || iid == cv::kIID_IUnknown) {
    *out = static_cast<cv::ICvAudioStream*>(this);
    AddRef();
    return cv::kS_OK;
  }
  if (iid == cvla::IID_IQlaSourceDigest && offerDigest_) {
    *out = static_cast<cvla::IQlaSourceDigest*>(&digestPart_);
    AddRef();
    return cv::kS_OK;
  }
  return cv::kE_NOINTERFACE;
}

HRESULT CV_STDCALL PcmTestStream::GetLength(uint64_t* frames) {
  if (!frames) return cv::kE_POINTER;
  *frames = announced_;
  return cv::kS_OK;
}

HRESULT CV_STDCALL PcmTestStream::GetFormat(void* format, uint32_t formatSize, uint32_t* formatNeeded, void*,
                                            uint32_t, uint32_t*) {
  if (!format) {
    if (formatSizeFailure_) return formatSizeFailure_;
    if (formatNeeded) *formatNeeded = sizeof(WAVEFORMATEX);
    return cv::kS_OK;
  }
  if (formatDataFailure_) return formatDataFailure_;
  if (formatSize < sizeof(WAVEFORMATEX)) return cv::kE_INVALIDARG;
  std::memcpy(format, &reported_, sizeof(WAVEFORMATEX));
  if (formatNeeded) *formatNeeded = sizeof(WAVEFORMATEX);
  return cv::kS_OK;
}

HRESULT CV_STDCALL PcmTestStream::GetFormatPointers(const WAVEFORMATEX** format, const void** extra) {
  if (format) *format = &reported_;
  if (extra) *extra = nullptr;
  return cv::kS_OK;
}

HRESULT CV_STDCALL PcmTestStream::Read(uint64_t position, void* buffer, uint32_t frames, uint32_t* framesRead) {
  ++readCalls_;
  if (framesRead) *framesRead = 0;
  const uint64_t total = audio_.Frames();
  uint64_t end = std::min<uint64_t>(position + frames, total);
  if (maxPerRead_ && end > position + maxPerRead_) end = position + maxPerRead_;
  const bool failing = end > failAt_ || position >= failAt_ || (failEndingThere_ && end == failAt_);
  if (failing) end = std::max(position, std::min(end, failAt_));
  const uint64_t count = end > position ? end - position : 0;
  if (count) {
    const size_t align = audio_.format.nBlockAlign;
    std::memcpy(buffer, audio_.bytes.data() + position * align, static_cast<size_t>(count) * align);
  }
  if (framesRead) *framesRead = static_cast<uint32_t>(count);
  if (failing) return failCode_;
  return count ? cv::kS_OK : cv::kS_FALSE;
}

}  // namespace cvtest
