// Shared pieces of the metadata code: byte builders, time conversion, record
// stream reading and appending at the end of a RIFF body.
#include "krn/metadata_detail.h"
#include "krn/messages.h"

#include "krn/platform/memory.h"
#include "krn/riff.h"

#include <cstring>

namespace cv {
namespace metadata_detail {

[[nodiscard]] HRESULT OpenFailure(DWORD win32Error) { return ResultFromWin32Error(win32Error); }

void PutU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutChunk(Bytes& out, uint32_t id, const void* data, uint32_t size) {
  PutU32(out, id);
  PutU32(out, size);
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + size);
  if (size & 1u) out.push_back(0);
}

int64_t SamplesToTime(uint32_t samples, uint32_t sampleRate) {
  if (sampleRate == 0) return 0;
  return static_cast<int64_t>(static_cast<double>(samples) / static_cast<double>(sampleRate) * 10000000.0 + 0.5);
}

uint32_t TimeToSamples(int64_t time, uint32_t sampleRate) {
  double samples = static_cast<double>(time) * 0.0000001 * static_cast<double>(sampleRate) + 0.5;
  // Out-of-range values (negative times, corrupt records) are clamped instead
  // of converting with undefined behaviour.
  if (!(samples >= 0.0)) return 0;
  if (samples >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(samples);
}

cvplat::WideString WideTextOf(const uint8_t* text, size_t bytes) {
  cvplat::WideString out;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    auto unit = static_cast<wchar16>(text[i] | (text[i + 1] << 8));
    if (unit == 0) break;
    out.push_back(unit);
  }
  return out;
}

[[nodiscard]] HRESULT ReadStreamBytes(IStream* stream, void* buffer, uint32_t count) {
  if (count == 0) return kS_OK;
  ULONG got = 0;
  stream->Read(buffer, count, &got);
  // A stream answers E_FAIL together with the bytes when a read ends exactly at
  // its last record; the count decides.
  return got == count ? kS_OK : CVERR_FILE_READ;
}

[[nodiscard]] HRESULT ReadStreamHeader(IStream* stream, uint32_t* count) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  HRESULT hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (Failed(hr)) return hr;
  uint8_t header[kRecordStreamHeaderSize];
  hr = ReadStreamBytes(stream, header, sizeof header);
  if (Failed(hr)) return hr;
  *count = LoadU32(header + 8);
  return kS_OK;
}

namespace {
// Reads `size` bytes of a record's text into a UTF-16 string.
[[nodiscard]] HRESULT ReadStreamText(IStream* stream, uint32_t size, cvplat::WideString& text) {
  if (size == 0) return kS_OK;
  cvplat::GlobalBlock block(size);
  if (!block) return kE_OUTOFMEMORY;
  HRESULT hr = ReadStreamBytes(stream, block.Get(), size);
  if (Failed(hr)) return hr;
  text = WideTextOf(block.As<uint8_t>(), size);
  return kS_OK;
}

// Reads a record's fixed header. A larger stated header carries fields this
// code does not know: they are skipped.
template <class Header>
HRESULT ReadRecordHeader(IStream* stream, Header* header) {
  const HRESULT hr = ReadStreamBytes(stream, header, sizeof *header);
  if (Failed(hr) || header->headerSize <= sizeof *header) return hr;
  cvplat::WideString ignored;
  return ReadStreamText(stream, header->headerSize - sizeof *header, ignored);
}
}  // namespace

[[nodiscard]] HRESULT ReadMarkerStream(IStream* stream, std::vector<MarkerEntry>& markers) {
  uint32_t count = 0;
  HRESULT hr = ReadStreamHeader(stream, &count);
  if (Failed(hr)) return hr;
  for (uint32_t i = 0; i < count; ++i) {
    MarkerEntry entry{};
    hr = ReadRecordHeader(stream, &entry.header);
    if (Failed(hr)) return hr;
    hr = ReadStreamText(stream, entry.header.nameSize, entry.name);
    if (Failed(hr)) return hr;
    markers.push_back(std::move(entry));
  }
  return kS_OK;
}

[[nodiscard]] HRESULT ReadInfoStream(IStream* stream, std::vector<InfoEntry>& fields) {
  uint32_t count = 0;
  HRESULT hr = ReadStreamHeader(stream, &count);
  if (Failed(hr)) return hr;
  for (uint32_t i = 0; i < count; ++i) {
    InfoRecordHeader header{};
    hr = ReadRecordHeader(stream, &header);
    if (Failed(hr)) return hr;
    InfoEntry entry{header.id, {}};
    hr = ReadStreamText(stream, header.textSize, entry.text);
    if (Failed(hr)) return hr;
    fields.push_back(std::move(entry));
  }
  return kS_OK;
}

[[nodiscard]] HRESULT AppendAtRiffEnd(HANDLE file, const Bytes& bytes) {
  if (bytes.empty()) return kS_OK;
  uint8_t sizeField[4];
  DWORD got = 0;
  if (Failed(SetFilePos(file, 4)) || !cvplat::ReadFileBytes(file, sizeField, 4, &got) || got != 4)
    return CVERR_FILE_READ;
  uint32_t riffSize = LoadU32(sizeField);
  uint32_t grow = static_cast<uint32_t>(bytes.size());
  if (Failed(SetFilePos(file, riffSize + 8))) return CVERR_FILE_WRITE;
  DWORD put = 0;
  if (riffSize & 1u) {
    const uint8_t pad = 0;
    if (!cvplat::WriteFileBytes(file, &pad, 1, &put)) return CVERR_FILE_WRITE;
    ++grow;
  }
  if (!cvplat::WriteFileBytes(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put)) return CVERR_FILE_WRITE;
  return AddRiffSize(file, static_cast<int32_t>(grow));
}

}  // namespace metadata_detail
}  // namespace cv
