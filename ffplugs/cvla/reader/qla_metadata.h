// QlaMetadata: the reader's metadata object. It reads the file's markers, INFO
// fields and loop information on first request and hands them to the host as
// memory streams. Its references count on the reader; the reader destroys it.
#pragma once

#include "krn/list_metadata_source.h"
#include "krn/metadata_source.h"

#include <atomic>

namespace cvla {

class QlaReader;
class QlaMetadata;

namespace metadata_detail {
class LoopPart final : public cv::ICvLoopInfo {
 public:
  explicit LoopPart(QlaMetadata* owner) : owner_(owner) {}
  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override;
  ULONG CV_STDCALL AddRef() override;
  ULONG CV_STDCALL Release() override;
  HRESULT CV_STDCALL GetAcid(void* acid) override;
  HRESULT CV_STDCALL GetStrcHeader(void* header) override;
  HRESULT CV_STDCALL GetLoopStream(IStream** stream) override;

 private:
  QlaMetadata* owner_;
};
}  // namespace metadata_detail

class QlaMetadata final : public cv::ICvMetadataSource {
 public:
  explicit QlaMetadata(QlaReader* reader) : reader_(reader), loopPart_(this) {}

  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override;
  ULONG CV_STDCALL AddRef() override;
  ULONG CV_STDCALL Release() override;
  HRESULT CV_STDCALL GetMarkerStream(IStream** stream) override;
  HRESULT CV_STDCALL GetSecondRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetThirdRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL GetInfoStream(IStream** stream) override;

  // Releases the streams and frees the object (the reader's destructor).
  void Destroy();

  HRESULT GetAcid(void* acid);
  HRESULT GetStrcHeader(void* header);
  HRESULT GetLoopStream(IStream** stream);

 private:
  HRESULT LoadLists();
  HRESULT LoadLoops();

  std::atomic<LONG> references_{0};
  QlaReader* reader_;
  metadata_detail::LoopPart loopPart_;
  cv::MetadataLists lists_;
  bool listsLoaded_ = false;
  HRESULT listsResult_ = 0;
  bool loopLoaded_ = false;
  HRESULT loopResult_ = 0;
};

}  // namespace cvla
