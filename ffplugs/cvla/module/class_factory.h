// The class factory that DllGetClassObject hands out. Its one class makes three
// kinds of object, chosen by the interface identifier given to CreateInstance:
// the file type, the renderer and the plug-in pages object.
#pragma once

#include "krn/com_object.h"
#include "krn/platform/win_types.h"

#include <cstdint>

namespace cvla {

class QlaClassFactory final : public cv::ComObject<QlaClassFactory, cv::PlainCount, IClassFactory> {
 public:
  explicit QlaClassFactory(const CLSID& classId) : classId_(classId) {}

  void* FindInterface(REFIID iid);
  HRESULT CV_STDCALL CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT CV_STDCALL LockServer(BOOL lock) override;

 private:
  CLSID classId_;
};

// DllGetClassObject: a new factory for any class identifier when the interface
// is IUnknown or IClassFactory (the class is compared by CreateInstance).
[[nodiscard]] HRESULT GetClassObject(const CLSID& classId, const IID& iid, void** out);

// DllCanUnloadNow: the module stays loaded once loaded.
[[nodiscard]] HRESULT CanUnloadNow();

}  // namespace cvla
