// The chunk services that the module exports to other modules of the host, with
// the standard-call signatures they link against.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>

extern "C" {

// Searches forward from the current position for a chunk with `id`, like
// cv::FindChunk, but with an unsigned remaining count: a count that has dropped
// "below zero" after an odd last chunk reads on as a large number.
int32_t CV_STDCALL riffzz_FindChunkHeader(void* file, uint32_t id, uint32_t* size, uint32_t* remaining);
// Moves forward by size + (size & 1) and returns that distance.
uint32_t CV_STDCALL riffzz_SkipChunk(void* file, uint32_t size);

}
