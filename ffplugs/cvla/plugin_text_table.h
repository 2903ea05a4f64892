// The plug-in's numbered texts themselves: the one table from which the
// native build's built-in strings and the Windows string resources (written by
// cmake/rc_string_table.cpp at build time) are both made. It needs nothing but
// the TextRange record, so that the build's resource generator can include it.
#pragma once

#include "ffplugs/cvla/plugin_texts.h"

#include <cstddef>

namespace cvla::text_table {

inline constexpr const char* kTemplateTexts[] = {
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

inline constexpr const char* kPageTitle[] = {
    /* 1000 */ "Corvane Quartzline Audio (.qla)",
};

inline constexpr const char* kChannelWords[] = {
    /* 1008 */ "Mono",
    /* 1009 */ "Stereo",
    /* 1010 */ "Multiple Mono",
    /* 1011 */ "Multiple Stereo",
    /* 1012 */ "Multi-channel",
};

inline constexpr const char* kFileTypeTexts[] = {
    /* 1013 */ "Corvane Quartzline Audio",
    /* 1014 */ "*.qla",
    /* 1015 */ "Open Corvane Quartzline Audio file",
};

inline constexpr const char* kStreamTexts[] = {
    /* 1020 */ "Corvane Quartzline Audio",
    /* 1021 */ "%d kBit/s",
};

inline constexpr const char* kInfoRecordTexts[] = {
    /* 1032 */ "Copyright (C) Corvane. All rights reserved.",
    /* 1033 */ " File Format Plug-in.",
};

inline constexpr const char* kStreamFormatTexts[] = {
    /* 4151 */ "Mono",
    /* 4152 */ "Stereo",
    /* 4153 */ "%d Channels",
    /* 4154 */ "$d Hz$, %d-bit$, %s",
};

inline constexpr const char* kDisplayName[] = {
    /* 1227 */ "Corvane Quartzline Audio",
};

template <size_t N>
constexpr TextRange Range(uint32_t firstId, const char* const (&texts)[N]) {
  return TextRange{firstId, static_cast<uint32_t>(N), texts};
}

inline constexpr TextRange kShared[] = {Range(1, kTemplateTexts), Range(1000, kPageTitle), Range(1008, kChannelWords)};
inline constexpr TextRange kPlugIn[] = {Range(1013, kFileTypeTexts), Range(1020, kStreamTexts),
                                        Range(1032, kInfoRecordTexts), Range(1227, kDisplayName),
                                        Range(4151, kStreamFormatTexts)};

}  // namespace cvla::text_table
