// The plug-in's numbered texts and their lookup. One table
// (plugin_text_table.h) feeds the native build (as built-in string ranges) and
// the Windows string resources, which the build writes from it. The reader,
// the renderer and the module all look texts up here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cv {
struct StringTable;
}

namespace cvla {

// Consecutive ids firstId .. firstId + count - 1.
struct TextRange {
  uint32_t firstId;
  uint32_t count;
  const char* const* texts;
};

// Ranges registered in the process-wide string table (template texts 1-17,
// the page title 1000, channel layouts 1008-1012); they follow the host's language.
const TextRange* SharedTextRanges(size_t* count);
// Ranges of the plug-in's own string table (names, filter, stream texts, the
// information record texts); always the module's own texts.
const TextRange* PlugInTextRanges(size_t* count);

// The built-in text of an id in either set, or null.
const char* BuiltInText(uint32_t id);

// The plug-in's own string table: set by the module's start-up, cleared (null)
// by its shut-down.
void SetPlugInStringTable(cv::StringTable* table);
cv::StringTable* PlugInStringTable();

// Texts of the plug-in's own table (1013-1021 and the information record);
// empty while the table is missing.
const char* PlugInText(uint32_t id);
// Texts of the process-wide table, which follows the host's language.
const char* SharedText(uint32_t id);

// String ids used by the plug-in's objects.
namespace text {
constexpr uint32_t kDefaultTemplateName = 1;
constexpr uint32_t kRenderDescription = 2;
constexpr uint32_t kRendererDescription = 6;
constexpr uint32_t kRendererName = 7;
constexpr uint32_t kRendererFilter = 8;
constexpr uint32_t kFormatPart = 17;  // "%s, $d Hz, %d bit"
constexpr uint32_t kPageTitle = 1000;
constexpr uint32_t kMono = 1008;
constexpr uint32_t kStereo = 1009;
constexpr uint32_t kMultipleMono = 1010;
constexpr uint32_t kMultipleStereo = 1011;
constexpr uint32_t kFileTypeName = 1013;
constexpr uint32_t kFileTypeFilter = 1014;
constexpr uint32_t kFileTypeDescription = 1015;
constexpr uint32_t kStreamName = 1020;
constexpr uint32_t kBitRate = 1021;  // "%d kBit/s"
constexpr uint32_t kLegalNotice = 1032;
constexpr uint32_t kPlugInSuffix = 1033;
constexpr uint32_t kFormatDisplayName = 1227;
// Channel words and the format description of the reader's stream text.
constexpr uint32_t kChannelMono = 4151;
constexpr uint32_t kChannelStereo = 4152;
constexpr uint32_t kChannelCount = 4153;  // "%d Channels"
constexpr uint32_t kStreamFormat = 4154;  // "$d Hz$, %d-bit$, %s"
}  // namespace text

}  // namespace cvla
