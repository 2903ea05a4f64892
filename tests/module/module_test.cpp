// The module's COM surface: the factory and its objects' reference counts and
// interface answers, the file type's recognition rules and texts, and the texts
// of the render templates.
#include "ffplugs/cvla/module/class_factory.h"
#include "ffplugs/cvla/module/file_type.h"
#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/module/plugin_pages.h"
#include "ffplugs/cvla/qla_format.h"
#include "krn/platform/codepage.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using cvtest::CreatePlugInObject;

std::string Narrow(const wchar16* text) { return cvplat::WideToAnsiString(text); }

class ModuleTest : public ::testing::Test {
 protected:
  cvtest::ModuleScope module_;
};

// An outer object that counts the calls it gets: aggregation is not supported,
// so the factory must never call it.
struct CountingUnknown final : IUnknown {
  HRESULT CV_STDCALL QueryInterface(REFIID, void** out) override {
    ++calls;
    *out = nullptr;
    return cv::kE_NOINTERFACE;
  }
  ULONG CV_STDCALL AddRef() override { return static_cast<ULONG>(++calls); }
  ULONG CV_STDCALL Release() override { return static_cast<ULONG>(++calls); }
  int calls = 0;
};

TEST_F(ModuleTest, FactoryAnswersOnlyItsInterfacesAndComparesTheClassLate) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(cvla::GetClassObject(cv::CLSID_QuartzlinePlugIn, cv::IID_ICvFileType, &out), cv::kE_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  IClassFactory* foreign = nullptr;
  ASSERT_EQ(cvla::GetClassObject(cv::FileTypeClassGuid, cv::kIID_IClassFactory, reinterpret_cast<void**>(&foreign)),
            cv::kS_OK);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(foreign->CreateInstance(nullptr, cv::IID_ICvFileType, &out), cv::kE_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(foreign->Release(), 0u);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(cvla::GetClassObject(cv::CLSID_QuartzlinePlugIn, cv::kIID_IUnknown, reinterpret_cast<void**>(&factory)),
            cv::kS_OK);
  IUnknown* same = nullptr;
  ASSERT_EQ(factory->QueryInterface(cv::kIID_IClassFactory, reinterpret_cast<void**>(&same)), cv::kS_OK);
  EXPECT_EQ(static_cast<void*>(same), static_cast<void*>(factory));
  EXPECT_EQ(factory->Release(), 1u);
  EXPECT_EQ(factory->CreateInstance(nullptr, cv::kIID_IUnknown, &out), cv::kE_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  // Locks may go negative; the module never unloads.
  EXPECT_EQ(factory->LockServer(FALSE), cv::kS_OK);
  EXPECT_EQ(cvla::Module().serverLocks, -1);
  EXPECT_EQ(factory->LockServer(TRUE), cv::kS_OK);
  EXPECT_EQ(cvla::CanUnloadNow(), cv::kS_FALSE);

  CountingUnknown outer;
  cv::ICvFileType* first = nullptr;
  cv::ICvFileType* second = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, cv::IID_ICvFileType, reinterpret_cast<void**>(&first)), cv::kS_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, cv::IID_ICvFileType, reinterpret_cast<void**>(&second)), cv::kS_OK);
  EXPECT_EQ(outer.calls, 0);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->AddRef(), 2u);
  EXPECT_EQ(first->Release(), 1u);
  uint32_t flags = 0;
  first->GetFlags(&flags);
  EXPECT_EQ(flags, 0x10u);
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(ModuleTest, ObjectsAnswerTheirIdentifiersOnly) {
  cv::ICvFileType* fileType = nullptr;
  ASSERT_EQ(CreatePlugInObject(cv::IID_ICvFileType, reinterpret_cast<void**>(&fileType)), cv::kS_OK);
  void* out = nullptr;
  EXPECT_EQ(fileType->QueryInterface(cv::IID_ICvFileRenderer, &out), cv::kE_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(fileType->QueryInterface(cv::kIID_IUnknown, &out), cv::kS_OK);
  EXPECT_EQ(out, static_cast<void*>(fileType));
  fileType->Release();
  EXPECT_EQ(fileType->Reserved14(1, 2), cv::kE_NOTIMPL);
  fileType->Release();

  cv::ICvFileRenderer* renderer = nullptr;
  ASSERT_EQ(CreatePlugInObject(cv::IID_ICvFileRenderer, reinterpret_cast<void**>(&renderer)), cv::kS_OK);
  uint32_t flags = 0, attributes = 0;
  renderer->GetFlags(&flags);
  renderer->GetAttributes(&attributes);
  EXPECT_EQ(flags, 0x426u);
  EXPECT_EQ(attributes, 1u);
  EXPECT_EQ(renderer->QueryInterface(cv::IID_ICvFileType, &out), cv::kE_NOINTERFACE);
  EXPECT_EQ(renderer->Release(), 0u);

  IUnknown* pages = nullptr;
  ASSERT_EQ(CreatePlugInObject(cv::IID_ICvPlugInPages, reinterpret_cast<void**>(&pages)), cv::kS_OK);
  EXPECT_STREQ(cvla::PlugInMessageBoxDefaults().caption, "Corvane Quartzline Audio Plug-In");
  void* main = nullptr;
  void* second = nullptr;
  ASSERT_EQ(pages->QueryInterface(cv::IID_PlugInPagesMain, &main), cv::kS_OK);
  ASSERT_EQ(pages->QueryInterface(cv::IID_PlugInPagesSecond, &second), cv::kS_OK);
  EXPECT_EQ(main, static_cast<void*>(pages));
  EXPECT_NE(second, main);
  EXPECT_EQ(pages->QueryInterface(cv::IID_ICvFileType, &out), cv::kE_NOINTERFACE);
  static_cast<IUnknown*>(second)->Release();
  EXPECT_EQ(pages->Release(), 1u);
  EXPECT_EQ(pages->Release(), 0u);
}

TEST_F(ModuleTest, FileTypeUsesItsHostWithoutHoldingIt) {
  cvtest::TestHost host;
  cv::ICvFileType* fileType = nullptr;
  ASSERT_EQ(cvtest::CreateFileTypeLikeHost(host.Host(), 7, &fileType), cv::kS_OK);
  EXPECT_EQ(fileType->GetIndex(), 7u);
  EXPECT_EQ(host.References(), 1);
  EXPECT_EQ(host.LanguageQueries(), 1);
  host.SetFindResult(cv::Code(0x8004E00A));
  EXPECT_EQ(fileType->FindRenderer(nullptr), cv::Code(0x8004E00A));
  EXPECT_EQ(host.LastFindGuid(), cv::RendererClassGuid);
  wchar16 filter[8];
  ASSERT_EQ(fileType->GetStrings(nullptr, 0, filter, 8, nullptr, 0), cv::kS_OK);  // texts cut to their buffers
  EXPECT_EQ(Narrow(filter), "*.qla");
  EXPECT_EQ(fileType->SetHost(nullptr), cv::kS_OK);
  EXPECT_EQ(fileType->FindRenderer(nullptr), cv::kE_FAIL);
  fileType->Release();
}

TEST_F(ModuleTest, CheckHeaderAcceptsOnlyAQuartzlineFmtFirst) {
  uint8_t header[40] = {};
  std::memcpy(header, "RIFF", 4);
  qla::StoreU32(header + 4, 1000);
  std::memcpy(header + 8, "WAVE", 4);
  std::memcpy(header + 12, "fmt ", 4);
  qla::StoreU32(header + 16, 50);
  qla::StoreU16(header + 20, 0x1971);
  EXPECT_EQ(cvla::CheckQuartzlineHeader(header, 25), cv::kS_OK);
  EXPECT_EQ(cvla::CheckQuartzlineHeader(header, 24), cv::CVERR_NO_RIFF_HEADER);
  EXPECT_EQ(cvla::CheckQuartzlineHeader(nullptr, 40), cv::CVERR_NO_RIFF_HEADER);

  // A zero RIFF size, a "LIST" before the format, a PCM format.
  for (const auto& [at, bytes] : {std::pair<size_t, const char*>{4, "\0\0\0\0"}, {12, "LIST"}, {20, "\1\0"}}) {
    uint8_t damaged[40];
    std::memcpy(damaged, header, 40);
    std::memcpy(damaged + at, bytes, at == 20 ? 2 : 4);
    EXPECT_EQ(cvla::CheckQuartzlineHeader(damaged, 40), cv::CVERR_NO_RIFF_HEADER) << at;
  }

  cv::ICvFileType* fileType = nullptr;
  ASSERT_EQ(CreatePlugInObject(cv::IID_ICvFileType, reinterpret_cast<void**>(&fileType)), cv::kS_OK);
  std::string missing = cvtest::TestDataPath("missing.qla");
  EXPECT_EQ(fileType->CheckFile(cvtest::WidePath(missing).c_str()), cv::CVERR_NO_RIFF_HEADER);
  std::string empty = cvtest::TestDataPath("empty.qla");
  ASSERT_TRUE(cvtest::WriteFile(empty, {}));
  EXPECT_EQ(fileType->CheckFile(cvtest::WidePath(empty).c_str()), cv::CVERR_NO_RIFF_HEADER);
  std::string good = cvtest::TestDataPath("header.qla");
  ASSERT_TRUE(cvtest::WriteFile(good, std::vector<uint8_t>(header, header + 40)));
  EXPECT_EQ(fileType->CheckFile(cvtest::WidePath(good).c_str()), cv::kS_OK);

  // With open flag 0 the reader has a name and no open file.
  cv::ICvFileReader* reader = nullptr;
  ASSERT_EQ(fileType->CreateReader(&reader, INVALID_HANDLE_VALUE, cvtest::WidePath(good).c_str(), 0), cv::kS_OK);
  EXPECT_EQ(reader->IsClosed(), cv::kS_FALSE);
  wchar16 name[300];
  reader->GetFileName(name, 300);
  EXPECT_EQ(Narrow(name), good);
  EXPECT_EQ(reader->Release(), 0u);
  fileType->Release();
}

TEST_F(ModuleTest, HelpPathUsesTheSharedFolderOnlyWhenItExists) {
  EXPECT_EQ(cvla::HelpPathFor("C:\\Plug\\cvqlplug.dll", "", false), "C:\\Plug\\cvqlplug.hlp");
  EXPECT_EQ(cvla::HelpPathFor("C:\\Plug\\cvqlplug.dll", "D:\\Help", true), "D:\\Help\\cvqlplug.hlp");
  EXPECT_EQ(cvla::HelpPathFor("C:\\Plug\\cvqlplug.dll", "D:\\Gone", false), "C:\\Plug\\cvqlplug.hlp");
}

}  // namespace
