#include "krn/messages.h"
#include "krn/results.h"
#include "krn/shared_services.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// FNV-1a over every row of the built-in tables: code, string id and text. The
// texts are what users read; any change to a row changes the hash.
uint64_t TableHash() {
  std::string rows;
  for (size_t i = 0; i < cv::kErrorMessageTableRows; ++i) {
    const cv::ResultMessageRow& row = cv::ErrorMessageTable[i];
    const char* text = cv::GetResultMessage(cv::Code(row.code));
    rows += std::to_string(row.code) + ":" + std::to_string(row.text) + ":" + (text ? text : "-") + ";";
  }
  for (size_t i = 0; i < cv::kErrorTitleTableRows; ++i) {
    rows += std::to_string(cv::ErrorTitleTable[i].context) + ":" + cv::GetErrorTitle(cv::ErrorTitleTable[i].context);
  }
  return cvtest::Fnv1a(cvtest::Bytes(rows.begin(), rows.end()));
}

class Messages : public ::testing::Test {
 protected:
  void SetUp() override { cv::ClearResultMessageTablesForTest(); }
  void TearDown() override {
    cv::ClearResultMessageTablesForTest();
    cv::StopSharedServices();
  }
};

TEST_F(Messages, TablesAndTextsMatchTheGoldenHash) {
  const uint64_t builtIn = TableHash();
  ASSERT_EQ(cv::StartSharedServices(nullptr), cv::kS_OK);
  EXPECT_EQ(TableHash(), builtIn);  // the string table gives the same texts
  EXPECT_EQ(builtIn, 0x8737b07af016b070ull) << std::hex << builtIn;
}

// The tool shows the bare code for these; no code of the product composes messages.
TEST_F(Messages, CodesWithoutARowOrATextHaveNoMessage) {
  EXPECT_EQ(cv::GetResultMessage(cv::Code(0x8004EFFF)), nullptr);  // no row
  EXPECT_EQ(cv::GetResultMessage(cv::Code(0x8004E01C)), nullptr);  // a host row without text
  EXPECT_EQ(cv::GetResultMessage(cv::kStreamPastEnd), nullptr);
}

TEST_F(Messages, Win32ErrorsMapToResults) {
  EXPECT_EQ(cv::ResultFromWin32Error(0), 0);
  EXPECT_EQ(cv::ResultFromWin32Error(1000), cv::kE_FAIL);  // not in the map
  // Every failure a Win32 error maps to has a message for the user.
  for (size_t i = 0; i < cv::kWin32ErrorMapRows; ++i) {
    if (cv::Win32ErrorMap[i].result == 0) continue;
    EXPECT_NE(cv::GetResultMessage(cv::Code(cv::Win32ErrorMap[i].result)), nullptr) << cv::Win32ErrorMap[i].win32Error;
  }
}

}  // namespace
