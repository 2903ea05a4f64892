// Real recordings for round-trip tests: the FLAC files of the corpus folder,
// decoded to PCM with the `flac` tool at test time.
#pragma once

#include "tests/support/pcm_test_stream.h"

#include <string>
#include <vector>

namespace cvtest {

// True when the `flac` program can be run.
bool FlacAvailable();
// Names of the corpus's .flac files (without folder), sorted.
std::vector<std::string> CorpusFiles();
// Decodes one corpus file into PCM (tag 1, cbSize 0); false when it fails.
bool DecodeCorpusFile(const std::string& name, PcmAudio* audio);
// Parses a RIFF WAVE file's "fmt " and "data" into PCM; false when not usable.
bool ParseWav(const std::vector<uint8_t>& file, PcmAudio* audio);

}  // namespace cvtest
