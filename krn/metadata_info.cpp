// INFO text fields: the "LIST" "INFO" of a RIFF file and its record form.
#include "krn/metadata_detail.h"

#include "krn/platform/memory.h"
#include "krn/riff.h"

#include <cstring>

namespace cv {

using namespace metadata_detail;

[[nodiscard]] HRESULT ReadInfo(HANDLE file, RecordList* info) {
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return CVERR_FILE_OPEN;
  if (!info) return kS_OK;
  uint8_t head[8];
  HRESULT hr = SetFilePos(file, 4);
  if (Failed(hr)) return hr;
  hr = ReadChunkPrefix(file, head, 8, 8);
  if (Failed(hr)) return CVERR_NOT_FOUND;
  int32_t remaining = static_cast<int32_t>(LoadU32(head));
  // A file whose first chunk follows the size directly (no form type) is
  // searched from offset 8.
  hr = SetFilePos(file, LoadU32(head + 4) == FourCC("LIST") ? 8 : 12);
  if (Failed(hr)) return hr;
  uint32_t listSize = 0;
  if (Failed(FindList(file, FourCC("INFO"), &listSize, &remaining))) return CVERR_NOT_FOUND;

  try {
    uint32_t left = listSize;
    while (left >= kChunkHeaderSize) {
      uint32_t id = 0, size = 0;
      hr = ReadChunkHeader(file, &id, &size);
      if (Failed(hr)) return hr;
      left -= kChunkHeaderSize;
      if (size > left) break;  // a field that runs past the list
      if (!FitsInFile(file, size)) return CVERR_FILE_READ;  // nor any memory for it
      cvplat::GlobalBlock data(size);
      if (size && !data) return kE_OUTOFMEMORY;
      if (size) {
        hr = ReadChunkData(file, data.Get(), size);
        if (Failed(hr)) return hr;
      }
      const char* text = data.As<const char>();
      size_t len = 0;
      while (len < size && text[len] != '\0') ++len;
      std::string ansi(text ? text : "", len);
      uint64_t consumed = PaddedSize(size);
      left = consumed >= left ? 0 : left - static_cast<uint32_t>(consumed);
      if (ansi.empty()) continue;
      cvplat::WideString wide = cvplat::AnsiToWideString(ansi);
      hr = AppendInfoRecord(*info, id, wide.data(), wide.size());
      if (Failed(hr)) return hr;
    }
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  }
  return kS_OK;
}

[[nodiscard]] HRESULT GetInfoText(const RecordList& info, uint32_t id, wchar16* buffer, uint32_t length) {
  if (buffer && length) buffer[0] = 0;
  for (size_t i = 0; i < info.Count(); ++i) {
    if (info.SizeAt(i) < sizeof(InfoRecordHeader)) continue;
    InfoRecordHeader header;
    std::memcpy(&header, info.At(i), sizeof header);
    if (header.id != id) continue;
    if (!buffer || length == 0) return kS_OK;
    size_t textBytes = info.SizeAt(i) - sizeof header;
    if (header.textSize < textBytes) textBytes = header.textSize;
    cvplat::WideString text = WideTextOf(info.At(i) + sizeof header, textBytes);
    size_t units = text.size() < length - 1 ? text.size() : length - 1;
    for (size_t k = 0; k < units; ++k) buffer[k] = text[k];
    buffer[units] = 0;
    return kS_OK;
  }
  return CVERR_NOT_FOUND;
}

namespace metadata_detail {

[[nodiscard]] HRESULT BuildInfoList(const std::vector<InfoEntry>& fields, Bytes& out) {
  if (fields.empty()) return kS_OK;
  Bytes list;
  PutU32(list, FourCC("INFO"));
  for (const InfoEntry& field : fields) {
    std::string text = cvplat::WideToAnsiString(field.text);
    text.push_back('\0');
    PutChunk(list, field.id, text.data(), static_cast<uint32_t>(text.size()));
  }
  PutChunk(out, FourCC("LIST"), list.data(), static_cast<uint32_t>(list.size()));
  return kS_OK;
}

[[nodiscard]] HRESULT AppendInfoFrom(HANDLE file, ICvMetadataSource* source) {
  ComPtr<IStream> stream;
  if (Failed(source->GetInfoStream(stream.Put())) || !stream) return kS_OK;
  std::vector<InfoEntry> fields;
  HRESULT hr = ReadInfoStream(stream.Get(), fields);
  if (Failed(hr)) return hr;
  Bytes list;
  hr = BuildInfoList(fields, list);
  if (Failed(hr)) return hr;
  return AppendAtRiffEnd(file, list);
}

}  // namespace metadata_detail
}  // namespace cv
