// Reading and writing the descriptive metadata of any RIFF file (a plain WAV as
// well as a ".qla" file): markers and regions ("cue " and "LIST" "adtl"), INFO
// text fields ("LIST" "INFO"), loop information ("acid", "strc"), and the
// metadata sidecar file (RIFF form "CVPL" with a "CVPI" chunk naming the audio
// file), found as "<name>.cvl" or with the extension replaced by ".cvl".
#pragma once

#include "krn/metadata_source.h"
#include "krn/platform/win_types.h"
#include "krn/record_list.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cv {

// The loop information of one file, carried unchanged.
struct LoopInfo {
  uint8_t acid[kAcidBlockSize] = {};
  bool acidPresent = false;
  uint8_t strcHeader[kStrcHeaderSize] = {};
  bool strcPresent = false;
  RecordList loops;  // 32-byte loop records
};

// ---- Reading from an open file (each positions the file itself) ----

// Appends one marker record per cue point; no "cue " chunk: success, no markers.
// Positions are in 100 ns units at `sampleRate` (0 gives position 0).
[[nodiscard]] HRESULT ReadMarkers(HANDLE file, uint32_t sampleRate, RecordList& markers);
// Appends one INFO record per non-empty field of the "LIST" "INFO". Invalid
// handle: CVERR_FILE_OPEN; null list: S_OK; no INFO list: CVERR_NOT_FOUND.
[[nodiscard]] HRESULT ReadInfo(HANDLE file, RecordList* info);
// Reads the "acid" block and the "strc" header and records; absent chunks leave
// their present flags false. A short read gives CVERR_FILE_READ.
[[nodiscard]] HRESULT ReadLoopInfo(HANDLE file, LoopInfo& loop);

// Copies the text of the first INFO record with `id`: at most length - 1 units
// and a terminator. The buffer starts empty in every case; no such record:
// CVERR_NOT_FOUND.
[[nodiscard]] HRESULT GetInfoText(const RecordList& info, uint32_t id, wchar16* buffer, uint32_t length);

// ---- Sidecar files ----

// "<name>.cvl".
std::string SidecarNameAppended(const std::string& audioFileName);
// The name with its extension replaced by ".cvl" (appended when it has none).
std::string SidecarNameReplaced(const std::string& audioFileName);
// The name without its folder.
std::string FileNameWithoutFolder(const std::string& path);
// True when the open file is a "CVPL" RIFF whose "CVPI" chunk (at most 260 bytes
// read) names the audio file (without folder), byte for byte.
bool SidecarMatches(HANDLE sidecar, const std::string& audioFileName);
// Opens the first matching sidecar of the two names for reading, or returns an
// invalid handle.
HANDLE OpenMatchingSidecar(const std::string& audioFileName, DWORD access);

// What the reader does on the first request for metadata: reads the markers of
// the audio file, then the markers and INFO of a matching sidecar, then the INFO
// of the audio file. CVERR_FILE_OPEN when the audio file cannot be opened; the
// optional outputs receive the outcome for each list (CVERR_NOT_FOUND for INFO
// when neither file has an INFO list).
[[nodiscard]] HRESULT LoadFileMetadata(const char* ansiFileName, uint32_t sampleRate, RecordList& markers, RecordList& info,
                         HRESULT* markersResult = nullptr, HRESULT* infoResult = nullptr);
// Reads the loop information of the audio file alone; CVERR_FILE_OPEN when it
// cannot be opened.
[[nodiscard]] HRESULT LoadFileLoopInfo(const char* ansiFileName, LoopInfo& loop);

// ---- Writing (each opens and closes the file itself) ----

// After the audio of a file is complete: appends markers, regions and INFO from
// the source to the file (or, with useSidecar, to a new sidecar). keepExisting 0
// first removes the file's "cue ", "adtl" and "INFO" chunks.
[[nodiscard]] HRESULT AppendMetadata(const char* fileName, bool keepExisting, bool useSidecar, uint32_t sampleRate,
                       ICvMetadataSource* source);
// Replaces the metadata kinds (kMetadataMarkers, kMetadataInfo) of an existing
// file (or of its sidecar) with those of the source.
[[nodiscard]] HRESULT UpdateMetadata(const char* fileName, bool useSidecar, uint32_t sampleRate, ICvMetadataSource* source,
                       uint32_t kinds);
// The chunks that AppendMetadata and WriteLoopInfo append to a file that has
// none, in memory and in the same order: "cue ", "LIST" "adtl", "LIST" "INFO",
// "acid", "strc" (each only when the source has it).
[[nodiscard]] HRESULT BuildMetadataChunks(uint32_t sampleRate, ICvMetadataSource* source, std::vector<uint8_t>* out);
// Removes the "cue " chunk and the "adtl" list of a file. S_FALSE when the file
// cannot be opened (nothing to remove).
[[nodiscard]] HRESULT RemoveMarkerChunks(const char* fileName);
// Writes "acid" and "strc" from the source's ICvLoopInfo (nothing when it has
// none): rewritten in place when the old chunk is large enough, else the old one
// becomes "JUNK" and a new one is appended.
[[nodiscard]] HRESULT WriteLoopInfo(const char* fileName, ICvMetadataSource* source, bool useSidecar);

}  // namespace cv
