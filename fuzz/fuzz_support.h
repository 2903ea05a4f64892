// Shared pieces of the fuzz targets: the input as a file (the parsers read from
// file handles), and a reader that takes the target's choices off the front of
// the input.
#pragma once

#include "krn/platform/file.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct IStream;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace cvfuzz {

// A path unique to this process in a temporary folder (memory-backed where the
// system has one); the same path on every call with the same name.
std::string ScratchPath(const char* name);
// Writes bytes to ScratchPath(name) and returns the path.
std::string WriteScratch(const char* name, const uint8_t* data, size_t size);
// Opens a file for reading (and writing), shared like the host shares it.
cvplat::UniqueFile OpenScratch(const std::string& path, bool write = false);

// Takes small values off the front of the input; zeros once it is used up.
class Choices {
 public:
  Choices(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Take(int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes && size_ > 0; ++i, ++data_, --size_) v |= static_cast<uint32_t>(*data_) << (8 * i);
    return v;
  }
  const uint8_t* Rest() const { return data_; }
  size_t RestSize() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// Reads and seeks the stream as the input's choices say (bounded), checking that
// no call reports more bytes than asked, then releases it.
void ExerciseStream(IStream* stream, Choices& choices);

}  // namespace cvfuzz
