// The metadata chunks of a source built in memory, for writers that must know
// every byte before they write (a WAVE file streamed to a pipe).
#include "krn/metadata_detail.h"

namespace cv {

using namespace metadata_detail;

[[nodiscard]] HRESULT BuildMetadataChunks(uint32_t sampleRate, ICvMetadataSource* source, std::vector<uint8_t>* out) {
  if (!source || !out) return kE_INVALIDARG;
  out->clear();
  try {
    ComPtr<IStream> markerStream;
    if (Succeeded(source->GetMarkerStream(markerStream.Put())) && markerStream) {
      std::vector<MarkerEntry> markers;
      HRESULT hr = ReadMarkerStream(markerStream.Get(), markers);
      if (Succeeded(hr)) hr = BuildMarkerChunks(markers, sampleRate, *out);
      if (Failed(hr)) return hr;
    }
    ComPtr<IStream> infoStream;
    if (Succeeded(source->GetInfoStream(infoStream.Put())) && infoStream) {
      std::vector<InfoEntry> fields;
      HRESULT hr = ReadInfoStream(infoStream.Get(), fields);
      if (Succeeded(hr)) hr = BuildInfoList(fields, *out);
      if (Failed(hr)) return hr;
    }
    ComPtr<ICvLoopInfo> loopInfo;
    if (Failed(source->QueryInterface(kIID_ICvLoopInfo, loopInfo.PutVoid())) || !loopInfo)
      return kS_OK;
    uint8_t acid[kAcidBlockSize] = {};
    if (loopInfo.Get()->GetAcid(acid) == kS_OK) PutChunk(*out, FourCC("acid"), acid, sizeof acid);
    uint8_t header[kStrcHeaderSize] = {};
    if (loopInfo.Get()->GetStrcHeader(header) != kS_OK) return kS_OK;
    ComPtr<IStream> loops;
    if (Failed(loopInfo.Get()->GetLoopStream(loops.Put()))) return kS_OK;
    Bytes strc;
    HRESULT hr = BuildStrc(header, loops.Get(), strc);
    if (Failed(hr)) return hr;
    PutChunk(*out, FourCC("strc"), strc.data(), static_cast<uint32_t>(strc.size()));
    return kS_OK;
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  }
}

}  // namespace cv
