#include "ffplugs/cvla/plugin_texts.h"

#include "ffplugs/cvla/plugin_text_table.h"

#include "krn/shared_services.h"
#include "krn/string_table.h"

#include <iterator>

namespace cvla {

namespace {

using text_table::kPlugIn;
using text_table::kShared;

cv::StringTable* g_plugInStrings = nullptr;

const char* FindIn(const TextRange* ranges, size_t count, uint32_t id) {
  for (size_t i = 0; i < count; ++i) {
    if (id >= ranges[i].firstId && id - ranges[i].firstId < ranges[i].count) return ranges[i].texts[id - ranges[i].firstId];
  }
  return nullptr;
}

}  // namespace

const TextRange* SharedTextRanges(size_t* count) {
  *count = std::size(kShared);
  return kShared;
}

const TextRange* PlugInTextRanges(size_t* count) {
  *count = std::size(kPlugIn);
  return kPlugIn;
}

const char* BuiltInText(uint32_t id) {
  if (const char* t = FindIn(kShared, std::size(kShared), id)) return t;
  return FindIn(kPlugIn, std::size(kPlugIn), id);
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
