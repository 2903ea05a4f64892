// Metadata travels between the plug-in and the host as lists of records: a
// growable array of owned byte blocks, never holding null entries.
#pragma once

#include "krn/platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cv {

#pragma pack(push, 1)
// One marker or region; the UTF-16 name (nameSize bytes, terminator included)
// follows the header.
struct MarkerRecordHeader {
  uint32_t headerSize;  // 28
  int64_t position;     // start, 100 ns units
  int64_t length;       // region length in 100 ns units; 0 for a marker
  uint32_t isRegion;    // 1 region, 0 marker
  uint32_t nameSize;    // bytes of the name, terminator included
};
// One INFO text field; the UTF-16 text (textSize bytes) follows the header.
struct InfoRecordHeader {
  uint32_t headerSize;  // 12
  uint32_t id;          // four-character id, e.g. "INAM" as read from the file
  uint32_t textSize;    // (characters + 1) * 2
};
#pragma pack(pop)
static_assert(sizeof(MarkerRecordHeader) == 28, "marker record header is 28 bytes");
static_assert(sizeof(InfoRecordHeader) == 12, "INFO record header is 12 bytes");

constexpr size_t kLoopRecordSize = 32;
constexpr size_t kStrcHeaderSize = 28;
constexpr size_t kAcidBlockSize = 24;

// Owns its records; each record is one zero-filled global-memory block.
class RecordList {
 public:
  RecordList() = default;
  ~RecordList();
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  // Appends a copy of bytes; E_OUTOFMEMORY when no memory, else S_OK.
  [[nodiscard]] HRESULT Append(const void* bytes, size_t size);
  void Clear();
  size_t Count() const { return records_.size(); }
  const uint8_t* At(size_t index) const { return records_[index].data; }
  size_t SizeAt(size_t index) const { return records_[index].size; }

 private:
  struct Entry {
    uint8_t* data;
    size_t size;
  };
  std::vector<Entry> records_;
};

// Builds a marker record from its fields and a UTF-16 name (nullptr = empty).
[[nodiscard]] HRESULT AppendMarkerRecord(RecordList& list, int64_t position, int64_t length, bool isRegion,
                           const wchar16* name, size_t nameUnits);
// Builds an INFO record from its id and UTF-16 text.
[[nodiscard]] HRESULT AppendInfoRecord(RecordList& list, uint32_t id, const wchar16* text, size_t textUnits);

// A four-character id as it appears in a file ("INAM" -> bytes I,N,A,M).
constexpr uint32_t FourCC(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

}  // namespace cv
