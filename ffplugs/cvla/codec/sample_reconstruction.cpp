#include "ffplugs/cvla/codec/sample_reconstruction.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "krn/platform/cpu.h"

namespace qla {
namespace {

inline int32_t Signed(uint32_t v) { return static_cast<int32_t>(v); }
inline uint32_t Bits(int32_t v) { return static_cast<uint32_t>(v); }

inline int32_t Clamp24(int32_t v) {
  if (v > 8388607) return 8388607;
  if (v < -8388608) return -8388608;
  return v;
}

inline void Store24(uint8_t* p, int32_t v) {
  const uint32_t u = Bits(v);
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
}

// The fixed predictor of order kOrder undone: e plus the prediction from the
// four values before (x1 the most recent).
template <uint32_t kOrder>
inline uint32_t Integrate(uint32_t e, uint32_t x1, uint32_t x2, uint32_t x3, uint32_t x4) {
  if (kOrder == 0) return e;
  if (kOrder == 1) return e + x1;
  if (kOrder == 2) return e + 2 * x1 - x2;
  if (kOrder == 3) return e + 3 * (x1 - x2) + x3;
  return e + 4 * (x1 + x3) - 6 * x2 - x4;
}

// The LPC stage as running sums: once a value y of the stage is known, its
// products go into the sums of the four values after it. s is the whole sum
// of the next value, p1..p3 the terms known so far of the three after that.
// Only one product and one addition then lie between one value and the next,
// fewer values stay live than with the last four outputs, and the wrapping
// sums are the same in any order.
struct LpcSums {
  uint32_t s = 0, p1 = 0, p2 = 0, p3 = 0;

  void Add(uint32_t y, uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3) {
    s = p1 + c0 * y;
    p1 = p2 + c1 * y;
    p2 = p3 + c2 * y;
    p3 = c3 * y;
  }
};

// One value: the LPC stage undone, then the integration (x1..x4 its last
// outputs, most recent first). x4, the oldest, is replaced by the new value,
// so that the caller renames instead of moving: four steps in a row bring
// every name back to its place.
template <uint32_t kOrder, bool kLpc>
CVPLAT_BUILT_INTO_CALLER void Step(uint32_t e, uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3, LpcSums& lpc,
                                   uint32_t x1, uint32_t x2, uint32_t x3, uint32_t& x4, int32_t* out) {
  if (kLpc) {
    e -= Bits(Signed(lpc.s) >> 5);
    lpc.Add(e, c0, c1, c2, c3);
  }
  x4 = Integrate<kOrder>(e, x1, x2, x3, x4);
  *out = Signed(x4);
}

// Steps kFirst + kS of a digest block.
template <size_t kFirst, size_t... kS>
CVPLAT_BUILT_INTO_CALLER void DigestSteps(uint32_t (&abcd)[4], const cv::Md5Words& m, std::index_sequence<kS...>) {
  (cv::Md5Step<kFirst + kS>(abcd, m), ...);
}

// Values hashed around per digest block, with kSteps of its 64 steps per value.
template <size_t kSteps>
constexpr size_t kValuesPerDigestBlock = 64 / kSteps;
// A whole block's values after the first four, which Reconstruct's head takes,
// leave this many after the last full chunk; they take a digest block as well.
template <size_t kSteps>
constexpr size_t kValuesInLastChunk = (kFramesPerBlock - kLpcOrder) % kValuesPerDigestBlock<kSteps>;

// Values j of v with steps kSteps * j to kSteps * j + kSteps - 1 of a digest
// block after each, then the block's steps from kFirstRest + kR on. The
// values' names rotate as in Reconstruct's loop: value j finds the most recent
// output at x[-j mod 4]; a multiple of four values brings every name back to
// its place.
template <uint32_t kOrder, bool kLpc, size_t kSteps, size_t kFirstRest, size_t... kJ, size_t... kR>
CVPLAT_BUILT_INTO_CALLER void StepsAndHash(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3, LpcSums& lpc,
                                           uint32_t (&x)[4], int32_t* v, uint32_t (&abcd)[4],
                                           const cv::Md5Words& m, std::index_sequence<kJ...>,
                                           std::index_sequence<kR...>) {
  ((Step<kOrder, kLpc>(Bits(v[kJ]), c0, c1, c2, c3, lpc, x[(0 - kJ) & 3], x[(1 - kJ) & 3], x[(2 - kJ) & 3],
                       x[(3 - kJ) & 3], v + kJ),
    DigestSteps<kSteps * kJ>(abcd, m, std::make_index_sequence<kSteps>{})),
   ...);
  (cv::Md5Step<kFirstRest + kR>(abcd, m), ...);
}

// kValues values of v (a multiple of four) and the digest's next block.
template <uint32_t kOrder, bool kLpc, size_t kSteps, size_t kValues>
CVPLAT_BUILT_INTO_CALLER void HashedChunk(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3, LpcSums& lpc,
                                          uint32_t (&x)[4], int32_t* v, cv::Md5BlockRun& digest) {
  static_assert(kValues % 4 == 0 && kSteps * kValues <= 64, "names come back; at most a block of steps");
  cv::Md5RunBlock block(digest);
  StepsAndHash<kOrder, kLpc, kSteps, kSteps * kValues>(c0, c1, c2, c3, lpc, x, v, block.abcd, block.m,
                                                       std::make_index_sequence<kValues>{},
                                                       std::make_index_sequence<64 - kSteps * kValues>{});
  block.Done(digest);
}

// The values from v to end with the digest's blocks between them while the
// run has blocks, kSteps steps per value; returns where the hashing stopped.
template <uint32_t kOrder, bool kLpc, size_t kSteps>
CVPLAT_BUILT_INTO_CALLER int32_t* HashedValues(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3, LpcSums& lpc,
                                               uint32_t (&x)[4], int32_t* v, int32_t* const end,
                                               cv::Md5BlockRun& digest) {
  constexpr size_t kChunk = kValuesPerDigestBlock<kSteps>, kLast = kValuesInLastChunk<kSteps>;
  for (; end - v >= static_cast<ptrdiff_t>(kChunk) && digest.blocks > 0; v += kChunk)
    HashedChunk<kOrder, kLpc, kSteps, kChunk>(c0, c1, c2, c3, lpc, x, v, digest);
  if (end - v == static_cast<ptrdiff_t>(kLast) && digest.blocks > 0) {
    HashedChunk<kOrder, kLpc, kSteps, kLast>(c0, c1, c2, c3, lpc, x, v, digest);
    v += kLast;
  }
  return v;
}

// One loop per order and LPC choice, so that neither is tested per value. The
// LPC chain and the integration chain (x) are independent, which lets the
// processor overlap them. The LPC stage starts at the fifth value: the first
// four only enter its sums.
template <uint32_t kOrder, bool kLpc>
void Reconstruct(const uint32_t c[kLpcOrder], PredictorHistory& history, int32_t* values, uint32_t count,
                 cv::Md5BlockRun* digest, uint32_t digestStepsPerValue) {
  uint32_t x1 = Bits(history.x1), x2 = Bits(history.x2), x3 = Bits(history.x3), x4 = Bits(history.x4);
  const uint32_t c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3];
  LpcSums lpc;
  const uint32_t head = count < kLpcOrder ? count : kLpcOrder;
  for (uint32_t i = 0; i < head; ++i) {
    const uint32_t e = Bits(values[i]);
    if (kLpc) lpc.Add(e, c0, c1, c2, c3);
    const uint32_t x = Integrate<kOrder>(e, x1, x2, x3, x4);
    values[i] = Signed(x);
    x4 = x3;
    x3 = x2;
    x2 = x1;
    x1 = x;
  }
  int32_t* v = values + head;
  int32_t* const end = values + count;
  if (digest) {
    uint32_t x[4] = {x1, x2, x3, x4};
    v = digestStepsPerValue == 1 ? HashedValues<kOrder, kLpc, 1>(c0, c1, c2, c3, lpc, x, v, end, *digest)
                                 : HashedValues<kOrder, kLpc, 2>(c0, c1, c2, c3, lpc, x, v, end, *digest);
    x1 = x[0];
    x2 = x[1];
    x3 = x[2];
    x4 = x[3];
  }
  for (; end - v >= 4; v += 4) {
    Step<kOrder, kLpc>(Bits(v[0]), c0, c1, c2, c3, lpc, x1, x2, x3, x4, v);
    Step<kOrder, kLpc>(Bits(v[1]), c0, c1, c2, c3, lpc, x4, x1, x2, x3, v + 1);
    Step<kOrder, kLpc>(Bits(v[2]), c0, c1, c2, c3, lpc, x3, x4, x1, x2, v + 2);
    Step<kOrder, kLpc>(Bits(v[3]), c0, c1, c2, c3, lpc, x2, x3, x4, x1, v + 3);
  }
  for (; v < end; ++v) {
    Step<kOrder, kLpc>(Bits(*v), c0, c1, c2, c3, lpc, x1, x2, x3, x4, v);
    // Back to most recent first.
    const uint32_t t = x4;
    x4 = x3;
    x3 = x2;
    x2 = x1;
    x1 = t;
  }
  history = {Signed(x1), Signed(x2), Signed(x3), Signed(x4)};
}

template <bool kLpc>
bool ReconstructOrder(uint32_t order, const uint32_t c[kLpcOrder], PredictorHistory& history, int32_t* values,
                      uint32_t count, cv::Md5BlockRun* digest, uint32_t steps) {
  switch (order) {
    case 0: Reconstruct<0, kLpc>(c, history, values, count, digest, steps); return true;
    case 1: Reconstruct<1, kLpc>(c, history, values, count, digest, steps); return true;
    case 2: Reconstruct<2, kLpc>(c, history, values, count, digest, steps); return true;
    case 3: Reconstruct<3, kLpc>(c, history, values, count, digest, steps); return true;
    case 4: Reconstruct<4, kLpc>(c, history, values, count, digest, steps); return true;
    default: return false;
  }
}

// Below this magnitude no sum or difference of mid and side wraps, and the
// plain inverse below gives the same pairs as MidSideToLeftRight.
constexpr uint32_t kPlainMidSideBound = 1u << 29;

// At least the largest magnitude of the values of both channels, below twice it.
CVPLAT_BUILT_INTO_CALLER uint32_t MidSideBound(const int32_t* mid, const int32_t* side, uint32_t frames) {
  uint32_t bound = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    const uint32_t m = Bits(mid[i]), s = Bits(side[i]);
    bound |= ((m ^ (0u - (m >> 31))) + (m >> 31)) | ((s ^ (0u - (s >> 31))) + (s >> 31));
  }
  return bound;
}

// Left and right for values of magnitude below 2^29: left + right has the
// parity of side and is 2 mid, moved one step toward zero when odd (mid was
// rounded away from zero, so it carries the sign of the sum); then left and
// right are the exact halves of sum + side and sum - side. A mid of 0 with an
// odd side is never written; it takes the pair MidSideToLeftRight gives it.
inline StereoPair PlainMidSideToLeftRight(int32_t mid, int32_t side) {
  const uint32_t m = Bits(mid), s = Bits(side);
  const uint32_t towardZero = mid != 0 ? (Bits(mid >> 31) | 1u) : (side > 0 ? 0xFFFFFFFFu : 1u);
  const uint32_t sum = 2 * m - ((0u - (s & 1u)) & towardZero);
  return {Signed(sum + s) >> 1, Signed(sum - s) >> 1};
}

// Calls put(i, left, right) for every frame of a stereo block. Each loop has a
// fixed shape, so that the compiler can run it on whole vectors.
template <typename Put>
CVPLAT_BUILT_INTO_CALLER void ForEachStereoFrame(const int32_t* ch0, const int32_t* ch1, bool midSide, uint32_t frames,
                                                 Put put) {
  if (!midSide) {
    for (uint32_t i = 0; i < frames; ++i) put(i, ch0[i], ch1[i]);
    return;
  }
  if (MidSideBound(ch0, ch1, frames) < kPlainMidSideBound) {
    for (uint32_t i = 0; i < frames; ++i) {
      const StereoPair lr = PlainMidSideToLeftRight(ch0[i], ch1[i]);
      put(i, lr.left, lr.right);
    }
    return;
  }
  for (uint32_t i = 0; i < frames; ++i) {
    const StereoPair lr = MidSideToLeftRight(ch0[i], ch1[i]);
    put(i, lr.left, lr.right);
  }
}

// Little-endian 16-bit samples: a plain copy where the machine is little-endian.
CVPLAT_BUILT_INTO_CALLER void StoreWords16(const uint16_t* words, uint32_t count, uint8_t* out) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(out, words, count * sizeof(uint16_t));
#else
  for (uint32_t i = 0; i < count; ++i, out += 2) {
    out[0] = static_cast<uint8_t>(words[i]);
    out[1] = static_cast<uint8_t>(words[i] >> 8);
  }
#endif
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Eight samples already in range as three little-endian 64-bit words.
CVPLAT_BUILT_INTO_CALLER void PackEight24(const int32_t* values, uint8_t* out) {
  uint64_t v[8];
  for (uint32_t j = 0; j < 8; ++j) v[j] = Bits(values[j]) & 0xFFFFFFu;
  const uint64_t words[3] = {v[0] | (v[1] << 24) | (v[2] << 48), (v[2] >> 16) | (v[3] << 8) | (v[4] << 32) | (v[5] << 56),
                             (v[5] >> 8) | (v[6] << 16) | (v[7] << 40)};
  std::memcpy(out, words, sizeof words);
}

// 64 samples packed, eight at a time, with eight steps of the digest's next
// block after each eight: the packing runs beside the hash's chain.
template <size_t... kI>
CVPLAT_BUILT_INTO_CALLER void PackSixtyFourAndHash(const int32_t* values, uint8_t* out, cv::Md5BlockRun& digest,
                                                   std::index_sequence<kI...>) {
  cv::Md5RunBlock block(digest);
  ((PackEight24(values + 8 * kI, out + 24 * kI),
    DigestSteps<8 * kI>(block.abcd, block.m, std::make_index_sequence<8>{})),
   ...);
  block.Done(digest);
}
#endif

// Packed 24-bit samples, little-endian, from values already in range: eight
// samples go out as three 64-bit words where the machine is little-endian.
// With a digest run, every 64 samples also hash one of its blocks.
CVPLAT_BUILT_INTO_CALLER void StorePacked24(const int32_t* values, uint32_t count, uint8_t* out,
                                            cv::Md5BlockRun* digest) {
  uint32_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (digest)
    for (; i + 64 <= count && digest->blocks > 0; i += 64, out += 192)
      PackSixtyFourAndHash(values + i, out, *digest, std::make_index_sequence<8>{});
  for (; i + 8 <= count; i += 8, out += 24) PackEight24(values + i, out);
#else
  static_cast<void>(digest);
#endif
  for (; i < count; ++i, out += 3) Store24(out, values[i]);
}

// How a sample width is gathered and stored: the value as the width holds it
// (clamped where the width is narrower than the values) and the store of a
// gathered run.
struct Pcm16Samples {
  using Sample = uint16_t;
  static constexpr uint32_t kBytes = 2;
  CVPLAT_BUILT_INTO_CALLER static Sample From(int32_t v) { return static_cast<uint16_t>(v); }
  // The values' own loops hash every digest block a 16-bit block can hide.
  CVPLAT_BUILT_INTO_CALLER static void Store(const Sample* s, uint32_t count, uint8_t* out, cv::Md5BlockRun*) {
    StoreWords16(s, count, out);
  }
};
struct Pcm24Samples {
  using Sample = int32_t;
  static constexpr uint32_t kBytes = 3;
  CVPLAT_BUILT_INTO_CALLER static Sample From(int32_t v) { return Clamp24(v); }
  CVPLAT_BUILT_INTO_CALLER static void Store(const Sample* s, uint32_t count, uint8_t* out, cv::Md5BlockRun* digest) {
    StorePacked24(s, count, out, digest);
  }
};

// The samples are gathered a block's worth at a time, then stored: the loops
// then need no byte stores and run on whole vectors.
template <typename Pcm>
CVPLAT_BUILT_INTO_CALLER void WritePcmBody(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide,
                                           uint32_t frames, uint8_t* out, cv::Md5BlockRun* digest) {
  typename Pcm::Sample samples[kMaxChannels * kFramesPerBlock];
  const uint32_t width = channels == 1 ? 1 : 2;
  for (uint32_t done = 0; done < frames; done += kFramesPerBlock) {
    const uint32_t n = frames - done < kFramesPerBlock ? frames - done : kFramesPerBlock;
    if (channels == 1) {
      for (uint32_t i = 0; i < n; ++i) samples[i] = Pcm::From(ch0[done + i]);
    } else {
      ForEachStereoFrame(ch0 + done, ch1 + done, midSide, n, [&samples](uint32_t i, int32_t left, int32_t right) {
        samples[2 * i] = Pcm::From(left);
        samples[2 * i + 1] = Pcm::From(right);
      });
    }
    Pcm::Store(samples, n * width, out + Pcm::kBytes * width * done, digest);
  }
}

// Both built for any processor and for AVX2 (eight values per vector
// instruction; the same integer results), chosen per call.
void WritePcm16Plain(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                     uint8_t* out) {
  WritePcmBody<Pcm16Samples>(ch0, ch1, channels, midSide, frames, out, nullptr);
}
CVPLAT_TARGET_AVX2 void WritePcm16Avx2(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide,
                                       uint32_t frames, uint8_t* out) {
  WritePcmBody<Pcm16Samples>(ch0, ch1, channels, midSide, frames, out, nullptr);
}
void WritePcm24Plain(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                     uint8_t* out, cv::Md5BlockRun* digest) {
  WritePcmBody<Pcm24Samples>(ch0, ch1, channels, midSide, frames, out, digest);
}
CVPLAT_TARGET_AVX2 void WritePcm24Avx2(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide,
                                       uint32_t frames, uint8_t* out, cv::Md5BlockRun* digest) {
  WritePcmBody<Pcm24Samples>(ch0, ch1, channels, midSide, frames, out, digest);
}

}  // namespace

bool ReconstructChannel(uint32_t order, const uint8_t* lpcCoef, PredictorHistory& history, int32_t* values,
                        uint32_t count, cv::Md5BlockRun* digest, uint32_t digestStepsPerValue) {
  uint32_t c[kLpcOrder] = {0, 0, 0, 0};
  if (lpcCoef)
    for (uint32_t j = 0; j < kLpcOrder; ++j) c[j] = Bits(LpcCoefficient(lpcCoef[j]));
  // Four zero coefficients mean no LPC stage: the corrections are all zero.
  if ((c[0] | c[1] | c[2] | c[3]) == 0) return ReconstructOrder<false>(order, c, history, values, count, digest, digestStepsPerValue);
  return ReconstructOrder<true>(order, c, history, values, count, digest, digestStepsPerValue);
}

void WritePcm16(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                uint8_t* out) {
  if (cvplat::UseAvx2()) return WritePcm16Avx2(ch0, ch1, channels, midSide, frames, out);
  WritePcm16Plain(ch0, ch1, channels, midSide, frames, out);
}

void WritePcm24(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                uint8_t* out, cv::Md5BlockRun* digest) {
  if (cvplat::UseAvx2()) return WritePcm24Avx2(ch0, ch1, channels, midSide, frames, out, digest);
  WritePcm24Plain(ch0, ch1, channels, midSide, frames, out, digest);
}

}  // namespace qla
