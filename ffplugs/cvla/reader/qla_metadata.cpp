#include "ffplugs/cvla/reader/qla_metadata.h"

#include "ffplugs/cvla/reader/qla_reader.h"
#include "krn/platform/codepage.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

#include <string>

namespace cvla {

namespace {
constexpr uint32_t kDefaultSampleRate = 44100;
}  // namespace

void* QlaMetadata::FindInterface(REFIID iid) {
  if (iid == cv::kIID_ICvMetadataSource || iid == cv::kIID_IUnknown) return static_cast<cv::ICvMetadataSource*>(this);
  if (iid == cv::kIID_ICvLoopInfo) return static_cast<cv::ICvLoopInfo*>(&loopPart_);
  return nullptr;
}

IUnknown* QlaMetadata::Owner() const { return reader_; }

void QlaMetadata::Destroy() {
  lists_.ReleaseStreams();
  cvplat::DeleteZeroed(this);
}

HRESULT QlaMetadata::LoadLists() {
  if (listsLoaded_) return listsResult_;
  std::string name = cvplat::WideToAnsiString(reader_->FileName());
  uint32_t rate = reader_->Format() && reader_->Format()->nSamplesPerSec ? reader_->Format()->nSamplesPerSec
                                                                         : kDefaultSampleRate;
  listsResult_ = cv::LoadFileMetadata(name.c_str(), rate, lists_.markers, lists_.info);
  listsLoaded_ = true;
  return listsResult_;
}

HRESULT QlaMetadata::LoadLoops() {
  if (loopLoaded_) return loopResult_;
  std::string name = cvplat::WideToAnsiString(reader_->FileName());
  loopResult_ = cv::LoadFileLoopInfo(name.c_str(), lists_.loop);
  loopLoaded_ = true;
  return loopResult_;
}

HRESULT QlaMetadata::GetMarkerStream(IStream** stream) {
  if (!stream) return cv::kE_POINTER;
  *stream = nullptr;
  const HRESULT loaded = LoadLists();
  // A file that cannot be opened gives its code unless a stream was made before.
  if (loaded == cv::CVERR_FILE_OPEN && !lists_.MarkerStreamMade()) return loaded;
  return lists_.MarkerStream(stream);
}

HRESULT QlaMetadata::GetSecondRecordStream(IStream** stream) {
  if (stream) *stream = nullptr;
  return cv::kE_NOTIMPL;
}

HRESULT QlaMetadata::GetThirdRecordStream(IStream** stream) {
  if (stream) *stream = nullptr;
  return cv::kE_NOTIMPL;
}

HRESULT QlaMetadata::GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) {
  if (buffer && length) buffer[0] = 0;
  // A file that cannot be read has no fields: the lookup answers for empty lists.
  (void)LoadLists();
  return lists_.InfoText(id, buffer, length);
}

HRESULT QlaMetadata::GetInfoStream(IStream** stream) {
  if (!stream) return cv::kE_POINTER;
  *stream = nullptr;
  const HRESULT loaded = LoadLists();
  if (loaded == cv::CVERR_FILE_OPEN && !lists_.InfoStreamMade()) return loaded;
  return lists_.InfoStream(stream);
}

HRESULT QlaMetadata::GetAcid(void* acid) {
  const HRESULT hr = LoadLoops();
  if (cv::Failed(hr)) return hr;
  return lists_.Acid(acid);
}

HRESULT QlaMetadata::GetStrcHeader(void* header) {
  const HRESULT hr = LoadLoops();
  if (cv::Failed(hr)) return hr;
  return lists_.StrcHeader(header);
}

HRESULT QlaMetadata::GetLoopStream(IStream** stream) {
  if (!stream) return cv::kE_POINTER;
  *stream = nullptr;
  const HRESULT hr = LoadLoops();
  if (cv::Failed(hr)) return hr;
  return lists_.LoopStream(stream);
}

namespace metadata_detail {
HRESULT LoopPart::GetAcid(void* acid) { return owner_->GetAcid(acid); }
HRESULT LoopPart::GetStrcHeader(void* header) { return owner_->GetStrcHeader(header); }
HRESULT LoopPart::GetLoopStream(IStream** stream) { return owner_->GetLoopStream(stream); }
}  // namespace metadata_detail

}  // namespace cvla
