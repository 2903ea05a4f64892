// The metadata of a file as the host receives it, turned into plain values for
// printing: markers and regions in seconds, INFO fields as text, and whether
// loop information is present.
#pragma once

#include "krn/metadata_source.h"

#include <string>
#include <utility>
#include <vector>

namespace qlatool {

struct MarkerFacts {
  uint32_t id = 0;   // 1-based place in the file's cue list
  std::string name;  // UTF-8
  uint64_t startFrame = 0;
  uint64_t lengthFrames = 0;
  bool region = false;
};

struct FileMetadata {
  std::vector<MarkerFacts> markers;
  std::vector<std::pair<std::string, std::string>> info;  // id, text (UTF-8)
  bool hasAcid = false;
  bool hasStrc = false;
  uint32_t loopCount = 0;
};

// Markers come in time order (regions before markers at the same frame keep
// their cue order), positions as frames at sampleRate.
[[nodiscard]] HRESULT ReadMetadata(cv::ICvMetadataSource* source, uint32_t sampleRate, FileMetadata* out);

}  // namespace qlatool
