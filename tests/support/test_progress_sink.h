// A render progress sink that records what it is told and can cancel.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "krn/results.h"

#include <cstdint>
#include <vector>

namespace cvtest {

class TestProgressSink : public cv::ICvProgressSink {
 public:
  // Answer a failure (a user's cancel) from the n-th SetProgress call on (1 = first).
  void CancelAtCall(uint32_t n) { cancelAt_ = n; }

  const std::vector<uint64_t>& Percentages() const { return percentages_; }
  uint32_t RangeCalls() const { return rangeCalls_; }
  // The last range set: low, high and the reserved value.
  const uint32_t* Range() const { return range_; }

  HRESULT CV_STDCALL QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return cv::kE_NOINTERFACE;
  }
  ULONG CV_STDCALL AddRef() override { return ++refs_; }
  ULONG CV_STDCALL Release() override { return --refs_; }
  HRESULT CV_STDCALL SetRange(uint32_t low, uint32_t high, uint32_t reserved) override {
    ++rangeCalls_;
    range_[0] = low, range_[1] = high, range_[2] = reserved;
    return cv::kS_OK;
  }
  HRESULT CV_STDCALL Reserved4() override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL Reserved5() override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL SetProgress(uint64_t percent) override {
    percentages_.push_back(percent);
    return cancelAt_ && percentages_.size() >= cancelAt_ ? cv::kE_FAIL : cv::kS_OK;
  }

 private:
  std::vector<uint64_t> percentages_;
  uint32_t cancelAt_ = 0;
  uint32_t rangeCalls_ = 0;
  uint32_t range_[3] = {};
  ULONG refs_ = 1;
};

}  // namespace cvtest
