// The module's COM surface: the factory and its objects' reference counts and
// interface answers, and the file type's recognition rules and texts.
#include "ffplugs/cvla/module/class_factory.h"
#include "ffplugs/cvla/module/file_type.h"
#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/module/plugin_pages.h"
#include "ffplugs/cvla/qla_format.h"
#include "krn/com_ptr.h"
#include "krn/platform/codepage.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

std::string Narrow(const wchar16* text) { return cvplat::WideToAnsiString(text); }

// A call that must answer E_NOINTERFACE and clear its out parameter.
void ExpectNoInterface(const std::function<HRESULT(void**)>& call) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(call(&out), cv::kE_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

class ModuleTest : public ::testing::Test {
 protected:
  template <class T>
  static cv::ComPtr<T> Create(const IID& iid) {
    cv::ComPtr<T> object;
    EXPECT_EQ(cvtest::CreatePlugInObject(iid, object.PutVoid()), cv::kS_OK);
    return object;
  }
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
  ExpectNoInterface([](void** out) { return cvla::GetClassObject(cv::CLSID_QuartzlinePlugIn, cv::IID_ICvFileType, out); });
  cv::ComPtr<IClassFactory> foreign;
  ASSERT_EQ(cvla::GetClassObject(cv::FileTypeClassGuid, cv::kIID_IClassFactory, foreign.PutVoid()), cv::kS_OK);
  ExpectNoInterface([&](void** out) { return foreign->CreateInstance(nullptr, cv::IID_ICvFileType, out); });

  IClassFactory* factory = nullptr;
  ASSERT_EQ(cvla::GetClassObject(cv::CLSID_QuartzlinePlugIn, cv::kIID_IUnknown, reinterpret_cast<void**>(&factory)),
            cv::kS_OK);
  void* same = nullptr;
  ASSERT_EQ(factory->QueryInterface(cv::kIID_IClassFactory, &same), cv::kS_OK);
  EXPECT_EQ(same, static_cast<void*>(factory));
  EXPECT_EQ(factory->Release(), 1u);
  ExpectNoInterface([&](void** out) { return factory->CreateInstance(nullptr, cv::kIID_IUnknown, out); });

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
  const auto fileType = Create<cv::ICvFileType>(cv::IID_ICvFileType);
  ExpectNoInterface([&](void** out) { return fileType->QueryInterface(cv::IID_ICvFileRenderer, out); });
  cv::ComPtr<IUnknown> unknown;
  ASSERT_EQ(fileType.As(cv::kIID_IUnknown, &unknown), cv::kS_OK);
  EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(fileType.Get()));
  EXPECT_EQ(fileType->Reserved14(1, 2), cv::kE_NOTIMPL);

  const auto renderer = Create<cv::ICvFileRenderer>(cv::IID_ICvFileRenderer);
  uint32_t flags = 0, attributes = 0;
  renderer->GetFlags(&flags);
  renderer->GetAttributes(&attributes);
  EXPECT_EQ(flags, 0x426u);
  EXPECT_EQ(attributes, 1u);
  ExpectNoInterface([&](void** out) { return renderer->QueryInterface(cv::IID_ICvFileType, out); });

  IUnknown* pages = nullptr;
  ASSERT_EQ(cvtest::CreatePlugInObject(cv::IID_ICvPlugInPages, reinterpret_cast<void**>(&pages)), cv::kS_OK);
  EXPECT_STREQ(cvla::PlugInMessageBoxDefaults().caption, "Corvane Quartzline Audio Plug-In");
  void* main = nullptr;
  void* second = nullptr;
  ASSERT_EQ(pages->QueryInterface(cv::IID_PlugInPagesMain, &main), cv::kS_OK);
  ASSERT_EQ(pages->QueryInterface(cv::IID_PlugInPagesSecond, &second), cv::kS_OK);
  EXPECT_EQ(main, static_cast<void*>(pages));
  EXPECT_NE(second, main);
  ExpectNoInterface([&](void** out) { return pages->QueryInterface(cv::IID_ICvFileType, out); });
  static_cast<IUnknown*>(second)->Release();
  EXPECT_EQ(pages->Release(), 1u);
  EXPECT_EQ(pages->Release(), 0u);
}

TEST_F(ModuleTest, FileTypeUsesItsHostWithoutHoldingIt) {
  cvtest::TestHost host;
  cv::ComPtr<cv::ICvFileType> fileType;
  ASSERT_EQ(cvtest::CreateFileTypeLikeHost(host.Host(), 7, fileType.Put()), cv::kS_OK);
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
}

TEST_F(ModuleTest, CheckHeaderAcceptsOnlyAQuartzlineFmtFirst) {
  cvtest::Bytes format(50, 0);
  qla::StoreU16(format.data(), 0x1971);
  const cvtest::Bytes header = cvtest::Riff("WAVE", cvtest::Chunk("fmt ", format));
  EXPECT_EQ(cvla::CheckQuartzlineHeader(header.data(), 25), cv::kS_OK);
  EXPECT_EQ(cvla::CheckQuartzlineHeader(header.data(), 24), cv::CVERR_NO_RIFF_HEADER);
  EXPECT_EQ(cvla::CheckQuartzlineHeader(nullptr, 40), cv::CVERR_NO_RIFF_HEADER);

  // A zero RIFF size, a "LIST" before the format, a PCM format.
  for (const auto& [at, bytes] : {std::pair<size_t, const char*>{4, "\0\0\0\0"}, {12, "LIST"}, {20, "\1\0"}}) {
    cvtest::Bytes damaged = header;
    std::memcpy(&damaged[at], bytes, at == 20 ? 2 : 4);
    EXPECT_EQ(cvla::CheckQuartzlineHeader(damaged.data(), 40), cv::CVERR_NO_RIFF_HEADER) << at;
  }

  const auto fileType = Create<cv::ICvFileType>(cv::IID_ICvFileType);
  std::string empty = cvtest::TestDataPath("empty.qla");
  ASSERT_TRUE(cvtest::WriteFile(empty, {}));
  EXPECT_EQ(fileType->CheckFile(cvtest::WidePath(empty).c_str()), cv::CVERR_NO_RIFF_HEADER);
  std::string good = cvtest::TestDataPath("header.qla");
  ASSERT_TRUE(cvtest::WriteFile(good, header));
  EXPECT_EQ(fileType->CheckFile(cvtest::WidePath(good).c_str()), cv::kS_OK);

  // With open flag 0 the reader has a name and no open file.
  cv::ICvFileReader* reader = nullptr;
  ASSERT_EQ(fileType->CreateReader(&reader, INVALID_HANDLE_VALUE, cvtest::WidePath(good).c_str(), 0), cv::kS_OK);
  EXPECT_EQ(reader->IsClosed(), cv::kS_FALSE);
  wchar16 name[300];
  reader->GetFileName(name, 300);
  EXPECT_EQ(Narrow(name), good);
  EXPECT_EQ(reader->Release(), 0u);
}

}  // namespace
