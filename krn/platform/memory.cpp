#include "krn/platform/memory.h"

#include "krn/platform/win_types.h"

#include <cstdlib>

namespace cvplat {

#ifdef _WIN32

void* GlobalAllocZero(size_t bytes) {
  HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes ? bytes : 1);
  if (!h) return nullptr;
  void* p = ::GlobalLock(h);
  if (!p) ::GlobalFree(h);
  return p;
}

void GlobalFreeBlock(void* block) {
  if (!block) return;
  HGLOBAL h = ::GlobalHandle(block);
  if (!h) return;
  ::GlobalUnlock(h);
  ::GlobalFree(h);
}

void* TaskMemAlloc(size_t bytes) { return ::CoTaskMemAlloc(bytes ? bytes : 1); }
void TaskMemFree(void* block) { ::CoTaskMemFree(block); }

#else

void* TaskMemAlloc(size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void TaskMemFree(void* block) { std::free(block); }

void* GlobalAllocZero(size_t bytes) { return std::calloc(1, bytes ? bytes : 1); }
void GlobalFreeBlock(void* block) { std::free(block); }

#endif

}  // namespace cvplat
