#include "ffplugs/cvla/acm/format_list.h"

#include <cstring>

namespace cvla {

namespace {

constexpr uint32_t kTagPcm = 1;
constexpr uint32_t kTagSkipped = 0x160;

}  // namespace

void FormatListBuilder::AddTag(const char* name, uint32_t formatTag) {
  if (formatTag == kTagPcm || formatTag == kTagSkipped) return;
  if (count_ >= kFormatListCapacity) return;
  CVDRVFMT_DATAFMTS& record = list_[count_++];
  size_t length = strnlen(name, sizeof(record.name) - 1);
  std::memcpy(record.name, name, length);
  record.name[length] = 0;
  record.formatTag = formatTag;
  record.driverId = driverId_;
}

std::string GrovelCommandLine(const std::string& modulePath, const char* eventName) {
  bool quote = modulePath.find_first_of(" \t") != std::string::npos;
  std::string module = quote ? "\"" + modulePath + "\"" : modulePath;
  return "rundll32.exe " + module + ",_CvAcm_Grovel@16 " + eventName;
}

std::string ModuleFolder(const std::string& modulePath) {
  size_t end = modulePath.find_last_of("\\:");
  return end == std::string::npos ? std::string() : modulePath.substr(0, end + 1);
}

}  // namespace cvla
