#include "krn/message_macros.h"
#include "krn/messages.h"
#include "krn/results.h"
#include "krn/shared_services.h"
#include "krn/platform/message_box.h"
#include "krn/show_error.h"
#include "tests/main/message_box_recorder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kGeneralTitle = "An error occurred during the current operation.";

struct QuotedMessage {
  uint32_t code;
  UINT id;
  const char* text;
};

// The message texts that users of the plug-in see, exactly as they must read.
const QuotedMessage kQuoted[] = {
    {0x80004005, 4000, "The reason for the error could not be determined."},
    {0x8000FFFF, 4001, "An unexpected error has occurred."},
    {0x80070057, 4002, "An invalid argument was specifed."},
    {0x80004003, 4003, "An invalid pointer was specifed."},
    {0x80004001, 4004, "A necessary function has not been implemented."},
    {0x8007000E, 4005, "The system is low on memory. You may be able to reduce memory usage by closing other applications."},
    {0x80070006, 4006, "An invalid handle was specifed."},
    {0x8004E002, 4011, "The disk is full. Please free some space and try again."},
    {0x8004E005, 4014, "The system is busy."},
    {0x8004E00C, 4015, "The operation was cancelled by the user."},
    {0x8004E006, 4016, "The file could not be created."},
    {0x8004E032, 4017, "The file could not be created. Another file with that name exists."},
    {0x8004E007, 4018, "The file could not be opened. Make sure the file exists and that you have access to the file/folder."},
    {0x8004E009, 4019, "An error occurred writing the file. Make sure you have write access to the file/folder and that there is enough free space."},
    {0x8004E008, 4020, "An error occurred reading the file. Make sure you have read access to the file/folder and that it is not corrupted."},
    {0x8004E00B, 4021, "The file is most likely corrupted or of an unknown format."},
    {0x8004E00D, 4022, "The file name is not valid."},
    {0x8004E011, 4027, "An error occurred while opening a codec."},
    {0x800404B0, 4032, "An invalid device was specified."},
    {0x8004E080, 4038, "The file is most likely corrupted or of an unknown format. A necessary RIFF header is missing."},
    {0x8004E081, 4039, "The file is most likely corrupted or of an unknown format. A necessary LIST header is missing."},
    {0x8004E082, 4040, "The file is most likely corrupted or of an unknown format. A chunk has a length of 0."},
    {0x8004E083, 4041, "The file is most likely corrupted or of an unknown format. A chunk has an illegal length."},
    {0x8004E01E, 4062, "An error occurred while opening a codec."},
    {0x8004E00A, 4066, "The item was not found."},
    {0x8004E01A, 4067, "The file has no audio."},
    {0x8004E026, 4073, "Too many files are open."},
};

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

TEST_F(Messages, QuotedTextsAreExactWithTheirIds) {
  for (bool started : {false, true}) {
    if (started) {
      ASSERT_EQ(cv::StartSharedServices(nullptr), cv::kS_OK);
    }
    for (const QuotedMessage& q : kQuoted) {
      SCOPED_TRACE(q.id);
      EXPECT_EQ(Message(cv::Code(q.code)), std::string("\n\n") + q.text);
      size_t row = 0;
      while (row < cv::kErrorMessageTableRows && cv::ErrorMessageTable[row].code != q.code) ++row;
      ASSERT_LT(row, cv::kErrorMessageTableRows);
      EXPECT_EQ(cv::ErrorMessageTable[row].text, q.id);
    }
  }
  EXPECT_EQ(Message(cv::CVERR_CODEC_FAILED), Message(cv::CVERR_CODEC_OPEN));
}

TEST_F(Messages, BuiltInTableRowsKeepTheirOrder) {
  EXPECT_EQ(cv::ErrorMessageTable[0].code, 0x80004005u);
  EXPECT_EQ(cv::ErrorMessageTable[7].code, 0x80040154u);
  EXPECT_EQ(cv::ErrorMessageTable[60].code, 0x8004E01Eu);
  EXPECT_EQ(cv::ErrorMessageTable[97].code, 0x8004E162u);
  for (size_t i = 1; i < cv::kErrorMessageTableRows; ++i) {
    EXPECT_GT(cv::ErrorMessageTable[i].text, cv::ErrorMessageTable[i - 1].text);
    EXPECT_LT(cv::ErrorMessageTable[i].text, 4100u);
  }
  EXPECT_EQ(cv::ErrorTitleTable[13].context, 14u);  // there is no context 13
  EXPECT_EQ(cv::ErrorTitleTable[42].context, 43u);
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

TEST_F(Messages, TitlesTakeTheArgument) {
  EXPECT_EQ(std::string(cv::ComposeErrorText(5, cv::CVERR_FILE_READ, "C:\\song.qla")),
            "An error occurred while loading the project file C:\\song.qla." + Message(cv::CVERR_FILE_READ));
  EXPECT_EQ(std::string(cv::ComposeErrorText(7, cv::CVERR_DISK_FULL, nullptr)),
            "An error occurred while creating the media file ." + Message(cv::CVERR_DISK_FULL));
  EXPECT_STREQ(cv::GetErrorTitle(28), "An error occurred while encoding a file.");
  EXPECT_STREQ(cv::GetErrorTitle(33), "An error occurred while importing media.");
  for (uintptr_t noRow : {13u, 44u, 0xFFFFu}) {
    EXPECT_EQ(cv::GetErrorTitle(noRow), kGeneralTitle);
  }

  // A context above 0xFFFF is the title itself, macros included.
  ASSERT_EQ(cv::SetMessageMacro("AppName", "Quartzline Studio"), cv::kS_OK);
  static const char kOwnTitle[] = "$(AppName) could not open %s.";
  EXPECT_EQ(std::string(cv::ComposeErrorText(reinterpret_cast<uintptr_t>(kOwnTitle), cv::CVERR_NO_AUDIO, "a.qla")),
            "Quartzline Studio could not open a.qla.\n\nThe file has no audio.");
  cv::ClearMessageMacros();
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
  EXPECT_EQ(cv::ResultFromWin32Error(5), cv::kE_FAIL);  // access denied has no row
  EXPECT_EQ(cv::ResultFromWin32Error(1000), cv::kE_FAIL);
  EXPECT_EQ(cv::ResultFromWin32Error(1), cv::kE_INVALIDARG);
  EXPECT_EQ(cv::ResultFromWin32Error(2), cv::CVERR_NOT_FOUND);
  EXPECT_EQ(cv::ResultFromWin32Error(4), cv::CVERR_TOO_MANY_FILES);
  EXPECT_EQ(cv::ResultFromWin32Error(15), cv::kInvalidDevice);
  EXPECT_EQ(cv::ResultFromWin32Error(80), cv::CVERR_FILE_EXISTS);
  EXPECT_EQ(cv::ResultFromWin32Error(84), cv::kE_OUTOFMEMORY);
  EXPECT_EQ(cv::ResultFromWin32Error(110), cv::CVERR_FILE_OPEN);
  EXPECT_EQ(cv::ResultFromWin32Error(112), cv::CVERR_DISK_FULL);
  EXPECT_EQ(cv::ResultFromWin32Error(123), cv::CVERR_BAD_FILE_NAME);
  EXPECT_EQ(cv::ResultFromWin32Error(170), cv::CVERR_BUSY);
  // Every failure a Win32 error maps to has a message for the user.
  for (size_t i = 0; i < cv::kWin32ErrorMapRows; ++i) {
    if (cv::Win32ErrorMap[i].result == 0) continue;
    EXPECT_NE(cv::GetResultMessage(cv::Code(cv::Win32ErrorMap[i].result)), nullptr) << cv::Win32ErrorMap[i].win32Error;
  }
}

TEST_F(Messages, RegisteredTablesComeFirstInRegistrationOrder) {
  static const char kFirst[] = "\n\nfirst";
  static const char kSecond[] = "\n\nsecond";
  static const cv::ResultMessageRow tableA[] = {{0x8004E777, reinterpret_cast<uintptr_t>(kFirst)},
                                                {0x8004E008, 0}};
  static const cv::ResultMessageRow tableB[] = {{0x8004E777, reinterpret_cast<uintptr_t>(kSecond)},
                                                {0x80004005, reinterpret_cast<uintptr_t>(kSecond)},
                                                {0x8004E778, 4066}};
  ASSERT_EQ(cv::AddResultMessageTable(tableA, 2), 0);
  ASSERT_EQ(cv::AddResultMessageTable(tableB, 3), 0);
  EXPECT_STREQ(cv::GetResultMessage(cv::Code(0x8004E777)), kFirst);
  EXPECT_STREQ(cv::GetResultMessage(cv::kE_FAIL), kSecond);          // before the built-in row
  EXPECT_EQ(cv::GetResultMessage(cv::CVERR_FILE_READ), nullptr);      // a row without text decides
  EXPECT_EQ(Message(cv::Code(0x8004E778)), "\n\nThe item was not found.");  // a string id

  static const cv::ResultMessageRow late[] = {{0x8004E779, reinterpret_cast<uintptr_t>(kFirst)}};
  for (size_t i = 2; i < cv::kMaxMessageTables; ++i) ASSERT_EQ(cv::AddResultMessageTable(tableB, 1), 0) << i;
  EXPECT_EQ(cv::AddResultMessageTable(late, 1), 1);
  EXPECT_EQ(cv::GetResultMessage(cv::Code(0x8004E779)), nullptr);
  EXPECT_EQ(cv::AddResultMessageTable(nullptr, 1), 1);
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

struct HookRecord {
  static std::vector<std::string> texts;
  static int answer;
  static int Hook(HWND, UINT, const char* text) {
    texts.push_back(text);
    return answer;
  }
};
std::vector<std::string> HookRecord::texts;
int HookRecord::answer = 0;

TEST_F(Messages, ShowErrorMessageGoesToTheHook) {
  HookRecord::texts.clear();
  HookRecord::answer = 7;
  cv::SetErrorMessageHook(&HookRecord::Hook);

  EXPECT_EQ(cv::ShowErrorMessage(nullptr, 0, 22, cv::CVERR_CANCELLED, nullptr, FALSE), 1);
  EXPECT_TRUE(HookRecord::texts.empty());

  EXPECT_EQ(cv::ShowErrorMessage(nullptr, 0, 22, cv::CVERR_FILE_OPEN, nullptr, TRUE), 7);
  cv::SetErrorMessageDetails("stack: 1 2 3");
  EXPECT_EQ(cv::ShowErrorMessage(nullptr, 0, 23, cv::CVERR_FILE_WRITE, nullptr, FALSE), 7);
  EXPECT_EQ(cv::ShowErrorMessage(nullptr, 0, 23, cv::CVERR_FILE_WRITE, nullptr, FALSE), 7);  // details used up
  ASSERT_EQ(HookRecord::texts.size(), 3u);
  EXPECT_EQ(HookRecord::texts[0],
            "Warning: An error occurred while opening one or more files." + Message(cv::CVERR_FILE_OPEN));
  const std::string saving = "An error occurred while saving one or more files." + Message(cv::CVERR_FILE_WRITE);
  EXPECT_EQ(HookRecord::texts[1], saving + "/r/n-----DETAILS START-----/r/nstack: 1 2 3/r/n-----DETAILS END-----");
  EXPECT_EQ(HookRecord::texts[2], saving);

  // A hook that declines leaves the text to the message box, with the error icon.
  HookRecord::answer = -1;
  const int boxes = cvtest::MessageBoxCount();
  EXPECT_EQ(cv::ShowErrorMessage(nullptr, 0, 0, cv::kE_FAIL, nullptr, FALSE), 1);
  EXPECT_EQ(HookRecord::texts.size(), 4u);
  ASSERT_EQ(cvtest::MessageBoxCount(), boxes + 1);
  EXPECT_EQ(cvtest::LastMessageBox().text, HookRecord::texts[3]);
  EXPECT_EQ(cvtest::LastMessageBox().caption, "Error");
  EXPECT_EQ(cvtest::LastMessageBox().flags & cvplat::kMessageIconMask, cvplat::kMessageIconError);
  cv::SetErrorMessageHook(nullptr);
}

}  // namespace
