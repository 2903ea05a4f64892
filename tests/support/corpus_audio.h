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
// Reads a WAVE file's audio through the WAVE reader; false when not usable.
bool ReadWavFile(const std::string& path, PcmAudio* audio);

}  // namespace cvtest
