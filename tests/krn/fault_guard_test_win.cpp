// Work run under the fault guard may raise an exception or fault; the guard
// reports it, the caller goes on, and guards nest.
#include "krn/platform/fault_guard.h"
#include "krn/platform/win_types.h"

#include <gtest/gtest.h>

namespace {

struct Work {
  volatile int reached = 0;
  // Written through: a fault. Not null: Wine may map the lowest pages on demand.
  int* volatile target = reinterpret_cast<int*>(~static_cast<uintptr_t>(0) - 15);
};

void RaiseAfterOneStep(void* work) {
  static_cast<Work*>(work)->reached = 1;
  ::RaiseException(0xE0514C41, 0, 0, nullptr);
  static_cast<Work*>(work)->reached = 2;
}

void WriteOutOfBounds(void* work) {
  static_cast<Work*>(work)->reached = 1;
  *static_cast<Work*>(work)->target = 7;
  static_cast<Work*>(work)->reached = 2;
}

TEST(FaultGuard, ReportsExceptionsAndFaultsAndNests) {
  for (void (*faulty)(void*) : {&RaiseAfterOneStep, &WriteOutOfBounds}) {
    Work work;
    EXPECT_FALSE(cvplat::RunGuarded(faulty, &work));
    EXPECT_EQ(work.reached, 1);
  }
  Work outer;
  auto nested = [](void* work) {
    Work inner;
    static_cast<Work*>(work)->reached = cvplat::RunGuarded(&WriteOutOfBounds, &inner) ? 2 : 1;
  };
  EXPECT_TRUE(cvplat::RunGuarded(nested, &outer));
  EXPECT_EQ(outer.reached, 1);
}

}  // namespace
