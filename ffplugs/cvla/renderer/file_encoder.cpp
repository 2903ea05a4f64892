#include "ffplugs/cvla/renderer/file_encoder.h"

#include "ffplugs/cvla/codec/block_encoder.h"
#include "ffplugs/cvla/qla_format.h"
#include "ffplugs/cvla/renderer/group_encoder.h"
#include "ffplugs/cvla/renderer/source_digest.h"
#include "krn/com_ptr.h"
#include "krn/md5.h"
#include "krn/platform/file.h"
#include "krn/platform/memory.h"
#include "krn/record_list.h"
#include "krn/results.h"
#include "krn/riff.h"
#include "krn/sample_format.h"

#include <cstring>
#include <vector>

namespace qla {

namespace {

constexpr uint32_t kRiffFixedBytes = 70;  // "WAVE" 4 + "fmt " chunk 58 + "data" header 8
constexpr uint16_t kPcmTag = 1;
// The seek table grows by doubling; the first allocation follows the announced
// length but is bounded, so that an absurd length cannot ask for gigabytes.
constexpr uint32_t kMinSeekCapacity = 2;
constexpr uint32_t kMaxInitialSeekCapacity = 1u << 16;

// Owns the ICvAudioStream reference of a render.
class StreamReference {
 public:
  StreamReference() = default;
  ~StreamReference() {
    if (stream_) stream_->Release();
  }
  StreamReference(const StreamReference&) = delete;
  StreamReference& operator=(const StreamReference&) = delete;
  cv::ICvAudioStream** Out() { return &stream_; }
  cv::ICvAudioStream* operator->() const { return stream_; }
  explicit operator bool() const { return stream_ != nullptr; }

 private:
  cv::ICvAudioStream* stream_ = nullptr;
};

// File offsets of the sync blocks, in a global block that doubles when full.
class SeekTable {
 public:
  bool Create(uint32_t capacity) {
    block_ = cvplat::GlobalBlock(sizeof(uint64_t) * capacity);
    capacity_ = block_ ? capacity : 0;
    return static_cast<bool>(block_);
  }
  bool Append(uint64_t offset) {
    if (used_ == capacity_ && !Grow()) return false;
    block_.As<uint64_t>()[used_++] = offset;
    return true;
  }
  uint32_t Used() const { return used_; }
  uint64_t At(uint32_t i) const { return block_.As<uint64_t>()[i]; }

 private:
  bool Grow() {
    if (capacity_ > UINT32_MAX / 2) return false;
    cvplat::GlobalBlock bigger(sizeof(uint64_t) * capacity_ * 2);
    if (!bigger) return false;
    std::memcpy(bigger.Get(), block_.Get(), sizeof(uint64_t) * used_);
    block_ = std::move(bigger);
    capacity_ *= 2;
    return true;
  }

  cvplat::GlobalBlock block_;
  uint32_t capacity_ = 0;
  uint32_t used_ = 0;
};

// The formats the block format stores: PCM with 1 or 2 channels of 16 or 24
// bits, frames of channels x bytes.
bool FileFormatSupported(const WAVEFORMATEX& f) {
  if (f.wFormatTag != kPcmTag) return false;
  if (f.nChannels < 1 || f.nChannels > kMaxChannels) return false;
  if (f.wBitsPerSample != 16 && f.wBitsPerSample != 24) return false;
  return f.nBlockAlign == f.nChannels * (f.wBitsPerSample / 8);
}

// Writes the file through a 256 KiB buffer: a block's header and payload, and
// the chunk headers, are collected and go out in large writes. While the file
// grows, the buffer is written only when full, so every write covers whole
// 4 KiB pages of the file: a write that ends inside a page makes the next one
// start in that page, which costs the system far more (10 MB in writes of
// about 64 KB: 4.6 ms at odd sizes, 2.5 ms in whole 256 KiB, on Linux ext4).
// The buffer is flushed before any patch and at the end; a failed flush is
// CVERR_FILE_WRITE.
class FileWriter {
 public:
  explicit FileWriter(HANDLE file) : file_(file) {}

  bool Create() {
    buffer_ = cvplat::GlobalBlock(kBufferBytes);
    return static_cast<bool>(buffer_);
  }

  // Appends at the current end; counts the bytes written.
  [[nodiscard]] HRESULT Append(const void* data, uint32_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
      const uint32_t room = kBufferBytes - used_;
      const uint32_t take = size < room ? size : room;
      std::memcpy(buffer_.As<uint8_t>() + used_, bytes, take);
      used_ += take;
      size_ += take;
      bytes += take;
      size -= take;
      if (used_ == kBufferBytes) {
        const HRESULT hr = Flush();
        if (cv::Failed(hr)) return hr;
      }
    }
    return cv::kS_OK;
  }
  [[nodiscard]] HRESULT AppendU32Pair(uint32_t first, uint32_t second) {
    uint8_t bytes[8];
    StoreU32(bytes, first);
    StoreU32(bytes + 4, second);
    return Append(bytes, sizeof bytes);
  }
  // Writes what the buffer holds.
  [[nodiscard]] HRESULT Flush() {
    if (used_ == 0) return cv::kS_OK;
    const uint32_t pending = used_;
    used_ = 0;
    return WriteAll(buffer_.Get(), pending);
  }
  // Overwrites bytes written earlier; the position is left after them.
  [[nodiscard]] HRESULT Patch(uint32_t offset, const void* data, uint32_t size) {
    HRESULT hr = Flush();
    if (cv::Failed(hr)) return hr;
    if (cv::Failed(cv::SetFilePos(file_, offset))) return cv::CVERR_FILE_WRITE;
    return WriteAll(data, size);
  }
  [[nodiscard]] HRESULT PatchU32(uint32_t offset, uint32_t value) {
    uint8_t bytes[4];
    StoreU32(bytes, value);
    return Patch(offset, bytes, sizeof bytes);
  }
  uint64_t Size() const { return size_; }

 private:
  static constexpr uint32_t kBufferBytes = 256 * 1024;

  [[nodiscard]] HRESULT WriteAll(const void* data, uint32_t size) {
    DWORD written = 0;
    if (!cvplat::WriteFileBytes(file_, data, size, &written) || written != size) return cv::CVERR_FILE_WRITE;
    writeBack_.Written(file_, size_);
    return cv::kS_OK;
  }

  HANDLE file_;
  cvplat::GlobalBlock buffer_;
  uint32_t used_ = 0;
  uint64_t size_ = 0;
  cvplat::WriteBackPacer writeBack_;
};

// The 50 bytes of the "fmt " chunk: the file's format under the Quartzline tag,
// then the codec header.
void BuildFormatChunk(const WAVEFORMATEX& fileFormat, const QlaCodecHeader& header, uint8_t out[kFmtChunkSize]) {
  WAVEFORMATEX stored = fileFormat;
  stored.wFormatTag = WAVE_FORMAT_QUARTZLINE;
  stored.cbSize = kFormatCbSize;
  std::memcpy(out, &stored, sizeof stored);
  std::memcpy(out + sizeof stored, &header, sizeof header);
}

[[nodiscard]] HRESULT FetchSourceFormat(cv::ICvAudioStream* source, WAVEFORMATEX* sourceFormat) {
  uint32_t needed = 0;
  if (cv::Failed(source->GetFormat(nullptr, 0, &needed, nullptr, 0, nullptr))) return cv::kE_UNEXPECTED;
  // A format record shorter than WAVEFORMATEX leaves the rest zero.
  cvplat::GlobalBlock buffer(needed < sizeof(WAVEFORMATEX) ? sizeof(WAVEFORMATEX) : needed);
  if (!buffer) return cv::kE_OUTOFMEMORY;
  uint32_t again = 0;
  const HRESULT hr = source->GetFormat(buffer.Get(), needed, &again, nullptr, 0, nullptr);
  if (cv::Failed(hr)) return hr;
  std::memcpy(sourceFormat, buffer.Get(), sizeof(WAVEFORMATEX));
  return cv::kS_OK;
}

class Render {
 public:
  Render(cv::ICvProgressSink* progress, HANDLE file, cv::ICvAudioStream* source, WAVEFORMATEX* callerFormat)
      : progress_(progress), file_(file), source_(source), callerFormat_(callerFormat),
        fileFormat_(*callerFormat), writer_(file) {}

  [[nodiscard]] HRESULT SetUp(const WAVEFORMATEX& sourceFormat, uint64_t announcedFrames);
  // Every delivered byte goes into md5: Stream hashes while it codes the blocks,
  // StreamInGroups on the caller's thread while the workers read and code.
  void HashDelivered(cv::Md5* md5) { sourceDigest_ = md5; }
  [[nodiscard]] HRESULT Stream();
  // The same result as Stream, with the seek groups encoded on several threads.
  [[nodiscard]] HRESULT StreamInGroups(unsigned threads);
  [[nodiscard]] HRESULT Finish();
  // Writes out what is still buffered, so that a render that fails or is
  // cancelled leaves the blocks encoded so far in the file.
  // The render's own failure is the one reported.
  void FlushAfterFailure() { static_cast<void>(writer_.Flush()); }

 private:
  [[nodiscard]] HRESULT EncodeHeldFrames(bool reportProgress);
  [[nodiscard]] HRESULT EncodeHeldFramesHashing();
  [[nodiscard]] HRESULT ReadSlot(uint8_t* out, uint32_t* frames, HRESULT* failure);
  [[nodiscard]] HRESULT WriteGroup(EncodedGroup& group, uint32_t frames, EncoderCarry* carry, bool* full);
  [[nodiscard]] HRESULT ReportProgress();
  bool lpcStage_ = false;

  cv::ICvProgressSink* progress_;
  HANDLE file_;
  cv::ICvAudioStream* source_;
  WAVEFORMATEX* callerFormat_;
  WAVEFORMATEX fileFormat_;
  FileWriter writer_;
  QlaCodecHeader header_{};
  BlockEncoder encoder_;
  SeekTable seekTable_;
  cvplat::GlobalBlock frameBuffer_;
  uint64_t announcedFrames_ = 1;
  uint64_t readPos_ = 0;
  uint64_t framesDone_ = 0;
  uint64_t dataBytes_ = 0;
  uint32_t framesHeld_ = 0;
  uint32_t blockCounter_ = 0;
  cv::Md5* sourceDigest_ = nullptr;
};

HRESULT Render::SetUp(const WAVEFORMATEX& sourceFormat, uint64_t announcedFrames) {
  announcedFrames_ = announcedFrames < 1 ? 1 : announcedFrames;
  const bool lpcStage = sourceFormat.wBitsPerSample <= 16 && fileFormat_.wBitsPerSample <= 16;
  lpcStage_ = lpcStage;
  HRESULT hr = encoder_.Create(fileFormat_, lpcStage);
  if (cv::Failed(hr)) return hr;

  header_.headerSize = sizeof(QlaCodecHeader);
  header_.codecFlags = kFlagsVersion | kFlagMidSide | (lpcStage ? kFlagLpc : 0);
  header_.totalFrames = announcedFrames_;
  header_.seekEntryCount = static_cast<uint32_t>(announcedFrames_ / kFramesPerSeekGroup + 2);
  header_.framesPerBlock = kFramesPerBlock;
  header_.blocksPerSeekPoint = kBlocksPerSeekPoint;
  uint32_t capacity = header_.seekEntryCount;
  if (capacity < kMinSeekCapacity) capacity = kMinSeekCapacity;
  if (capacity > kMaxInitialSeekCapacity) capacity = kMaxInitialSeekCapacity;
  if (!seekTable_.Create(capacity) || !writer_.Create()) return cv::kE_OUTOFMEMORY;

  hr = writer_.AppendU32Pair(cv::FourCC("RIFF"), 0);
  if (cv::Failed(hr)) return hr;
  uint8_t formType[4];
  StoreU32(formType, cv::FourCC("WAVE"));
  hr = writer_.Append(formType, sizeof formType);
  if (cv::Failed(hr)) return hr;
  hr = writer_.AppendU32Pair(cv::FourCC("fmt "), kFmtChunkSize);
  if (cv::Failed(hr)) return hr;
  uint8_t fmt[kFmtChunkSize];
  BuildFormatChunk(fileFormat_, header_, fmt);
  hr = writer_.Append(fmt, sizeof fmt);
  if (cv::Failed(hr)) return hr;
  callerFormat_->cbSize = kFormatCbSize;
  hr = writer_.AppendU32Pair(cv::FourCC("data"), 0);
  if (cv::Failed(hr)) return hr;

  frameBuffer_ = cvplat::GlobalBlock(static_cast<size_t>(kFramesPerBlock) * fileFormat_.nBlockAlign);
  if (!frameBuffer_) return cv::kE_OUTOFMEMORY;
  // The encoder converts nothing: the stream delivers the file's sample format,
  // which the host can only do when a conversion between the two exists.
  const bool sameLayout = sourceFormat.wBitsPerSample == fileFormat_.wBitsPerSample &&
                          sourceFormat.wFormatTag == fileFormat_.wFormatTag;
  if (!sameLayout && !cv::GetConverter(&fileFormat_, &sourceFormat)) return cv::kE_NOTIMPL;
  return cv::kS_OK;
}

// The held frames go into the source's digest, the whole blocks of it while
// the encoder codes the frames.
HRESULT Render::EncodeHeldFramesHashing() {
  const uint8_t* const pcm = frameBuffer_.As<uint8_t>();
  const uint8_t* const end = pcm + static_cast<size_t>(framesHeld_) * fileFormat_.nBlockAlign;
  const uint8_t* next = pcm;
  const HRESULT hr = sourceDigest_->HashAlong(&next, end, [&](cv::Md5BlockRun* run) {
    return encoder_.EncodeBlock(static_cast<int32_t>(framesHeld_), pcm, run);
  });
  sourceDigest_->Update(next, static_cast<size_t>(end - next));
  return hr;
}

HRESULT Render::EncodeHeldFrames(bool reportProgress) {
  HRESULT hr = sourceDigest_ ? EncodeHeldFramesHashing()
                             : encoder_.EncodeBlock(static_cast<int32_t>(framesHeld_), frameBuffer_.Get());
  if (cv::Failed(hr)) return hr;
  blockCounter_ = (blockCounter_ + 1) % kBlocksPerSeekPoint;
  const bool syncBlock = blockCounter_ == 1;
  if (syncBlock && !seekTable_.Append(writer_.Size())) return cv::kE_OUTOFMEMORY;

  uint8_t header[kMaxBlockHeaderBytes];
  const uint32_t headerBytes = encoder_.FormatBlockHeader(syncBlock, false, header);
  hr = writer_.Append(header, headerBytes);
  if (cv::Failed(hr)) return hr;
  const uint32_t payloadBytes = encoder_.PayloadSize();
  hr = writer_.Append(encoder_.Payload(), payloadBytes);
  if (cv::Failed(hr)) return hr;

  dataBytes_ += headerBytes + payloadBytes;
  framesDone_ += framesHeld_;
  framesHeld_ = 0;
  return reportProgress ? ReportProgress() : cv::kS_OK;
}

HRESULT Render::ReportProgress() {
  if (!progress_) return cv::kS_OK;
  const double share = static_cast<double>(framesDone_) / static_cast<double>(announcedFrames_);
  const uint64_t percent = static_cast<uint64_t>(static_cast<int64_t>(share * 100.0));
  return cv::Failed(progress_->SetProgress(percent)) ? cv::CVERR_CANCELLED : cv::kS_OK;
}

// Reads up to one slot of seek groups into out with the rules of Stream: the
// audio ends with S_FALSE or a read that delivers nothing; after a failed read
// the frames of an unfinished block are dropped unless that read delivered
// nothing. S_FALSE when the audio ended with this slot; *failure receives a
// failed read's code.
HRESULT Render::ReadSlot(uint8_t* out, uint32_t* frames, HRESULT* failure) {
  const uint32_t frameBytes = fileFormat_.nBlockAlign;
  uint32_t held = 0;
  for (;;) {
    const uint32_t wanted = kFramesPerSlot - held;
    uint32_t delivered = 0;
    const HRESULT readResult = source_->Read(readPos_, out + static_cast<size_t>(held) * frameBytes, wanted, &delivered);
    if (delivered > wanted) delivered = wanted;
    readPos_ += delivered;
    held += delivered;
    *frames = held;
    if (cv::Failed(readResult)) {
      if (delivered > 0) *frames = held - held % kFramesPerBlock;
      *failure = readResult;
      return cv::kS_FALSE;
    }
    if (readResult == cv::kS_FALSE || delivered == 0) return cv::kS_FALSE;
    if (held == kFramesPerSlot) return cv::kS_OK;
  }
}

// Writes a group's blocks in file order, as EncodeHeldFrames would have, with
// the fields carried over from the group before filled in. *full is set when
// the file reached its size limit (the rest of the audio is dropped).
HRESULT Render::WriteGroup(EncodedGroup& group, uint32_t frames, EncoderCarry* carry, bool* full) {
  if (cv::Failed(group.result)) return group.result;
  group.Resolve(carry);
  if (!seekTable_.Append(writer_.Size())) return cv::kE_OUTOFMEMORY;
  uint32_t start = 0;
  for (size_t b = 0; b < group.blockEnds.size(); ++b) {
    const uint32_t end = group.blockEnds[b];
    HRESULT hr = writer_.Append(group.bytes.data() + start, end - start);
    if (cv::Failed(hr)) return hr;
    dataBytes_ += end - start;
    start = end;
    const uint32_t blockFrames = frames - static_cast<uint32_t>(b) * kFramesPerBlock;
    framesDone_ += blockFrames < kFramesPerBlock ? blockFrames : kFramesPerBlock;
    hr = ReportProgress();
    if (cv::Failed(hr)) return hr;
    if (writer_.Size() >= kMaxRenderFileSize) {
      *full = true;
      return cv::kS_OK;
    }
  }
  return cv::kS_OK;
}

HRESULT Render::StreamInGroups(unsigned threads) {
  // What a fresh encoder states for fields no block has set yet.
  EncoderCarry carry{};
  auto write = [&](EncodedGroup* groups, uint32_t count, uint32_t frames) -> HRESULT {
    for (uint32_t g = 0; g < count; ++g) {
      bool full = false;
      const HRESULT hr = WriteGroup(groups[g], frames - g * kFramesPerSeekGroup, &carry, &full);
      if (cv::Failed(hr)) return hr;
      if (full) return cv::kS_FALSE;
    }
    return cv::kS_OK;
  };
  HRESULT readFailure = cv::kS_OK;
  auto read = [&](uint8_t* out, uint32_t* frames) { return ReadSlot(out, frames, &readFailure); };
  ParallelGroupEncoder::SlotHasher hash;
  if (sourceDigest_)
    hash = [this](const uint8_t* frames, uint32_t count) {
      sourceDigest_->Update(frames, static_cast<size_t>(count) * fileFormat_.nBlockAlign);
    };
  ParallelGroupEncoder groups;
  HRESULT hr = groups.Start(threads, fileFormat_, lpcStage_, read, hash, write);
  if (cv::Succeeded(hr)) hr = groups.Run();
  if (hr == cv::kS_FALSE) return cv::kS_OK;  // the file is full: the rest of the audio is dropped
  return cv::Failed(hr) ? hr : readFailure;
}

HRESULT Render::Stream() {
  const uint32_t frameBytes = fileFormat_.nBlockAlign;
  for (;;) {
    const uint32_t wanted = kFramesPerBlock - framesHeld_;
    uint32_t delivered = 0;
    const HRESULT readResult =
        source_->Read(readPos_, frameBuffer_.As<uint8_t>() + framesHeld_ * frameBytes, wanted, &delivered);
    if (delivered > wanted) delivered = wanted;  // never trust a count beyond the buffer
    readPos_ += delivered;
    framesHeld_ += delivered;

    // The stream ends with S_FALSE; a stream that answers S_OK without frames
    // would otherwise be asked again forever, so it ends the audio as well.
    const bool ended = readResult == cv::kS_FALSE || (readResult == cv::kS_OK && delivered == 0);
    // A full block is encoded whatever the read answered; a short one when the
    // read delivered nothing (the end, or a failure at a block boundary).
    if (framesHeld_ == kFramesPerBlock || (framesHeld_ > 0 && delivered == 0)) {
      const HRESULT hr = EncodeHeldFrames(readResult == cv::kS_OK);
      if (cv::Failed(hr)) return hr;
    }
    if (cv::Failed(readResult)) return readResult;
    if (ended) {
      // Frames that came with S_FALSE and did not fill the block are held; they
      // are the last frames of the audio and are encoded as a short block.
      if (framesHeld_ > 0) {
        const HRESULT hr = EncodeHeldFrames(false);
        if (cv::Failed(hr)) return hr;
      }
      return cv::kS_OK;
    }
    if (writer_.Size() >= kMaxRenderFileSize) return cv::kS_OK;
  }
}

HRESULT Render::Finish() {
  HRESULT hr;
  const uint32_t pad = static_cast<uint32_t>(dataBytes_ & 1);
  if (pad) {
    const uint8_t zero = 0;
    hr = writer_.Append(&zero, 1);
    if (cv::Failed(hr)) return hr;
  }

  const uint32_t used = seekTable_.Used();
  const uint32_t seekEntryCount = used + 1;
  hr = writer_.AppendU32Pair(cv::FourCC("cvla"), 4 * seekEntryCount);
  if (cv::Failed(hr)) return hr;
  cvplat::GlobalBlock entries(static_cast<size_t>(seekEntryCount) * 4);
  if (!entries) return cv::kE_OUTOFMEMORY;
  for (uint32_t i = 0; i < used; ++i)
    StoreU32(entries.As<uint8_t>() + 4 * i, static_cast<uint32_t>(seekTable_.At(i)));
  hr = writer_.Append(entries.Get(), 4 * seekEntryCount);
  if (cv::Failed(hr)) return hr;

  if (framesDone_ > 0) {
    const uint64_t rate = static_cast<uint64_t>(fileFormat_.nSamplesPerSec) * dataBytes_ / framesDone_;
    fileFormat_.nAvgBytesPerSec = static_cast<uint32_t>(rate);
    callerFormat_->nAvgBytesPerSec = fileFormat_.nAvgBytesPerSec;
  }
  header_.totalFrames = framesDone_;
  header_.seekEntryCount = seekEntryCount;
  uint8_t fmt[kFmtChunkSize];
  BuildFormatChunk(fileFormat_, header_, fmt);
  hr = writer_.Patch(kFmtBodyOffset, fmt, sizeof fmt);
  if (cv::Failed(hr)) return hr;

  const uint64_t riffSize = kRiffFixedBytes + dataBytes_ + pad + 8 + 4ull * seekEntryCount;
  hr = writer_.PatchU32(4, static_cast<uint32_t>(riffSize));
  if (cv::Failed(hr)) return hr;
  return writer_.PatchU32(kDataHeaderOffset + 4, static_cast<uint32_t>(dataBytes_));
}

}  // namespace

[[nodiscard]] HRESULT EncodeFile(cv::ICvProgressSink* progress, const char* fileName, IUnknown* streamObject,
                   RenderTemplate* renderTemplate, unsigned threads) {
  if (progress) progress->SetRange(0, 100, 0);

  cvplat::UniqueFile file(cvplat::CreateFileAnsi(fileName, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
  WAVEFORMATEX* callerFormat = TemplateFileFormat(renderTemplate);
  if (!file.IsValid() || !callerFormat) return cv::CVERR_FILE_CREATE;
  // Checked before anything is written: the block format holds only these.
  if (!FileFormatSupported(*callerFormat)) return cv::CVERR_UNSUPPORTED_FORMAT;

  StreamReference source;
  if (!streamObject ||
      cv::Failed(streamObject->QueryInterface(cv::IID_ICvAudioStream, reinterpret_cast<void**>(source.Out()))) ||
      !source)
    return cv::kE_UNEXPECTED;
  WAVEFORMATEX sourceFormat{};
  HRESULT hr = FetchSourceFormat(source.operator->(), &sourceFormat);
  if (cv::Failed(hr)) return hr;
  // A stream that cannot tell its length is treated as 1 frame long: the
  // length only sizes the seek table and scales the progress.
  uint64_t announced = 0;
  if (cv::Failed(source->GetLength(&announced))) announced = 0;

  Render render(progress, file.Get(), source.operator->(), callerFormat);
  hr = render.SetUp(sourceFormat, announced);
  // The render takes over the digest of a source that offers it (the tool's):
  // on one thread it hashes between the steps of coding the blocks, on several
  // the caller hashes while the workers read and code.
  cv::ComPtr<cvla::IQlaSourceDigest> sourceDigest;
  cv::Md5* md5 = nullptr;
  if (cv::Succeeded(hr) &&
      cv::Succeeded(streamObject->QueryInterface(cvla::IID_IQlaSourceDigest, sourceDigest.PutVoid())) &&
      sourceDigest && cv::Succeeded(sourceDigest->HandOverDigest(&md5)) && md5)
    render.HashDelivered(md5);
  if (cv::Succeeded(hr)) hr = threads > 1 ? render.StreamInGroups(threads) : render.Stream();
  if (cv::Succeeded(hr)) hr = render.Finish();
  if (cv::Failed(hr)) {
    render.FlushAfterFailure();
    return hr;
  }
  return cv::kS_OK;
}

}  // namespace qla
