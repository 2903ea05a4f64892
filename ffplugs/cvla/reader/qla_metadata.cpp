#include "ffplugs/cvla/reader/qla_metadata.h"

#include "ffplugs/cvla/reader/qla_reader.h"
#include "krn/com_guard.h"
#include "krn/memory_stream.h"
#include "krn/platform/codepage.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

#include <cstring>
#include <string>

namespace cvla {

namespace {
constexpr uint32_t kDefaultSampleRate = 44100;
}  // namespace

HRESULT QlaMetadata::QueryInterface(REFIID iid, void** out) {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (iid == cv::kIID_ICvMetadataSource || iid == cv::kIID_IUnknown)
    *out = static_cast<cv::ICvMetadataSource*>(this);
  else if (iid == cv::kIID_ICvLoopInfo)
    *out = static_cast<cv::ICvLoopInfo*>(&loopPart_);
  else
    return cv::kE_NOINTERFACE;
  AddRef();
  return cv::kS_OK;
}

ULONG QlaMetadata::AddRef() {
  reader_->AddRef();
  return static_cast<ULONG>(++references_);
}

ULONG QlaMetadata::Release() {
  // Not freed at 0: the reader destroys it with itself, maybe inside this call.
  LONG count = --references_;
  reader_->Release();
  return static_cast<ULONG>(count);
}

void QlaMetadata::Destroy() {
  for (IStream** stream : {&markerStream_, &infoStream_, &loopStream_}) {
    if (*stream) (*stream)->Release();
    *stream = nullptr;
  }
  cvplat::DeleteZeroed(this);
}

HRESULT QlaMetadata::LoadLists() {
  if (listsLoaded_) return listsResult_;
  std::string name = cvplat::WideToAnsiString(reader_->FileName());
  uint32_t rate = reader_->Format() && reader_->Format()->nSamplesPerSec ? reader_->Format()->nSamplesPerSec
                                                                         : kDefaultSampleRate;
  listsResult_ = cv::LoadFileMetadata(name.c_str(), rate, markers_, info_);
  listsLoaded_ = true;
  return listsResult_;
}

HRESULT QlaMetadata::LoadLoops() {
  if (loopLoaded_) return loopResult_;
  std::string name = cvplat::WideToAnsiString(reader_->FileName());
  loopResult_ = cv::LoadFileLoopInfo(name.c_str(), loop_);
  loopLoaded_ = true;
  return loopResult_;
}

// The stream over a list is made once and kept; each request hands out a new
// reference to it.
HRESULT QlaMetadata::HandOut(cv::MemoryStreamKind kind, const cv::RecordList* list, IStream** kept, IStream** out) {
  if (!*kept) {
    HRESULT hr = cv::CreateMemoryStream(kind, list, kept);
    if (cv::Failed(hr)) return hr;
  }
  return (*kept)->QueryInterface(cv::kIID_IStream, reinterpret_cast<void**>(out));
}

HRESULT QlaMetadata::GetMarkerStream(IStream** stream) try {
  if (!stream) return cv::kE_POINTER;
  *stream = nullptr;
  HRESULT loaded = LoadLists();
  // A file that cannot be opened gives its code unless a stream was made before.
  if (loaded == cv::CVERR_FILE_OPEN && !markerStream_) return loaded;
  return HandOut(cv::MemoryStreamKind::kMarker, &markers_, &markerStream_, stream);
} CV_COM_CATCH_RETURN()

HRESULT QlaMetadata::GetSecondRecordStream(IStream** stream) try {
  if (stream) *stream = nullptr;
  return cv::kE_NOTIMPL;
} CV_COM_CATCH_RETURN()

HRESULT QlaMetadata::GetThirdRecordStream(IStream** stream) try {
  if (stream) *stream = nullptr;
  return cv::kE_NOTIMPL;
} CV_COM_CATCH_RETURN()

HRESULT QlaMetadata::GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) try {
  if (buffer && length) buffer[0] = 0;
  LoadLists();
  return cv::GetInfoText(info_, id, buffer, length);
} CV_COM_CATCH_RETURN()

HRESULT QlaMetadata::GetInfoStream(IStream** stream) try {
  if (!stream) return cv::kE_POINTER;
  *stream = nullptr;
  HRESULT loaded = LoadLists();
  if (loaded == cv::CVERR_FILE_OPEN && !infoStream_) return loaded;
  return HandOut(cv::MemoryStreamKind::kInfo, &info_, &infoStream_, stream);
} CV_COM_CATCH_RETURN()

HRESULT QlaMetadata::GetAcid(void* acid) {
  HRESULT hr = LoadLoops();
  if (cv::Failed(hr)) return hr;
  if (!loop_.acidPresent) return cv::kS_FALSE;
  if (acid) std::memcpy(acid, loop_.acid, cv::kAcidBlockSize);
  return cv::kS_OK;
}

HRESULT QlaMetadata::GetStrcHeader(void* header) {
  HRESULT hr = LoadLoops();
  if (cv::Failed(hr)) return hr;
  if (!loop_.strcPresent) return cv::kS_FALSE;
  if (header) std::memcpy(header, loop_.strcHeader, cv::kStrcHeaderSize);
  return cv::kS_OK;
}

HRESULT QlaMetadata::GetLoopStream(IStream** stream) {
  if (!stream) return cv::kE_POINTER;
  *stream = nullptr;
  HRESULT hr = LoadLoops();
  if (cv::Failed(hr)) return hr;
  if (!loop_.strcPresent) return cv::kS_FALSE;
  return HandOut(cv::MemoryStreamKind::kLoop, &loop_.loops, &loopStream_, stream);
}

namespace metadata_detail {
HRESULT LoopPart::QueryInterface(REFIID iid, void** out) { return owner_->QueryInterface(iid, out); }
ULONG LoopPart::AddRef() { return owner_->AddRef(); }
ULONG LoopPart::Release() { return owner_->Release(); }
HRESULT LoopPart::GetAcid(void* acid) { return owner_->GetAcid(acid); }
HRESULT LoopPart::GetStrcHeader(void* header) { return owner_->GetStrcHeader(header); }
HRESULT LoopPart::GetLoopStream(IStream** stream) { return owner_->GetLoopStream(stream); }
}  // namespace metadata_detail

}  // namespace cvla
