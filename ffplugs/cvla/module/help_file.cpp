#include "ffplugs/cvla/module/help_file.h"

#include "ffplugs/cvla/module/module_state.h"
#include "krn/platform/module_path.h"

#include <cstring>

namespace cvla {

namespace {

constexpr char kHelpFileName[] = "CVQLPLUG.HLP";
constexpr size_t kMaxLength = kHelpFileBufferSize - 1;

}  // namespace

std::string HelpFileFor(const std::string& modulePath, const std::string& helpFolder, bool folderExists) {
  if (!helpFolder.empty() && folderExists) {
    std::string path = helpFolder;
    if (path.back() != '\\') path += '\\';
    path += kHelpFileName;
    if (path.size() <= kMaxLength) return path;
  }
  // Everything after the last backslash or colon is the module's file name.
  size_t nameStart = modulePath.find_last_of("\\:");
  std::string path = nameStart == std::string::npos ? std::string() : modulePath.substr(0, nameStart + 1);
  path += kHelpFileName;
  if (path.size() > kMaxLength) path.resize(kMaxLength);
  return path;
}

std::string HelpFilePath() {
  std::string folder = cvplat::SharedHelpFolder();
  return HelpFileFor(cvplat::ModuleFileName(Module().module), folder, cvplat::FolderExists(folder));
}

void GetHelpFile(char* buffer) {
  std::string path = HelpFilePath();
  std::memcpy(buffer, path.c_str(), path.size() + 1);
}

}  // namespace cvla
