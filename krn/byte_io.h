// Byte sources and sinks: what the codec reads blocks from and writes block
// headers to, without knowing whether a file, a buffer or a test stands behind.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>

namespace cv {

class ByteSource {
 public:
  // Copies up to count bytes from the current position on and moves past them;
  // *got receives the count (fewer at the end of the data). False when the read
  // fails; *got then counts the bytes delivered before the failure.
  [[nodiscard]] virtual bool Read(void* out, uint32_t count, DWORD* got) = 0;

 protected:
  ~ByteSource() = default;
};

class ByteSink {
 public:
  // Appends count bytes; false unless every byte was written.
  [[nodiscard]] virtual bool Write(const void* data, uint32_t count) = 0;

 protected:
  ~ByteSink() = default;
};

// A file read at the handle's own position (the handle is not owned).
class FileByteSource final : public ByteSource {
 public:
  explicit FileByteSource(HANDLE file) : file_(file) {}
  [[nodiscard]] bool Read(void* out, uint32_t count, DWORD* got) override;

 private:
  HANDLE file_;
};

// A file written at the handle's own position (the handle is not owned).
class FileByteSink final : public ByteSink {
 public:
  explicit FileByteSink(HANDLE file) : file_(file) {}
  [[nodiscard]] bool Write(const void* data, uint32_t count) override;

 private:
  HANDLE file_;
};

}  // namespace cv
