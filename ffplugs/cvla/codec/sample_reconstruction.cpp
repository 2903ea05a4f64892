#include "ffplugs/cvla/codec/sample_reconstruction.h"

namespace qla {
namespace {

inline int32_t Signed(uint32_t v) { return static_cast<int32_t>(v); }
inline uint32_t Bits(int32_t v) { return static_cast<uint32_t>(v); }

// x / 2 rounded toward zero.
inline int32_t Half(int32_t x) { return x / 2; }
// x / 2 rounded away from zero.
inline int32_t Away(int32_t x) {
  if ((x & 1) == 0) return x / 2;
  return x > 0 ? x / 2 + 1 : x / 2 - 1;
}

inline int32_t Clamp24(int32_t v) {
  if (v > 8388607) return 8388607;
  if (v < -8388608) return -8388608;
  return v;
}

inline void Store16(uint8_t* p, int32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(Bits(v) >> 8);
}

inline void Store24(uint8_t* p, int32_t v) {
  const uint32_t u = Bits(Clamp24(v));
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
}

// One loop per order, so that the order is not tested per value.
template <uint32_t kOrder>
void Integrate(PredictorHistory& history, int32_t* values, uint32_t count) {
  uint32_t x1 = Bits(history.x1), x2 = Bits(history.x2), x3 = Bits(history.x3), x4 = Bits(history.x4);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t e = Bits(values[i]);
    uint32_t x;
    if (kOrder == 0) x = e;
    else if (kOrder == 1) x = e + x1;
    else if (kOrder == 2) x = e + 2 * x1 - x2;
    else if (kOrder == 3) x = e + 3 * (x1 - x2) + x3;
    else x = e + 4 * (x1 + x3) - 6 * x2 - x4;
    values[i] = Signed(x);
    x4 = x3;
    x3 = x2;
    x2 = x1;
    x1 = x;
  }
  history = {Signed(x1), Signed(x2), Signed(x3), Signed(x4)};
}

template <void (*Store)(uint8_t*, int32_t), uint32_t kBytes>
void WritePcm(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
              uint8_t* out) {
  if (channels == 1) {
    for (uint32_t i = 0; i < frames; ++i, out += kBytes) Store(out, ch0[i]);
    return;
  }
  if (!midSide) {
    for (uint32_t i = 0; i < frames; ++i, out += 2 * kBytes) {
      Store(out, ch0[i]);
      Store(out + kBytes, ch1[i]);
    }
    return;
  }
  for (uint32_t i = 0; i < frames; ++i, out += 2 * kBytes) {
    const StereoPair lr = MidSideToLeftRight(ch0[i], ch1[i]);
    Store(out, lr.left);
    Store(out + kBytes, lr.right);
  }
}

}  // namespace

void UndoLpc(const uint8_t coef[kLpcOrder], int32_t* values, uint32_t count) {
  const uint32_t c1 = Bits(LpcCoefficient(coef[0])), c2 = Bits(LpcCoefficient(coef[1]));
  const uint32_t c3 = Bits(LpcCoefficient(coef[2])), c4 = Bits(LpcCoefficient(coef[3]));
  if ((c1 | c2 | c3 | c4) == 0) return;
  for (uint32_t i = kLpcOrder; i < count; ++i) {
    const uint32_t sum = c1 * Bits(values[i - 1]) + c2 * Bits(values[i - 2]) + c3 * Bits(values[i - 3]) +
                         c4 * Bits(values[i - 4]);
    values[i] = Signed(Bits(values[i]) - Bits(Signed(sum) >> 5));
  }
}

bool UndoFixedPredictor(uint32_t order, PredictorHistory& history, int32_t* values, uint32_t count) {
  switch (order) {
    case 0: Integrate<0>(history, values, count); return true;
    case 1: Integrate<1>(history, values, count); return true;
    case 2: Integrate<2>(history, values, count); return true;
    case 3: Integrate<3>(history, values, count); return true;
    case 4: Integrate<4>(history, values, count); return true;
    default: return false;
  }
}

StereoPair MidSideToLeftRight(int32_t mid, int32_t side) {
  const int32_t a = Signed(2 * Bits(mid) + Bits(side));
  const int32_t b = Signed(2 * Bits(mid) - Bits(side));
  const bool opposite = (a > 0 && b < 0) || (a < 0 && b > 0);
  if (!opposite) return {Half(a), Half(b)};
  const bool sameSign = (mid > 0 && side > 0) || (mid < 0 && side < 0);
  if (sameSign) return {Half(a), Away(b)};
  return {Away(a), Half(b)};
}

void WritePcm16(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                uint8_t* out) {
  WritePcm<Store16, 2>(ch0, ch1, channels, midSide, frames, out);
}

void WritePcm24(const int32_t* ch0, const int32_t* ch1, uint32_t channels, bool midSide, uint32_t frames,
                uint8_t* out) {
  WritePcm<Store24, 3>(ch0, ch1, channels, midSide, frames, out);
}

}  // namespace qla
