// QlaPlugInPages: the plug-in pages object. Its creation, initialisation,
// interfaces and their slot shapes are fixed; the page operations themselves
// answer E_NOTIMPL.
#pragma once

#include "krn/com_object.h"
#include "krn/platform/win_types.h"

#include <cstdint>

namespace cvla {

constexpr uint32_t kPagesNameLength = 260;
constexpr const char* kMessageBoxCaption = "Corvane Quartzline Audio Plug-In";

class QlaPlugInPages;

// Main interface: three operations of two, six and six arguments.
struct ICvPlugInPagesMain : IUnknown {
  virtual HRESULT CV_STDCALL PageOperation3(uint32_t a, uint32_t b) = 0;
  virtual HRESULT CV_STDCALL PageOperation4(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e,
                                            uint32_t f) = 0;
  virtual HRESULT CV_STDCALL PageOperation5(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e,
                                            uint32_t f) = 0;
};
// Second interface: two operations of three and four arguments.
struct ICvPlugInPagesSecond : IUnknown {
  virtual HRESULT CV_STDCALL PageOperation3(uint32_t a, uint32_t b, uint32_t c) = 0;
  virtual HRESULT CV_STDCALL PageOperation4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) = 0;
};
// Third interface, not handed out by QueryInterface.
struct ICvPlugInPagesName : IUnknown {
  virtual HRESULT CV_STDCALL SetName(const wchar16* name, uint32_t value) = 0;
  virtual HRESULT CV_STDCALL Notify(uint32_t value) = 0;
};

// The message-box defaults that the pages object sets for the module.
struct MessageBoxDefaults {
  HMODULE owner;
  uint32_t threadId;
  const char* caption;
};
const MessageBoxDefaults& PlugInMessageBoxDefaults();

namespace pages_detail {
class MainPart final : public cv::ComPart<QlaPlugInPages, ICvPlugInPagesMain> {
 public:
  using ComPart::ComPart;
  HRESULT CV_STDCALL PageOperation3(uint32_t, uint32_t) override;
  HRESULT CV_STDCALL PageOperation4(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override;
  HRESULT CV_STDCALL PageOperation5(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override;
};
class SecondPart final : public cv::ComPart<QlaPlugInPages, ICvPlugInPagesSecond> {
 public:
  using ComPart::ComPart;
  HRESULT CV_STDCALL PageOperation3(uint32_t, uint32_t, uint32_t) override;
  HRESULT CV_STDCALL PageOperation4(uint32_t, uint32_t, uint32_t, uint32_t) override;
};
class NamePart final : public cv::ComPart<QlaPlugInPages, ICvPlugInPagesName> {
 public:
  using ComPart::ComPart;
  HRESULT CV_STDCALL SetName(const wchar16* name, uint32_t value) override;
  HRESULT CV_STDCALL Notify(uint32_t value) override;
};
}  // namespace pages_detail

class QlaPlugInPages {
 public:
  QlaPlugInPages() : main_(this), second_(this), name_(this) {}

  // Sets the module's message-box defaults; S_OK.
  [[nodiscard]] HRESULT Initialize();

  // The identity of the object is its main part.
  void* FindInterface(REFIID iid);
  [[nodiscard]] HRESULT QueryInterface(REFIID iid, void** out) { return cv::QueryFoundInterface(this, iid, out); }
  ULONG AddRef() { return ++references_; }
  ULONG Release();

  IUnknown* MainInterface() { return &main_; }
  ICvPlugInPagesName* NameInterface() { return &name_; }
  void StoreName(const wchar16* name, uint32_t value);
  const wchar16* Name() const { return pageName_; }
  uint32_t Value() const { return value_; }

 private:
  pages_detail::MainPart main_;
  pages_detail::SecondPart second_;
  pages_detail::NamePart name_;
  uint32_t references_ = 0;
  uint32_t value_ = 0;
  wchar16 pageName_[kPagesNameLength] = {};
};

}  // namespace cvla
