#include "ffplugs/cvla/module/class_factory.h"

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/module/file_type.h"
#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/module/plugin_pages.h"
#include "ffplugs/cvla/module/renderer.h"
#include "krn/com_guard.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

namespace cvla {

void* QlaClassFactory::FindInterface(REFIID iid) {
  if (iid != cv::kIID_IUnknown && iid != cv::kIID_IClassFactory) return nullptr;
  return static_cast<IClassFactory*>(this);
}

namespace {

[[nodiscard]] HRESULT CreateFileType(void** out) {
  QlaFileType* fileType = cvplat::NewZeroed<QlaFileType>();
  if (!fileType) return cv::kE_OUTOFMEMORY;
  Module().fileTypeFlags |= kFileTypeFlagBit;
  fileType->AddRef();
  *out = static_cast<cv::ICvFileType*>(fileType);
  return cv::kS_OK;
}

[[nodiscard]] HRESULT CreateRenderer(void** out) {
  QlaRenderer* renderer = cvplat::NewZeroed<QlaRenderer>();
  if (!renderer) return cv::kE_OUTOFMEMORY;
  Module().rendererFlags = (Module().rendererFlags & ~kRendererFlagsCleared) | kRendererFlagsSet;
  renderer->AddRef();
  *out = static_cast<cv::ICvFileRenderer*>(renderer);
  return cv::kS_OK;
}

[[nodiscard]] HRESULT CreatePlugInPages(void** out) {
  QlaPlugInPages* pages = cvplat::NewZeroed<QlaPlugInPages>();
  if (!pages) return cv::kE_OUTOFMEMORY;
  HRESULT hr = pages->Initialize();
  if (cv::Failed(hr)) {
    cvplat::DeleteZeroed(pages);
    return hr;
  }
  pages->AddRef();
  *out = pages->MainInterface();
  return hr;
}

}  // namespace

HRESULT QlaClassFactory::CreateInstance(IUnknown* /*outer: no aggregation*/, REFIID iid, void** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (classId_ != cv::CLSID_QuartzlinePlugIn) return cv::kE_NOINTERFACE;
  if (iid == cv::IID_ICvFileRenderer) return CreateRenderer(out);
  if (iid == cv::IID_ICvFileType) return CreateFileType(out);
  if (iid == cv::IID_ICvPlugInPages) return CreatePlugInPages(out);
  return cv::kE_NOINTERFACE;
} CV_COM_CATCH_RETURN()

HRESULT QlaClassFactory::LockServer(BOOL lock) try {
  // The signed counter may go negative; atomic arithmetic wraps in 32 bits.
  Module().serverLocks.fetch_add(lock ? 1 : -1);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

[[nodiscard]] HRESULT GetClassObject(const CLSID& classId, const IID& iid, void** out) {
  if (!out) return cv::kE_POINTER;
  if (iid != cv::kIID_IUnknown && iid != cv::kIID_IClassFactory) {
    *out = nullptr;
    return cv::kE_NOINTERFACE;
  }
  QlaClassFactory* factory = cvplat::NewZeroed<QlaClassFactory>(classId);
  if (!factory) {
    *out = nullptr;
    return cv::kE_OUTOFMEMORY;
  }
  factory->AddRef();
  *out = static_cast<IClassFactory*>(factory);
  return cv::kS_OK;
}

HRESULT CanUnloadNow() { return cv::kS_FALSE; }

}  // namespace cvla
