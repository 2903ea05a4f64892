#include "krn/buffered_file_reader.h"

#include "krn/platform/file.h"

#include <cstring>

namespace cv {

bool BufferedFileReader::Allocate(uint32_t capacity) {
  if (block_) return true;
  if (capacity == 0) return false;
  cvplat::GlobalBlock block(capacity);
  if (!block) return false;
  block_ = std::move(block);
  capacity_ = capacity;
  length_ = 0;
  return true;
}

void BufferedFileReader::SetPosition(HANDLE file, uint64_t offset) {
  if (file != file_) {
    file_ = file;
    length_ = 0;
  }
  position_ = offset;
}

bool BufferedFileReader::FetchFromFile(uint64_t offset, uint8_t* out, uint32_t count, DWORD* got) {
  *got = 0;
  ++fileReads_;
  if (!cvplat::SeekFile(file_, offset)) return false;
  return cvplat::ReadFileBytes(file_, out, count, got) != 0;
}

bool BufferedFileReader::Read(void* out, uint32_t count, DWORD* got) {
  *got = 0;
  uint8_t* dest = static_cast<uint8_t*>(out);
  while (*got < count) {
    const uint32_t wanted = count - *got;
    if (position_ >= start_ && position_ < start_ + length_) {
      const uint32_t offset = static_cast<uint32_t>(position_ - start_);
      const uint32_t take = length_ - offset < wanted ? length_ - offset : wanted;
      std::memcpy(dest + *got, block_.As<uint8_t>() + offset, take);
      *got += take;
      position_ += take;
      continue;
    }
    DWORD read = 0;
    if (!block_ || wanted >= capacity_) {
      // Too large for the buffer: straight into the caller's memory.
      const bool ok = FetchFromFile(position_, dest + *got, wanted, &read);
      *got += read;
      position_ += read;
      return ok;
    }
    length_ = 0;
    if (!FetchFromFile(position_, block_.As<uint8_t>(), capacity_, &read)) return false;
    if (read == 0) return true;  // the end of the file
    start_ = position_;
    length_ = read;
  }
  return true;
}

}  // namespace cv
