// The chunk services exported from the module (see krn/riff_exports.h).
#include "krn/riff_exports.h"

#include "krn/com_guard.h"
#include "krn/riff.h"
#include "krn/riff_detail.h"

extern "C" {

int32_t CV_STDCALL riffzz_FindChunkHeader(void* file, uint32_t id, uint32_t* size, uint32_t* remaining) try {
  return cv::riff_detail::SearchChunk(static_cast<HANDLE>(file), id, size, remaining);
} CV_COM_CATCH_RETURN()

uint32_t CV_STDCALL riffzz_SkipChunk(void* file, uint32_t size) try {
  return static_cast<uint32_t>(cv::SkipChunk(static_cast<HANDLE>(file), size));
} CV_COM_CATCH_RETURN_VALUE(0u)

}
