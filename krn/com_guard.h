// Keeps C++ exceptions inside the module. Strings and vectors allocate and may
// throw std::bad_alloc; an exception that unwound into the host through a COM
// method or an export would take the host down. Every such entry point ends in
// a guard that turns the exception into a result code instead:
//
//   HRESULT QlaReader::Open(uint32_t, uint32_t) try {
//     ...
//   } CV_COM_CATCH_RETURN()
//
// std::bad_alloc becomes E_OUTOFMEMORY, any other exception E_UNEXPECTED.
// Entry points that answer a plain value use CV_COM_CATCH_RETURN_VALUE(value).
#pragma once

#include "krn/platform/win_types.h"

namespace cv {

// The result code for the exception being handled. Call only inside a catch
// handler.
[[nodiscard]] HRESULT ResultFromCaughtException() noexcept;

}  // namespace cv

#define CV_COM_CATCH_RETURN() \
  catch (...) {               \
    return ::cv::ResultFromCaughtException(); \
  }

#define CV_COM_CATCH_RETURN_VALUE(value) \
  catch (...) {                          \
    return (value);                      \
  }
