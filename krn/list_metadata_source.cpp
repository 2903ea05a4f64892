#include "krn/list_metadata_source.h"

#include "krn/platform/memory.h"
#include "krn/results.h"

#include <cstring>

namespace cv {

void MetadataLists::ReleaseStreams() {
  for (IStream** stream : {&markerStream_, &infoStream_, &loopStream_}) {
    if (*stream) (*stream)->Release();
    *stream = nullptr;
  }
}

HRESULT MetadataLists::HandOut(MemoryStreamKind kind, const RecordList* list, IStream** kept, IStream** out) {
  if (!out) return kE_POINTER;
  *out = nullptr;
  if (!*kept) {
    const HRESULT hr = CreateMemoryStream(kind, list, kept);
    if (Failed(hr)) return hr;
  }
  return (*kept)->QueryInterface(kIID_IStream, reinterpret_cast<void**>(out));
}

HRESULT MetadataLists::MarkerStream(IStream** out) {
  return HandOut(MemoryStreamKind::kMarker, &markers, &markerStream_, out);
}

HRESULT MetadataLists::InfoStream(IStream** out) { return HandOut(MemoryStreamKind::kInfo, &info, &infoStream_, out); }

HRESULT MetadataLists::LoopStream(IStream** out) {
  if (!out) return kE_POINTER;
  *out = nullptr;
  if (!loop.strcPresent) return kS_FALSE;
  return HandOut(MemoryStreamKind::kLoop, &loop.loops, &loopStream_, out);
}

HRESULT MetadataLists::Acid(void* out) const {
  if (!loop.acidPresent) return kS_FALSE;
  if (out) std::memcpy(out, loop.acid, kAcidBlockSize);
  return kS_OK;
}

HRESULT MetadataLists::StrcHeader(void* out) const {
  if (!loop.strcPresent) return kS_FALSE;
  if (out) std::memcpy(out, loop.strcHeader, kStrcHeaderSize);
  return kS_OK;
}

HRESULT MetadataLists::InfoText(uint32_t id, wchar16* buffer, uint32_t length) const {
  if (buffer && length) buffer[0] = 0;
  return GetInfoText(info, id, buffer, length);
}

ComPtr<ListMetadataSource> ListMetadataSource::Create() {
  ListMetadataSource* source = cvplat::NewZeroed<ListMetadataSource>();
  if (source) source->AddRef();
  return ComPtr<ListMetadataSource>(source);
}

void* ListMetadataSource::FindInterface(REFIID iid) {
  if (iid == kIID_IUnknown || iid == kIID_ICvMetadataSource) return static_cast<ICvMetadataSource*>(this);
  if (iid == kIID_ICvLoopInfo) return static_cast<ICvLoopInfo*>(this);
  return nullptr;
}

HRESULT ListMetadataSource::GetSecondRecordStream(IStream** stream) {
  if (stream) *stream = nullptr;
  return kE_NOTIMPL;
}

HRESULT ListMetadataSource::GetThirdRecordStream(IStream** stream) {
  if (stream) *stream = nullptr;
  return kE_NOTIMPL;
}

}  // namespace cv
