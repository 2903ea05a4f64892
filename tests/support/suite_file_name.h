// Test programs run one suite per process and several processes at once, so
// each suite keeps its scratch files in a folder of its own under the test data
// folder (file names stay as the tests give them).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace cvtest {

inline std::string SuiteDataPath(const std::string& name) {
  std::string folder = CVQL_TESTDATA_DIR;
  if (const ::testing::TestSuite* suite = ::testing::UnitTest::GetInstance()->current_test_suite()) {
    std::string suiteName = suite->name();
    for (char& c : suiteName) {
      if (c == '/') c = '_';
    }
    folder += "/" + suiteName;
  }
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder + "/" + name;
}

}  // namespace cvtest
