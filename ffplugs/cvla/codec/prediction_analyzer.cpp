#include "ffplugs/cvla/codec/prediction_analyzer.h"

#include <cstring>
#include <utility>

#include "krn/md5_steps.h"
#include "krn/platform/cpu.h"

#if CVPLAT_X86_VECTORS
#include <immintrin.h>
#endif

namespace qla {
namespace {

inline uint32_t Abs32(uint32_t v) {
  const uint32_t sign = 0u - (v >> 31);
  return (v ^ sign) - sign;
}

inline int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }

// The fixed order whose residual sum is smallest; ties go to the higher order.
int ChooseOrder(const int32_t* s) {
  if (s[0] < Min(s[1], Min(s[2], s[3]))) return 0;
  if (s[1] < Min(s[2], s[3])) return 1;
  if (s[2] < Min(s[3], s[4])) return 2;
  if (s[3] < s[4]) return 3;
  return 4;
}

// Sums that wrapped negative: all negative means order 0; otherwise a negative
// sum is taken as the largest one.
void RepairOverflowedSums(int32_t* s) {
  int32_t largest = s[0];
  for (int i = 1; i < 5; ++i) largest = s[i] > largest ? s[i] : largest;
  if (largest < 0) {
    s[0] = 0x7FFFFFFE;
    for (int i = 1; i < 5; ++i) s[i] = 0x7FFFFFFF;
    return;
  }
  for (int i = 0; i < 5; ++i) {
    if (s[i] < 0) s[i] = largest;
  }
}

// The 32-bit wrapping product, read as signed.
inline int64_t WrappedProduct(uint32_t a, int32_t b) {
  return static_cast<int32_t>(a * static_cast<uint32_t>(b));
}

// r[lag] for lags 0..4 over `terms` products each, every product the 32-bit
// wrapping product read as signed. The sums are exact: at most 507 products of
// magnitude below 2^31 never reach 2^53, so adding them one by one in double
// rounds nothing, and any order of exact integer additions gives the value of
// the double additions in index order, on every machine.
// Vectors of 2 doubles (any x86 processor with SSE2) or 4 (AVX2).
template <int kLanes>
struct DoubleLanes;
template <>
struct DoubleLanes<2> {
  typedef double Type __attribute__((vector_size(16)));
};
template <>
struct DoubleLanes<4> {
  typedef double Type __attribute__((vector_size(32)));
};

template <int kLanes>
CVPLAT_BUILT_INTO_CALLER void AutocorrelateOrder4Body(const int32_t* y, int32_t terms, double* r) {
  static_assert(kLpcOrder == 4, "five lags");
  static_assert(kFramesPerBlock * 2147483648.0 < 9007199254740992.0, "sums stay below 2^53");
  if (terms <= 0) {
    for (int lag = 0; lag <= 4; ++lag) r[lag] = 0.0;
    return;
  }
  // Values up to 32767 in magnitude: no product wraps and each is exact in
  // double, so the products are taken in double, kLanes at a time.
  uint32_t bound = 0;  // at least the largest magnitude, below twice it
  for (int32_t i = 0; i < terms + 4; ++i) bound |= Abs32(static_cast<uint32_t>(y[i]));
  if (bound <= 32767) {
    using Lanes = typename DoubleLanes<kLanes>::Type;
    alignas(8 * kLanes) double v[kFramesPerBlock + 4];
    for (int32_t i = 0; i < terms + 4; ++i) v[i] = y[i];
    Lanes s0 = {}, s1 = {}, s2 = {}, s3 = {}, s4 = {};
    int32_t i = 0;
    for (; i + kLanes <= terms; i += kLanes) {
      Lanes b, b1, b2, b3, b4;
      std::memcpy(&b, &v[i], sizeof b);
      std::memcpy(&b1, &v[i + 1], sizeof b1);
      std::memcpy(&b2, &v[i + 2], sizeof b2);
      std::memcpy(&b3, &v[i + 3], sizeof b3);
      std::memcpy(&b4, &v[i + 4], sizeof b4);
      s0 += b * b;
      s1 += b * b1;
      s2 += b * b2;
      s3 += b * b3;
      s4 += b * b4;
    }
    double sums[5] = {0, 0, 0, 0, 0};
    for (int lane = 0; lane < kLanes; ++lane) {
      sums[0] += s0[lane];
      sums[1] += s1[lane];
      sums[2] += s2[lane];
      sums[3] += s3[lane];
      sums[4] += s4[lane];
    }
    for (; i < terms; ++i)
      for (int lag = 0; lag <= 4; ++lag) sums[lag] += v[i] * v[i + lag];
    for (int lag = 0; lag <= 4; ++lag) r[lag] = sums[lag];
    return;
  }
  int64_t r0 = 0, r1 = 0, r2 = 0, r3 = 0, r4 = 0;
  for (int32_t i = 0; i < terms; ++i) {
    const uint32_t base = static_cast<uint32_t>(y[i]);
    r0 += WrappedProduct(base, y[i]);
    r1 += WrappedProduct(base, y[i + 1]);
    r2 += WrappedProduct(base, y[i + 2]);
    r3 += WrappedProduct(base, y[i + 3]);
    r4 += WrappedProduct(base, y[i + 4]);
  }
  r[0] = static_cast<double>(r0);
  r[1] = static_cast<double>(r1);
  r[2] = static_cast<double>(r2);
  r[3] = static_cast<double>(r3);
  r[4] = static_cast<double>(r4);
}

// The vector loops of the analysis, as inline bodies built twice below.

// The 1st to 4th differences of n values (padded holds the four values before
// them, then the values) into d1..d4, the sums of the absolute values of the
// values and of each difference into sums[0..4], and the largest absolute value.
CVPLAT_BUILT_INTO_CALLER void DifferencesBody(const uint32_t* padded, int32_t n, int32_t* d1, int32_t* d2, int32_t* d3,
                                              int32_t* d4, uint32_t* sums, int32_t* largest) {
  uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0;
  int32_t maxAbs = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t x0 = padded[i + 4], x1 = padded[i + 3], x2 = padded[i + 2], x3 = padded[i + 1],
                   x4 = padded[i];
    // Each difference from the one below it at this value and the value
    // before (the same wrapping values as the binomial sums, fewer operations).
    const uint32_t e1 = x0 - x1, e1b = x1 - x2, e1c = x2 - x3, e1d = x3 - x4;
    const uint32_t e2 = e1 - e1b, e2b = e1b - e1c, e2c = e1c - e1d;
    const uint32_t e3 = e2 - e2b, e3b = e2b - e2c;
    const uint32_t e4 = e3 - e3b;
    d1[i] = static_cast<int32_t>(e1);
    d2[i] = static_cast<int32_t>(e2);
    d3[i] = static_cast<int32_t>(e3);
    d4[i] = static_cast<int32_t>(e4);
    const uint32_t a0 = Abs32(x0);
    s0 += a0;
    s1 += Abs32(e1);
    s2 += Abs32(e2);
    s3 += Abs32(e3);
    s4 += Abs32(e4);
    const int32_t signedA0 = static_cast<int32_t>(a0);
    maxAbs = signedA0 > maxAbs ? signedA0 : maxAbs;
  }
  sums[0] = s0;
  sums[1] = s1;
  sums[2] = s2;
  sums[3] = s3;
  sums[4] = s4;
  *largest = maxAbs;
}

// The order-4 LPC filter from index 4 on: out[i] = y[i] + (q . y[i-1..i-4]) >> 5;
// returns total plus the sum of |out[i]|, all wrapping. The terms are added in
// the order written (which wrapping integer sums would not even need).
CVPLAT_BUILT_INTO_CALLER uint32_t FilterOrder4Body(const int32_t* y, int32_t n, const uint32_t* q, int32_t* out,
                                                   uint32_t total) {
  for (int32_t i = 4; i < n; ++i) {
    const uint32_t s = q[0] * static_cast<uint32_t>(y[i - 1]) + q[1] * static_cast<uint32_t>(y[i - 2]) +
                       q[2] * static_cast<uint32_t>(y[i - 3]) + q[3] * static_cast<uint32_t>(y[i - 4]);
    const uint32_t value = static_cast<uint32_t>(y[i]) + static_cast<uint32_t>(static_cast<int32_t>(s) >> 5);
    out[i] = static_cast<int32_t>(value);
    total += Abs32(value);
  }
  return total;
}

// Each loop for any processor, and for processors with AVX2 (eight values per
// vector instead of four; the same integer results and the same double
// operations in the same order). The choice is made per call.
void DifferencesPlain(const uint32_t* padded, int32_t n, int32_t* d1, int32_t* d2, int32_t* d3, int32_t* d4,
                      uint32_t* sums, int32_t* largest) {
  DifferencesBody(padded, n, d1, d2, d3, d4, sums, largest);
}
#if CVPLAT_X86_VECTORS
CVPLAT_TARGET_AVX2 CVPLAT_BUILT_INTO_CALLER __m256i LoadEight(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
CVPLAT_TARGET_AVX2 CVPLAT_BUILT_INTO_CALLER void StoreEight(int32_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// DifferencesBody on eight values at a time, written out so that each absolute
// value and the maximum take one instruction (the compiler's own vectors of
// the loop take three for each absolute value); the same wrapping results.
// The six running vectors are members of a struct that lives in registers
// once the steps are built into the loop (gcc keeps an array of them in memory).
struct DifferenceLanes {
  __m256i s0, s1, s2, s3, s4, most;
};

CVPLAT_TARGET_AVX2 CVPLAT_BUILT_INTO_CALLER void DifferencesEight(const uint32_t* p, int32_t* d1, int32_t* d2,
                                                               int32_t* d3, int32_t* d4, DifferenceLanes& s) {
  const __m256i x0 = LoadEight(p + 4), x1 = LoadEight(p + 3), x2 = LoadEight(p + 2), x3 = LoadEight(p + 1),
                x4 = LoadEight(p);
  const __m256i e1 = _mm256_sub_epi32(x0, x1), e1b = _mm256_sub_epi32(x1, x2), e1c = _mm256_sub_epi32(x2, x3),
                e1d = _mm256_sub_epi32(x3, x4);
  const __m256i e2 = _mm256_sub_epi32(e1, e1b), e2b = _mm256_sub_epi32(e1b, e1c), e2c = _mm256_sub_epi32(e1c, e1d);
  const __m256i e3 = _mm256_sub_epi32(e2, e2b), e3b = _mm256_sub_epi32(e2b, e2c);
  const __m256i e4 = _mm256_sub_epi32(e3, e3b);
  StoreEight(d1, e1);
  StoreEight(d2, e2);
  StoreEight(d3, e3);
  StoreEight(d4, e4);
  const __m256i a0 = _mm256_abs_epi32(x0);
  s.s0 = _mm256_add_epi32(s.s0, a0);
  s.s1 = _mm256_add_epi32(s.s1, _mm256_abs_epi32(e1));
  s.s2 = _mm256_add_epi32(s.s2, _mm256_abs_epi32(e2));
  s.s3 = _mm256_add_epi32(s.s3, _mm256_abs_epi32(e3));
  s.s4 = _mm256_add_epi32(s.s4, _mm256_abs_epi32(e4));
  s.most = _mm256_max_epi32(s.most, a0);  // |INT32_MIN| stays negative and loses, as in the loop
}

// Holds the running vectors in registers from one eight values to the next:
// with many eights written out, gcc otherwise regroups the additions and
// parks every absolute value on the stack first.
CVPLAT_TARGET_AVX2 CVPLAT_BUILT_INTO_CALLER void KeepInRegisters(DifferenceLanes& s) {
  asm("" : "+x"(s.s0), "+x"(s.s1), "+x"(s.s2), "+x"(s.s3), "+x"(s.s4), "+x"(s.most));
}

// 256 values with the 64 steps of the digest's next block, two after each
// eight: the differences are short chains of their own, and the hash's long
// chain runs beside them.
template <size_t... kEight>
CVPLAT_TARGET_AVX2 CVPLAT_BUILT_INTO_CALLER void DifferencesTwoFiftySixAndHash(const uint32_t* p, int32_t* d1,
                                                                            int32_t* d2, int32_t* d3, int32_t* d4,
                                                                            DifferenceLanes& s,
                                                                            cv::Md5BlockRun& digest,
                                                                            std::index_sequence<kEight...>) {
  cv::Md5RunBlock block(digest);
  ((DifferencesEight(p + 8 * kEight, d1 + 8 * kEight, d2 + 8 * kEight, d3 + 8 * kEight, d4 + 8 * kEight, s),
    cv::Md5Step<2 * kEight>(block.abcd, block.m), cv::Md5Step<2 * kEight + 1>(block.abcd, block.m),
    KeepInRegisters(s)),
   ...);
  block.Done(digest);
}

CVPLAT_TARGET_AVX2 void DifferencesAvx2(const uint32_t* padded, int32_t n, int32_t* d1, int32_t* d2, int32_t* d3,
                                        int32_t* d4, uint32_t* sums, int32_t* largest, cv::Md5BlockRun* digest) {
  const __m256i zero = _mm256_setzero_si256();
  DifferenceLanes s{zero, zero, zero, zero, zero, zero};
  int32_t i = 0;
  if (digest)
    for (; i + 256 <= n && digest->blocks > 0; i += 256)
      DifferencesTwoFiftySixAndHash(padded + i, d1 + i, d2 + i, d3 + i, d4 + i, s, *digest,
                                    std::make_index_sequence<32>{});
  for (; i + 8 <= n; i += 8) DifferencesEight(padded + i, d1 + i, d2 + i, d3 + i, d4 + i, s);
  DifferencesBody(padded + i, n - i, d1 + i, d2 + i, d3 + i, d4 + i, sums, largest);
  alignas(32) uint32_t lanes[6][8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[0]), s.s0);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[1]), s.s1);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[2]), s.s2);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[3]), s.s3);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[4]), s.s4);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[5]), s.most);
  for (int lane = 0; lane < 8; ++lane) {
    for (int k = 0; k < 5; ++k) sums[k] += lanes[k][lane];
    const int32_t a = static_cast<int32_t>(lanes[5][lane]);
    *largest = a > *largest ? a : *largest;
  }
}
#endif
// With a digest run, the AVX2 loop hashes some of its blocks; the others stay
// in the run.
void Differences(const uint32_t* padded, int32_t n, int32_t* d1, int32_t* d2, int32_t* d3, int32_t* d4,
                 uint32_t* sums, int32_t* largest, cv::Md5BlockRun* digest) {
#if CVPLAT_X86_VECTORS
  if (cvplat::UseAvx2()) return DifferencesAvx2(padded, n, d1, d2, d3, d4, sums, largest, digest);
#endif
  (void)digest;
  DifferencesPlain(padded, n, d1, d2, d3, d4, sums, largest);
}

uint32_t FilterOrder4Plain(const int32_t* y, int32_t n, const uint32_t* q, int32_t* out, uint32_t total) {
  return FilterOrder4Body(y, n, q, out, total);
}
CVPLAT_TARGET_AVX2 uint32_t FilterOrder4Avx2(const int32_t* y, int32_t n, const uint32_t* q, int32_t* out,
                                             uint32_t total) {
  return FilterOrder4Body(y, n, q, out, total);
}
uint32_t FilterOrder4(const int32_t* y, int32_t n, const uint32_t* q, int32_t* out, uint32_t total) {
  return cvplat::UseAvx2() ? FilterOrder4Avx2(y, n, q, out, total) : FilterOrder4Plain(y, n, q, out, total);
}

#if CVPLAT_X86_VECTORS
// Sixteen values times their partners one lag on, added in pairs and then into
// the lag's four 64-bit sums. Written out for each lag, so that the five sums
// stay in registers.
CVPLAT_TARGET_AVX2 CVPLAT_BUILT_INTO_CALLER void AddLagProducts(__m256i base, const int16_t* partners, __m256i& sum) {
  const __m256i pairs = _mm256_madd_epi16(base, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(partners)));
  const __m256i low = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(pairs));
  const __m256i high = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(pairs, 1));
  sum = _mm256_add_epi64(sum, _mm256_add_epi64(low, high));
}

// The sums of AutocorrelateOrder4Body for values up to 32767 in magnitude, on
// 16-bit lanes: each multiply-add instruction takes sixteen values and their
// partners one lag on and adds the products in pairs, below 2^31 in magnitude,
// which go into 64-bit sums. Integer sums are exact, so the doubles made of
// them are those of the double additions. False, computing nothing, for
// larger values.
CVPLAT_TARGET_AVX2 bool AutocorrelateSixteenBitAvx2(const int32_t* y, int32_t terms, double* r) {
  const int32_t count = terms + 4;
  alignas(32) int16_t v[kFramesPerBlock + 4];
  uint32_t bound = 0;  // as in AutocorrelateOrder4Body
  for (int32_t i = 0; i < count; ++i) {
    bound |= Abs32(static_cast<uint32_t>(y[i]));
    v[i] = static_cast<int16_t>(y[i]);
  }
  if (bound > 32767) return false;
  __m256i sums[5] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                     _mm256_setzero_si256(), _mm256_setzero_si256()};
  int32_t i = 0;
  // The last partner read is v[i + 15 + 4] <= v[terms + 3], inside the copy.
  for (; i + 16 <= terms; i += 16) {
    const __m256i base = _mm256_load_si256(reinterpret_cast<const __m256i*>(v + i));
    AddLagProducts(base, v + i, sums[0]);
    AddLagProducts(base, v + i + 1, sums[1]);
    AddLagProducts(base, v + i + 2, sums[2]);
    AddLagProducts(base, v + i + 3, sums[3]);
    AddLagProducts(base, v + i + 4, sums[4]);
  }
  for (int lag = 0; lag <= 4; ++lag) {
    alignas(32) int64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums[lag]);
    int64_t total = lanes[0] + lanes[1] + lanes[2] + lanes[3];
    for (int32_t j = i; j < terms; ++j) total += static_cast<int64_t>(v[j]) * v[j + lag];
    r[lag] = static_cast<double>(total);
  }
  return true;
}
#endif

void AutocorrelateOrder4Plain(const int32_t* y, int32_t terms, double* r) { AutocorrelateOrder4Body<2>(y, terms, r); }
CVPLAT_TARGET_AVX2 void AutocorrelateOrder4Avx2(const int32_t* y, int32_t terms, double* r) {
#if CVPLAT_X86_VECTORS
  if (terms > 0 && AutocorrelateSixteenBitAvx2(y, terms, r)) return;
#endif
  AutocorrelateOrder4Body<4>(y, terms, r);
}
void AutocorrelateOrder4(const int32_t* y, int32_t terms, double* r) {
  if (cvplat::UseAvx2()) return AutocorrelateOrder4Avx2(y, terms, r);
  AutocorrelateOrder4Plain(y, terms, r);
}

}  // namespace

bool PredictionAnalyzer::Create(bool lpcStage) {
  workSpace_ = cvplat::GlobalBlock(4 * kFramesPerBlock * sizeof(int32_t));
  if (!workSpace_) return false;
  for (int i = 0; i < 4; ++i) differences_[i] = workSpace_.As<int32_t>() + i * kFramesPerBlock;
  lpcStage_ = lpcStage;
  return true;
}

void PredictionAnalyzer::Release() {
  workSpace_ = cvplat::GlobalBlock();
  for (auto& d : differences_) d = nullptr;
}

void PredictionAnalyzer::ResetHistory(int channel) { std::memset(history_[channel], 0, sizeof history_[channel]); }

void PredictionAnalyzer::RunHistory(int channel, const int32_t* x, int32_t n) {
  uint32_t* h = history_[channel];
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t e0 = static_cast<uint32_t>(x[i]);
    const uint32_t e1 = e0 - h[0], e2 = e1 - h[1], e3 = e2 - h[2];
    h[0] = e0;
    h[1] = e1;
    h[2] = e2;
    h[3] = e3;
  }
}

void PredictionAnalyzer::ClearCoefficientBytes(int channel) {
  std::memset(coefficientBytes_[channel], 0, sizeof coefficientBytes_[channel]);
}

const int32_t* PredictionAnalyzer::SelectPredictor(int channel, const int32_t* x, int32_t n,
                                                   cv::Md5BlockRun* digest) {
  // The four values before the block, rebuilt from the running differences, so
  // that every difference of sample i follows from x[i-4..i] alone:
  // e1 = x0 - x1, e2 = x0 - 2 x1 + x2, ... (binomial weights, wrapping). With
  // no value depending on the one before, the loop runs on whole vectors.
  const uint32_t* h = history_[channel];
  uint32_t* const padded = padded_;
  padded[3] = h[0];
  padded[2] = h[0] - h[1];
  padded[1] = h[0] - 2u * h[1] + h[2];
  padded[0] = h[0] - 3u * h[1] + 3u * h[2] - h[3];
  std::memcpy(padded + 4, x, static_cast<size_t>(n) * sizeof(int32_t));

  int32_t* const d1 = differences_[0];
  int32_t* const d2 = differences_[1];
  int32_t* const d3 = differences_[2];
  int32_t* const d4 = differences_[3];
  uint32_t s[5];
  int32_t maxAbs = 0;
  Differences(padded, n, d1, d2, d3, d4, s, &maxAbs, digest);
  if (n > 0) {
    history_[channel][0] = static_cast<uint32_t>(x[n - 1]);
    history_[channel][1] = static_cast<uint32_t>(d1[n - 1]);
    history_[channel][2] = static_cast<uint32_t>(d2[n - 1]);
    history_[channel][3] = static_cast<uint32_t>(d3[n - 1]);
  }

  int32_t sums[5] = {static_cast<int32_t>(s[0]), static_cast<int32_t>(s[1]), static_cast<int32_t>(s[2]),
                     static_cast<int32_t>(s[3]), static_cast<int32_t>(s[4])};
  RepairOverflowedSums(sums);
  order_ = ChooseOrder(sums);
  cost_ = sums[order_];
  maxAbs_ = maxAbs;
  const int32_t* residual = order_ == 0 ? x : differences_[order_ - 1];
  if (!lpcStage_) return residual;
  return ApplyLpcStage(channel, residual, n);
}

const int32_t* PredictionAnalyzer::ApplyLpcStage(int channel, const int32_t* y, int32_t n) {
  double a[kLpcOrder + 1];
  LevinsonDurbin(y, n, a, kLpcOrder);
  if (!QuantizedCoefficientsFit(a, kLpcOrder)) {
    ClearCoefficientBytes(channel);
    return y;
  }
  int32_t* const out = (y == differences_[0]) ? differences_[1] : differences_[0];
  const int32_t filteredCost = QuantizeAndFilter(y, n, a, kLpcOrder, out, coefficientBytes_[channel]);
  // The filtered residual is kept even when it is up to 5 % worse than the fixed one.
  const int64_t threshold = static_cast<int64_t>(1.05 * static_cast<double>(cost_));
  if (filteredCost < threshold) {
    cost_ = filteredCost;
    return out;
  }
  ClearCoefficientBytes(channel);
  return y;
}

double PredictionAnalyzer::LevinsonDurbin(const int32_t* y, int32_t n, double* a, int p) {
  double r[kLpcOrder + 1] = {};
  // Every lag sums the same n-p-1 products, each a wrapping 32-bit product
  // converted to double, added in index order.
  if (p > static_cast<int>(kLpcOrder)) p = static_cast<int>(kLpcOrder);
  const int32_t terms = n - p - 1;
  if (p == static_cast<int>(kLpcOrder)) {
    // The usual order, with the five sums held in registers: the same additions
    // in the same order, without a store and load between them.
    AutocorrelateOrder4(y, terms, r);
  } else {
    for (int32_t i = 0; i < terms; ++i) {
      const uint32_t base = static_cast<uint32_t>(y[i]);
      for (int lag = 0; lag <= p; ++lag) {
        const uint32_t product = base * static_cast<uint32_t>(y[i + lag]);
        r[lag] += static_cast<double>(static_cast<int32_t>(product));
      }
    }
  }

  a[0] = 1.0;
  double k = r[0] == 0.0 ? 0.0 : -r[1] / r[0];
  a[1] = k;
  for (int j = 2; j <= p; ++j) a[j] = 0.0;
  double error = r[0] + k * r[1];

  for (int m = 1; m <= p - 1; ++m) {
    double acc = 0.0;
    for (int j = 0; j <= m; ++j) acc += a[j] * r[m + 1 - j];
    k = error != 0.0 ? -acc / error : 0.0;
    for (int j = 1; j <= (m + 1) / 2; ++j) {
      const double low = a[j];
      const double high = a[m + 1 - j];
      a[j] = low + k * high;
      a[m + 1 - j] = high + k * low;
    }
    a[m + 1] = k;
    error = error + acc * k;
    if (error < 0.0) {
      error = 0.99 * error;
      for (int j = 0; j <= p; ++j) a[j] = 0.0;
      break;
    }
  }
  return error;
}

int32_t PredictionAnalyzer::QuantizeCoefficient(double a) {
  double t = 32.0 * a;
  if (t > 0.0) {
    t += 0.5;
  } else if (t < 0.0) {
    t -= 0.5;
  }
  if (!(t > -2147483648.0 && t < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(t);
}

bool PredictionAnalyzer::QuantizedCoefficientsFit(const double* a, int p) {
  for (int j = 1; j <= p; ++j) {
    const int64_t q = QuantizeCoefficient(a[j]);
    if (q > kLpcCoefficientLimit || q < -kLpcCoefficientLimit) return false;
  }
  return true;
}

int32_t PredictionAnalyzer::QuantizeAndFilter(const int32_t* y, int32_t n, const double* a, int p, int32_t* out,
                                              uint8_t* coefficientBytes) {
  uint32_t q[kLpcOrder] = {};
  if (p > static_cast<int>(kLpcOrder)) p = static_cast<int>(kLpcOrder);
  for (int j = 1; j <= p; ++j) {
    const int32_t value = QuantizeCoefficient(a[j]);
    q[j - 1] = static_cast<uint32_t>(value);
    const uint32_t magnitude = Abs32(static_cast<uint32_t>(value)) & 0xFFu;
    coefficientBytes[j - 1] = static_cast<uint8_t>(value < 0 ? (magnitude | 0x80u) : magnitude);
  }

  uint32_t total = 0;
  const int32_t head = n < p ? n : p;
  for (int32_t i = 0; i < head; ++i) {
    out[i] = y[i];
    total += Abs32(static_cast<uint32_t>(y[i]));
  }
  if (p == 4) return static_cast<int32_t>(FilterOrder4(y, n, q, out, total));
  for (int32_t i = p; i < n; ++i) {
    uint32_t s = 0;
    for (int j = 1; j <= p; ++j) s += q[j - 1] * static_cast<uint32_t>(y[i - j]);
    const uint32_t value = static_cast<uint32_t>(y[i]) + static_cast<uint32_t>(static_cast<int32_t>(s) >> 5);
    out[i] = static_cast<int32_t>(value);
    total += Abs32(value);
  }
  return static_cast<int32_t>(total);
}

}  // namespace qla
