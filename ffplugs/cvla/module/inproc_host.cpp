#include "ffplugs/cvla/module/inproc_host.h"

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/module/class_factory.h"
#include "ffplugs/cvla/module/file_type.h"
#include "ffplugs/cvla/module/module_state.h"
#include "krn/com_ptr.h"
#include "krn/results.h"

namespace cvla {

static_assert(kHostHeaderBytes == kCheckFileBytes, "the host reads what CheckFile reads");

void StartInProcess() { ModuleAttach(nullptr); }

void StopInProcess() { ModuleDetach(); }

[[nodiscard]] HRESULT CreatePlugInObject(const IID& iid, void** out) {
  *out = nullptr;
  cv::ComPtr<IClassFactory> factory;
  const HRESULT hr = GetClassObject(cv::CLSID_QuartzlinePlugIn, cv::kIID_IClassFactory, factory.PutVoid());
  if (cv::Failed(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, out);
}

}  // namespace cvla
