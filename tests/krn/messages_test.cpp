#include "krn/messages.h"
#include "krn/results.h"
#include "krn/shared_services.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

const std::string kGeneralTitle = "An error occurred during the current operation.";

// FNV-1a over every row of the built-in tables: code, string id and text. The
// texts are what users read; any change to a row changes the hash.
uint64_t TableHash() {
  uint64_t h = 1469598103934665603ull;
  auto add = [&h](const std::string& bytes) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  };
  for (size_t i = 0; i < cv::kErrorMessageTableRows; ++i) {
    const cv::ResultMessageRow& row = cv::ErrorMessageTable[i];
    const char* text = cv::GetResultMessage(cv::Code(row.code));
    add(std::to_string(row.code) + ":" + std::to_string(row.text) + ":" + (text ? text : "-") + ";");
  }
  for (size_t i = 0; i < cv::kErrorTitleTableRows; ++i) {
    add(std::to_string(cv::ErrorTitleTable[i].context) + ":" + cv::GetErrorTitle(cv::ErrorTitleTable[i].context));
  }
  return h;
}

class Messages : public ::testing::Test {
 protected:
  void SetUp() override { cv::ClearResultMessageTablesForTest(); }
  void TearDown() override {
    cv::ClearResultMessageTablesForTest();
    cv::StopSharedServices();
  }
};

std::string Message(HRESULT code) {
  const char* text = cv::GetResultMessage(code);
  return text ? text : "<none>";
}

TEST_F(Messages, TablesAndTextsMatchTheGoldenHash) {
  const uint64_t builtIn = TableHash();
  ASSERT_EQ(cv::StartSharedServices(nullptr), cv::kS_OK);
  EXPECT_EQ(TableHash(), builtIn);  // the string table gives the same texts
  EXPECT_EQ(builtIn, 0x8737b07af016b070ull) << std::hex << builtIn;
}

TEST_F(Messages, CodesWithoutTextComposeTheMissingMessage) {
  EXPECT_EQ(cv::GetResultMessage(cv::Code(0x8004EFFF)), nullptr);  // no row
  EXPECT_EQ(cv::GetResultMessage(cv::Code(0x8004E01C)), nullptr);  // a host row without text
  EXPECT_EQ(std::string(cv::ComposeErrorText(0, cv::Code(0x8004EFFF), nullptr)),
            kGeneralTitle + "\n\nError 0x8004efff (message missing)");
  EXPECT_EQ(std::string(cv::ComposeErrorText(0, cv::Code(0x8004E01C), nullptr)),
            kGeneralTitle + "\n\nError 0x8004e01c (message missing)");
  EXPECT_EQ(std::string(cv::ComposeErrorText(0, cv::kStreamPastEnd, nullptr)),
            kGeneralTitle + "\n\nError 0x800a0026 (message missing)");
}

TEST_F(Messages, ComposedTextStaysWithin2048Bytes) {
  const std::string longName(3000, 'n');
  const std::string full = cv::ComposeErrorText(5, cv::CVERR_FILE_READ, longName.c_str());
  EXPECT_EQ(full.size(), cv::kComposedTextSize - 1);
  EXPECT_EQ(full.find("\n\n"), std::string::npos);  // no message appended

  // A title that leaves little room gets the message cut, not dropped.
  const std::string title(2040, 't');
  const std::string cut = cv::ComposeErrorText(reinterpret_cast<uintptr_t>(title.c_str()), cv::kE_FAIL, nullptr);
  EXPECT_EQ(cut, title + Message(cv::kE_FAIL).substr(0, 7));
  const std::string room1(2046, 't');
  EXPECT_EQ(std::string(cv::ComposeErrorText(reinterpret_cast<uintptr_t>(room1.c_str()), cv::kE_FAIL, nullptr)),
            room1 + "\n");
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

TEST_F(Messages, ThreadsComposeWithoutDisturbingEachOther) {
  ASSERT_EQ(cv::StartSharedServices(nullptr), cv::kS_OK);
  auto worker = [](const char* name, HRESULT code, std::string message, int* mismatches) {
    const std::string expected = std::string("An error occurred while saving the project file ") + name + "." + message;
    for (int i = 0; i < 2000; ++i) {
      const char* text = cv::ComposeErrorText(6, code, name);
      std::this_thread::yield();
      if (expected != text) ++*mismatches;
    }
  };
  int mismatchesA = 0, mismatchesB = 0;
  std::thread a(worker, "alpha.qla", cv::CVERR_FILE_WRITE, Message(cv::CVERR_FILE_WRITE), &mismatchesA);
  std::thread b(worker, "beta.qla", cv::Code(0x8004EFFF), "\n\nError 0x8004efff (message missing)", &mismatchesB);
  a.join();
  b.join();
  EXPECT_EQ(mismatchesA, 0);
  EXPECT_EQ(mismatchesB, 0);
}

}  // namespace
