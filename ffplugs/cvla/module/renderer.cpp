#include "ffplugs/cvla/module/renderer.h"

#include "ffplugs/cvla/module/file_type.h"
#include "ffplugs/cvla/module/host_language.h"
#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/plugin_texts.h"
#include "ffplugs/cvla/module/templates.h"
#include "krn/com_guard.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

namespace cvla {

HRESULT QlaRenderer::QueryInterface(REFIID iid, void** out) {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (iid != cv::IID_ICvFileRenderer && iid != cv::kIID_IUnknown) return cv::kE_NOINTERFACE;
  *out = static_cast<cv::ICvFileRenderer*>(this);
  AddRef();
  return cv::kS_OK;
}

ULONG QlaRenderer::AddRef() { return ++references_; }

ULONG QlaRenderer::Release() {
  if (--references_ != 0) return references_;
  Destroy();
  return 0;
}

void QlaRenderer::Destroy() {
  if (cv::ICvTemplateStore* store = TemplateStore()) {
    if (selected_) store->FreeTemplate(selected_);
    if (working_) store->FreeTemplate(working_);
    store->Release();
  }
  selected_ = working_ = nullptr;
  if (host_) host_->Release();
  host_ = nullptr;
  cvplat::DeleteZeroed(this);
}

HRESULT QlaRenderer::SetIndex(uint32_t index) try {
  index_ = index;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

uint32_t QlaRenderer::GetIndex() { return index_; }

cv::ICvTemplateStore* QlaRenderer::TemplateStore() {
  if (!host_) return nullptr;
  cv::ICvTemplateStore* store = nullptr;
  if (cv::Failed(host_->QueryInterface(cv::IID_ICvTemplateStore, reinterpret_cast<void**>(&store)))) return nullptr;
  return store;
}

HRESULT QlaRenderer::SetHost(cv::ICvFileHost* host) try {
  if (host) host->AddRef();
  if (host_) host_->Release();
  host_ = host;
  ApplyHostLanguage(host);
  if (!working_) PrepareWorkingTemplate();
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::PrepareWorkingTemplate() {
  if (!working_) {
    cv::ICvTemplateStore* store = TemplateStore();
    if (!store) return cv::kE_NOINTERFACE;
    void* handle = nullptr;
    HRESULT hr = store->CreateTemplate(&handle);
    if (cv::Succeeded(hr) && handle) hr = store->CopyTemplate(handle, &DefaultTemplateRecord());
    if (cv::Failed(hr) || !handle) {
      if (handle) store->FreeTemplate(handle);
      store->Release();
      return cv::Failed(hr) ? hr : cv::kE_OUTOFMEMORY;
    }
    store->Release();
    working_ = static_cast<qla::RenderTemplate*>(handle);
  }
  ComposeWorkingTemplateTexts(working_);
  return cv::kS_OK;
}

HRESULT QlaRenderer::GetHost(cv::ICvFileHost** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (!host_) return cv::kE_NOINTERFACE;
  host_->AddRef();
  *out = host_;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetClassGuid(GUID* out) try {
  if (!out) return cv::kE_POINTER;
  *out = cv::RendererClassGuid;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetAttributes(uint32_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = kRendererAttributes;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetFlags(uint32_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = Module().rendererFlags;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::FindFileType(void* out) try {
  if (!host_) return cv::kE_FAIL;
  return host_->FindFileType(out, &cv::FileTypeClassGuid);
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetStrings(wchar16* description, uint32_t descriptionLength, wchar16* filter,
                                uint32_t filterLength, wchar16* name, uint32_t nameLength) try {
  FillDescriptorStrings(SharedText(text::kRendererDescription), description, descriptionLength,
                        SharedText(text::kRendererFilter), filter, filterLength, SharedText(text::kRendererName), name,
                        nameLength);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

// The template, render-job and page operations belong to the rendering side,
// which this object does not carry yet.
HRESULT QlaRenderer::Reserved12(uint32_t, uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::CreateRenderJob(void**, const wchar16*, uint32_t, IUnknown**) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::GetTemplateCount(uint32_t*) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::GetTemplateName(uint32_t, wchar16*, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::GetTemplateDescription(uint32_t, wchar16*, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::SelectTemplate(uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::GetTemplateFlags(uint32_t, uint32_t*) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::SaveTemplate(const wchar16*, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::LoadTemplate(const wchar16*) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::Reserved21(uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
uint32_t QlaRenderer::IsTemplateUnmodified() { return static_cast<uint32_t>(cv::kE_NOTIMPL); }
HRESULT QlaRenderer::PrepareTemplate(void*) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::GetCurrentTemplate(void**) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::SetCurrentTemplate(const void*) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::FreeTemplate(void*) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::Reserved27() { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::CreatePropertyPage(uint32_t, void**) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::Reserved29(uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::Reserved30() { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::GetPlugInInfo(void*) { return cv::kE_NOTIMPL; }

}  // namespace cvla
