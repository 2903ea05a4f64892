// Markers and regions: the "cue " chunk with the "LIST" "adtl" of names ("labl")
// and region lengths ("ltxt").
#include "krn/metadata_detail.h"

#include "krn/platform/memory.h"
#include "krn/riff.h"

#include <cstring>

namespace cv {

using namespace metadata_detail;

namespace {
constexpr uint32_t kCuePointSize = 24;
constexpr uint32_t kLtxtSize = 20;

// The body of the "adtl" list, held in memory while the cue points are read.
class AdtlBody {
 public:
  // Loads the list of the file (searched from the start); the file position is
  // restored. Without a list the body stays empty.
  [[nodiscard]] HRESULT Load(HANDLE file) {
    uint32_t saved = 0;
    HRESULT hr = GetFilePos(file, &saved);
    if (Failed(hr)) return hr;
    uint32_t size = 0;
    hr = FindListFromStart(file, FourCC("adtl"), &size);
    if (Succeeded(hr)) {
      blob_ = ChunkBlob{size, nullptr};
      hr = ReadChunkAlloc(file, &blob_);
      if (Failed(hr)) blob_ = ChunkBlob{0, nullptr};
    }
    const HRESULT restored = SetFilePos(file, saved);
    if (hr == kE_OUTOFMEMORY) return hr;
    return restored;
  }
  ~AdtlBody() { cvplat::GlobalFreeBlock(blob_.data); }

  // The data of the first sub-chunk with this id whose first u32 is the cue id.
  const uint8_t* Find(uint32_t chunkId, uint32_t cueId, uint32_t* dataSize) const {
    const auto* p = static_cast<const uint8_t*>(blob_.data);
    size_t offset = 0;
    while (p && offset + 8 <= blob_.size) {
      uint32_t id = LoadU32(p + offset);
      uint32_t size = LoadU32(p + offset + 4);
      size_t data = offset + 8;
      if (size > blob_.size - data) return nullptr;  // a sub-chunk that runs past the list
      if (id == chunkId && size >= 4 && LoadU32(p + data) == cueId) {
        *dataSize = size;
        return p + data;
      }
      offset = data + size + (size & 1u);
    }
    return nullptr;
  }

 private:
  ChunkBlob blob_{0, nullptr};
};

cvplat::WideString LabelOf(const AdtlBody& adtl, uint32_t cueId) {
  uint32_t size = 0;
  const uint8_t* labl = adtl.Find(FourCC("labl"), cueId, &size);
  if (!labl) return {};
  size_t textBytes = size - 4;
  if (textBytes > kMaxLabelBytes) textBytes = kMaxLabelBytes;
  const char* text = reinterpret_cast<const char*>(labl + 4);
  size_t len = 0;
  while (len < textBytes && text[len] != '\0') ++len;
  return cvplat::AnsiToWideString(std::string(text, len));
}
}  // namespace

[[nodiscard]] HRESULT ReadMarkers(HANDLE file, uint32_t sampleRate, RecordList& markers) {
  HRESULT hr = SetFilePos(file, 0);
  if (Failed(hr)) return hr;
  uint32_t bodySize = 0;
  hr = ReadRiffHeader(file, &bodySize, nullptr);
  if (Failed(hr)) return hr;
  int32_t remaining = static_cast<int32_t>(bodySize);
  uint32_t cueSize = 0;
  if (Failed(FindChunk(file, FourCC("cue "), &cueSize, &remaining))) return kS_OK;
  if (cueSize < 4) return kS_OK;
  uint8_t countBytes[4];
  hr = ReadChunkPrefix(file, countBytes, 4, cueSize);
  if (Failed(hr)) return hr;
  uint32_t count = LoadU32(countBytes);
  // A count beyond the chunk would read the following chunks as cue points.
  uint32_t fits = (cueSize - 4) / kCuePointSize;
  if (count > fits) count = fits;
  if (count == 0) return kS_OK;

  AdtlBody adtl;
  hr = adtl.Load(file);
  if (Failed(hr)) return hr;
  try {
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t point[kCuePointSize];
      hr = ReadChunkPrefix(file, point, kCuePointSize, kCuePointSize);
      if (Failed(hr)) return hr;
      uint32_t cueId = LoadU32(point);
      uint32_t sampleOffset = LoadU32(point + 20);
      cvplat::WideString name = LabelOf(adtl, cueId);
      uint32_t ltxtSize = 0;
      const uint8_t* ltxt = adtl.Find(FourCC("ltxt"), cueId, &ltxtSize);
      bool isRegion = ltxt != nullptr && ltxtSize >= 8;
      int64_t length = isRegion ? SamplesToTime(LoadU32(ltxt + 4), sampleRate) : 0;
      hr = AppendMarkerRecord(markers, SamplesToTime(sampleOffset, sampleRate), length, isRegion, name.data(),
                              name.size());
      if (Failed(hr)) return hr;
    }
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  }
  return kS_OK;
}

namespace metadata_detail {

[[nodiscard]] HRESULT BuildMarkerChunks(const std::vector<MarkerEntry>& markers, uint32_t sampleRate, Bytes& out) {
  if (markers.empty()) return kS_OK;
  Bytes cue;
  PutU32(cue, static_cast<uint32_t>(markers.size()));
  bool needAdtl = false;
  for (size_t i = 0; i < markers.size(); ++i) {
    const MarkerRecordHeader& h = markers[i].header;
    uint32_t sample = TimeToSamples(h.position, sampleRate);
    PutU32(cue, static_cast<uint32_t>(i + 1));
    PutU32(cue, sample);
    PutU32(cue, FourCC("data"));
    PutU32(cue, 0);
    PutU32(cue, 0);
    PutU32(cue, sample);
    if (h.isRegion || h.nameSize != 0) needAdtl = true;
  }
  PutChunk(out, FourCC("cue "), cue.data(), static_cast<uint32_t>(cue.size()));
  if (!needAdtl) return kS_OK;

  Bytes adtl;
  PutU32(adtl, FourCC("adtl"));
  for (size_t i = 0; i < markers.size(); ++i) {
    const MarkerRecordHeader& h = markers[i].header;
    if (!h.isRegion) continue;
    Bytes ltxt;
    PutU32(ltxt, static_cast<uint32_t>(i + 1));
    PutU32(ltxt, TimeToSamples(h.length, sampleRate));
    PutU32(ltxt, FourCC("rgn "));
    for (int k = 0; k < 4; ++k) PutU16(ltxt, 0);  // country, language, dialect, code page
    PutChunk(adtl, FourCC("ltxt"), ltxt.data(), kLtxtSize);
  }
  for (size_t i = 0; i < markers.size(); ++i) {
    if (markers[i].header.nameSize == 0) continue;
    Bytes labl;
    PutU32(labl, static_cast<uint32_t>(i + 1));
    std::string name = cvplat::WideToAnsiString(markers[i].name);
    labl.insert(labl.end(), name.begin(), name.end());
    labl.push_back(0);
    PutChunk(adtl, FourCC("labl"), labl.data(), static_cast<uint32_t>(labl.size()));
  }
  PutChunk(out, FourCC("LIST"), adtl.data(), static_cast<uint32_t>(adtl.size()));
  return kS_OK;
}

[[nodiscard]] HRESULT AppendMarkersFrom(HANDLE file, uint32_t sampleRate, ICvMetadataSource* source) {
  ComPtr<IStream> stream;
  if (Failed(source->GetMarkerStream(stream.Put())) || !stream) return kS_OK;
  std::vector<MarkerEntry> markers;
  HRESULT hr = ReadMarkerStream(stream.Get(), markers);
  if (Failed(hr)) return hr;
  Bytes chunks;
  hr = BuildMarkerChunks(markers, sampleRate, chunks);
  if (Failed(hr)) return hr;
  return AppendAtRiffEnd(file, chunks);
}

}  // namespace metadata_detail
}  // namespace cv
