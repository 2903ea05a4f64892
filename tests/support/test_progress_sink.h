// A render progress sink that records what it is told and can cancel.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"

#include <cstdint>
#include <vector>

namespace cvtest {

class TestProgressSink : public cv::ICvProgressSink {
 public:
  // Answer a failure (a user's cancel) from the n-th SetProgress call on (1 = first).
  void CancelAtCall(uint32_t n) { cancelAt_ = n; }

  const std::vector<uint64_t>& Percentages() const { return percentages_; }
  uint32_t RangeCalls() const { return rangeCalls_; }
  uint32_t RangeLow() const { return low_; }
  uint32_t RangeHigh() const { return high_; }
  uint32_t RangeReserved() const { return reserved_; }

  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override;
  ULONG CV_STDCALL AddRef() override { return ++refs_; }
  ULONG CV_STDCALL Release() override { return --refs_; }
  HRESULT CV_STDCALL SetRange(uint32_t low, uint32_t high, uint32_t reserved) override;
  HRESULT CV_STDCALL Reserved4() override;
  HRESULT CV_STDCALL Reserved5() override;
  HRESULT CV_STDCALL SetProgress(uint64_t percent) override;

 private:
  std::vector<uint64_t> percentages_;
  uint32_t cancelAt_ = 0;
  uint32_t rangeCalls_ = 0;
  uint32_t low_ = 0, high_ = 0, reserved_ = 0;
  ULONG refs_ = 1;
};

}  // namespace cvtest
