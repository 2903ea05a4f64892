#include "tools/qla/metadata_dump.h"

#include "ffplugs/cvla/qla_format.h"
#include "krn/metadata_detail.h"
#include "krn/platform/codepage.h"
#include "krn/record_list.h"
#include "krn/results.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace qlatool {
namespace {

// All bytes of a record stream (header included).
std::vector<uint8_t> Drain(IStream* stream) {
  std::vector<uint8_t> bytes;
  LARGE_INTEGER zero{};
  if (cv::Failed(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) return bytes;
  uint8_t buffer[4096];
  for (;;) {
    ULONG got = 0;
    HRESULT hr = stream->Read(buffer, sizeof buffer, &got);
    bytes.insert(bytes.end(), buffer, buffer + got);
    if (hr != cv::kS_OK || got < sizeof buffer) break;
  }
  return bytes;
}

// True for bytes that form valid UTF-8 with at least one multi-byte sequence.
bool IsMultibyteUtf8(const std::string& bytes) {
  bool multibyte = false;
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t c = static_cast<uint8_t>(bytes[i]);
    const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > bytes.size() || (length == 2 && c < 0xC2)) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<uint8_t>(bytes[i + k]) & 0xC0) != 0x80) return false;
    multibyte |= length > 1;
    i += length;
  }
  return multibyte;
}

// The text of a record. Texts are read from the file in the ANSI code page;
// bytes that were UTF-8 all along are shown as such.
std::string Utf8(const uint8_t* text, size_t bytes) {
  const cvplat::WideString wide = cv::metadata_detail::WideTextOf(text, bytes);
  const std::string original = cvplat::WideToAnsiString(wide);
  return IsMultibyteUtf8(original) ? original : cvplat::WideToUtf8(wide);
}

uint64_t Frames(int64_t time, uint32_t sampleRate) {
  return time <= 0 ? 0 : static_cast<uint64_t>(std::llround(static_cast<double>(time) * sampleRate / 1e7));
}

}  // namespace

[[nodiscard]] HRESULT ReadMetadata(cv::ICvMetadataSource* source, uint32_t sampleRate, FileMetadata* out) {
  IStream* stream = nullptr;
  if (cv::Succeeded(source->GetMarkerStream(&stream)) && stream) {
    std::vector<uint8_t> bytes = Drain(stream);
    stream->Release();
    for (size_t pos = 12; pos + sizeof(cv::MarkerRecordHeader) <= bytes.size();) {
      cv::MarkerRecordHeader h;
      std::memcpy(&h, bytes.data() + pos, sizeof h);
      if (h.headerSize < sizeof h || pos + h.headerSize + h.nameSize > bytes.size()) break;
      MarkerFacts m;
      m.id = static_cast<uint32_t>(out->markers.size() + 1);
      m.startFrame = Frames(h.position, sampleRate);
      m.lengthFrames = Frames(h.length, sampleRate);
      m.region = h.isRegion != 0;
      m.name = Utf8(bytes.data() + pos + h.headerSize, h.nameSize);
      out->markers.push_back(m);
      pos += h.headerSize + h.nameSize;
    }
  }
  std::stable_sort(out->markers.begin(), out->markers.end(),
                   [](const MarkerFacts& a, const MarkerFacts& b) { return a.startFrame < b.startFrame; });
  stream = nullptr;
  if (cv::Succeeded(source->GetInfoStream(&stream)) && stream) {
    std::vector<uint8_t> bytes = Drain(stream);
    stream->Release();
    for (size_t pos = 12; pos + sizeof(cv::InfoRecordHeader) <= bytes.size();) {
      cv::InfoRecordHeader h;
      std::memcpy(&h, bytes.data() + pos, sizeof h);
      if (h.headerSize < sizeof h || pos + h.headerSize + h.textSize > bytes.size()) break;
      std::string id(reinterpret_cast<const char*>(&h.id), 4);
      out->info.emplace_back(id, Utf8(bytes.data() + pos + h.headerSize, h.textSize));
      pos += h.headerSize + h.textSize;
    }
  }
  cv::ICvLoopInfo* loop = nullptr;
  if (cv::Succeeded(source->QueryInterface(cv::kIID_ICvLoopInfo, reinterpret_cast<void**>(&loop))) && loop) {
    uint8_t acid[cv::kAcidBlockSize];
    uint8_t strc[cv::kStrcHeaderSize];
    out->hasAcid = loop->GetAcid(acid) == cv::kS_OK;
    out->hasStrc = loop->GetStrcHeader(strc) == cv::kS_OK;
    if (out->hasStrc) out->loopCount = qla::LoadU32(strc + 4);
    loop->Release();
  }
  return cv::kS_OK;
}

}  // namespace qlatool
