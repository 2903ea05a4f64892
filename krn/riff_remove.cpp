// Removing a top-level chunk by moving the rest of the file down over it.
#include "krn/riff.h"

#include "krn/riff_detail.h"

namespace cv {

using riff_detail::CurrentPos;
using riff_detail::SeekTo;

namespace {
constexpr uint32_t kMoveStep = 4096;

// Copies everything from `source` to the end of the file down to `destination`
// in steps of kMoveStep bytes; *end receives the position after the last byte
// written.
[[nodiscard]] HRESULT MoveTailDown(HANDLE file, uint32_t source, uint32_t destination, uint32_t* end) {
  uint8_t buffer[kMoveStep];
  for (;;) {
    if (!SeekTo(file, source)) return CVERR_FILE_READ;
    DWORD got = 0;
    if (!cvplat::ReadFileBytes(file, buffer, kMoveStep, &got)) return CVERR_FILE_READ;
    source += got;
    if (!SeekTo(file, destination)) return CVERR_FILE_WRITE;
    if (got) {
      HRESULT hr = riff_detail::WriteAll(file, buffer, got);
      if (Failed(hr)) return hr;
    }
    destination += got;
    if (got < kMoveStep) break;
  }
  *end = destination;
  return kS_OK;
}
}  // namespace

[[nodiscard]] HRESULT RemoveChunk(HANDLE file, uint32_t id, bool isList, uint32_t* removed) {
  // A file that is not RIFF has no chunk to remove: its "body size" would be
  // garbage and the move could cut into foreign data.
  if (!SeekTo(file, 0)) return CVERR_FILE_READ;
  uint32_t bodySize = 0;
  HRESULT hr = ReadRiffHeader(file, &bodySize, nullptr);
  if (Failed(hr)) return hr;

  int32_t remaining = static_cast<int32_t>(bodySize);
  uint32_t dataSize = 0;
  hr = isList ? FindList(file, id, &dataSize, &remaining) : FindChunk(file, id, &dataSize, &remaining);
  if (Failed(hr)) return hr;

  uint32_t headerBytes = kChunkHeaderSize + (isList ? kListTypeSize : 0);
  uint32_t length = static_cast<uint32_t>(PaddedSize(dataSize)) + headerBytes;
  uint32_t position = 0;
  if (!CurrentPos(file, &position)) return CVERR_FILE_READ;
  const uint32_t chunkStart = position - headerBytes;

  uint32_t end = 0;
  hr = MoveTailDown(file, chunkStart + length, chunkStart, &end);
  if (Failed(hr)) return hr;
  if (!SeekTo(file, end) || !cvplat::SetEndOfFileHere(file)) return CVERR_FILE_WRITE;
  hr = AddRiffSize(file, -static_cast<int32_t>(length));
  if (Failed(hr)) return hr;
  if (removed) *removed = length;
  return kS_OK;
}

}  // namespace cv
