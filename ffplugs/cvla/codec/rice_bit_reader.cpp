#include "ffplugs/cvla/codec/rice_bit_reader.h"

#include "ffplugs/cvla/qla_format.h"
#include "krn/platform/cpu.h"

#include <array>
#include <cstring>
#include <utility>

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

inline uint64_t RotateLeft64(uint64_t v, uint32_t n) { return (v << (n & 63)) | (v >> ((64 - n) & 63)); }

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

namespace {

// Decodes codes with parameter kK from bit position p on into out[i..n-1], as
// unmapped values, while
// each code starts at or before fastEnd, where the window sees it whole (its
// terminating one well before the last byte, all of it within buffer bytes).
// Stops early at a code longer than a window. Returns the index reached and
// leaves the position after the last code in p. One instance per parameter
// turns every shift by k into a shift by a constant.
template <uint32_t kK>
CVPLAT_BUILT_INTO_CALLER uint32_t ReadFastCodes(const uint8_t* data, uint32_t fastEnd, uint32_t& position, uint32_t i,
                                                uint32_t n, int32_t* out) {
  constexpr uint32_t kCodeBits = kK + 1;  // the terminating one and the k low bits
  uint32_t p = position;
  // w holds the stream bits from p on; those before bit position `known` are
  // certain. It is reloaded from the buffer when a code may reach past them.
  // A marker one sits right after the known bits, so that w is never zero and
  // a count of zeros that reaches it reaches past the known bits. It starts
  // with no known bits, which reloads at once.
  constexpr uint64_t kMarker = uint64_t{1} << (63 - kWindowBits);
  uint64_t w = 1;
  uint32_t known = p;
  int32_t* o = out + i;
  int32_t* const end = out + n;
  while (o < end) {
    uint32_t zeros = LeadingZeros64(w);
    if (p + zeros + kCodeBits > known) {
      if (p > fastEnd) break;
      w = (LoadBigEndian64(data + (p >> 3)) << (p & 7)) | kMarker;
      known = p + kWindowBits;
      zeros = LeadingZeros64(w);
      if (zeros + kCodeBits > kWindowBits) break;
    }
    // The terminating one and the k low bits, as one number; the one is worth
    // 1 << k and is traded for the unary count.
    const uint64_t top = w << zeros;
    const uint32_t tail = static_cast<uint32_t>(top >> (63 - kK));
    *o++ = static_cast<int32_t>((zeros << kK) + tail - (1u << kK));  // mapped afterwards, on whole vectors
    // The same as top << kCodeBits (the two shifts stay below 64 together), with
    // the shift by the constant taken before the count is known: one shift
    // lies between one count and the next.
    w = (w << kCodeBits) << zeros;
    p += zeros + kCodeBits;
  }
  position = p;
  return static_cast<uint32_t>(o - out);
}

// The loop built twice: for any processor, and for those with one-instruction
// leading-zero counts and register shifts, which shorten the chain from one
// code to the next. Both give the same values.
template <uint32_t kK>
uint32_t ReadFastCodesPlain(const uint8_t* data, uint32_t fastEnd, uint32_t& position, uint32_t i, uint32_t n,
                            int32_t* out) {
  return ReadFastCodes<kK>(data, fastEnd, position, i, n, out);
}

template <uint32_t kK>
CVPLAT_TARGET_BIT_INSTRUCTIONS uint32_t ReadFastCodesBits(const uint8_t* data, uint32_t fastEnd,
                                                          uint32_t& position, uint32_t i, uint32_t n, int32_t* out) {
  return ReadFastCodes<kK>(data, fastEnd, position, i, n, out);
}

using FastCodesReader = uint32_t (*)(const uint8_t*, uint32_t, uint32_t&, uint32_t, uint32_t, int32_t*);
constexpr uint32_t kFastParameters = 32;  // parameters 0 to 31
using FastCodesReaders = std::array<FastCodesReader, kFastParameters>;

template <uint32_t... kKs>
constexpr FastCodesReaders PlainReaders(std::integer_sequence<uint32_t, kKs...>) {
  return {&ReadFastCodesPlain<kKs>...};
}
template <uint32_t... kKs>
constexpr FastCodesReaders BitsReaders(std::integer_sequence<uint32_t, kKs...>) {
  return {&ReadFastCodesBits<kKs>...};
}

constexpr FastCodesReaders kPlainReaders = PlainReaders(std::make_integer_sequence<uint32_t, kFastParameters>{});
constexpr FastCodesReaders kBitsReaders = BitsReaders(std::make_integer_sequence<uint32_t, kFastParameters>{});

const FastCodesReaders& Readers() { return cvplat::UseBitInstructions() ? kBitsReaders : kPlainReaders; }

// Reading while hashing. A window is loaded for a group of codes, which are
// taken from it with no test between them; after each code follows one step of
// the digest's next block, 64 codes to a block. The codes' chain (a count of
// zeros, then a rotation by it) and the hash's chain are independent, and with
// no guess about where a window runs out there is no wrong guess to throw the
// hashing queued behind it away.

// Codes of parameter kK taken from one window: their lengths average a little
// over kK + 2 bits, and a group fills about three quarters of the known bits
// on average, so that one rarely reaches past them.
template <uint32_t kK>
constexpr size_t kCodesPerWindow = 3 * kWindowBits / 4 / (kK + 2) > 0 ? 3 * kWindowBits / 4 / (kK + 2) : 1;

// One code from the window w, which is rotated past it: the code's bits (its
// terminating one among them) come back in behind the bits kept, so that w
// never runs empty, even past the known bits.
template <uint32_t kK>
CVPLAT_BUILT_INTO_CALLER void CodeFromWindow(uint64_t& w, uint32_t& used, int32_t* out) {
  const uint32_t zeros = LeadingZeros64(w);
  const uint64_t top = w << zeros;
  const uint32_t tail = static_cast<uint32_t>(top >> (63 - kK));
  *out = static_cast<int32_t>((zeros << kK) + tail - (1u << kK));
  w = RotateLeft64(RotateLeft64(w, kK + 1), zeros);
  used += zeros + kK + 1;
}

// Codes kFirst + kJ from the window at p, each followed by step kFirst + kJ.
// A group whose codes reach past the known bits sets overrun; p then moves on
// by less than 64 bits all the same, so that the chunk's windows stay within
// the bounds its start was checked against.
template <uint32_t kK, size_t kFirst, size_t... kJ>
CVPLAT_BUILT_INTO_CALLER void HashedGroup(const uint8_t* data, uint32_t& p, int32_t* out, bool& overrun,
                                          uint32_t (&abcd)[4], const cv::Md5Words& m, std::index_sequence<kJ...>) {
  // Ones after the known bits: a count of zeros stops there.
  constexpr uint64_t kMarkers = (uint64_t{1} << (64 - kWindowBits)) - 1;
  uint64_t w = (LoadBigEndian64(data + (p >> 3)) << (p & 7)) | kMarkers;
  uint32_t used = 0;
  ((CodeFromWindow<kK>(w, used, out + kFirst + kJ), cv::Md5Step<kFirst + kJ>(abcd, m)), ...);
  overrun |= used > kWindowBits;
  p += used & 63;
}

constexpr size_t kCodesPerHashedChunk = 64;  // one step per code

template <uint32_t kK>
constexpr size_t kGroupsPerChunk = (kCodesPerHashedChunk + kCodesPerWindow<kK> - 1) / kCodesPerWindow<kK>;

// 64 codes and the digest's next block. False when a group did not fit its
// window: the codes are then not valid and p not where they end.
template <uint32_t kK, size_t... kGroup>
CVPLAT_BUILT_INTO_CALLER bool HashedChunk(const uint8_t* data, uint32_t& p, int32_t* out, cv::Md5BlockRun& digest,
                                          std::index_sequence<kGroup...>) {
  constexpr size_t kG = kCodesPerWindow<kK>;
  cv::Md5RunBlock block(digest);
  bool overrun = false;
  (HashedGroup<kK, kGroup * kG>(
       data, p, out, overrun, block.abcd, block.m,
       std::make_index_sequence<(kGroup + 1) * kG <= kCodesPerHashedChunk ? kG : kCodesPerHashedChunk - kGroup * kG>{}),
   ...);
  block.Done(digest);
  return !overrun;
}

// Whole chunks of 64 codes from bit position p on into out[i..n-1], while the
// digest run has blocks and every window of the chunk starts at or before
// fastEnd. A chunk that did not fit is read again one code at a time (its
// digest block is hashed all the same). Returns the index reached, with the
// position after it in p; stops early at a code longer than a window.
template <uint32_t kK>
CVPLAT_TARGET_BIT_INSTRUCTIONS uint32_t ReadHashedCodes(const uint8_t* data, uint32_t fastEnd, uint32_t& position,
                                                        uint32_t i, uint32_t n, int32_t* out, cv::Md5BlockRun& digest) {
  // How far past a chunk's start its last window may start.
  constexpr uint32_t kReach = static_cast<uint32_t>(kGroupsPerChunk<kK> - 1) * 63;
  uint32_t p = position;
  while (n - i >= kCodesPerHashedChunk && digest.blocks > 0 && fastEnd >= kReach && p <= fastEnd - kReach) {
    const uint32_t start = p;
    if (!HashedChunk<kK>(data, p, out + i, digest, std::make_index_sequence<kGroupsPerChunk<kK>>{})) {
      p = start;
      const uint32_t reached = ReadFastCodes<kK>(data, fastEnd, p, i, i + kCodesPerHashedChunk, out);
      if (reached != i + kCodesPerHashedChunk) {
        i = reached;
        break;
      }
    }
    i += kCodesPerHashedChunk;
  }
  position = p;
  return i;
}

using HashedCodesReader = uint32_t (*)(const uint8_t*, uint32_t, uint32_t&, uint32_t, uint32_t, int32_t*,
                                       cv::Md5BlockRun&);
// Parameters 0 to 23: larger ones mean codes of 25 bits and more, rare enough
// to leave their digest blocks to the other loops.
constexpr uint32_t kHashedParameters = 24;

template <uint32_t... kKs>
constexpr std::array<HashedCodesReader, kHashedParameters> HashedReaders(std::integer_sequence<uint32_t, kKs...>) {
  return {&ReadHashedCodes<kKs>...};
}
constexpr std::array<HashedCodesReader, kHashedParameters> kHashedReaders =
    HashedReaders(std::make_integer_sequence<uint32_t, kHashedParameters>{});

// The zigzag map undone in place, for any processor and for AVX2.
CVPLAT_BUILT_INTO_CALLER void MapResidualsBody(int32_t* values, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) values[i] = RiceBitReader::MapResidual(static_cast<uint32_t>(values[i]));
}
void MapResidualsPlain(int32_t* values, uint32_t n) { MapResidualsBody(values, n); }
CVPLAT_TARGET_AVX2 void MapResidualsAvx2(int32_t* values, uint32_t n) { MapResidualsBody(values, n); }
void MapResiduals(int32_t* values, uint32_t n) {
  if (cvplat::UseAvx2()) return MapResidualsAvx2(values, n);
  MapResidualsPlain(values, n);
}

}  // namespace

bool RiceBitReader::ReadResiduals(uint32_t k, uint32_t n, int32_t* out, cv::Md5BlockRun* digest) {
  const uint32_t last = LastByteBit();
  // Codes that start at or before fastEnd have their terminating one well before
  // the last byte and lie within buffer bytes, so the window sees them whole.
  const uint32_t fastEnd = last >= 64 ? last - 64 : 0;
  const FastCodesReader fast = k < kFastParameters && last >= 64 ? Readers()[k] : nullptr;
  uint32_t i = 0;
  // Only built for processors with the bit instructions: the tool's decodes
  // hash, and they run on such processors.
  if (digest && fast && k < kHashedParameters && cvplat::UseBitInstructions())
    i = kHashedReaders[k](Data(), fastEnd, position_, 0, n, out, *digest);
  while (i < n) {
    if (fast) {
      i = fast(Data(), fastEnd, position_, i, n, out);
      if (i == n) break;
    }
    out[i++] = static_cast<int32_t>(ReadRice(k));
  }
  MapResiduals(out, n);
  return !OnLastByte();
}

}  // namespace qla
