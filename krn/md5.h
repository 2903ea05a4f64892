// MD5 message digest, for integrity checks of stored audio: not for security.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace cv {

class Md5 {
 public:
  using Digest = std::array<uint8_t, 16>;

  Md5();
  void Update(const void* bytes, size_t count);
  // The digest of everything given so far; the object must not be updated after.
  Digest Finish();

  // 32 lower-case hexadecimal digits.
  static std::string ToHex(const Digest& digest);

 private:
  void Block(const uint8_t* block);

  uint32_t state_[4];
  uint64_t length_ = 0;
  uint8_t pending_[64];
  size_t pendingBytes_ = 0;
};

}  // namespace cv
