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

void* QlaRenderer::FindInterface(REFIID iid) {
  if (iid == cv::IID_ICvFileRenderer || iid == cv::kIID_IUnknown) return static_cast<cv::ICvFileRenderer*>(this);
  if (iid == cv::IID_ICvInfoTagEnum) return static_cast<cv::ICvInfoTagEnum*>(this);
  return nullptr;
}

void QlaRenderer::FreeOwnTemplates() {
  if (store_) {
    if (selected_) store_->FreeTemplate(selected_);
    if (working_) store_->FreeTemplate(working_);
  }
  selected_ = working_ = nullptr;
}

void QlaRenderer::Destroy() {
  FreeOwnTemplates();
  cvplat::DeleteZeroed(this);
}

HRESULT QlaRenderer::SetIndex(uint32_t index) try {
  index_ = index;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

uint32_t QlaRenderer::GetIndex() { return index_; }

HRESULT QlaRenderer::SetHost(cv::ICvFileHost* host) try {
  if (host_.Get() != host) {
    // Templates live in the store of the host that made them.
    FreeOwnTemplates();
    store_.Reset();
    if (host && cv::Failed(host->QueryInterface(cv::IID_ICvTemplateStore, store_.PutVoid()))) store_.Reset();
  }
  host_ = cv::ComPtr<cv::ICvFileHost>::Share(host);
  ApplyHostLanguage(host);
  if (!working_) static_cast<void>(PrepareWorkingTemplate(nullptr));
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetHost(cv::ICvFileHost** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (!host_) return cv::kE_NOINTERFACE;
  *out = cv::ComPtr<cv::ICvFileHost>::Share(host_.Get()).Detach();
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

HRESULT QlaRenderer::Reserved12(uint32_t, uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::Reserved21(uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::Reserved27() { return cv::kS_FALSE; }
HRESULT QlaRenderer::Reserved29(uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT QlaRenderer::Reserved30() { return cv::kS_OK; }

}  // namespace cvla
