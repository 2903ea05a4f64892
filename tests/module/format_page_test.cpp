// The renderer's format page driven through the property page protocol, with
// its dialog (in-memory natively, a real dialog under Windows).
#include "ffplugs/cvla/module/format_page.h"
#include "krn/platform/codepage.h"
#include "krn/platform/dialog.h"
#include "krn/platform/memory.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"
#include "tests/support/pcm_test_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> ListTexts(HWND dialog, int list) {
  std::vector<std::string> texts;
  for (int i = 0; i < cvplat::ListItemCount(dialog, list); ++i) texts.push_back(cvplat::ListItemText(dialog, list, i));
  return texts;
}

class FormatPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(cvtest::CreatePlugInObject(cv::IID_ICvFileRenderer, reinterpret_cast<void**>(&renderer_)), cv::kS_OK);
    ASSERT_EQ(renderer_->SetHost(host_.Host()), cv::kS_OK);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(renderer_->CreatePropertyPage(0, &unknown), cv::kS_OK);
    ASSERT_EQ(unknown->QueryInterface(cv::IID_ICvFormatPage, reinterpret_cast<void**>(&page_)), cv::kS_OK);
    EXPECT_EQ(unknown->Release(), 1u);  // the page was handed out with exactly one reference
  }
  void TearDown() override {
    EXPECT_EQ(page_->Release(), 0u);
    EXPECT_EQ(renderer_->Release(), 0u);
    EXPECT_EQ(host_.References(), 1);
    EXPECT_EQ(host_.LiveTemplates(), 0u);
    EXPECT_EQ(site_.references, 1u);
  }
  // The host's order up to a visible page.
  void Open(const WAVEFORMATEX& source, uint32_t maxRate, uint32_t maxBits) {
    ASSERT_EQ(page_->SetLimits(&source, 0, maxRate, maxBits, 0), cv::kS_OK);
    ASSERT_EQ(page_->SetPageSite(&site_), cv::kS_OK);
    IUnknown* objects[] = {renderer_};
    ASSERT_EQ(page_->SetObjects(1, objects), cv::kS_OK);
    const RECT rect{10, 10, 300, 150};
    ASSERT_EQ(page_->Activate(cvplat::DesktopWindow(), &rect, FALSE), cv::kS_OK);
    dialog_ = static_cast<cvla::QlaFormatPage*>(page_)->Window();
    ASSERT_NE(dialog_, nullptr);
  }
  void Close() {
    EXPECT_EQ(page_->Deactivate(), cv::kS_OK);
    EXPECT_EQ(page_->SetObjects(0, nullptr), cv::kS_OK);
    EXPECT_EQ(page_->SetPageSite(nullptr), cv::kS_OK);
  }

  cvtest::ModuleScope module_;
  cvtest::TestHost host_;
  cvtest::TestPageSite site_;
  cv::ICvFileRenderer* renderer_ = nullptr;
  cv::ICvFormatPage* page_ = nullptr;
  HWND dialog_ = nullptr;
};

TEST_F(FormatPageTest, ListsFollowTheLimitsAndTheTemplate) {
  const WAVEFORMATEX mono = cvtest::PcmFormat(1, 44100, 16);
  Open(mono, 48000, 16);
  EXPECT_EQ(ListTexts(dialog_, cvla::kSampleRateList),
            (std::vector<std::string>{"8,000", "11,025", "22,050", "32,000", "44,100", "48,000"}));
  EXPECT_EQ(cvplat::SelectedListItem(dialog_, cvla::kSampleRateList), 4);
  EXPECT_EQ(ListTexts(dialog_, cvla::kBitDepthList), std::vector<std::string>{"16"});
  EXPECT_EQ(ListTexts(dialog_, cvla::kLayoutList), (std::vector<std::string>{"Mono", "Stereo"}));
  EXPECT_EQ(cvplat::SelectedListItem(dialog_, cvla::kLayoutList), 1);
  EXPECT_TRUE(cvplat::IsDialogVisible(dialog_));
  EXPECT_TRUE(cvplat::HasControlParentStyle(dialog_));
  EXPECT_EQ(page_->IsPageDirty(), cv::kS_FALSE);
  Close();
}

TEST_F(FormatPageTest, SelectionChangeReachesTheRendererOnApply) {
  const WAVEFORMATEX six = cvtest::PcmFormat(6, 48000, 24);
  Open(six, 200000, 64);
  EXPECT_EQ(ListTexts(dialog_, cvla::kLayoutList), (std::vector<std::string>{"Mono", "Stereo", "Multiple Mono"}));
  EXPECT_EQ(page_->Apply(), cv::kS_OK);  // clean: nothing reaches the renderer
  EXPECT_EQ(renderer_->IsTemplateUnmodified(), 1u);

  cvplat::SelectListItem(dialog_, cvla::kLayoutList, 2);
  cvplat::SelectListItem(dialog_, cvla::kBitDepthList, 1);
  cvplat::SendControlNotification(dialog_, cvla::kLayoutList, cvplat::kSelectionChange);
  EXPECT_EQ(page_->IsPageDirty(), cv::kS_OK);
  ASSERT_EQ(page_->Apply(), cv::kS_OK);
  EXPECT_EQ(page_->IsPageDirty(), cv::kS_FALSE);
  EXPECT_EQ(renderer_->IsTemplateUnmodified(), 0u);
  void* handle = nullptr;
  ASSERT_EQ(renderer_->GetCurrentTemplate(&handle), cv::kS_OK);
  const auto* current = static_cast<qla::RenderTemplate*>(handle);
  EXPECT_EQ(+(current->format->streamCount), 6u);
  EXPECT_EQ(+(current->format->format.nChannels), 1);
  EXPECT_EQ(+(current->format->format.wBitsPerSample), 24);
  EXPECT_EQ(+(current->format->format.nAvgBytesPerSec), 44100u * 3);
  renderer_->FreeTemplate(handle);

  // After a refresh the lists show the applied template, now with "Multiple Stereo".
  ASSERT_EQ(page_->Refresh(), cv::kS_OK);
  EXPECT_EQ(ListTexts(dialog_, cvla::kLayoutList).size(), 4u);
  EXPECT_EQ(cvplat::SelectedListItem(dialog_, cvla::kLayoutList), 2);
  Close();
}

TEST_F(FormatPageTest, AnswersCallsInTheWrongStateAndReportsItsInfo) {
  const RECT rect{0, 0, 100, 100};
  EXPECT_EQ(page_->Activate(cvplat::DesktopWindow(), &rect, FALSE), cv::kE_UNEXPECTED);
  EXPECT_EQ(page_->Activate(cvplat::DesktopWindow(), nullptr, FALSE), cv::kE_POINTER);
  EXPECT_EQ(page_->Show(SW_SHOW), cv::kE_UNEXPECTED);
  EXPECT_EQ(page_->Deactivate(), cv::kE_UNEXPECTED);
  EXPECT_EQ(page_->Apply(), cv::kE_UNEXPECTED);
  EXPECT_EQ(page_->SetPageSite(nullptr), cv::kE_UNEXPECTED);
  EXPECT_EQ(page_->SetObjects(2, nullptr), cv::kE_UNEXPECTED);
  EXPECT_EQ(page_->SetObjects(1, nullptr), cv::kE_POINTER);
  EXPECT_EQ(page_->Refresh(), cv::kE_UNEXPECTED);

  PROPPAGEINFO info{};
  ASSERT_EQ(page_->GetPageInfo(&info), cv::kS_OK);
  EXPECT_EQ(cvplat::WideToAnsiString(info.pszTitle), "Corvane Quartzline Audio (.qla)");
  const std::string help = cvplat::WideToAnsiString(info.pszHelpFile);
  EXPECT_EQ(help.substr(help.size() - 12), "CVQLPLUG.HLP");
  EXPECT_GT(info.size.cx, 0);
  cvplat::TaskMemFree(info.pszTitle);
  cvplat::TaskMemFree(info.pszHelpFile);

  Open(cvtest::PcmFormat(2, 44100, 16), 200000, 64);
  EXPECT_EQ(page_->Activate(cvplat::DesktopWindow(), &rect, FALSE), cv::kE_UNEXPECTED);
  EXPECT_EQ(page_->SetPageSite(&site_), cv::kE_UNEXPECTED);
  EXPECT_EQ(page_->Show(SW_MINIMIZE), cv::kE_INVALIDARG);
  EXPECT_EQ(page_->Move(nullptr), cv::kE_POINTER);
  EXPECT_EQ(page_->Show(SW_HIDE), cv::kS_OK);
  EXPECT_FALSE(cvplat::IsDialogVisible(dialog_));
  EXPECT_EQ(cvla::FormatPageHelpContext(2005), 50u);
  EXPECT_EQ(cvla::FormatPageHelpContext(2007), 0u);
  // Released without the end of the protocol: the page closes its window and
  // lets go of the renderer and the site itself (checked in TearDown).
}

}  // namespace
