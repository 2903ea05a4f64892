// The host side of an encode: an audio stream over a WAVE source that delivers
// frames in the format of the file being written, converting the samples when
// the source's layout differs (--bits), and a progress sink that reports what
// the render has done and asks it to stop after an interrupt.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/renderer/source_digest.h"
#include "krn/com_object.h"
#include "krn/md5.h"
#include "krn/results.h"
#include "krn/wav_reader.h"

#include <functional>
#include <vector>

namespace qlatool {

class WavAudioStream;
namespace stream_detail {
// Hands the stream's digest to a render that hashes the delivered bytes itself.
class DigestPart final : public cv::ComPart<WavAudioStream, cvla::IQlaSourceDigest> {
 public:
  using ComPart::ComPart;
  HRESULT CV_STDCALL HandOverDigest(cv::Md5** md5) override;
};
}  // namespace stream_detail

// Both objects live on the caller's stack: their last Release frees nothing.
class WavAudioStream final : public cv::ComObject<WavAudioStream, cv::PlainCount, cv::ICvAudioStream> {
 public:
  // wav must stay open for the stream's life; delivered is the file format
  // (PCM, 16 or 24 bits, the source's channels and rate).
  WavAudioStream(cv::WavReader* wav, const WAVEFORMATEX& delivered);

  // Called with the number of frames of every successful read.
  void OnFrames(std::function<void(uint32_t)> callback) { onFrames_ = std::move(callback); }
  bool Converts() const { return converts_; }
  // The MD5 digest of the delivered bytes, fed while the reads come in order
  // from the first frame (by the reads, or by a render it was handed over to);
  // HashedFrames tells how far that went.
  uint64_t HashedFrames() const { return hashedFrames_; }
  cv::Md5::Digest FinishDigest() { return digest_.Finish(); }
  // The reads feed no digest: for a pass that compares, where hashing would
  // only cost time.
  void HashNothing() { readsHash_ = false; }

  void* FindInterface(REFIID iid);
  void FinalRelease() {}
  HRESULT CV_STDCALL GetFileType(cv::ICvFileType** out) override;
  HRESULT CV_STDCALL GetReader(cv::ICvFileReader** out) override;
  HRESULT CV_STDCALL GetFlags(uint32_t* out) override;
  HRESULT CV_STDCALL GetIdentity(uint32_t* type, uint32_t* second, uint32_t* index) override;
  HRESULT CV_STDCALL GetDuration(uint64_t* out) override;
  HRESULT CV_STDCALL GetStartTime(uint64_t* out) override;
  HRESULT CV_STDCALL SetThreadId(uint32_t threadId) override;
  HRESULT CV_STDCALL Stop() override;
  HRESULT CV_STDCALL GetLength(uint64_t* frames) override;
  HRESULT CV_STDCALL GetFormat(void* format, uint32_t formatSize, uint32_t* formatNeeded, void* extra,
                               uint32_t extraSize, uint32_t* extraNeeded) override;
  HRESULT CV_STDCALL SetOutputFormat(const WAVEFORMATEX* format, const uint32_t* extra) override;
  HRESULT CV_STDCALL GetFormatPointers(const WAVEFORMATEX** format, const void** extra) override;
  HRESULT CV_STDCALL Read(uint64_t position, void* buffer, uint32_t frames, uint32_t* framesRead) override;
  HRESULT CV_STDCALL Reserved16() override;
  HRESULT CV_STDCALL Reserved17() override;

 private:
  cv::WavReader* wav_;
  WAVEFORMATEX delivered_;
  bool converts_;
  std::vector<uint8_t> scratch_;
  std::function<void(uint32_t)> onFrames_;
  cv::Md5 digest_;
  uint64_t hashedFrames_ = 0;
  bool readsHash_ = true;  // until the digest is handed over
  friend class stream_detail::DigestPart;
  stream_detail::DigestPart digestPart_{this};
};

// The MD5 digest of everything the stream delivers, read from the start.
[[nodiscard]] HRESULT DigestOfSource(cv::WavReader* wav, const WAVEFORMATEX& delivered, cv::Md5::Digest* digest);

// Answers the render's progress reports; after an interrupt it answers a
// failure, which makes the render stop with CVERR_CANCELLED.
class InterruptingProgressSink final
    : public cv::ComObject<InterruptingProgressSink, cv::PlainCount, cv::ICvProgressSink> {
 public:
  void* FindInterface(REFIID iid) {
    return iid == cv::kIID_IUnknown ? static_cast<cv::ICvProgressSink*>(this) : nullptr;
  }
  void FinalRelease() {}
  HRESULT CV_STDCALL SetRange(uint32_t low, uint32_t high, uint32_t reserved) override;
  HRESULT CV_STDCALL Reserved4() override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL Reserved5() override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL SetProgress(uint64_t percent) override;

  uint64_t LastPercent() const { return percent_; }

 private:
  uint64_t percent_ = 0;
};

// True when a source of this format can be stored without conversion (16- or
// 24-bit integer samples, whatever the format tag says).
bool StoredAsIs(const WAVEFORMATEX* source);
// Words for a source layout ("32-bit float"), for messages.
std::string DescribeSampleLayout(const WAVEFORMATEX* source);

}  // namespace qlatool
