// QlaFormatPage: the renderer's property page. Three drop-down lists (sample
// rate, bit depth, channel layout) edit the page's copy of the renderer's
// current template; Apply hands the copy back to the renderer. The host drives
// it through the property page protocol; SetLimits bounds what it offers.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/host_records.h"
#include "krn/com_object.h"
#include "krn/com_ptr.h"
#include "krn/platform/dialog.h"

#include <cstdint>

namespace cvla {

constexpr int kFormatPageDialog = 2001;
constexpr int kSampleRateList = 2004;
constexpr int kBitDepthList = 2005;
constexpr int kLayoutList = 2006;

// Item data of the layout list.
enum ChannelLayout : uint32_t {
  kLayoutMono = 0,
  kLayoutStereo = 1,
  kLayoutMultipleMono = 2,
  kLayoutMultipleStereo = 3,
  kLayoutMultiChannel = 4,
};

// The help context of a control of the page, 0 when it has none.
uint32_t FormatPageHelpContext(int controlId);

class QlaFormatPage final : public cv::ComObject<QlaFormatPage, cv::PlainCount, cv::ICvFormatPage>,
                            private cvplat::DialogEvents {
 public:
  // Count 0: the creator queries IPropertyPage for the one reference it hands out.
  explicit QlaFormatPage(IUnknown* object) : object_(object) {}

  void* FindInterface(REFIID iid);
  // The last Release: closes what a host left open, then frees the page.
  void FinalRelease();

  HRESULT CV_STDCALL SetPageSite(IPropertyPageSite* site) override;
  HRESULT CV_STDCALL Activate(HWND parent, const RECT* rect, BOOL modal) override;
  HRESULT CV_STDCALL Deactivate() override;
  HRESULT CV_STDCALL GetPageInfo(PROPPAGEINFO* info) override;
  HRESULT CV_STDCALL SetObjects(ULONG count, IUnknown** objects) override;
  HRESULT CV_STDCALL Show(UINT command) override;
  HRESULT CV_STDCALL Move(const RECT* rect) override;
  HRESULT CV_STDCALL IsPageDirty() override;
  HRESULT CV_STDCALL Apply() override;
  HRESULT CV_STDCALL Help(LPCOLESTR helpDir) override;
  HRESULT CV_STDCALL TranslateAccelerator(MSG* message) override;
  HRESULT CV_STDCALL SetLimits(const WAVEFORMATEX* source, uint32_t ignored, uint32_t maxSampleRate,
                               uint32_t maxBitDepth, int32_t noMultiple) override;
  HRESULT CV_STDCALL Refresh() override;

  HWND Window() const { return window_; }

 private:
  void OnInitDialog(HWND dialog) override;
  void OnDestroy() override;
  void OnHelp(int controlId) override;
  bool OnCommand(int controlId, int notification) override;

  [[nodiscard]] HRESULT Attach(IUnknown* object);
  [[nodiscard]] HRESULT Detach();
  void FreePageTemplate();
  // Fills the three lists from the template; false when there is no renderer,
  // template or dialog.
  [[nodiscard]] bool FillControls();
  void FillSampleRates(const WAVEFORMATEX& format);
  void FillBitDepths(const WAVEFORMATEX& format);
  void FillLayouts(const WAVEFORMATEX& format, uint32_t streamCount);
  // Writes the lists' selections into the template and marks the page dirty.
  void ReadControls();

  IUnknown* object_;                           // not counted
  cv::ComPtr<IPropertyPageSite> site_;
  HWND window_ = nullptr;
  HWND initialisedWindow_ = nullptr;
  int32_t objectsSet_ = 0;
  int32_t dirty_ = 0;
  cv::ComPtr<cv::ICvFileRenderer> renderer_;
  cv::ComPtr<cv::ICvTemplateStore> store_;
  qla::RenderTemplate* template_ = nullptr;    // the page's copy, freed through the renderer
  const WAVEFORMATEX* source_ = nullptr;       // not owned
  uint32_t maxSampleRate_ = 200000;
  uint32_t maxBitDepth_ = 64;
  int32_t noMultiple_ = 0;
};

// Makes a page for `renderer` and hands out its IPropertyPage (one reference).
[[nodiscard]] HRESULT CreateFormatPage(IUnknown* renderer, IUnknown** out);

}  // namespace cvla
