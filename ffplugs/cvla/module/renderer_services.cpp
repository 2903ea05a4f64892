// The renderer's render jobs, format page, information record and INFO code
// enumeration.
#include "ffplugs/cvla/module/renderer.h"

#include "ffplugs/cvla/module/format_page.h"
#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/plugin_texts.h"
#include "ffplugs/cvla/qla_format.h"
#include "ffplugs/cvla/renderer/render_job.h"
#include "krn/platform/module_path.h"
#include "krn/com_guard.h"
#include "krn/results.h"

#include <string>

namespace cvla {

namespace {

// The INFO codes the renderer writes, in the order it enumerates them.
constexpr char kInfoCodes[][5] = {"IARL", "IART", "ICMS", "ICMT", "ICOP", "ICRD", "ICRP", "IDIM",
                                  "IDIT", "IDPI", "IENG", "IGNR", "IKEY", "ILGT", "IMED", "INAM",
                                  "IPLT", "IPRD", "ISBJ", "ISFT", "ISHP", "ISMP", "ISRC", "ISRF",
                                  "ITCH", "TLEN", "TRCK", "TURL", "DISP", "TVER", "LOCA", "TORG"};
constexpr uint32_t kInfoCodeCount = sizeof(kInfoCodes) / sizeof(kInfoCodes[0]);
constexpr uint32_t kInfoTextLimit = 1024;

// The texts of the information record, made once per process.
struct PlugInInfoTexts {
  std::string title = std::string(PlugInText(text::kFormatDisplayName)) + PlugInText(text::kPlugInSuffix);
  std::string legalNotice = PlugInText(text::kLegalNotice);
  std::string modulePath = cvplat::ModuleFileName(Module().module);
};

}  // namespace

HRESULT QlaRenderer::CreateRenderJob(cv::ICvRenderJob** out, const wchar16* fileName, uint32_t count,
                                     IUnknown* const* streams) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (count != 0 && !streams) return cv::kE_POINTER;
  // The job renders its own copy, so later template changes do not reach it.
  const qla::RenderTemplate* source = selected_ ? selected_ : working_;
  qla::RenderTemplate* jobTemplate = nullptr;
  if (source) {
    HRESULT hr = cv::kS_OK;
    jobTemplate = CopyToNewTemplate(source, &hr);
    if (!jobTemplate) return hr;
  }
  qla::QlaRenderJob* job = qla::NewRenderJob(this, store_.Get(), jobTemplate);
  if (!job) {
    FreeTemplate(jobTemplate);
    return cv::kE_OUTOFMEMORY;
  }
  job->AddRef();  // held while the job is filled, so a failure frees it
  HRESULT hr = job->SetFileName(fileName);
  for (uint32_t i = 0; i < count && cv::Succeeded(hr); ++i) hr = job->AddStream(streams[i], i);
  if (cv::Succeeded(hr)) hr = job->QueryInterface(cv::IID_ICvRenderJob, reinterpret_cast<void**>(out));
  job->Release();
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::CreatePropertyPage(uint32_t index, IUnknown** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (index >= 1) return cv::kE_NOINTERFACE;
  return CreateFormatPage(static_cast<cv::ICvFileRenderer*>(this), out);
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::GetPlugInInfo(void* record) try {
  if (!record) return cv::kE_POINTER;
  static const PlugInInfoTexts texts;
  auto* info = static_cast<qla::PlugInInfoRecord*>(record);
  info->title = texts.title.c_str();
  info->legalNotice = texts.legalNotice.c_str();
  info->version = "Version 1.2 (Build 144)";
  info->modulePath = texts.modulePath.c_str();
  info->blockFrames = qla::kFramesPerBlock;
  info->homePage = "http://www.corvane.com/";
  info->supportPage = "http://www.corvane.com/support/";
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::Reset() try {
  tagPosition_ = 0;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaRenderer::Next(uint32_t* code, uint32_t* value) try {
  if (tagPosition_ >= kInfoCodeCount) return cv::kS_FALSE;
  const char* id = kInfoCodes[tagPosition_++];
  if (code) *code = qla::LoadU32(reinterpret_cast<const uint8_t*>(id));
  if (value) *value = kInfoTextLimit;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

}  // namespace cvla
