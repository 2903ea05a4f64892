// Owns one reference to a COM object and releases it when it goes. Out
// parameters that hand over a reference are filled through Put()/PutVoid().
#pragma once

#include "krn/platform/win_types.h"

#include <utility>

namespace cv {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller holds.
  explicit ComPtr(T* object) : object_(object) {}
  ComPtr(const ComPtr& other) : object_(other.object_) {
    if (object_) object_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  // Adds a reference of its own to an object the caller keeps.
  static ComPtr Share(T* object) {
    if (object) object->AddRef();
    return ComPtr(object);
  }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Releases the reference held and gives the slot for a new one.
  T** Put() {
    Reset();
    return &object_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  void Reset() {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }
  // Hands the reference to the caller.
  [[nodiscard]] T* Detach() { return std::exchange(object_, nullptr); }

  // QueryInterface for another interface of the same object.
  template <class U>
  [[nodiscard]] HRESULT As(const IID& iid, ComPtr<U>* out) const {
    return object_->QueryInterface(iid, out->PutVoid());
  }

 private:
  T* object_ = nullptr;
};

}  // namespace cv
