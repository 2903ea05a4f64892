#include "krn/messages.h"
#include "krn/results.h"
#include "krn/shared_services.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// Codes without a row or a text compose the "message missing" line; whatever
// the title and argument, the composed text stays inside its 2048-byte buffer.
TEST_F(Messages, ComposedTextsSayWhatIsMissingAndStayInTheirBuffer) {
  const std::string general = "An error occurred during the current operation.";
  for (HRESULT code : {cv::Code(0x8004EFFF), cv::Code(0x8004E01C), cv::kStreamPastEnd}) {
    EXPECT_EQ(cv::GetResultMessage(code), nullptr);
    char expected[64];
    std::snprintf(expected, sizeof expected, "\n\nError 0x%08x (message missing)", static_cast<unsigned>(code));
    EXPECT_EQ(std::string(cv::ComposeErrorText(0, code, nullptr)), general + expected);
  }
  const std::string longName(3000, 'n');
  EXPECT_EQ(std::string(cv::ComposeErrorText(5, cv::CVERR_FILE_READ, longName.c_str())).size(),
            cv::kComposedTextSize - 1);
  const std::string title(2046, 't');  // room for one byte of the message
  EXPECT_EQ(std::string(cv::ComposeErrorText(reinterpret_cast<uintptr_t>(title.c_str()), cv::kE_FAIL, nullptr)),
            title + "\n");
}

// Registered tables are searched before the built-in one, in registration
// order, up to their fixed number.
TEST_F(Messages, RegisteredTablesComeFirstInRegistrationOrder) {
  static const char kFirst[] = "\n\nfirst";
  static const cv::ResultMessageRow tableA[] = {{0x8004E777, reinterpret_cast<uintptr_t>(kFirst)}, {0x8004E008, 0}};
  static const cv::ResultMessageRow tableB[] = {{0x8004E777, 4066}, {0x80004005, reinterpret_cast<uintptr_t>(kFirst)}};
  ASSERT_EQ(cv::AddResultMessageTable(tableA, 2), 0);
  ASSERT_EQ(cv::AddResultMessageTable(tableB, 2), 0);
  EXPECT_STREQ(cv::GetResultMessage(cv::Code(0x8004E777)), kFirst);
  EXPECT_STREQ(cv::GetResultMessage(cv::kE_FAIL), kFirst);          // before the built-in row
  EXPECT_EQ(cv::GetResultMessage(cv::CVERR_FILE_READ), nullptr);    // a row without text decides
  for (size_t i = 2; i < cv::kMaxMessageTables; ++i) ASSERT_EQ(cv::AddResultMessageTable(tableB, 1), 0) << i;
  EXPECT_EQ(cv::AddResultMessageTable(tableA, 1), 1);
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
