// The metadata sidecar file and the loading of a file's metadata for the reader.
#include "krn/metadata_detail.h"

#include "krn/riff.h"

namespace cv {

using namespace metadata_detail;

namespace {
size_t FolderEnd(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? 0 : slash + 1;
}
}  // namespace

std::string SidecarNameAppended(const std::string& audioFileName) { return audioFileName + ".cvl"; }

std::string SidecarNameReplaced(const std::string& audioFileName) {
  size_t dot = audioFileName.find_last_of('.');
  if (dot == std::string::npos || dot < FolderEnd(audioFileName)) return audioFileName + ".cvl";
  return audioFileName.substr(0, dot) + ".cvl";
}

std::string FileNameWithoutFolder(const std::string& path) { return path.substr(FolderEnd(path)); }

bool SidecarMatches(HANDLE sidecar, const std::string& audioFileName) {
  uint32_t bodySize = 0, form = 0;
  if (Failed(SetFilePos(sidecar, 0))) return false;
  if (Failed(ReadRiffHeader(sidecar, &bodySize, &form)) || form != FourCC("CVPL")) return false;
  int32_t remaining = static_cast<int32_t>(bodySize);
  uint32_t size = 0;
  if (Failed(FindChunk(sidecar, FourCC("CVPI"), &size, &remaining))) return false;
  char name[kMaxSidecarNameBytes] = {};
  uint32_t count = size < kMaxSidecarNameBytes ? size : kMaxSidecarNameBytes;
  if (Failed(ReadChunkPrefix(sidecar, name, count, count))) return false;
  size_t len = 0;
  while (len < count && name[len] != '\0') ++len;
  return FileNameWithoutFolder(audioFileName) == std::string(name, len);
}

HANDLE OpenMatchingSidecar(const std::string& audioFileName, DWORD access) {
  const std::string names[2] = {SidecarNameAppended(audioFileName), SidecarNameReplaced(audioFileName)};
  for (const std::string& name : names) {
    cvplat::UniqueFile file(cvplat::CreateFileAnsi(name.c_str(), access, FILE_SHARE_READ, OPEN_EXISTING, 0));
    if (file.IsValid() && SidecarMatches(file.Get(), audioFileName)) return file.Release();
  }
  return INVALID_HANDLE_VALUE;
}

[[nodiscard]] HRESULT LoadFileMetadata(const char* ansiFileName, uint32_t sampleRate, RecordList& markers, RecordList& info,
                         HRESULT* markersResult, HRESULT* infoResult) {
  if (!ansiFileName) return CVERR_FILE_OPEN;
  cvplat::UniqueFile audio(
      cvplat::CreateFileAnsi(ansiFileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!audio.IsValid()) return CVERR_FILE_OPEN;
  HRESULT markersHr = ReadMarkers(audio.Get(), sampleRate, markers);
  HRESULT infoHr = CVERR_NOT_FOUND;
  cvplat::UniqueFile sidecar(OpenMatchingSidecar(ansiFileName, GENERIC_READ));
  if (sidecar.IsValid()) {
    HRESULT hr = ReadMarkers(sidecar.Get(), sampleRate, markers);
    if (Succeeded(markersHr)) markersHr = hr;
    infoHr = ReadInfo(sidecar.Get(), &info);
  }
  HRESULT audioInfoHr = ReadInfo(audio.Get(), &info);
  // The INFO list counts as found when either file has one.
  if (Succeeded(audioInfoHr) || Failed(infoHr)) infoHr = Succeeded(infoHr) ? infoHr : audioInfoHr;
  if (markersResult) *markersResult = markersHr;
  if (infoResult) *infoResult = infoHr;
  return kS_OK;
}

[[nodiscard]] HRESULT LoadFileLoopInfo(const char* ansiFileName, LoopInfo& loop) {
  if (!ansiFileName) return CVERR_FILE_OPEN;
  cvplat::UniqueFile audio(
      cvplat::CreateFileAnsi(ansiFileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!audio.IsValid()) return CVERR_FILE_OPEN;
  return ReadLoopInfo(audio.Get(), loop);
}

}  // namespace cv
