#include "ffplugs/cvla/module/format_page.h"

#include "ffplugs/cvla/module/help_file.h"
#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/plugin_texts.h"
#include "krn/platform/codepage.h"
#include "krn/platform/memory.h"
#include "krn/com_guard.h"
#include "krn/results.h"
#include "krn/shared_services.h"
#include "krn/string_table.h"
#include "krn/text_format.h"

#include <cstring>

namespace cvla {

namespace {

constexpr uint32_t kSampleRates[] = {8000, 11025, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 200000};
constexpr uint32_t kBitDepths[] = {16, 24};
constexpr LONG kDefaultPageWidth = 300;
constexpr LONG kDefaultPageHeight = 150;
constexpr size_t kHelpBlockBytes = 1040;
constexpr size_t kHelpPathChars = 260;

struct HelpContext {
  int controlId;
  uint32_t context;
};
constexpr HelpContext kHelpContexts[] = {{2002, 20}, {2003, 30}, {2004, 40}, {2005, 50}, {2006, 60}};

// The dialog comes from the language resource module when the texts do.
HMODULE DialogResources() {
  HMODULE language = cv::StringTableResourceModule(cv::ProcessStringTable());
  return language ? language : Module().module;
}

// A UTF-16 copy of an ANSI text in task memory; null when there is no memory.
LPOLESTR TaskMemWideText(const char* text) {
  const cvplat::WideString wide = cvplat::AnsiToWideString(text);
  auto* copy = static_cast<LPOLESTR>(cvplat::TaskMemAlloc((wide.size() + 1) * sizeof(wchar16)));
  if (!copy) return nullptr;
  if (!wide.empty()) std::memcpy(copy, wide.data(), wide.size() * sizeof(wchar16));
  copy[wide.size()] = 0;
  return copy;
}

// Channels and stream count that a layout writes.
void LayoutShape(uint32_t layout, const WAVEFORMATEX* source, uint16_t* channels, uint32_t* streamCount) {
  const uint16_t sourceChannels = source ? source->nChannels : 1;
  *channels = 1;
  *streamCount = 1;
  switch (layout) {
    case kLayoutStereo: *channels = 2; break;
    case kLayoutMultipleMono: *streamCount = sourceChannels; break;
    case kLayoutMultipleStereo: *channels = 2, *streamCount = 2; break;
    case kLayoutMultiChannel: *channels = sourceChannels; break;
    default: break;
  }
}

}  // namespace

uint32_t FormatPageHelpContext(int controlId) {
  for (const HelpContext& entry : kHelpContexts)
    if (entry.controlId == controlId) return entry.context;
  return 0;
}

[[nodiscard]] HRESULT CreateFormatPage(IUnknown* renderer, IUnknown** out) {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  QlaFormatPage* page = cvplat::NewZeroed<QlaFormatPage>(renderer);
  if (!page) return cv::kE_OUTOFMEMORY;
  return page->QueryInterface(cv::kIID_IPropertyPage, reinterpret_cast<void**>(out));
}

void* QlaFormatPage::FindInterface(REFIID iid) {
  if (iid != cv::IID_ICvFormatPage && iid != cv::kIID_IUnknown && iid != cv::kIID_IPropertyPage) return nullptr;
  return static_cast<cv::ICvFormatPage*>(this);
}

void QlaFormatPage::FinalRelease() {
  // A host that skipped the end of the protocol must not leave a window that
  // calls into a freed page, nor references behind.
  if (window_) static_cast<void>(Deactivate());
  if (renderer_) static_cast<void>(Detach());
  cvplat::DeleteZeroed(this);
}

HRESULT QlaFormatPage::SetPageSite(IPropertyPageSite* site) try {
  if (site) {
    if (site_) return cv::kE_UNEXPECTED;
    site_ = cv::ComPtr<IPropertyPageSite>::Share(site);
    return cv::kS_OK;
  }
  if (!site_) return cv::kE_UNEXPECTED;
  site_.Reset();
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::Activate(HWND parent, const RECT* rect, BOOL /*modal*/) try {
  if (!rect) return cv::kE_POINTER;
  if (!objectsSet_ || window_) return cv::kE_UNEXPECTED;
  HWND window = cvplat::CreateChildDialog(DialogResources(), kFormatPageDialog, parent, this);
  if (!window) return cv::kE_OUTOFMEMORY;
  window_ = window;
  cvplat::SetControlParentStyle(window_, true);
  const HRESULT moved = Move(rect);
  if (cv::Failed(moved)) return moved;
  return Show(SW_SHOWNORMAL);
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::Deactivate() try {
  if (!window_) return cv::kE_UNEXPECTED;
  cvplat::SetControlParentStyle(window_, false);
  HWND window = window_;
  window_ = nullptr;
  cvplat::DestroyDialog(window);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::GetPageInfo(PROPPAGEINFO* info) try {
  if (!info) return cv::kE_POINTER;
  LPOLESTR title = TaskMemWideText(SharedText(text::kPageTitle));
  if (!title) return cv::kE_OUTOFMEMORY;
  auto* helpFile = static_cast<LPOLESTR>(cvplat::TaskMemAlloc(kHelpBlockBytes));
  if (!helpFile) {
    cvplat::TaskMemFree(title);
    return cv::kE_OUTOFMEMORY;
  }
  // The lookup writes the ANSI path into the block's second half, which is then
  // converted into its first 260 UTF-16 characters.
  char* ansiPath = reinterpret_cast<char*>(helpFile) + kHelpBlockBytes / 2;
  std::memset(ansiPath, 0, kHelpBlockBytes / 2);
  GetHelpFile(ansiPath);
  const std::string path(ansiPath);
  cvplat::CopyAnsiToWideBuffer(path.c_str(), helpFile, kHelpPathChars);

  info->cb = sizeof(PROPPAGEINFO);
  info->pszTitle = title;
  info->size.cx = kDefaultPageWidth;
  info->size.cy = kDefaultPageHeight;
  info->pszDocString = nullptr;
  info->pszHelpFile = helpFile;
  info->dwHelpContext = 0;
  SIZE measured{};
  if (cvplat::MeasureDialogTemplate(DialogResources(), kFormatPageDialog, &measured)) info->size = measured;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::SetObjects(ULONG count, IUnknown** objects) try {
  if (count == 1) {
    if (!objects || !objects[0]) return cv::kE_POINTER;
    objectsSet_ = 1;
    return Attach(objects[0]);
  }
  if (count == 0) {
    objectsSet_ = 0;
    return Detach();
  }
  return cv::kE_UNEXPECTED;
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::Attach(IUnknown* object) {
  if (!object) return cv::kE_POINTER;
  if (renderer_) static_cast<void>(Detach());
  object_ = object;
  if (cv::Failed(object->QueryInterface(cv::IID_ICvFileRenderer, renderer_.PutVoid())) || !renderer_) {
    renderer_.Reset();
    return cv::kE_NOINTERFACE;
  }
  cv::ComPtr<cv::ICvFileHost> host;
  if (cv::Failed(renderer_->GetHost(host.Put())) || !host ||
      cv::Failed(host.As(cv::IID_ICvTemplateStore, &store_)) || !store_) {
    store_.Reset();
    renderer_.Reset();
    return cv::kE_NOINTERFACE;
  }
  return Refresh();
}

void QlaFormatPage::FreePageTemplate() {
  if (template_ && renderer_) renderer_->FreeTemplate(template_);
  template_ = nullptr;
}

HRESULT QlaFormatPage::Detach() {
  if (!renderer_) return cv::kE_UNEXPECTED;
  FreePageTemplate();
  renderer_.Reset();
  store_.Reset();
  return cv::kS_OK;
}

HRESULT QlaFormatPage::Refresh() try {
  if (!renderer_) return cv::kE_UNEXPECTED;
  FreePageTemplate();
  void* copy = nullptr;
  const HRESULT hr = renderer_->GetCurrentTemplate(&copy);
  if (cv::Failed(hr)) {
    if (copy) renderer_->FreeTemplate(copy);
    return hr;
  }
  template_ = static_cast<qla::RenderTemplate*>(copy);
  if (window_ && FillControls()) dirty_ = 0;
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::Show(UINT command) try {
  if (!window_) return cv::kE_UNEXPECTED;
  if (command != SW_SHOW && command != SW_SHOWNORMAL && command != SW_HIDE) return cv::kE_INVALIDARG;
  cvplat::ShowDialog(window_, static_cast<int>(command));
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::Move(const RECT* rect) try {
  if (!rect) return cv::kE_POINTER;
  if (!window_) return cv::kE_UNEXPECTED;
  cvplat::MoveDialog(window_, *rect);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::IsPageDirty() { return dirty_ ? cv::kS_OK : cv::kS_FALSE; }

HRESULT QlaFormatPage::Apply() try {
  if (!objectsSet_ || !site_ || !renderer_) return cv::kE_UNEXPECTED;
  if (!dirty_) return cv::kS_OK;
  if (!template_) return cv::kE_POINTER;
  const HRESULT hr = renderer_->SetCurrentTemplate(template_);
  if (cv::Succeeded(hr)) dirty_ = 0;
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaFormatPage::Help(LPCOLESTR) { return cv::kE_NOTIMPL; }
HRESULT QlaFormatPage::TranslateAccelerator(MSG*) { return cv::kE_NOTIMPL; }

HRESULT QlaFormatPage::SetLimits(const WAVEFORMATEX* source, uint32_t, uint32_t maxSampleRate, uint32_t maxBitDepth,
                                 int32_t noMultiple) try {
  source_ = source;
  maxSampleRate_ = maxSampleRate;
  maxBitDepth_ = maxBitDepth;
  noMultiple_ = noMultiple;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

bool QlaFormatPage::FillControls() {
  if (!renderer_ || !template_ || !template_->format || !window_) return false;
  const WAVEFORMATEX& format = template_->format->format;
  FillSampleRates(format);
  FillBitDepths(format);
  FillLayouts(format, template_->format->streamCount);
  return true;
}

void QlaFormatPage::FillSampleRates(const WAVEFORMATEX& format) {
  cvplat::ClearList(window_, kSampleRateList);
  int selected = -1;
  for (uint32_t rate : kSampleRates) {
    if (rate > maxSampleRate_) continue;
    char text[32];
    cv::ExpandText(text, sizeof(text), "$u", rate);
    const int index = cvplat::AddListItem(window_, kSampleRateList, text, rate);
    if (rate == format.nSamplesPerSec) selected = index;
  }
  cvplat::SelectListItem(window_, kSampleRateList, selected >= 0 ? selected : 0);
}

void QlaFormatPage::FillBitDepths(const WAVEFORMATEX& format) {
  cvplat::ClearList(window_, kBitDepthList);
  int selected = -1;
  for (uint32_t depth : kBitDepths) {
    if (depth > maxBitDepth_) continue;
    char text[16];
    cv::ExpandText(text, sizeof(text), "%d", static_cast<int>(depth));
    const int index = cvplat::AddListItem(window_, kBitDepthList, text, depth);
    if (depth == format.wBitsPerSample) selected = index;
  }
  cvplat::SelectListItem(window_, kBitDepthList, selected >= 0 ? selected : 0);
}

void QlaFormatPage::FillLayouts(const WAVEFORMATEX& format, uint32_t streamCount) {
  cvplat::ClearList(window_, kLayoutList);
  int selected = -1;
  auto add = [&](uint32_t textId, ChannelLayout layout, bool select) {
    const int index = cvplat::AddListItem(window_, kLayoutList, SharedText(textId), layout);
    if (select) selected = index;
  };
  add(text::kMono, kLayoutMono, streamCount == 1 && format.nChannels == 1);
  add(text::kStereo, kLayoutStereo, streamCount == 1 && format.nChannels == 2);
  if (source_ && source_->nChannels > 1 && !noMultiple_) {
    add(text::kMultipleMono, kLayoutMultipleMono, streamCount > 1 && format.nChannels == 1);
    if (streamCount > 1) add(text::kMultipleStereo, kLayoutMultipleStereo, format.nChannels == 2);
  }
  cvplat::SelectListItem(window_, kLayoutList, selected >= 0 ? selected : 0);
}

void QlaFormatPage::ReadControls() {
  const int rateIndex = cvplat::SelectedListItem(window_, kSampleRateList);
  const int depthIndex = cvplat::SelectedListItem(window_, kBitDepthList);
  const int layoutIndex = cvplat::SelectedListItem(window_, kLayoutList);
  if (rateIndex >= 0 && depthIndex >= 0 && layoutIndex >= 0 && template_ && template_->format) {
    const uint32_t rate = cvplat::ListItemData(window_, kSampleRateList, rateIndex);
    const uint32_t depth = cvplat::ListItemData(window_, kBitDepthList, depthIndex);
    uint16_t channels = 1;
    uint32_t streamCount = 1;
    LayoutShape(cvplat::ListItemData(window_, kLayoutList, layoutIndex), source_, &channels, &streamCount);
    template_->format->streamCount = streamCount;
    WAVEFORMATEX& format = template_->format->format;
    format.wFormatTag = 1;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = static_cast<uint16_t>(depth);
    format.nBlockAlign = static_cast<uint16_t>(depth / 8 * channels);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    format.cbSize = 0;
  }
  dirty_ = 1;
}

void QlaFormatPage::OnInitDialog(HWND dialog) {
  window_ = dialog;
  initialisedWindow_ = dialog;
  // Without a renderer or template yet the lists stay empty until Refresh.
  static_cast<void>(FillControls());
}

void QlaFormatPage::OnDestroy() {
  window_ = nullptr;
  initialisedWindow_ = nullptr;
}

void QlaFormatPage::OnHelp(int controlId) {
  const uint32_t context = FormatPageHelpContext(controlId);
  if (context != 0) cvplat::ShowHelpPopup(window_, ModuleHelpPath(), context);
}

bool QlaFormatPage::OnCommand(int controlId, int notification) {
  if (controlId < kSampleRateList || controlId > kLayoutList) return false;
  if (notification == cvplat::kSelectionChange && renderer_) ReadControls();
  return true;
}

}  // namespace cvla
