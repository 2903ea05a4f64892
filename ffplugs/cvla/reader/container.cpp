#include "ffplugs/cvla/reader/container.h"

#include "krn/platform/file.h"
#include "krn/record_list.h"
#include "krn/results.h"
#include "krn/riff.h"
#include "krn/riff_exports.h"

#include <cstring>

namespace qla {

namespace {

constexpr uint32_t kFirstChunkOffset = 12;  // after "RIFF", size and form type

// Searches the top level for a chunk from the first chunk after the form type;
// on success the file position is at its first data byte.
[[nodiscard]] HRESULT FindTopLevelChunk(HANDLE file, uint32_t bodySize, uint32_t id, uint32_t* size) {
  if (cv::Failed(cv::SetFilePos(file, kFirstChunkOffset))) return cv::CVERR_FILE_READ;
  uint32_t remaining = bodySize;
  return riffzz_FindChunkHeader(file, id, size, &remaining);
}

bool ReadExact(HANDLE file, void* buffer, uint32_t count) {
  DWORD got = 0;
  return cvplat::ReadFileBytes(file, buffer, count, &got) && got == count;
}

bool HeaderInRange(const QlaCodecHeader& h) {
  return h.headerSize >= kMinHeaderSize && h.headerSize <= kMaxHeaderSize &&
         h.framesPerBlock >= kMinFramesPerBlock && h.framesPerBlock <= kMaxFramesPerBlock &&
         h.blocksPerSeekPoint >= kMinBlocksPerSeekPoint && h.blocksPerSeekPoint <= kMaxBlocksPerSeekPoint;
}

// Only what the encoder writes can be decoded: 1 or 2 channels of 16- or 24-bit
// samples, a matching block alignment and at least the closing seek entry.
bool FormatDecodable(const WAVEFORMATEX& f, const QlaCodecHeader& h) {
  if (f.wFormatTag != WAVE_FORMAT_QUARTZLINE) return false;
  if (f.nChannels < 1 || f.nChannels > kMaxChannels) return false;
  if (f.wBitsPerSample != 16 && f.wBitsPerSample != 24) return false;
  if (f.nBlockAlign != f.nChannels * (f.wBitsPerSample / 8)) return false;
  return h.seekEntryCount != 0;
}

}  // namespace

[[nodiscard]] HRESULT ParseContainer(HANDLE file, QlaContainerInfo* out) {
  if (!out) return cv::kE_POINTER;
  std::memset(out, 0, sizeof *out);

  if (cv::Failed(cv::SetFilePos(file, 0))) return cv::CVERR_FILE_READ;
  uint32_t bodySize = 0, formType = 0;
  if (cv::Failed(cv::ReadRiffHeader(file, &bodySize, &formType))) return cv::CVERR_NO_RIFF_HEADER;
  if (formType != cv::FourCC("WAVE")) return cv::CVERR_FILE_CORRUPT;

  uint32_t chunkSize = 0;
  if (cv::Failed(FindTopLevelChunk(file, bodySize, cv::FourCC("fmt "), &chunkSize))) return cv::CVERR_FILE_READ;
  // The format and the codec header are read whole whatever the chunk declares.
  uint8_t fmt[sizeof(WAVEFORMATEX) + sizeof(QlaCodecHeader)];
  if (!ReadExact(file, fmt, sizeof fmt)) return cv::CVERR_FILE_READ;
  WAVEFORMATEX format;
  QlaCodecHeader codec;
  std::memcpy(&format, fmt, sizeof format);
  std::memcpy(&codec, fmt + sizeof format, sizeof codec);
  if (!HeaderInRange(codec)) return cv::CVERR_FILE_CORRUPT;
  if (!FormatDecodable(format, codec)) return cv::CVERR_FILE_CORRUPT;

  uint32_t dataSize = 0;
  if (cv::Failed(FindTopLevelChunk(file, bodySize, cv::FourCC("data"), &dataSize))) return cv::CVERR_FILE_READ;
  uint32_t dataOffset = 0;
  if (cv::Failed(cv::GetFilePos(file, &dataOffset))) return cv::CVERR_FILE_READ;

  uint32_t seekSize = 0;
  uint32_t seekBase = 0;
  if (cv::Succeeded(FindTopLevelChunk(file, bodySize, cv::FourCC("cvla"), &seekSize)) &&
      cv::Failed(cv::GetFilePos(file, &seekBase)))
    return cv::CVERR_FILE_READ;
  const uint32_t entries = seekBase ? (seekSize / 4 < codec.seekEntryCount ? seekSize / 4 : codec.seekEntryCount) : 0;

  format.wFormatTag = 1;
  format.cbSize = 0;
  out->format = format;
  out->codec = codec;
  out->dataOffset = dataOffset;
  out->dataSize = dataSize;
  out->hasSeekTable = entries != 0;
  out->seekTableBase = entries ? seekBase : 0;
  out->seekTableEntries = entries;
  out->totalFrames = codec.totalFrames;
  return cv::kS_OK;
}

}  // namespace qla
