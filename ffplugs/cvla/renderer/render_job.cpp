#include "ffplugs/cvla/renderer/render_job.h"

#include "ffplugs/cvla/renderer/file_encoder.h"
#include "krn/metadata_io.h"
#include "krn/platform/codepage.h"
#include "krn/platform/memory.h"
#include "krn/com_guard.h"
#include "krn/results.h"

#include <cstring>

namespace qla {

namespace {

constexpr uint32_t kDefaultMetadataRate = 44100;

// The format fields a job takes from its source stream, with the derived ones
// recomputed for PCM.
void AdoptFormat(const WAVEFORMATEX& source, WAVEFORMATEX* target) {
  target->wFormatTag = source.wFormatTag;
  target->nChannels = source.nChannels;
  target->nSamplesPerSec = source.nSamplesPerSec;
  target->wBitsPerSample = source.wBitsPerSample;
  target->nBlockAlign = static_cast<uint16_t>(source.wBitsPerSample / 8 * source.nChannels);
  target->nAvgBytesPerSec = target->nBlockAlign * source.nSamplesPerSec;
  target->cbSize = 0;
}

}  // namespace

QlaRenderJob* NewRenderJob(cv::ICvFileRenderer* renderer, cv::ICvTemplateStore* store,
                           RenderTemplate* renderTemplate) {
  return cvplat::NewZeroed<QlaRenderJob>(renderer, store, renderTemplate);
}

QlaRenderJob::QlaRenderJob(cv::ICvFileRenderer* renderer, cv::ICvTemplateStore* store,
                           RenderTemplate* renderTemplate)
    : renderer_(cv::ComPtr<cv::ICvFileRenderer>::Share(renderer)),
      store_(cv::ComPtr<cv::ICvTemplateStore>::Share(store)),
      template_(renderTemplate) {}

void* QlaRenderJob::FindInterface(REFIID iid) {
  if (iid == cv::IID_ICvRenderJob || iid == cv::kIID_IUnknown) return static_cast<cv::ICvRenderJob*>(this);
  if (iid == cv::IID_ICvRenderJobFormat) return static_cast<cv::ICvRenderJobFormat*>(this);
  return nullptr;
}

void QlaRenderJob::Destroy() {
  // The template goes back through the renderer before the job lets go of it.
  if (renderer_ && template_) renderer_->FreeTemplate(template_);
  template_ = nullptr;
  cvplat::DeleteZeroed(this);
}

HRESULT QlaRenderJob::GetRenderer(cv::ICvFileRenderer** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (!renderer_) return cv::kE_NOTIMPL;
  return renderer_->QueryInterface(cv::IID_ICvFileRenderer, reinterpret_cast<void**>(out));
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::GetRendererObject(IUnknown** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (!renderer_) return cv::kE_NOINTERFACE;
  *out = cv::ComPtr<cv::ICvFileRenderer>::Share(renderer_.Get()).Detach();
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::Reserved4() { return cv::kS_OK; }
HRESULT QlaRenderJob::Reserved5() { return cv::kE_NOTIMPL; }
HRESULT QlaRenderJob::Reserved6() { return cv::kE_NOTIMPL; }
HRESULT QlaRenderJob::Reserved11() { return cv::kE_NOTIMPL; }
HRESULT QlaRenderJob::Reserved12() { return cv::kE_NOTIMPL; }
HRESULT QlaRenderJob::Reserved19() { return cv::kE_NOTIMPL; }
HRESULT QlaRenderJob::Reserved20() { return cv::kE_NOTIMPL; }

HRESULT QlaRenderJob::SetFileName(const wchar16* name) try {
  if (!name) return cv::kS_OK;
  const size_t length = cvplat::WideLength(name);
  fileNameCut_ = length >= kRenderFileNameLength;
  const size_t kept = fileNameCut_ ? kRenderFileNameLength - 1 : length;
  std::memcpy(fileName_, name, kept * sizeof(wchar16));
  fileName_[kept] = 0;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::GetFileName(wchar16* buffer, uint32_t length) try {
  if (!buffer) return cv::kE_POINTER;
  if (length == 0) return cv::kS_OK;
  uint32_t i = 0;
  for (; i + 1 < length && fileName_[i] != 0; ++i) buffer[i] = fileName_[i];
  buffer[i] = 0;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::AnsiFileName(std::string* out) const {
  constexpr size_t kMaxAnsiPath = 260;
  if (fileNameCut_ || !cvplat::WideToAnsiExact(fileName_, out) || out->size() >= kMaxAnsiPath)
    return cv::CVERR_BAD_FILE_NAME;
  return cv::kS_OK;
}

HRESULT QlaRenderJob::GetStreamCount(uint32_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = template_ && template_->format ? template_->format->streamCount : 0;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::GetTemplate(void** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (!template_) return cv::kE_UNEXPECTED;
  if (!store_) return cv::kE_NOINTERFACE;
  void* copy = store_->CreateTemplate();
  if (!copy) return cv::kE_OUTOFMEMORY;
  const HRESULT hr = store_->CopyTemplate(copy, template_);
  if (cv::Failed(hr)) {
    store_->FreeTemplate(copy);
    return hr;
  }
  *out = copy;
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::FreeTemplate(void* handle) try {
  if (handle && store_) store_->FreeTemplate(handle);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::AddStream(IUnknown* stream, uint32_t /*index: the list keeps the order of the calls*/) try {
  if (!stream) return cv::kE_POINTER;
  streams_.push_back(cv::ComPtr<IUnknown>::Share(stream));
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::SetMetadata(cv::ICvMetadataSource* metadata) try {
  metadata_ = cv::ComPtr<cv::ICvMetadataSource>::Share(metadata);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::AdoptStreamFormat() try {
  if (streams_.empty()) return cv::kE_INVALIDARG;
  if (!template_ || !template_->format) return cv::kE_UNEXPECTED;
  cv::ComPtr<cv::ICvAudioStream> stream;
  HRESULT hr = streams_[0].As(cv::IID_ICvAudioStream, &stream);
  if (cv::Failed(hr) || !stream) return cv::Failed(hr) ? hr : cv::kE_NOINTERFACE;
  const WAVEFORMATEX* format = nullptr;
  const void* extra = nullptr;
  hr = stream->GetFormatPointers(&format, &extra);
  if (cv::Succeeded(hr) && !format) hr = cv::kE_POINTER;
  if (cv::Succeeded(hr)) {
    AdoptFormat(*format, &template_->format->format);
    if (template_->format->alternative) AdoptFormat(*format, template_->format->alternative);
  }
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::Render(cv::ICvProgressSink* progress) try {
  std::string fileName;
  HRESULT hr = AnsiFileName(&fileName);
  if (cv::Failed(hr)) return hr;
  if (streams_.empty()) return cv::CVERR_NO_AUDIO;
  const HRESULT encoded = EncodeFile(progress, fileName.c_str(), streams_[0].Get(), template_);
  if (cv::Failed(encoded) || !metadata_) return encoded;

  uint32_t sampleRate = template_ && template_->format ? template_->format->format.nSamplesPerSec : 0;
  if (sampleRate == 0) sampleRate = kDefaultMetadataRate;
  hr = cv::AppendMetadata(fileName.c_str(), true, false, sampleRate, metadata_.Get());
  if (cv::Failed(hr)) return hr;
  hr = cv::WriteLoopInfo(fileName.c_str(), metadata_.Get(), false);
  return cv::Failed(hr) ? hr : encoded;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderJob::WriteMetadata(uint32_t sampleRate) try {
  std::string fileName;
  HRESULT hr = AnsiFileName(&fileName);
  if (cv::Failed(hr)) return hr;
  hr = cv::UpdateMetadata(fileName.c_str(), false, sampleRate, metadata_.Get(), cv::kMetadataMarkers);
  if (cv::Failed(hr)) return hr;
  return cv::WriteLoopInfo(fileName.c_str(), metadata_.Get(), false);
} CV_COM_CATCH_RETURN()

}  // namespace qla
