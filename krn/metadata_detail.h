// Internal helpers shared by the metadata readers and writers.
#pragma once

#include "krn/com_ptr.h"
#include "krn/little_endian.h"
#include "krn/metadata_io.h"
#include "krn/platform/codepage.h"
#include "krn/platform/file.h"
#include "krn/results.h"

#include <cstdint>
#include <vector>

namespace cv {
namespace metadata_detail {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kRecordStreamHeaderSize = 12;
constexpr uint32_t kMaxLabelBytes = 1024;
constexpr uint32_t kMaxSidecarNameBytes = 260;

// The result code for a failed file open, from the Win32 error number.
[[nodiscard]] HRESULT OpenFailure(DWORD win32Error);

void PutU32(Bytes& out, uint32_t v);
void PutU16(Bytes& out, uint16_t v);
// A sub-chunk into a byte buffer: header, data, pad byte for an odd size.
void PutChunk(Bytes& out, uint32_t id, const void* data, uint32_t size);

// Sample frames <-> 100 ns units, rounded half up.
int64_t SamplesToTime(uint32_t samples, uint32_t sampleRate);
uint32_t TimeToSamples(int64_t time, uint32_t sampleRate);

// A UTF-16 text of at most `bytes` bytes, cut at its first zero.
cvplat::WideString WideTextOf(const uint8_t* text, size_t bytes);

// Reads exactly count bytes from a record stream.
[[nodiscard]] HRESULT ReadStreamBytes(IStream* stream, void* buffer, uint32_t count);
// Seeks a record stream to its start and reads its header; *count receives the
// number of records.
[[nodiscard]] HRESULT ReadStreamHeader(IStream* stream, uint32_t* count);

struct MarkerEntry {
  MarkerRecordHeader header;
  cvplat::WideString name;
};
struct InfoEntry {
  uint32_t id;
  cvplat::WideString text;
};
[[nodiscard]] HRESULT ReadMarkerStream(IStream* stream, std::vector<MarkerEntry>& markers);
[[nodiscard]] HRESULT ReadInfoStream(IStream* stream, std::vector<InfoEntry>& fields);

// Writes bytes at the end of the RIFF body (RIFF size + 8) and grows the RIFF
// size by their length. An odd RIFF size (a last chunk without its pad byte) is
// first evened with a pad byte, so that the new chunks stay aligned.
[[nodiscard]] HRESULT AppendAtRiffEnd(HANDLE file, const Bytes& bytes);

// Builders of the chunks that the writers append.
[[nodiscard]] HRESULT BuildMarkerChunks(const std::vector<MarkerEntry>& markers, uint32_t sampleRate, Bytes& out);
[[nodiscard]] HRESULT BuildInfoList(const std::vector<InfoEntry>& fields, Bytes& out);
// A "CVPI" chunk naming the audio file.
Bytes BuildSidecarNameChunk(const std::string& audioFileName);

// Appends the markers / INFO of the source to an open file (nothing when the
// source offers no such stream or it has no records).
[[nodiscard]] HRESULT AppendMarkersFrom(HANDLE file, uint32_t sampleRate, ICvMetadataSource* source);
[[nodiscard]] HRESULT AppendInfoFrom(HANDLE file, ICvMetadataSource* source);
// The "strc" data: the source's header with its size and count fields set to
// what is written, then the records of the loop stream.
[[nodiscard]] HRESULT BuildStrc(const uint8_t* header, IStream* loops, Bytes& out);
// Writes "acid" and "strc" from the loop information into an open RIFF file.
[[nodiscard]] HRESULT WriteLoopChunks(HANDLE file, ICvLoopInfo* loopInfo);

}  // namespace metadata_detail
}  // namespace cv
