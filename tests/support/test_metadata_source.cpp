#include "tests/support/test_metadata_source.h"

#include "krn/record_list.h"
#include "krn/results.h"

#include <cstring>

namespace cvtest {

namespace {
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutBytes(std::vector<uint8_t>& out, const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  out.insert(out.end(), b, b + n);
}
void PutText(std::vector<uint8_t>& out, const std::u16string& text) {
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}
std::vector<uint8_t> StreamHeader(size_t count) {
  std::vector<uint8_t> out;
  Put32(out, 12);
  Put32(out, 100);
  Put32(out, static_cast<uint32_t>(count));
  return out;
}
}  // namespace

HRESULT ByteStream::QueryInterface(REFIID iid, void** out) {
  if (iid == cv::kIID_IUnknown || iid == cv::kIID_IStream) {
    *out = this;
    AddRef();
    return cv::kS_OK;
  }
  *out = nullptr;
  return cv::kE_NOINTERFACE;
}

HRESULT ByteStream::Read(void* buffer, ULONG count, ULONG* read) {
  size_t n = bytes_.size() - pos_;
  if (n > count) n = count;
  if (n) std::memcpy(buffer, bytes_.data() + pos_, n);
  pos_ += n;
  if (read) *read = static_cast<ULONG>(n);
  return n == count ? cv::kS_OK : cv::kS_FALSE;
}

HRESULT ByteStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? static_cast<int64_t>(pos_)
                                                                          : static_cast<int64_t>(bytes_.size());
  int64_t target = base + move.QuadPart;
  if (target < 0) return cv::kE_INVALIDARG;
  pos_ = static_cast<size_t>(target) > bytes_.size() ? bytes_.size() : static_cast<size_t>(target);
  if (newPosition) newPosition->QuadPart = pos_;
  return cv::kS_OK;
}

HRESULT ByteStream::Write(const void*, ULONG, ULONG*) { return cv::kE_NOTIMPL; }
HRESULT ByteStream::SetSize(ULARGE_INTEGER) { return cv::kE_NOTIMPL; }
HRESULT ByteStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) { return cv::kE_NOTIMPL; }
HRESULT ByteStream::Commit(DWORD) { return cv::kE_NOTIMPL; }
HRESULT ByteStream::Revert() { return cv::kE_NOTIMPL; }
HRESULT ByteStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return cv::kE_NOTIMPL; }
HRESULT ByteStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return cv::kE_NOTIMPL; }
HRESULT ByteStream::Stat(STATSTG*, DWORD) { return cv::kE_NOTIMPL; }
HRESULT ByteStream::Clone(IStream**) { return cv::kE_NOTIMPL; }

std::vector<uint8_t> MarkerStreamBytes(const std::vector<TestMarker>& markers) {
  std::vector<uint8_t> out = StreamHeader(markers.size());
  for (const TestMarker& m : markers) {
    cv::MarkerRecordHeader h{};
    h.headerSize = 28;
    h.position = m.position;
    h.length = m.length;
    h.isRegion = m.isRegion ? 1 : 0;
    h.nameSize = m.noName ? 0 : static_cast<uint32_t>((m.name.size() + 1) * 2);
    PutBytes(out, &h, sizeof h);
    if (!m.noName) PutText(out, m.name);
  }
  return out;
}

std::vector<uint8_t> InfoStreamBytes(const std::vector<std::pair<uint32_t, std::u16string>>& fields) {
  std::vector<uint8_t> out = StreamHeader(fields.size());
  for (const auto& f : fields) {
    cv::InfoRecordHeader h{12, f.first, static_cast<uint32_t>((f.second.size() + 1) * 2)};
    PutBytes(out, &h, sizeof h);
    PutText(out, f.second);
  }
  return out;
}

std::vector<uint8_t> LoopStreamBytes(const std::vector<std::vector<uint8_t>>& records) {
  std::vector<uint8_t> out = StreamHeader(records.size());
  for (const auto& r : records) PutBytes(out, r.data(), r.size());
  return out;
}

HRESULT TestMetadataSource::QueryInterface(REFIID iid, void** out) {
  if (iid == cv::kIID_IUnknown || iid == cv::kIID_ICvMetadataSource) {
    *out = static_cast<cv::ICvMetadataSource*>(this);
    return cv::kS_OK;
  }
  if (iid == cv::kIID_ICvLoopInfo && hasLoopInfo) {
    *out = static_cast<cv::ICvLoopInfo*>(this);
    return cv::kS_OK;
  }
  *out = nullptr;
  return cv::kE_NOINTERFACE;
}

HRESULT TestMetadataSource::Hand(bool present, const std::vector<uint8_t>& bytes, IStream** out) {
  *out = nullptr;
  if (!present) return cv::CVERR_NOT_FOUND;
  streams_.emplace_back(bytes);  // kept for the life of the source
  *out = &streams_.back();
  return cv::kS_OK;
}

HRESULT TestMetadataSource::GetMarkerStream(IStream** s) { return Hand(hasMarkers, markerBytes, s); }
HRESULT TestMetadataSource::GetSecondRecordStream(IStream** s) { return Hand(false, {}, s); }
HRESULT TestMetadataSource::GetThirdRecordStream(IStream** s) { return Hand(false, {}, s); }
HRESULT TestMetadataSource::GetInfoStream(IStream** s) { return Hand(hasInfo, infoBytes, s); }
HRESULT TestMetadataSource::GetLoopStream(IStream** s) { return Hand(hasStrc, loopBytes, s); }

HRESULT TestMetadataSource::GetInfoText(uint32_t, wchar16* buffer, uint32_t length) {
  if (buffer && length) buffer[0] = 0;
  return cv::CVERR_NOT_FOUND;
}

HRESULT TestMetadataSource::GetAcid(void* out) {
  if (!hasAcid) return cv::kS_FALSE;
  std::memcpy(out, acid, sizeof acid);
  return cv::kS_OK;
}

HRESULT TestMetadataSource::GetStrcHeader(void* out) {
  if (!hasStrc) return cv::kS_FALSE;
  std::memcpy(out, strcHeader, sizeof strcHeader);
  return cv::kS_OK;
}

}  // namespace cvtest
