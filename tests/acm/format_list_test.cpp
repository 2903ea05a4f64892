// The format list's own rules: which tags are kept, the 100-record limit, the
// 127-character names, and the enumeration process's command line.
#include "ffplugs/cvla/acm/format_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(FormatList, KeepsCompressedTagsAfterTheEntryCountUpToOneHundred) {
  std::vector<cvla::CVDRVFMT_DATAFMTS> list(cvla::kFormatListCapacity);
  cvla::FormatListBuilder builder(list.data(), 1);
  builder.SetDriver(0x1234);
  for (uint32_t tag : {1u, 0x160u, 0x55u}) builder.AddTag(std::string(140, 'n').c_str(), tag);
  ASSERT_EQ(builder.Count(), 2u);
  EXPECT_EQ(std::string(list[1].name), std::string(127, 'n'));
  EXPECT_EQ(list[1].formatTag, 0x55u);
  EXPECT_EQ(list[1].driverId, 0x1234u);
  for (uint32_t tag = 2; tag < 200; ++tag) builder.AddTag("more", tag);
  EXPECT_EQ(builder.Count(), cvla::kFormatListCapacity);
}

TEST(FormatList, CommandLineQuotesTheModuleOnlyWhenItHoldsABlank) {
  EXPECT_EQ(cvla::GrovelCommandLine("C:\\Plugins\\cvqlplug.dll", cvla::kAcmEventName),
            "rundll32.exe C:\\Plugins\\cvqlplug.dll,_CvAcm_Grovel@16 Corvane_ACM_Event");
  EXPECT_EQ(cvla::GrovelCommandLine("C:\\Program Files\\cvqlplug.dll", "E"),
            "rundll32.exe \"C:\\Program Files\\cvqlplug.dll\",_CvAcm_Grovel@16 E");
  EXPECT_EQ(cvla::ModuleFolder("C:\\Plugins\\cvqlplug.dll"), "C:\\Plugins\\");
}

}  // namespace
