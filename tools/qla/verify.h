// Reading a written .qla file back through the host's path and comparing its
// frames with the source, as delivered to the encoder.
#pragma once

#include "krn/platform/win_types.h"
#include "krn/wav_reader.h"

#include <functional>
#include <string>

namespace qlatool {

// S_OK when the decoded frames equal the source's (converted to fileFormat);
// CVERR_FILE_CORRUPT with *difference naming the first differing frame, or the
// code of a failed open or read. A file longer than one seek group is decoded
// on `threads` threads; onFrames hears of the frames compared, in order.
[[nodiscard]] HRESULT VerifyAgainstSource(const std::string& qlaPath, cv::WavReader* wav, const WAVEFORMATEX& fileFormat,
                                          unsigned threads, std::string* difference,
                                          const std::function<void(uint32_t)>& onFrames);

}  // namespace qlatool
