// Reads a file through a read-ahead buffer with a position of its own, so that
// a decoder taking one block after the other costs one system call per buffer
// rather than several per block. The buffer is filled from the file at the
// position; it is kept while the position moves within it and dropped by
// Invalidate (on a seek, after a re-open) or when another handle is given.
#pragma once

#include "krn/byte_io.h"
#include "krn/platform/memory.h"
#include "krn/platform/win_types.h"

#include <cstdint>

namespace cv {

class BufferedFileReader final : public ByteSource {
 public:
  static constexpr uint32_t kDefaultCapacity = 64 * 1024;

  BufferedFileReader() = default;
  BufferedFileReader(const BufferedFileReader&) = delete;
  BufferedFileReader& operator=(const BufferedFileReader&) = delete;

  // Allocates the buffer (kept if already there); false when out of memory.
  [[nodiscard]] bool Allocate(uint32_t capacity = kDefaultCapacity);

  // The next Read starts at offset of file. The buffered bytes stay valid when
  // the file is the one they came from.
  void SetPosition(HANDLE file, uint64_t offset);
  uint64_t Position() const { return position_; }
  // Forgets the buffered bytes: the next Read goes to the file.
  void Invalidate() { length_ = 0; }

  // Copies up to count bytes from the position on and moves the position past
  // them; *got receives the count (fewer at the end of the file). False when a
  // file read fails; *got then counts the bytes copied before the failure.
  [[nodiscard]] bool Read(void* out, uint32_t count, DWORD* got) override;

  // File reads done so far, for tests.
  uint32_t FileReads() const { return fileReads_; }

 private:
  bool FetchFromFile(uint64_t offset, uint8_t* out, uint32_t count, DWORD* got);

  HANDLE file_ = nullptr;
  cvplat::GlobalBlock block_;
  uint32_t capacity_ = 0;
  uint64_t start_ = 0;    // file offset of the first buffered byte
  uint32_t length_ = 0;   // buffered bytes
  uint64_t position_ = 0;
  uint32_t fileReads_ = 0;
};

}  // namespace cv
