// No exception leaves the module: an allocation that fails inside a COM method
// comes back as E_OUTOFMEMORY, any other exception as E_UNEXPECTED.
#include "krn/com_guard.h"
#include "krn/com_ptr.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace {
// Counts down the allocations of this program; the one that reaches zero fails.
std::atomic<int> g_failAllocationAfter{0};
}  // namespace

// The replacement pairs malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  int n = g_failAllocationAfter.load();
  while (n > 0 && !g_failAllocationAfter.compare_exchange_weak(n, n - 1)) {
  }
  if (n == 1) throw std::bad_alloc();
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

HRESULT ThrowsLogicError() try {
  throw std::logic_error("unexpected state");
} CV_COM_CATCH_RETURN()

uint32_t ThrowsFromValueFunction() try {
  throw 7;
} CV_COM_CATCH_RETURN_VALUE(0xFFFFFFFFu)

TEST(ComGuard, FailedAllocationInsideAMethodBecomesOutOfMemory) {
  cvtest::ModuleScope module;
  cv::ComPtr<cv::ICvFileType> fileType;
  ASSERT_EQ(cvtest::CreatePlugInObject(cv::IID_ICvFileType, fileType.PutVoid()), cv::kS_OK);
  const auto path = cvtest::WidePath(cvtest::TestDataPath("guard-missing.qla"));

  g_failAllocationAfter = 1;  // the file name's conversion is the method's first allocation
  const HRESULT failed = fileType->CheckFile(path.c_str());
  g_failAllocationAfter = 0;
  EXPECT_EQ(failed, cv::kE_OUTOFMEMORY);
  EXPECT_EQ(fileType->CheckFile(path.c_str()), cv::CVERR_NO_RIFF_HEADER);  // and the object still works
}

TEST(ComGuard, OtherExceptionsBecomeUnexpectedOrTheGivenValue) {
  EXPECT_EQ(ThrowsLogicError(), cv::kE_UNEXPECTED);
  EXPECT_EQ(ThrowsFromValueFunction(), 0xFFFFFFFFu);
}

}  // namespace

// The replaced allocation functions above hand out malloc blocks; under
// AddressSanitizer the standard library's own array forms still pair with them.
extern "C" const char* __asan_default_options() { return "alloc_dealloc_mismatch=0"; }
