#include "tools/qla/metadata_dump.h"

#include "ffplugs/cvla/qla_format.h"
#include "krn/platform/codepage.h"
#include "krn/record_list.h"
#include "krn/results.h"

#include <cstring>
#include <vector>

namespace qlatool {
namespace {

// All bytes of a record stream (header included).
std::vector<uint8_t> Drain(IStream* stream) {
  std::vector<uint8_t> bytes;
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  uint8_t buffer[4096];
  for (;;) {
    ULONG got = 0;
    HRESULT hr = stream->Read(buffer, sizeof buffer, &got);
    bytes.insert(bytes.end(), buffer, buffer + got);
    if (hr != cv::kS_OK || got < sizeof buffer) break;
  }
  return bytes;
}

std::string Utf8(const uint8_t* text, size_t bytes) {
  cvplat::WideString wide;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    wchar16 c = static_cast<wchar16>(text[i] | (text[i + 1] << 8));
    if (c == 0) break;
    wide.push_back(c);
  }
  return cvplat::WideToUtf8(wide);
}

}  // namespace

HRESULT ReadMetadata(cv::ICvMetadataSource* source, uint32_t sampleRate, FileMetadata* out) {
  (void)sampleRate;
  IStream* stream = nullptr;
  if (cv::Succeeded(source->GetMarkerStream(&stream)) && stream) {
    std::vector<uint8_t> bytes = Drain(stream);
    stream->Release();
    for (size_t pos = 12; pos + sizeof(cv::MarkerRecordHeader) <= bytes.size();) {
      cv::MarkerRecordHeader h;
      std::memcpy(&h, bytes.data() + pos, sizeof h);
      if (h.headerSize < sizeof h || pos + h.headerSize + h.nameSize > bytes.size()) break;
      MarkerFacts m;
      m.start = h.position / 1e7;
      m.length = h.length / 1e7;
      m.region = h.isRegion != 0;
      m.name = Utf8(bytes.data() + pos + h.headerSize, h.nameSize);
      out->markers.push_back(m);
      pos += h.headerSize + h.nameSize;
    }
  }
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
