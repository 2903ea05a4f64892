#include "ffplugs/cvla/codec/rice_bit_reader.h"

#include "ffplugs/cvla/qla_format.h"

#include <cstring>

namespace qla {
namespace {

// Bytes after the last byte of the buffer that repeat it: a 64-bit window that
// starts on the last byte reads 7 of them.
constexpr uint32_t kPadding = 8;
// Window bits that are always stream bits (64 minus at most 7 skipped bits).
constexpr uint32_t kWindowBits = 57;

inline uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return __builtin_bswap64(v);
#else
  return v;
#endif
}

inline uint32_t LeadingZeros64(uint64_t v) { return static_cast<uint32_t>(__builtin_clzll(v)); }

}  // namespace

bool RiceBitReader::Allocate() {
  if (block_) return true;
  cvplat::GlobalBlock block(kInitialPayloadCapacity + kPadding);
  if (!block) return false;
  block_ = std::move(block);
  capacity_ = kInitialPayloadCapacity;
  position_ = 0;
  return true;
}

bool RiceBitReader::Grow() {
  if (!block_) return false;
  const uint32_t newCapacity = capacity_ * 2;
  if (newCapacity > kPayloadGrowthLimit) return false;
  cvplat::GlobalBlock block(newCapacity + kPadding);
  if (!block) return false;
  std::memcpy(block.Get(), block_.Get(), capacity_);
  block_ = std::move(block);
  capacity_ = newCapacity;
  RefreshPadding();
  return true;
}

void RiceBitReader::RefreshPadding() {
  uint8_t* data = Data();
  std::memset(data + capacity_, data[capacity_ - 1], kPadding);
}

void RiceBitReader::Reset() {
  position_ = 0;
  RefreshPadding();
}

void RiceBitReader::Advance(uint64_t count) {
  const uint64_t p = position_ + count;
  const uint32_t last = LastByteBit();
  // Past the last byte the stream repeats that byte, so only the bit within it matters.
  position_ = p >= last ? last + static_cast<uint32_t>(p & 7) : static_cast<uint32_t>(p);
}

uint64_t RiceBitReader::Window(uint32_t p) const {
  return LoadBigEndian64(Data() + (p >> 3)) << (p & 7);
}

uint32_t RiceBitReader::CountZeros(uint32_t p, uint32_t limit) const {
  const uint32_t last = LastByteBit();
  const uint64_t streamBits = ~uint64_t{0} << (64 - kWindowBits + 1);  // top 56 bits
  uint32_t count = 0;
  for (;;) {
    const uint64_t w = Window(p) & streamBits;
    if (w != 0) {
      count += LeadingZeros64(w);
      break;
    }
    count += kWindowBits - 1;
    if (count >= limit) break;
    p += kWindowBits - 1;
    if (p >= last) p = last + (p & 7);
  }
  return count < limit ? count : limit;
}

uint32_t RiceBitReader::ReadBit() {
  const uint32_t bit = (Data()[position_ >> 3] >> (7 - (position_ & 7))) & 1u;
  Advance(1);
  return bit;
}

uint32_t RiceBitReader::ReadBits(uint32_t n) {
  if (n == 0) return 0;
  if (n > 32) {
    // Bits shifted out of a 32-bit result only move the position.
    Advance(n - 32);
    n = 32;
  }
  const uint32_t value = static_cast<uint32_t>(Window(position_) >> (64 - n));
  Advance(n);
  return value;
}

uint32_t RiceBitReader::ReadRice(uint32_t k) {
  // The unary part reads its first bit unconditionally; after each further zero
  // it stops when the position has reached the last byte.
  const uint32_t last = LastByteBit();
  const uint32_t limit = position_ < last ? last - position_ : 1;
  const uint32_t zeros = CountZeros(position_, limit);
  uint32_t q;
  if (zeros < limit) {
    q = zeros;
    Advance(uint64_t{zeros} + 1);  // the zeros and the terminating one
  } else {
    q = limit;
    Advance(limit);
  }
  return ReadBits(k) + (q << (k & 31));
}

bool RiceBitReader::ReadResiduals(uint32_t k, uint32_t n, int32_t* out) {
  const uint8_t* data = Data();
  const uint32_t last = LastByteBit();
  // Codes that start at or before fastEnd have their terminating one well before
  // the last byte and lie within buffer bytes, so the window sees them whole.
  const uint32_t fastEnd = last >= 64 ? last - 64 : 0;
  const bool fastK = k <= 31;
  uint32_t i = 0;
  while (i < n) {
    if (fastK && last >= 64) {
      uint32_t p = position_;
      // w holds the stream bits from p on; those before bit position `known`
      // are certain. It is reloaded from the buffer when a code may reach past
      // them.
      uint64_t w = 0;
      uint32_t known = p;
      const uint32_t codeBits = k + 1;  // the terminating one and the k low bits
      while (i < n) {
        // Bit 0 is never among the known bits: an empty window counts 63 zeros,
        // which is past them and reloads.
        uint32_t zeros = LeadingZeros64(w | 1u);
        if (p + zeros + codeBits > known) {
          if (p > fastEnd) break;
          w = LoadBigEndian64(data + (p >> 3)) << (p & 7);
          known = p + kWindowBits;
          if (w == 0) break;
          zeros = LeadingZeros64(w);
          if (zeros + codeBits > kWindowBits) break;
        }
        // The terminating one and the k low bits, as one number; the one is worth
        // 1 << k and is traded for the unary count.
        const uint64_t top = w << zeros;
        const uint32_t tail = static_cast<uint32_t>(top >> (63 - k));
        out[i++] = MapResidual(tail + ((zeros - 1u) << k));
        w = top << codeBits;  // at most 32 bits: the shift stays defined
        p += zeros + codeBits;
      }
      position_ = p;
      if (i == n) break;
    }
    out[i++] = MapResidual(ReadRice(k));
  }
  return !OnLastByte();
}

}  // namespace qla
