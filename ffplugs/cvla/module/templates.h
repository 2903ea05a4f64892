// The plug-in's render templates: the default record the renderer's working
// template starts from, the four built-in records, and the texts that name and
// describe them.
#pragma once

#include "ffplugs/cvla/host_records.h"

#include <cstdint>
#include <string>

namespace cvla {

constexpr uint32_t kTemplateCount = 5;  // position 0 = working template, 1..4 built-in
constexpr uint32_t kBuiltInTemplates = 4;

// The default record: stereo 44100 Hz 16-bit PCM, one stream.
const qla::RenderTemplate& DefaultTemplateRecord();
// Built-in record 1..4; null for any other position.
const qla::RenderTemplate* BuiltInTemplateRecord(uint32_t position);

// The format part of a description, e.g. "Stereo, 44,100 Hz, 16 bit"; empty for
// a stream count of 0.
std::string FormatPartText(const qla::TemplateFormatBlock& block);
// Name (text 1) and description (text 2 with the format part) of a working
// template, written into the record as UTF-16, cut to 260 units.
void ComposeWorkingTemplateTexts(qla::RenderTemplate* record);
// Brings a prepared template's format to what the file format stores: a bit
// depth other than 16 and 24 becomes 16 (below 16) or 24, with the block
// alignment and byte rate that follow and cbSize 0; a format tag other than PCM
// (1) and float (3) becomes PCM below 32 bits, else float.
void NormaliseTemplateFormat(WAVEFORMATEX* format);
// Name and description of a built-in template from its own text ids.
void FillBuiltInTemplateTexts(qla::RenderTemplate* record);

}  // namespace cvla
