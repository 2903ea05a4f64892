// Test programs run one suite per process and several processes at once, so a
// scratch file carries the name of the suite that uses it.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace cvtest {

inline std::string SuiteFileName(const std::string& name) {
  const ::testing::TestSuite* suite = ::testing::UnitTest::GetInstance()->current_test_suite();
  if (suite == nullptr) return name;
  std::string prefix = suite->name();
  for (char& c : prefix) {
    if (c == '/') c = '_';
  }
  return prefix + "." + name;
}

}  // namespace cvtest
