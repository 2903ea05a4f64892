// The IUnknown part of a COM object, so that each object states only its
// interfaces. An object derives from ComObject<Self, Count, Interfaces...> and
// provides
//   void* FindInterface(REFIID iid);   // the interface pointer, or null
// and, when the last Release must do more than free the object,
//   void Destroy();
// QueryInterface answers E_POINTER for a null out, E_NOINTERFACE with a null
// pointer for an interface the object does not have, and otherwise adds a
// reference. AddRef and Release return the new count; the last Release
// destroys the object (by default: DeleteZeroed, the object came from NewZeroed).
#pragma once

#include "krn/platform/memory.h"
#include "krn/platform/win_types.h"
#include "krn/results.h"

#include <atomic>
#include <cstdint>

namespace cv {

// Plain increments, for objects used by one thread at a time.
class PlainCount {
 public:
  ULONG Increment() { return ++value_; }
  ULONG Decrement() { return --value_; }

 private:
  uint32_t value_ = 0;
};

// Interlocked increments, for objects that several threads may hold.
class AtomicCount {
 public:
  ULONG Increment() { return static_cast<ULONG>(++value_); }
  ULONG Decrement() { return static_cast<ULONG>(--value_); }

 private:
  std::atomic<LONG> value_{0};
};

template <class Self, class Count, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override {
    if (!out) return kE_POINTER;
    *out = static_cast<Self*>(this)->FindInterface(iid);
    if (!*out) return kE_NOINTERFACE;
    AddRef();
    return kS_OK;
  }
  ULONG CV_STDCALL AddRef() override { return count_.Increment(); }
  ULONG CV_STDCALL Release() override {
    const ULONG count = count_.Decrement();
    if (count == 0) static_cast<Self*>(this)->Destroy();
    return count;
  }

  void Destroy() { cvplat::DeleteZeroed(static_cast<Self*>(this)); }

 protected:
  ComObject() = default;
  ~ComObject() = default;

 private:
  Count count_;
};

}  // namespace cv
