// Metadata held in record lists and offered as a metadata source with loop
// information: how the reader hands a file's markers, INFO fields and loops to
// the host, and how the tool and the tests hand metadata to the writers.
// Streams are memory streams over the lists, made on first request and kept;
// each request hands out a new reference.
#pragma once

#include "krn/com_object.h"
#include "krn/com_ptr.h"
#include "krn/memory_stream.h"
#include "krn/metadata_io.h"
#include "krn/metadata_source.h"
#include "krn/record_list.h"

#include <cstdint>

namespace cv {

// The lists and their streams, for objects with reference rules of their own.
class MetadataLists {
 public:
  MetadataLists() = default;
  ~MetadataLists() { ReleaseStreams(); }
  MetadataLists(const MetadataLists&) = delete;
  MetadataLists& operator=(const MetadataLists&) = delete;

  RecordList markers;
  RecordList info;
  LoopInfo loop;

  [[nodiscard]] HRESULT MarkerStream(IStream** out);
  [[nodiscard]] HRESULT InfoStream(IStream** out);
  // S_FALSE without loop records.
  [[nodiscard]] HRESULT LoopStream(IStream** out);
  // S_FALSE when the block is absent.
  [[nodiscard]] HRESULT Acid(void* out) const;
  [[nodiscard]] HRESULT StrcHeader(void* out) const;
  [[nodiscard]] HRESULT InfoText(uint32_t id, wchar16* buffer, uint32_t length) const;
  bool HasLoopInfo() const { return loop.acidPresent || loop.strcPresent; }
  bool MarkerStreamMade() const { return markerStream_ != nullptr; }
  bool InfoStreamMade() const { return infoStream_ != nullptr; }
  void ReleaseStreams();

 private:
  [[nodiscard]] HRESULT HandOut(MemoryStreamKind kind, const RecordList* list, IStream** kept, IStream** out);

  IStream* markerStream_ = nullptr;
  IStream* infoStream_ = nullptr;
  IStream* loopStream_ = nullptr;
};

// A metadata source over lists of its own.
class ListMetadataSource
    : public ComObject<ListMetadataSource, PlainCount, ICvMetadataSource, ICvLoopInfo> {
 public:
  // A new source with one reference; empty without memory.
  static ComPtr<ListMetadataSource> Create();

  MetadataLists& Lists() { return lists_; }
  void* FindInterface(REFIID iid);

  HRESULT CV_STDCALL GetMarkerStream(IStream** stream) override { return lists_.MarkerStream(stream); }
  HRESULT CV_STDCALL GetSecondRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetThirdRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) override {
    return lists_.InfoText(id, buffer, length);
  }
  HRESULT CV_STDCALL GetInfoStream(IStream** stream) override { return lists_.InfoStream(stream); }
  HRESULT CV_STDCALL GetAcid(void* acid) override { return lists_.Acid(acid); }
  HRESULT CV_STDCALL GetStrcHeader(void* header) override { return lists_.StrcHeader(header); }
  HRESULT CV_STDCALL GetLoopStream(IStream** stream) override { return lists_.LoopStream(stream); }

 private:
  MetadataLists lists_;
};

}  // namespace cv
