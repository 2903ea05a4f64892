#include "tools/qla/wav_metadata.h"

#include "krn/metadata_io.h"
#include "krn/results.h"

namespace qlatool {

[[nodiscard]] HRESULT LoadWavMetadata(HANDLE file, uint32_t sampleRate, cv::MetadataLists& lists) {
  HRESULT hr = cv::ReadMarkers(file, sampleRate, lists.markers);
  if (cv::Failed(hr)) return hr;
  hr = cv::ReadInfo(file, &lists.info);
  if (cv::Failed(hr) && hr != cv::CVERR_NOT_FOUND) return hr;
  hr = cv::ReadLoopInfo(file, lists.loop);
  return cv::Failed(hr) ? hr : cv::kS_OK;
}

}  // namespace qlatool
