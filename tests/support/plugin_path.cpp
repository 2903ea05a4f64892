#include "tests/support/plugin_path.h"

#include "krn/platform/module_path.h"

#include <filesystem>

namespace cvtest {

std::string FindPlugIn() {
  std::filesystem::path program = cvplat::ModuleFileName(nullptr);
  for (std::filesystem::path candidate : {program.parent_path() / "cvqlplug.dll",
                                          program.parent_path() / ".." / "ffplugs" / "cvla" / "cvqlplug.dll"}) {
    std::error_code error;
    if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().make_preferred().string();
  }
  return std::string();
}

}  // namespace cvtest
