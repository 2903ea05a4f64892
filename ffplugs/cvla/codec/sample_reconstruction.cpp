#include "ffplugs/cvla/codec/sample_reconstruction.h"

namespace qla {
namespace {

inline int32_t Signed(uint32_t v) { return static_cast<int32_t>(v); }
inline uint32_t Bits(int32_t v) { return static_cast<uint32_t>(v); }

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

// One loop per order and LPC choice, so that neither is tested per value. The
// LPC chain (y) and the integration chain (x) are independent, which lets the
// processor overlap them.
template <uint32_t kOrder, bool kLpc>
void Reconstruct(const uint32_t c[kLpcOrder], PredictorHistory& history, int32_t* values, uint32_t count) {
  uint32_t x1 = Bits(history.x1), x2 = Bits(history.x2), x3 = Bits(history.x3), x4 = Bits(history.x4);
  uint32_t y1 = 0, y2 = 0, y3 = 0, y4 = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t e = Bits(values[i]);
    if (kLpc) {
      if (i >= kLpcOrder) e -= Bits(Signed(c[0] * y1 + c[1] * y2 + c[2] * y3 + c[3] * y4) >> 5);
      y4 = y3;
      y3 = y2;
      y2 = y1;
      y1 = e;
    }
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

template <bool kLpc>
bool ReconstructOrder(uint32_t order, const uint32_t c[kLpcOrder], PredictorHistory& history, int32_t* values,
                      uint32_t count) {
  switch (order) {
    case 0: Reconstruct<0, kLpc>(c, history, values, count); return true;
    case 1: Reconstruct<1, kLpc>(c, history, values, count); return true;
    case 2: Reconstruct<2, kLpc>(c, history, values, count); return true;
    case 3: Reconstruct<3, kLpc>(c, history, values, count); return true;
    case 4: Reconstruct<4, kLpc>(c, history, values, count); return true;
    default: return false;
  }
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

bool ReconstructChannel(uint32_t order, const uint8_t* lpcCoef, PredictorHistory& history, int32_t* values,
                        uint32_t count) {
  uint32_t c[kLpcOrder] = {0, 0, 0, 0};
  if (lpcCoef)
    for (uint32_t j = 0; j < kLpcOrder; ++j) c[j] = Bits(LpcCoefficient(lpcCoef[j]));
  // Four zero coefficients mean no LPC stage: the corrections are all zero.
  if ((c[0] | c[1] | c[2] | c[3]) == 0) return ReconstructOrder<false>(order, c, history, values, count);
  return ReconstructOrder<true>(order, c, history, values, count);
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
