// The metadata of a WAVE source as the renderer receives it from the host:
// markers and regions, INFO fields and loop information, read from the source
// file with the shared metadata readers into the lists of a metadata source.
#pragma once

#include "krn/list_metadata_source.h"
#include "krn/platform/win_types.h"

#include <cstdint>

namespace qlatool {

// Reads markers, INFO and loop information from an open RIFF file. A file
// without such chunks simply has none; read failures are returned.
[[nodiscard]] HRESULT LoadWavMetadata(HANDLE file, uint32_t sampleRate, cv::MetadataLists& lists);

}  // namespace qlatool
