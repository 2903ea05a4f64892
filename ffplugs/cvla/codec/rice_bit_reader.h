// Reads bits, Rice codes and whole channels of residuals from a block payload,
// most significant bit first.
//
// The payload buffer has a capacity of 4000 bytes at first and doubles on demand
// (never past 64000 bytes). The read position never leaves the buffer: once it
// is on the last byte (capacity - 1) it stays there, so every further read sees
// that byte over and over. The unary part of a Rice code stops early when a zero
// bit leaves the position on that last byte. Decoders rely on both rules to
// bound the work on damaged payloads.
//
// Internally the position is one bit count; the fast paths look at 64-bit
// windows of the buffer, which carries a few padding bytes that copy its last
// byte so that a window starting on the last byte sees exactly what the
// bit-at-a-time rules would.
#pragma once

#include "krn/md5_steps.h"
#include "krn/platform/memory.h"

#include <cstdint>

namespace qla {

class RiceBitReader {
 public:
  RiceBitReader() = default;
  RiceBitReader(const RiceBitReader&) = delete;
  RiceBitReader& operator=(const RiceBitReader&) = delete;

  // Allocates the initial 4000-byte buffer (zero-filled); false when out of memory.
  // A reader that was allocated before keeps its buffer.
  [[nodiscard]] bool Allocate();
  bool IsAllocated() const { return static_cast<bool>(block_); }

  // Doubles the capacity, keeping the contents. Refused (false, old buffer kept)
  // when the new capacity would exceed 80000 bytes or memory runs out.
  [[nodiscard]] bool Grow();

  // The writable payload buffer of Capacity() bytes. After filling it call Reset().
  uint8_t* Data() { return block_.As<uint8_t>(); }
  uint32_t Capacity() const { return capacity_; }

  // Back to the first bit of the buffer.
  void Reset();

  // One bit, 0 or 1.
  uint32_t ReadBit();
  // n bits, the first one read most significant; for n > 32 the last 32 bits read.
  uint32_t ReadBits(uint32_t n);
  // One Rice code with parameter k: (unary count << (k mod 32)) + k low bits, in 32 bits.
  uint32_t ReadRice(uint32_t k);
  // n Rice codes with parameter k, mapped to signed residuals, into out[0..n-1].
  // The same as n ReadRice calls followed by MapResidual. Returns false when the
  // position ended on the last byte of the buffer (the payload ran out).
  // With a digest run, blocks of it may be hashed between the codes, one per
  // 64 codes (on processors with the bit instructions, for parameters below 24).
  [[nodiscard]] bool ReadResiduals(uint32_t k, uint32_t n, int32_t* out, cv::Md5BlockRun* digest = nullptr);

  // The position in the terms of the bit-at-a-time rules.
  uint32_t ByteIndex() const { return position_ >> 3; }
  uint32_t BitPosition() const { return position_ & 7; }
  uint8_t CurrentByte() const { return Data()[ByteIndex()]; }
  bool OnLastByte() const { return ByteIndex() >= capacity_ - 1; }

  // A Rice value back to the signed residual: even u gives u / 2, odd u gives
  // (~u) / 2, both read as signed 32-bit numbers and divided toward zero.
  // Written as an arithmetic shift, which keeps bit 31 of u as the sign.
  static int32_t MapResidual(uint32_t u) {
    return (static_cast<int32_t>(u) >> 1) ^ static_cast<int32_t>(0u - (u & 1u));
  }

 private:
  const uint8_t* Data() const { return block_.As<uint8_t>(); }
  // Bit position of the first bit of the last byte.
  uint32_t LastByteBit() const { return (capacity_ - 1) * 8; }
  // Moves the position on by count bits, folding positions past the last byte back onto it.
  void Advance(uint64_t count);
  // 64 bits starting at bit position p; at least the top 57 are stream bits.
  uint64_t Window(uint32_t p) const;
  // Zero bits from p on, at most limit.
  uint32_t CountZeros(uint32_t p, uint32_t limit) const;
  // Copies the last byte into the padding after it.
  void RefreshPadding();

  cvplat::GlobalBlock block_;
  uint32_t capacity_ = 0;
  uint32_t position_ = 0;  // bits consumed; always on a byte < capacity_
};

}  // namespace qla
