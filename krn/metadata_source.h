// The COM interfaces through which a file's metadata travels: the metadata
// source (markers, INFO fields) and its loop information. Streams deliver record
// lists: a 12-byte header {12, 100, record count}, then the records.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>

namespace cv {

// {001420E1-938C-11D3-A483-00105A24AA37}
constexpr GUID kIID_ICvMetadataSource = {
    0x001420E1, 0x938C, 0x11D3, {0xA4, 0x83, 0x00, 0x10, 0x5A, 0x24, 0xAA, 0x37}};
// {F0345341-BAF2-11D4-B26A-00A0D2188387}
constexpr GUID kIID_ICvLoopInfo = {0xF0345341, 0xBAF2, 0x11D4, {0xB2, 0x6A, 0x00, 0xA0, 0xD2, 0x18, 0x83, 0x87}};

// Metadata kinds that UpdateMetadata can rewrite.
constexpr uint32_t kMetadataInfo = 1;
constexpr uint32_t kMetadataMarkers = 4;

// The metadata of one file. Stream getters answer an IStream reference (the
// caller releases it) or a failure code when the list cannot be had.
struct ICvMetadataSource : IUnknown {
  // Slot 3: the marker and region records.
  virtual HRESULT CV_STDCALL GetMarkerStream(IStream** stream) = 0;
  // Slots 4 and 5: two further record streams that this plug-in does not fill.
  virtual HRESULT CV_STDCALL GetSecondRecordStream(IStream** stream) = 0;
  virtual HRESULT CV_STDCALL GetThirdRecordStream(IStream** stream) = 0;
  // Slot 6: the text of one INFO field, cut to `length` units and terminated.
  virtual HRESULT CV_STDCALL GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) = 0;
  // Slot 7: the INFO records.
  virtual HRESULT CV_STDCALL GetInfoStream(IStream** stream) = 0;
};

// Loop information, reached by QueryInterface on a metadata source. Each answers
// S_FALSE when the file has no such chunk.
struct ICvLoopInfo : IUnknown {
  // Slot 3: fills the 24-byte "acid" block.
  virtual HRESULT CV_STDCALL GetAcid(void* acid) = 0;
  // Slot 4: fills the 28-byte "strc" header.
  virtual HRESULT CV_STDCALL GetStrcHeader(void* header) = 0;
  // Slot 5: the stream of 32-byte loop records.
  virtual HRESULT CV_STDCALL GetLoopStream(IStream** stream) = 0;
};

}  // namespace cv
