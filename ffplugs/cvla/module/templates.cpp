#include "ffplugs/cvla/module/templates.h"

#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/plugin_texts.h"
#include "krn/platform/codepage.h"
#include "krn/text_format.h"

#include <cstring>

namespace cvla {

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint16_t kBits = 16;

qla::TemplateFormatBlock MakeFormat(uint16_t channels, uint32_t streamCount) {
  WAVEFORMATEX format{};
  format.wFormatTag = 1;
  format.nChannels = channels;
  format.nSamplesPerSec = kRate;
  format.nBlockAlign = static_cast<uint16_t>(channels * kBits / 8);
  format.nAvgBytesPerSec = kRate * format.nBlockAlign;
  format.wBitsPerSample = kBits;
  format.cbSize = 0;
  return qla::MakeTemplateFormat(format, streamCount);
}

qla::RenderTemplate MakeRecord(uint32_t flags, uint32_t builtIn, uint32_t nameId, uint32_t descriptionId,
                               qla::TemplateFormatBlock* format) {
  qla::RenderTemplate record = qla::MakeRenderTemplate(format, flags);
  record.builtInIndex = builtIn;
  record.nameId = nameId;
  record.descriptionId = descriptionId;
  return record;
}

qla::TemplateFormatBlock g_defaultFormat = MakeFormat(2, 1);
qla::TemplateFormatBlock g_builtInFormats[kBuiltInTemplates] = {MakeFormat(1, 1), MakeFormat(2, 1), MakeFormat(1, 2),
                                                                 MakeFormat(2, 2)};

const qla::RenderTemplate g_default =
    MakeRecord(qla::kTemplateFlagsPrepared, 0, text::kDefaultTemplateName, text::kRenderDescription, &g_defaultFormat);
const qla::RenderTemplate g_builtIn[kBuiltInTemplates] = {
    MakeRecord(qla::kTemplateFlagsBuiltIn, 1, 9, 10, &g_builtInFormats[0]),
    MakeRecord(qla::kTemplateFlagsBuiltIn, 1, 11, 12, &g_builtInFormats[1]),
    MakeRecord(qla::kTemplateFlagsBuiltIn, 1, 13, 14, &g_builtInFormats[2]),
    MakeRecord(qla::kTemplateFlagsBuiltIn, 1, 15, 16, &g_builtInFormats[3]),
};

void StoreText(const char* text, wchar16* field) {
  std::memset(field, 0, qla::kTemplateTextLength * sizeof(wchar16));
  cvplat::CopyAnsiToWideBuffer(text, field, qla::kTemplateTextLength);
}

}  // namespace

const qla::RenderTemplate& DefaultTemplateRecord() { return g_default; }

const qla::RenderTemplate* BuiltInTemplateRecord(uint32_t position) {
  if (position < 1 || position > kBuiltInTemplates) return nullptr;
  return &g_builtIn[position - 1];
}

std::string FormatPartText(const qla::TemplateFormatBlock& block) {
  if (block.streamCount == 0) return std::string();
  const char* channels = SharedText(block.format.nChannels == 1 ? text::kMono : text::kStereo);
  char buffer[qla::kTemplateTextLength + 1] = {};
  cv::ExpandText(buffer, sizeof(buffer), SharedText(text::kFormatPart), channels,
                 static_cast<int>(block.format.nSamplesPerSec), static_cast<int>(block.format.wBitsPerSample));
  return buffer;
}

void ComposeWorkingTemplateTexts(qla::RenderTemplate* record) {
  StoreText(SharedText(text::kDefaultTemplateName), record->name);
  std::string part = record->format ? FormatPartText(*record->format) : std::string();
  char description[1024] = {};
  cv::ExpandText(description, sizeof(description), SharedText(text::kRenderDescription), part.c_str());
  StoreText(description, record->description);
}

void NormaliseTemplateFormat(WAVEFORMATEX* format) {
  constexpr uint16_t kPcm = 1;
  constexpr uint16_t kFloat = 3;
  if (format->wBitsPerSample != 16 && format->wBitsPerSample != 24) {
    format->wBitsPerSample = format->wBitsPerSample < 16 ? 16 : 24;
    format->nBlockAlign = static_cast<uint16_t>(format->wBitsPerSample / 8 * format->nChannels);
    format->nAvgBytesPerSec = format->nBlockAlign * format->nSamplesPerSec;
    format->cbSize = 0;
  }
  if (format->wFormatTag != kPcm && format->wFormatTag != kFloat)
    format->wFormatTag = format->wBitsPerSample < 32 ? kPcm : kFloat;
}

void FillBuiltInTemplateTexts(qla::RenderTemplate* record) {
  StoreText(SharedText(record->nameId), record->name);
  StoreText(SharedText(record->descriptionId), record->description);
}

}  // namespace cvla
