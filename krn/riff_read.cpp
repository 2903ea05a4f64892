// Reading and searching RIFF chunks.
#include "krn/riff.h"

#include "krn/messages.h"

#include "krn/platform/memory.h"
#include "krn/riff_detail.h"

namespace cv {

using riff_detail::Consume;
using riff_detail::CurrentPos;
using riff_detail::kListId;
using riff_detail::kRiffId;
using riff_detail::ReadExact;
using riff_detail::SeekForward;
using riff_detail::SeekTo;

[[nodiscard]] HRESULT ReadChunkHeader(HANDLE file, uint32_t* id, uint32_t* size) {
  uint8_t header[8];
  HRESULT hr = ReadExact(file, header, sizeof header);
  if (Failed(hr)) return hr;
  if (id) *id = LoadU32(header);
  if (size) *size = LoadU32(header + 4);
  return kS_OK;
}

[[nodiscard]] HRESULT ReadRiffHeader(HANDLE file, uint32_t* bodySize, uint32_t* formType) {
  // A short header leaves the id zero, so that it fails the id test below.
  uint32_t id = 0;
  uint32_t size = 0;
  static_cast<void>(ReadChunkHeader(file, &id, &size));
  if (bodySize) *bodySize = size - 4;
  if (id != kRiffId) return CVERR_NO_RIFF_HEADER;
  uint8_t form[4];
  HRESULT hr = ReadExact(file, form, sizeof form);
  if (Failed(hr)) return hr;
  if (formType) *formType = LoadU32(form);
  return kS_OK;
}

[[nodiscard]] HRESULT FindChunk(HANDLE file, uint32_t id, uint32_t* size, int32_t* remaining) {
  return riff_detail::SearchChunk(file, id, size, remaining);
}

[[nodiscard]] HRESULT FindChunkFromStart(HANDLE file, uint32_t id, uint32_t* size, int32_t* remaining) {
  if (!SeekTo(file, 0)) return CVERR_FILE_READ;
  uint32_t bodySize = 0;
  HRESULT hr = ReadRiffHeader(file, &bodySize, nullptr);
  if (Failed(hr)) return hr;
  int32_t work = static_cast<int32_t>(bodySize);
  hr = FindChunk(file, id, size, &work);
  if (remaining) *remaining = work;
  return hr;
}

[[nodiscard]] HRESULT FindList(HANDLE file, uint32_t listType, uint32_t* size, int32_t* remaining) {
  int32_t work = remaining ? *remaining : 0;
  int32_t* workPtr = remaining ? &work : nullptr;
  for (;;) {
    uint32_t listSize = 0;
    HRESULT hr = FindChunk(file, kListId, &listSize, workPtr);
    if (remaining) *remaining = work;
    if (Failed(hr)) return hr;
    if (listSize < kListTypeSize) {
      // Too small to hold a list type: skip it as a plain chunk.
      if (!SeekForward(file, PaddedSize(listSize))) return CVERR_FILE_READ;
      work = Consume(work, PaddedSize(listSize));
      continue;
    }
    if (remaining && work < static_cast<int32_t>(kListTypeSize)) return CVERR_NOT_FOUND;
    uint8_t type[4];
    hr = ReadExact(file, type, sizeof type);
    if (Failed(hr)) return hr;
    work = Consume(work, kListTypeSize);
    if (LoadU32(type) == listType) {
      if (size) *size = listSize - kListTypeSize;
      if (remaining) *remaining = work;
      return kS_OK;
    }
    uint64_t rest = PaddedSize(listSize) - kListTypeSize;
    if (!SeekForward(file, rest)) return CVERR_FILE_READ;
    work = Consume(work, rest);
  }
}

[[nodiscard]] HRESULT FindListFromStart(HANDLE file, uint32_t listType, uint32_t* size) {
  if (!SeekTo(file, 0)) return CVERR_FILE_READ;
  uint32_t bodySize = 0;
  HRESULT hr = ReadRiffHeader(file, &bodySize, nullptr);
  if (Failed(hr)) return hr;
  int32_t work = static_cast<int32_t>(bodySize);
  return FindList(file, listType, size, &work);
}

[[nodiscard]] HRESULT CountChunks(HANDLE file, uint32_t* count, const int32_t* remaining) {
  uint32_t start = 0;
  if (!CurrentPos(file, &start)) return CVERR_FILE_READ;
  int32_t work = remaining ? *remaining : 0;
  uint32_t n = 0;
  HRESULT hr = kS_OK;
  while (!remaining || work >= static_cast<int32_t>(kChunkHeaderSize)) {
    uint8_t header[8];
    DWORD got = 0;
    if (!cvplat::ReadFileBytes(file, header, sizeof header, &got)) {
      hr = CVERR_FILE_READ;
      break;
    }
    if (got == 0 && !remaining) break;  // the end of the file ends an unbounded count
    if (got != sizeof header) {
      hr = CVERR_FILE_READ;
      break;
    }
    ++n;
    uint32_t chunkSize = LoadU32(header + 4);
    if (!SeekForward(file, PaddedSize(chunkSize))) {
      hr = CVERR_FILE_READ;
      break;
    }
    work = Consume(work, kChunkHeaderSize + PaddedSize(chunkSize));
  }
  if (!SeekTo(file, start) && Succeeded(hr)) hr = CVERR_FILE_READ;
  if (Failed(hr)) return hr;
  if (count) *count = n;
  return kS_OK;
}

[[nodiscard]] HRESULT SkipChunks(HANDLE file, uint32_t n, int32_t* remaining) {
  int32_t work = remaining ? *remaining : 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (remaining && work < static_cast<int32_t>(kChunkHeaderSize)) {
      *remaining = work;
      return CVERR_NOT_FOUND;
    }
    uint32_t chunkSize = 0;
    HRESULT hr = ReadChunkHeader(file, nullptr, &chunkSize);
    if (Failed(hr)) return hr;
    if (!SeekForward(file, PaddedSize(chunkSize))) return CVERR_FILE_READ;
    work = Consume(work, kChunkHeaderSize + PaddedSize(chunkSize));
  }
  if (remaining) *remaining = work;
  return kS_OK;
}

int32_t SkipChunk(HANDLE file, uint32_t size) {
  uint64_t distance = PaddedSize(size);
  // Reports no failure, as the exported skip: the caller's next read does.
  static_cast<void>(SeekForward(file, distance));
  return static_cast<int32_t>(static_cast<uint32_t>(distance));
}

[[nodiscard]] HRESULT GetFilePos(HANDLE file, uint32_t* pos) {
  uint32_t current = 0;
  if (!CurrentPos(file, &current)) return ResultFromWin32Error(cvplat::LastError());
  if (pos) *pos = current;
  return kS_OK;
}

[[nodiscard]] HRESULT SetFilePos(HANDLE file, uint32_t pos) {
  return SeekTo(file, pos) ? kS_OK : ResultFromWin32Error(cvplat::LastError());
}

[[nodiscard]] HRESULT ReadChunkData(HANDLE file, void* buffer, uint32_t size) {
  HRESULT hr = ReadExact(file, buffer, size);
  if (Failed(hr)) return hr;
  if ((size & 1u) && !SeekForward(file, 1)) return CVERR_FILE_READ;
  return kS_OK;
}

bool FitsInFile(HANDLE file, uint32_t size) {
  uint64_t fileSize = 0;
  uint32_t position = 0;
  if (!cvplat::GetFileSize64(file, &fileSize) || Failed(GetFilePos(file, &position))) return true;
  return size <= fileSize - (position < fileSize ? position : fileSize);
}

[[nodiscard]] HRESULT ReadChunkAlloc(HANDLE file, ChunkBlob* blob) {
  if (!blob) return kE_POINTER;
  blob->data = nullptr;
  if (blob->size == 0) return kS_OK;
  // A size from a damaged header fails before any memory is taken.
  if (!FitsInFile(file, blob->size)) return CVERR_FILE_READ;
  cvplat::GlobalBlock block(blob->size);
  if (!block) return kE_OUTOFMEMORY;
  HRESULT hr = ReadChunkData(file, block.Get(), blob->size);
  if (Failed(hr)) return hr;
  blob->data = block.Release();
  return kS_OK;
}

[[nodiscard]] HRESULT ReadChunkPrefix(HANDLE file, void* buffer, uint32_t bufferSize, uint32_t chunkSize) {
  uint32_t count = bufferSize < chunkSize ? bufferSize : chunkSize;
  return ReadExact(file, buffer, count);
}

[[nodiscard]] HRESULT CheckChunkLength(int32_t length) {
  if (length < 0) return CVERR_BAD_CHUNK_LENGTH;
  if (length == 0) return CVERR_ZERO_CHUNK_LENGTH;
  return kS_OK;
}

}  // namespace cv
