// The corpus recordings the benchmarks work on: a FLAC file of the corpus
// folder (CVQL_CORPUS_DIR, or the variable of that name), decoded with the
// `flac` program and read through the WAVE reader.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cvbench {

struct Recording {
  WAVEFORMATEX format{};  // PCM, cbSize 0
  std::vector<uint8_t> data;
};

// False when flac or the reader failed.
bool LoadRecording(const std::string& name, Recording* recording);

}  // namespace cvbench
