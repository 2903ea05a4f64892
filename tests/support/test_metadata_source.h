// Test doubles for the metadata writers: a read-only IStream over bytes and a
// metadata source with loop information built from plain values.
#pragma once

#include "krn/metadata_source.h"
#include "krn/platform/codepage.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace cvtest {

// An IStream over a copy of bytes: Read and Seek (byte offsets) only.
class ByteStream : public IStream {
 public:
  explicit ByteStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override;
  ULONG CV_STDCALL AddRef() override { return ++refs_; }
  ULONG CV_STDCALL Release() override { return --refs_; }  // owned by the test
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
  ULONG refs() const { return refs_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
  ULONG refs_ = 1;
};

struct TestMarker {
  int64_t position;
  int64_t length;
  bool isRegion;
  std::u16string name;
  bool noName;  // name size 0: no "labl" is written
};

// Record streams as a memory stream delivers them: {12, 100, count}, records.
std::vector<uint8_t> MarkerStreamBytes(const std::vector<TestMarker>& markers);
std::vector<uint8_t> InfoStreamBytes(const std::vector<std::pair<uint32_t, std::u16string>>& fields);
std::vector<uint8_t> LoopStreamBytes(const std::vector<std::vector<uint8_t>>& records);

// A metadata source whose streams are ByteStreams; a stream left unset answers
// CVERR_NOT_FOUND. With loop information set it also answers ICvLoopInfo.
class TestMetadataSource : public cv::ICvMetadataSource, public cv::ICvLoopInfo {
 public:
  std::vector<uint8_t> markerBytes, infoBytes, loopBytes;
  bool hasMarkers = false, hasInfo = false, hasLoopInfo = false;
  bool hasAcid = false, hasStrc = false;
  uint8_t acid[24] = {};
  uint8_t strcHeader[28] = {};

  void SetMarkers(const std::vector<TestMarker>& m) { markerBytes = MarkerStreamBytes(m), hasMarkers = true; }
  void SetInfo(const std::vector<std::pair<uint32_t, std::u16string>>& f) {
    infoBytes = InfoStreamBytes(f), hasInfo = true;
  }

  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override;
  ULONG CV_STDCALL AddRef() override { return 1; }
  ULONG CV_STDCALL Release() override { return 1; }
  HRESULT CV_STDCALL GetMarkerStream(IStream** stream) override;
  HRESULT CV_STDCALL GetSecondRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetThirdRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL GetInfoStream(IStream** stream) override;
  HRESULT CV_STDCALL GetAcid(void* out) override;
  HRESULT CV_STDCALL GetStrcHeader(void* out) override;
  HRESULT CV_STDCALL GetLoopStream(IStream** stream) override;

 private:
  HRESULT Hand(bool present, const std::vector<uint8_t>& bytes, IStream** out);
  std::deque<ByteStream> streams_;
};

}  // namespace cvtest
