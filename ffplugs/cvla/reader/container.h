// Parsing the container of a ".qla" file: the RIFF header, the "fmt " chunk with
// the codec header, the "data" chunk and the seek table chunk "cvla".
#pragma once

#include "ffplugs/cvla/qla_format.h"
#include "krn/platform/win_types.h"

#include <cstdint>

namespace qla {

// The packed records come first, where their fields are naturally aligned.
struct QlaContainerInfo {
  QlaCodecHeader codec;     // as stored
  WAVEFORMATEX format;      // the decoded audio as the host sees it: tag 1 (PCM), cbSize 0
  uint32_t dataOffset;      // file offset of block 0 (first byte of the "data" contents)
  uint32_t dataSize;        // size of the "data" contents in bytes
  bool hasSeekTable;        // false: no usable "cvla"; decode sequentially from block 0
  uint32_t seekTableBase;   // file offset of seek table entry 0 (when hasSeekTable)
  uint32_t seekTableEntries;  // entries present: min(seekEntryCount, chunk size / 4)
  uint64_t totalFrames;     // frames of the stream (the codec header's totalFrames)
};

// Reads the container from the start of an open file. Results:
// CVERR_NO_RIFF_HEADER when the file does not start with a RIFF header;
// CVERR_FILE_CORRUPT for a form type other than "WAVE", codec header values out
// of range, or a format this codec never writes (tag not Quartzline, channels
// not 1 or 2, bits not 16 or 24, nBlockAlign not channels x bytes,
// seekEntryCount 0); CVERR_FILE_READ when "fmt " or "data" is missing or the
// format cannot be read. A missing or empty "cvla" is accepted with
// hasSeekTable false. The file position is undefined afterwards.
[[nodiscard]] HRESULT ParseContainer(HANDLE file, QlaContainerInfo* out);

}  // namespace qla
