// Loop information: the "acid" block and the "strc" chunk with its loop records.
#include "krn/metadata_detail.h"

#include "krn/platform/memory.h"
#include "krn/riff.h"

#include <cstring>

namespace cv {

using namespace metadata_detail;

namespace {
constexpr uint32_t kJunkId = 0x4B4E554A;  // "JUNK"

void StoreLoadU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

[[nodiscard]] HRESULT WriteAt(HANDLE file, uint32_t pos, const void* data, uint32_t size) {
  if (Failed(SetFilePos(file, pos))) return CVERR_FILE_WRITE;
  DWORD put = 0;
  if (!cvplat::WriteFileBytes(file, data, size, &put)) return CVERR_FILE_WRITE;
  return kS_OK;
}

// Finds a top-level chunk; *dataPos receives the position of its data.
bool FindTopLevel(HANDLE file, uint32_t id, uint32_t* size, uint32_t* dataPos) {
  int32_t remaining = 0;
  if (Failed(FindChunkFromStart(file, id, size, &remaining))) return false;
  return Succeeded(GetFilePos(file, dataPos));
}

// Rewrites a chunk's data in place when `fits` says the old chunk can take it;
// otherwise renames the old chunk "JUNK" and appends a new chunk at the end.
[[nodiscard]] HRESULT ReplaceChunk(HANDLE file, uint32_t id, const Bytes& data, bool (*fits)(uint32_t oldSize, uint32_t newSize)) {
  uint32_t oldSize = 0, dataPos = 0;
  uint32_t newSize = static_cast<uint32_t>(data.size());
  if (FindTopLevel(file, id, &oldSize, &dataPos)) {
    if (fits(oldSize, newSize)) return WriteAt(file, dataPos, data.data(), newSize);
    uint8_t junk[4];
    StoreLoadU32(junk, kJunkId);
    HRESULT hr = WriteAt(file, dataPos - kChunkHeaderSize, junk, 4);
    if (Failed(hr)) return hr;
  }
  Bytes chunk;
  PutChunk(chunk, id, data.data(), newSize);
  return AppendAtRiffEnd(file, chunk);
}

bool AcidFits(uint32_t oldSize, uint32_t newSize) { return oldSize == newSize; }
bool StrcFits(uint32_t oldSize, uint32_t newSize) { return oldSize >= newSize; }
}  // namespace

[[nodiscard]] HRESULT ReadLoopInfo(HANDLE file, LoopInfo& loop) {
  uint32_t size = 0, dataPos = 0;
  if (FindTopLevel(file, FourCC("acid"), &size, &dataPos)) {
    std::memset(loop.acid, 0, sizeof loop.acid);
    HRESULT hr = ReadChunkPrefix(file, loop.acid, sizeof loop.acid, size);
    if (Succeeded(hr)) hr = SetFilePos(file, dataPos);
    if (Failed(hr)) return hr;
    loop.acidPresent = true;
  }
  if (!FindTopLevel(file, FourCC("strc"), &size, &dataPos)) return kS_OK;
  if (size < kStrcHeaderSize) return CVERR_FILE_READ;
  HRESULT hr = ReadChunkPrefix(file, loop.strcHeader, sizeof loop.strcHeader, size);
  if (Failed(hr)) return hr;
  uint32_t headerSize = LoadU32(loop.strcHeader);
  uint32_t count = LoadU32(loop.strcHeader + 4);
  if (headerSize > kStrcHeaderSize) {
    if (headerSize > size) return CVERR_FILE_READ;
    hr = SetFilePos(file, dataPos + headerSize);
    if (Failed(hr)) return hr;
  } else {
    headerSize = kStrcHeaderSize;
  }
  // A count larger than the chunk holds would read the following chunks.
  uint32_t fits = (size - headerSize) / kLoopRecordSize;
  if (count > fits) return CVERR_FILE_READ;
  loop.loops.Clear();
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t record[kLoopRecordSize];
    hr = ReadChunkPrefix(file, record, sizeof record, sizeof record);
    if (Failed(hr)) return hr;
    hr = loop.loops.Append(record, sizeof record);
    if (Failed(hr)) return hr;
  }
  loop.strcPresent = true;
  return kS_OK;
}

namespace metadata_detail {

// The "strc" data: the source's header with its size and count fields set to
// what is written, then the records of the loop stream.
[[nodiscard]] HRESULT BuildStrc(const uint8_t* header, IStream* loops, Bytes& out) {
  uint32_t count = 0;
  if (loops && Failed(ReadStreamHeader(loops, &count))) count = 0;
  out.assign(header, header + kStrcHeaderSize);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t record[kLoopRecordSize];
    HRESULT hr = ReadStreamBytes(loops, record, sizeof record);
    if (Failed(hr)) return hr;
    out.insert(out.end(), record, record + sizeof record);
  }
  StoreLoadU32(out.data(), static_cast<uint32_t>(kStrcHeaderSize));
  StoreLoadU32(out.data() + 4, count);
  return kS_OK;
}

[[nodiscard]] HRESULT WriteLoopChunks(HANDLE file, ICvLoopInfo* loopInfo) {
  uint8_t acid[kAcidBlockSize] = {};
  if (loopInfo->GetAcid(acid) == kS_OK) {
    Bytes data(acid, acid + sizeof acid);
    HRESULT hr = ReplaceChunk(file, FourCC("acid"), data, AcidFits);
    if (Failed(hr)) return hr;
  }
  uint8_t header[kStrcHeaderSize] = {};
  if (loopInfo->GetStrcHeader(header) != kS_OK) return kS_OK;
  ComPtr<IStream> loops;
  if (Failed(loopInfo->GetLoopStream(loops.Put()))) return kS_OK;
  Bytes strc;
  HRESULT hr = BuildStrc(header, loops.Get(), strc);
  if (Failed(hr)) return hr;
  return ReplaceChunk(file, FourCC("strc"), strc, StrcFits);
}

}  // namespace metadata_detail
}  // namespace cv
