// RIFF chunk I/O on open file handles: reading, searching, writing and removing
// the chunks of a RIFF file (four-character ids, 32-bit little-endian sizes,
// chunks padded to an even length). The operations keep no state: everything is
// the file position and the values passed in and out.
//
// Remaining counts: the optional in/out `remaining` is the number of bytes left
// in the region being searched (a RIFF body or a list). Each header read takes 8
// bytes of it and each skip the amount skipped. Null means no limit: the search
// then ends only at a match or a failed read.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>

namespace cv {

constexpr uint32_t kChunkHeaderSize = 8;
constexpr uint32_t kListTypeSize = 4;

// Chunk data in one zero-filled global-memory block; the receiver frees `data`
// with cvplat::GlobalFreeBlock.
struct ChunkBlob {
  uint32_t size;
  void* data;
};

// The data size rounded up to the chunk alignment of 2.
constexpr uint64_t PaddedSize(uint32_t size) { return static_cast<uint64_t>(size) + (size & 1u); }

// Reads an 8-byte chunk header; a failed or short read gives CVERR_FILE_READ.
[[nodiscard]] HRESULT ReadChunkHeader(HANDLE file, uint32_t* id, uint32_t* size);
// Reads "RIFF", its size and the form type from the current position (normally 0).
// *bodySize receives size - 4 (the bytes of the chunks after the form type) before
// the id is tested. Not "RIFF" (a file shorter than 8 bytes included):
// CVERR_NO_RIFF_HEADER; a short form type: CVERR_FILE_READ.
[[nodiscard]] HRESULT ReadRiffHeader(HANDLE file, uint32_t* bodySize, uint32_t* formType);

// Searches forward from the current position for a chunk with `id`; on a match
// the position is at its first data byte, *size holds its data size and
// *remaining counts from there (the matched chunk's data included). Fewer than 8
// bytes remaining: CVERR_NOT_FOUND with the count stored back (it may have gone
// negative after an odd last chunk).
[[nodiscard]] HRESULT FindChunk(HANDLE file, uint32_t id, uint32_t* size, int32_t* remaining);
// Seeks to 0, reads the RIFF header and searches the top level. *remaining
// receives the final count on success and on a failed search.
[[nodiscard]] HRESULT FindChunkFromStart(HANDLE file, uint32_t id, uint32_t* size, int32_t* remaining);
// Searches the "LIST" chunk of a list type; on a match *size holds the size of its
// sub-chunks (data size - 4) and the position is after the list type.
[[nodiscard]] HRESULT FindList(HANDLE file, uint32_t listType, uint32_t* size, int32_t* remaining);
[[nodiscard]] HRESULT FindListFromStart(HANDLE file, uint32_t listType, uint32_t* size);

// Counts the chunks from the current position until fewer than 8 bytes remain
// (without a count: until the end of the file). The position is restored in every
// outcome and *remaining is left unchanged.
[[nodiscard]] HRESULT CountChunks(HANDLE file, uint32_t* count, const int32_t* remaining);
// Skips n whole chunks; running out of remaining bytes first gives CVERR_NOT_FOUND.
[[nodiscard]] HRESULT SkipChunks(HANDLE file, uint32_t n, int32_t* remaining);
// Moves forward over size bytes of data and the pad byte; returns the distance.
int32_t SkipChunk(HANDLE file, uint32_t size);

// 32-bit positions from the start of the file.
// A failed query or seek gives the system error's result code.
[[nodiscard]] HRESULT GetFilePos(HANDLE file, uint32_t* pos);
[[nodiscard]] HRESULT SetFilePos(HANDLE file, uint32_t pos);

// False when the file holds fewer than size bytes after the current position:
// a size from a damaged header, whose read can only come up short. True when
// the size or position cannot be learnt.
bool FitsInFile(HANDLE file, uint32_t size);

// Reads exactly size bytes of chunk data, then skips the pad byte of an odd size.
[[nodiscard]] HRESULT ReadChunkData(HANDLE file, void* buffer, uint32_t size);
// Allocates blob->size bytes of global memory and reads the chunk data into them;
// on failure the block is freed and blob->data cleared. A size of 0 gives success
// with a null pointer.
[[nodiscard]] HRESULT ReadChunkAlloc(HANDLE file, ChunkBlob* blob);
// Reads min(bufferSize, chunkSize) bytes of chunk data; the position is left after
// them (callers restore it).
[[nodiscard]] HRESULT ReadChunkPrefix(HANDLE file, void* buffer, uint32_t bufferSize, uint32_t chunkSize);

// Writers: a failed write gives CVERR_FILE_WRITE.
[[nodiscard]] HRESULT WriteChunkHeader(HANDLE file, uint32_t id, uint32_t size);
// Header, data and a 0 pad byte for an odd size; *total receives padded size + 8.
[[nodiscard]] HRESULT WriteChunk(HANDLE file, uint32_t id, const void* data, uint32_t size, uint32_t* total);
// "LIST", size (which already counts the 4-byte type) and the list type.
[[nodiscard]] HRESULT WriteListHeader(HANDLE file, uint32_t listType, uint32_t size);
[[nodiscard]] HRESULT WriteRiffHeader(HANDLE file, uint32_t formType, uint32_t size);

// Patch the RIFF size at offset 4; the position is restored in every outcome.
[[nodiscard]] HRESULT SetRiffSize(HANDLE file, uint32_t size);
[[nodiscard]] HRESULT AddRiffSize(HANDLE file, int32_t delta);

// Removes a top-level chunk (with isList, the "LIST" whose type is `id`): the rest
// of the file moves down over it, the file is truncated and the RIFF size lowered.
// *removed receives the bytes removed (padded data + 8, + 4 for a list).
[[nodiscard]] HRESULT RemoveChunk(HANDLE file, uint32_t id, bool isList, uint32_t* removed);

// Negative: CVERR_BAD_CHUNK_LENGTH; 0: CVERR_ZERO_CHUNK_LENGTH; else 0.
[[nodiscard]] HRESULT CheckChunkLength(int32_t length);

}  // namespace cv
