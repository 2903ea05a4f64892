// Internal helpers of the RIFF chunk code: exact reads and forward seeks.
#pragma once

#include "krn/little_endian.h"
#include "krn/platform/file.h"
#include "krn/results.h"

#include <cstdint>

namespace cv {
namespace riff_detail {

constexpr uint32_t kRiffId = 0x46464952;  // "RIFF"
constexpr uint32_t kListId = 0x5453494C;  // "LIST"

// Reads exactly count bytes; a failed or short read is CVERR_FILE_READ.
[[nodiscard]] inline HRESULT ReadExact(HANDLE file, void* buffer, uint32_t count) {
  DWORD got = 0;
  if (!cvplat::ReadFileBytes(file, buffer, count, &got) || got != count) return CVERR_FILE_READ;
  return kS_OK;
}

[[nodiscard]] inline HRESULT WriteAll(HANDLE file, const void* buffer, uint32_t count) {
  DWORD put = 0;
  if (!cvplat::WriteFileBytes(file, buffer, count, &put)) return CVERR_FILE_WRITE;
  return kS_OK;
}

// Moves forward by an unsigned 64-bit distance. A corrupt size near 4 GiB thus
// moves past the end of the file (and the next read fails) instead of wrapping
// into a backward seek that could make a search loop forever.
// False when the seek failed.
[[nodiscard]] inline bool SeekForward(HANDLE file, uint64_t distance) {
  LONG high = static_cast<LONG>(static_cast<uint32_t>(distance >> 32));
  cvplat::SetLastErrorCode(0);
  return cvplat::SetFilePosition(file, static_cast<LONG>(static_cast<uint32_t>(distance)), &high, FILE_CURRENT) !=
             INVALID_SET_FILE_POINTER ||
         cvplat::LastError() == 0;
}

// 32-bit positions from the start of the file; false when the seek or the
// query fails.
[[nodiscard]] inline bool SeekTo(HANDLE file, uint32_t pos) { return cvplat::SeekFile(file, pos); }

[[nodiscard]] inline bool CurrentPos(HANDLE file, uint32_t* pos) {
  uint64_t position = 0;
  if (!cvplat::FilePosition(file, &position)) return false;
  *pos = static_cast<uint32_t>(position);
  return true;
}

// Lowers a remaining count with 32-bit wrap-around, for signed and unsigned counts.
template <typename Count>
Count Consume(Count count, uint64_t amount) {
  return static_cast<Count>(static_cast<uint32_t>(count) - static_cast<uint32_t>(amount));
}

// The chunk search shared by cv::FindChunk (signed count) and the exported
// riffzz_FindChunkHeader (unsigned count).
template <typename Count>
[[nodiscard]] HRESULT SearchChunk(HANDLE file, uint32_t id, uint32_t* size, Count* remaining) {
  Count work = remaining ? *remaining : 0;
  for (;;) {
    if (remaining && work < static_cast<Count>(8)) {
      *remaining = work;
      return CVERR_NOT_FOUND;
    }
    uint8_t header[8];
    HRESULT hr = ReadExact(file, header, sizeof header);
    if (Failed(hr)) return hr;
    uint32_t chunkId = static_cast<uint32_t>(header[0]) | (static_cast<uint32_t>(header[1]) << 8) |
                       (static_cast<uint32_t>(header[2]) << 16) | (static_cast<uint32_t>(header[3]) << 24);
    uint32_t chunkSize = static_cast<uint32_t>(header[4]) | (static_cast<uint32_t>(header[5]) << 8) |
                         (static_cast<uint32_t>(header[6]) << 16) | (static_cast<uint32_t>(header[7]) << 24);
    work = Consume(work, 8);
    if (chunkId == id) {
      if (size) *size = chunkSize;
      if (remaining) *remaining = work;
      return kS_OK;
    }
    uint64_t skipped = static_cast<uint64_t>(chunkSize) + (chunkSize & 1u);
    // A search that went on from a wrong place could report a chunk missing.
    if (!SeekForward(file, skipped)) return CVERR_FILE_READ;
    work = Consume(work, skipped);
  }
}

}  // namespace riff_detail
}  // namespace cv
