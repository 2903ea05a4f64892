// The list of the machine's compressed audio formats that the host asks for:
// one record per format tag, gathered from the codec drivers, kept in a
// registry cache and refreshed by a separate enumeration process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cvla {

// One format tag, shared with other modules in exactly this layout.
struct CVDRVFMT_DATAFMTS {
  char name[128];      // the tag's name, at most 127 characters, zero-terminated
  uint32_t formatTag;  // the wave format tag
  uint32_t driverId;   // the offering driver's id, valid only in the enumerating process
};
static_assert(sizeof(CVDRVFMT_DATAFMTS) == 136, "format records are 136 bytes");
static_assert(offsetof(CVDRVFMT_DATAFMTS, driverId) == offsetof(CVDRVFMT_DATAFMTS, formatTag) + 4,
              "the cache's 8 data bytes are read straight into tag and driver id");

constexpr uint32_t kFormatListCapacity = 100;

// Flags of CvACM_CreateList.
constexpr uint32_t kAcmListInProcess = 0x2;  // with kAcmListNoCacheRead: enumerate in this process
constexpr uint32_t kAcmListNoCacheRead = 0x4;
constexpr uint32_t kAcmListNoRefresh = 0x8;

// Status of CvACM_CreateList besides the codec manager's own error codes.
constexpr uint32_t kAcmListProduced = 0;
constexpr uint32_t kAcmListNothingRead = 1;

constexpr char kAcmCacheKey[] = "Software\\Corvane\\ACMCache";
constexpr char kAcmEventName[] = "Corvane_ACM_Event";

// Fills a list while the drivers report their format tags.
class FormatListBuilder {
 public:
  FormatListBuilder(CVDRVFMT_DATAFMTS* list, uint32_t count) : list_(list), count_(count) {}

  void SetDriver(uint32_t driverId) { driverId_ = driverId; }
  // Stores a tag of the current driver. PCM (1) and tag 0x160 are not offered
  // as compressed formats; a full list takes nothing more. Names are cut to 127
  // characters.
  void AddTag(const char* name, uint32_t formatTag);
  uint32_t Count() const { return count_; }

 private:
  CVDRVFMT_DATAFMTS* list_;
  uint32_t count_;
  uint32_t driverId_ = 0;
};

// The enumeration process's command line: rundll32 with the module and the
// event to signal. The module path is quoted only when it holds a blank, which
// rundll32 would otherwise take for the end of the module name.
[[nodiscard]] std::string GrovelCommandLine(const std::string& modulePath, const char* eventName);

// The drive and folder of a module path, with the final backslash; empty when
// the path names no folder.
[[nodiscard]] std::string ModuleFolder(const std::string& modulePath);

}  // namespace cvla
