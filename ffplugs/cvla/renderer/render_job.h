// QlaRenderJob: one render of host audio into one ".qla" file. The host names
// the file, hands over its streams and optionally a metadata object, may let the
// job adopt the first stream's format, and calls Render, which encodes the first
// stream with the job's own template copy and then appends the metadata.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/host_records.h"
#include "krn/com_object.h"
#include "krn/com_ptr.h"
#include "krn/metadata_source.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qla {

constexpr uint32_t kRenderFileNameLength = 260;  // UTF-16 units, terminator included

class QlaRenderJob final
    : public cv::ComObject<QlaRenderJob, cv::PlainCount, cv::ICvRenderJob, cv::ICvRenderJobFormat> {
 public:
  // The job takes a reference on the renderer and on the store, and owns
  // `renderTemplate` (a store record, or null), which it frees through the
  // renderer at the end. Reference count 0: the creator queries ICvRenderJob.
  QlaRenderJob(cv::ICvFileRenderer* renderer, cv::ICvTemplateStore* store, RenderTemplate* renderTemplate);

  void* FindInterface(REFIID iid);
  void FinalRelease() { Destroy(); }

  HRESULT CV_STDCALL GetRenderer(cv::ICvFileRenderer** out) override;
  HRESULT CV_STDCALL Reserved4() override;
  HRESULT CV_STDCALL Reserved5() override;
  HRESULT CV_STDCALL Reserved6() override;
  HRESULT CV_STDCALL SetFileName(const wchar16* name) override;
  HRESULT CV_STDCALL GetFileName(wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL GetRendererObject(IUnknown** out) override;
  HRESULT CV_STDCALL GetStreamCount(uint32_t* out) override;
  HRESULT CV_STDCALL Reserved11() override;
  HRESULT CV_STDCALL Reserved12() override;
  HRESULT CV_STDCALL GetTemplate(void** out) override;
  HRESULT CV_STDCALL FreeTemplate(void* handle) override;
  HRESULT CV_STDCALL AddStream(IUnknown* stream, uint32_t index) override;
  HRESULT CV_STDCALL SetMetadata(cv::ICvMetadataSource* metadata) override;
  HRESULT CV_STDCALL Render(cv::ICvProgressSink* progress) override;
  HRESULT CV_STDCALL WriteMetadata(uint32_t sampleRate) override;
  HRESULT CV_STDCALL Reserved19() override;
  HRESULT CV_STDCALL Reserved20() override;
  void CV_STDCALL Destroy() override;

  HRESULT CV_STDCALL AdoptStreamFormat() override;

 private:
  // The file name in the ANSI code page; CVERR_BAD_FILE_NAME when the name was
  // cut or holds characters that the code page lacks (the file would otherwise
  // be written under a different name).
  [[nodiscard]] HRESULT AnsiFileName(std::string* out) const;

  cv::ComPtr<cv::ICvFileRenderer> renderer_;
  cv::ComPtr<cv::ICvTemplateStore> store_;  // or none
  wchar16 fileName_[kRenderFileNameLength] = {};
  bool fileNameCut_ = false;
  std::vector<cv::ComPtr<IUnknown>> streams_;
  cv::ComPtr<cv::ICvMetadataSource> metadata_;
  RenderTemplate* template_;
};

// Makes a job (count 0) or returns null when there is no memory; `renderTemplate`
// then stays the caller's.
QlaRenderJob* NewRenderJob(cv::ICvFileRenderer* renderer, cv::ICvTemplateStore* store,
                           RenderTemplate* renderTemplate);

}  // namespace qla
