// The help paths: the shared help folder when it exists, else the module's
// folder. The page's help file never outgrows the host's 260-byte buffer; the
// shared folder cases are tested against the real registry in the Windows build.
#include "ffplugs/cvla/module/help_file.h"
#include "ffplugs/cvla/module/module_state.h"

#include <gtest/gtest.h>

namespace {

TEST(HelpFile, FallsBackBesideTheModuleWithinTheBuffer) {
  EXPECT_EQ(cvla::HelpFileFor("C:\\P\\x.dll", "C:\\Help", true), "C:\\Help\\CVQLPLUG.HLP");
  EXPECT_EQ(cvla::HelpFileFor("C:\\P\\x.dll", std::string(255, 'h'), true), "C:\\P\\CVQLPLUG.HLP");
  EXPECT_EQ(cvla::HelpFileFor("D:x.dll", "", false), "D:CVQLPLUG.HLP");
  std::string module = "C:\\" + std::string(250, 'p') + "\\cvqlplug.dll";
  std::string cut = cvla::HelpFileFor(module, "", false);
  EXPECT_EQ(cut, module.substr(0, 254) + "CVQLP");
  EXPECT_EQ(cut.size(), cvla::kHelpFileBufferSize - 1);
  // The popups' help file has the module's own name.
  EXPECT_EQ(cvla::HelpPathFor("C:\\Plug\\cvqlplug.dll", "D:\\Help", true), "D:\\Help\\cvqlplug.hlp");
  EXPECT_EQ(cvla::HelpPathFor("C:\\Plug\\cvqlplug.dll", "D:\\Gone", false), "C:\\Plug\\cvqlplug.hlp");
}

}  // namespace
