#include "ffplugs/cvla/plugin_texts.h"

#include "krn/shared_services.h"
#include "krn/string_table.h"

namespace cvla {

namespace {

cv::StringTable* g_plugInStrings = nullptr;

const char* const kTemplateTexts[] = {
    /* 1 */ "Default Template",
    /* 2 */
    "Render %s Corvane Quartzline Audio (.qla) file.  The compression ratio of this lossless format depends on the "
    "audio source.",
    /* 3 */ "Mono",
    /* 4 */ "Stereo",
    /* 5 */ "Audio Stream $d",
    /* 6 */ "Corvane Quartzline Audio (.qla) format contains audio data",
    /* 7 */ "Corvane Quartzline Audio",
    /* 8 */ "*.qla",
    /* 9 */ "Mono, 44.1 kHz, 16 bit audio",
    /* 10 */
    "Mono, 44.1 kHz, 16 bit Corvane Quartzline Audio (.qla). The compression ratio of this lossless format depends "
    "on the audio source.",
    /* 11 */ "Stereo, 44.1 kHz, 16 bit audio",
    /* 12 */
    "Stereo, 44.1 kHz, 16 bit Corvane Quartzline Audio (.qla). The compression ratio of this lossless format "
    "depends on the audio source.",
    /* 13 */ "Multiple Mono, 44.1 kHz, 16 bit audio",
    /* 14 */
    "Mono, 44.1 kHz, 16 bit Corvane Quartzline Audio (.qla). The compression ratio of this lossless format depends "
    "on the audio source.",
    /* 15 */ "Multiple Stereo, 44.1 kHz, 16 bit audio",
    /* 16 */
    "Stereo, 44.1 kHz, 16 bit Corvane Quartzline Audio (.qla). The compression ratio of this lossless format "
    "depends on the audio source.",
    /* 17 */ "%s, $d Hz, %d bit",
};

const char* const kPageTitle[] = {
    /* 1000 */ "Corvane Quartzline Audio (.qla)",
};

const char* const kChannelWords[] = {
    /* 1008 */ "Mono",
    /* 1009 */ "Stereo",
    /* 1010 */ "Multiple Mono",
    /* 1011 */ "Multiple Stereo",
    /* 1012 */ "Multi-channel",
};

const char* const kFileTypeTexts[] = {
    /* 1013 */ "Corvane Quartzline Audio",
    /* 1014 */ "*.qla",
    /* 1015 */ "Open Corvane Quartzline Audio file",
};

const char* const kStreamTexts[] = {
    /* 1020 */ "Corvane Quartzline Audio",
    /* 1021 */ "%d kBit/s",
};

const char* const kInfoRecordTexts[] = {
    /* 1032 */ "Copyright (C) Corvane. All rights reserved.",
    /* 1033 */ " File Format Plug-in.",
};

const char* const kStreamFormatTexts[] = {
    /* 4151 */ "Mono",
    /* 4152 */ "Stereo",
    /* 4153 */ "%d Channels",
    /* 4154 */ "$d Hz$, %d-bit$, %s",
};

const char* const kDisplayName[] = {
    /* 1227 */ "Corvane Quartzline Audio",
};

template <size_t N>
constexpr TextRange Range(uint32_t firstId, const char* const (&texts)[N]) {
  return TextRange{firstId, static_cast<uint32_t>(N), texts};
}

const TextRange kShared[] = {Range(1, kTemplateTexts), Range(1000, kPageTitle), Range(1008, kChannelWords)};
const TextRange kPlugIn[] = {Range(1013, kFileTypeTexts), Range(1020, kStreamTexts), Range(1032, kInfoRecordTexts), Range(1227, kDisplayName),
                            Range(4151, kStreamFormatTexts)};

const char* FindIn(const TextRange* ranges, size_t count, uint32_t id) {
  for (size_t i = 0; i < count; ++i) {
    if (id >= ranges[i].firstId && id - ranges[i].firstId < ranges[i].count) return ranges[i].texts[id - ranges[i].firstId];
  }
  return nullptr;
}

}  // namespace

const TextRange* SharedTextRanges(size_t* count) {
  *count = sizeof(kShared) / sizeof(kShared[0]);
  return kShared;
}

const TextRange* PlugInTextRanges(size_t* count) {
  *count = sizeof(kPlugIn) / sizeof(kPlugIn[0]);
  return kPlugIn;
}

const char* BuiltInText(uint32_t id) {
  if (const char* t = FindIn(kShared, sizeof(kShared) / sizeof(kShared[0]), id)) return t;
  return FindIn(kPlugIn, sizeof(kPlugIn) / sizeof(kPlugIn[0]), id);
}

void SetPlugInStringTable(cv::StringTable* table) { g_plugInStrings = table; }

cv::StringTable* PlugInStringTable() { return g_plugInStrings; }

const char* PlugInText(uint32_t id) {
  // Without its table (a failed start-up) the plug-in answers empty texts.
  if (!g_plugInStrings) return "";
  return cv::CvGetString2(g_plugInStrings, id);
}

const char* SharedText(uint32_t id) { return cv::CvGetString2(cv::ProcessStringTable(), id); }

}  // namespace cvla
