// Writing markers, INFO and loop information into a RIFF file or its sidecar.
#include "krn/metadata_detail.h"

#include "krn/riff.h"

namespace cv {

using namespace metadata_detail;

namespace {
constexpr uint32_t kRiffFormSize = 4;

HANDLE OpenExisting(const char* name) {
  return cvplat::CreateFileAnsi(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0);
}

// Creates an empty sidecar: a "CVPL" RIFF with nothing in it yet.
[[nodiscard]] HRESULT CreateSidecar(const std::string& name, cvplat::UniqueFile& out) {
  out.Reset(cvplat::CreateFileAnsi(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
  if (!out.IsValid()) return OpenFailure(cvplat::LastError());
  return WriteRiffHeader(out.Get(), FourCC("CVPL"), kRiffFormSize);
}

[[nodiscard]] HRESULT AppendSidecarName(HANDLE file, const std::string& audioFileName) {
  std::string name = FileNameWithoutFolder(audioFileName);
  name.push_back('\0');
  Bytes chunk;
  PutChunk(chunk, FourCC("CVPI"), name.data(), static_cast<uint32_t>(name.size()));
  return AppendAtRiffEnd(file, chunk);
}

// Removes a chunk that may be missing.
[[nodiscard]] HRESULT RemoveIfPresent(HANDLE file, uint32_t id, bool isList) {
  HRESULT hr = RemoveChunk(file, id, isList, nullptr);
  return hr == CVERR_NOT_FOUND ? kS_OK : hr;
}

// The records that the source offers for the kinds: the counts of the stream
// headers. Each stream is sought back to its start and released.
uint32_t CountSourceRecords(ICvMetadataSource* source, uint32_t kinds) {
  uint32_t total = 0;
  auto add = [&](HRESULT (CV_STDCALL ICvMetadataSource::*getter)(IStream**)) {
    ComPtr<IStream> stream;
    if (Failed((source->*getter)(stream.Put())) || !stream) return;
    uint32_t count = 0;
    if (Succeeded(ReadStreamHeader(stream.Get(), &count))) total += count;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    // A courtesy to the source: its readers seek to the start themselves.
    static_cast<void>(stream.Get()->Seek(zero, STREAM_SEEK_SET, nullptr));
  };
  if (kinds & kMetadataMarkers) add(&ICvMetadataSource::GetMarkerStream);
  if (kinds & kMetadataInfo) add(&ICvMetadataSource::GetInfoStream);
  return total;
}

// Removes the chunks of the kinds that are about to be rewritten.
[[nodiscard]] HRESULT RemoveKinds(const char* fileName, uint32_t kinds) {
  cvplat::UniqueFile file(OpenExisting(fileName));
  if (!file.IsValid()) return kS_FALSE;
  HRESULT hr = kS_OK;
  if (kinds & kMetadataMarkers) {
    hr = RemoveIfPresent(file.Get(), FourCC("cue "), false);
    if (Succeeded(hr)) hr = RemoveIfPresent(file.Get(), FourCC("adtl"), true);
  }
  if (Succeeded(hr) && (kinds & kMetadataInfo)) hr = RemoveIfPresent(file.Get(), FourCC("INFO"), true);
  return hr;
}

[[nodiscard]] HRESULT WriteKinds(HANDLE file, uint32_t sampleRate, ICvMetadataSource* source, uint32_t kinds) {
  if (kinds & kMetadataMarkers) {
    HRESULT hr = AppendMarkersFrom(file, sampleRate, source);
    if (Failed(hr)) return hr;
  }
  if (kinds & kMetadataInfo) return AppendInfoFrom(file, source);
  return kS_OK;
}

// Opens the matching sidecar for writing, or creates a new one named
// "<name>.cvl"; *created tells which.
[[nodiscard]] HRESULT OpenOrCreateSidecar(const std::string& audioFileName, cvplat::UniqueFile& out, bool* created) {
  out.Reset(OpenMatchingSidecar(audioFileName, GENERIC_READ | GENERIC_WRITE));
  *created = !out.IsValid();
  if (!*created) return kS_OK;
  return CreateSidecar(SidecarNameAppended(audioFileName), out);
}
}  // namespace

[[nodiscard]] HRESULT AppendMetadata(const char* fileName, bool keepExisting, bool useSidecar, uint32_t sampleRate,
                       ICvMetadataSource* source) {
  if (!fileName || !source) return kE_INVALIDARG;
  try {
    // The metadata replaces what a sidecar of the appended name held. Written
    // into the file, that sidecar goes only once the writing succeeded, so that a
    // failure loses nothing.
    std::string sidecarName = SidecarNameAppended(fileName);
    cvplat::UniqueFile file;
    HRESULT hr = kS_OK;
    if (useSidecar) {
      cvplat::DeleteFileAnsi(sidecarName.c_str());
      hr = CreateSidecar(sidecarName, file);
      if (Failed(hr)) return hr;
    } else {
      file.Reset(OpenExisting(fileName));
      if (!file.IsValid()) return OpenFailure(cvplat::LastError());
      if (!keepExisting) {
        hr = RemoveIfPresent(file.Get(), FourCC("cue "), false);
        if (Succeeded(hr)) hr = RemoveIfPresent(file.Get(), FourCC("adtl"), true);
        if (Succeeded(hr)) hr = RemoveIfPresent(file.Get(), FourCC("INFO"), true);
        if (Failed(hr)) return hr;
      }
    }
    hr = WriteKinds(file.Get(), sampleRate, source, kMetadataMarkers | kMetadataInfo);
    if (Failed(hr)) return hr;
    if (useSidecar) return AppendSidecarName(file.Get(), fileName);
    cvplat::DeleteFileAnsi(sidecarName.c_str());
    return kS_OK;
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  }
}

[[nodiscard]] HRESULT RemoveMarkerChunks(const char* fileName) {
  if (!fileName) return kE_INVALIDARG;
  return RemoveKinds(fileName, kMetadataMarkers);
}

[[nodiscard]] HRESULT UpdateMetadata(const char* fileName, bool useSidecar, uint32_t sampleRate, ICvMetadataSource* source,
                       uint32_t kinds) {
  if (!fileName || !source) return kE_INVALIDARG;
  kinds &= kMetadataMarkers | kMetadataInfo;
  try {
    uint32_t count = CountSourceRecords(source, kinds);
    // Old chunks go from every place they may be: matching sidecars first, then
    // the audio file.
    const std::string sidecars[2] = {SidecarNameAppended(fileName), SidecarNameReplaced(fileName)};
    for (const std::string& name : sidecars) {
      cvplat::UniqueFile probe(cvplat::CreateFileAnsi(name.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
      if (!probe.IsValid() || !SidecarMatches(probe.Get(), fileName)) continue;
      probe.Reset();
      HRESULT hr = RemoveKinds(name.c_str(), kinds);
      if (Failed(hr)) return hr;
    }
    HRESULT hr = RemoveKinds(fileName, kinds);
    if (Failed(hr)) return hr;
    if (count == 0) return kS_OK;

    cvplat::UniqueFile file;
    bool created = false;
    if (useSidecar) {
      hr = OpenOrCreateSidecar(fileName, file, &created);
      if (Failed(hr)) return hr;
    } else {
      file.Reset(OpenExisting(fileName));
      if (!file.IsValid()) return OpenFailure(cvplat::LastError());
    }
    hr = WriteKinds(file.Get(), sampleRate, source, kinds);
    if (Failed(hr)) return hr;
    if (created) return AppendSidecarName(file.Get(), fileName);
    return kS_OK;
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  }
}

[[nodiscard]] HRESULT WriteLoopInfo(const char* fileName, ICvMetadataSource* source, bool useSidecar) {
  if (!fileName || !source) return kE_INVALIDARG;
  ICvLoopInfo* rawLoopInfo = nullptr;
  if (Failed(source->QueryInterface(kIID_ICvLoopInfo, reinterpret_cast<void**>(&rawLoopInfo))) || !rawLoopInfo)
    return kS_OK;
  struct Releaser {
    ICvLoopInfo* p;
    ~Releaser() { p->Release(); }
  } release{rawLoopInfo};
  try {
    cvplat::UniqueFile file;
    bool created = false;
    if (useSidecar) {
      HRESULT hr = OpenOrCreateSidecar(fileName, file, &created);
      if (Failed(hr)) return hr;
    } else {
      file.Reset(OpenExisting(fileName));
      if (!file.IsValid()) return OpenFailure(cvplat::LastError());
    }
    HRESULT hr = WriteLoopChunks(file.Get(), rawLoopInfo);
    if (Failed(hr)) return hr;
    if (created) return AppendSidecarName(file.Get(), fileName);
    return kS_OK;
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  }
}

}  // namespace cv
