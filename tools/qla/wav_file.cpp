#include "tools/qla/wav_file.h"

#include "ffplugs/cvla/qla_format.h"
#include "krn/results.h"
#include "krn/wav_reader.h"
#include "tools/qla/system_text.h"

#include <cstring>

namespace qlatool {
namespace {

constexpr uint32_t kRiffHeaderBytes = 12;
constexpr uint32_t kPcmFmtBytes = 16;
constexpr uint32_t kWriterDataHeaderOffset = kRiffHeaderBytes + 8 + kPcmFmtBytes;  // 36
constexpr uint64_t kMaxRiffBody = 0xFFFFFFFFull;

}  // namespace

WAVEFORMATEX PcmFormat(uint32_t channels, uint32_t sampleRate, uint32_t bits) {
  WAVEFORMATEX f{};
  f.wFormatTag = 1;
  f.nChannels = static_cast<WORD>(channels);
  f.nSamplesPerSec = sampleRate;
  f.nBlockAlign = static_cast<WORD>(channels * (bits / 8));
  f.nAvgBytesPerSec = sampleRate * f.nBlockAlign;
  f.wBitsPerSample = static_cast<WORD>(bits);
  f.cbSize = 0;
  return f;
}

HRESULT WavWriter::Create(const std::string& path, const WAVEFORMATEX& format) {
  file_.Reset(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                                     FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file_.IsValid()) return ResultOfLastSystemError();
  uint8_t header[kWriterDataHeaderOffset + 8] = {};
  qla::StoreU32(header, cv::ChunkId("RIFF"));
  qla::StoreU32(header + 8, cv::ChunkId("WAVE"));
  qla::StoreU32(header + 12, cv::ChunkId("fmt "));
  qla::StoreU32(header + 16, kPcmFmtBytes);
  std::memcpy(header + 20, &format, kPcmFmtBytes);
  qla::StoreU32(header + kWriterDataHeaderOffset, cv::ChunkId("data"));
  dataBytes_ = 0;
  return Write(header, sizeof header) == cv::kS_OK ? cv::kS_OK : cv::CVERR_FILE_WRITE;
}

HRESULT WavWriter::Write(const void* bytes, uint32_t count) {
  DWORD written = 0;
  if (!cvplat::WriteFileBytes(file_.Get(), bytes, count, &written) || written != count) return cv::CVERR_FILE_WRITE;
  dataBytes_ += count;
  return cv::kS_OK;
}

HRESULT WavWriter::Finish() {
  uint64_t data = dataBytes_ - (kWriterDataHeaderOffset + 8);
  if (data + kWriterDataHeaderOffset + 1 > kMaxRiffBody) return cv::CVERR_FILE_WRITE;
  if (data & 1) {
    uint8_t pad = 0;
    if (Write(&pad, 1) != cv::kS_OK) return cv::CVERR_FILE_WRITE;
  }
  uint8_t size[4];
  qla::StoreU32(size, static_cast<uint32_t>(kWriterDataHeaderOffset + data + (data & 1)));
  DWORD written = 0;
  if (!cv::SeekTo(file_.Get(), 4) || !cvplat::WriteFileBytes(file_.Get(), size, 4, &written)) return cv::CVERR_FILE_WRITE;
  qla::StoreU32(size, static_cast<uint32_t>(data));
  if (!cv::SeekTo(file_.Get(), kWriterDataHeaderOffset + 4) || !cvplat::WriteFileBytes(file_.Get(), size, 4, &written))
    return cv::CVERR_FILE_WRITE;
  file_.Reset();
  return cv::kS_OK;
}

}  // namespace qlatool
