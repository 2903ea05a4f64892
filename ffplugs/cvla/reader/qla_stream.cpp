#include "ffplugs/cvla/reader/qla_stream.h"

#include "ffplugs/cvla/reader/qla_reader.h"
#include "krn/com_guard.h"
#include "krn/platform/file.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

namespace cvla {

namespace {

// The creating thread's identity; stored only, never compared.
uint32_t CurrentThreadId() { return static_cast<uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id())); }

}  // namespace

QlaStream::QlaStream(QlaReader* reader, uint32_t index, uint32_t type, uint32_t second)
    : reader_(reader), threadId_(CurrentThreadId()), index_(index), type_(type), second_(second) {
  extra_[0] = kStreamExtraSize;
}

HRESULT QlaStream::Initialize(const StreamEntry& entry) {
  if (!mutex_.IsValid()) return cv::kE_OUTOFMEMORY;
  cvplat::MutexLock lock(mutex_);
  format_ = nullptr;
  std::memset(&requested_, 0, sizeof(requested_));
  std::memset(requestedExtra_, 0, sizeof(requestedExtra_));
  position_ = 0;
  totalFrames_ = reader_->Container().totalFrames;
  duration_ = entry.duration;
  cache_.Clear();
  decoderReady_ = false;
  nextBlockOffset_ = reader_->Container().dataOffset;
  justSeeked_ = false;
  RefreshFormat();
  return cv::kS_OK;
}

void QlaStream::Reinitialize(StreamEntry* entry) {
  cvplat::MutexLock lock(mutex_);
  const qla::QlaContainerInfo& info = reader_->Container();
  totalFrames_ = info.totalFrames;
  entry->totalFrames = static_cast<uint32_t>(info.totalFrames);
  entry->dataSize = info.dataSize;
  entry->duration = FramesToDuration(info.totalFrames, info.format.nSamplesPerSec);
  duration_ = entry->duration;
  RefreshFormat();
  if (format_) requested_ = *format_;
  // A changed file may have another shape: the decoder starts over on the next read.
  decoderReady_ = false;
  cache_.Clear();
  justSeeked_ = false;
  nextBlockOffset_ = info.dataOffset;
}

void QlaStream::RefreshFormat() { format_ = reader_->Format(); }

void* QlaStream::FindInterface(REFIID iid) {
  if (iid == IID_IQlaDeliveredDigest) return static_cast<IQlaDeliveredDigest*>(&digestPart_);
  if (iid != cv::IID_ICvAudioStream && iid != cv::IID_ICvAudioStreamEx && iid != cv::kIID_IUnknown) return nullptr;
  return static_cast<cv::ICvAudioStreamEx*>(this);
}

IUnknown* QlaStream::Owner() const { return reader_; }

HRESULT QlaStream::GetFileType(cv::ICvFileType** out) try {
  if (!reader_) return cv::kE_NOTIMPL;
  return reader_->GetFileType(out);
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::GetReader(cv::ICvFileReader** out) try {
  if (!out) return cv::kE_POINTER;
  reader_->AddRef();
  *out = reader_;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::GetFlags(uint32_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = 0;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::GetIdentity(uint32_t* type, uint32_t* second, uint32_t* index) try {
  if (type) *type = type_;
  if (second) *second = second_;
  if (index) *index = index_;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::GetDuration(uint64_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = format_ ? FramesToDuration(totalFrames_, format_->nSamplesPerSec) : 0;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::GetStartTime(uint64_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = 0;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::SetThreadId(uint32_t threadId) try {
  threadId_ = threadId;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::Stop() try {
  cvplat::MutexLock lock(mutex_);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::GetLength(uint64_t* frames) try {
  if (!frames) return cv::kE_POINTER;
  *frames = totalFrames_;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::GetFormat(void* format, uint32_t formatSize, uint32_t* formatNeeded, void* extra,
                             uint32_t extraSize, uint32_t* extraNeeded) try {
  if (!format_) RefreshFormat();
  if (formatNeeded) *formatNeeded = kStreamFormatSize;
  if (format) {
    if (formatSize < kStreamFormatSize || !format_) return cv::kE_OUTOFMEMORY;
    std::memcpy(format, format_, kStreamFormatSize);
  }
  if (extraNeeded) *extraNeeded = kStreamExtraSize;
  if (extra) {
    if (extraSize < kStreamExtraSize) return cv::kE_OUTOFMEMORY;
    std::memcpy(extra, extra_, kStreamExtraSize);
  }
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::SetOutputFormat(const WAVEFORMATEX* format, const uint32_t* extra) try {
  // Stored only: reads always deliver the reader's own PCM format.
  if (!format_) RefreshFormat();
  const WAVEFORMATEX* source = format ? format : format_;
  if (source)
    requested_ = *source;
  else
    std::memset(&requested_, 0, sizeof(requested_));
  if (extra)
    std::memcpy(requestedExtra_, extra, sizeof(requestedExtra_));
  else
    std::memset(requestedExtra_, 0, sizeof(requestedExtra_));
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::GetFormatPointers(const WAVEFORMATEX** format, const void** extra) try {
  if (!format_) RefreshFormat();
  if (format) *format = format_;
  if (extra) *extra = extra_;
  return format_ ? cv::kS_OK : cv::kE_UNEXPECTED;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::Reserved16() { return cv::kE_NOTIMPL; }
HRESULT QlaStream::Reserved17() { return cv::kE_NOTIMPL; }

void QlaStream::Destroy() { cvplat::DeleteZeroed(this); }

HRESULT QlaStream::StartDecoder() {
  const qla::QlaContainerInfo& info = reader_->Container();
  HRESULT hr = decoder_.Initialize(*format_, info.codec.codecFlags);
  if (cv::Failed(hr)) return hr;
  if (!blockBytes_.Allocate()) return cv::kE_OUTOFMEMORY;
  // A re-opened file may hold other bytes at the same offsets.
  blockBytes_.Invalidate();
  cache_.Clear();
  nextBlockOffset_ = info.dataOffset;
  justSeeked_ = false;
  decoderReady_ = true;
  return cv::kS_OK;
}

HRESULT QlaStream::Read(uint64_t position, void* buffer, uint32_t frames, uint32_t* framesRead) try {
  cvplat::MutexLock lock(mutex_);
  if (framesRead) *framesRead = 0;
  HANDLE file = reader_->FileHandle();
  if (file == INVALID_HANDLE_VALUE || !reader_->HasFormat()) return cv::CVERR_FILE_OPEN;
  if (!format_) RefreshFormat();
  if (!decoderReady_ && cv::Failed(StartDecoder())) return cv::CVERR_FILE_READ;
  if (position >= totalFrames_) return cv::kS_FALSE;
  if (!buffer) return cv::kE_POINTER;
  uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(frames, totalFrames_ - position));
  if (cv::Failed(DecodeFrames(position, static_cast<uint8_t*>(buffer), n))) return cv::CVERR_FILE_READ;
  position_ = position + n;
  if (framesRead) *framesRead = n;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

// Finds where decoding for `position` starts: the sync block of its seek group,
// or block 0 in a file without a seek table.
HRESULT QlaStream::SeekToGroup(uint64_t position) {
  const qla::QlaContainerInfo& info = reader_->Container();
  // A seek reads the blocks afresh from the file.
  blockBytes_.Invalidate();
  if (!info.hasSeekTable) {
    nextBlockOffset_ = info.dataOffset;
    seekFirstFrame_ = 0;
    justSeeked_ = true;
    return cv::kS_OK;
  }
  const uint64_t groupFrames = static_cast<uint64_t>(info.codec.framesPerBlock) * info.codec.blocksPerSeekPoint;
  uint64_t group = position / groupFrames;
  if (group > info.seekTableEntries - 1) group = info.seekTableEntries - 1;
  counters_.seekTableReads.fetch_add(1, std::memory_order_relaxed);
  HANDLE file = reader_->FileHandle();
  uint64_t entryOffset = static_cast<uint64_t>(info.seekTableBase) + 4 * group;
  if (entryOffset > 0xFFFFFFFFu) return cv::CVERR_FILE_READ;
  uint8_t bytes[4];
  DWORD read = 0;
  if (cvplat::SetFilePosition(file, static_cast<LONG>(static_cast<uint32_t>(entryOffset)), nullptr, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER ||
      !cvplat::ReadFileBytes(file, bytes, 4, &read) || read != 4)
    return cv::CVERR_FILE_READ;
  nextBlockOffset_ = qla::LoadU32(bytes);
  seekFirstFrame_ = group * groupFrames;
  justSeeked_ = true;
  return cv::kS_OK;
}

HRESULT stream_detail::DigestPart::SetDeliveredDigest(cv::Md5* md5) { return owner_->SetDeliveredDigest(md5); }

HRESULT QlaStream::SetDeliveredDigest(cv::Md5* md5) try {
  cvplat::MutexLock lock(mutex_);
  digest_ = md5;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaStream::DecodeNextBlockHashing(const uint8_t** hashed, const uint8_t* end, uint8_t* out) {
  if (!digest_) return DecodeNextBlock(nullptr, out);
  return digest_->HashAlong(hashed, end, [&](cv::Md5BlockRun* run) { return DecodeNextBlock(run, out); });
}

// Decodes the block at the next-block offset into the cache. The first frame of
// a block reached by a seek is its group's first frame (it must be a sync
// block); any other block continues after the cached one.
HRESULT QlaStream::DecodeNextBlock(cv::Md5BlockRun* digest, uint8_t* out) {
  const qla::QlaContainerInfo& info = reader_->Container();
  const uint64_t dataEnd = static_cast<uint64_t>(info.dataOffset) + info.dataSize;
  // Blocks lie inside the "data" chunk; an offset outside it (a damaged seek
  // table, or running past the last block) is not decoded.
  if (nextBlockOffset_ < info.dataOffset || nextBlockOffset_ >= dataEnd) return cv::CVERR_FILE_READ;
  blockBytes_.SetPosition(reader_->FileHandle(), nextBlockOffset_);
  decoder_.SetCodecFlags(info.codec.codecFlags);
  decoder_.SetNextBlockOffset(nextBlockOffset_);
  uint32_t bytes = 0;
  counters_.blocksDecoded.fetch_add(1, std::memory_order_relaxed);
  HRESULT hr = decoder_.DecodeBlock(blockBytes_, out ? out : cache_.frames, &bytes, digest);
  if (cv::Failed(hr)) return hr;
  int64_t first = 0;
  if (justSeeked_) {
    if (!decoder_.IsSyncBlock()) return cv::CVERR_FILE_READ;
    first = static_cast<int64_t>(seekFirstFrame_);
  } else {
    if (cache_.last < -1) return cv::CVERR_FILE_READ;
    first = cache_.last + 1;
  }
  justSeeked_ = false;
  nextBlockOffset_ = decoder_.NextBlockOffset();
  cache_.first = first;
  cache_.last = first + decoder_.FrameCount() - 1;
  cache_.delivered = out != nullptr;
  return cv::kS_OK;
}

HRESULT QlaStream::DecodeFrames(uint64_t position, uint8_t* buffer, uint32_t frames) {
  const uint32_t blockAlign = format_->nBlockAlign;
  uint64_t p = position;
  uint32_t remaining = frames;
  bool seeked = false;
  // The delivered bytes from here on are not hashed yet.
  const uint8_t* hashed = buffer;
  while (remaining > 0) {
    if (cache_.Holds(p)) {
      uint64_t offset = p - static_cast<uint64_t>(cache_.first);
      uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(cache_.last) - p + 1, remaining));
      std::memcpy(buffer, cache_.frames + offset * blockAlign, static_cast<size_t>(take) * blockAlign);
      buffer += static_cast<size_t>(take) * blockAlign;
      p += take;
      remaining -= take;
      seeked = false;
      continue;
    }
    bool adjacent = cache_.last >= -1 && static_cast<int64_t>(p) == cache_.last + 1;
    if (!adjacent && !seeked) {
      HRESULT hr = SeekToGroup(p);
      if (cv::Failed(hr)) {
        cache_.Clear();
        return hr;
      }
      seeked = true;
    }
    // A block that starts at p and is not among the last of the request goes
    // straight into the caller's buffer; the request's last block stays in the
    // cache, for a next request that reads some of it again.
    const bool straight = adjacent && !justSeeked_ && remaining >= 2 * qla::kFramesPerBlock;
    HRESULT hr = DecodeNextBlockHashing(&hashed, buffer, straight ? buffer : nullptr);
    if (cv::Succeeded(hr) && straight) {
      const uint32_t take = decoder_.FrameCount();
      buffer += static_cast<size_t>(take) * blockAlign;
      p += take;
      remaining -= take;
      seeked = false;
    }
    if (cv::Failed(hr)) {
      // The decoder's histories and the cache no longer describe a decoded
      // block: start over through the seek table next time.
      cache_.Clear();
      justSeeked_ = false;
      return hr;
    }
  }
  if (digest_) digest_->Update(hashed, static_cast<size_t>(buffer - hashed));
  return cv::kS_OK;
}

}  // namespace cvla
