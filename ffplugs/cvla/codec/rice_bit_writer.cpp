#include "ffplugs/cvla/codec/rice_bit_writer.h"

#include <cstring>
#include <utility>

#include "ffplugs/cvla/qla_format.h"
#include "krn/platform/cpu.h"

namespace qla {
namespace {

// Zigzag map on 32 bits: 0, -1, 1, -2, ... -> 0, 1, 2, 3, ...
inline uint32_t Zigzag(int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  return (u << 1) ^ (0u - (u >> 31));
}

// The largest parameter for which two codes of quotient 0 fit one append.
constexpr int32_t kMaxPairedParameter = 27;

// Bytes after the end of the buffer that a store of eight bytes may touch.
constexpr uint32_t kStorePadding = 8;

inline void StoreBigEndian64(uint8_t* p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  std::memcpy(p, &v, sizeof v);
}

// Bits flow into the low end of a 64-bit word. After every append the pending
// bits are stored as eight bytes, most significant first, and the complete
// bytes among them are passed; fewer than 8 bits stay pending, so an append of
// up to 57 bits never loses any. Storing every time costs less than deciding
// when to store, which real audio makes unpredictable. The bytes after the
// complete ones are overwritten by later stores.
class BitSink {
 public:
  BitSink(uint8_t* out, uint32_t pending, int pendingBits)
      : out_(out), bits_(pending), count_(static_cast<uint32_t>(pendingBits)) {}

  CVPLAT_BUILT_INTO_CALLER void Append(uint64_t value, uint32_t length) {  // length 1..57, value < 2^length
    bits_ = (bits_ << length) | value;
    count_ += length;
    StoreBigEndian64(out_, bits_ << (64 - count_));
    out_ += count_ >> 3;
    count_ &= 7;
  }

  // Appends q zero bits, a one bit and the low k bits of u (k 1..31).
  CVPLAT_BUILT_INTO_CALLER void AppendCode(uint32_t u, uint32_t q, int32_t k) {
    const uint32_t marker = 1u << k;
    if (q + 1 + static_cast<uint32_t>(k) <= 32) {
      Append(marker | (u & (marker - 1u)), q + 1 + static_cast<uint32_t>(k));
      return;
    }
    AppendLongCode(u, q, k);
  }

  // A code longer than 32 bits: the quotient's zeros in words, then the rest.
  CVPLAT_BUILT_INTO_CALLER void AppendLongCode(uint32_t u, uint32_t q, int32_t k) {
    for (; q >= 32; q -= 32) Append(0, 32);
    Append(1, q + 1);
    Append(u & ((1u << k) - 1u), static_cast<uint32_t>(k));
  }

  // Stores the complete bytes still pending; what remains is 0..7 bits.
  void StoreCompleteBytes() {
    while (count_ >= 8) {
      count_ -= 8;
      *out_++ = static_cast<uint8_t>(bits_ >> count_);
    }
  }

  uint8_t* Out() const { return out_; }
  int PendingCount() const { return static_cast<int>(count_); }
  uint32_t PendingBits() const { return static_cast<uint32_t>(bits_) & ((1u << count_) - 1u); }

 private:
  uint8_t* out_;
  uint64_t bits_;
  uint32_t count_;
};

// Codes count values with parameter k (1..31) after the sink's bits and returns
// the sink that follows them (a copy, which stays in registers). Two codes
// that together take at most 57 bits go out in one append, which halves the
// stores and the position updates.
CVPLAT_BUILT_INTO_CALLER BitSink EncodeCodes(BitSink sink, const int32_t* values, int32_t k, int32_t count) {
  const uint32_t marker = 1u << k;
  const uint32_t lowMask = marker - 1u;
  const uint32_t shortLimit = 31u - static_cast<uint32_t>(k);  // q up to this fits one append
  int32_t i = 0;
  if (k <= kMaxPairedParameter) {
    // Quotients summing to at most this leave both codes within 57 bits.
    const uint32_t pairLimit = 55u - 2u * static_cast<uint32_t>(k);
    for (; i + 2 <= count; i += 2) {
      const uint32_t u0 = Zigzag(values[i]), u1 = Zigzag(values[i + 1]);
      const uint32_t q0 = u0 >> k, q1 = u1 >> k;  // each below 2^31: the sum does not wrap
      if (q0 + q1 <= pairLimit) {
        const uint32_t length1 = q1 + 1 + static_cast<uint32_t>(k);
        const uint64_t pair = (static_cast<uint64_t>(marker | (u0 & lowMask)) << length1) | (marker | (u1 & lowMask));
        sink.Append(pair, q0 + length1 + 1 + static_cast<uint32_t>(k));
      } else {
        sink.AppendCode(u0, q0, k);
        sink.AppendCode(u1, q1, k);
      }
    }
  }
  for (; i < count; ++i) {
    const uint32_t u = Zigzag(values[i]);
    const uint32_t q = u >> k;
    if (q <= shortLimit) {
      sink.Append(marker | (u & lowMask), q + 1 + static_cast<uint32_t>(k));
    } else {
      sink.AppendLongCode(u, q, k);
    }
  }
  return sink;
}

// The loop for any processor, and for processors whose shifts by a register
// take one instruction; both write the same bits.
BitSink EncodeCodesPlain(BitSink sink, const int32_t* values, int32_t k, int32_t count) {
  return EncodeCodes(sink, values, k, count);
}
CVPLAT_TARGET_BIT_INSTRUCTIONS BitSink EncodeCodesBits(BitSink sink, const int32_t* values, int32_t k,
                                                       int32_t count) {
  return EncodeCodes(sink, values, k, count);
}

typedef uint32_t Words __attribute__((vector_size(32)));
typedef uint64_t Pairs __attribute__((vector_size(32)));

// Eight codes prepared on 256-bit vectors: zigzag map, code and length, and
// then the two codes of each pair joined into one number.
struct EightCodes {
  alignas(32) uint64_t bits[4];
  alignas(32) uint64_t lengths[4];
};

CVPLAT_BUILT_INTO_CALLER void PrepareEight(const int32_t* values, uint32_t kk, EightCodes& codes) {
  const uint32_t marker = 1u << kk;
  const Pairs low32 = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  Words v;
  std::memcpy(&v, values, sizeof v);
  const Words u = (v << 1) ^ (0u - (v >> 31));
  const Words code = marker | (u & (marker - 1u));
  const Words length = (u >> kk) + (1u + kk);
  // As four 64-bit lanes, the low halves hold the first code of each pair,
  // the high halves the second.
  Pairs pairCode, pairLength;
  std::memcpy(&pairCode, &code, sizeof pairCode);
  std::memcpy(&pairLength, &length, sizeof pairLength);
  const Pairs secondLength = pairLength >> 32;
  const Pairs joined = ((pairCode & low32) << secondLength) | (pairCode >> 32);
  const Pairs joinedLength = (pairLength & low32) + secondLength;
  std::memcpy(codes.bits, &joined, sizeof codes.bits);
  std::memcpy(codes.lengths, &joinedLength, sizeof codes.lengths);
}

// True when a pair among the eight values would take more than 57 bits.
CVPLAT_BUILT_INTO_CALLER bool HasLongPair(const int32_t* values, uint32_t kk, uint32_t pairLimit) {
  const Pairs low32 = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  Words v;
  std::memcpy(&v, values, sizeof v);
  const Words q = ((v << 1) ^ (0u - (v >> 31))) >> kk;
  Pairs pairQ;
  std::memcpy(&pairQ, &q, sizeof pairQ);
  const Pairs tooLong = ((pairQ & low32) + (pairQ >> 32)) > pairLimit;
  return (tooLong[0] | tooLong[1] | tooLong[2] | tooLong[3]) != 0;
}

// Eight values, with steps kFirst to kFirst + 7 of the digest block after
// their appends, two after each: the appends' chain and the hash's chain are
// independent and run side by side.
template <size_t kFirst, size_t... kPair>
CVPLAT_BUILT_INTO_CALLER void AppendEightAndHash(BitSink& sink, const int32_t* values, uint32_t kk,
                                                 cv::Md5RunBlock& block, std::index_sequence<kPair...>) {
  EightCodes codes;
  PrepareEight(values, kk, codes);
  ((sink.Append(codes.bits[kPair], static_cast<uint32_t>(codes.lengths[kPair])),
    cv::Md5Step<kFirst + 2 * kPair>(block.abcd, block.m), cv::Md5Step<kFirst + 2 * kPair + 1>(block.abcd, block.m)),
   ...);
}

// 64 values and the digest's next block.
template <size_t... kEight>
CVPLAT_BUILT_INTO_CALLER void AppendSixtyFourAndHash(BitSink& sink, const int32_t* values, uint32_t kk,
                                                     cv::Md5BlockRun& digest, std::index_sequence<kEight...>) {
  cv::Md5RunBlock block(digest);
  (AppendEightAndHash<8 * kEight>(sink, values + 8 * kEight, kk, block, std::make_index_sequence<4>{}), ...);
  block.Done(digest);
}

// The same bits with the codes of eight values prepared at a time on vectors,
// so that the scalar part only appends. Where the largest quotient of the run
// allows a pair longer than 57 bits, every eight values are checked, and eight
// with such a pair go through the scalar loop. With a digest run, and no such
// pair possible, every 64 values hash one of its blocks while they are appended.
// largest is the largest zigzag-mapped value of the run (RunMeasure).
CVPLAT_TARGET_AVX2_AND_BITS BitSink EncodeCodesAvx2(BitSink sink, const int32_t* values, int32_t k, int32_t count,
                                                    uint32_t largest, cv::Md5BlockRun* digest) {
  if (k > kMaxPairedParameter) return EncodeCodes(sink, values, k, count);
  const uint32_t kk = static_cast<uint32_t>(k);
  const uint32_t pairLimit = 55u - 2u * kk;
  const bool checkPairs = 2u * (largest >> kk) > pairLimit;
  int32_t i = 0;
  if (digest && !checkPairs)
    for (; i + 64 <= count && digest->blocks > 0; i += 64)
      AppendSixtyFourAndHash(sink, values + i, kk, *digest, std::make_index_sequence<8>{});
  for (; i + 8 <= count; i += 8) {
    if (checkPairs && HasLongPair(values + i, kk, pairLimit)) {
      sink = EncodeCodes(sink, values + i, k, 8);
      continue;
    }
    EightCodes codes;
    PrepareEight(values + i, kk, codes);
    for (int j = 0; j < 4; ++j) sink.Append(codes.bits[j], static_cast<uint32_t>(codes.lengths[j]));
  }
  return EncodeCodes(sink, values + i, k, count - i);
}

// What a run of codes needs: the sum of its quotients (its bits but the
// marker and low bits of each code) and its largest zigzag-mapped value.
struct RunMeasure {
  uint64_t quotients;
  uint32_t largest;
};

// Both in one pass, for any processor and for AVX2.
CVPLAT_BUILT_INTO_CALLER RunMeasure MeasureCodes(const int32_t* values, int32_t k, int32_t count) {
  uint64_t quotients = 0;
  uint32_t largest = 0;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t u = Zigzag(values[i]);
    quotients += u >> k;
    largest = u > largest ? u : largest;
  }
  return {quotients, largest};
}
RunMeasure MeasureCodesPlain(const int32_t* values, int32_t k, int32_t count) {
  return MeasureCodes(values, k, count);
}
CVPLAT_TARGET_AVX2 RunMeasure MeasureCodesAvx2(const int32_t* values, int32_t k, int32_t count) {
  return MeasureCodes(values, k, count);
}

}  // namespace

bool RiceBitWriter::Create() {
  buffer_ = cvplat::GlobalBlock(kInitialPayloadCapacity + kStorePadding);
  if (!buffer_) return false;
  capacity_ = static_cast<int32_t>(kInitialPayloadCapacity);
  Reset();
  overflow_ = false;
  return true;
}

void RiceBitWriter::Release() {
  buffer_ = cvplat::GlobalBlock();
  capacity_ = 0;
  Reset();
}

void RiceBitWriter::Reset() {
  bytePos_ = 0;
  bitCount_ = 0;
  accumulator_ = 0;
}

void RiceBitWriter::Restore(const RiceWriterPosition& position) {
  bytePos_ = position.bytePos;
  bitCount_ = position.bitCount & 7;
  accumulator_ = position.accumulator & ((1u << bitCount_) - 1u);
}

int32_t RiceBitWriter::Grow() {
  const int64_t newCapacity = 2 * static_cast<int64_t>(capacity_);
  if (newCapacity > static_cast<int64_t>(kPayloadGrowthLimit)) {
    overflow_ = true;
    return -1;
  }
  cvplat::GlobalBlock grown(static_cast<size_t>(newCapacity) + kStorePadding);
  if (!grown) {
    overflow_ = true;
    return -1;
  }
  if (capacity_ > 0) std::memcpy(grown.Get(), buffer_.Get(), static_cast<size_t>(capacity_));
  buffer_ = std::move(grown);
  capacity_ = static_cast<int32_t>(newCapacity);
  return 0;
}

int32_t RiceBitWriter::WriteRiceRun(const int32_t* values, int32_t k, int32_t count, cv::Md5BlockRun* digest) {
  if (count < 1 || overflow_) return bytePos_ + 1;
  if (k < 1) k = 1;
  if (k > kMaxRiceParameter) k = kMaxRiceParameter;

  // A byte completing at index bytePos >= capacity makes the buffer grow, so the
  // run needs the capacity to reach its last complete byte.
  const RunMeasure run = cvplat::UseAvx2() ? MeasureCodesAvx2(values, k, count) : MeasureCodesPlain(values, k, count);
  const uint64_t codeBits = run.quotients + static_cast<uint64_t>(count) * (static_cast<uint64_t>(k) + 1);
  const uint64_t totalBits = static_cast<uint64_t>(bitCount_) + codeBits;
  const uint64_t endPos = static_cast<uint64_t>(bytePos_) + totalBits / 8;
  while (endPos > static_cast<uint64_t>(capacity_)) {
    if (Grow() != 0) break;
  }
  if (overflow_) {
    EncodeUntilFull(values, k, count);
  } else {
    EncodeRun(values, k, count, run.largest, digest);
  }
  return bytePos_ + 1;
}

void RiceBitWriter::EncodeRun(const int32_t* values, int32_t k, int32_t count, uint32_t largest,
                              cv::Md5BlockRun* digest) {
  uint8_t* const base = buffer_.As<uint8_t>();
  const BitSink start(base + bytePos_, accumulator_, bitCount_);
  const bool bits = cvplat::UseBitInstructions();
  BitSink sink = bits && cvplat::UseAvx2() ? EncodeCodesAvx2(start, values, k, count, largest, digest)
                 : bits                   ? EncodeCodesBits(start, values, k, count)
                                          : EncodeCodesPlain(start, values, k, count);
  sink.StoreCompleteBytes();
  bytePos_ = static_cast<int32_t>(sink.Out() - base);
  bitCount_ = sink.PendingCount();
  accumulator_ = sink.PendingBits();
}

// The buffer cannot hold the run: store the bytes that fit up to the capacity,
// as the bit-by-bit writer would before its growth failed, and stop there.
void RiceBitWriter::EncodeUntilFull(const int32_t* values, int32_t k, int32_t count) {
  uint8_t* const base = buffer_.As<uint8_t>();
  uint8_t staging[16];
  uint8_t* const limit = base + capacity_;
  uint8_t* out = base + bytePos_;
  uint32_t pending = accumulator_;
  int pendingCount = bitCount_;
  for (int32_t i = 0; i < count && out < limit; ++i) {
    const uint32_t u = Zigzag(values[i]);
    uint32_t q = u >> k;
    // Leading zero bits in bulk while they cannot complete a byte past the end.
    while (q >= 32 && out + 8 <= limit) {
      BitSink sink(out, pending, pendingCount);
      sink.Append(0, 32);
      sink.StoreCompleteBytes();
      out = sink.Out();
      pending = sink.PendingBits();
      pendingCount = sink.PendingCount();
      q -= 32;
    }
    if (q >= 32) {
      // Close to the end: zeros byte by byte until the buffer is full.
      while (q > 0 && out < limit) {
        const int take = q >= 8 ? 8 : static_cast<int>(q);
        const uint64_t bits = static_cast<uint64_t>(pending) << take;
        pendingCount += take;
        q -= static_cast<uint32_t>(take);
        if (pendingCount >= 8) {
          pendingCount -= 8;
          *out++ = static_cast<uint8_t>(bits >> pendingCount);
        }
        pending = static_cast<uint32_t>(bits) & ((1u << pendingCount) - 1u);
      }
      if (out >= limit) break;
    }
    // The rest of this code is at most 7 + 31 + 1 + 31 bits: assemble it in a staging area
    // and copy only what fits.
    BitSink sink(staging, pending, pendingCount);
    sink.AppendCode(u, q, k);
    sink.StoreCompleteBytes();
    for (const uint8_t* p = staging; p < sink.Out() && out < limit; ++p) *out++ = *p;
    pending = sink.PendingBits();
    pendingCount = sink.PendingCount();
  }
  bytePos_ = static_cast<int32_t>(out - base);
  bitCount_ = pendingCount;
  accumulator_ = pending;
}

void RiceBitWriter::FlushPartialByte() {
  if (bytePos_ >= capacity_) Grow();
  if (overflow_) return;
  buffer_.As<uint8_t>()[bytePos_] = static_cast<uint8_t>((accumulator_ & 0xFFu) << (8 - bitCount_));
}

}  // namespace qla
