#include "krn/results.h"
#include "krn/shared_services.h"
#include "krn/string_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

namespace {

struct TableDeleter {
  void operator()(cv::StringTable* t) const { cv::DestroyStringTable(t); }
};
using TablePtr = std::unique_ptr<cv::StringTable, TableDeleter>;

const char* const kTexts[] = {"zero", nullptr, "", "three"};

TEST(StringTable, RangesServeCopiesOfTheirTextsAndRefuseOverlaps) {
  TablePtr table(cv::CreateStringTable(nullptr));
  ASSERT_TRUE(table);
  ASSERT_EQ(cv::AddStringRange(table.get(), kTexts, 4, 100), cv::kS_OK);  // 100..103
  const struct {
    const char* const* texts;
    uint32_t count, first;
    HRESULT hr;
  } ranges[] = {{kTexts, 1, 50, cv::kS_OK},           {kTexts, 4, 103, cv::kE_INVALIDARG},
                {kTexts, 4, 97, cv::kE_INVALIDARG},   {kTexts, 1, 101, cv::kE_INVALIDARG},
                {nullptr, 100, 40, cv::kE_INVALIDARG}, {kTexts, 0, 10, cv::kE_INVALIDARG},
                {kTexts, 4, 0xFFFFFFFEu, cv::kE_INVALIDARG}, {kTexts, 4, 104, cv::kS_OK},
                {kTexts, 4, 96, cv::kS_OK}};  // neighbours on both sides fit
  for (const auto& r : ranges) EXPECT_EQ(cv::AddStringRange(table.get(), r.texts, r.count, r.first), r.hr) << r.first;
  EXPECT_EQ(cv::AddStringRange(nullptr, kTexts, 4, 10), cv::kE_INVALIDARG);
  // Entries without a text give "", never null; ids outside every range a diagnostic.
  const std::pair<uint32_t, const char*> texts[] = {
      {100, "zero"}, {103, "three"}, {50, "zero"}, {101, ""}, {102, ""}, {107, "three"},
      {108, "CvGetString2(uId=108, ERROR)"}, {95, "CvGetString2(uId=95, ERROR)"}};
  for (const auto& [id, text] : texts) EXPECT_STREQ(cv::CvGetString2(table.get(), id), text) << id;
  EXPECT_STREQ(cv::CvGetString2(nullptr, 7), "CvGetString2(uId=7, ERROR)");
  const char* first = cv::CvGetString2(table.get(), 100);
  EXPECT_EQ(cv::CvGetString2(table.get(), 100), first);
  EXPECT_NE(first, kTexts[0]);  // a copy owned by the table
  // English, or a language without a resource module, reads the built-in texts.
  for (LANGID language : {LANGID{0x0409}, LANGID{0x0407}}) {
    EXPECT_EQ(cv::SetStringTableLanguage(table.get(), language, nullptr), cv::kS_OK);
    EXPECT_STREQ(cv::CvGetString2(table.get(), 103), "three");
  }
  EXPECT_EQ(cv::SetStringTableLanguage(nullptr, 0x0407, nullptr), cv::kE_INVALIDARG);
}

TEST(StringTable, DiagnosticsBelongToTheirThread) {
  const char* mine = cv::CvGetString2(nullptr, 11);
  std::string theirs;
  std::thread([&] { theirs = cv::CvGetString2(nullptr, 22222); }).join();
  EXPECT_STREQ(mine, "CvGetString2(uId=11, ERROR)");
  EXPECT_EQ(theirs, "CvGetString2(uId=22222, ERROR)");
}

TEST(SharedServices, ProcessTableHoldsTheMessageBlock) {
  ASSERT_EQ(cv::StartSharedServices(nullptr), cv::kS_OK);
  EXPECT_EQ(cv::StartSharedServices(nullptr), cv::kS_FALSE);
  cv::StringTable* table = cv::ProcessStringTable();
  ASSERT_NE(table, nullptr);
  // The texts themselves are pinned by the message table's hash.
  EXPECT_STREQ(cv::CvGetString2(table, 4316), "Error 0x%08x (message missing)");
  EXPECT_STREQ(cv::CvGetString2(table, 4060), "");  // no row uses it
  EXPECT_STREQ(cv::CvGetString2(table, 4356), "");  // a host text not carried
  EXPECT_STREQ(cv::CvGetString2(table, 4357), "CvGetString2(uId=4357, ERROR)");
  EXPECT_STREQ(cv::CvGetString2(table, 3999), "CvGetString2(uId=3999, ERROR)");
  EXPECT_EQ(cv::SharedString(4000), cv::CvGetString2(table, 4000));
  // Further ranges of the process table may not reach into the block.
  EXPECT_EQ(cv::AddStringRange(table, kTexts, 4, 4354), cv::kE_INVALIDARG);

  cv::StopSharedServices();
  EXPECT_EQ(cv::ProcessStringTable(), nullptr);
  // Without the services the block's built-in texts still answer.
  EXPECT_STREQ(cv::SharedString(4316), "Error 0x%08x (message missing)");
  EXPECT_STREQ(cv::SharedString(4061), "");
  EXPECT_STREQ(cv::SharedString(5000), "CvGetString2(uId=5000, ERROR)");
}

}  // namespace
