// Test helpers for the block decoder tests: an MSB-first bit packer for hand-made
// payloads, a block serializer, and temporary block files.
#pragma once

#include "ffplugs/cvla/qla_format.h"
#include "krn/platform/file.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qlatest {

// Packs bits most significant first; Bytes() pads the last byte with zeros and
// adds the one extra zero byte a stream ending on a byte boundary carries.
class BitPacker {
 public:
  void Put(uint32_t value, uint32_t count) {
    for (uint32_t i = count; i-- > 0;) PutBit((value >> i) & 1u);
  }
  void PutBit(uint32_t bit) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80u >> (bits_ % 8));
    ++bits_;
  }
  void PutZeros(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) PutBit(0);
  }
  // Rice code of the signed value v with parameter k (k <= 31).
  void PutRice(int32_t v, uint32_t k) {
    const uint32_t u = v >= 0 ? 2u * static_cast<uint32_t>(v) : 2u * static_cast<uint32_t>(-(v + 1)) + 1u;
    PutZeros(u >> k);
    PutBit(1);
    if (k) Put(u & ((1u << k) - 1u), k);
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = bytes_;
    if (bits_ % 8 == 0) out.push_back(0);
    return out;
  }
  uint64_t BitCount() const { return bits_; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t bits_ = 0;
};

struct TestBlock {
  bool sync = false;
  qla::PredictorHistory history[2] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
  int16_t frameCount = 1;
  int32_t payloadSize = -1;  // -1: the payload's length
  uint8_t riceParam[2] = {0, 0};
  uint8_t fixedOrder[2] = {0, 0};
  uint8_t lpcCoef[2][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
  std::vector<uint8_t> payload;
};

inline void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void AppendBlock(std::vector<uint8_t>& out, const TestBlock& b, uint32_t channels, uint32_t flags) {
  if (b.sync) {
    AppendU32(out, qla::kSyncMarker);
    for (uint32_t c = 0; c < channels; ++c) {
      const qla::PredictorHistory& h = b.history[c];
      for (int32_t v : {h.x1, h.x2, h.x3, h.x4}) AppendU32(out, static_cast<uint32_t>(v));
    }
  }
  AppendU16(out, static_cast<uint16_t>(b.frameCount));
  AppendU16(out, static_cast<uint16_t>(b.payloadSize >= 0 ? b.payloadSize : static_cast<int32_t>(b.payload.size())));
  for (uint32_t c = 0; c < channels; ++c) out.push_back(b.riceParam[c]);
  for (uint32_t c = 0; c < channels; ++c) out.push_back(b.fixedOrder[c]);
  if (flags & qla::kFlagLpc)
    for (uint32_t c = 0; c < channels; ++c) out.insert(out.end(), b.lpcCoef[c], b.lpcCoef[c] + 4);
  if (flags & qla::kFlagExtraWord) AppendU32(out, 0xDEADBEEFu);
  out.insert(out.end(), b.payload.begin(), b.payload.end());
}

inline std::string TempPath(const std::string& name) {
  std::error_code ignored;
  std::filesystem::create_directories(CVQL_TESTDATA_DIR, ignored);
  return std::string(CVQL_TESTDATA_DIR) + "/" + name;
}

inline std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = TempPath(name);
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

inline cvplat::UniqueFile OpenForReading(const std::string& path) {
  return cvplat::UniqueFile(
      cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
}

// Little-endian 16-bit and packed 24-bit samples of decoded output.
inline int32_t Sample16(const uint8_t* p, uint32_t index) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[2 * index] | (p[2 * index + 1] << 8)));
}
inline int32_t Sample24(const uint8_t* p, uint32_t index) {
  const uint8_t* s = p + 3 * index;
  const uint32_t u = s[0] | (s[1] << 8) | (static_cast<uint32_t>(s[2]) << 16);
  return static_cast<int32_t>(u << 8) >> 8;
}

}  // namespace qlatest
