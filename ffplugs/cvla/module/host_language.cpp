#include "ffplugs/cvla/module/host_language.h"

#include "ffplugs/cvla/module/module_state.h"
#include "krn/results.h"
#include "krn/shared_services.h"
#include "krn/string_table.h"

namespace cvla {

namespace {
constexpr uint32_t kEnglishUnitedStates = 1033;
constexpr uint32_t kPrimaryLanguageMask = 0x3FF;
constexpr uint32_t kPrimaryEnglish = 9;
}  // namespace

void ApplyHostLanguage(cv::ICvFileHost* host) {
  if (!host) return;
  cv::ICvHostProperties* properties = nullptr;
  if (cv::Failed(host->QueryInterface(cv::IID_ICvHostProperties, reinterpret_cast<void**>(&properties))) ||
      !properties)
    return;
  uint32_t language = 0;
  if (properties->GetValue(cv::kHostPropertyLanguage, &language, sizeof(language)) != 0) {
    if (language == 0) language = kEnglishUnitedStates;
    // English reads the module's own resources; any other language the
    // module's resources in that language (the plug-in ships no separate
    // language module).
    HMODULE resources = (language & kPrimaryLanguageMask) == kPrimaryEnglish ? nullptr : Module().module;
    // A language whose texts cannot be loaded keeps the texts the table has.
    static_cast<void>(cv::SetStringTableLanguage(cv::ProcessStringTable(), static_cast<LANGID>(language), resources));
  }
  properties->Release();
}

}  // namespace cvla
