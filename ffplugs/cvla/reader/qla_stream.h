// QlaStream: the audio stream of a reader. It owns a block decoder and the
// cache of the last decoded block; reads of several threads are serialised by
// its mutex. The stream lives as long as its reader, which deletes it.
#pragma once

#include "ffplugs/cvla/codec/block_decoder.h"
#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/reader/decoded_block_cache.h"
#include "ffplugs/cvla/reader/delivered_digest.h"
#include "ffplugs/cvla/reader/stream_entry.h"
#include "krn/buffered_file_reader.h"
#include "krn/com_object.h"
#include "krn/platform/sync.h"

#include <atomic>
#include <cstdint>

namespace cvla {

class QlaReader;

constexpr uint32_t kStreamExtraSize = 32;
constexpr uint32_t kStreamFormatSize = 18;

// Counters of the work reads did, for tests and diagnostics.
struct StreamReadCounters {
  std::atomic<uint32_t> blocksDecoded{0};
  std::atomic<uint32_t> seekTableReads{0};
};

class QlaStream;

namespace stream_detail {
class DigestPart final : public cv::ComPart<QlaStream, IQlaDeliveredDigest> {
 public:
  using ComPart::ComPart;
  HRESULT CV_STDCALL SetDeliveredDigest(cv::Md5* md5) override;
};
}  // namespace stream_detail

class QlaStream final : public cv::OwnedComObject<QlaStream, cv::ICvAudioStreamEx> {
 public:
  QlaStream(QlaReader* reader, uint32_t index, uint32_t type, uint32_t second);

  // Starts the stream over with the entry's values: position counters cleared,
  // cache emptied, next block at the reader's data offset.
  [[nodiscard]] HRESULT Initialize(const StreamEntry& entry);
  // After a re-open: waits for a read in progress, takes the reader's values
  // again and empties the cache, so that the next read goes through the seek
  // table.
  void Reinitialize(StreamEntry* entry);

  void* FindInterface(REFIID iid);
  // The reader: each reference to the stream is one to the reader.
  IUnknown* Owner() const;
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
  // Slot 18: frees the stream; called by the reader's destructor only.
  virtual void CV_STDCALL Destroy();

  const StreamReadCounters& Counters() const { return counters_; }
  // IQlaDeliveredDigest's slot, answered through its part.
  HRESULT SetDeliveredDigest(cv::Md5* md5);

 private:
  void RefreshFormat();
  [[nodiscard]] HRESULT StartDecoder();
  [[nodiscard]] HRESULT DecodeFrames(uint64_t position, uint8_t* buffer, uint32_t frames);
  [[nodiscard]] HRESULT SeekToGroup(uint64_t position);
  // Decodes into the cache, or into out (room for a whole block), which the
  // cache then only records.
  [[nodiscard]] HRESULT DecodeNextBlock(cv::Md5BlockRun* digest, uint8_t* out = nullptr);
  // DecodeNextBlock, hashing meanwhile the whole digest blocks among the
  // delivered bytes from *hashed to end (when a digest is attached); *hashed
  // moves past what was hashed.
  [[nodiscard]] HRESULT DecodeNextBlockHashing(const uint8_t** hashed, const uint8_t* end, uint8_t* out = nullptr);

  QlaReader* reader_;
  uint32_t threadId_ = 0;
  cvplat::RecursiveMutex mutex_;
  uint32_t index_;
  uint32_t type_;
  uint32_t second_;
  uint64_t position_ = 0;
  uint64_t totalFrames_ = 0;
  uint64_t duration_ = 0;
  const WAVEFORMATEX* format_ = nullptr;  // the reader's PCM format
  uint32_t extra_[kStreamExtraSize / 4] = {};
  WAVEFORMATEX requested_{};
  uint32_t requestedExtra_[8] = {};
  qla::BlockDecoder decoder_;
  // The blocks are read through this buffer, which follows nextBlockOffset_.
  cv::BufferedFileReader blockBytes_;
  bool decoderReady_ = false;
  DecodedBlockCache cache_;
  // Where the next block starts and, right after a seek, its first frame.
  uint32_t nextBlockOffset_ = 0;
  bool justSeeked_ = false;
  uint64_t seekFirstFrame_ = 0;
  StreamReadCounters counters_;
  cv::Md5* digest_ = nullptr;  // of the delivered bytes, when attached
  stream_detail::DigestPart digestPart_{this};
};

}  // namespace cvla
