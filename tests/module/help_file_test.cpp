// Where the help file is found: the shared folder when it exists, otherwise
// beside the module, never longer than the host's 260-byte buffer.
#include "ffplugs/cvla/module/help_file.h"

#include <gtest/gtest.h>

namespace {

TEST(HelpFile, SharedFolderWhenItExistsOtherwiseTheModulesFolder) {
  const std::string module = "C:\\Plugins\\cvqlplug.dll";
  struct Case {
    const char* folder;
    bool exists;
    const char* expected;
  } cases[] = {
      {"C:\\Help", true, "C:\\Help\\CVQLPLUG.HLP"},
      {"C:\\Help\\", true, "C:\\Help\\CVQLPLUG.HLP"},
      {"C:\\Help\\readme.txt", false, "C:\\Plugins\\CVQLPLUG.HLP"},
      {"", false, "C:\\Plugins\\CVQLPLUG.HLP"},
  };
  for (const Case& c : cases) EXPECT_EQ(cvla::HelpFileFor(module, c.folder, c.exists), c.expected) << c.folder;
  EXPECT_EQ(cvla::HelpFileFor("D:cvqlplug.dll", "", false), "D:CVQLPLUG.HLP");
}

TEST(HelpFile, NeverOutgrowsTheBuffer) {
  std::string longFolder(255, 'h');
  std::string module = "C:\\" + std::string(250, 'p') + "\\cvqlplug.dll";
  // A folder whose help path would not fit is as good as none.
  EXPECT_EQ(cvla::HelpFileFor("C:\\P\\x.dll", longFolder, true), "C:\\P\\CVQLPLUG.HLP");
  std::string cut = cvla::HelpFileFor(module, "", false);
  EXPECT_EQ(cut.size(), cvla::kHelpFileBufferSize - 1);
  EXPECT_EQ(cut.substr(0, 254), module.substr(0, 254));

  char buffer[cvla::kHelpFileBufferSize];
  cvla::GetHelpFile(buffer);
  EXPECT_EQ(std::string(buffer), cvla::HelpFilePath());
  EXPECT_NE(std::string(buffer).find("CVQLPLUG.HLP"), std::string::npos);
}

}  // namespace
