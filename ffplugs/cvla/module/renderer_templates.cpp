// The renderer's template operations. Every record lives in the host's template
// store: the working template (position 0, prepared from the default record),
// the selected template (what the host's dialogs edit and what a render job
// copies), and the copies handed to the host and to render jobs.
#include "ffplugs/cvla/module/renderer.h"

#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/module/templates.h"
#include "ffplugs/cvla/plugin_texts.h"
#include "krn/platform/codepage.h"
#include "krn/com_guard.h"
#include "krn/results.h"

namespace cvla {

namespace {

// Copies a record text into a caller's buffer, cut to fit and terminated.
void CopyTemplateText(const wchar16* text, wchar16* buffer, uint32_t length) {
  if (length == 0) return;
  uint32_t i = 0;
  for (; i + 1 < length && i < qla::kTemplateTextLength && text[i] != 0; ++i) buffer[i] = text[i];
  buffer[i] = 0;
}

}  // namespace

qla::RenderTemplate* QlaRenderer::CopyToNewTemplate(const void* source, HRESULT* result) {
  if (!store_) {
    *result = cv::kE_NOINTERFACE;
    return nullptr;
  }
  void* handle = store_->CreateTemplate();
  if (!handle) {
    *result = cv::kE_OUTOFMEMORY;
    return nullptr;
  }
  *result = source ? store_->CopyTemplate(handle, source) : cv::kS_OK;
  if (cv::Failed(*result)) {
    store_->FreeTemplate(handle);
    return nullptr;
  }
  return static_cast<qla::RenderTemplate*>(handle);
}

HRESULT QlaRenderer::EnsureSelectedTemplate() {
  if (selected_) return cv::kS_OK;
  HRESULT hr = cv::kS_OK;
  selected_ = CopyToNewTemplate(nullptr, &hr);
  return hr;
}

HRESULT QlaRenderer::PrepareWorkingTemplate(const qla::RenderTemplate* source) {
  HRESULT hr = cv::kS_OK;
  if (!working_) {
    working_ = CopyToNewTemplate(&DefaultTemplateRecord(), &hr);
    if (!working_) return hr;
  }
  if (source) {
    hr = store_->CopyTemplate(working_, source);
    working_->flags = qla::kTemplateFlagsPrepared;
  }
  if (working_->format) NormaliseTemplateFormat(&working_->format->format);
  ComposeWorkingTemplateTexts(working_);
  return hr;
}

HRESULT QlaRenderer::GetTemplateCount(uint32_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = kTemplateCount;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetTemplateName(uint32_t index, wchar16* buffer, uint32_t length) try {
  if (index >= kTemplateCount) return cv::kS_FALSE;
  if (!buffer) return cv::kE_POINTER;
  if (index == 0) {
    if (!working_) return cv::kE_UNEXPECTED;
    CopyTemplateText(working_->name, buffer, length);
    return cv::kS_OK;
  }
  cvplat::CopyAnsiToWideBuffer(SharedText(BuiltInTemplateRecord(index)->nameId), buffer, length);
  return cv::kS_FALSE;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetTemplateDescription(uint32_t index, wchar16* buffer, uint32_t length) try {
  if (index >= kTemplateCount) return cv::kS_FALSE;
  if (!buffer) return cv::kE_POINTER;
  if (index == 0) {
    if (!working_) return cv::kE_UNEXPECTED;
    CopyTemplateText(working_->description, buffer, length);
    return cv::kS_OK;
  }
  cvplat::CopyAnsiToWideBuffer(SharedText(BuiltInTemplateRecord(index)->descriptionId), buffer, length);
  return cv::kS_FALSE;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::SelectTemplate(uint32_t index) try {
  if (index >= kTemplateCount) return cv::kS_FALSE;
  if (index == 0 && !working_) {
    const HRESULT prepared = PrepareWorkingTemplate(nullptr);
    if (!working_) return prepared;
  }
  HRESULT hr = EnsureSelectedTemplate();
  if (cv::Failed(hr)) return hr;
  if (index == 0) {
    hr = store_->CopyTemplate(selected_, working_);
    selected_->builtInIndex = 0;
    if (cv::Succeeded(hr)) modified_ = 0;
    return hr;
  }
  hr = store_->CopyTemplate(selected_, BuiltInTemplateRecord(index));
  if (cv::Failed(hr)) return hr;
  FillBuiltInTemplateTexts(selected_);
  selected_->builtInIndex = index;
  modified_ = 0;
  return cv::kS_FALSE;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetTemplateFlags(uint32_t index, uint32_t* out) try {
  if (index >= kTemplateCount) return cv::kE_FAIL;
  if (!out) return cv::kE_POINTER;
  *out = qla::kTemplateFlagsPrepared;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::SaveTemplate(const void* key, uint32_t clearModified) try {
  if (!store_) return cv::kE_NOINTERFACE;
  if (!selected_) return cv::kE_UNEXPECTED;
  const HRESULT hr = store_->SaveTemplate(selected_, key);
  if (cv::Succeeded(hr) && clearModified) modified_ = 0;
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::LoadTemplate(const void* key) try {
  HRESULT hr = cv::kS_OK;
  qla::RenderTemplate* loaded = CopyToNewTemplate(nullptr, &hr);
  if (!loaded) return hr;
  hr = store_->LoadTemplate(loaded, key, qla::kTemplateFlagsPrepared);
  if (cv::Failed(hr)) {
    store_->FreeTemplate(loaded);
    return hr;
  }
  if (selected_) store_->FreeTemplate(selected_);
  selected_ = loaded;
  modified_ = 0;
  return hr;
} CV_COM_CATCH_RETURN()

uint32_t QlaRenderer::IsTemplateUnmodified() { return modified_ == 0 ? 1 : 0; }

HRESULT QlaRenderer::PrepareTemplate(void* renderTemplate) try {
  return PrepareWorkingTemplate(static_cast<const qla::RenderTemplate*>(renderTemplate));
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetCurrentTemplate(void** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  // Without a selected template the host gets the working template, as a
  // render job would.
  const qla::RenderTemplate* current = selected_ ? selected_ : working_;
  if (!current) return cv::kE_UNEXPECTED;
  HRESULT hr = cv::kS_OK;
  qla::RenderTemplate* copy = CopyToNewTemplate(current, &hr);
  if (!copy) return hr;
  if (copy->trailing) static_cast<uint32_t*>(copy->trailing)[1] = 0;
  *out = copy;
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::SetCurrentTemplate(const void* renderTemplate) try {
  if (!renderTemplate) return cv::kE_POINTER;
  HRESULT hr = EnsureSelectedTemplate();
  if (cv::Failed(hr)) return hr;
  hr = store_->CopyTemplate(selected_, renderTemplate);
  if (cv::Succeeded(hr)) modified_ = 1;
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::FreeTemplate(void* renderTemplate) try {
  if (renderTemplate && store_) store_->FreeTemplate(renderTemplate);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

}  // namespace cvla
