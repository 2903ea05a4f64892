// Blocks written to and read from memory: the byte sink the encoder tests write
// streams into, and the byte source the decoder tests read them from.
#pragma once

#include "krn/byte_io.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qlatest {

class MemoryBytes final : public cv::ByteSink, public cv::ByteSource {
 public:
  explicit MemoryBytes(std::vector<uint8_t> initial = {}, size_t at = 0) : bytes(std::move(initial)), position(at) {}

  bool Write(const void* data, uint32_t count) override {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + count);
    return true;
  }
  bool Read(void* out, uint32_t count, DWORD* got) override {
    const size_t n = position < bytes.size() ? std::min<size_t>(count, bytes.size() - position) : 0;
    if (n) std::memcpy(out, bytes.data() + position, n);
    position += n;
    *got = static_cast<DWORD>(n);
    return true;
  }

  std::vector<uint8_t> bytes;
  size_t position;
};

}  // namespace qlatest
