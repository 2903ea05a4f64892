// The metadata of a WAVE source as the renderer receives it from the host: a
// metadata source (markers and regions, INFO fields) with its loop information,
// over records read from the source file with the shared metadata readers.
#pragma once

#include "krn/metadata_io.h"
#include "krn/metadata_source.h"
#include "krn/record_list.h"

#include <cstdint>
#include <vector>

namespace qlatool {

// A read-only IStream over the stream form of a record list: the 12-byte header
// {12, 100, count} and the records back to back. Lives on its owner's stack.
class RecordBytesStream final : public IStream {
 public:
  // recordSize(index) gives the bytes of each record in the stream.
  void Assign(const cv::RecordList& list, size_t (*recordSize)(const cv::RecordList&, size_t));

  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override;
  ULONG CV_STDCALL AddRef() override { return ++references_; }
  ULONG CV_STDCALL Release() override { return --references_; }
  HRESULT CV_STDCALL Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT CV_STDCALL Write(const void*, ULONG, ULONG*) override;
  HRESULT CV_STDCALL Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
  HRESULT CV_STDCALL SetSize(ULARGE_INTEGER) override;
  HRESULT CV_STDCALL CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override;
  HRESULT CV_STDCALL Commit(DWORD) override;
  HRESULT CV_STDCALL Revert() override;
  HRESULT CV_STDCALL LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  HRESULT CV_STDCALL UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  HRESULT CV_STDCALL Stat(STATSTG*, DWORD) override;
  HRESULT CV_STDCALL Clone(IStream**) override;

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
  ULONG references_ = 0;
};

class WavMetadata final : public cv::ICvMetadataSource, public cv::ICvLoopInfo {
 public:
  // Reads markers, INFO and loop information from an open RIFF file. A file
  // without such chunks simply has none; read failures are returned.
  HRESULT Load(HANDLE file, uint32_t sampleRate);

  const cv::RecordList& Markers() const { return markers_; }
  const cv::RecordList& Info() const { return info_; }
  const cv::LoopInfo& Loop() const { return loop_; }
  bool HasLoopInfo() const { return loop_.acidPresent || loop_.strcPresent; }

  // IUnknown, shared by both interfaces.
  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override;
  ULONG CV_STDCALL AddRef() override { return ++references_; }
  ULONG CV_STDCALL Release() override { return --references_; }

  HRESULT CV_STDCALL GetMarkerStream(IStream** stream) override;
  HRESULT CV_STDCALL GetSecondRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetThirdRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL GetInfoStream(IStream** stream) override;

  HRESULT CV_STDCALL GetAcid(void* acid) override;
  HRESULT CV_STDCALL GetStrcHeader(void* header) override;
  HRESULT CV_STDCALL GetLoopStream(IStream** stream) override;

 private:
  cv::RecordList markers_;
  cv::RecordList info_;
  cv::LoopInfo loop_;
  RecordBytesStream markerStream_;
  RecordBytesStream infoStream_;
  RecordBytesStream loopStream_;
  ULONG references_ = 0;
};

}  // namespace qlatool
