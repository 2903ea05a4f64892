#include "ffplugs/cvla/module/module_state.h"

#include "ffplugs/cvla/plugin_texts.h"
#include "krn/platform/module_path.h"
#include "krn/shared_services.h"
#include "krn/string_table.h"

namespace cvla {

namespace {

ModuleState g_module;
std::string g_helpPath;

// A range that cannot be added (no memory) leaves its ids answering empty
// texts: the module still starts.
void AddRanges(cv::StringTable* table, const TextRange* ranges, size_t count) {
  for (size_t i = 0; i < count; ++i)
    static_cast<void>(cv::AddStringRange(table, ranges[i].texts, ranges[i].count, ranges[i].firstId));
}

std::string FileNamePart(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithHelpExtension(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ".hlp";
  return path.substr(0, dot) + ".hlp";
}

}  // namespace

ModuleState& Module() { return g_module; }

std::string HelpPathFor(const std::string& modulePath, const std::string& helpFolder, bool helpFolderExists) {
  if (helpFolder.empty() || !helpFolderExists) return WithHelpExtension(modulePath);
  std::string folder = helpFolder;
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder + WithHelpExtension(FileNamePart(modulePath));
}

void ModuleAttach(HMODULE module) {
  g_module.module = module;
  SetPlugInStringTable(nullptr);

  // S_FALSE: another module started them. Without memory for the table the
  // shared texts answer their built-in forms; the module starts all the same.
  static_cast<void>(cv::StartSharedServices(module));
  size_t count = 0;
  const TextRange* shared = SharedTextRanges(&count);
  AddRanges(cv::ProcessStringTable(), shared, count);

  cv::StringTable* own = cv::CreateStringTable(module);
  if (own) {
    const TextRange* ranges = PlugInTextRanges(&count);
    AddRanges(own, ranges, count);
  }
  SetPlugInStringTable(own);

  std::string folder = cvplat::SharedHelpFolder();
  g_helpPath = HelpPathFor(cvplat::ModuleFileName(module), folder, cvplat::FolderExists(folder));
}

void ModuleDetach() {
  if (cv::StringTable* own = PlugInStringTable()) {
    SetPlugInStringTable(nullptr);
    cv::DestroyStringTable(own);
  }
  cv::StopSharedServices();
  g_module.module = nullptr;
}

const std::string& ModuleHelpPath() { return g_helpPath; }

}  // namespace cvla
