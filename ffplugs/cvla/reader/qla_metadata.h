// QlaMetadata: the reader's metadata object. It reads the file's markers, INFO
// fields and loop information on first request and hands them to the host as
// memory streams. Its references count on the reader; the reader destroys it.
#pragma once

#include "krn/com_object.h"
#include "krn/list_metadata_source.h"
#include "krn/metadata_source.h"

namespace cvla {

class QlaReader;
class QlaMetadata;

namespace metadata_detail {
class LoopPart final : public cv::ComPart<QlaMetadata, cv::ICvLoopInfo> {
 public:
  using ComPart::ComPart;
  HRESULT CV_STDCALL GetAcid(void* acid) override;
  HRESULT CV_STDCALL GetStrcHeader(void* header) override;
  HRESULT CV_STDCALL GetLoopStream(IStream** stream) override;
};
}  // namespace metadata_detail

class QlaMetadata final : public cv::OwnedComObject<QlaMetadata, cv::ICvMetadataSource> {
 public:
  explicit QlaMetadata(QlaReader* reader) : reader_(reader), loopPart_(this) {}

  void* FindInterface(REFIID iid);
  // The reader: each reference to the metadata object is one to the reader.
  IUnknown* Owner() const;
  HRESULT CV_STDCALL GetMarkerStream(IStream** stream) override;
  HRESULT CV_STDCALL GetSecondRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetThirdRecordStream(IStream** stream) override;
  HRESULT CV_STDCALL GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL GetInfoStream(IStream** stream) override;

  // Releases the streams and frees the object (the reader's destructor).
  void Destroy();

  [[nodiscard]] HRESULT GetAcid(void* acid);
  [[nodiscard]] HRESULT GetStrcHeader(void* header);
  [[nodiscard]] HRESULT GetLoopStream(IStream** stream);

 private:
  [[nodiscard]] HRESULT LoadLists();
  [[nodiscard]] HRESULT LoadLoops();

  QlaReader* reader_;
  metadata_detail::LoopPart loopPart_;
  cv::MetadataLists lists_;
  bool listsLoaded_ = false;
  HRESULT listsResult_ = 0;
  bool loopLoaded_ = false;
  HRESULT loopResult_ = 0;
};

}  // namespace cvla
