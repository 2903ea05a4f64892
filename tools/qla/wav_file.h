// PCM WAVE files as the tool reads and writes them: a reader for the sources of
// an encode (PCM, extensible and float formats; the sample layout is left to the
// sample-format classifier) and a writer for the plain PCM files that a decode
// produces.
#pragma once

#include "krn/platform/file.h"
#include "krn/platform/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlatool {

class WavReader {
 public:
  // Opens the file and finds its "fmt " and "data" chunks. Failures are result
  // codes; *problem then says what is wrong in words where the code alone would
  // not (a missing chunk, a zero block size).
  HRESULT Open(const std::string& path, std::string* problem);

  // The format as found in the file: WAVEFORMATEX with its extension, cbSize set
  // (0 for a 16-byte chunk).
  const WAVEFORMATEX* Format() const { return reinterpret_cast<const WAVEFORMATEX*>(format_.data()); }
  uint64_t Frames() const { return frames_; }
  uint32_t FrameBytes() const { return Format()->nBlockAlign; }
  HANDLE Handle() const { return file_.Get(); }

  // Reads up to count frames starting at frame; *got receives the frames read.
  // Small reads are served from a read-ahead buffer of about 1 MiB, so that a
  // caller asking block by block costs one system call per megabyte.
  HRESULT ReadFrames(uint64_t frame, uint32_t count, void* buffer, uint32_t* got);

 private:
  // Reads count frames at frame from the file, with its own seek.
  bool ReadFromFile(uint64_t frame, uint32_t count, uint8_t* out);

  cvplat::UniqueFile file_;
  std::vector<uint8_t> format_;
  uint64_t dataOffset_ = 0;
  uint64_t frames_ = 0;
  std::vector<uint8_t> ahead_;  // frames aheadFirst_ .. aheadFirst_ + aheadFrames_ - 1
  uint64_t aheadFirst_ = 0;
  uint32_t aheadFrames_ = 0;
};

// Writes a PCM WAVE file: RIFF header, a 16-byte "fmt " chunk and "data"; the
// sizes are patched by Finish.
class WavWriter {
 public:
  HRESULT Create(const std::string& path, const WAVEFORMATEX& format);
  HRESULT Write(const void* bytes, uint32_t count);
  // Pads the data chunk and patches the sizes; the file stays open for nothing:
  // it is closed here so that metadata can be appended by name.
  HRESULT Finish();
  void Close() { file_.Reset(); }

 private:
  cvplat::UniqueFile file_;
  uint64_t dataBytes_ = 0;
};

// The plain PCM format (tag 1, cbSize 0) for channels, rate and bits.
WAVEFORMATEX PcmFormat(uint32_t channels, uint32_t sampleRate, uint32_t bits);

// 64-bit positioning on a file handle.
bool SeekTo(HANDLE file, uint64_t position);
// Reads exactly count bytes; a short read is a failure.
bool ReadExact(HANDLE file, void* buffer, uint32_t count);

}  // namespace qlatool
