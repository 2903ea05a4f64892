// Zero-filled blocks from the Windows global heap (calloc natively). Objects and
// buffers of the plug-in come from here, so every field a constructor does not
// set starts at zero.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace cvplat {

// A locked, zero-filled block, or null when there is no memory.
void* GlobalAllocZero(size_t bytes);
// Unlocks and frees a block from GlobalAllocZero; null is ignored.
void GlobalFreeBlock(void* block);

// Memory handed to a COM caller who frees it (CoTaskMemAlloc / CoTaskMemFree;
// malloc and free natively). Null when there is no memory.
void* TaskMemAlloc(size_t bytes);
void TaskMemFree(void* block);

// Owns one block from GlobalAllocZero.
class GlobalBlock {
 public:
  GlobalBlock() = default;
  explicit GlobalBlock(size_t bytes) : data_(GlobalAllocZero(bytes)), size_(data_ ? bytes : 0) {}
  ~GlobalBlock() { GlobalFreeBlock(data_); }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  GlobalBlock(GlobalBlock&& o) noexcept : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
  GlobalBlock& operator=(GlobalBlock&& o) noexcept {
    if (this != &o) {
      GlobalFreeBlock(data_);
      data_ = std::exchange(o.data_, nullptr);
      size_ = std::exchange(o.size_, 0);
    }
    return *this;
  }
  void* Get() const { return data_; }
  template <typename T>
  T* As() const { return static_cast<T*>(data_); }
  size_t Size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }
  void* Release() {
    size_ = 0;
    return std::exchange(data_, nullptr);
  }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
};

// Constructs an object in a zero-filled global block; null when out of memory.
template <typename T, typename... Args>
T* NewZeroed(Args&&... args) {
  void* p = GlobalAllocZero(sizeof(T));
  if (!p) return nullptr;
  return new (p) T(std::forward<Args>(args)...);
}

// Destroys an object made by NewZeroed and frees its block.
template <typename T>
void DeleteZeroed(T* object) {
  if (!object) return;
  object->~T();
  GlobalFreeBlock(object);
}

}  // namespace cvplat
