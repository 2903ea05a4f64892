#include "ffplugs/cvla/codec/exact_math.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace qla {
namespace {

constexpr double kLog2OfE = 1.4426950408889634;
constexpr double kLn2 = 0.6931471805599453;

// ln(2) to about 107 bits as an unevaluated sum of two doubles.
constexpr double kLn2Hi = 6.93147180559945286227e-01;
constexpr double kLn2Lo = 2.31904681384629955842e-17;
constexpr double kTwo54 = 1.80143985094819840000e+16;

// Terms of atanh(s)/s = sum z^n / (2n+1), z = s*s <= 0.0295: 16 terms reach
// far below the last bit of the result.
constexpr int kSeriesTerms = 16;

// Numbers as unevaluated sums hi + lo of two doubles (|lo| <= ulp(hi) / 2),
// built only from IEEE double operations, so that every build computes the
// same bits. Needs round-to-nearest double arithmetic without contraction.
struct Wide {
  double hi, lo;
};

inline Wide QuickTwoSum(double a, double b) {  // |a| >= |b|
  const double s = a + b;
  return {s, b - (s - a)};
}

inline Wide TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

inline Wide Split(double a) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

inline Wide TwoProduct(double a, double b) {
  const double p = a * b;
  const Wide x = Split(a), y = Split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

inline Wide Add(Wide a, Wide b) {
  Wide s = TwoSum(a.hi, b.hi);
  const Wide t = TwoSum(a.lo, b.lo);
  s.lo += t.hi;
  s = QuickTwoSum(s.hi, s.lo);
  s.lo += t.lo;
  return QuickTwoSum(s.hi, s.lo);
}

inline Wide Multiply(Wide a, Wide b) {
  Wide p = TwoProduct(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return QuickTwoSum(p.hi, p.lo);
}

// 1 / d for a small integer d, to double-double accuracy.
inline Wide Reciprocal(double d) {
  const double hi = 1.0 / d;
  const Wide p = TwoProduct(hi, d);
  const double remainder = (1.0 - p.hi) - p.lo;
  return QuickTwoSum(hi, remainder / d);
}

uint64_t BitsOf(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

double FromBits(uint64_t bits) {
  double x;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

}  // namespace

// x = 2^e * m with m in [sqrt(2)/2, sqrt(2)); ln(m) = 2 atanh(s) with
// s = (m-1)/(m+1) = f/(2+f), |s| <= 0.1716; the odd series of atanh and the
// reconstruction e*ln2 + 2 atanh(s) run in double-double, and the result is
// that sum rounded once to double.
double ExactLog(double x) {
  uint64_t bits = BitsOf(x);
  if ((bits & 0x7FFFFFFFFFFFFFFFull) == 0) return -std::numeric_limits<double>::infinity();
  if (bits >> 63) return std::numeric_limits<double>::quiet_NaN();
  if ((bits >> 52) >= 0x7FF) return x + x;  // +infinity or NaN

  int32_t exponent = 0;
  if ((bits >> 52) == 0) {  // subnormal: scale into the normal range
    x *= kTwo54;
    bits = BitsOf(x);
    exponent -= 54;
  }
  exponent += static_cast<int32_t>(bits >> 52) - 1023;
  double m = FromBits((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);  // [1, 2)
  if (m >= 1.4142135623730951) {  // above sqrt(2): use m/2 (exact)
    m *= 0.5;
    exponent += 1;
  }

  const double f = m - 1.0;  // exact: m is within a factor 2 of 1
  const Wide denominator = TwoSum(2.0, f);
  const double sHi = f / denominator.hi;
  const Wide product = TwoProduct(sHi, denominator.hi);
  const double remainder = ((f - product.hi) - product.lo) - sHi * denominator.lo;
  const Wide s = QuickTwoSum(sHi, remainder / denominator.hi);

  const Wide z = Multiply(s, s);
  Wide series = Reciprocal(2.0 * kSeriesTerms + 1.0);
  for (int n = kSeriesTerms - 1; n >= 0; --n) series = Add(Reciprocal(2.0 * n + 1.0), Multiply(z, series));
  Wide logM = Multiply(s, series);
  logM.hi *= 2.0;
  logM.lo *= 2.0;

  const double e = static_cast<double>(exponent);
  const Wide eLn2 = Add(TwoProduct(e, kLn2Hi), Wide{e * kLn2Lo, 0.0});
  const Wide total = Add(eLn2, logM);
  return total.hi + total.lo;
}

// The logarithm decides only which side of an integer boundary the value lies
// on. Away from a boundary the side follows from the binary exponent (and, for
// the Rice parameter, one comparison), because the logarithm computed is within
// about 1e-14 of the true one while the true one is much farther than that from
// the boundary; on or near a boundary the logarithm itself is computed.

int32_t BitsForMagnitude(int32_t maxAbs) {
  if (maxAbs < 1) maxAbs = 1;
  const uint32_t magnitude = static_cast<uint32_t>(maxAbs);
  if ((magnitude & (magnitude - 1)) != 0) {
    // Not a power of two: log2 lies strictly between bitLength - 1 and
    // bitLength, at least 6e-10 from either.
    const int32_t bitLength = 32 - __builtin_clz(magnitude);
    return bitLength + 1;
  }
  const double log2 = ExactLog(static_cast<double>(maxAbs)) * kLog2OfE;
  return static_cast<int32_t>(std::ceil(log2) + 1.0);
}

int32_t RiceParameterForCost(int32_t cost, int32_t n) {
  if (n < 1 || cost < n) return 1;
  const double mean = static_cast<double>(cost) * kLn2 / static_cast<double>(n);
  // mean = m * 2^e with m in [1, 2): log2(mean) + 1.5 lies in [e + 1.5, e + 2.5),
  // so the result is e + 1, or e + 2 from m = sqrt(2) on.
  const uint64_t bits = BitsOf(mean);
  const uint32_t biased = static_cast<uint32_t>(bits >> 52) & 0x7FFu;
  const double m = FromBits((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  const double fromSqrt2 = m - 1.4142135623730951;
  if (biased != 0 && biased != 0x7FF && (fromSqrt2 > 1e-9 || fromSqrt2 < -1e-9)) {
    const int32_t k = static_cast<int32_t>(biased) - 1023 + (fromSqrt2 > 0 ? 2 : 1);
    return k < 1 ? 1 : k;
  }
  const int32_t k = static_cast<int32_t>(ExactLog(mean) * kLog2OfE + 1.5);
  return k < 1 ? 1 : k;
}

}  // namespace qla
