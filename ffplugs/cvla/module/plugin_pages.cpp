#include "ffplugs/cvla/module/plugin_pages.h"

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/module/module_state.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

#include <functional>
#include <thread>

namespace cvla {

namespace {
MessageBoxDefaults g_messageBox{};
}  // namespace

const MessageBoxDefaults& PlugInMessageBoxDefaults() { return g_messageBox; }

HRESULT QlaPlugInPages::Initialize() {
  g_messageBox.owner = Module().module;
  g_messageBox.threadId = static_cast<uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
  g_messageBox.caption = kMessageBoxCaption;
  return cv::kS_OK;
}

void* QlaPlugInPages::FindInterface(REFIID iid) {
  if (iid == cv::kIID_IUnknown || iid == cv::IID_ICvPlugInPages || iid == cv::IID_PlugInPagesMain)
    return static_cast<ICvPlugInPagesMain*>(&main_);
  if (iid == cv::IID_PlugInPagesSecond) return static_cast<ICvPlugInPagesSecond*>(&second_);
  return nullptr;
}

ULONG QlaPlugInPages::Release() {
  if (--references_ != 0) return references_;
  cvplat::DeleteZeroed(this);
  return 0;
}

void QlaPlugInPages::StoreName(const wchar16* name, uint32_t value) {
  // The name is copied whole, up to the field's size.
  uint32_t i = 0;
  for (; name && i + 1 < kPagesNameLength && name[i]; ++i) pageName_[i] = name[i];
  pageName_[i] = 0;
  value_ = value;
}

namespace pages_detail {

HRESULT MainPart::PageOperation3(uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT MainPart::PageOperation4(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT MainPart::PageOperation5(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return cv::kE_NOTIMPL; }

HRESULT SecondPart::PageOperation3(uint32_t, uint32_t, uint32_t) { return cv::kE_NOTIMPL; }
HRESULT SecondPart::PageOperation4(uint32_t, uint32_t, uint32_t, uint32_t) { return cv::kE_NOTIMPL; }

HRESULT NamePart::SetName(const wchar16* name, uint32_t value) {
  owner_->StoreName(name, value);
  return cv::kS_OK;
}
HRESULT NamePart::Notify(uint32_t) { return cv::kS_OK; }

}  // namespace pages_detail

}  // namespace cvla
