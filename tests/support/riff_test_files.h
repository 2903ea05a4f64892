// Test helpers for RIFF files: byte builders and temporary files.
#pragma once

#include "krn/platform/file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cvtest {

using Bytes = std::vector<uint8_t>;

// A path under the test data folder (created on first use).
std::string TestDataPath(const std::string& name);

void PutU32(Bytes& out, uint32_t v);
void PutU16(Bytes& out, uint16_t v);
void PutId(Bytes& out, const char* id);
uint32_t GetU32(const Bytes& in, size_t offset);

// One chunk: header, data and a 0 pad byte for an odd size.
Bytes Chunk(const char* id, const Bytes& data);
// A "LIST" chunk of a type around already built sub-chunks.
Bytes List(const char* type, const Bytes& subChunks);
// "RIFF", size (4 + body), form type and the body.
Bytes Riff(const char* form, const Bytes& body);
// A "WAVE" file: the format's 16-byte "fmt " chunk, "data" and more chunks behind.
Bytes WaveFile(const WAVEFORMATEX& format, const Bytes& data, const Bytes& moreChunks = Bytes());
// A "cue " chunk with one point per sample offset (ids from 1, positions = offsets).
Bytes CueChunk(std::initializer_list<uint32_t> samples);
// n bytes counting up from `first`.
Bytes Filled(size_t n, uint8_t first);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Text(const std::string& s, bool terminate = true);
// FNV-1a over the bytes: golden values for whole outputs.
uint64_t Fnv1a(const Bytes& bytes);

// False when the file could not be written whole.
bool WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

// Writes the bytes to the path and opens the file for reading and writing
// (an invalid handle on failure).
cvplat::UniqueFile MakeFile(const std::string& path, const Bytes& bytes);

}  // namespace cvtest
