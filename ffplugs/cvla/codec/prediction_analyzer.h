// Prediction of one channel of a block: a fixed polynomial predictor (repeated
// differencing whose state runs on across blocks) chosen by the smallest sum of
// absolute residuals, optionally followed by an order-4 linear predictor
// computed for the block. All sample arithmetic wraps in 32 bits.
#pragma once

#include <cstdint>

#include "krn/md5_steps.h"
#include "krn/platform/memory.h"
#include "ffplugs/cvla/qla_format.h"

namespace qla {

constexpr int32_t kLpcCoefficientLimit = 127;  // 7 bits of magnitude in a coefficient byte

class PredictionAnalyzer {
 public:
  // Allocates the four difference buffers of 512 values; false when out of memory.
  [[nodiscard]] bool Create(bool lpcStage);
  void Release();

  // Chooses the predictor for n (1..512) samples of a channel (0 or 1), runs the
  // channel's history on, and returns the residual to code (n values). Sets
  // Order(), Cost() and MaxAbs(); with the LPC stage, sets or clears the
  // channel's coefficient bytes. The result stays valid until the next call.
  // With a digest run, whole blocks of it may be hashed along the way.
  const int32_t* SelectPredictor(int channel, const int32_t* x, int32_t n, cv::Md5BlockRun* digest = nullptr);

  // Order-p autocorrelation recursion in double: fills a[0..p] with the monic
  // predictor polynomial and returns the prediction error.
  static double LevinsonDurbin(const int32_t* y, int32_t n, double* a, int p);

  // Quantises a[1..p] (x32, halves away from zero) into sign-magnitude bytes,
  // filters y into out and returns the 32-bit sum of |out|.
  static int32_t QuantizeAndFilter(const int32_t* y, int32_t n, const double* a, int p, int32_t* out,
                                   uint8_t* coefficientBytes);

  // 32 * a rounded half away from zero; INT32_MIN for NaN or values outside int32.
  static int32_t QuantizeCoefficient(double a);

  // Whether every quantised coefficient fits the byte's 7-bit magnitude. A block
  // whose coefficients do not fit cannot be stored: the decoder would read a
  // different coefficient and reconstruct wrong samples.
  static bool QuantizedCoefficientsFit(const double* a, int p);

  int Order() const { return order_; }
  int32_t Cost() const { return cost_; }
  int32_t MaxAbs() const { return maxAbs_; }
  bool LpcStage() const { return lpcStage_; }

  // Fixed predictor state of a channel: last sample and last 1st..3rd differences.
  const uint32_t* History(int channel) const { return history_[channel]; }
  void ResetHistory(int channel);
  // Runs the channel's history over n samples without choosing a predictor.
  void RunHistory(int channel, const int32_t* x, int32_t n);

  const uint8_t* CoefficientBytes(int channel) const { return coefficientBytes_[channel]; }
  void ClearCoefficientBytes(int channel);

 private:
  const int32_t* ApplyLpcStage(int channel, const int32_t* y, int32_t n);

  cvplat::GlobalBlock workSpace_;
  int32_t* differences_[4] = {};  // 1st..4th differences of the current channel
  uint32_t padded_[4 + kFramesPerBlock] = {};  // the 4 values before the block, then the block
  uint32_t history_[kMaxChannels][4] = {};
  uint8_t coefficientBytes_[kMaxChannels][kLpcOrder] = {};
  bool lpcStage_ = false;
  int order_ = 0;
  int32_t cost_ = 0;
  int32_t maxAbs_ = 0;
};

}  // namespace qla
