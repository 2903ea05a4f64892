#include "tools/qla/wav_metadata.h"

#include "krn/results.h"

#include <cstring>

namespace qlatool {
namespace {

size_t WholeRecord(const cv::RecordList& list, size_t index) { return list.SizeAt(index); }

void PutU32(std::vector<uint8_t>& bytes, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

HRESULT HandOut(RecordBytesStream& stream, const cv::RecordList& list, IStream** out) {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (list.Count() == 0) return cv::CVERR_NOT_FOUND;
  stream.Assign(list, WholeRecord);
  return stream.QueryInterface(cv::kIID_IStream, reinterpret_cast<void**>(out));
}

}  // namespace

void RecordBytesStream::Assign(const cv::RecordList& list, size_t (*recordSize)(const cv::RecordList&, size_t)) {
  bytes_.clear();
  PutU32(bytes_, 12);
  PutU32(bytes_, 100);
  PutU32(bytes_, static_cast<uint32_t>(list.Count()));
  for (size_t i = 0; i < list.Count(); ++i) {
    const uint8_t* record = list.At(i);
    bytes_.insert(bytes_.end(), record, record + recordSize(list, i));
  }
  position_ = 0;
}

HRESULT RecordBytesStream::QueryInterface(REFIID iid, void** out) {
  if (!out) return cv::kE_POINTER;
  if (iid == cv::kIID_IUnknown || iid == cv::kIID_IStream) {
    *out = static_cast<IStream*>(this);
    AddRef();
    return cv::kS_OK;
  }
  *out = nullptr;
  return cv::kE_NOINTERFACE;
}

HRESULT RecordBytesStream::Read(void* buffer, ULONG count, ULONG* read) {
  if (!buffer) return cv::kE_INVALIDARG;
  size_t n = bytes_.size() - position_;
  if (n > count) n = count;
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  if (read) *read = static_cast<ULONG>(n);
  return n == count ? cv::kS_OK : cv::kS_FALSE;
}

HRESULT RecordBytesStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_END ? static_cast<int64_t>(bytes_.size())
                                                                          : static_cast<int64_t>(position_);
  int64_t target = base + move.QuadPart;
  if (target < 0 || target > static_cast<int64_t>(bytes_.size())) return cv::kStreamPastEnd;
  position_ = static_cast<size_t>(target);
  if (newPosition) newPosition->QuadPart = position_;
  return cv::kS_OK;
}

HRESULT RecordBytesStream::Write(const void*, ULONG, ULONG*) { return cv::kE_NOTIMPL; }
HRESULT RecordBytesStream::SetSize(ULARGE_INTEGER) { return cv::kE_NOTIMPL; }
HRESULT RecordBytesStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return cv::kE_NOTIMPL;
}
HRESULT RecordBytesStream::Commit(DWORD) { return cv::kE_NOTIMPL; }
HRESULT RecordBytesStream::Revert() { return cv::kE_NOTIMPL; }
HRESULT RecordBytesStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return cv::kE_NOTIMPL; }
HRESULT RecordBytesStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return cv::kE_NOTIMPL; }
HRESULT RecordBytesStream::Stat(STATSTG*, DWORD) { return cv::kE_NOTIMPL; }
HRESULT RecordBytesStream::Clone(IStream**) { return cv::kE_NOTIMPL; }

HRESULT WavMetadata::Load(HANDLE file, uint32_t sampleRate) {
  HRESULT hr = cv::ReadMarkers(file, sampleRate, markers_);
  if (cv::Failed(hr)) return hr;
  hr = cv::ReadInfo(file, &info_);
  if (cv::Failed(hr) && hr != cv::CVERR_NOT_FOUND) return hr;
  hr = cv::ReadLoopInfo(file, loop_);
  return cv::Failed(hr) ? hr : cv::kS_OK;
}

HRESULT WavMetadata::QueryInterface(REFIID iid, void** out) {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (iid == cv::kIID_IUnknown || iid == cv::kIID_ICvMetadataSource) {
    *out = static_cast<cv::ICvMetadataSource*>(this);
  } else if (iid == cv::kIID_ICvLoopInfo && HasLoopInfo()) {
    // Only a source that has loop information offers it, so that nothing is
    // written for a file without.
    *out = static_cast<cv::ICvLoopInfo*>(this);
  } else {
    return cv::kE_NOINTERFACE;
  }
  AddRef();
  return cv::kS_OK;
}

HRESULT WavMetadata::GetMarkerStream(IStream** stream) { return HandOut(markerStream_, markers_, stream); }
HRESULT WavMetadata::GetSecondRecordStream(IStream** stream) {
  if (stream) *stream = nullptr;
  return cv::kE_NOTIMPL;
}
HRESULT WavMetadata::GetThirdRecordStream(IStream** stream) {
  if (stream) *stream = nullptr;
  return cv::kE_NOTIMPL;
}
HRESULT WavMetadata::GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) {
  return cv::GetInfoText(info_, id, buffer, length);
}
HRESULT WavMetadata::GetInfoStream(IStream** stream) { return HandOut(infoStream_, info_, stream); }

HRESULT WavMetadata::GetAcid(void* acid) {
  if (!loop_.acidPresent) return cv::kS_FALSE;
  std::memcpy(acid, loop_.acid, sizeof loop_.acid);
  return cv::kS_OK;
}
HRESULT WavMetadata::GetStrcHeader(void* header) {
  if (!loop_.strcPresent) return cv::kS_FALSE;
  std::memcpy(header, loop_.strcHeader, sizeof loop_.strcHeader);
  return cv::kS_OK;
}
HRESULT WavMetadata::GetLoopStream(IStream** stream) {
  if (!stream) return cv::kE_POINTER;
  *stream = nullptr;
  if (!loop_.strcPresent) return cv::kS_FALSE;
  loopStream_.Assign(loop_.loops, WholeRecord);
  return loopStream_.QueryInterface(cv::kIID_IStream, reinterpret_cast<void**>(stream));
}

}  // namespace qlatool
