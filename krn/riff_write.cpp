// Writing RIFF chunks and patching the RIFF size.
#include "krn/riff.h"

#include "krn/riff_detail.h"

namespace cv {

using riff_detail::CurrentPos;
using riff_detail::kListId;
using riff_detail::kRiffId;
using riff_detail::ReadExact;
using riff_detail::SeekTo;
using riff_detail::WriteAll;

namespace {
constexpr uint32_t kRiffSizeOffset = 4;

[[nodiscard]] HRESULT WriteU32Pair(HANDLE file, uint32_t first, uint32_t second) {
  uint8_t bytes[8];
  StoreU32(bytes, first);
  StoreU32(bytes + 4, second);
  return WriteAll(file, bytes, sizeof bytes);
}

[[nodiscard]] HRESULT WriteU32(HANDLE file, uint32_t value) {
  uint8_t bytes[4];
  StoreU32(bytes, value);
  return WriteAll(file, bytes, sizeof bytes);
}
}  // namespace

[[nodiscard]] HRESULT WriteChunkHeader(HANDLE file, uint32_t id, uint32_t size) { return WriteU32Pair(file, id, size); }

[[nodiscard]] HRESULT WriteChunk(HANDLE file, uint32_t id, const void* data, uint32_t size, uint32_t* total) {
  HRESULT hr = WriteChunkHeader(file, id, size);
  if (Failed(hr)) return hr;
  if (size) {
    hr = WriteAll(file, data, size);
    if (Failed(hr)) return hr;
  }
  if (size & 1u) {
    const uint8_t pad = 0;
    hr = WriteAll(file, &pad, 1);
    if (Failed(hr)) return hr;
  }
  if (total) *total = static_cast<uint32_t>(PaddedSize(size)) + kChunkHeaderSize;
  return kS_OK;
}

[[nodiscard]] HRESULT WriteListHeader(HANDLE file, uint32_t listType, uint32_t size) {
  HRESULT hr = WriteChunkHeader(file, kListId, size);
  if (Failed(hr)) return hr;
  return WriteU32(file, listType);
}

[[nodiscard]] HRESULT WriteRiffHeader(HANDLE file, uint32_t formType, uint32_t size) {
  HRESULT hr = WriteChunkHeader(file, kRiffId, size);
  if (Failed(hr)) return hr;
  return WriteU32(file, formType);
}

[[nodiscard]] HRESULT SetRiffSize(HANDLE file, uint32_t size) {
  uint32_t saved = 0;
  if (!CurrentPos(file, &saved) || !SeekTo(file, kRiffSizeOffset)) return CVERR_FILE_WRITE;
  HRESULT hr = WriteU32(file, size);
  if (!SeekTo(file, saved) && Succeeded(hr)) hr = CVERR_FILE_WRITE;
  return hr;
}

[[nodiscard]] HRESULT AddRiffSize(HANDLE file, int32_t delta) {
  uint32_t saved = 0;
  if (!CurrentPos(file, &saved) || !SeekTo(file, kRiffSizeOffset)) return CVERR_FILE_WRITE;
  uint8_t bytes[4];
  HRESULT hr = ReadExact(file, bytes, sizeof bytes);
  if (Succeeded(hr)) {
    uint32_t size = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                    (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    size += static_cast<uint32_t>(delta);
    hr = SeekTo(file, kRiffSizeOffset) ? WriteU32(file, size) : CVERR_FILE_WRITE;
  }
  if (!SeekTo(file, saved) && Succeeded(hr)) hr = CVERR_FILE_WRITE;
  return hr;
}

}  // namespace cv
