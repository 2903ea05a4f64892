// The chunk services exported from the module (see krn/riff_exports.h).
#include "krn/riff_exports.h"

#include "krn/riff.h"
#include "krn/riff_detail.h"

extern "C" {

int32_t CV_STDCALL riffzz_FindChunkHeader(void* file, uint32_t id, uint32_t* size, uint32_t* remaining) {
  return cv::riff_detail::SearchChunk(static_cast<HANDLE>(file), id, size, remaining);
}

uint32_t CV_STDCALL riffzz_SkipChunk(void* file, uint32_t size) {
  uint64_t distance = cv::PaddedSize(size);
  cv::riff_detail::SeekForward(static_cast<HANDLE>(file), distance);
  return static_cast<uint32_t>(distance);
}

}
