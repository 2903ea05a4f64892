#include "tools/qla/wav_file.h"

#include "ffplugs/cvla/qla_format.h"
#include "krn/results.h"
#include "tools/qla/system_text.h"

#include <cstring>

namespace qlatool {
namespace {

constexpr uint32_t FourCC(const char* s) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

constexpr uint32_t kRiffHeaderBytes = 12;
constexpr uint32_t kPcmFmtBytes = 16;
constexpr uint32_t kWriterDataHeaderOffset = kRiffHeaderBytes + 8 + kPcmFmtBytes;  // 36
constexpr uint64_t kMaxRiffBody = 0xFFFFFFFFull;
constexpr uint32_t kReadAheadBytes = 1u << 20;

}  // namespace

bool SeekTo(HANDLE file, uint64_t position) {
  LONG high = static_cast<LONG>(position >> 32);
  cvplat::SetLastErrorCode(0);
  DWORD low = cvplat::SetFilePosition(file, static_cast<LONG>(static_cast<uint32_t>(position)), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && cvplat::LastError() != 0);
}

bool ReadExact(HANDLE file, void* buffer, uint32_t count) {
  DWORD got = 0;
  return cvplat::ReadFileBytes(file, buffer, count, &got) && got == count;
}

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

HRESULT WavReader::Open(const std::string& path, std::string* problem) {
  file_.Reset(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file_.IsValid()) return ResultOfLastSystemError();

  uint64_t fileSize = 0;
  cvplat::GetFileSize64(file_.Get(), &fileSize);
  uint8_t header[kRiffHeaderBytes];
  if (!ReadExact(file_.Get(), header, sizeof header) || qla::LoadU32(header) != FourCC("RIFF"))
    return cv::CVERR_NO_RIFF_HEADER;
  if (qla::LoadU32(header + 8) != FourCC("WAVE")) {
    *problem = "not a WAVE file";
    return cv::CVERR_FILE_CORRUPT;
  }

  bool haveData = false;
  uint64_t dataSize = 0;
  uint64_t position = kRiffHeaderBytes;
  // Walk the top-level chunks; the RIFF size is not trusted (streamed files
  // leave it 0 or too large), the file size bounds the walk.
  while (position + 8 <= fileSize && !(haveData && !format_.empty())) {
    uint8_t chunk[8];
    if (!SeekTo(file_.Get(), position) || !ReadExact(file_.Get(), chunk, 8)) return cv::CVERR_FILE_READ;
    uint32_t id = qla::LoadU32(chunk);
    uint64_t size = qla::LoadU32(chunk + 4);
    uint64_t body = position + 8;
    if (id == FourCC("fmt ")) {
      if (size < kPcmFmtBytes || size > 4096) {
        *problem = "the \"fmt \" chunk has an impossible size";
        return cv::CVERR_FILE_CORRUPT;
      }
      format_.assign(size < sizeof(WAVEFORMATEX) ? sizeof(WAVEFORMATEX) : static_cast<size_t>(size), 0);
      if (!ReadExact(file_.Get(), format_.data(), static_cast<uint32_t>(size))) return cv::CVERR_FILE_READ;
      WAVEFORMATEX* f = reinterpret_cast<WAVEFORMATEX*>(format_.data());
      if (size == kPcmFmtBytes) f->cbSize = 0;
      if (f->cbSize > size - sizeof(WAVEFORMATEX)) f->cbSize = static_cast<WORD>(size - sizeof(WAVEFORMATEX));
    } else if (id == FourCC("data")) {
      haveData = true;
      dataOffset_ = body;
      dataSize = size;
      // A data chunk that claims more than the file holds (a streamed or cut
      // file) is read up to the end of the file.
      if (body + dataSize > fileSize || size == 0xFFFFFFFFu) dataSize = fileSize - body;
    }
    position = body + size + (size & 1);
  }
  if (format_.empty()) {
    *problem = "no \"fmt \" chunk";
    return cv::CVERR_FILE_CORRUPT;
  }
  if (!haveData) {
    *problem = "no \"data\" chunk";
    return cv::CVERR_FILE_CORRUPT;
  }
  const WAVEFORMATEX* f = Format();
  if (f->nChannels == 0 || f->nBlockAlign == 0 || f->nSamplesPerSec == 0) {
    *problem = "the format has no channels, no block size or no sample rate";
    return cv::CVERR_FILE_CORRUPT;
  }
  frames_ = dataSize / f->nBlockAlign;
  return cv::kS_OK;
}

bool WavReader::ReadFromFile(uint64_t frame, uint32_t count, uint8_t* out) {
  return SeekTo(file_.Get(), dataOffset_ + frame * FrameBytes()) && ReadExact(file_.Get(), out, count * FrameBytes());
}

HRESULT WavReader::ReadFrames(uint64_t frame, uint32_t count, void* buffer, uint32_t* got) {
  *got = 0;
  if (frame >= frames_) return cv::kS_FALSE;
  if (count > frames_ - frame) count = static_cast<uint32_t>(frames_ - frame);
  const uint32_t frameBytes = FrameBytes();
  const uint32_t capacity = kReadAheadBytes / frameBytes ? kReadAheadBytes / frameBytes : 1;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (uint32_t done = 0; done < count;) {
    const uint64_t at = frame + done;
    const uint32_t wanted = count - done;
    if (at >= aheadFirst_ && at < aheadFirst_ + aheadFrames_) {
      const uint64_t offset = at - aheadFirst_;
      uint32_t take = static_cast<uint32_t>(aheadFrames_ - offset);
      if (take > wanted) take = wanted;
      std::memcpy(out + static_cast<size_t>(done) * frameBytes, ahead_.data() + offset * frameBytes,
                  static_cast<size_t>(take) * frameBytes);
      done += take;
      continue;
    }
    if (wanted >= capacity) {  // a large read goes straight into the caller's buffer
      if (!ReadFromFile(at, wanted, out + static_cast<size_t>(done) * frameBytes)) return cv::CVERR_FILE_READ;
      break;
    }
    uint32_t fill = capacity;
    if (fill > frames_ - at) fill = static_cast<uint32_t>(frames_ - at);
    ahead_.resize(static_cast<size_t>(capacity) * frameBytes);
    aheadFrames_ = 0;
    if (!ReadFromFile(at, fill, ahead_.data())) return cv::CVERR_FILE_READ;
    aheadFirst_ = at;
    aheadFrames_ = fill;
  }
  *got = count;
  return cv::kS_OK;
}

HRESULT WavWriter::Create(const std::string& path, const WAVEFORMATEX& format) {
  file_.Reset(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                                     FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file_.IsValid()) return ResultOfLastSystemError();
  uint8_t header[kWriterDataHeaderOffset + 8] = {};
  qla::StoreU32(header, FourCC("RIFF"));
  qla::StoreU32(header + 8, FourCC("WAVE"));
  qla::StoreU32(header + 12, FourCC("fmt "));
  qla::StoreU32(header + 16, kPcmFmtBytes);
  std::memcpy(header + 20, &format, kPcmFmtBytes);
  qla::StoreU32(header + kWriterDataHeaderOffset, FourCC("data"));
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
  if (!SeekTo(file_.Get(), 4) || !cvplat::WriteFileBytes(file_.Get(), size, 4, &written)) return cv::CVERR_FILE_WRITE;
  qla::StoreU32(size, static_cast<uint32_t>(data));
  if (!SeekTo(file_.Get(), kWriterDataHeaderOffset + 4) || !cvplat::WriteFileBytes(file_.Get(), size, 4, &written))
    return cv::CVERR_FILE_WRITE;
  file_.Reset();
  return cv::kS_OK;
}

}  // namespace qlatool
