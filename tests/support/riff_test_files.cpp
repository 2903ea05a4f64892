#include "tests/support/suite_file_name.h"
#include "tests/support/riff_test_files.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace cvtest {

std::string TestDataPath(const std::string& name) { return SuiteDataPath(name); }

void PutU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutId(Bytes& out, const char* id) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}

uint32_t GetU32(const Bytes& in, size_t offset) {
  return static_cast<uint32_t>(in.at(offset)) | (static_cast<uint32_t>(in.at(offset + 1)) << 8) |
         (static_cast<uint32_t>(in.at(offset + 2)) << 16) | (static_cast<uint32_t>(in.at(offset + 3)) << 24);
}

Bytes Chunk(const char* id, const Bytes& data) {
  Bytes out;
  PutId(out, id);
  PutU32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() & 1) out.push_back(0);
  return out;
}

Bytes List(const char* type, const Bytes& subChunks) {
  Bytes data;
  PutId(data, type);
  data.insert(data.end(), subChunks.begin(), subChunks.end());
  return Chunk("LIST", data);
}

Bytes Riff(const char* form, const Bytes& body) {
  Bytes out;
  PutId(out, "RIFF");
  PutU32(out, static_cast<uint32_t>(body.size() + 4));
  PutId(out, form);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes WaveFile(const WAVEFORMATEX& format, const Bytes& data, const Bytes& moreChunks) {
  const auto* fields = reinterpret_cast<const uint8_t*>(&format);  // little-endian, without cbSize
  return Riff("WAVE", Concat({Chunk("fmt ", Bytes(fields, fields + 16)), Chunk("data", data), moreChunks}));
}

Bytes CueChunk(std::initializer_list<uint32_t> samples) {
  Bytes cue;
  PutU32(cue, static_cast<uint32_t>(samples.size()));
  uint32_t id = 0;
  for (uint32_t sample : samples) {
    PutU32(cue, ++id);
    PutU32(cue, sample);
    PutId(cue, "data");
    PutU32(cue, 0);
    PutU32(cue, 0);
    PutU32(cue, sample);
  }
  return Chunk("cue ", cue);
}

Bytes Filled(size_t n, uint8_t first) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Text(const std::string& s, bool terminate) {
  Bytes out(s.begin(), s.end());
  if (terminate) out.push_back(0);
  return out;
}

uint64_t Fnv1a(const Bytes& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

cvplat::UniqueFile MakeFile(const std::string& path, const Bytes& bytes) {
  WriteFile(path, bytes);
  return cvplat::UniqueFile(
      cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0));
}

}  // namespace cvtest
