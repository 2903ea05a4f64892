// The Windows string resources and the built-in texts of the native build are
// one set: every text of the table is in the .rc file with the same wording.
#include "ffplugs/cvla/plugin_texts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace {

std::map<uint32_t, std::string> ResourceTexts() {
  std::filesystem::path rc = std::filesystem::path(__FILE__).parent_path() / "../../ffplugs/cvla/module/cvqlplug.rc";
  std::ifstream in(rc);
  std::map<uint32_t, std::string> texts;
  std::regex line(R"re(^\s*(\d+),\s*"(.*)"\s*$)re");
  for (std::string text; std::getline(in, text);) {
    std::smatch match;
    if (!std::regex_match(text, match, line)) continue;
    std::string value = std::regex_replace(match[2].str(), std::regex("\"\""), "\"");
    texts[static_cast<uint32_t>(std::stoul(match[1].str()))] = value;
  }
  return texts;
}

TEST(ResourceTexts, RcFileCarriesExactlyTheBuiltInTexts) {
  std::map<uint32_t, std::string> rc = ResourceTexts();
  ASSERT_FALSE(rc.empty());
  size_t expected = 0;
  for (auto ranges : {&cvla::SharedTextRanges, &cvla::PlugInTextRanges}) {
    size_t count = 0;
    const cvla::TextRange* range = ranges(&count);
    for (size_t r = 0; r < count; ++r) {
      for (uint32_t i = 0; i < range[r].count; ++i) {
        uint32_t id = range[r].firstId + i;
        ASSERT_EQ(rc.count(id), 1u) << id;
        EXPECT_EQ(rc[id], range[r].texts[i]) << id;
        ++expected;
      }
    }
  }
  EXPECT_EQ(rc.size(), expected);
  EXPECT_STREQ(cvla::BuiltInText(1013), "Corvane Quartzline Audio");
  EXPECT_STREQ(cvla::BuiltInText(17), "%s, $d Hz, %d bit");
  EXPECT_EQ(cvla::BuiltInText(1016), nullptr);
}

}  // namespace
