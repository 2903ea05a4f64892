// The renderer as a host drives it: templates through the host's store, the
// INFO code enumeration, render jobs writing ".qla" files with metadata, and
// its format page through the property page protocol, with the page's dialog
// (in-memory natively, a real dialog under Windows).
#include "ffplugs/cvla/module/format_page.h"
#include "ffplugs/cvla/module/renderer.h"
#include "krn/com_ptr.h"
#include "krn/metadata_io.h"
#include "krn/platform/codepage.h"
#include "krn/platform/dialog.h"
#include "krn/platform/memory.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"
#include "tests/support/qla_test_files.h"
#include "tests/support/riff_test_files.h"
#include "tests/support/test_metadata_source.h"
#include "tests/support/test_progress_sink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using cvtest::PcmAudio;
using cvtest::PcmTestStream;

std::string Narrow(const wchar16* text) { return cvplat::WideToAnsiString(text); }

// A renderer made by the factory and given the test host, released at the end;
// the host's references and records must then be back where they started.
class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(cvtest::CreatePlugInObject(cv::IID_ICvFileRenderer, reinterpret_cast<void**>(&renderer_)), cv::kS_OK);
    ASSERT_EQ(renderer_->SetHost(host_.Host()), cv::kS_OK);
  }
  void TearDown() override {
    if (renderer_) {
      EXPECT_EQ(renderer_->Release(), 0u);
    }
    EXPECT_EQ(host_.References(), 1);
    EXPECT_EQ(host_.LiveTemplates(), 0u);
  }
  qla::RenderTemplate* Current() {
    void* handle = nullptr;
    EXPECT_EQ(renderer_->GetCurrentTemplate(&handle), cv::kS_OK);
    return static_cast<qla::RenderTemplate*>(handle);
  }

  cvtest::ModuleScope module_;
  cvtest::TestHost host_;
  cv::ICvFileRenderer* renderer_ = nullptr;
};

TEST_F(RendererTest, TemplatesSelectSaveAndLoadThroughTheStore) {
  uint32_t count = 0;
  ASSERT_EQ(renderer_->GetTemplateCount(&count), cv::kS_OK);
  EXPECT_EQ(count, 5u);
  wchar16 name[260] = {'x', 0};
  EXPECT_EQ(renderer_->GetTemplateName(5, name, 260), cv::kS_FALSE);
  EXPECT_EQ(Narrow(name), "x");
  EXPECT_EQ(renderer_->GetTemplateName(0, name, 260), cv::kS_OK);
  EXPECT_EQ(Narrow(name), "Default Template");
  EXPECT_EQ(renderer_->GetTemplateName(4, name, 8), cv::kS_FALSE);
  EXPECT_EQ(Narrow(name), "Multipl");
  uint32_t flags = 0;
  EXPECT_EQ(renderer_->GetTemplateFlags(4, &flags), cv::kS_OK);
  EXPECT_EQ(flags, 0x01000000u);
  EXPECT_EQ(renderer_->GetTemplateFlags(5, &flags), cv::kE_FAIL);

  // Nothing selected yet: the current template is the working one, which the
  // host's store made (it holds the host) and the renderer prepared.
  EXPECT_EQ(host_.References(), 3);
  qla::RenderTemplate* current = Current();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->flags, qla::kTemplateFlagsPrepared);
  EXPECT_EQ(Narrow(current->name), "Default Template");
  EXPECT_EQ(Narrow(current->description),
            "Render Stereo, 44,100 Hz, 16 bit Corvane Quartzline Audio (.qla) file.  The compression ratio of this "
            "lossless format depends on the audio source.");
  EXPECT_EQ(renderer_->FindFileType(nullptr), cv::kS_OK);
  EXPECT_EQ(host_.LastFindGuid(), cv::FileTypeClassGuid);
  EXPECT_EQ(renderer_->SaveTemplate("key", 1), cv::kE_UNEXPECTED);

  EXPECT_EQ(renderer_->SelectTemplate(3), cv::kS_FALSE);
  EXPECT_EQ(renderer_->IsTemplateUnmodified(), 1u);
  EXPECT_EQ(renderer_->SelectTemplate(9), cv::kS_FALSE);
  qla::RenderTemplate* third = Current();
  EXPECT_EQ(third->builtInIndex, 3u);
  EXPECT_EQ(Narrow(third->name), "Multiple Mono, 44.1 kHz, 16 bit audio");
  EXPECT_EQ(+(third->format->streamCount), 2u);

  // An edited template comes back through the store under its key.
  current->format->format.nSamplesPerSec = 22050;
  ASSERT_EQ(renderer_->SetCurrentTemplate(current), cv::kS_OK);  // modified: checked with the format page
  static const char kKey[] = "user template";
  ASSERT_EQ(renderer_->SaveTemplate(kKey, 1), cv::kS_OK);
  EXPECT_EQ(renderer_->IsTemplateUnmodified(), 1u);
  ASSERT_EQ(renderer_->SelectTemplate(0), cv::kS_OK);
  EXPECT_EQ(renderer_->LoadTemplate("missing"), cv::CVERR_NOT_FOUND);
  ASSERT_EQ(renderer_->LoadTemplate(kKey), cv::kS_OK);
  qla::RenderTemplate* loaded = Current();
  EXPECT_EQ(+(loaded->format->format.nSamplesPerSec), 22050u);
  for (void* handle : {static_cast<void*>(current), static_cast<void*>(third), static_cast<void*>(loaded)})
    EXPECT_EQ(renderer_->FreeTemplate(handle), cv::kS_OK);

  host_.SetStoreFull(true);
  void* none = nullptr;
  EXPECT_EQ(renderer_->GetCurrentTemplate(&none), cv::kE_OUTOFMEMORY);
  EXPECT_EQ(none, nullptr);
}

TEST_F(RendererTest, PrepareTemplateNormalisesTheFormatAndComposesTheTexts) {
  struct Case {
    uint16_t tag, channels, bits;
    uint32_t rate, streams;
    uint16_t wantTag, wantBits;
    const char* description;
  };
  const Case cases[] = {
      {1, 2, 8, 44100, 1, 1, 16, "Render Stereo, 44,100 Hz, 16 bit Corvane"},
      {1, 1, 32, 48000, 1, 1, 24, "Render Mono, 48,000 Hz, 24 bit Corvane"},
      {0xFFFE, 2, 24, 96000, 1, 1, 24, "Render Stereo, 96,000 Hz, 24 bit Corvane"},
      {1, 2, 16, 44100, 0, 1, 16, "Render  Corvane"},
  };
  for (const Case& c : cases) {
    cvtest::TestTemplate given(cvtest::PcmFormat(c.channels, c.rate, c.bits));
    given.block.format.wFormatTag = c.tag;
    given.block.streamCount = c.streams;
    ASSERT_EQ(renderer_->PrepareTemplate(&given.record), cv::kS_OK);
    const qla::RenderTemplate* working = static_cast<cvla::QlaRenderer*>(renderer_)->WorkingTemplate();
    const WAVEFORMATEX& f = working->format->format;
    EXPECT_EQ(f.wFormatTag, c.wantTag);
    EXPECT_EQ(f.wBitsPerSample, c.wantBits);
    EXPECT_EQ(f.nBlockAlign, c.wantBits / 8 * c.channels);
    EXPECT_EQ(f.nAvgBytesPerSec, f.nBlockAlign * c.rate);
    EXPECT_EQ(working->flags, 0x01000000u);
    EXPECT_EQ(Narrow(working->description).rfind(c.description, 0), 0u) << Narrow(working->description);
  }
}

TEST_F(RendererTest, EnumeratesTheInfoCodesOnItsSecondInterface) {
  cv::ComPtr<cv::ICvInfoTagEnum> tags;
  ASSERT_EQ(renderer_->QueryInterface(cv::IID_ICvInfoTagEnum, tags.PutVoid()), cv::kS_OK);
  cv::ComPtr<cv::ICvFileRenderer> back;
  ASSERT_EQ(tags.As(cv::IID_ICvFileRenderer, &back), cv::kS_OK);
  EXPECT_EQ(back.Get(), renderer_);
  std::string codes;
  uint32_t code = 0, value = 0;
  while (tags->Next(&code, &value) == cv::kS_OK) {
    codes.append(reinterpret_cast<const char*>(&code), 4);
    EXPECT_EQ(value, 1024u);
  }
  EXPECT_EQ(codes.size(), 32u * 4);
  EXPECT_EQ(codes.substr(0, 8), "IARLIART");
  EXPECT_EQ(codes.substr(124), "TORG");
  EXPECT_EQ(tags->Next(nullptr, nullptr), cv::kS_FALSE);
  EXPECT_EQ(tags->Reset(), cv::kS_OK);
  ASSERT_EQ(tags->Next(&code, nullptr), cv::kS_OK);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&code), 4), "IARL");

  qla::PlugInInfoRecord info{};
  ASSERT_EQ(renderer_->GetPlugInInfo(&info), cv::kS_OK);
  EXPECT_STREQ(info.title, "Corvane Quartzline Audio File Format Plug-in.");
  EXPECT_EQ(info.blockFrames, 512u);
}

TEST_F(RendererTest, RenderJobWritesWhatTheFileEncoderWrites) {
  PcmAudio audio = cvtest::SyntheticAudio(1, 22050, 24, 30000, 7);
  const std::string reference = cvtest::TestDataPath("job_reference.qla");
  ASSERT_EQ(cvtest::RenderAudio(audio, reference), cv::kS_OK);

  // A second stream is accepted but not rendered.
  PcmTestStream first(audio), second(cvtest::SyntheticAudio(2, 44100, 16, 100, 3));
  const std::string path = cvtest::TestDataPath("job.qla");
  cvtest::TestProgressSink sink;
  ASSERT_EQ(cvtest::RenderLikeHost(renderer_, path, {&first, &second}, nullptr, &sink), cv::kS_OK);
  EXPECT_EQ(cvtest::ReadWholeFile(path), cvtest::ReadWholeFile(reference));
  EXPECT_EQ(second.ReadCalls(), 0u);
  EXPECT_EQ(sink.RangeCalls(), 1u);
  EXPECT_FALSE(sink.Percentages().empty());
  EXPECT_EQ(first.References(), 1u);
  EXPECT_EQ(second.References(), 1u);

  cvtest::TestProgressSink cancelling;
  cancelling.CancelAtCall(2);
  EXPECT_EQ(cvtest::RenderLikeHost(renderer_, path, {&first}, nullptr, &cancelling), cv::CVERR_CANCELLED);
  EXPECT_EQ(first.References(), 1u);
}

TEST_F(RendererTest, RenderJobRefusesWhatItCannotWriteFaithfully) {
  const std::string empty = cvtest::TestDataPath("no_stream.qla");
  EXPECT_EQ(cvtest::RenderLikeHost(renderer_, empty, {}), cv::CVERR_NO_AUDIO);
  EXPECT_FALSE(cvtest::FileExists(empty));

  // A name the ANSI code page cannot hold is never written under another name.
  PcmTestStream stream(cvtest::SyntheticAudio(2, 44100, 16, 600));
  cv::ICvRenderJob* job = nullptr;
  IUnknown* streams[] = {&stream};
  std::basic_string<wchar16> wide = cvtest::WidePath(cvtest::TestDataPath("x"));
  wide += static_cast<wchar16>(0x4E2D);
  ASSERT_EQ(renderer_->CreateRenderJob(&job, wide.c_str(), 1, streams), cv::kS_OK);
  EXPECT_EQ(job->Render(nullptr), cv::CVERR_BAD_FILE_NAME);
  EXPECT_FALSE(cvtest::FileExists(cvplat::WideToAnsiString(wide)));
  wchar16 back[4];
  EXPECT_EQ(job->GetFileName(back, 4), cv::kS_OK);
  EXPECT_EQ(cvplat::WideLength(back), 3u);

  // The job keeps its own template copy and holds the renderer while it lives.
  uint32_t streamCount = 0;
  EXPECT_EQ(job->GetStreamCount(&streamCount), cv::kS_OK);
  EXPECT_EQ(streamCount, 1u);
  EXPECT_EQ(renderer_->Release(), 1u);
  EXPECT_EQ(job->Release(), 0u);
  renderer_ = nullptr;
  EXPECT_EQ(stream.References(), 1u);
}

TEST_F(RendererTest, RenderJobAppendsTheMetadataThatTheReaderReadsBack) {
  cvtest::TestMetadataSource metadata;
  metadata.SetMarkers({{10000000, 0, false, u"Start", false}, {20000000, 5000000, true, u"Loop", false}});
  metadata.SetInfo({{cv::FourCC("INAM"), u"Title"}, {cv::FourCC("IART"), u"Artist"}});
  metadata.SetAcid(cvtest::Filled(24, 0));

  PcmTestStream stream(cvtest::SyntheticAudio(2, 44100, 16, 44100 * 3));
  const std::string path = cvtest::TestDataPath("job_metadata.qla");
  ASSERT_EQ(cvtest::RenderLikeHost(renderer_, path, {&stream}, &metadata), cv::kS_OK);

  cv::RecordList markers, info;
  cv::LoopInfo loop;
  ASSERT_EQ(cv::LoadFileMetadata(path.c_str(), 44100, markers, info), cv::kS_OK);
  ASSERT_EQ(cv::LoadFileLoopInfo(path.c_str(), loop), cv::kS_OK);
  ASSERT_EQ(markers.Count(), 2u);
  const auto* region = reinterpret_cast<const cv::MarkerRecordHeader*>(markers.At(1));
  EXPECT_EQ(+(region->position), 20000000);
  EXPECT_EQ(+(region->length), 5000000);
  wchar16 title[16];
  ASSERT_EQ(cv::GetInfoText(info, cv::FourCC("INAM"), title, 16), cv::kS_OK);
  EXPECT_EQ(Narrow(title), "Title");
  EXPECT_TRUE(loop.acidPresent);
  EXPECT_EQ(loop.acid[23], 23);
}

std::vector<std::string> ListTexts(HWND dialog, int list) {
  std::vector<std::string> texts;
  for (int i = 0; i < cvplat::ListItemCount(dialog, list); ++i) texts.push_back(cvplat::ListItemText(dialog, list, i));
  return texts;
}

// The fixture's renderer with its format page, handed out with one reference.
class FormatPageTest : public RendererTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RendererTest::SetUp());
    IUnknown* unknown = nullptr;
    ASSERT_EQ(renderer_->CreatePropertyPage(0, &unknown), cv::kS_OK);
    ASSERT_EQ(unknown->QueryInterface(cv::IID_ICvFormatPage, reinterpret_cast<void**>(&page_)), cv::kS_OK);
    EXPECT_EQ(unknown->Release(), 1u);  // the page was handed out with exactly one reference
  }
  void TearDown() override {
    EXPECT_EQ(page_->Release(), 0u);
    EXPECT_EQ(site_.references, 1u);
    RendererTest::TearDown();
  }
  // The host's order up to a visible page. The page keeps the pointer to the source format.
  void Open(const WAVEFORMATEX& source, uint32_t maxRate, uint32_t maxBits) {
    source_ = source;
    ASSERT_EQ(page_->SetLimits(&source_, 0, maxRate, maxBits, 0), cv::kS_OK);
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

  WAVEFORMATEX source_{};
  cvtest::TestPageSite site_;
  cv::ICvFormatPage* page_ = nullptr;
  HWND dialog_ = nullptr;
};

TEST_F(FormatPageTest, ListsFollowTheLimitsAndTheTemplate) {
  Open(cvtest::PcmFormat(1, 44100, 16), 48000, 16);
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
  Open(cvtest::PcmFormat(6, 48000, 24), 200000, 64);
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
  qla::RenderTemplate* current = Current();
  EXPECT_EQ(+(current->format->streamCount), 6u);
  EXPECT_EQ(+(current->format->format.nChannels), 1);
  EXPECT_EQ(+(current->format->format.wBitsPerSample), 24);
  EXPECT_EQ(+(current->format->format.nAvgBytesPerSec), 44100u * 3);
  renderer_->FreeTemplate(current);

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
