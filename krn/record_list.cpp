#include "krn/record_list.h"

#include "krn/platform/memory.h"
#include "krn/results.h"

#include <cstring>

namespace cv {

RecordList::~RecordList() { Clear(); }

HRESULT RecordList::Append(const void* bytes, size_t size) {
  auto* block = static_cast<uint8_t*>(cvplat::GlobalAllocZero(size));
  if (!block) return kE_OUTOFMEMORY;
  if (size) std::memcpy(block, bytes, size);
  try {
    records_.push_back(Entry{block, size});
  } catch (...) {
    cvplat::GlobalFreeBlock(block);
    return kE_OUTOFMEMORY;
  }
  return kS_OK;
}

void RecordList::Clear() {
  for (Entry& e : records_) cvplat::GlobalFreeBlock(e.data);
  records_.clear();
}

[[nodiscard]] HRESULT AppendMarkerRecord(RecordList& list, int64_t position, int64_t length, bool isRegion,
                           const wchar16* name, size_t nameUnits) {
  MarkerRecordHeader h{};
  h.headerSize = sizeof(MarkerRecordHeader);
  h.position = position;
  h.length = length;
  h.isRegion = isRegion ? 1 : 0;
  h.nameSize = static_cast<uint32_t>((nameUnits + 1) * sizeof(wchar16));
  std::vector<uint8_t> bytes(sizeof h + h.nameSize, 0);
  std::memcpy(bytes.data(), &h, sizeof h);
  if (name && nameUnits) std::memcpy(bytes.data() + sizeof h, name, nameUnits * sizeof(wchar16));
  return list.Append(bytes.data(), bytes.size());
}

[[nodiscard]] HRESULT AppendInfoRecord(RecordList& list, uint32_t id, const wchar16* text, size_t textUnits) {
  InfoRecordHeader h{};
  h.headerSize = sizeof(InfoRecordHeader);
  h.id = id;
  h.textSize = static_cast<uint32_t>((textUnits + 1) * sizeof(wchar16));
  std::vector<uint8_t> bytes(sizeof h + h.textSize, 0);
  std::memcpy(bytes.data(), &h, sizeof h);
  if (text && textUnits) std::memcpy(bytes.data() + sizeof h, text, textUnits * sizeof(wchar16));
  return list.Append(bytes.data(), bytes.size());
}

}  // namespace cv
