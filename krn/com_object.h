// The IUnknown part of a COM object, so that each object states only its
// interfaces. An object derives from ComObject<Self, Count, Interfaces...> and
// provides
//   void* FindInterface(REFIID iid);   // the interface pointer, or null
// and, when the last Release must do more than free the object,
//   void FinalRelease();
// QueryInterface answers E_POINTER for a null out, E_NOINTERFACE with a null
// pointer for an interface the object does not have, and otherwise adds a
// reference. AddRef and Release return the new count; the last Release
// calls FinalRelease (by default: DeleteZeroed, the object came from NewZeroed).
//
// Two relatives share that QueryInterface:
//  - OwnedComObject<Self, Interfaces...>: an object that lives inside an owner
//    which frees it. Each reference is also a reference to the owner (Self
//    provides `IUnknown* Owner()`), so the owner stays while the object is used.
//  - ComPart<Owner, Interface>: a second face of an owner whose interfaces
//    cannot share one class; all three methods go to the owner.
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

// QueryInterface through the object's FindInterface.
template <class Self>
[[nodiscard]] HRESULT QueryFoundInterface(Self* self, REFIID iid, void** out) {
  if (!out) return kE_POINTER;
  *out = self->FindInterface(iid);
  if (!*out) return kE_NOINTERFACE;
  self->AddRef();
  return kS_OK;
}

template <class Self, class Count, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override {
    return QueryFoundInterface(static_cast<Self*>(this), iid, out);
  }
  ULONG CV_STDCALL AddRef() override { return count_.Increment(); }
  ULONG CV_STDCALL Release() override {
    const ULONG count = count_.Decrement();
    if (count == 0) static_cast<Self*>(this)->FinalRelease();
    return count;
  }

  void FinalRelease() { cvplat::DeleteZeroed(static_cast<Self*>(this)); }

 protected:
  ComObject() = default;
  ~ComObject() = default;

 private:
  Count count_;
};

template <class Self, class... Interfaces>
class OwnedComObject : public Interfaces... {
 public:
  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override {
    return QueryFoundInterface(static_cast<Self*>(this), iid, out);
  }
  ULONG CV_STDCALL AddRef() override {
    static_cast<Self*>(this)->Owner()->AddRef();
    return count_.Increment();
  }
  // Not freed at 0: the owner frees it, maybe inside this call.
  ULONG CV_STDCALL Release() override {
    const ULONG count = count_.Decrement();
    static_cast<Self*>(this)->Owner()->Release();
    return count;
  }

 protected:
  OwnedComObject() = default;
  ~OwnedComObject() = default;

 private:
  AtomicCount count_;
};

template <class Owner, class Interface>
class ComPart : public Interface {
 public:
  explicit ComPart(Owner* owner) : owner_(owner) {}
  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override { return owner_->QueryInterface(iid, out); }
  ULONG CV_STDCALL AddRef() override { return owner_->AddRef(); }
  ULONG CV_STDCALL Release() override { return owner_->Release(); }

 protected:
  ~ComPart() = default;
  Owner* owner_;
};

}  // namespace cv
