// A host audio stream over a PCM buffer, for render tests: the length it
// announces, the reads it delivers and the failures it answers can be set up.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/renderer/source_digest.h"
#include "krn/com_object.h"
#include "krn/md5.h"
#include "krn/results.h"

#include <cstdint>
#include <vector>

namespace cvtest {

// Interleaved PCM frames of a format, e.g. a synthetic signal or a decoded
// recording.
struct PcmAudio {
  WAVEFORMATEX format{};
  std::vector<uint8_t> bytes;
  uint64_t Frames() const { return format.nBlockAlign ? bytes.size() / format.nBlockAlign : 0; }
};

// A PCM format record (tag 1, cbSize 0).
WAVEFORMATEX PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits);

// Deterministic test signals: a few sines with noise, scaled to the bit depth.
PcmAudio SyntheticAudio(uint16_t channels, uint32_t rate, uint16_t bits, uint64_t frames, uint32_t seed = 1);

// ICvAudioStream over a PcmAudio. Lives on the stack of a test; the reference
// count is observable so that a test can check that every reference is released.
class PcmTestStream : public cv::ICvAudioStream {
 public:
  explicit PcmTestStream(PcmAudio audio);

  // What GetLength reports (default: the real frame count).
  void SetAnnouncedFrames(uint64_t frames) { announced_ = frames; }
  // At most this many frames per Read (default: all asked for).
  void SetMaxFramesPerRead(uint32_t frames) { maxPerRead_ = frames; }
  // Reads that would pass frame `position` deliver the frames before it and
  // answer `code`; so do reads from `position` on (delivering nothing). With
  // includeEndingThere, a read that ends exactly at `position` fails as well.
  void FailReadsAt(uint64_t position, HRESULT code, bool includeEndingThere = false) {
    failAt_ = position;
    failCode_ = code;
    failEndingThere_ = includeEndingThere;
  }
  // The format GetFormat reports (default: the audio's own).
  void SetReportedFormat(const WAVEFORMATEX& format) { reported_ = format; }
  void FailFormatSizeQuery(HRESULT code) { formatSizeFailure_ = code; }
  void FailFormatDataCall(HRESULT code) { formatDataFailure_ = code; }
  // Answer E_NOINTERFACE for ICvAudioStream.
  void HideStreamInterface() { hideInterface_ = true; }
  // Offer the digest face of the tool's sources: a render takes the digest
  // over and puts every delivered byte into it.
  void OfferDigest() { offerDigest_ = true; }
  bool DigestHandedOver() const { return digestPart_.handedOver; }
  cv::Md5::Digest FinishDigest() { return digest_.Finish(); }

  ULONG References() const { return refs_; }
  uint32_t ReadCalls() const { return readCalls_; }

  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override;
  ULONG CV_STDCALL AddRef() override { return ++refs_; }
  ULONG CV_STDCALL Release() override { return --refs_; }

  // What an encoder never asks a source for.
  HRESULT CV_STDCALL GetFileType(cv::ICvFileType** out) override { return NoObject(out); }
  HRESULT CV_STDCALL GetReader(cv::ICvFileReader** out) override { return NoObject(out); }
  HRESULT CV_STDCALL GetFlags(uint32_t*) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL GetIdentity(uint32_t*, uint32_t*, uint32_t*) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL GetDuration(uint64_t*) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL GetStartTime(uint64_t*) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL SetThreadId(uint32_t) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL Stop() override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL GetLength(uint64_t* frames) override;
  HRESULT CV_STDCALL GetFormat(void* format, uint32_t formatSize, uint32_t* formatNeeded, void* extra,
                               uint32_t extraSize, uint32_t* extraNeeded) override;
  HRESULT CV_STDCALL SetOutputFormat(const WAVEFORMATEX*, const uint32_t*) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL GetFormatPointers(const WAVEFORMATEX** format, const void** extra) override;
  HRESULT CV_STDCALL Read(uint64_t position, void* buffer, uint32_t frames, uint32_t* framesRead) override;
  HRESULT CV_STDCALL Reserved16() override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL Reserved17() override { return cv::kE_NOTIMPL; }

 private:
  template <typename T>
  static HRESULT NoObject(T** out) {
    if (out) *out = nullptr;
    return cv::kE_NOTIMPL;
  }

  struct DigestPart final : cv::ComPart<PcmTestStream, cvla::IQlaSourceDigest> {
    using ComPart::ComPart;
    HRESULT CV_STDCALL HandOverDigest(cv::Md5** md5) override {
      handedOver = true;
      *md5 = &owner_->digest_;
      return cv::kS_OK;
    }
    bool handedOver = false;
  };

  PcmAudio audio_;
  WAVEFORMATEX reported_;
  uint64_t announced_;
  uint32_t maxPerRead_ = 0;
  uint64_t failAt_ = UINT64_MAX;
  HRESULT failCode_ = 0;
  bool failEndingThere_ = false;
  HRESULT formatSizeFailure_ = 0;
  HRESULT formatDataFailure_ = 0;
  bool hideInterface_ = false;
  bool offerDigest_ = false;
  DigestPart digestPart_{this};
  cv::Md5 digest_;
  ULONG refs_ = 1;
  uint32_t readCalls_ = 0;
};

}  // namespace cvtest
