#include "tests/support/test_progress_sink.h"

#include "krn/results.h"

namespace cvtest {

HRESULT CV_STDCALL TestProgressSink::QueryInterface(REFIID iid, void** out) {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (iid != cv::kIID_IUnknown) return cv::kE_NOINTERFACE;
  *out = static_cast<IUnknown*>(this);
  AddRef();
  return cv::kS_OK;
}

HRESULT CV_STDCALL TestProgressSink::SetRange(uint32_t low, uint32_t high, uint32_t reserved) {
  ++rangeCalls_;
  low_ = low;
  high_ = high;
  reserved_ = reserved;
  return cv::kS_OK;
}

HRESULT CV_STDCALL TestProgressSink::Reserved4() { return cv::kE_NOTIMPL; }
HRESULT CV_STDCALL TestProgressSink::Reserved5() { return cv::kE_NOTIMPL; }

HRESULT CV_STDCALL TestProgressSink::SetProgress(uint64_t percent) {
  percentages_.push_back(percent);
  if (cancelAt_ && percentages_.size() >= cancelAt_) return cv::kE_FAIL;
  return cv::kS_OK;
}

}  // namespace cvtest
