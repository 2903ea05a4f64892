// Reading PCM WAVE files (RIFF, and RF64 for large recordings) that come from
// anywhere: every header field is checked against the others and against the
// file before anything is read through it, and a refusal names the field in
// words. The reader keeps the list of top-level chunks in file order, so that a
// caller can carry the chunks it does not interpret.
#pragma once

#include "krn/platform/file.h"
#include "krn/platform/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cv {

// Sample rates a WAVE source may declare, in Hz.
constexpr uint32_t kWavMinSampleRate = 1000;
constexpr uint32_t kWavMaxSampleRate = 768000;

// A top-level chunk: where its 8-byte header starts, the size it declares and
// the bytes of its body that the file holds (the data chunk of an RF64 file
// declares 0xFFFFFFFF and takes its size from "ds64").
struct WavChunk {
  uint32_t id = 0;
  uint64_t offset = 0;
  uint32_t declared = 0;
  uint64_t bytes = 0;
};

struct WavReadOptions {
  // Trust neither the RIFF nor the data size: the audio runs from the data
  // chunk to the end of the file (for unfinished recordings and streams).
  bool ignoreChunkSizes = false;
  // The source was streamed: a data size of 0 or 0xFFFFFFFF means "unknown",
  // and the audio runs to the end of the file.
  bool unknownSizes = false;
};

class WavReader {
 public:
  // Opens the file by name and checks it. On failure *problem says in words
  // which field is wrong and why, or gives the operating system's reason.
  [[nodiscard]] HRESULT Open(const std::string& path, const WavReadOptions& options, std::string* problem);
  // The same for a file that is already open (read access, seekable).
  [[nodiscard]] HRESULT Attach(cvplat::UniqueFile file, const WavReadOptions& options, std::string* problem);

  // The "fmt " chunk as found (cbSize forced to 0 for a 16-byte chunk and
  // clamped to the chunk); valid once the chunk was read, even after a refusal.
  const WAVEFORMATEX* Format() const { return reinterpret_cast<const WAVEFORMATEX*>(format_.data()); }
  bool HasFormat() const { return !format_.empty(); }
  // The plain equivalent of the format (tag 1 for integer samples, 3 for float,
  // cbSize 0): what the sample converters classify.
  const WAVEFORMATEX& SampleLayout() const { return layout_; }
  // Bits of each sample that carry audio (the extensible header's valid bits).
  uint32_t ValidBits() const { return validBits_; }
  uint32_t FrameBytes() const { return Format()->nBlockAlign; }
  uint64_t Frames() const { return frames_; }
  uint64_t DataOffset() const { return dataOffset_; }
  // Bytes after the last whole frame that --ignore-chunk-sizes left unread.
  uint32_t PartialFrameBytes() const { return partialBytes_; }
  bool IsRf64() const { return rf64_; }
  uint64_t FileSize() const { return fileSize_; }
  // The top-level chunks in file order, "fmt " and "data" included; the walk
  // stops at the end of the RIFF body, and after the data chunk when sizes are
  // ignored.
  const std::vector<WavChunk>& Chunks() const { return chunks_; }
  HANDLE Handle() const { return file_.Get(); }

  // Reads up to count frames starting at frame; *got receives the frames read.
  // Reads below 64 KiB are served from a read-ahead buffer of about 256 KiB,
  // so that a caller asking block by block costs one system call per quarter
  // megabyte, and the copies out of it come from the processor's cache (with
  // 1 MiB a CD encode took 1-1.5 ms longer); larger ones go straight into the
  // caller's buffer.
  [[nodiscard]] HRESULT ReadFrames(uint64_t frame, uint32_t count, void* buffer, uint32_t* got);
  // Reads count bytes at an absolute position (for chunk bodies).
  [[nodiscard]] HRESULT ReadAt(uint64_t position, void* buffer, uint32_t count);

 private:
  [[nodiscard]] HRESULT Walk(const WavReadOptions& options, std::string* problem);
  [[nodiscard]] HRESULT ReadFormat(const WavChunk& chunk, std::string* problem);
  [[nodiscard]] HRESULT CheckFormat(std::string* problem);
  [[nodiscard]] HRESULT PlaceData(WavChunk* data, const WavReadOptions& options, std::string* problem);
  [[nodiscard]] bool ReadFromFile(uint64_t frame, uint32_t count, uint8_t* out);

  cvplat::UniqueFile file_;
  uint64_t fileSize_ = 0;
  bool rf64_ = false;
  uint64_t ds64Data_ = 0;
  std::vector<uint8_t> format_;
  WAVEFORMATEX layout_{};
  uint32_t validBits_ = 0;
  std::vector<WavChunk> chunks_;
  uint64_t dataOffset_ = 0;
  uint64_t frames_ = 0;
  uint32_t partialBytes_ = 0;
  std::vector<uint8_t> ahead_;  // frames aheadFirst_ .. aheadFirst_ + aheadFrames_ - 1
  uint64_t aheadFirst_ = 0;
  uint32_t aheadFrames_ = 0;
};

// The whole audio of a WAVE file in its plain layout (SampleLayout), for callers
// that want a recording in memory: the tests and the benchmarks.
[[nodiscard]] HRESULT ReadWavAudio(const std::string& path, WAVEFORMATEX* layout, std::vector<uint8_t>* bytes,
                                   std::string* problem);

// The four-character code of a chunk id ("fmt " -> 0x20746D66).
constexpr uint32_t ChunkId(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}
// A chunk id as text, with unprintable bytes as '?'.
std::string ChunkName(uint32_t id);

// 64-bit positioning on a file handle.
[[nodiscard]] bool SeekTo(HANDLE file, uint64_t position);
// Reads exactly count bytes; a short read is a failure.
[[nodiscard]] bool ReadExact(HANDLE file, void* buffer, uint32_t count);

}  // namespace cv
