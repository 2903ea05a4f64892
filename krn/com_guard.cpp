#include "krn/com_guard.h"

#include "krn/results.h"

#include <exception>
#include <new>

namespace cv {

[[nodiscard]] HRESULT ResultFromCaughtException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  } catch (...) {
    return kE_UNEXPECTED;
  }
}

}  // namespace cv
