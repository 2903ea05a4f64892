// The bit rules of the coded payload followed literally, one bit at a time: the
// reference the word-at-a-time reader and writer are checked against, and the
// packer that hand-made blocks are built with.
#pragma once

#include <cstdint>
#include <vector>

namespace qlatest {

// Signed value to its Rice code number: 0, -1, 1, -2, ... -> 0, 1, 2, 3, ...
inline uint32_t RiceFold(int32_t v) {
  const uint32_t twice = 2u * static_cast<uint32_t>(v);
  return v >= 0 ? twice : ~twice;
}

// Code number back to the signed value: complement odd values, then halve toward zero.
inline int32_t RiceUnfold(uint32_t u) { return static_cast<int32_t>((u & 1u) ? ~u : u) / 2; }

// Packs bits most significant first; Bytes() pads the last byte with zeros and
// adds the one extra zero byte a stream ending on a byte boundary carries.
class BitPacker {
 public:
  void Put(uint32_t value, uint32_t count) {
    for (uint32_t i = count; i-- > 0;) PutBit((value >> i) & 1u);
  }
  void PutBit(uint32_t bit) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80u >> (bits_ % 8));
    ++bits_;
  }
  void PutZeros(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) PutBit(0);
  }
  // Rice code of the signed value v with parameter k (k <= 31).
  void PutRice(int32_t v, uint32_t k) {
    const uint32_t u = RiceFold(v);
    PutZeros(u >> k);
    PutBit(1);
    if (k) Put(u & ((1u << k) - 1u), k);
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = bytes_;
    if (bits_ % 8 == 0) out.push_back(0);
    return out;
  }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t bits_ = 0;
};

// Reads a buffer by byte index, bit position and current byte, one bit at a
// time; on the last byte the index stays and its bits repeat.
class BitReaderOracle {
 public:
  explicit BitReaderOracle(std::vector<uint8_t> buffer) : buf_(std::move(buffer)), byte_(buf_[0]) {}
  uint32_t ReadBit() {
    const uint32_t bit = (byte_ >> (7 - bitPos_)) & 1u;
    if (++bitPos_ == 8) {
      if (index_ < static_cast<int32_t>(buf_.size()) - 1) ++index_;
      bitPos_ = 0;
      byte_ = buf_[index_];
    }
    return bit;
  }
  uint32_t ReadBits(uint32_t n) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i) v = (v << 1) | ReadBit();
    return v;
  }
  uint32_t ReadRice(uint32_t k) {
    uint32_t q = 0;
    if (ReadBit() == 0) {
      for (;;) {
        ++q;
        if (index_ >= static_cast<int32_t>(buf_.size()) - 1) break;
        if (ReadBit() == 1) break;
      }
    }
    return ReadBits(k) + (q << (k % 32));
  }
  std::vector<uint8_t> buf_;
  int32_t index_ = 0;
  int32_t bitPos_ = 0;
  uint8_t byte_;
};

}  // namespace qlatest
