#include "tools/qla/wav_audio_stream.h"

#include "krn/results.h"
#include "krn/sample_format.h"
#include "tools/qla/interrupt.h"

#include <cstdio>
#include <cstring>

namespace qlatool {

bool StoredAsIs(const WAVEFORMATEX* source) {
  cv::SampleFormatId id = cv::ClassifySampleFormat(source);
  return id == cv::kSampleS16 || id == cv::kSampleS24;
}

std::string DescribeSampleLayout(const WAVEFORMATEX* source) {
  switch (cv::ClassifySampleFormat(source)) {
    case cv::kSampleU8: return "8-bit unsigned";
    case cv::kSampleS8: return "8-bit signed";
    case cv::kSampleS16: return "16-bit";
    case cv::kSampleS24: return "24-bit";
    case cv::kSampleS32: return "32-bit integer";
    case cv::kSampleF32: return "32-bit float";
    case cv::kSampleF64: return "64-bit float";
    case cv::kSampleS24In32: return "24-bit in 32-bit words";
    case cv::kSampleS16BE: return "16-bit big-endian";
    case cv::kSampleS24BE: return "24-bit big-endian";
    case cv::kSampleS32BE: return "32-bit big-endian";
    default: break;
  }
  return "format tag 0x" + [](unsigned v) {
    char t[8];
    std::snprintf(t, sizeof t, "%04X", v);
    return std::string(t);
  }(source->wFormatTag) + " with " + std::to_string(source->wBitsPerSample) + " bits";
}

WavAudioStream::WavAudioStream(cv::WavReader* wav, const WAVEFORMATEX& delivered)
    : wav_(wav),
      delivered_(delivered),
      converts_(cv::ClassifySampleFormat(&wav->SampleLayout()) != cv::ClassifySampleFormat(&delivered)) {}

void* WavAudioStream::FindInterface(REFIID iid) {
  if (iid == cvla::IID_IQlaSourceDigest) return static_cast<cvla::IQlaSourceDigest*>(&digestPart_);
  if (iid != cv::kIID_IUnknown && iid != cv::IID_ICvAudioStream && iid != cv::IID_ICvAudioStreamEx) return nullptr;
  return static_cast<cv::ICvAudioStream*>(this);
}

HRESULT stream_detail::DigestPart::HandOverDigest(cv::Md5** md5) {
  if (!md5) return cv::kE_POINTER;
  owner_->readsHash_ = false;
  *md5 = &owner_->digest_;
  return cv::kS_OK;
}

HRESULT WavAudioStream::GetFileType(cv::ICvFileType** out) {
  if (out) *out = nullptr;
  return cv::kE_NOTIMPL;
}
HRESULT WavAudioStream::GetReader(cv::ICvFileReader** out) {
  if (out) *out = nullptr;
  return cv::kE_NOTIMPL;
}
HRESULT WavAudioStream::GetFlags(uint32_t* out) {
  if (out) *out = 0;
  return cv::kS_OK;
}
HRESULT WavAudioStream::GetIdentity(uint32_t* type, uint32_t* second, uint32_t* index) {
  if (type) *type = 1;
  if (second) *second = 0;
  if (index) *index = 0;
  return cv::kS_OK;
}
HRESULT WavAudioStream::GetDuration(uint64_t* out) {
  if (!out) return cv::kE_POINTER;
  *out = static_cast<uint64_t>(static_cast<double>(wav_->Frames()) / delivered_.nSamplesPerSec * 10000000.0);
  return cv::kS_OK;
}
HRESULT WavAudioStream::GetStartTime(uint64_t* out) {
  if (out) *out = 0;
  return cv::kS_OK;
}
HRESULT WavAudioStream::SetThreadId(uint32_t) { return cv::kS_OK; }
HRESULT WavAudioStream::Stop() { return cv::kS_OK; }

HRESULT WavAudioStream::GetLength(uint64_t* frames) {
  if (!frames) return cv::kE_POINTER;
  *frames = wav_->Frames();
  return cv::kS_OK;
}

// The stream presents the audio as it delivers it: in the file's format.
HRESULT WavAudioStream::GetFormat(void* format, uint32_t formatSize, uint32_t* formatNeeded, void* extra,
                                  uint32_t extraSize, uint32_t* extraNeeded) {
  if (formatNeeded) *formatNeeded = sizeof(WAVEFORMATEX);
  if (extraNeeded) *extraNeeded = 0;
  if (format) {
    if (formatSize < sizeof(WAVEFORMATEX)) return cv::kE_OUTOFMEMORY;
    std::memcpy(format, &delivered_, sizeof(WAVEFORMATEX));
  }
  (void)extra;
  (void)extraSize;
  return cv::kS_OK;
}

HRESULT WavAudioStream::SetOutputFormat(const WAVEFORMATEX*, const uint32_t*) { return cv::kE_NOTIMPL; }

HRESULT WavAudioStream::GetFormatPointers(const WAVEFORMATEX** format, const void** extra) {
  if (format) *format = &delivered_;
  if (extra) *extra = nullptr;
  return cv::kS_OK;
}

HRESULT WavAudioStream::Read(uint64_t position, void* buffer, uint32_t frames, uint32_t* framesRead) {
  if (!framesRead || !buffer) return cv::kE_POINTER;
  *framesRead = 0;
  if (position >= wav_->Frames()) return cv::kS_FALSE;
  HRESULT hr;
  uint32_t got = 0;
  if (!converts_) {
    hr = wav_->ReadFrames(position, frames, buffer, &got);
  } else {
    scratch_.resize(static_cast<size_t>(frames) * wav_->FrameBytes());
    hr = wav_->ReadFrames(position, frames, scratch_.data(), &got);
    if (cv::Succeeded(hr)) hr = cv::ConvertSamples(&delivered_, buffer, &wav_->SampleLayout(), scratch_.data(), got, 1.0f);
  }
  if (cv::Failed(hr)) return hr;
  *framesRead = got;
  if (position == hashedFrames_) {
    if (readsHash_) digest_.Update(buffer, static_cast<size_t>(got) * delivered_.nBlockAlign);
    hashedFrames_ += got;
  }
  if (onFrames_) onFrames_(got);
  return cv::kS_OK;
}

[[nodiscard]] HRESULT DigestOfSource(cv::WavReader* wav, const WAVEFORMATEX& delivered, cv::Md5::Digest* digest) {
  WavAudioStream stream(wav, delivered);
  constexpr uint32_t kChunk = 16384;
  std::vector<uint8_t> buffer(static_cast<size_t>(kChunk) * delivered.nBlockAlign);
  for (uint64_t position = 0; position < wav->Frames();) {
    if (Interrupted()) return cv::CVERR_CANCELLED;
    uint32_t got = 0;
    HRESULT hr = stream.Read(position, buffer.data(), kChunk, &got);
    if (hr != cv::kS_OK) return cv::Failed(hr) ? hr : cv::CVERR_FILE_READ;
    position += got;
  }
  *digest = stream.FinishDigest();
  return cv::kS_OK;
}

HRESULT WavAudioStream::Reserved16() { return cv::kE_NOTIMPL; }
HRESULT WavAudioStream::Reserved17() { return cv::kE_NOTIMPL; }

HRESULT InterruptingProgressSink::SetRange(uint32_t, uint32_t, uint32_t) { return cv::kS_OK; }

HRESULT InterruptingProgressSink::SetProgress(uint64_t percent) {
  percent_ = percent;
  return Interrupted() ? cv::kE_FAIL : cv::kS_OK;
}

}  // namespace qlatool
