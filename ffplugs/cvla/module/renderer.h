// QlaRenderer: the writing descriptor of the format. It names the format, keeps
// the working and the selected render template in the host's template store,
// makes render jobs and the format page, and enumerates the INFO codes it
// writes (its second interface, ICvInfoTagEnum).
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/host_records.h"
#include "krn/com_object.h"
#include "krn/com_ptr.h"

#include <cstdint>

namespace cvla {

constexpr uint32_t kRendererAttributes = 1;

class QlaRenderer final
    : public cv::ComObject<QlaRenderer, cv::PlainCount, cv::ICvFileRenderer, cv::ICvInfoTagEnum> {
 public:
  void* FindInterface(REFIID iid);
  void FinalRelease() { Destroy(); }
  HRESULT CV_STDCALL SetIndex(uint32_t index) override;
  uint32_t CV_STDCALL GetIndex() override;
  HRESULT CV_STDCALL SetHost(cv::ICvFileHost* host) override;
  HRESULT CV_STDCALL GetHost(cv::ICvFileHost** out) override;
  HRESULT CV_STDCALL GetClassGuid(GUID* out) override;
  HRESULT CV_STDCALL GetAttributes(uint32_t* out) override;
  HRESULT CV_STDCALL GetFlags(uint32_t* out) override;
  HRESULT CV_STDCALL FindFileType(void* out) override;
  HRESULT CV_STDCALL GetStrings(wchar16* description, uint32_t descriptionLength, wchar16* filter,
                                uint32_t filterLength, wchar16* name, uint32_t nameLength) override;
  HRESULT CV_STDCALL Reserved12(uint32_t a, uint32_t b, uint32_t c) override;
  HRESULT CV_STDCALL CreateRenderJob(cv::ICvRenderJob** out, const wchar16* fileName, uint32_t count,
                                     IUnknown* const* streams) override;
  HRESULT CV_STDCALL GetTemplateCount(uint32_t* out) override;
  HRESULT CV_STDCALL GetTemplateName(uint32_t index, wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL GetTemplateDescription(uint32_t index, wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL SelectTemplate(uint32_t index) override;
  HRESULT CV_STDCALL GetTemplateFlags(uint32_t index, uint32_t* out) override;
  HRESULT CV_STDCALL SaveTemplate(const void* key, uint32_t clearModified) override;
  HRESULT CV_STDCALL LoadTemplate(const void* key) override;
  HRESULT CV_STDCALL Reserved21(uint32_t a, uint32_t b) override;
  uint32_t CV_STDCALL IsTemplateUnmodified() override;
  HRESULT CV_STDCALL PrepareTemplate(void* renderTemplate) override;
  HRESULT CV_STDCALL GetCurrentTemplate(void** out) override;
  HRESULT CV_STDCALL SetCurrentTemplate(const void* renderTemplate) override;
  HRESULT CV_STDCALL FreeTemplate(void* renderTemplate) override;
  HRESULT CV_STDCALL Reserved27() override;
  HRESULT CV_STDCALL CreatePropertyPage(uint32_t index, IUnknown** out) override;
  HRESULT CV_STDCALL Reserved29(uint32_t a, uint32_t b) override;
  HRESULT CV_STDCALL Reserved30() override;
  HRESULT CV_STDCALL GetPlugInInfo(void* record) override;
  void CV_STDCALL Destroy() override;

  HRESULT CV_STDCALL Reset() override;
  HRESULT CV_STDCALL Next(uint32_t* code, uint32_t* value) override;

  // The working template (null until the host was set or PrepareTemplate ran).
  qla::RenderTemplate* WorkingTemplate() const { return working_; }

 private:
  // Creates the working template from the default record when it is missing,
  // copies `source` into it when given, normalises its format and composes its
  // name and description. Returns the copy's result.
  [[nodiscard]] HRESULT PrepareWorkingTemplate(const qla::RenderTemplate* source);
  // A new store record filled from `source`; null with the reason in *result.
  qla::RenderTemplate* CopyToNewTemplate(const void* source, HRESULT* result);
  // Creates the selected template when it is missing (E_OUTOFMEMORY, or
  // E_NOINTERFACE without a store).
  [[nodiscard]] HRESULT EnsureSelectedTemplate();
  void FreeOwnTemplates();

  cv::ComPtr<cv::ICvFileHost> host_;
  cv::ComPtr<cv::ICvTemplateStore> store_;  // the host's store, or none
  uint32_t index_ = 0;
  qla::RenderTemplate* selected_ = nullptr;
  int32_t modified_ = 0;
  qla::RenderTemplate* working_ = nullptr;
  uint32_t tagPosition_ = 0;
};

}  // namespace cvla
